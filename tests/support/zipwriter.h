// Writes the zip archives that workbook tests and benchmarks read back.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QtEndian>
#include <QList>
#include <QPair>
#include <QString>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>

// Archive path and content of each entry, in archive order.
using ZipParts = QList<QPair<QString, QByteArray>>;

// emptyEntries empty entries ("pad/0", "pad/1", ...) come first, stored: deflating each
// would take seconds for the large counts.
inline bool writeZip(const QString& path, const ZipParts& parts, int emptyEntries = 0)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate)) return false;
    for (int i = 0; i < emptyEntries; ++i) {
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(QStringLiteral("pad/%1").arg(i)), nullptr, 0, 0))
            return false;
        file.close();
    }
    for (const auto& part : parts) {
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(part.first))) return false;
        file.write(part.second);
        file.close();
        if (file.getZipError() != 0) return false;
    }
    zip.close();
    return zip.getZipError() == 0;
}

// Sets the entry counts of the archive's end records, ZIP64 ones included, to zero, as a
// crafted file does to pass a check on the count.
inline bool zeroEntryCounts(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) return false;
    const qint64 start = qMax<qint64>(0, file.size() - (1 << 17));
    file.seek(start);
    QByteArray tail = file.readAll();
    const qsizetype end = tail.lastIndexOf("PK\x05\x06");
    if (end < 0) return false;
    qToLittleEndian<quint32>(0, tail.data() + end + 8);   // entries on this disk, in all
    const qsizetype end64 = tail.lastIndexOf("PK\x06\x06", end);
    if (end64 >= 0) {
        qToLittleEndian<quint64>(0, tail.data() + end64 + 24);
        qToLittleEndian<quint64>(0, tail.data() + end64 + 32);
    }
    return file.seek(start) && file.write(tail) == tail.size();
}
