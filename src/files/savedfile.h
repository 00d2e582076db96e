// Saving the files the user keeps. The new content is written to a file beside the target,
// which takes the target's place only once every byte is on disk: a save that fails part-way
// (a full disk, a file-size limit) leaves the previous file as it was.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

namespace files {

enum class SaveStatus {
    Saved,
    CannotOpen,    // nothing can be created at the target or beside it
    WriteFailed,   // not every byte could be written; the previous file is untouched
};

// Replaces the file at path with data; extraMode adds QIODevice::Text, say. A link is saved
// through to the file it names. An existing target that is no regular file (a device) is
// written in place: it holds nothing to keep, and must not be replaced by a plain file.
SaveStatus saveFile(const QString& path, const QByteArray& data, QIODevice::OpenMode extraMode = {},
                    QString* error = nullptr);

}   // namespace files
