#include <QtTest>

#include "formats/torquetable.h"
#include "support/zipwriter.h"

namespace {

QString workbook(const char* name) { return QStringLiteral(QUINTREL_TEST_DATA "/workbooks/") + QLatin1String(name); }

// m strictly rising points whose x is their own index.
TorquePointList rising(int m)
{
    TorquePointList points;
    for (int i = 0; i < m; ++i) points.append({double(i), 100.0 + i});
    return points;
}

QList<int> indicesOf(const TorquePointList& points)
{
    QList<int> indices;
    for (const TorquePoint& point : points) indices << int(point.first);
    return indices;
}

QString writeText(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(content);
    return path;
}

// The same points as a text list and as a workbook's first sheet, one point a line or row.
using PointTexts = QList<QPair<QByteArray, QByteArray>>;

QString writeTextPoints(const QTemporaryDir& dir, const PointTexts& points)
{
    QByteArray content;
    for (const auto& point : points) content += point.first + ", " + point.second + "\n";
    return writeText(dir, QStringLiteral("points.txt"), content);
}

QString writeWorkbookPoints(const QTemporaryDir& dir, const PointTexts& points)
{
    QByteArray rows;
    for (const auto& point : points)
        rows += "<row><c><v>" + point.first + "</v></c><c><v>" + point.second + "</v></c></row>";
    const QString path = dir.filePath(QStringLiteral("points.xlsx"));
    const ZipParts parts{{"xl/workbook.xml",
                          "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\""
                          " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                          "<sheets><sheet name=\"W8K113\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
                         {"xl/_rels/workbook.xml.rels",
                          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                          "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                          "relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>"},
                         {"xl/worksheets/sheet1.xml",
                          "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" +
                              rows + "</sheetData></worksheet>"}};
    return writeZip(path, parts) ? path : QString();
}

}   // namespace

Q_DECLARE_METATYPE(PointTexts)

class TorquePointListTest : public QObject {
    Q_OBJECT

private slots:
    void monotonicFilter_data();
    void monotonicFilter();
    void reduction_data();
    void reduction();
    void pointFrame_data();
    void pointFrame();
    void textLines_data();
    void textLines();
    void textFile();
    void textFileBeyondAnyRealOne();
    void workbookFile_data();
    void workbookFile();
    void pointsTheFrameCannotCarry_data();
    void pointsTheFrameCannotCarry();
    void missingAndUnopenable();
};

void TorquePointListTest::monotonicFilter_data()
{
    QTest::addColumn<TorquePointList>("input");
    QTest::addColumn<TorquePointList>("expected");
    QTest::newRow("mixed") << TorquePointList{{1, 1}, {2, 3}, {2, 4}, {3, 2}, {4, 5}}
                           << TorquePointList{{1, 1}, {2, 3}, {4, 5}};
    QTest::newRow("falling from a high first point")
        << TorquePointList{{9, 9}, {8, 8}, {7, 10}, {10, 5}, {1, 1}} << TorquePointList{{9, 9}};
    QTest::newRow("empty") << TorquePointList{} << TorquePointList{};
    QTest::newRow("compares with the last kept point, not the last seen")
        << TorquePointList{{1, 1}, {5, 0}, {2, 2}, {3, 1.5}, {3, 3}} << TorquePointList{{1, 1}, {2, 2}, {3, 3}};
}

void TorquePointListTest::monotonicFilter()
{
    QFETCH(TorquePointList, input);
    QFETCH(TorquePointList, expected);
    QCOMPARE(::monotonicFilter(input), expected);
}

void TorquePointListTest::reduction_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("expected");

    QList<int> all30;
    for (int i = 0; i < 30; ++i) all30 << i;
    QList<int> from31;
    for (int i = 0; i <= 30; ++i)
        if (i != 15) from31 << i;

    QTest::newRow("30 kept whole") << 30 << all30;
    QTest::newRow("31 drop the middle one") << 31 << from31;
    QTest::newRow("45") << 45 << QList<int>{0,  2,  3,  5,  6,  8,  9,  11, 12, 14, 15, 17, 18, 20, 21,
                                            23, 24, 26, 27, 29, 30, 32, 33, 35, 36, 38, 39, 41, 42, 44};
}

void TorquePointListTest::reduction()
{
    QFETCH(int, count);
    QFETCH(QList<int>, expected);
    QCOMPARE(indicesOf(reducePointList(rising(count))), expected);

    const TorquePointList many = reducePointList(rising(100000));
    QCOMPARE(many.size(), MaxTorqueTablePoints);
    QCOMPARE(many.first().first, 0.0);
    QCOMPARE(many.last().first, 99999.0);
}

void TorquePointListTest::pointFrame_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<quint8>("low");
    QTest::addColumn<quint8>("high");
    QTest::newRow("12.34 truncates to 123") << 12.34 << quint8(0x7B) << quint8(0x00);
    QTest::newRow("-0.55 truncates toward zero to -5") << -0.55 << quint8(0xFB) << quint8(0xFF);
    QTest::newRow("3276.8 is 32768, low 16 bits") << 3276.8 << quint8(0x00) << quint8(0x80);
    QTest::newRow("3276.7 is the highest, 32767") << 3276.7 << quint8(0xFF) << quint8(0x7F);
    QTest::newRow("-3276.8 is the lowest, -32768") << -3276.8 << quint8(0x00) << quint8(0x80);
    QTest::newRow("zero") << 0.0 << quint8(0x00) << quint8(0x00);
    // Out of the 32-bit range: saturated before the cut, never undefined.
    QTest::newRow("huge") << 1e300 << quint8(0xFF) << quint8(0xFF);
    QTest::newRow("huge negative") << -1e300 << quint8(0x00) << quint8(0x00);
}

void TorquePointListTest::pointFrame()
{
    QFETCH(double, value);
    QFETCH(quint8, low);
    QFETCH(quint8, high);

    const auto asX = torqueTablePointFrame(12, 3, {value, 1.0});
    const std::array<quint8, 8> expectedX{0x60, 0x01, 12, 3, low, high, 0x0A, 0x00};
    QCOMPARE(asX, expectedX);

    const auto asY = torqueTablePointFrame(30, 29, {-1.0, value});
    const std::array<quint8, 8> expectedY{0x60, 0x01, 30, 29, 0xF6, 0xFF, low, high};
    QCOMPARE(asY, expectedY);
}

void TorquePointListTest::textLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::newRow("comma and blank") << "1.5, 2.5" << true << 1.5 << 2.5;
    QTest::newRow("tab and a further word") << "3\t4 word" << true << 3.0 << 4.0;
    QTest::newRow("padded, several separators") << "  -1,,\t 2e1  " << true << -1.0 << 20.0;
    QTest::newRow("semicolon makes one part") << "1.5;2.5" << false << 0.0 << 0.0;
    QTest::newRow("two words") << "Current Torque" << false << 0.0 << 0.0;
    QTest::newRow("one number") << "  7  " << false << 0.0 << 0.0;
    QTest::newRow("blank") << " \t " << false << 0.0 << 0.0;
    QTest::newRow("decimal comma splits the number") << "1,5 2,5" << true << 1.0 << 5.0;
    QTest::newRow("infinity") << "inf 3" << false << 0.0 << 0.0;
    QTest::newRow("not a number") << "1 nan" << false << 0.0 << 0.0;
    QTest::newRow("leading commas") << ",,8 9" << true << 8.0 << 9.0;
}

void TorquePointListTest::textLines()
{
    QFETCH(QString, line);
    QFETCH(bool, accepted);
    QFETCH(double, x);
    QFETCH(double, y);
    TorquePoint point{-99, -99};
    QCOMPARE(parsePointLine(line, &point), accepted);
    if (accepted) QCOMPARE(point, TorquePoint(x, y));
}

void TorquePointListTest::textFile()
{
    QTemporaryDir dir;
    // A header, blank lines, CRLF endings, a dropped falling point.
    QByteArray content = "Current Torque\r\n\r\n";
    for (int i = 1; i <= 9; ++i) content += QByteArray::number(i) + ", " + QByteArray::number(i * 1.5) + "\r\n";
    content += "5 100\n";
    const QString nine = writeText(dir, QStringLiteral("nine.txt"), content);

    PointListError error = PointListError::NoFile;
    const TorquePointList points = processExcelFile(nine, QStringLiteral("W8K113"), &error);
    QCOMPARE(error, PointListError::None);
    QCOMPARE(points.size(), 9);
    QVERIFY(points.size() < MinTorqueTablePoints);
    QCOMPARE(points.first(), TorquePoint(1, 1.5));
    QCOMPARE(points.last(), TorquePoint(9, 13.5));
    QCOMPARE(pointListText(points.mid(0, 2)), QStringLiteral("(1, 1.5)\n(2, 3)\n"));

    content += "10 15\n";
    const QString ten = writeText(dir, QStringLiteral("ten.csv"), content);
    QCOMPARE(processExcelFile(ten, QString()).size(), MinTorqueTablePoints);

    // More than 30 rising lines are cut down with both ends kept.
    QByteArray many;
    for (int i = 0; i < 45; ++i) many += QByteArray::number(i) + "\t" + QByteArray::number(i) + "\n";
    const TorquePointList reduced = processExcelFile(writeText(dir, QStringLiteral("many"), many), QString());
    QCOMPARE(reduced.size(), MaxTorqueTablePoints);
    QCOMPARE(reduced.at(1).first, 2.0);
    QCOMPARE(reduced.last().first, 44.0);
}

void TorquePointListTest::textFileBeyondAnyRealOne()
{
    QTemporaryDir dir;
    QByteArray content;
    for (int i = 0; content.size() <= MaxPointListFileSize; ++i)
        content += QByteArray::number(i) + " " + QByteArray::number(i) + "\n";
    PointListError error = PointListError::NoFile;
    QVERIFY(processExcelFile(writeText(dir, QStringLiteral("big.txt"), content), QString(), &error).isEmpty());
    QCOMPARE(error, PointListError::None);
    // The same lines within the limit are read.
    content.truncate(content.lastIndexOf('\n', MaxPointListFileSize - 1) + 1);
    QCOMPARE(processExcelFile(writeText(dir, QStringLiteral("limit.txt"), content), QString()).size(),
             MaxTorqueTablePoints);
}

void TorquePointListTest::workbookFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("count");
    QTest::addColumn<TorquePoint>("first");
    QTest::addColumn<TorquePoint>("last");
    // Header skipped, the row with an empty second column skipped without
    // stopping, numeric text taken, reading ends at the first empty A cell.
    QTest::newRow("shared strings") << workbook("points.xlsx") << 12 << TorquePoint(0.5, 1.0)
                                    << TorquePoint(6.5, 12.34);
    QTest::newRow("inline strings") << workbook("inline.xlsx") << 13 << TorquePoint(1, 10) << TorquePoint(13.5, 40);
    QTest::newRow("upper-case suffix, parts out of order")
        << QString() << 12 << TorquePoint(0.5, 1.0) << TorquePoint(6.5, 12.34);
    QTest::newRow("empty first cell") << workbook("emptyfirstcell.xlsx") << 0 << TorquePoint() << TorquePoint();
    QTest::newRow("legacy xls") << workbook("legacy.xls") << 0 << TorquePoint() << TorquePoint();
    QTest::newRow("truncated") << workbook("truncated.xlsx") << 0 << TorquePoint() << TorquePoint();
    QTest::newRow("zip bomb") << workbook("bomb.xlsx") << 0 << TorquePoint() << TorquePoint();
}

void TorquePointListTest::workbookFile()
{
    QFETCH(QString, path);
    QFETCH(int, count);
    QTemporaryDir dir;
    if (path.isEmpty()) {
        path = dir.filePath(QStringLiteral("REORDERED.XLSX"));
        QVERIFY(QFile::copy(workbook("reordered.xlsx"), path));
    }

    PointListError error = PointListError::NoFile;
    const TorquePointList points = processExcelFile(path, QStringLiteral("W8K113"), &error);
    QCOMPARE(error, PointListError::None);
    QCOMPARE(points.size(), count);
    if (count > 0) {
        QTEST(points.first(), "first");
        QTEST(points.last(), "last");
    }
}

// A point whose x or y, times ten and truncated, leaves the frame's signed 16 bits would
// reach the drive as another point: it is skipped like a line without a point, in both
// branches, before the rising filter.
void TorquePointListTest::pointsTheFrameCannotCarry_data()
{
    QTest::addColumn<PointTexts>("points");
    QTest::addColumn<TorquePointList>("expected");
    QTest::newRow("both edges kept") << PointTexts{{"-3276.8", "-3276.8"}, {"0", "0"}, {"3276.7", "3276.7"}}
                                     << TorquePointList{{-3276.8, -3276.8}, {0, 0}, {3276.7, 3276.7}};
    QTest::newRow("the last digit truncated away")
        << PointTexts{{"-3276.85", "1"}, {"3276.79", "2"}} << TorquePointList{{-3276.85, 1}, {3276.79, 2}};
    QTest::newRow("x above skipped, the rise goes on")
        << PointTexts{{"1", "1"}, {"3276.8", "2"}, {"3", "3"}} << TorquePointList{{1, 1}, {3, 3}};
    QTest::newRow("y above skipped, the rise goes on")
        << PointTexts{{"1", "1"}, {"2", "3276.8"}, {"3", "3"}} << TorquePointList{{1, 1}, {3, 3}};
    QTest::newRow("x below skipped as the first point")
        << PointTexts{{"-3276.9", "1"}, {"1", "2"}, {"2", "3"}} << TorquePointList{{1, 2}, {2, 3}};
    QTest::newRow("y below skipped as the first point")
        << PointTexts{{"1", "-3276.9"}, {"0.5", "2"}} << TorquePointList{{0.5, 2}};
    QTest::newRow("far out either way") << PointTexts{{"1e300", "1"}, {"1", "-1e300"}, {"1", "1"}}
                                        << TorquePointList{{1, 1}};
    QTest::newRow("7000 would be sent as 446.4")
        << PointTexts{{"1", "1"}, {"7000", "7000"}, {"2", "2"}} << TorquePointList{{1, 1}, {2, 2}};
}

void TorquePointListTest::pointsTheFrameCannotCarry()
{
    QFETCH(PointTexts, points);
    QFETCH(TorquePointList, expected);
    QTemporaryDir dir;
    for (const QString& path : {writeTextPoints(dir, points), writeWorkbookPoints(dir, points)}) {
        QVERIFY(!path.isEmpty());
        QCOMPARE(processExcelFile(path, QStringLiteral("W8K113")), expected);
    }
}

void TorquePointListTest::missingAndUnopenable()
{
    PointListError error = PointListError::None;
    QVERIFY(processExcelFile(workbook("nosuchfile.txt"), QString(), &error).isEmpty());
    QCOMPARE(error, PointListError::NoFile);

    // Exists but cannot be opened as a text file.
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("points.txt"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(processExcelFile(folder, QString(), &error).isEmpty());
    QCOMPARE(error, PointListError::CannotOpen);

    // A workbook that is not one is an empty list, not an open failure.
    const QString fake = writeText(dir, QStringLiteral("fake.xlsx"), "1, 2\n3, 4\n");
    QVERIFY(processExcelFile(fake, QString(), &error).isEmpty());
    QCOMPARE(error, PointListError::None);
}

QTEST_MAIN(TorquePointListTest)
#include "tst_torquepointlist.moc"
