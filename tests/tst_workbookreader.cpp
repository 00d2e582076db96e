#include <QtTest>

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
// and crafted files do: a text is a number only when no longer than a number is ever
// written; a formula without a computed result is a text; an XML shape or an archive that
// would take the reader minutes is refused whole.
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
    const auto attributes = [](int n) {
        QByteArray list;
        for (int i = 1; i < n; ++i) list += " a" + QByteArray::number(i) + "=\"\"";
        return list;
    };
    const QByteArray declaration = " xmlns:n%1=\"urn:n\"";
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("before");     // ahead of sheetData
    QTest::addColumn<QByteArray>("firstRow");   // added to row 1's tag
    QTest::addColumn<QByteArray>("lastRows");   // after row 12
    QTest::addColumn<int>("emptyEntries");      // ahead of the workbook's parts
    QTest::addColumn<int>("points");
    const QByteArray number(" 2.5 ");
    QTest::newRow("a number") << number << QByteArray() << QByteArray() << QByteArray() << 0 << 12;
    QTest::newRow("at the length limit") << QByteArray("2.5").rightJustified(MaxNumberTextLength, '0') << QByteArray()
                                         << QByteArray() << QByteArray() << 0 << 12;
    QTest::newRow("one past the limit") << QByteArray("2.5").rightJustified(MaxNumberTextLength + 1, '0')
                                        << QByteArray() << QByteArray() << QByteArray() << 0 << 0;
    QTest::newRow("not a number") << QByteArray("Torque") << QByteArray() << QByteArray() << QByteArray() << 0 << 0;
    QTest::newRow("formula with an empty result")
        << number << QByteArray() << QByteArray()
        << QByteArray(
               "<row r=\"13\"><c><f>A12+1</f><v></v></c><c t=\"s\"><v>0</v></c></row>"
               "<row r=\"14\"><c><v>14</v></c><c t=\"s\"><v>0</v></c></row>")
        << 0 << 13;
    QTest::newRow("attributes at the limit")
        << number << QByteArray() << attributes(XlsxReader::MaxXmlAttributes) << QByteArray() << 0 << 12;
    QTest::newRow("attributes past the limit")
        << number << QByteArray() << attributes(XlsxReader::MaxXmlAttributes + 1) << QByteArray() << 0 << 0;
    QByteArray declaringRows;   // more rows than declarations may be in force at once
    for (int r = 13; r <= 12 + XlsxReader::MaxXmlNamespaces + 1; ++r)
        declaringRows += "<row" + QByteArray(declaration).replace("%1", "r") + "><c><v>" + QByteArray::number(r) +
                         "</v></c><c t=\"s\"><v>0</v></c></row>";
    QTest::newRow("a namespace declared by every row")
        << number << QByteArray() << QByteArray() << declaringRows << 0 << 12 + XlsxReader::MaxXmlNamespaces + 1;
    // The sheet's root declares one namespace.
    QTest::newRow("namespaces in force at the limit")
        << number << nested(XlsxReader::MaxXmlNamespaces - 1, declaration) << QByteArray() << QByteArray() << 0 << 12;
    QTest::newRow("namespaces in force past the limit")
        << number << nested(XlsxReader::MaxXmlNamespaces, declaration) << QByteArray() << QByteArray() << 0 << 0;
    QTest::newRow("nested past the depth limit")
        << number << nested(XlsxReader::MaxXmlDepth, QByteArray()) << QByteArray() << QByteArray() << 0 << 0;
    QTest::newRow("entries at the limit")
        << number << QByteArray() << QByteArray() << QByteArray() << XlsxReader::MaxEntries - 4 << 12;
    QTest::newRow("entries past the limit")
        << number << QByteArray() << QByteArray() << QByteArray() << XlsxReader::MaxEntries - 3 << 0;
}

void WorkbookReaderTest::craftedWorkbooks()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, firstRow);
    QFETCH(QByteArray, lastRows);
    QFETCH(int, emptyEntries);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("crafted.xlsx"));
    QByteArray rows;
    for (int r = 1; r <= 12; ++r)
        rows += QByteArray("<row r=\"%1\"%2><c><v>%1</v></c><c t=\"s\"><v>0</v></c></row>")
                    .replace("%2", r == 1 ? firstRow : QByteArray())
                    .replace("%1", QByteArray::number(r));
    Parts parts = handWritten(rows + lastRows);
    parts[2].second = "<sst><si><t>" + text + "</t></si></sst>";
    parts[3].second.replace("<sheetData>", before + "<sheetData>");
    QVERIFY(writeZip(path, parts, emptyEntries));
    const TorquePointList points = readWorkbookPoints(path);
    QTEST(int(points.size()), "points");
    for (const TorquePoint& p : points) QCOMPARE(p.second, 2.5);
}

QTEST_MAIN(WorkbookReaderTest)
#include "tst_workbookreader.moc"
