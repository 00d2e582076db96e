// The 100 ms progress tick shared by the firmware update and parameter identification.
#include "app/mainwindow/mainwindow.h"

#include <QProgressDialog>

#include <algorithm>
#include <cstdlib>

void MainWindow::updateFwProgressUI()
{
    if (progressMode == ProgressMode::FirmwareUpdate) {
        // Progress and done are read before the result, so a finished transfer never
        // reports a stale one.
        const int progress = fwProgress.load(std::memory_order_acquire);
        const bool done = fwDone.load(std::memory_order_acquire);
        if (progress <= 99 && !done) {
            progressDialog->setValue(progress);
            return;
        }
        progressDialog->close();
        progressTimer.stop();
        if (fwSuccess.load(std::memory_order_acquire))
            QMessageBoxWindow(QMessageBoxType::Information, QStringLiteral("Tip"), QStringLiteral("升级成功"));
        else
            QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("Tip"), QStringLiteral("升级失败"));
    } else if (progressMode == ProgressMode::Identification) {
        identificationProgressTick(identifyTimer.elapsed());
    }
}

void MainWindow::identificationProgressTick(qint64 elapsedMs)
{
    const int s = static_cast<int>(elapsedMs * 0.001);
    if (s <= 55 && std::abs(s - identifySeconds) <= 5) {
        progressDialog->setValue(std::min(99, static_cast<int>(identifySeconds / 49.0 * 100.0)));
        return;
    }
    // The data stream stalled or the run overran: give it up.
    progressTimer.stop();
    progressDialog->setValue(100);
    progressDialog->close();
    stopCurvePlot();
    QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("Tip"), QStringLiteral("参数辨识失败"));
}
