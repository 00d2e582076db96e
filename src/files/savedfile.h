// Saving the files the user keeps. The new content is written to a file beside the target,
// which takes the target's place only once every byte is on disk: a save that fails part-way
// (a full disk, a file-size limit) leaves the previous file as it was. Where the folder lets
// nothing be made beside the target, a writable target is written in place instead, and a
// save that fails part-way there leaves it incomplete.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

namespace files {

enum class SaveStatus {
    Saved,
    CannotOpen,    // the target can neither be written nor created
    WriteFailed,   // not every byte could be written: the previous file is untouched, unless it
                   // had to be written in place
};

// Replaces the file at path with data; extraMode adds QIODevice::Text, say. A link is saved
// through to the file it names. An existing target that is no regular file (a device) is
// written in place: it holds nothing to keep, and must not be replaced by a plain file.
SaveStatus saveFile(const QString& path, const QByteArray& data, QIODevice::OpenMode extraMode = {},
                    QString* error = nullptr);

}   // namespace files
