#ifndef FIRMWAREIMAGE_H
#define FIRMWAREIMAGE_H

#include <QByteArray>
#include <QString>

// The few header fields of an RBL (RT-Thread OTA) image the update checks,
// and how the whole image is cut into CAN data frames.

constexpr int FirmwareHeaderMinSize = 76;
constexpr int FirmwareVersionOffset = 28;
constexpr int FirmwareModelOffset = 52;
constexpr int FirmwareTextFieldSize = 24;
constexpr int FirmwareChunkSize = 7;   // data bytes per frame
constexpr quint8 FirmwareChunkPrefix = 0xFA;
constexpr int FirmwareChunksPerBlock = 1024;   // the drive confirms each block
// A drive's flash holds a few megabytes at most: a larger file is no image of it.
constexpr qint64 FirmwareImageMaxSize = 16 * 1024 * 1024;

struct FirmwareImageHeader {
    bool longEnough = false;   // at least FirmwareHeaderMinSize bytes
    bool magicOk = false;      // starts with 'R' 'B' 'L' NUL
    QString version;           // from byte 28: up to the first NUL, at most 24 bytes, UTF-8
    QString model;             // from byte 52, the same way

    // Accepted for an update; otherwise the user sees "File Error".
    bool isValid() const { return longEnough && magicOk; }
};

// Reads the header of a whole image. The texts are filled only for a valid image.
FirmwareImageHeader readFirmwareImageHeader(const QByteArray& image);

// True when an image's version text names the drive's version. The drive reports three
// numbers, so a text of three dot-separated decimal numbers (ASCII digits only) compares by
// those numbers, leading zeros aside ("1.07.0" is 1.7.0); any other text must match exactly.
bool firmwareVersionsMatch(const QString& imageVersion, const QString& driveVersion);

// Number of frames for an image of size bytes: the last one carries the
// remaining 1 to 7 bytes.
qint64 firmwareChunkCount(qint64 size);
// Data bytes carried by chunk k (0-based); 0 past the end.
int firmwareChunkLength(qint64 size, qint64 k);
// Frame of chunk k: FA followed by its 1 to 7 image bytes (2 to 8 bytes); empty past the end.
QByteArray firmwareChunkFrame(const QByteArray& image, qint64 k);
// True when the ready flag is cleared before chunk k is sent: it closes a block
// of 1024 chunks and is not the last chunk of n.
bool firmwareChunkEndsBlock(qint64 k, qint64 n);
// Percentage shown after chunk k of n has been sent (never 100 before the end).
int firmwareTransferProgress(qint64 k, qint64 n);

#endif   // FIRMWAREIMAGE_H
