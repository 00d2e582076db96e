#include <QStringEncoder>
#include <QtTest>

#include <functional>

#include "formats/torquetable.h"
#include "formats/xlsxreader.h"
#include "support/zipwriter.h"

namespace {

QString workbook(const char* name) { return QStringLiteral(QUINTREL_TEST_DATA "/workbooks/") + QLatin1String(name); }

using Parts = ZipParts;

const QByteArray workbookXml =
    "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\""
    " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
    "<sheets><sheet name=\"Data\" sheetId=\"1\" r:id=\"rId7\"/></sheets></workbook>";
const QByteArray workbookRels =
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId7\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
    "relationships/worksheet\" Target=\"sheets/data.xml\"/>"
    "<Relationship Id=\"rId8\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
    "relationships/sharedStrings\" Target=\"strings.xml\"/></Relationships>";
const QByteArray sharedStrings =
    "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<si><r><t>Cur</t></r><r><t xml:space=\"preserve\">rent </t></r>"
    "<rPh sb=\"0\" eb=\"1\"><t>hint</t></rPh></si></sst>";

// A sheet of twelve rows and what a crafted file adds to it.
struct CraftedWorkbook {
    QByteArray text = " 2.5 ";                             // the shared text every row's torque names
    QByteArray before;                                     // ahead of sheetData
    QByteArray firstRow;                                   // added to row 1's tag
    QByteArray lastRows;                                   // after row 12
    int emptyEntries = 0;                                  // ahead of the workbook's parts in the archive
    bool zeroCount = false;                                // the end record counts no entries
    qint64 unpacked = 0;                                   // the parts padded to this many bytes in all
    std::function<QByteArray(const QByteArray&)> encode;   // the sheet part's bytes, when not UTF-8
};

QByteArray sheetXml(const QByteArray& rows)
{
    return "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<sheetData>" +
           rows + "</sheetData></worksheet>";
}

Parts handWritten(const QByteArray& rows)
{
    return {{"xl/workbook.xml", workbookXml},
            {"xl/_rels/workbook.xml.rels", workbookRels},
            {"xl/strings.xml", sharedStrings},
            {"xl/sheets/data.xml", sheetXml(rows)}};
}

}   // namespace

Q_DECLARE_METATYPE(CraftedWorkbook)

class WorkbookReaderTest : public QObject {
    Q_OBJECT

private slots:
    void sharedStringsNumbersAndBooleans();
    void severalSheets();
    void inlineStrings();
    void sheetsFoundThroughRelationships();
    void cellForms();
    void unreadableFiles_data();
    void unreadableFiles();
    void malformedSheets_data();
    void malformedSheets();
    void oversizedEntries_data();
    void oversizedEntries();
    void sheetsBeyondAnyRealOne();
    void craftedWorkbooks_data();
    void craftedWorkbooks();
};

void WorkbookReaderTest::sharedStringsNumbersAndBooleans()
{
    XlsxReader reader(workbook("points.xlsx"));
    QVERIFY2(reader.selectSheet(QStringLiteral("Points")), qPrintable(reader.errorString()));

    QCOMPARE(reader.read(1, 1), QVariant(QStringLiteral("Current")));
    QCOMPARE(reader.read(1, 2), QVariant(QStringLiteral("Torque")));
    QCOMPARE(reader.read(5, 4), QVariant(QStringLiteral("电流")));
    QCOMPARE(reader.read(7, 1), QVariant(QStringLiteral("3.0")));   // numeric text stays text

    QCOMPARE(reader.read(2, 1).typeId(), QMetaType::Double);
    QCOMPARE(reader.read(2, 1).toDouble(), 0.5);
    QCOMPARE(reader.read(14, 2).toDouble(), 12.34);

    QCOMPARE(reader.read(1, 3), QVariant(true));
    QCOMPARE(reader.read(2, 3), QVariant(false));

    // Empty second column, past the last row, and nonsense coordinates.
    QVERIFY(!reader.read(4, 2).isValid());
    QVERIFY(reader.read(4, 1).isValid());
    QVERIFY(!reader.read(15, 1).isValid());
    QVERIFY(!reader.read(0, 0).isValid());
    QVERIFY(!reader.read(-1, 1).isValid());
}

void WorkbookReaderTest::severalSheets()
{
    XlsxReader reader(workbook("points.xlsx"));
    QCOMPARE(reader.sheetNames(),
             QStringList({QStringLiteral("Points"), QStringLiteral("Other"), QStringLiteral("空表")}));

    QVERIFY(!reader.read(1, 1).isValid());   // nothing selected yet

    QVERIFY(reader.selectSheet(QStringLiteral("Other")));
    QCOMPARE(reader.read(1, 1).toDouble(), 99.0);
    QCOMPARE(reader.read(3, 2), QVariant(QStringLiteral("second sheet")));
    QVERIFY(!reader.read(2, 1).isValid());

    QVERIFY(reader.selectSheet(QStringLiteral("空表")));
    QVERIFY(!reader.read(1, 1).isValid());

    // A failed selection must not leave the previous sheet's cells behind.
    QVERIFY(reader.selectSheet(QStringLiteral("Other")));
    QVERIFY(!reader.selectSheet(QStringLiteral("Missing")));
    QVERIFY(!reader.read(1, 1).isValid());
}

void WorkbookReaderTest::inlineStrings()
{
    XlsxReader reader(workbook("inline.xlsx"));
    QCOMPARE(reader.sheetNames(), QStringList{QStringLiteral("Inline")});
    QVERIFY(reader.selectSheet(QStringLiteral("Inline")));
    QCOMPARE(reader.read(1, 1), QVariant(QStringLiteral("Current")));
    QCOMPARE(reader.read(2, 2).toDouble(), 10.0);
    QCOMPARE(reader.read(14, 1), QVariant(QStringLiteral("13.5")));
}

void WorkbookReaderTest::sheetsFoundThroughRelationships()
{
    // Part names run against the sheet order; one target is absolute.
    XlsxReader reader(workbook("reordered.xlsx"));
    QCOMPARE(reader.sheetNames().first(), QStringLiteral("Points"));
    QVERIFY(reader.selectSheet(QStringLiteral("Points")));
    QCOMPARE(reader.read(1, 1), QVariant(QStringLiteral("Current")));
    QVERIFY(reader.selectSheet(QStringLiteral("空表")));
    QVERIFY(!reader.read(1, 1).isValid());
}

// Forms real writers use that the generated fixtures do not: rich shared
// strings with phonetic hints, formulas, cells without references, no
// package relationships part.
void WorkbookReaderTest::cellForms()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("forms.xlsx"));
    QVERIFY(writeZip(path, handWritten("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
                                       "<c r=\"B1\"><f>2*3</f><v>6</v></c><c r=\"C1\"><f>B1+1</f></c>"
                                       "<c r=\"D1\" t=\"str\"><f>\"a\"</f><v>a</v></c><c r=\"E1\"/></row>"
                                       "<row><c><v>1</v></c><c><v>-2.5E-3</v></c></row>"
                                       "<row r=\"5\"><c r=\"AA5\" t=\"inlineStr\"><is><t>x</t></is></c></row>")));

    XlsxReader reader(path);
    QCOMPARE(reader.sheetNames(), QStringList{QStringLiteral("Data")});
    QVERIFY2(reader.selectSheet(QStringLiteral("Data")), qPrintable(reader.errorString()));
    QCOMPARE(reader.read(1, 1), QVariant(QStringLiteral("Current ")));
    QCOMPARE(reader.read(1, 2).toDouble(), 6.0);
    QCOMPARE(reader.read(1, 3), QVariant(QStringLiteral("=B1+1")));
    QCOMPARE(reader.read(1, 4), QVariant(QStringLiteral("a")));
    QVERIFY(!reader.read(1, 5).isValid());
    QCOMPARE(reader.read(2, 1).toDouble(), 1.0);
    QCOMPARE(reader.read(2, 2).toDouble(), -0.0025);
    QCOMPARE(reader.read(5, 27), QVariant(QStringLiteral("x")));
}

void WorkbookReaderTest::unreadableFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("truncated") << workbook("truncated.xlsx");
    QTest::newRow("not a zip") << workbook("notazip.xlsx");
    QTest::newRow("legacy xls") << workbook("legacy.xls");
    QTest::newRow("zip without workbook") << workbook("noworkbook.xlsx");
    QTest::newRow("missing") << workbook("nosuchfile.xlsx");
    QTest::newRow("directory") << QStringLiteral(QUINTREL_TEST_DATA "/workbooks");
}

void WorkbookReaderTest::unreadableFiles()
{
    QFETCH(QString, path);
    XlsxReader reader(path);
    QVERIFY(reader.sheetNames().isEmpty());
    QVERIFY(!reader.errorString().isEmpty());
    QVERIFY(!reader.selectSheet(QStringLiteral("Points")));
    QVERIFY(!reader.read(1, 1).isValid());
}

void WorkbookReaderTest::malformedSheets_data()
{
    QTest::addColumn<QByteArray>("rows");
    QTest::newRow("shared string index out of range")
        << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>5</v></c></row>");
    QTest::newRow("column past XFD") << QByteArray("<row r=\"1\"><c r=\"XFE1\"><v>1</v></c></row>");
    QTest::newRow("row number overflow") << QByteArray("<row r=\"99999999999\"><c><v>1</v></c></row>");
    QTest::newRow("reference without row") << QByteArray("<row r=\"1\"><c r=\"A\"><v>1</v></c></row>");
    QTest::newRow("number that is not one") << QByteArray("<row r=\"1\"><c r=\"A1\"><v>1,5</v></c></row>");
    QTest::newRow("unclosed cell") << QByteArray("<row r=\"1\"><c r=\"A1\"><v>1</v>");
}

void WorkbookReaderTest::malformedSheets()
{
    QFETCH(QByteArray, rows);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.xlsx"));
    QVERIFY(writeZip(path, handWritten(rows)));
    XlsxReader reader(path);
    QCOMPARE(reader.sheetNames().size(), 1);
    QVERIFY(!reader.selectSheet(QStringLiteral("Data")));
    QVERIFY(!reader.errorString().isEmpty());
    QVERIFY(!reader.read(1, 1).isValid());
}

void WorkbookReaderTest::oversizedEntries_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");
    // 65 MiB sheets, about 70 KiB on disk; the hidden one declares 4 KiB.
    QTest::newRow("declared size over the cap") << workbook("bomb.xlsx") << "too large";
    QTest::newRow("size understated") << workbook("bomb-hidden.xlsx") << "damaged";
    QTest::newRow("document type with entities") << workbook("doctype.xlsx") << "document type";
}

void WorkbookReaderTest::oversizedEntries()
{
    QFETCH(QString, path);
    QFETCH(QString, reason);
    XlsxReader reader(path);
    QCOMPARE(reader.sheetNames().first(), QStringLiteral("Points"));
    QVERIFY(!reader.selectSheet(QStringLiteral("Points")));
    QVERIFY2(reader.errorString().contains(reason), qPrintable(reader.errorString()));
    QVERIFY(!reader.read(1, 1).isValid());
    QVERIFY(!reader.read(1, 2).isValid());

    // The rest of the workbook is still usable.
    QVERIFY(reader.selectSheet(QStringLiteral("Other")));
    QCOMPARE(reader.read(1, 1).toDouble(), 99.0);
}

void WorkbookReaderTest::sheetsBeyondAnyRealOne()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wide.xlsx"));
    QVERIFY(writeZip(path, handWritten("<row r=\"1\"><c><v>1</v></c><c><v>2</v></c><c><v>3</v></c></row>")));
    XlsxReader wide(path);
    QVERIFY(wide.selectSheet(QStringLiteral("Data"), 2));
    QCOMPARE(wide.read(1, 2).toDouble(), 2.0);
    QVERIFY(!wide.read(1, 3).isValid());

    const QByteArray row = "<row>" + QByteArray("<c/>").repeated(100) + "</row>";
    QVERIFY(writeZip(path, handWritten(row.repeated(XlsxReader::MaxCells / 100 + 1))));
    XlsxReader cells(path);
    QVERIFY(!cells.selectSheet(QStringLiteral("Data"), 2));
    QVERIFY2(cells.errorString().contains(QLatin1String("cells")), qPrintable(cells.errorString()));

    Parts parts = handWritten("<row r=\"1\"><c><v>1</v></c></row>");
    parts[2].second = "<sst>" + QByteArray("<si/>").repeated(XlsxReader::MaxSharedStrings + 1) + "</sst>";
    QVERIFY(writeZip(path, parts));
    XlsxReader strings(path);
    QVERIFY(strings.sheetNames().isEmpty());
    QVERIFY2(strings.errorString().contains(QLatin1String("strings")), qPrintable(strings.errorString()));
}

// Twelve rows whose torque column names one shared text, in workbooks laid out as writers
// and crafted files do: a text or stored number is a number only when no longer than a
// number is ever written; a formula without a computed result is a text; an empty stored
// value is an empty cell; nothing beyond the columns read is interpreted; an XML shape or
// an archive that would take the reader minutes is refused whole, however the part is
// encoded.
void WorkbookReaderTest::craftedWorkbooks_data()
{
    const auto nested = [](int levels, const QByteArray& attribute) {
        QByteArray open, close;
        for (int i = 0; i < levels; ++i) {
            open += "<e" + QByteArray(attribute).replace("%1", QByteArray::number(i)) + ">";
            close += "</e>";
        }
        return open + close;
    };
    // Row 1's r and n - 1 more, whose values hold markup characters and, in UTF-16, a
    // character with a quote's byte.
    const auto attributes = [](int n) {
        QByteArray list;
        for (int i = 1; i < n; ++i) list += " a" + QByteArray::number(i) + "= \"x='>/\xe2\x88\x82\"";
        return list;
    };
    const QByteArray declaration = " xmlns:n%1=\"urn:n\"";
    // More rows than declarations, and names, may be in force at once.
    QByteArray declaringRows;
    for (int r = 13; r <= 12 + XlsxReader::MaxXmlNamespaces + 1; ++r)
        declaringRows += "<row xmlns:r=\"" + QByteArray(40, 'u') + "\"><c><v>" + QByteArray::number(r) +
                         "</v></c><c t=\"s\"><v>0</v></c></row>";
    const int allRows = 12 + XlsxReader::MaxXmlNamespaces + 1;

    QTest::addColumn<CraftedWorkbook>("workbook");
    QTest::addColumn<int>("points");
    const auto row = [](const char* name, int points, const std::function<void(CraftedWorkbook&)>& change) {
        CraftedWorkbook workbook;
        change(workbook);
        QTest::newRow(name) << workbook << points;
    };
    row("a number", 12, [](CraftedWorkbook&) {});
    row("at the length limit", 12,
        [](CraftedWorkbook& w) { w.text = QByteArray("2.5").rightJustified(MaxNumberTextLength, '0'); });
    row("one past the limit", 0,
        [](CraftedWorkbook& w) { w.text = QByteArray("2.5").rightJustified(MaxNumberTextLength + 1, '0'); });
    row("not a number", 0, [](CraftedWorkbook& w) { w.text = "Torque"; });
    row("formulas with empty results", 13, [](CraftedWorkbook& w) {
        w.lastRows =
            "<row r=\"13\"><c><f>A12+1</f><v></v></c><c t=\"s\"><v>0</v></c></row>"
            "<row r=\"14\"><c><f t=\"shared\" si=\"0\"/><v></v></c><c t=\"s\"><v>0</v></c></row>"
            "<row r=\"15\"><c><v>15</v></c><c t=\"s\"><v>0</v></c></row>";
    });
    row("attributes at the limit, markup in comments and CDATA", 12, [&](CraftedWorkbook& w) {
        w.firstRow = attributes(XlsxReader::MaxXmlAttributes);
        w.before = "<!-- <!DOCTYPE d> " + attributes(XlsxReader::MaxXmlAttributes) + " --><![CDATA[<!DOCTYPE d><e " +
                   attributes(XlsxReader::MaxXmlAttributes) + ">]]>";
    });
    row("attributes past the limit", 0,
        [&](CraftedWorkbook& w) { w.firstRow = attributes(XlsxReader::MaxXmlAttributes + 1); });
    row("a namespace declared by every row", allRows, [&](CraftedWorkbook& w) { w.lastRows = declaringRows; });
    // The sheet's root declares one namespace.
    row("namespaces in force at the limit", 12,
        [&](CraftedWorkbook& w) { w.before = nested(XlsxReader::MaxXmlNamespaces - 1, declaration); });
    row("namespaces in force past the limit", 0,
        [&](CraftedWorkbook& w) { w.before = nested(XlsxReader::MaxXmlNamespaces, declaration); });
    row("nested at the depth limit", 12,
        [&](CraftedWorkbook& w) { w.before = nested(XlsxReader::MaxXmlDepth - 1, {}); });
    row("nested past the depth limit", 0, [&](CraftedWorkbook& w) { w.before = nested(XlsxReader::MaxXmlDepth, {}); });
    const QByteArray root = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const auto longName = [&root](int text) { return "<e xmlns:n=\"" + QByteArray(text - root.size(), 'u') + "\"/>"; };
    row("namespace names at the limit", 12,
        [&](CraftedWorkbook& w) { w.before = longName(XlsxReader::MaxXmlNamespaceText); });
    row("namespace names past the limit", 0,
        [&](CraftedWorkbook& w) { w.before = longName(XlsxReader::MaxXmlNamespaceText + 1); });
    const auto utf16 = [](const QByteArray& xml) {
        return QByteArray(
            QStringEncoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom)(QString::fromUtf8(xml)));
    };
    row("UTF-16, at the limits", allRows, [&](CraftedWorkbook& w) {
        w.encode = utf16;
        w.firstRow = attributes(XlsxReader::MaxXmlAttributes);
        w.lastRows = declaringRows;
    });
    row("UTF-16, attributes past the limit", 0, [&](CraftedWorkbook& w) {
        w.encode = utf16;
        w.firstRow = attributes(XlsxReader::MaxXmlAttributes + 1);
    });
    // The XML reader takes the declaration's word over the mark; blanks carry it past the
    // block it decoded first.
    row("UTF-16 declared after a UTF-8 mark, attributes past the limit", 0, [&](CraftedWorkbook& w) {
        w.encode = [](const QByteArray& xml) {
            return QByteArray("\xef\xbb\xbf<?xml version=\"1.0\" encoding=\"UTF-16\"?>") +
                   QByteArray(QStringEncoder(QStringEncoder::Utf16LE)(QString(4096, u' ') + QString::fromUtf8(xml)));
        };
        w.firstRow = attributes(XlsxReader::MaxXmlAttributes + 1);
    });
    row("entries at the limit", 12, [](CraftedWorkbook& w) { w.emptyEntries = XlsxReader::MaxEntries - 4; });
    row("entries past the limit", 0, [](CraftedWorkbook& w) { w.emptyEntries = XlsxReader::MaxEntries - 3; });
    row("entries past the limit, the end record counting none", 0, [](CraftedWorkbook& w) {
        w.emptyEntries = XlsxReader::MaxEntries - 3;
        w.zeroCount = true;
    });
    // Rows 13 and 14 after the twelve.
    const auto more = [](const QByteArray& row13, const QByteArray& torque14 = "<c t=\"s\"><v>0</v></c>") {
        return [=](CraftedWorkbook& w) {
            w.lastRows = "<row r=\"13\">" + row13 + "</row><row r=\"14\"><c><v>14</v></c>" + torque14 + "</row>";
        };
    };
    const QByteArray good13 = "<c><v>13</v></c><c t=\"s\"><v>0</v></c>";
    row("empty values beyond the columns read", 14, more(good13 + "<c t=\"s\"><v/></c><c><v></v></c>"));
    row("damaged values beyond the columns read", 14, more(good13 + "<c t=\"s\"><v>7</v></c><c><v>1,5</v></c>"));
    row("an empty value in column B", 13, more("<c><v>13</v></c><c t=\"s\"><v></v></c>"));
    row("an empty value in column A", 12, more("<c t=\"s\"><v/></c><c t=\"s\"><v>0</v></c>"));
    const auto storedNumber = [](int length) {
        return "<c><v>" + QByteArray("2.5").rightJustified(length, '0') + "</v></c>";
    };
    row("a stored number at the length limit", 14, more(good13, storedNumber(MaxNumberTextLength)));
    row("a stored number past the limit", 13, more(good13, storedNumber(MaxNumberTextLength + 1)));
    row("parts at the unpacked budget", 12, [](CraftedWorkbook& w) { w.unpacked = XlsxReader::MaxUnpackedBytes; });
    row("parts past the budget", 0, [](CraftedWorkbook& w) { w.unpacked = XlsxReader::MaxUnpackedBytes + 1; });
}

void WorkbookReaderTest::craftedWorkbooks()
{
    QFETCH(CraftedWorkbook, workbook);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("crafted.xlsx"));
    QByteArray rows;
    for (int r = 1; r <= 12; ++r)
        rows += QByteArray("<row r=\"%1\"%2><c><v>%1</v></c><c t=\"s\"><v>0</v></c></row>")
                    .replace("%2", r == 1 ? workbook.firstRow : QByteArray())
                    .replace("%1", QByteArray::number(r));
    Parts parts = handWritten(rows + workbook.lastRows);
    parts[2].second = "<sst><si><t>" + workbook.text + "</t></si></sst>";
    parts[3].second.replace("<sheetData>", workbook.before + "<sheetData>");
    if (workbook.unpacked > 0) {
        qint64 size = 0;
        for (const auto& part : parts) size += part.second.size();
        const QByteArray comment = "<!--" + QByteArray(workbook.unpacked - size - 7, 'x') + "-->";
        parts[3].second.replace("<sheetData>", comment + "<sheetData>");
    }
    if (workbook.encode) parts[3].second = workbook.encode(parts[3].second);
    QVERIFY(writeZip(path, parts, workbook.emptyEntries));
    if (workbook.zeroCount) QVERIFY(zeroEntryCounts(path));
    const TorquePointList points = readWorkbookPoints(path);
    QTEST(int(points.size()), "points");
    for (const TorquePoint& p : points) QCOMPARE(p.second, 2.5);
}

QTEST_MAIN(WorkbookReaderTest)
#include "tst_workbookreader.moc"
