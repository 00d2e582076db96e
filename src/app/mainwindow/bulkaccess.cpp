// Read All / Write All: press every parameter row's button in turn, 10 ms apart.
#include "app/mainwindow/mainwindow.h"

#include "can/can.h"
#include "forms/ui_mainwindow.h"
#include "app/workers.h"

#include <array>
#include <memory>

namespace {

using ButtonMember = QPushButton* Ui_MainWindow::*;

struct BulkEntry {
    ButtonMember write;
    ButtonMember read;
};

#define BULK_ROW(name) BulkEntry{&Ui_MainWindow::pushButton_##name, &Ui_MainWindow::pushButton_##name##_2}

// The same order for both directions; identification and quick-set rows are left out.
const std::array<BulkEntry, 49> kBulkEntries = {{
    BULK_ROW(InvertMotorDir),
    BULK_ROW(Inertia),
    BULK_ROW(TorqueCostant),
    BULK_ROW(MotorPolePairs),
    BULK_ROW(MotorPhaseResistance),
    BULK_ROW(MotorPhaseInductance),
    BULK_ROW(CurrentLimit),
    BULK_ROW(VelocityLimit),
    BULK_ROW(Current_cutoff),
    BULK_ROW(Torque_scale),
    BULK_ROW(Current_scale),
    BULK_ROW(J_motor),
    BULK_ROW(B_motor),
    BULK_ROW(Fric_motor),
    BULK_ROW(CalibVaild),
    BULK_ROW(CalibCurrent),
    BULK_ROW(CalibVoltage),
    BULK_ROW(EncoderDir),
    BULK_ROW(EncoderOffset),
    BULK_ROW(ControlMode),
    BULK_ROW(PosGain),
    BULK_ROW(VelGain),
    BULK_ROW(VelIntegratorGain),
    BULK_ROW(CurrentControlBandwidth),
    BULK_ROW(ReductionRatio),
    BULK_ROW(SynchronizationEnable),
    BULK_ROW(VelocityWindow),
    BULK_ROW(PositionWindow),
    BULK_ROW(TorqueRampRate),
    BULK_ROW(VelocityRampGate),
    BULK_ROW(PositionFilterBandwidth),
    BULK_ROW(ProfileVelocity),
    BULK_ROW(profileAccel),
    BULK_ROW(ProfileDecel),
    BULK_ROW(ProtectUnderVoltage),
    BULK_ROW(ProtectOverVoltage),
    BULK_ROW(ProtectOverCurrent),
    BULK_ROW(ProtectIBusMax),
    BULK_ROW(ProtectILeakMax),
    BULK_ROW(McuMaxTemperature),
    BULK_ROW(MosMaxTemperature),
    BULK_ROW(MotorMaxTemperature),
    BULK_ROW(stcuk_time),
    BULK_ROW(stcuk_velocity),
    BULK_ROW(stcuk_iq),
    BULK_ROW(NodeID),
    BULK_ROW(BaudRate),
    BULK_ROW(HeartbeatConsumer_ms),
    BULK_ROW(HeartbeatProducer_ms),
}};

#undef BULK_ROW

// Worker side of both directions. The enabled test and the click happen on the GUI
// thread; the worker only waits and paces. Returns at once when the pool stops.
void pressInTurn(WorkerPool& pool, Ui_MainWindow* ui, ButtonMember BulkEntry::*direction)
{
    for (const BulkEntry& entry : kBulkEntries) {
        const ButtonMember button = entry.*direction;
        // Shared: after a stop the queued press may still be pending when this returns.
        auto pressed = std::make_shared<bool>(false);
        const bool answered = pool.runOnGui([ui, button, pressed] {
            QPushButton* b = ui->*button;
            if (!b->isEnabled()) return;
            *pressed = true;
            b->click();
        });
        if (!answered) return;
        if (*pressed && !pool.sleepFor(10)) return;
    }
}

}  // namespace

void MainWindow::on_pushButton_ReadAllConfig_clicked()
{
    if (!canThread->isOpen) {
        QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("ERROR"), QStringLiteral("请先打开设备"));
        return;
    }
    workers->start([this] { ReadAllConfigThread(); });
}

void MainWindow::on_pushButton_WriteAllConfig_clicked()
{
    if (!canThread->isOpen) {
        QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("ERROR"), QStringLiteral("请先打开设备"));
        return;
    }
    workers->start([this] { WriteAllConfigThread(); });
}

void MainWindow::ReadAllConfigThread() { pressInTurn(*workers, ui, &BulkEntry::read); }

void MainWindow::WriteAllConfigThread() { pressInTurn(*workers, ui, &BulkEntry::write); }
