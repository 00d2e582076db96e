#include "files/savedfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace files {
namespace {

SaveStatus failed(SaveStatus status, QString* error, const QString& why)
{
    if (error) *error = why;
    return status;
}

SaveStatus writeInPlace(const QString& path, const QByteArray& data, QIODevice::OpenMode extraMode, QString* error)
{
    QFile device(path);
    if (!device.open(QIODevice::WriteOnly | extraMode))
        return failed(SaveStatus::CannotOpen, error, device.errorString());
    if (device.write(data) != data.size() || !device.flush())
        return failed(SaveStatus::WriteFailed, error, device.errorString());
    return SaveStatus::Saved;
}

}   // namespace

SaveStatus saveFile(const QString& path, const QByteArray& data, QIODevice::OpenMode extraMode, QString* error)
{
    const QFileInfo target(path);
    if (target.exists() && !target.isFile() && !target.isDir()) return writeInPlace(path, data, extraMode, error);

    QSaveFile file(path);
    // A writable file in a folder the user cannot write to (a shared folder, say) has no room
    // beside it for the new content: it is written in place there, as it always could be.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | extraMode)) return failed(SaveStatus::CannotOpen, error, file.errorString());
    // Unwritten bytes may still sit in the buffer: flush before judging the write.
    if (file.write(data) != data.size() || !file.flush()) {
        const QString why = file.errorString();
        file.cancelWriting();
        file.commit();   // removes the file written beside the target
        return failed(SaveStatus::WriteFailed, error, why);
    }
    if (!file.commit()) return failed(SaveStatus::WriteFailed, error, file.errorString());
    return SaveStatus::Saved;
}

}   // namespace files
