// The log pane's line stamp: local time as hh:mm:ss.zzz.
#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>

#include <chrono>

inline QString logStamp(int msecsOfDay)
{
    const int h = msecsOfDay / 3600000, m = msecsOfDay / 60000 % 60, s = msecsOfDay / 1000 % 60, ms = msecsOfDay % 1000;
    const char16_t text[12] = {char16_t(u'0' + h / 10),   char16_t(u'0' + h % 10),       u':',
                               char16_t(u'0' + m / 10),   char16_t(u'0' + m % 10),       u':',
                               char16_t(u'0' + s / 10),   char16_t(u'0' + s % 10),       u'.',
                               char16_t(u'0' + ms / 100), char16_t(u'0' + ms / 10 % 10), char16_t(u'0' + ms % 10)};
    return QString(reinterpret_cast<const QChar*>(text), 12);
}

inline QString logStamp(const QTime& t) { return logStamp(t.msecsSinceStartOfDay()); }

// Local time of day for the stamps without a time-zone lookup per line: the wall clock and
// the zone's offset are read at sync(), then carried forward by the monotonic clock. Synced
// once per batch of lines, so it reads what QTime::currentTime() would, to the millisecond.
class LogClock {
public:
    void sync()
    {
        steady_ = std::chrono::steady_clock::now();
        const auto wall = std::chrono::system_clock::now();
        offsetMs_ = qint64(QDateTime::currentDateTime().offsetFromUtc()) * 1000;
        wallNs_ = std::chrono::duration_cast<std::chrono::nanoseconds>(wall.time_since_epoch()).count();
    }
    int msecsOfDay() const
    {
        constexpr qint64 kDay = 86400000;
        const qint64 wallNs =
            wallNs_ +
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - steady_).count();
        const qint64 ms = (wallNs >= 0 ? wallNs / 1000000 : (wallNs - 999999) / 1000000) + offsetMs_;
        return int(((ms % kDay) + kDay) % kDay);
    }

private:
    std::chrono::steady_clock::time_point steady_{};
    qint64 wallNs_ = 0;   // since the epoch, at sync()
    qint64 offsetMs_ = 0;
};
