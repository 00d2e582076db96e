#include "formats/firmwareimage.h"

#include <QStringList>

#include <cmath>

namespace {

QString headerText(const QByteArray& image, int offset)
{
    const char* field = image.constData() + offset;
    int length = 0;
    while (length < FirmwareTextFieldSize && field[length] != '\0') ++length;
    return QString::fromUtf8(field, length);
}

// The three numbers of "a.b.c" as digit strings without leading zeros ("0" for zero), so
// numbers of any length compare without overflow; empty when text is not of that form.
QStringList versionNumbers(const QString& text)
{
    QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 3) return {};
    for (QString& part : parts) {
        if (part.isEmpty()) return {};
        for (const QChar ch : part)
            if (ch < QLatin1Char('0') || ch > QLatin1Char('9')) return {};
        int zeros = 0;
        while (zeros < part.size() - 1 && part.at(zeros) == QLatin1Char('0')) ++zeros;
        part.remove(0, zeros);
    }
    return parts;
}

}   // namespace

bool firmwareVersionsMatch(const QString& imageVersion, const QString& driveVersion)
{
    const QStringList image = versionNumbers(imageVersion);
    const QStringList drive = versionNumbers(driveVersion);
    if (!image.isEmpty() && !drive.isEmpty()) return image == drive;
    return imageVersion == driveVersion;
}

FirmwareImageHeader readFirmwareImageHeader(const QByteArray& image)
{
    static const char magic[4] = {'R', 'B', 'L', '\0'};
    FirmwareImageHeader header;
    header.longEnough = image.size() >= FirmwareHeaderMinSize;
    header.magicOk = image.size() >= 4 && image.left(4) == QByteArray(magic, 4);
    if (header.isValid()) {
        header.version = headerText(image, FirmwareVersionOffset);
        header.model = headerText(image, FirmwareModelOffset);
    }
    return header;
}

qint64 firmwareChunkCount(qint64 size) { return size <= 0 ? 0 : (size + FirmwareChunkSize - 1) / FirmwareChunkSize; }

int firmwareChunkLength(qint64 size, qint64 k)
{
    const qint64 start = k * FirmwareChunkSize;
    if (k < 0 || start >= size) return 0;
    return int(qMin<qint64>(FirmwareChunkSize, size - start));
}

QByteArray firmwareChunkFrame(const QByteArray& image, qint64 k)
{
    const int length = firmwareChunkLength(image.size(), k);
    if (length == 0) return QByteArray();
    QByteArray frame;
    frame.reserve(1 + length);
    frame.append(char(FirmwareChunkPrefix));
    frame.append(image.constData() + k * FirmwareChunkSize, length);
    return frame;
}

bool firmwareChunkEndsBlock(qint64 k, qint64 n) { return (k + 1) % FirmwareChunksPerBlock == 0 && k + 1 < n; }

int firmwareTransferProgress(qint64 k, qint64 n) { return int(std::floor(k / (n + 1.0) * 100)); }
