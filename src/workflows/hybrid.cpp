// Force/position hybrid page: enable at the drive's current position, then a timed burst
// of packed hybrid frames from a worker thread.
#include "hybrid.h"

#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "workers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <QThread>

#include <chrono>
#include <cstring>
#include <thread>

namespace hybrid {

protocol::Frame packFrame(uint16_t position, uint16_t speed, uint16_t kp, double kd, uint16_t torque)
{
    const unsigned v = speed & 0x3FFFu;
    const unsigned k = kp & 0x3FFu;
    protocol::Frame f{};
    f[0] = static_cast<uint8_t>(position >> 8);
    f[1] = static_cast<uint8_t>(position);
    f[2] = static_cast<uint8_t>(v >> 6);
    f[3] = static_cast<uint8_t>(((v & 0x3Fu) << 2) | (k >> 8));
    f[4] = static_cast<uint8_t>(k);
    f[5] = static_cast<uint8_t>(static_cast<int>(kd * 10.0));
    f[6] = static_cast<uint8_t>(torque >> 8);
    f[7] = static_cast<uint8_t>(torque);
    return f;
}

}  // namespace hybrid

namespace {

const protocol::Frame kPositionRequest = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x9C};
const protocol::Frame kEnable = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC, 0xFC};
constexpr int kPositionWaitMs = 1999;
constexpr std::chrono::microseconds kBurstStep(5000);

// Sleeps until deadline (at once if it has passed); false when the window is stopping.
bool sleepUntil(WorkerPool& workers, std::chrono::steady_clock::time_point deadline)
{
    using namespace std::chrono;
    const auto remaining = deadline - steady_clock::now();
    if (remaining >= milliseconds(1)) {
        if (!workers.sleepFor(static_cast<int>(duration_cast<milliseconds>(remaining).count()))) return false;
    }
    // The sub-millisecond rest; resumed after a signal, so the grid holds.
    std::this_thread::sleep_until(deadline);
    return !workers.stopRequested();
}

}  // namespace

void MainWindow::on_pushButton_TP_Enable_clicked(bool)
{
    bool sent;
    {
        QMutexLocker lock(&sendMutex);
        std::memcpy(txData, kPositionRequest.data(), sizeof txData);
        emit writeLog(QStringLiteral(">>> Get Position"));
        positionReceived = false;
        sent = CAN_transmit();
    }
    if (!sent) {
        ui->pushButton_TP_start->setChecked(false);
        QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("ERROR"), QStringLiteral("请先打开设备"));
        return;
    }

    // The reply is decoded on this thread, so keep serving events while waiting for it.
    const QPointer<MainWindow> alive(this);
    QElapsedTimer clock;
    clock.start();
    while (!positionReceived && clock.elapsed() <= kPositionWaitMs) {
        QCoreApplication::processEvents();
        // Closed meanwhile: give up quietly, and touch nothing of a window that is gone.
        if (!alive || closing) return;
        if (!positionReceived) QThread::usleep(200);
    }
    if (!positionReceived) {
        emit writeLog(QStringLiteral(">>> Cannot get Position"));
        return;
    }

    emit writeLog(QStringLiteral(">>> Enable"));
    transmitFrame(kEnable);
    transmitFrame(hybrid::holdFrame(tpCurrentPosition));
    ui->pushButton_TP_start->setEnabled(true);
}

void MainWindow::on_pushButton_TP_start_clicked(bool checked)
{
    if (reentryGuard) return;
    reentryGuard = true;

    if (checked) {
        ui->groupBox_TP->setEnabled(false);
        ui->pushButton_TP_start->setEnabled(false);
        ui->pushButton_TP_start->setText(QStringLiteral("Stop"));

        const protocol::Frame frame = hybrid::packFrame(
            static_cast<uint16_t>(ui->spinBox_TP_position->value()), static_cast<uint16_t>(ui->spinBox_TP_speed->value()),
            static_cast<uint16_t>(ui->spinBox_TP_Kp->value()), ui->doubleSpinBox_TP_Kd->value(),
            static_cast<uint16_t>(ui->spinBox_TP_torque->value()));
        {
            QMutexLocker lock(&sendMutex);
            std::memcpy(txData, frame.data(), sizeof txData);
        }
        // The count's input stays disabled for the whole burst, so it is read once here.
        const int count = ui->spinBox_TP_times->value();

        workers->start([this, frame, count] {
            using clock = std::chrono::steady_clock;
            const clock::time_point t0 = clock::now();
            for (int k = 1; k <= count; ++k) {
                if (workers->stopRequested()) return;
                bool sent;
                {
                    // Refilled every time: another sender may have used the buffer meanwhile.
                    QMutexLocker lock(&sendMutex);
                    std::memcpy(txData, frame.data(), sizeof txData);
                    sent = CAN_transmit();
                }
                if (!sent) break;   // port closed: end quietly
                if (!sleepUntil(*workers, t0 + k * kBurstStep)) return;
            }
            workers->postToGui([this] { finishHybridBurst(); });
        });
    } else {
        ui->groupBox_TP->setEnabled(true);
        ui->pushButton_TP_start->setEnabled(true);
        ui->pushButton_TP_start->setText(QStringLiteral("Start"));
    }

    reentryGuard = false;
}

void MainWindow::finishHybridBurst()
{
    // The shared guard is only held by a slot waiting in a nested event loop (a box);
    // the reset would be swallowed then, leaving the page disabled, so try again shortly.
    if (reentryGuard) {
        QTimer::singleShot(20, this, [this] { finishHybridBurst(); });
        return;
    }
    on_pushButton_TP_start_clicked(false);
    ui->pushButton_TP_start->setChecked(false);
}
