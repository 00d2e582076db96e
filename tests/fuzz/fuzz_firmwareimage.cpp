// Firmware image files: the header check, the version comparison and the cutting into
// frames, on any bytes.
#include "formats/firmwareimage.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A copy of exactly the input's size, so a read past the end is a sanitizer report.
    const QByteArray image(reinterpret_cast<const char*>(data), qsizetype(size));
    const FirmwareImageHeader header = readFirmwareImageHeader(image);
    fuzz::check(header.isValid() || (header.version.isEmpty() && header.model.isEmpty()),
                "texts are filled only for a valid image");
    fuzz::check(header.version.size() <= FirmwareTextFieldSize && header.model.size() <= FirmwareTextFieldSize,
                "header texts stay within their field");

    // The version comparison, on the image's text and a drive's.
    fuzz::check(firmwareVersionsMatch(header.version, header.version), "a version matches itself");
    for (const QString& drive : {QStringLiteral("1.2.13"), QStringLiteral("0.0.0"), QString()})
        fuzz::check(firmwareVersionsMatch(header.version, drive) == firmwareVersionsMatch(drive, header.version),
                    "the version comparison is symmetric");

    const qint64 n = firmwareChunkCount(image.size());
    fuzz::check(n * FirmwareChunkSize >= image.size() && (n - 1) * FirmwareChunkSize < qMax<qint64>(image.size(), 1),
                "chunk count covers the image");
    // The first, last and one block-closing chunk, and one past the end.
    for (qint64 k : {qint64(0), n - 1, qint64(FirmwareChunksPerBlock - 1), n}) {
        const QByteArray frame = firmwareChunkFrame(image, k);
        fuzz::check(
            frame.isEmpty() || (frame.size() >= 2 && frame.size() <= 8 && quint8(frame.at(0)) == FirmwareChunkPrefix),
            "a chunk frame is FA and 1 to 7 bytes");
        fuzz::check(frame.size() == (k < n && k >= 0 ? firmwareChunkLength(image.size(), k) + 1 : 0),
                    "frame length matches chunk length");
        (void)firmwareChunkEndsBlock(k, n);
        const int p = firmwareTransferProgress(k, n);
        fuzz::check(k >= n || k < 0 || (p >= 0 && p < 100), "progress below 100 before the end");
    }
    return 0;
}
