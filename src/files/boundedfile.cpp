#include "files/boundedfile.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace files {
namespace {

bool refuse(QString* error, const QString& why)
{
    if (error) *error = why;
    return false;
}

}   // namespace

bool openRegularFile(QFile* file, const QString& path, QString* error)
{
    // Checked before opening: opening some devices already acts on them. A missing file
    // is left to the open, which says so.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) return refuse(error, QStringLiteral("Not a regular file"));
#ifdef Q_OS_UNIX
    // The path may have been swapped for a FIFO since: open without blocking, then look
    // at what was opened. Reads stay non-blocking too: a kernel file of the regular kind
    // that would wait for data fails at once instead.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return refuse(error, qt_error_string(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return refuse(error, QStringLiteral("Not a regular file"));
    }
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return refuse(error, file->errorString());
    }
    return true;
#else
    file->setFileName(path);
    if (!file->open(QIODevice::ReadOnly)) return refuse(error, file->errorString());
    return true;
#endif
}

ReadStatus readRegularFile(const QString& path, qint64 limit, QByteArray* data, QString* error)
{
    data->clear();
    QFile file;
    if (!openRegularFile(&file, path, error)) return ReadStatus::CannotOpen;
    const qint64 reported = file.size();
    if (reported > 0) data->reserve(qsizetype(qMin(reported, limit) + 1));
    char buffer[64 * 1024];
    while (data->size() <= limit) {
        const qint64 n = file.read(buffer, qMin<qint64>(sizeof buffer, limit + 1 - data->size()));
        if (n < 0) {
            data->clear();
            if (error) *error = file.errorString();
            return ReadStatus::CannotOpen;
        }
        if (n == 0) break;
        data->append(buffer, qsizetype(n));
    }
    if (data->size() > limit) {
        data->clear();
        return ReadStatus::TooLarge;
    }
    return ReadStatus::Ok;
}

}   // namespace files
