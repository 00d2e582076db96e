// Collects debug and warning lines as "D:text" / "W:text" while in scope.
#pragma once

#include <QStringList>
#include <QtGlobal>

struct MessageLog {
    static inline QStringList lines;
    QtMessageHandler previous;
    MessageLog()
    {
        lines.clear();
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
            lines << (type == QtDebugMsg ? QStringLiteral("D:") : QStringLiteral("W:")) + msg;
        });
    }
    ~MessageLog() { qInstallMessageHandler(previous); }
};
