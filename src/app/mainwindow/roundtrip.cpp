// Roundtrip tests: one control loop driven back and forth between two set-points.
#include "app/mainwindow/mainwindow.h"

#include "app/roundtriptimer.h"
#include "can/can.h"
#include "forms/ui_mainwindow.h"

#include <QMutexLocker>

#include <cstring>

namespace {

// Seconds to whole milliseconds, through single precision as the drive tool always did
// (0.7 s gives 699 ms).
int toMs(double seconds) { return static_cast<int>(static_cast<double>(static_cast<float>(seconds)) * 1000.0); }

}   // namespace

void MainWindow::on_pushButton_Roundtrip_Torque_clicked(bool checked) { startRoundtrip(checked, MotorConfig::Torque); }

void MainWindow::on_pushButton_Roundtrip_Speed_clicked(bool checked) { startRoundtrip(checked, MotorConfig::Velocity); }

void MainWindow::on_pushButton_Roundtrip_Position_clicked(bool checked)
{
    startRoundtrip(checked, MotorConfig::Position);
}

void MainWindow::startRoundtrip(bool checked, MotorConfig mode)
{
    if (!checked) {
        roundtripTimer->stopTimer();
        return;
    }
    roundtripMode = mode;
    QPushButton* button;
    QDoubleSpinBox* period;
    QDoubleSpinBox* total;
    QString status;
    switch (mode) {
    case MotorConfig::Velocity:
        button = ui->pushButton_Roundtrip_Speed;
        period = ui->doubleSpinBox_intervaltime_speed;
        total = ui->doubleSpinBox_runalltime_speed;
        status = QStringLiteral("Speed");
        break;
    case MotorConfig::Position:
        button = ui->pushButton_Roundtrip_Position;
        period = ui->doubleSpinBox_intervaltime_position;
        total = ui->doubleSpinBox_runalltime_position;
        status = QStringLiteral("Position");
        break;
    default:
        button = ui->pushButton_Roundtrip_Torque;
        period = ui->doubleSpinBox_intervaltime_torque;
        total = ui->doubleSpinBox_runalltime_torque;
        status = QStringLiteral("Torque");
        break;
    }
    button->setText(QStringLiteral("Stop"));
    roundtripTimer->intervalMs = toMs(period->value());
    roundtripTimer->totalMs = toMs(total->value());
    emit writeLog(QStringLiteral(">>> start Roundtrip"));
    roundtripTally = SendTally();
    roundtripEndedByClose = false;
    setRoundtripStatus(status, true);
    roundtripTimer->startTimers();
}

void MainWindow::RoundtriggerCallback(unsigned long runtimes)
{
    QDoubleSpinBox* down;
    QDoubleSpinBox* up;
    switch (roundtripMode) {
    case MotorConfig::Velocity:
        down = ui->doubleSpinBox_speed_down;
        up = ui->doubleSpinBox_speed_up;
        break;
    case MotorConfig::Position:
        down = ui->doubleSpinBox_position_down;
        up = ui->doubleSpinBox_position_up;
        break;
    case MotorConfig::Torque:
        down = ui->doubleSpinBox_torque_down;
        up = ui->doubleSpinBox_torque_up;
        break;
    default: return;
    }
    const MotorConfig mode = roundtripMode;
    const float value = static_cast<float>((runtimes % 2 == 1 ? up : down)->value());
    const protocol::Frame frame = protocol::writeRequest(mode, value);
    const SendResult sent = transmitFrame(frame, QStringLiteral(">>> Set \"%1\" Value: %2     [%3]")
                                                     .arg(QLatin1String(protocol::parameterInfo(mode)->logName))
                                                     .arg(QString::number(static_cast<double>(value), 'g', 6))
                                                     .arg(runtimes + 1));
    if (sent != SendResult::PortClosed) {
        // A step the adapter refused leaves the drive on the last set-point; the run goes on
        // and reports its refusals when it ends.
        roundtripTally.count(sent);
        return;
    }
    roundtripEndedByClose = true;
    roundtripTimer->stopTimer();
    showOpenDeviceFirst();
}

void MainWindow::stopRoundtripCallback()
{
    setRoundtripStatus(QStringLiteral("All"), false);
    emit writeLog(QStringLiteral(">>> Stop Roundtrip"));
    // A run the closed port ended shows that box alone.
    const SendTally tally = roundtripTally;
    roundtripTally = SendTally();
    reportRefusals(tally, !roundtripEndedByClose);
    roundtripEndedByClose = false;
}

void MainWindow::setRoundtripStatus(QString mode, bool running)
{
    QPushButton* torque = ui->pushButton_Roundtrip_Torque;
    QPushButton* speed = ui->pushButton_Roundtrip_Speed;
    QPushButton* position = ui->pushButton_Roundtrip_Position;
    const QString idleText = QStringLiteral("Start Roundtrip");
    if (mode == QLatin1String("Torque")) {
        speed->setEnabled(!running);
        position->setEnabled(!running);
        if (!running) torque->setText(idleText);
    } else if (mode == QLatin1String("Speed")) {
        torque->setEnabled(!running);
        position->setEnabled(!running);
        if (!running) speed->setText(idleText);
    } else if (mode == QLatin1String("Position")) {
        torque->setEnabled(!running);
        speed->setEnabled(!running);
        if (!running) position->setText(idleText);
    } else if (mode == QLatin1String("All")) {
        for (QPushButton* b : {torque, speed, position}) {
            b->setEnabled(!running);
            if (!running) {
                b->setText(idleText);
                b->setChecked(false);
            }
        }
    }
    for (QDoubleSpinBox* box :
         {ui->doubleSpinBox_torque_down, ui->doubleSpinBox_torque_up, ui->doubleSpinBox_intervaltime_torque,
          ui->doubleSpinBox_runalltime_torque, ui->doubleSpinBox_speed_down, ui->doubleSpinBox_speed_up,
          ui->doubleSpinBox_intervaltime_speed, ui->doubleSpinBox_runalltime_speed, ui->doubleSpinBox_position_down,
          ui->doubleSpinBox_position_up, ui->doubleSpinBox_intervaltime_position,
          ui->doubleSpinBox_runalltime_position})
        box->setReadOnly(running);
}
