// Parameter identification: puts the drive into its sine-curve run and exports the
// recorded data when the drive ends the run.
#include "app/mainwindow/mainwindow.h"

#include "can/can.h"
#include "files/savedfile.h"
#include "forms/ui_mainwindow.h"

#include <QFileDialog>
#include <QScopedValueRollback>
#include <QThread>

void MainWindow::on_pushButton_Identify_clicked()
{
    if (!canThread->isOpen) {
        showOpenDeviceFirst();
        return;
    }
    // Each step goes out only when the adapter took the one before: a run must not get its
    // torque set-point with the mode unchanged. One box says a frame was refused.
    SendTally tally;
    ui->comboBox_ControlMode->setCurrentIndex(2);   // "正弦曲线"
    pressCounted(ui->pushButton_ControlMode, &tally);
    // The drive takes each step before the next one arrives.
    if (tally.refused == 0) {
        QThread::msleep(50);
        pressCounted(ui->pushButton_EnterMotorMode, &tally);
    }
    if (tally.refused == 0) {
        QThread::msleep(50);
        const QScopedValueRollback<SendTally*> counting(sendTally, &tally);
        MotorWriteConfig(MotorConfig::Torque, 1.0f, false);
    }
    if (tally.refused != 0) showAdapterRefused();
}

void MainWindow::SaveCalibrationData()
{
    const QString caption = tr("保存 CSV 文件");
    const QString filter = tr("CSV Files (*.csv)");
    const QString path = saveFileDialogHook ? saveFileDialogHook(this, caption, filter)
                                            : QFileDialog::getSaveFileName(this, caption, QString(), filter);
    if (path.isEmpty()) return;   // the data stays in the temporary file until the next run

    const auto cannotSave = [this, &path] {
        QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("ERROR"),
                          QStringLiteral("无法保存校准数据: %1").arg(path));
    };

    QByteArray data;
    if (calibrationDataFile.isOpen()) {
        calibrationDataFile.flush();
        const qint64 writePos = calibrationDataFile.pos();
        calibrationDataFile.seek(0);
        data = calibrationDataFile.readAll();
        calibrationDataFile.seek(writePos);
    }

    // A short write (full disk) must neither be confirmed as saved nor cost the previous file.
    if (files::saveFile(path, data) != files::SaveStatus::Saved) {
        cannotSave();
        return;
    }

    QMessageBoxWindow(QMessageBoxType::Information, QStringLiteral("Tip"),
                      QStringLiteral("文件已保存至: %1").arg(path));
}
