// Reading the tool's input files within their limits. Only regular files are opened: a
// device, a FIFO or a socket could block the window or stream without end. A file is read
// to at most one byte past its limit, whatever size the file system reports (devices and
// /proc files report 0).
#pragma once

#include <QByteArray>
#include <QString>

class QFile;

namespace files {

// Opens path read-only, as a regular file or a link to one; anything else is refused
// before it is opened. On failure error says why.
bool openRegularFile(QFile* file, const QString& path, QString* error = nullptr);

enum class ReadStatus { Ok, CannotOpen, TooLarge };

// The whole of a regular file of at most limit bytes. TooLarge leaves data empty.
ReadStatus readRegularFile(const QString& path, qint64 limit, QByteArray* data, QString* error = nullptr);

}   // namespace files
