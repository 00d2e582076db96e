// Firmware image files for tests and benchmarks, laid out as a drive's boot loader checks
// them: a 96-byte header (magic "RBL" and NUL, version text at byte 28, model text at 52,
// the body's CRC-32 at 76, the body's size at 88, the CRC-32 of bytes 0 to 91 at 92; words
// little-endian, as the format's packer writes them) and the body after it.
#pragma once

#include "crc32.h"

#include <QByteArray>

#include <cstdint>

namespace firmwareimages {

constexpr int kHeaderSize = 96;

inline void putLE32(QByteArray& image, int at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) image[at + i] = char(value >> (8 * i));
}

// Writes the header's own CRC for the header bytes as they are now.
inline void sealHeader(QByteArray& image) { putLE32(image, 92, sim::crc32(image.constData(), 92)); }

// Writes the body's size and CRC and then the header's CRC for the bytes image holds now
// (at least the header).
inline void seal(QByteArray& image)
{
    const int body = int(image.size()) - kHeaderSize;
    putLE32(image, 76, sim::crc32(image.constData() + kHeaderSize, size_t(body)));
    putLE32(image, 88, uint32_t(body));
    sealHeader(image);
}

// A sound image of size bytes in all, the body a varied pattern. Below 96 bytes: the first
// size bytes of a sound image with an empty body, that is a truncated header.
inline QByteArray make(int size, const QByteArray& version, const QByteArray& model = "QM72")
{
    QByteArray image(qMax(size, kHeaderSize), '\0');
    char* bytes = image.data();
    uint32_t x = 12345;
    for (int i = kHeaderSize; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = char(x >> 16);
    }
    image.replace(0, 4, QByteArray("RBL\0", 4));
    image.replace(28, qMin(int(version.size()), 24), version.left(24));
    image.replace(52, qMin(int(model.size()), 24), model.left(24));
    seal(image);
    image.truncate(size);
    return image;
}

}   // namespace firmwareimages
