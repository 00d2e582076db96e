// Torque point lists from workbooks whose cells all name one shared text: the time to the
// point list must not grow with how often the text is named. Goal: every workbook within
// the reader's limits answered within a second.
//   bench_workbook [--smoke]
#include "benchsupport.h"

#include "formats/torquetable.h"
#include "support/zipwriter.h"

using namespace bench;

namespace {

constexpr double kGoalMs = 1000;

// A workbook of one sheet whose first two columns, in every row, name shared text 0.
bool writeWorkbook(const QString& path, const QByteArray& text, int rows)
{
    const QByteArray relationships = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const QByteArray workbook = "<workbook xmlns:r=\"" + relationships +
                                "\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
    const QByteArray parts = "<Relationships><Relationship Id=\"rId1\" Type=\"" + relationships +
                             "/worksheet\" Target=\"sheet.xml\"/><Relationship Id=\"rId2\" Type=\"" + relationships +
                             "/sharedStrings\" Target=\"strings.xml\"/></Relationships>";
    const QByteArray row = "<row><c t=\"s\"><v>0</v></c><c t=\"s\"><v>0</v></c></row>";
    return writeZip(path,
                    {{"xl/workbook.xml", workbook},
                     {"xl/_rels/workbook.xml.rels", parts},
                     {"xl/strings.xml", "<sst><si><t>" + text + "</t></si></sst>"},
                     {"xl/sheet.xml", "<worksheet><sheetData>" + row.repeated(rows) + "</sheetData></worksheet>"}});
}

}   // namespace

int main(int argc, char** argv)
{
    useOffscreenPlatform();
    QCoreApplication app(argc, argv);
    Results results(hasArg(argc, argv, "--smoke"));
    QTemporaryDir dir;

    // Long texts are no numbers; a number of the longest kind is converted once, however
    // many rows name it.
    const QByteArray number = QByteArray("2.5").rightJustified(MaxNumberTextLength, '0');
    struct Case {
        QString text;
        QByteArray bytes;
        int rows;
    };
    const Case cases[] = {
        {QStringLiteral("a 15 MiB text"), QByteArray(15 << 20, '1'), 10},
        {QStringLiteral("a 15 MiB text"), QByteArray(15 << 20, '1'), 100},
        {QStringLiteral("a 1 MiB text"), QByteArray(1 << 20, '1'), 10000},
        {QStringLiteral("a %1-character number").arg(number.size()), number, 100000},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(QStringLiteral("named.xlsx"));
        const QString name = QStringLiteral("workbook: %1 named by %2 rows").arg(c.text).arg(c.rows);
        if (!writeWorkbook(path, c.bytes, c.rows)) {
            results.check(name, QStringLiteral("workbook not written"), QStringLiteral("written"), false);
            continue;
        }
        const Clock::time_point t0 = Clock::now();
        const TorquePointList points = processExcelFile(path, QStringLiteral("W8K113"));
        const double ms = msSince(t0);
        std::printf("%s (%lld bytes on disk): %zd points in %.0f ms\n", qPrintable(name),
                    static_cast<long long>(QFileInfo(path).size()), points.size(), ms);
        results.timing(name, QStringLiteral("%1 ms").arg(fmt(ms, 0)), QStringLiteral("<= %1 ms").arg(kGoalMs),
                       ms <= kGoalMs);
    }
    return results.exitCode();
}
