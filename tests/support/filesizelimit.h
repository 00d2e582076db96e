// Stands in for a full disk: no file of this process grows past the limit while it is set.
// A write beyond it fails with EFBIG instead of ending the process. Both are restored when
// the limit goes out of scope.
#pragma once

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes)
    {
#ifdef Q_OS_UNIX
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        active_ = ::getrlimit(RLIMIT_FSIZE, &previous_) == 0;
        if (active_) {
            struct rlimit limit = previous_;
            limit.rlim_cur = rlim_t(bytes);
            active_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        }
#else
        Q_UNUSED(bytes)
#endif
    }
    ~FileSizeLimit()
    {
#ifdef Q_OS_UNIX
        if (active_) ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
#endif
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // False where no limit could be set: the test then has nothing to stand in for a full disk.
    bool active() const { return active_; }

private:
    bool active_ = false;
#ifdef Q_OS_UNIX
    struct rlimit previous_ {};
    void (*previousHandler_)(int) = SIG_DFL;
#endif
};
