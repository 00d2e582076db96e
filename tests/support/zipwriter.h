// Writes the zip archives that workbook tests and benchmarks read back.
#pragma once

#include <QByteArray>
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
