// Paces a roundtrip test: a step every intervalMs until totalMs has passed.
#pragma once

#include <QObject>

class QTimer;

class RoundtripTimer : public QObject {
    Q_OBJECT

public:
    explicit RoundtripTimer(QObject* parent);
    ~RoundtripTimer() override;

    void startTimers();
    void stopTimer();

    int intervalMs = 5;
    int totalMs = 600;

signals:
    void timeoutTriggered(unsigned long runtimes);
    void timeoutAll();

public slots:
    void onTimeout();

private:
    QTimer* periodicTimer = nullptr;
    QTimer* totalTimer = nullptr;
    unsigned long runtimes = 0;
};
