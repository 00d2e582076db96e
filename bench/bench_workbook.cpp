// Torque point lists from crafted workbooks that stay inside every input limit: cells that
// all name one shared text, one element with very many attributes, an archive with very
// many entries. Goal: every workbook within the reader's limits answered within a second.
//   bench_workbook [--smoke]    (a smoke run leaves out the million-entry cases)
#include "benchsupport.h"

#include "formats/torquetable.h"
#include "support/zipwriter.h"

using namespace bench;

namespace {

constexpr double kGoalMs = 1000;

struct Workbook {
    QByteArray sharedText;   // shared string 0
    QByteArray sheetData;    // the rows
    int emptyEntries = 0;    // empty archive entries ahead of the workbook's parts
};

// A workbook of one sheet with one shared text.
bool writeWorkbook(const QString& path, const Workbook& w)
{
    const QByteArray relationships = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const QByteArray workbook = "<workbook xmlns:r=\"" + relationships +
                                "\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
    const QByteArray parts = "<Relationships><Relationship Id=\"rId1\" Type=\"" + relationships +
                             "/worksheet\" Target=\"sheet.xml\"/><Relationship Id=\"rId2\" Type=\"" + relationships +
                             "/sharedStrings\" Target=\"strings.xml\"/></Relationships>";
    return writeZip(path,
                    {{"xl/workbook.xml", workbook},
                     {"xl/_rels/workbook.xml.rels", parts},
                     {"xl/strings.xml", "<sst><si><t>" + w.sharedText + "</t></si></sst>"},
                     {"xl/sheet.xml", "<worksheet><sheetData>" + w.sheetData + "</sheetData></worksheet>"}},
                    w.emptyEntries);
}

// Rows whose first two columns name shared text 0.
Workbook namedText(const QByteArray& text, int rows)
{
    return {text, QByteArray("<row><c t=\"s\"><v>0</v></c><c t=\"s\"><v>0</v></c></row>").repeated(rows)};
}

// Twenty good points.
QByteArray goodRows()
{
    QByteArray rows;
    for (int r = 1; r <= 20; ++r)
        rows += "<row><c><v>" + QByteArray::number(r) + "</v></c><c><v>" + QByteArray::number(r) + "</v></c></row>";
    return rows;
}

// The good rows, the first of them carrying n attributes.
Workbook manyAttributes(int n)
{
    QByteArray tag = "<row";
    for (int i = 0; i < n; ++i) tag += " a" + QByteArray::number(i) + "=\"\"";
    return {"x", goodRows().replace(0, 4, tag)};
}

}   // namespace

int main(int argc, char** argv)
{
    useOffscreenPlatform();
    QCoreApplication app(argc, argv);
    const bool smoke = hasArg(argc, argv, "--smoke");
    Results results(smoke);
    QTemporaryDir dir;

    // Long texts are no numbers; a number of the longest kind is converted once, however
    // many rows name it.
    const QByteArray number = QByteArray("2.5").rightJustified(MaxNumberTextLength, '0');
    struct Case {
        QString name;
        std::function<Workbook()> make;
        bool inSmoke;
    };
    const Case cases[] = {
        {QStringLiteral("a 15 MiB text named by 10 rows"), [] { return namedText(QByteArray(15 << 20, '1'), 10); },
         true},
        {QStringLiteral("a 15 MiB text named by 100 rows"), [] { return namedText(QByteArray(15 << 20, '1'), 100); },
         true},
        {QStringLiteral("a 1 MiB text named by 10000 rows"), [] { return namedText(QByteArray(1 << 20, '1'), 10000); },
         true},
        {QStringLiteral("a %1-character number named by 100000 rows").arg(number.size()),
         [&number] { return namedText(number, 100000); }, true},
        {QStringLiteral("100000 attributes on one element"), [] { return manyAttributes(100000); }, true},
        {QStringLiteral("1000000 attributes on one element"), [] { return manyAttributes(1000000); }, true},
        {QStringLiteral("100000 empty entries first"),
         [] {
             return Workbook{"x", goodRows(), 100000};
         },
         true},
        {QStringLiteral("1000000 empty entries first"),
         [] {
             return Workbook{"x", goodRows(), 1000000};
         },
         false},
    };
    for (const Case& c : cases) {
        if (smoke && !c.inSmoke) continue;
        const QString path = dir.filePath(QStringLiteral("crafted.xlsx"));
        const QString name = QStringLiteral("workbook: %1").arg(c.name);
        if (!writeWorkbook(path, c.make())) {
            results.check(name, QStringLiteral("workbook not written"), QStringLiteral("written"), false);
            continue;
        }
        resetPeakResident();
        const qint64 before = residentBytes();
        const Clock::time_point t0 = Clock::now();
        const TorquePointList points = processExcelFile(path, QStringLiteral("W8K113"));
        const double ms = msSince(t0);
        const double peakMiB = double(peakResidentBytes() - before) / (1 << 20);
        std::printf("%s (%lld bytes on disk): %zd points in %.0f ms, peak %.1f MiB above the start\n", qPrintable(name),
                    static_cast<long long>(QFileInfo(path).size()), points.size(), ms, peakMiB);
        results.timing(name, QStringLiteral("%1 ms").arg(fmt(ms, 0)), QStringLiteral("<= %1 ms").arg(kGoalMs),
                       ms <= kGoalMs);
        results.report(name + QStringLiteral(", peak memory"), QStringLiteral("+%1 MiB").arg(fmt(peakMiB)));
        QFile::remove(path);
    }
    return results.exitCode();
}
