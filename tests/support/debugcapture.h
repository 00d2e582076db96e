// Collects the program's debug output so tests can check its lines.
#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class DebugCapture {
public:
    DebugCapture()
    {
        instance() = this;
        previous_ = qInstallMessageHandler(&DebugCapture::handler);
    }
    ~DebugCapture()
    {
        qInstallMessageHandler(previous_);
        instance() = nullptr;
    }
    QStringList lines() const
    {
        QMutexLocker lock(&mutex_);
        return lines_;
    }
    int count(const QString& line) const { return lines().count(line); }
    bool contains(const QString& line) const { return lines().contains(line); }
    void clear()
    {
        QMutexLocker lock(&mutex_);
        lines_.clear();
    }

private:
    static DebugCapture*& instance()
    {
        static DebugCapture* self = nullptr;
        return self;
    }
    static void handler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
    {
        if (DebugCapture* self = instance()) {
            QMutexLocker lock(&self->mutex_);
            self->lines_ << msg;
        }
        if (type == QtFatalMsg || type == QtCriticalMsg) {
            QtMessageHandler prev = instance() ? instance()->previous_ : nullptr;
            if (prev) prev(type, ctx, msg);
        }
    }

    mutable QMutex mutex_;
    QStringList lines_;
    QtMessageHandler previous_ = nullptr;
};
