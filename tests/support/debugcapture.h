// Collects the program's debug output so tests can check its lines.
#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// The receive thread writes debug lines while the test thread reads, clears or ends the
// capture: one lock guards the current capture and its lines, so the handler never sees a
// capture that is going away.
class DebugCapture {
public:
    DebugCapture()
    {
        {
            QMutexLocker lock(&mutex());
            current() = this;
        }
        previous_ = qInstallMessageHandler(&DebugCapture::handler);
    }
    ~DebugCapture()
    {
        qInstallMessageHandler(previous_);
        QMutexLocker lock(&mutex());
        if (current() == this) current() = nullptr;
    }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    QStringList lines() const
    {
        QMutexLocker lock(&mutex());
        return lines_;
    }
    // Looked up under the lock: no copy of the lines outlives it.
    int count(const QString& line) const
    {
        QMutexLocker lock(&mutex());
        return int(lines_.count(line));
    }
    bool contains(const QString& line) const
    {
        QMutexLocker lock(&mutex());
        return lines_.contains(line);
    }
    void clear()
    {
        QMutexLocker lock(&mutex());
        lines_.clear();
    }

private:
    static QMutex& mutex()
    {
        static QMutex m;
        return m;
    }
    static DebugCapture*& current()
    {
        static DebugCapture* self = nullptr;
        return self;
    }
    static void handler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
    {
        QtMessageHandler forward = nullptr;
        {
            QMutexLocker lock(&mutex());
            if (DebugCapture* self = current()) {
                self->lines_ << msg;
                if (type == QtFatalMsg || type == QtCriticalMsg) forward = self->previous_;
            }
        }
        if (forward) forward(type, ctx, msg);
    }

    QStringList lines_;
    QtMessageHandler previous_ = nullptr;
};
