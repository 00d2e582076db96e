// Calibration page: motor calibration start/stop and the torque-calibration table.
#include "app/mainwindow/mainwindow.h"

#include "can/can.h"
#include "formats/torquetable.h"
#include "forms/ui_mainwindow.h"

#include <QDebug>
#include <QFileDialog>
#include <QMessageBox>
#include <QMutexLocker>

#include <cstring>

namespace {}   // namespace

void MainWindow::on_pushButton_StartCalib_toggled(bool checked)
{
    // Our own setChecked below, and the decoder's on "calibration finished", land here too.
    if (reentryGuard) return;
    reentryGuard = true;
    if (const SendResult sent = transmitFrame(protocol::calibrationRequest(checked)); sent == SendResult::Sent) {
        ui->pushButton_StartCalib->setText(checked ? QStringLiteral("停止校准") : QStringLiteral("1.开始校准"));
    } else {
        ui->pushButton_StartCalib->setChecked(!ui->pushButton_StartCalib->isChecked());
        showSendFailure(sent);
    }
    reentryGuard = false;
}

void MainWindow::on_pushButton_readTorqueCalib_clicked()
{
    SendResult sent;
    {
        QMutexLocker lock(&sendMutex);
        std::memcpy(txData, protocol::torqueTableReadRequest().data(), sizeof txData);
        sent = canThread->transmit(static_cast<uint>(ui->spinBox_id->value()), txData, ui->checkBox_EXT->isChecked(),
                                   ui->checkBox_RTR->isChecked(), 8, true);
    }
    if (sent != SendResult::Sent) {
        qDebug().noquote() << "transmit error";
        showSendFailure(sent);
    }
}

void MainWindow::on_pushButton_writeTorqueCalib_clicked()
{
    const QString caption = QStringLiteral("选择文件");
    const QString filter = QStringLiteral("所有文件 (*)");
    const QString path = openFileDialogHook ? openFileDialogHook(nullptr, caption, filter)
                                            : QFileDialog::getOpenFileName(nullptr, caption, QString(), filter);
    if (path.isEmpty()) {
        qDebug().noquote() << QStringLiteral("未选择文件");
        return;
    }
    qDebug().noquote() << QStringLiteral("选中的文件路径：") + path;

    processExcelFile(path, QStringLiteral("W8K113"));
    const TorquePointList points = torqueCalibPoints;
    const QString lines = pointListText(points);
    if (points.size() < MinTorqueTablePoints) {
        emit writeLog(QStringLiteral("Selected data: \n") + lines);
        QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("ERROR"), QStringLiteral("数据不足"));
        return;
    }

    QMessageBox confirm(QMessageBox::NoIcon, QStringLiteral("确认写入"),
                        QStringLiteral("以下是点的列表：\n") + lines + QStringLiteral("\n是否要写入这些点？"),
                        QMessageBox::Yes | QMessageBox::No);
    confirm.setDefaultButton(QMessageBox::No);
    if (confirm.exec() != QMessageBox::Yes) return;

    const int count = int(points.size());
    for (int i = 0; i < count; ++i) {
        const std::array<quint8, 8> frame = torqueTablePointFrame(count, i, points.at(i));
        if (!sendOrComplain(frame)) return;
    }
}

void MainWindow::processExcelFile(const QString& path, const QString& sheet)
{
    PointListError error = PointListError::None;
    torqueCalibPoints = ::processExcelFile(path, sheet, &error);
    if (error == PointListError::CannotOpen) {
        emit writeLog(QStringLiteral("Cannot open file:") + path);
        QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("ERROR"),
                          QStringLiteral("Cannot open file: ") + path);
    }
}
