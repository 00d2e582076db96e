// The log pane's line stamp: local time as hh:mm:ss.zzz.
#pragma once

#include <QString>
#include <QTime>

inline QString logStamp(const QTime& t)
{
    return QStringLiteral("%1:%2:%3.%4")
        .arg(t.hour(), 2, 10, QLatin1Char('0'))
        .arg(t.minute(), 2, 10, QLatin1Char('0'))
        .arg(t.second(), 2, 10, QLatin1Char('0'))
        .arg(t.msec(), 3, 10, QLatin1Char('0'));
}
