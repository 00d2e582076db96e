// Drive firmware update: the checks on the GUI thread, then a worker that streams the
// image in 7-byte chunks paced by the drive's ready flag.
#include "app/mainwindow/mainwindow.h"

#include "can/can.h"
#include "files/boundedfile.h"
#include "formats/firmwareimage.h"
#include "forms/ui_mainwindow.h"
#include "app/workers.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QMutexLocker>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QThread>

#include <chrono>
#include <cstring>
#include <thread>

namespace {
constexpr int kJumpWaitMs = 10000;
constexpr int kReadyWaitMs = 5000;
constexpr int kEndAckWaitMs = 10000;
constexpr int kPollMs = 200;
constexpr auto kChunkGap = std::chrono::microseconds(1500);
}   // namespace

void MainWindow::on_pushButton_updateFW_clicked()
{
    // The bootloader wait below keeps the window live; a second update must not start.
    if (fwUpdateBusy.load()) {
        qDebug().noquote() << "firmware update already running";
        return;
    }
    if (curveDisplaying) {
        QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("ERROR"), QStringLiteral("请先关闭波形显示"));
        return;
    }
    fwUpdateBusy = true;
    ui->pushButton_updateFW->setEnabled(false);
    bool workerStarted = false;
    auto release = qScopeGuard([this, &workerStarted] {
        if (workerStarted) return;
        fwUpdateBusy = false;
        ui->pushButton_updateFW->setEnabled(true);
    });

    if (!MotorTransmitType(MotorType::GetFwVersion, true)) return;
    if (!MotorTransmitType(MotorType::GetProductType, true)) return;

    // The replies to both queries are decoded while the dialog is open.
    const QString caption = QStringLiteral("选择文件");
    const QString filter = QStringLiteral("所有文件 (*)");
    const QString fileName = openFileDialogHook ? openFileDialogHook(this, caption, filter)
                                                : QFileDialog::getOpenFileName(this, caption, QString(), filter);
    if (fileName.isEmpty()) {
        qDebug().noquote() << QStringLiteral("文件：") + fileName + QStringLiteral("不存在");
        return;
    }

    QByteArray image;
    QString openError;
    const files::ReadStatus read = files::readRegularFile(fileName, FirmwareImageMaxSize, &image, &openError);
    if (read == files::ReadStatus::CannotOpen) {
        qDebug().noquote() << QStringLiteral("无法打开文件：") + openError;
        return;
    }

    const FirmwareImageHeader header = readFirmwareImageHeader(image);
    if (read == files::ReadStatus::TooLarge || !header.isValid()) {
        QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("ERROR"), QStringLiteral("File Error"));
        return;
    }

    QString driveVersion;
    {
        QMutexLocker lock(&fwVersionMutex);
        driveVersion = fwVersion;
    }
    if (firmwareVersionsMatch(header.version, driveVersion)) {
        QMessageBoxWindow(QMessageBoxType::Information, QStringLiteral("Tip"), QStringLiteral("版本号一致，无需更新"));
        return;
    }
    if (header.model != productType &&
        QMessageBoxWindow(QMessageBoxType::Question, QStringLiteral("Warning"),
                          QStringLiteral("产品型号不一致，是否继续升级"), QMessageBox::No) == QMessageBox::No)
        return;

    // These models must be sent into their bootloader first; the type is the drive's own.
    if (productType == QLatin1String("T71") || productType == QLatin1String("T73")) {
        fwJumpAck = false;
        // A jump that did not leave is said at once; waiting for its answer would only end
        // in the time-out below.
        if (!sendOrComplain(protocol::bootloaderJumpRequest())) return;
        const QPointer<MainWindow> alive(this);
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < kJumpWaitMs && !fwJumpAck.load()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 500);
            // Closed meanwhile: give up quietly, and touch nothing of a window that is gone.
            if (!alive) {
                release.dismiss();
                return;
            }
            if (closing) return;
            // processEvents returns at once when nothing is pending: do not spin a core.
            if (!fwJumpAck.load()) QThread::msleep(5);
        }
        if (!fwJumpAck.load()) {
            QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("ERROR"), QStringLiteral("跳转失败，请重试！"));
            return;
        }
    }

    fwProgress.store(0, std::memory_order_release);
    fwDone.store(false, std::memory_order_release);
    fwReady.store(true, std::memory_order_release);
    const QString version = header.version;
    workers->start([this, image, version] {
        updateFW_threadFunction(image, version);
        if (workers->stopRequested()) return;   // the window is going away
        workers->postToGui([this] {
            fwUpdateBusy = false;
            ui->pushButton_updateFW->setEnabled(true);
        });
    });
    workerStarted = true;

    progressDialog->setLabelText(QStringLiteral("正在更新..."));
    progressDialog->show();
    progressMode = ProgressMode::FirmwareUpdate;
    progressTimer.start(100);
}

void MainWindow::updateFW_threadFunction(QByteArray fileData, QString fileVersion)
{
    // Result first, then done: the progress slot reads done before the result.
    const auto fail = [this] {
        fwSuccess.store(false, std::memory_order_release);
        fwDone.store(true, std::memory_order_release);
    };

    if (!MotorTransmitType(MotorType::UpdateFwStart, false)) {
        qDebug().noquote() << "Transmite Fail";
        fail();
        return;
    }

    const qint64 size = fileData.size();
    const qint64 chunks = firmwareChunkCount(size);
    QElapsedTimer waited;
    for (qint64 k = 0; k < chunks; ++k) {
        waited.restart();
        while (!fwReady.load(std::memory_order_acquire)) {
            if (!workers->sleepFor(kPollMs)) {
                fail();
                return;
            }
            if (waited.elapsed() > kReadyWaitMs) {
                qDebug().noquote() << "Receive Timeout";
                fail();
                return;
            }
        }

        const QByteArray frame = firmwareChunkFrame(fileData, k);
        bool sent;
        {
            QMutexLocker lock(&sendMutex);
            std::memcpy(txData, frame.constData(), size_t(frame.size()));
            // Cleared before the block's last chunk leaves, so the drive's busy reply
            // cannot come too late to stop the next one.
            if (firmwareChunkEndsBlock(k, chunks)) fwReady.store(false, std::memory_order_release);
            sent = CAN_transmit(unsigned(frame.size()), false);
        }
        if (!sent) {
            fail();
            return;
        }
        std::this_thread::sleep_for(kChunkGap);
        if (workers->stopRequested()) {
            fail();
            return;
        }
        fwProgress.store(firmwareTransferProgress(k, chunks), std::memory_order_release);
    }

    fwEndAck.store(false, std::memory_order_release);
    if (!MotorTransmitType(MotorType::UpdateFwEnd, false)) {
        qDebug().noquote() << "Transmite Fail";
        fail();
        return;
    }
    qDebug().noquote() << QStringLiteral("发送结束");

    // No acknowledgement is not an error: the version read afterwards decides.
    waited.restart();
    while (!fwEndAck.load(std::memory_order_acquire) && waited.elapsed() <= kEndAckWaitMs) {
        if (!workers->sleepFor(kPollMs)) {
            fail();
            return;
        }
    }

    MotorTransmitType(MotorType::GetFwVersion, false);
    if (!workers->sleepFor(1000)) {
        fail();
        return;
    }
    QString driveVersion;
    {
        QMutexLocker lock(&fwVersionMutex);
        driveVersion = fwVersion;
    }
    fwSuccess.store(firmwareVersionsMatch(fileVersion, driveVersion), std::memory_order_release);
    fwProgress.store(100, std::memory_order_release);
    fwDone.store(true, std::memory_order_release);
}
