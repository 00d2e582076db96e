// Torque point lists from crafted workbooks: cells that all name one shared text, one
// element with very many attributes, an archive with very many entries or an end record
// that counts none, a sheet at the attribute limit throughout, every part padded with the
// costliest markup, and numbers of millions of digits. Goal: each answered within a
// second, with the right answer.
//   bench_workbook [--smoke]    (a smoke run leaves out the largest archives)
#include "benchsupport.h"

#include "formats/torquetable.h"
#include "formats/xlsxreader.h"
#include "support/zipwriter.h"

using namespace bench;

namespace {

constexpr double kGoalMs = 1000;

struct Workbook {
    QByteArray sharedText;     // shared string 0
    QByteArray sheetData;      // the rows
    int emptyEntries = 0;      // empty archive entries ahead of the workbook's parts
    QByteArray padding;        // first in every part's root element
    bool zeroCount = false;    // the end record counts no entries
};

// Shared text "x" and the given rows.
Workbook sheet(const QByteArray& rows, int emptyEntries = 0, const QByteArray& padding = {}, bool zeroCount = false)
{
    Workbook w;
    w.sharedText = "x";
    w.sheetData = rows;
    w.emptyEntries = emptyEntries;
    w.padding = padding;
    w.zeroCount = zeroCount;
    return w;
}

// A workbook of one sheet with one shared text.
bool writeWorkbook(const QString& path, const Workbook& w)
{
    const QByteArray relationships = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const QByteArray& pad = w.padding;
    const QByteArray package = "<Relationships>" + pad + "<Relationship Id=\"rId1\" Type=\"" + relationships +
                               "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
    const QByteArray workbook = "<workbook xmlns:r=\"" + relationships + "\">" + pad +
                                "<sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
    const QByteArray parts = "<Relationships>" + pad + "<Relationship Id=\"rId1\" Type=\"" + relationships +
                             "/worksheet\" Target=\"sheet.xml\"/><Relationship Id=\"rId2\" Type=\"" + relationships +
                             "/sharedStrings\" Target=\"strings.xml\"/></Relationships>";
    return writeZip(path,
                    {{"_rels/.rels", package},
                     {"xl/workbook.xml", workbook},
                     {"xl/_rels/workbook.xml.rels", parts},
                     {"xl/strings.xml", "<sst>" + pad + "<si><t>" + w.sharedText + "</t></si></sst>"},
                     {"xl/sheet.xml", "<worksheet>" + pad + "<sheetData>" + w.sheetData + "</sheetData></worksheet>"}},
                    w.emptyEntries) &&
           (!w.zeroCount || zeroEntryCounts(path));
}

// Rows whose first two columns name shared text 0.
Workbook namedText(const QByteArray& text, int rows)
{
    Workbook w = sheet(QByteArray("<row><c t=\"s\"><v>0</v></c><c t=\"s\"><v>0</v></c></row>").repeated(rows));
    w.sharedText = text;
    return w;
}

// Twenty good points.
QByteArray goodRows()
{
    QByteArray rows;
    for (int r = 1; r <= 20; ++r)
        rows += "<row><c><v>" + QByteArray::number(r) + "</v></c><c><v>" + QByteArray::number(r) + "</v></c></row>";
    return rows;
}

// n attributes, the first of them r.
QByteArray attributes(int n)
{
    QByteArray list = " r=\"\"";
    for (int i = 1; i < n; ++i) list += " a" + QByteArray::number(i) + "=\"\"";
    return list;
}

// The good rows, the first of them carrying n attributes.
Workbook manyAttributes(int n) { return sheet(goodRows().replace(0, 4, "<row" + attributes(n))); }

// Just under the unpacked bytes a workbook may take, for one part.
constexpr qint64 kNearBudget = XlsxReader::MaxUnpackedBytes - 8192;

// A sheet filling the budget whose rows all carry as many attributes as an element may.
Workbook attributesOnEveryRow()
{
    QByteArray rows;
    for (int r = 1; rows.size() < kNearBudget; ++r)
        rows += "<row" + attributes(XlsxReader::MaxXmlAttributes) + "><c><v>" + QByteArray::number(r) +
                "</v></c><c><v>" + QByteArray::number(r) + "</v></c></row>";
    return sheet(rows);
}

// About size bytes of the markup Qt's reader takes longest over within every limit:
// elements of 64 attributes sharing one local name, each looked up through 63 namespace
// declarations in force.
QByteArray costliestPadding(qint64 size)
{
    QByteArray declarations, element = "<e a=\"\"";
    for (int i = 0; i < XlsxReader::MaxXmlNamespaces - 1; ++i) {
        declarations += " xmlns:n" + QByteArray::number(i) + "=\"urn:" + QByteArray::number(i) + "\"";
        if (i < XlsxReader::MaxXmlAttributes - 1) element += " n" + QByteArray::number(i) + ":a=\"\"";
    }
    element += "/>";
    const QByteArray open = "<p" + declarations + ">";
    return open + element.repeated(int(size - open.size()) / element.size()) + "</p>";
}

// The good rows, the first cell holding a number of that many digits.
Workbook longNumberFirst(qint64 digits)
{
    QByteArray rows = goodRows();
    return sheet(rows.replace(rows.indexOf("1</v>"), 1, QByteArray(digits, '1')));
}

QString lastDebugLine;

}   // namespace

int main(int argc, char** argv)
{
    useOffscreenPlatform();
    QCoreApplication app(argc, argv);
    const bool smoke = hasArg(argc, argv, "--smoke");
    Results results(smoke);
    QTemporaryDir dir;
    // The reader says why a workbook is unreadable on the debug output.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) { lastDebugLine = text; });

    // Long texts are no numbers; a number of the longest kind is converted once, however
    // many rows name it. Crafted shapes are refused for what they are, not by chance.
    const QByteArray number = QByteArray("2.5").rightJustified(MaxNumberTextLength, '0');
    struct Case {
        QString name;
        std::function<Workbook()> make;
        int points;
        QString refusal;   // what the reader says, empty when it reads the workbook
        bool inSmoke = true;
    };
    const QString attributeRefusal = QStringLiteral("more than %1 attributes").arg(XlsxReader::MaxXmlAttributes);
    const QString entryRefusal = QStringLiteral("more than %1").arg(XlsxReader::MaxEntries);
    const QString budgetRefusal = QStringLiteral("unpacks to more than %1 bytes").arg(XlsxReader::MaxUnpackedBytes);
    const Case cases[] = {
        {QStringLiteral("a %1-byte text named by 10 rows").arg(kNearBudget),
         [] { return namedText(QByteArray(kNearBudget, '1'), 10); },
         0,
         {}},
        {QStringLiteral("a %1-byte text named by 100 rows").arg(kNearBudget),
         [] { return namedText(QByteArray(kNearBudget, '1'), 100); },
         0,
         {}},
        {QStringLiteral("a 1 MiB text named by 10000 rows"),
         [] { return namedText(QByteArray(1 << 20, '1'), 10000); },
         0,
         {}},
        {QStringLiteral("a %1-character number named by 100000 rows").arg(number.size()),
         [&number] { return namedText(number, 100000); },
         1,
         {}},
        {QStringLiteral("100000 attributes on one element"), [] { return manyAttributes(100000); }, 0,
         attributeRefusal},
        {QStringLiteral("500000 attributes on one element"), [] { return manyAttributes(500000); }, 0,
         attributeRefusal},
        {QStringLiteral("%1 attributes on every row of a %2-byte sheet")
             .arg(XlsxReader::MaxXmlAttributes)
             .arg(kNearBudget),
         attributesOnEveryRow,
         MaxTorqueTablePoints,
         {},
         false},
        {QStringLiteral("100000 empty entries first"),
         [] {
             return sheet(goodRows(), 100000);
         },
         0, entryRefusal},
        {QStringLiteral("1000000 empty entries first"),
         [] {
             return sheet(goodRows(), 1000000);
         },
         0, entryRefusal, false},
        {QStringLiteral("five parts of just under 16 MiB in the costliest markup"),
         [] {
             return sheet(goodRows(), 0, costliestPadding((16 << 20) - 4096));
         },
         0, budgetRefusal},
        {QStringLiteral("five parts filling the budget in the costliest markup"),
         [] {
             return sheet(goodRows(), 0, costliestPadding(kNearBudget / 5));
         },
         20, {}},
        {QStringLiteral("a number of 16000000 digits"),
         [] { return longNumberFirst(16000000); },
         0, budgetRefusal},
        {QStringLiteral("a number of %1 digits").arg(kNearBudget), [] { return longNumberFirst(kNearBudget); }, 19,
         {}},
        {QStringLiteral("an end record counting no entries ahead of 600000"),
         [] {
             return sheet(goodRows(), 600000, {}, true);
         },
         0, entryRefusal, false},
    };
    for (const Case& c : cases) {
        if (smoke && !c.inSmoke) continue;
        const QString path = dir.filePath(QStringLiteral("crafted.xlsx"));
        const QString name = QStringLiteral("workbook: %1").arg(c.name);
        if (!writeWorkbook(path, c.make())) {
            results.check(name, QStringLiteral("workbook not written"), QStringLiteral("written"), false);
            continue;
        }
        lastDebugLine.clear();
        resetPeakResident();
        const qint64 before = residentBytes();
        const Clock::time_point t0 = Clock::now();
        const TorquePointList points = processExcelFile(path, QStringLiteral("W8K113"));
        const double ms = msSince(t0);
        const double peakMiB = double(peakResidentBytes() - before) / (1 << 20);
        std::printf("%s (%lld bytes on disk): %lld points in %.0f ms, peak %.1f MiB above the start%s\n",
                    qPrintable(name), static_cast<long long>(QFileInfo(path).size()), static_cast<long long>(points.size()), ms, peakMiB,
                    qPrintable(lastDebugLine.isEmpty() ? QString() : QStringLiteral("; ") + lastDebugLine));
        const bool refused = lastDebugLine.startsWith(QLatin1String("workbook not readable"));
        const bool answered = points.size() == c.points &&
                              (c.refusal.isEmpty() ? !refused : refused && lastDebugLine.contains(c.refusal));
        results.check(
            name + QStringLiteral(", answer"),
            QStringLiteral("%1 points%2").arg(points.size()).arg(refused ? QStringLiteral(", refused") : QString()),
            QStringLiteral("%1 points%2")
                .arg(c.points)
                .arg(c.refusal.isEmpty() ? QString() : QStringLiteral(", refused")),
            answered);
        results.timing(name, QStringLiteral("%1 ms").arg(fmt(ms, 0)), QStringLiteral("<= %1 ms").arg(kGoalMs),
                       ms <= kGoalMs);
        results.report(name + QStringLiteral(", peak memory"), QStringLiteral("+%1 MiB").arg(fmt(peakMiB)));
        QFile::remove(path);
    }
    return results.exitCode();
}
