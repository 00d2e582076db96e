#include "formats/xlsxreader.h"

#include "files/boundedfile.h"

#include <QDir>
#include <QFile>
#include <QXmlStreamReader>

#include <QStringDecoder>

#include <optional>
#include <string_view>
#include <vector>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipfileinfo.h>
#include <unzip.h>

namespace {

constexpr int MaxRow = 1048576;
constexpr int MaxColumn = XlsxReader::MaxColumn;

// A value taken from the file, as quoted in a reason: a damaged one may run to megabytes.
QString excerpt(QStringView value, qsizetype length = 40)
{
    return value.size() <= length ? value.toString() : value.left(length).toString() + QChar(0x2026);
}

// Steps the reader on. A DTD or an entity reference ends the parse: workbook
// parts never need either, and refusing them keeps external and expanding
// entities out.
bool nextToken(QXmlStreamReader& xml)
{
    xml.readNext();
    if (xml.tokenType() == QXmlStreamReader::DTD || xml.tokenType() == QXmlStreamReader::EntityReference) {
        xml.raiseError(QStringLiteral("document type declarations are not accepted"));
        return false;
    }
    return !xml.atEnd() && !xml.hasError();
}

// The encoding a part's declaration names, as the XML reader itself reads it; empty when
// it names none. Only a declaration at the start, after a UTF-8 mark, counts, and only it
// is parsed.
QByteArray declaredEncoding(const QByteArray& data)
{
    const QByteArrayView start =
        data.startsWith("\xef\xbb\xbf") ? QByteArrayView(data).sliced(3) : QByteArrayView(data);
    if (!start.startsWith("<?xml")) return QByteArray();
    QXmlStreamReader xml(data);
    xml.readNext();
    return xml.documentEncoding().toLatin1();
}

// Qt's stream reader compares each attribute of an element with every earlier one, names
// of namespaces included, and looks each name up through every namespace declaration in
// force, so a crafted part of a megabyte keeps it busy for minutes. One pass over the part
// refuses such a shape before the reader sees it. Comments, processing instructions, CDATA
// and quoted values are stepped over whole, so nothing inside them counts. Empty when the
// part is fine.
template <typename Char>
QString xmlShapeFault(std::basic_string_view<Char> s)
{
    const auto at = [&s](size_t i, std::string_view what) {
        if (s.size() - i < what.size()) return false;
        for (size_t k = 0; k < what.size(); ++k)
            if (s[i + k] != Char(what[k])) return false;
        return true;
    };
    const auto past = [&s, &at](size_t from, std::string_view stop) {
        for (size_t i = from; (i = s.find(Char(stop[0]), i)) != s.npos; ++i)
            if (at(i, stop)) return i + stop.size();
        return s.size();
    };
    const auto isSpace = [](Char c) { return c == Char(' ') || c == Char('\t') || c == Char('\n') || c == Char('\r'); };
    struct Declared {
        int count = 0;
        size_t text = 0;   // characters of the namespace names
    };
    std::vector<Declared> open;   // namespace declarations of each open element
    Declared inForce;
    size_t i = 0;
    while ((i = s.find(Char('<'), i)) != s.npos && ++i < s.size()) {
        if (at(i, "?")) {
            i = past(i, "?>");
        } else if (at(i, "!--")) {
            i = past(i + 3, "-->");
        } else if (at(i, "![CDATA[")) {
            i = past(i + 8, "]]>");
        } else if (at(i, "!")) {
            return QStringLiteral("document type declarations are not accepted");
        } else if (at(i, "/")) {
            if (!open.empty()) {
                inForce.count -= open.back().count;
                inForce.text -= open.back().text;
                open.pop_back();
            }
            i = past(i, ">");
        } else {
            // A start tag: every '=' outside a quoted value is an attribute, and one named
            // xmlns or xmlns:<prefix> is a namespace declaration.
            int attributes = 0;
            Declared declared;
            bool declaring = false;   // the next quoted value names a namespace
            size_t word = s.npos;
            size_t lastWord = 0;
            size_t lastLength = 0;
            for (; i < s.size() && s[i] != Char('>'); ++i) {
                const Char c = s[i];
                const bool inName =
                    !isSpace(c) && c != Char('=') && c != Char('"') && c != Char('\'') && c != Char('/');
                if (inName && word == s.npos) word = i;
                if (inName) continue;
                if (word != s.npos) {
                    lastWord = word;
                    lastLength = i - word;
                }
                word = s.npos;
                if (c == Char('=')) {
                    ++attributes;
                    declaring =
                        (lastLength == 5 && at(lastWord, "xmlns")) || (lastLength > 6 && at(lastWord, "xmlns:"));
                    if (declaring) ++declared.count;
                } else if (c == Char('"') || c == Char('\'')) {
                    const size_t value = i + 1;
                    i = s.find(c, value);
                    if (i == s.npos) return QString();   // unterminated: the reader reports it
                    if (declaring) declared.text += i - value;
                    declaring = false;
                }
            }
            if (attributes > XlsxReader::MaxXmlAttributes)
                return QStringLiteral("an element with more than %1 attributes").arg(XlsxReader::MaxXmlAttributes);
            if (inForce.count + declared.count > XlsxReader::MaxXmlNamespaces)
                return QStringLiteral("more than %1 namespace declarations in force").arg(XlsxReader::MaxXmlNamespaces);
            if (inForce.text + declared.text > size_t(XlsxReader::MaxXmlNamespaceText))
                return QStringLiteral("namespace names in force longer than %1 characters")
                    .arg(XlsxReader::MaxXmlNamespaceText);
            if (int(open.size()) >= XlsxReader::MaxXmlDepth)
                return QStringLiteral("elements nested more than %1 deep").arg(XlsxReader::MaxXmlDepth);
            if (i < s.size() && s[i - 1] != Char('/')) {
                open.push_back(declared);
                inForce.count += declared.count;
                inForce.text += declared.text;
            }
        }
    }
    return QString();
}

// Gives a part to the XML reader once its shape is checked. UTF-8, which every writer uses,
// is checked and given as bytes: no markup byte occurs inside a longer character. Any other
// encoding is decoded first, as the reader would decode it, and the reader is given that
// text, so that no declaration can make it read something other than what was checked.
bool feedXml(QByteArray data, QXmlStreamReader* xml, QString* why)
{
    const std::optional<QStringConverter::Encoding> marked = QStringConverter::encodingForData(data, u'<');
    const QByteArray declared = declaredEncoding(data);
    const bool utf8 = (!marked || *marked == QStringConverter::Utf8) &&
                      (declared.isEmpty() || declared.compare("UTF-8", Qt::CaseInsensitive) == 0);
    if (utf8) {
        *why = xmlShapeFault(std::string_view(data.constData(), size_t(data.size())));
        if (why->isEmpty()) xml->addData(data);
        return why->isEmpty();
    }
    QStringDecoder decoder = marked ? QStringDecoder(*marked) : QStringDecoder(declared.constData());
    if (!decoder.isValid()) {
        *why = QStringLiteral("encoding %1 is not supported").arg(excerpt(QString::fromLatin1(declared)));
        return false;
    }
    const QString text = decoder.decode(data);
    if (decoder.hasError()) {
        *why = QStringLiteral("incorrectly encoded content");
        return false;
    }
    *why = xmlShapeFault(std::u16string_view(QStringView(text).utf16(), size_t(text.size())));
    if (why->isEmpty()) xml->addData(text);
    return why->isEmpty();
}

// Text of the element the reader stands on, up to its end tag; with no out, the element
// is stepped over.
bool readText(QXmlStreamReader& xml, QString* out)
{
    if (out) out->clear();
    int depth = 1;
    while (depth > 0) {
        if (!nextToken(xml)) return false;
        if (xml.isStartElement())
            ++depth;
        else if (xml.isEndElement())
            --depth;
        else if (out && xml.isCharacters())
            out->append(xml.text());
    }
    return true;
}

// Why a part's XML could not be read, both quoted short.
QString xmlFault(const QString& part, const QXmlStreamReader& xml)
{
    return QStringLiteral("%1: %2").arg(excerpt(part), excerpt(xml.errorString(), 120));
}

// Plain text of a string item (<si> or <is>): the <t> runs, without the
// phonetic hints of <rPh>.
bool readStringItem(QXmlStreamReader& xml, QString* out)
{
    out->clear();
    int depth = 1;
    int phonetic = 0;
    bool inText = false;
    while (depth > 0) {
        if (!nextToken(xml)) return false;
        if (xml.isStartElement()) {
            ++depth;
            if (xml.name() == QLatin1String("rPh"))
                ++phonetic;
            else if (xml.name() == QLatin1String("t"))
                inText = true;
        } else if (xml.isEndElement()) {
            --depth;
            if (xml.name() == QLatin1String("rPh"))
                --phonetic;
            else if (xml.name() == QLatin1String("t"))
                inText = false;
        } else if (xml.isCharacters() && inText && phonetic == 0) {
            out->append(xml.text());
        }
    }
    return true;
}

// The r:id attribute, whatever prefix or relationship namespace the writer used.
QString relationshipId(const QXmlStreamAttributes& attributes)
{
    for (const QXmlStreamAttribute& attribute : attributes) {
        if (attribute.name() == QLatin1String("id") && !attribute.namespaceUri().isEmpty())
            return attribute.value().toString();
    }
    return QString();
}

// "B12" -> row 12, column 2.
bool parseCellReference(QStringView ref, int* row, int* column)
{
    qsizetype i = 0;
    int col = 0;
    for (; i < ref.size() && ref[i] >= QLatin1Char('A') && ref[i] <= QLatin1Char('Z'); ++i) {
        if (i == 3) return false;
        col = col * 26 + (ref[i].unicode() - 'A' + 1);
    }
    if (col == 0 || col > MaxColumn || i == ref.size() || ref.size() - i > 7) return false;
    int r = 0;
    for (; i < ref.size(); ++i) {
        if (ref[i] < QLatin1Char('0') || ref[i] > QLatin1Char('9')) return false;
        r = r * 10 + (ref[i].unicode() - '0');
    }
    if (r < 1 || r > MaxRow) return false;
    *row = r;
    *column = col;
    return true;
}

QString partDirectory(const QString& part)
{
    const int slash = part.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : part.left(slash + 1);
}

// Relationships of a part live in _rels/<name>.rels beside it.
QString relationshipsPart(const QString& part)
{
    const int slash = part.lastIndexOf(QLatin1Char('/'));
    return partDirectory(part) + QStringLiteral("_rels/") + part.mid(slash + 1) + QStringLiteral(".rels");
}

// Archive path of a relationship target, or empty when it points outside the package.
QString resolveTarget(const QString& sourcePart, const QString& target)
{
    if (target.isEmpty()) return QString();
    const QString joined = target.startsWith(QLatin1Char('/')) ? target.mid(1) : partDirectory(sourcePart) + target;
    const QString clean = QDir::cleanPath(joined);
    if (clean.isEmpty() || clean == QLatin1String(".") || clean.startsWith(QLatin1String("../")) ||
        clean == QLatin1String("..") || clean.startsWith(QLatin1Char('/')))
        return QString();
    return clean;
}

bool typeIs(const QString& type, const char* kind) { return type.endsWith(QLatin1Char('/') + QLatin1String(kind)); }

quint64 cellKey(int row, int column) { return (quint64(quint32(row)) << 32) | quint32(column); }

}   // namespace

XlsxReader::XlsxReader(const QString& path) : m_path(path)
{
    if (!load()) {
        m_sheets.clear();
        m_sharedStrings.clear();
    }
    m_workbookBytes = m_unpacked;
}

QStringList XlsxReader::sheetNames() const
{
    QStringList names;
    for (const Sheet& sheet : m_sheets) names << sheet.name;
    return names;
}

QString XlsxReader::errorString() const { return m_error; }

bool XlsxReader::fail(const QString& message)
{
    m_error = message;
    return false;
}

bool XlsxReader::selectSheet(const QString& name, int lastColumn)
{
    m_cells.clear();
    m_error.clear();
    m_unpacked = m_workbookBytes;
    for (const Sheet& sheet : std::as_const(m_sheets)) {
        if (sheet.name != name) continue;
        QFile file;
        QuaZip zip(&file);
        if (!openArchive(&file, &zip)) return false;
        QXmlStreamReader xml;
        switch (readEntry(zip, sheet.part, &xml)) {
        case Entry::Failed: return false;
        case Entry::Missing: return fail(QStringLiteral("sheet part %1 is missing").arg(excerpt(sheet.part)));
        case Entry::Ok: break;
        }
        if (!parseSheet(xml, lastColumn)) {
            m_cells.clear();
            return false;
        }
        return true;
    }
    return fail(QStringLiteral("no sheet named %1").arg(excerpt(name)));
}

// Only a regular file is opened: a FIFO would block and a device never end.
bool XlsxReader::openArchive(QFile* file, QuaZip* zip)
{
    QString why;
    if (!files::openRegularFile(file, m_path, &why))
        return fail(QStringLiteral("cannot open the workbook: %1").arg(why));
    if (!zip->open(QuaZip::mdUnzip)) return fail(QStringLiteral("not a zip archive"));
    // Every lookup walks the central directory, so its length is checked before any. The
    // end record's count cannot be trusted for it: a count of zero lets the walk run to the
    // last record. Walking as the lookups do, and stopping past the limit, bounds it whatever
    // the record says.
    unzFile directory = zip->getUnzFile();
    int entries = 0;
    for (int status = unzGoToFirstFile(directory); status == UNZ_OK; status = unzGoToNextFile(directory)) {
        if (++entries > MaxEntries)
            return fail(QStringLiteral("the archive lists more than %1 entries").arg(MaxEntries));
    }
    return true;
}

QVariant XlsxReader::read(int row, int column) const { return m_cells.value(cellKey(row, column)); }

// Reads one archive entry whole, refusing anything that inflates past the cap, and hands
// it to the XML reader once its shape is checked.
XlsxReader::Entry XlsxReader::readEntry(QuaZip& zip, const QString& entry, QXmlStreamReader* xml)
{
    if (!zip.setCurrentFile(entry, QuaZip::csInsensitive)) return Entry::Missing;
    QuaZipFileInfo64 info;
    if (!zip.getCurrentFileInfo(&info)) {
        fail(QStringLiteral("cannot read the archive directory"));
        return Entry::Failed;
    }
    // Every part of one read draws on one budget: each part's own bound would let a
    // workbook of five parts take five times as long. The declared size can lie; the loop
    // below enforces the budget again.
    const qint64 left = MaxUnpackedBytes - m_unpacked;
    const auto tooLarge = [&] {
        fail(QStringLiteral("entry %1 is too large: the workbook unpacks to more than %2 bytes")
                 .arg(excerpt(entry))
                 .arg(MaxUnpackedBytes));
        return Entry::Failed;
    };
    if (info.uncompressedSize > quint64(left)) return tooLarge();

    QuaZipFile file(&zip);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("cannot read entry %1").arg(excerpt(entry)));
        return Entry::Failed;
    }
    QByteArray data;
    data.reserve(qsizetype(info.uncompressedSize));
    char buffer[64 * 1024];
    for (;;) {
        const qint64 n = file.read(buffer, sizeof buffer);
        if (n < 0) {
            fail(QStringLiteral("entry %1 is damaged").arg(excerpt(entry)));
            return Entry::Failed;
        }
        if (n == 0) break;
        if (data.size() + n > left) return tooLarge();
        data.append(buffer, qsizetype(n));
    }
    file.close();
    if (file.getZipError() != 0) {   // CRC mismatch or a cut stream
        fail(QStringLiteral("entry %1 is damaged").arg(excerpt(entry)));
        return Entry::Failed;
    }
    m_unpacked += data.size();
    QString why;
    if (!feedXml(std::move(data), xml, &why)) {
        fail(QStringLiteral("entry %1: %2").arg(excerpt(entry), why));
        return Entry::Failed;
    }
    return Entry::Ok;
}

XlsxReader::Entry XlsxReader::readRelationships(QuaZip& zip, const QString& part, Relationships* rels)
{
    rels->clear();
    QXmlStreamReader xml;
    const QString relsPart = relationshipsPart(part);
    const Entry status = readEntry(zip, relsPart, &xml);
    if (status != Entry::Ok) return status;
    while (nextToken(xml)) {
        if (!xml.isStartElement() || xml.name() != QLatin1String("Relationship")) continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        if (attributes.value(QLatin1String("TargetMode")) == QLatin1String("External")) continue;
        const QString target = resolveTarget(part, attributes.value(QLatin1String("Target")).toString());
        if (target.isEmpty()) continue;
        rels->insert(attributes.value(QLatin1String("Id")).toString(),
                     qMakePair(attributes.value(QLatin1String("Type")).toString(), target));
    }
    if (xml.hasError()) {
        fail(xmlFault(relsPart, xml));
        return Entry::Failed;
    }
    return Entry::Ok;
}

bool XlsxReader::load()
{
    QFile file;
    QuaZip zip(&file);
    if (!openArchive(&file, &zip)) return false;

    // The package relationships name the workbook part; where a writer left
    // them out the usual place is taken.
    QString workbookPart = QStringLiteral("xl/workbook.xml");
    Relationships rels;
    switch (readRelationships(zip, QString(), &rels)) {
    case Entry::Failed: return false;
    case Entry::Missing: break;
    case Entry::Ok:
        for (const auto& rel : std::as_const(rels)) {
            if (typeIs(rel.first, "officeDocument")) workbookPart = rel.second;
        }
        break;
    }

    QXmlStreamReader xml;
    switch (readEntry(zip, workbookPart, &xml)) {
    case Entry::Failed: return false;
    case Entry::Missing: return fail(QStringLiteral("no workbook in the archive"));
    case Entry::Ok: break;
    }

    QList<QPair<QString, QString>> declared;   // name, relationship id
    while (nextToken(xml)) {
        if (xml.isStartElement() && xml.name() == QLatin1String("sheet")) {
            declared.append(
                qMakePair(xml.attributes().value(QLatin1String("name")).toString(), relationshipId(xml.attributes())));
        }
    }
    if (xml.hasError()) return fail(xmlFault(workbookPart, xml));

    switch (readRelationships(zip, workbookPart, &rels)) {
    case Entry::Failed: return false;
    case Entry::Missing: return fail(QStringLiteral("the workbook has no relationships"));
    case Entry::Ok: break;
    }
    for (const auto& sheet : std::as_const(declared)) {
        const auto rel = rels.constFind(sheet.second);
        if (sheet.first.isEmpty() || rel == rels.constEnd())
            return fail(QStringLiteral("sheet %1 has no part").arg(excerpt(sheet.first)));
        m_sheets.append(Sheet{sheet.first, rel->second});
    }
    for (const auto& rel : std::as_const(rels)) {
        if (typeIs(rel.first, "sharedStrings")) return readSharedStrings(zip, rel.second);
    }
    return true;
}

bool XlsxReader::readSharedStrings(QuaZip& zip, const QString& part)
{
    QXmlStreamReader xml;
    switch (readEntry(zip, part, &xml)) {
    case Entry::Failed: return false;
    case Entry::Missing: return fail(QStringLiteral("%1 is missing").arg(excerpt(part)));
    case Entry::Ok: break;
    }
    QString text;
    while (nextToken(xml)) {
        if (xml.isStartElement() && xml.name() == QLatin1String("si")) {
            if (!readStringItem(xml, &text)) break;
            if (m_sharedStrings.size() == MaxSharedStrings)
                return fail(QStringLiteral("%1: more than %2 strings").arg(excerpt(part)).arg(MaxSharedStrings));
            m_sharedStrings.append(text);
        }
    }
    if (xml.hasError()) return fail(xmlFault(part, xml));
    return true;
}

bool XlsxReader::parseSheet(QXmlStreamReader& xml, int lastColumn)
{
    bool inSheetData = false;
    int row = 0;
    int column = 0;
    int cells = 0;
    while (nextToken(xml)) {
        if (xml.isEndElement() && xml.name() == QLatin1String("sheetData")) {
            inSheetData = false;
            continue;
        }
        if (!xml.isStartElement()) continue;
        if (xml.name() == QLatin1String("sheetData")) {
            inSheetData = true;
            continue;
        }
        if (!inSheetData) continue;

        if (xml.name() == QLatin1String("row")) {
            const QStringView r = xml.attributes().value(QLatin1String("r"));
            bool ok = true;
            row = r.isEmpty() ? row + 1 : r.toInt(&ok);
            if (!ok || row < 1 || row > MaxRow) return fail(QStringLiteral("bad row number"));
            column = 0;
            continue;
        }
        if (xml.name() != QLatin1String("c")) continue;
        if (++cells > MaxCells) return fail(QStringLiteral("sheet has more than %1 cells").arg(MaxCells));

        // Cells may leave out their reference; they then follow the previous one.
        const QXmlStreamAttributes attributes = xml.attributes();
        const QStringView ref = attributes.value(QLatin1String("r"));
        int cellRow = row < 1 ? 1 : row;
        int cellColumn = column + 1;
        if (!ref.isEmpty() && !parseCellReference(ref, &cellRow, &cellColumn))
            return fail(QStringLiteral("bad cell reference %1").arg(excerpt(ref)));
        if (cellColumn > MaxColumn) return fail(QStringLiteral("too many columns"));
        column = cellColumn;
        // Nothing in a column not asked for can make the sheet unreadable.
        if (cellColumn > lastColumn) {
            if (!readText(xml, nullptr)) break;
            continue;
        }
        const QString type = attributes.value(QLatin1String("t")).toString();

        QString value, formula, inlineText;
        bool hasValue = false, hasFormula = false, hasInline = false;
        for (;;) {
            if (!nextToken(xml)) break;
            if (xml.isEndElement() && xml.name() == QLatin1String("c")) break;
            if (!xml.isStartElement()) continue;
            bool ok = true;
            if (xml.name() == QLatin1String("v")) {
                ok = readText(xml, &value);
                hasValue = true;
            } else if (xml.name() == QLatin1String("f")) {
                ok = readText(xml, &formula);
                hasFormula = true;
            } else if (xml.name() == QLatin1String("is")) {
                ok = readStringItem(xml, &inlineText);
                hasInline = true;
            }
            if (!ok) break;
        }
        if (xml.hasError()) break;
        // An empty stored value is none, as spreadsheet programs read it: some writers store
        // one for an empty cell, scripts for a formula nobody has computed yet.
        if (value.isEmpty()) hasValue = false;

        QVariant cell;
        if (type == QLatin1String("inlineStr") && hasInline) {
            cell = inlineText;
        } else if (hasValue) {
            if (type == QLatin1String("s")) {
                bool ok = false;
                const int index = value.trimmed().toInt(&ok);
                if (!ok || index < 0 || index >= m_sharedStrings.size())
                    return fail(QStringLiteral("bad shared string index %1").arg(excerpt(value)));
                cell = m_sharedStrings.at(index);
            } else if (type == QLatin1String("b")) {
                const QString v = value.trimmed();
                cell = (v == QLatin1String("1") || v == QLatin1String("true"));
            } else if (type.isEmpty() || type == QLatin1String("n")) {
                if (value.size() > MaxNumberLength) {
                    cell = value;   // no number, as a text that long is none; converting it takes seconds
                } else {
                    bool ok = false;
                    const double number = value.trimmed().toDouble(&ok);
                    if (!ok) return fail(QStringLiteral("bad number %1").arg(excerpt(value)));
                    cell = number;
                }
            } else {
                // "str" formula results, "e" error codes, "d" ISO dates: as text
                cell = value;
            }
        } else if (hasFormula) {
            // A formula without a stored result reads as its text, never as empty.
            cell = QString(QLatin1Char('=') + formula);
        }
        if (cell.isValid()) m_cells.insert(cellKey(cellRow, cellColumn), cell);
    }
    if (xml.hasError()) return fail(xmlFault(QStringLiteral("sheet"), xml));
    return true;
}
