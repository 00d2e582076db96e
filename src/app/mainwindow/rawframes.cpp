// Frames that are not parameter requests: typed hex bytes, quick set, clear state.
#include "app/mainwindow/mainwindow.h"

#include "protocol/rawframecodec.h"
#include "forms/ui_mainwindow.h"

#include <QMutexLocker>
#include <QThread>

namespace {
const QString kError = QStringLiteral("ERROR");

rawframes::ScaledInput boxInput(const QDoubleSpinBox* box)
{
    return {static_cast<float>(box->value()), static_cast<float>(box->minimum()), static_cast<float>(box->maximum())};
}
}   // namespace

int MainWindow::HexStr_to_int(QString str)
{
    // txData is shared with the worker-thread senders.
    QMutexLocker lock(&sendMutex);
    return rawframes::parseHexText(str, txData);
}

unsigned int MainWindow::float_to_uint(float x, float min, float max, int bits)
{
    return static_cast<unsigned int>(rawframes::floatToUint(x, min, max, bits));
}

float MainWindow::uint_to_float(int x, float min, float max, int bits)
{
    return rawframes::uintToFloat(x, min, max, bits);
}

void MainWindow::on_pushButton_send_clicked()
{
    QMutexLocker lock(&sendMutex);
    const int n = HexStr_to_int(ui->plainTextEdit_sendData->toPlainText());
    if (n == 0) {
        lock.unlock();
        QMessageBoxWindow(QMessageBoxType::Critical, kError, QStringLiteral("Input Data ERROR"));
        return;
    }
    // A closed channel gives only the send path's debug line here.
    CAN_transmit(static_cast<unsigned int>(n), true);
}

void MainWindow::on_pushButton_set_clicked()
{
    rawframes::QuickSetInputs in;
    in.node = ui->spinBox_id_2->value();
    in.kp = boxInput(ui->doubleSpinBox_kp);
    in.kd = boxInput(ui->doubleSpinBox_kd);
    in.tp = boxInput(ui->doubleSpinBox_tp);
    in.tv = boxInput(ui->doubleSpinBox_tv);
    in.tau = boxInput(ui->doubleSpinBox_tau);

    if (!sendOrComplain(rawframes::quickSetGainsFrame(in))) return;
    QThread::msleep(2);
    sendOrComplain(rawframes::quickSetTorqueFrame(in));
}

void MainWindow::on_pushButton_clearState_clicked()
{
    if (!sendOrComplain(rawframes::clearStateFrame())) return;
    ui->textEdit_error->clear();
    ui->lineEdit_state->setText(QString());
}
