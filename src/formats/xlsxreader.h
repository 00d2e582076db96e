#ifndef XLSXREADER_H
#define XLSXREADER_H

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

class QFile;
class QuaZip;
class QXmlStreamReader;

// Read-only access to the cell values of an .xlsx workbook: the sheet names,
// choosing a sheet and reading a cell by 1-based row and column.
// Numbers come back as double, shared and inline strings as QString, booleans
// as bool; an empty or missing cell, or one with an empty stored value, gives an invalid
// QVariant, and a stored number longer than MaxNumberLength comes back as its text. A file
// that is not a readable workbook has no sheets. The parts read for the workbook and one
// selected sheet unpack to at most MaxUnpackedBytes in all, a sheet holds at most MaxCells
// cells and the shared strings MaxSharedStrings items; documents carrying a DTD are
// refused. An archive with more than MaxEntries entries in its directory, however many its
// end record counts, or a part with an element of more than MaxXmlAttributes
// attributes, more than MaxXmlNamespaces namespace declarations in force, namespace names
// in force longer than MaxXmlNamespaceText or elements nested deeper than MaxXmlDepth, is
// not read: the XML reader's time would grow with their square, its memory with the depth.
class XlsxReader {
public:
    // Qt's reader takes about 0.1 s a MiB over the costliest markup within the limits below.
    static constexpr qint64 MaxUnpackedBytes = 6 * 1024 * 1024;
    static constexpr int MaxEntries = 10000;
    static constexpr int MaxXmlAttributes = 64;   // namespace declarations count
    static constexpr int MaxXmlNamespaces = 64;
    static constexpr int MaxXmlNamespaceText = 2048;   // characters of their names
    static constexpr int MaxXmlDepth = 256;
    static constexpr int MaxCells = 1000000;
    static constexpr int MaxSharedStrings = 1000000;
    static constexpr int MaxColumn = 16384;   // XFD
    static constexpr int MaxNumberLength = 128;   // longer than any number a writer stores

    explicit XlsxReader(const QString& path);

    QStringList sheetNames() const;
    // Loads the named sheet's cells up to lastColumn (1-based); cells beyond it are not
    // interpreted. On failure no sheet is selected and read() gives invalid values.
    bool selectSheet(const QString& name, int lastColumn = MaxColumn);
    QVariant read(int row, int column) const;

    // Why the workbook or the last selected sheet could not be read (empty when fine).
    QString errorString() const;

private:
    struct Sheet {
        QString name;
        QString part;   // archive path of the sheet document
    };

    enum class Entry { Ok, Missing, Failed };
    using Relationships = QHash<QString, QPair<QString, QString>>;   // id -> type, part

    bool load();
    bool openArchive(QFile* file, QuaZip* zip);
    // The entry, handed to xml once checked for a shape the XML reader handles in time.
    Entry readEntry(QuaZip& zip, const QString& entry, QXmlStreamReader* xml);
    Entry readRelationships(QuaZip& zip, const QString& part, Relationships* rels);
    bool readSharedStrings(QuaZip& zip, const QString& part);
    bool parseSheet(QXmlStreamReader& xml, int lastColumn);
    bool fail(const QString& message);

    QString m_path;
    QList<Sheet> m_sheets;
    QStringList m_sharedStrings;
    QHash<quint64, QVariant> m_cells;
    QString m_error;
    qint64 m_workbookBytes = 0;   // unpacked by load(), counted again by every selectSheet()
    qint64 m_unpacked = 0;        // unpacked so far in this read
};

#endif   // XLSXREADER_H
