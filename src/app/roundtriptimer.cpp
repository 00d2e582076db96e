#include "app/roundtriptimer.h"

#include <QThread>
#include <QTimer>

RoundtripTimer::RoundtripTimer(QObject* parent) : QObject(parent)
{
    periodicTimer = new QTimer(this);
    totalTimer = new QTimer(this);
    connect(periodicTimer, &QTimer::timeout, this, &RoundtripTimer::onTimeout);
    connect(totalTimer, &QTimer::timeout, this, &RoundtripTimer::stopTimer);
    totalTimer->setSingleShot(true);
    periodicTimer->setTimerType(Qt::PreciseTimer);
    totalTimer->setTimerType(Qt::PreciseTimer);
}

RoundtripTimer::~RoundtripTimer()
{
    delete periodicTimer;
    delete totalTimer;
}

void RoundtripTimer::startTimers()
{
    QThread::msleep(100);
    periodicTimer->start(intervalMs);
    runtimes = 0;
    totalTimer->start(totalMs);
    // The first step goes out at once, not one period later.
    emit timeoutTriggered(runtimes++);
}

void RoundtripTimer::stopTimer()
{
    if (periodicTimer->isActive()) periodicTimer->stop();
    if (totalTimer->isActive()) totalTimer->stop();
    emit timeoutAll();
}

void RoundtripTimer::onTimeout() { emit timeoutTriggered(runtimes++); }
