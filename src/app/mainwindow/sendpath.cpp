// The one send path and the parameter and command requests built on it.
#include "app/mainwindow/mainwindow.h"

#include "can/can.h"
#include "forms/ui_mainwindow.h"

#include <QDebug>
#include <QMutexLocker>
#include <QScopedValueRollback>
#include <QThread>

#include <cstring>

namespace {
const QString kUnknownError = QStringLiteral("未知错误");
const QString kError = QStringLiteral("ERROR");

bool isInformationCode(MotorConfig code)
{
    const int c = static_cast<int>(code);
    return c >= 70 && c <= 74;
}
}   // namespace

void MainWindow::refreshTransmitTarget()
{
    txId = static_cast<uint32_t>(ui->spinBox_id->value());
    txExt = ui->checkBox_EXT->isChecked();
    txRtr = ui->checkBox_RTR->isChecked();
}

bool MainWindow::CAN_transmit(unsigned int len, bool log) { return sendTxData(len, log) == SendResult::Sent; }

SendResult MainWindow::sendTxData(unsigned int len, bool log)
{
    if (len - 1 > 7) {
        // No caller asks for this (the Send box and the firmware chunks give 1 to 8 bytes).
        qDebug().noquote() << "transmit Length error";
        return SendResult::Refused;
    }
    QMutexLocker lock(&sendMutex);
    const SendResult result = canThread->transmit(txId, txData, txExt, txRtr, static_cast<int>(len), log);
    if (result != SendResult::Sent) qDebug().noquote() << "transmit error";
    // Only the GUI thread presses rows into a tally; worker sends are never counted in it.
    if (QThread::currentThread() == thread() && sendTally) sendTally->count(result);
    return result;
}

SendResult MainWindow::transmitFrame(const protocol::Frame& frame, unsigned int len, bool log)
{
    QMutexLocker lock(&sendMutex);
    std::memcpy(txData, frame.data(), sizeof txData);
    return sendTxData(len, log);
}

SendResult MainWindow::transmitFrame(const protocol::Frame& frame, const QString& logLine)
{
    // The request's line comes before its "[Trans ]" line, with no other sender between.
    QMutexLocker lock(&sendMutex);
    std::memcpy(txData, frame.data(), sizeof txData);
    if (!logLine.isEmpty()) emit writeLog(logLine);
    return sendTxData();
}

void MainWindow::showOpenDeviceFirst()
{
    QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("ERROR"), QStringLiteral("请先打开设备"));
}

void MainWindow::showSendFailure(SendResult result)
{
    switch (result) {
    case SendResult::Sent: return;
    case SendResult::PortClosed: showOpenDeviceFirst(); return;
    case SendResult::Refused:
        if (sendTally) return;   // the action reports its refusals once, at its end
        showAdapterRefused();
        return;
    }
}

bool MainWindow::sendOrComplain(const protocol::Frame& frame, unsigned int len)
{
    const SendResult sent = transmitFrame(frame, len);
    showSendFailure(sent);
    return sent == SendResult::Sent;
}

void MainWindow::showAdapterRefused()
{
    QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("ERROR"), QStringLiteral("适配器拒绝发送该帧"));
}

void MainWindow::reportRefusals(const SendTally& tally, bool showBox)
{
    if (tally.refused == 0) return;
    // Queued behind the frame lines it counts, which reach the log queued too.
    QMetaObject::invokeMethod(
        this,
        [this, tally, showBox] {
            emit writeLog(
                QStringLiteral(">>> Adapter refused %1 of %2 frames").arg(tally.refused).arg(tally.attempted));
            if (showBox)
                QMessageBoxWindow(
                    QMessageBoxType::Critical, QStringLiteral("ERROR"),
                    QStringLiteral("适配器拒绝发送 %1 帧（共 %2 帧）").arg(tally.refused).arg(tally.attempted));
        },
        Qt::QueuedConnection);
}

void MainWindow::pressCounted(QAbstractButton* button, SendTally* tally)
{
    const QScopedValueRollback<SendTally*> counting(sendTally, tally);
    button->click();
}

bool MainWindow::MotorReadConfig(MotorConfig type, bool isQMegBoxWindowDisplay)
{
    if (!protocol::canRead(type)) {
        if (isQMegBoxWindowDisplay) QMessageBoxWindow(QMessageBoxType::Critical, kError, kUnknownError);
        return false;
    }
    const SendResult result = transmitFrame(
        protocol::readRequest(type),
        isInformationCode(type)
            ? QString()
            : QStringLiteral(">>> Send \"%1\" get command").arg(QLatin1String(protocol::parameterInfo(type)->name)));
    if (isQMegBoxWindowDisplay) showSendFailure(result);
    return result == SendResult::Sent;
}

bool MainWindow::MotorWriteConfig(MotorConfig type, float value, bool isQMegBoxWindowDisplay)
{
    if (!protocol::canWriteFloat(type)) {
        if (isQMegBoxWindowDisplay) QMessageBoxWindow(QMessageBoxType::Critical, kError, kUnknownError);
        return false;
    }
    const protocol::ParameterInfo* info = protocol::parameterInfo(type);
    const SendResult result =
        transmitFrame(protocol::writeRequest(type, value),
                      QStringLiteral(">>> %1 \"%2\" Value: ")
                              .arg(info->writeSaysSend ? QStringLiteral("Send") : QStringLiteral("Set"),
                                   QLatin1String(info->logName)) +
                          QString::number(static_cast<double>(value), 'g', 6));
    if (isQMegBoxWindowDisplay) showSendFailure(result);
    return result == SendResult::Sent;
}

bool MainWindow::MotorWriteConfig(MotorConfig type, int value, bool isQMegBoxWindowDisplay)
{
    if (!protocol::canWriteInt(type)) {
        if (isQMegBoxWindowDisplay) QMessageBoxWindow(QMessageBoxType::Critical, kError, kUnknownError);
        return false;
    }
    const protocol::ParameterInfo* info = protocol::parameterInfo(type);
    QString text = QString::number(value);
    int wire = value;
    if (type == MotorConfig::ControlMode) {
        if (motorModeOn) {
            emit writeLog(QStringLiteral(">>> Set \"ControlMode\" Fail, Please exit MotorMode"));
            return false;
        }
        wire = protocol::controlModeWire(value);
        text = ui->comboBox_ControlMode->currentText();
    } else if (isInformationCode(type) && value < 0) {
        QMessageBoxWindow(QMessageBoxType::Critical, kError, QStringLiteral("参数错误"));
        return false;
    }
    const SendResult result =
        transmitFrame(protocol::writeRequest(type, static_cast<int32_t>(wire)),
                      QStringLiteral(">>> Set \"%1\" Value: ").arg(QLatin1String(info->logName)) + text);
    if (isQMegBoxWindowDisplay) showSendFailure(result);
    return result == SendResult::Sent;
}

bool MainWindow::MotorTransmitType(MotorType type, bool isQMegBoxWindowDisplay)
{
    protocol::Frame frame;
    if (!protocol::commandFrame(type, &frame)) {
        if (isQMegBoxWindowDisplay) QMessageBoxWindow(QMessageBoxType::Critical, kError, kUnknownError);
        return false;
    }
    if (type == MotorType::GetState && ui->label_type->text().isEmpty()) {
        if (isQMegBoxWindowDisplay)
            QMessageBoxWindow(QMessageBoxType::Critical, kError, QStringLiteral("请先获取设备类型"));
        emit writeLog(QStringLiteral(">>> 请先获取设备类型"));
        return false;
    }
    const SendResult result = transmitFrame(frame);
    if (isQMegBoxWindowDisplay) showSendFailure(result);
    return result == SendResult::Sent;
}

void MainWindow::MotorModeChange(MotorType type)
{
    protocol::Frame query;
    protocol::commandFrame(MotorType::GetProductType, &query);
    if (const SendResult result = transmitFrame(query); result != SendResult::Sent) {
        showSendFailure(result);
        return;
    }
    motorModeStep(type);
}

void MainWindow::motorModeStep(MotorType type)
{
    QThread::msleep(10);
    const int index = ui->comboBox_ControlMode->currentIndex();
    const bool currentLimitMode = index == 1 || index == 4;
    // The steps go on only while the adapter takes their frames: a refused current limit
    // must not be followed by the mode change. One box says so, or the action that pressed
    // this button does.
    SendTally own;
    SendTally* tally = sendTally ? sendTally : &own;
    const int refusedBefore = tally->refused;
    const auto refused = [tally, refusedBefore] { return tally->refused != refusedBefore; };
    {
        const QScopedValueRollback<SendTally*> counting(sendTally, tally);
        if (type == MotorType::EnterMotorMode) {
            if (currentLimitMode) {
                ui->doubleSpinBox_CurrentLimit->setValue(35.0);
                ui->pushButton_CurrentLimit->click();
                QThread::msleep(10);
            }
            if (!refused()) MotorTransmitType(MotorType::EnterMotorMode, true);
        } else {
            MotorTransmitType(type, true);
            if (type == MotorType::ExitMotorMode && currentLimitMode && !refused()) {
                ui->doubleSpinBox_CurrentLimit->setValue(ui->label_type->text() == QLatin1String("QM72") ? 25.0 : 21.0);
                ui->pushButton_CurrentLimit->click();
            }
        }
    }
    if (own.refused) showAdapterRefused();
}

void MainWindow::on_spinBox_id_valueChanged(int arg1)
{
    canThread->filterId = static_cast<uint32_t>(arg1);
    refreshTransmitTarget();
    if (!ui->checkBox_recvAll->isChecked())
        emit writeLog(QStringLiteral(">>> Receive CAN ID: ") + QString::number(arg1));
}

void MainWindow::on_checkBox_recvAll_stateChanged(int arg1)
{
    if (arg1 == Qt::Checked) {
        canThread->recvAll = true;
        emit writeLog(QStringLiteral(">>> Receive All ID"));
    } else if (arg1 == Qt::Unchecked) {
        canThread->recvAll = false;
        emit writeLog(QStringLiteral(">>> Receive CAN ID: ") + QString::number(ui->spinBox_id->value()));
    }
}
