// Applies every frame the drive sends, as the protocol decodes it: the entry, parameter
// replies, command acknowledgements and status words. Runs on the GUI thread; never
// sends, never waits.
#include "app/mainwindow/mainwindow.h"

#include "can/can.h"
#include "vocabulary/loadyaml.h"
#include "widgets/nwheeldoublespinbox.h"
#include "app/parameterrows.h"
#include "forms/ui_mainwindow.h"

#include <QDebug>
#include <QMutexLocker>

#include <cmath>

namespace {

QString encoderDirText(int32_t v)
{
    if (v == 1) return QStringLiteral("正");
    if (v == -1) return QStringLiteral("反");
    return QStringLiteral("NULL");
}

QString logName(int code) { return QLatin1String(protocol::parameterInfo(code)->logName); }

}   // namespace

void MainWindow::onFrameReceived(CanFrameData data, int length, float timestep)
{
    deal_recv_data(data.data(), length, timestep);
}

void MainWindow::logReceivedFrame(const uchar* recvData, int length, float timestep)
{
    recvText = protocol::receivedFrameLine(recvData, length, timestep);
    emit writeLog(recvText);
}

void MainWindow::deal_recv_data(const uchar* recvData, int length, float timestep)
{
    // A frame without data bytes (a sync message, say) has no kind.
    if (length < 1) return;
    const protocol::Reply reply = protocol::decodeReply(recvData, length);
    // Logged before anything is decoded, even when nothing else comes of the frame; hybrid
    // feedback writes its line once its fields are shown.
    if (protocol::logsEveryFrame(recvData[0]) && !std::holds_alternative<protocol::HybridFeedback>(reply))
        logReceivedFrame(recvData, length, timestep);
    std::visit([&](const auto& r) { applyReply(r, recvData, length, timestep); }, reply);
}

void MainWindow::applyReply(const protocol::ParameterReply& reply, const uchar*, int, float)
{
    const int code = reply.code;
    const protocol::ParameterInfo* info = protocol::parameterInfo(code);
    const int status = reply.status;
    const auto got = [this, code](const QString& value) {
        emit writeLog(QStringLiteral(">>> Get \"%1\" Value: ").arg(logName(code)) + value);
    };

    // Calibration results: value replies only.
    switch (static_cast<MotorConfig>(code)) {
    case MotorConfig::MotorPhaseResistance_Calib:
    case MotorConfig::MotorPhaseInductance_Calib: {
        if (status != 2) return;
        const float v = reply.asFloat;
        const QString text = QString::number(v, 'g', 6);
        // Logged as it came, but no label or box shows what is no number.
        if (std::isfinite(v)) {
            const bool resistance = code == static_cast<int>(MotorConfig::MotorPhaseResistance_Calib);
            (resistance ? ui->label_MotorPhaseResistance_Calib : ui->label_MotorPhaseInductance_Calib)->setText(text);
            (resistance ? ui->doubleSpinBox_MotorPhaseResistance : ui->doubleSpinBox_MotorPhaseInductance)
                ->setValue(static_cast<double>(v));
        }
        got(text);
        return;
    }
    case MotorConfig::MotorPolePairs_Calib: {
        if (status != 2) return;
        const int32_t v = reply.asInt;
        ui->label_MotorPolePairs_Calib->setText(QString::number(v));
        ui->doubleSpinBox_MotorPolePairs->setValue(v);
        got(QString::number(v));
        return;
    }
    case MotorConfig::EncoderDir_Calib: {
        if (status != 2) return;
        const QString text = encoderDirText(reply.asInt);
        ui->label_EncoderDir_Calib->setText(text);
        ui->lineEdit_EncoderDir->setText(text);
        got(ui->label_EncoderDir_Calib->text());
        return;
    }
    case MotorConfig::Torque:
    case MotorConfig::Velocity:
    case MotorConfig::Position:
        emit writeLog(QStringLiteral(">>> Set \"%1\" %2")
                          .arg(logName(code), status == 3 ? QStringLiteral("Success") : QStringLiteral("Fail")));
        return;
    default: break;
    }

    if (status == 3) {
        emit writeLog(QStringLiteral(">>> Set \"%1\" Success").arg(logName(code)));
        return;
    }
    if (status != 2) {
        emit writeLog(QStringLiteral(">>> Set \"%1\" Fail").arg(logName(code)));
        return;
    }

    switch (static_cast<MotorConfig>(code)) {
    case MotorConfig::InvertMotorDir:
    case MotorConfig::SynchronizationEnable: {
        const int v = reply.firstByte & 0x0F;
        (code == 1 ? ui->checkBox_InvertMotorDir : ui->checkBox_SynchronizationEnable)->setChecked(v != 0);
        got(QString::number(v));
        return;
    }
    case MotorConfig::ControlMode: {
        const int v = reply.firstByte;
        ui->comboBox_ControlMode->setCurrentIndex(protocol::controlModeIndex(v));
        got(ui->comboBox_ControlMode->currentText());
        return;
    }
    case MotorConfig::CalibVaild: {
        const int v = reply.firstByte;
        ui->lineEdit_CalibVaild->setText(v == 0   ? QStringLiteral("Uncalibrated")
                                         : v == 1 ? QStringLiteral("Calibrated")
                                                  : QStringLiteral("NULL"));
        got(QString::number(v));
        return;
    }
    case MotorConfig::EncoderDir: {
        const int32_t v = reply.asInt;
        ui->lineEdit_EncoderDir->setText(encoderDirText(v));
        got(QString::number(v));
        return;
    }
    case MotorConfig::EncoderOffset:
    case MotorConfig::EncoderOffset_Calib: {
        const uint32_t v = reply.asUInt;
        ui->doubleSpinBox_EncoderOffset->setValue(static_cast<double>(v));
        if (code == static_cast<int>(MotorConfig::EncoderOffset_Calib))
            ui->label_EncoderOffset->setText(QString::number(v));
        got(QString::number(v));
        return;
    }
    case MotorConfig::ProductBatch:
    case MotorConfig::VendorType:
    case MotorConfig::HardwareVersion:
    case MotorConfig::MotorType: {
        const int32_t v = reply.asInt;
        CustomComboBox* box = code == 70   ? ui->comboBox_ProductBatch
                              : code == 71 ? ui->comboBox_VendorType
                              : code == 73 ? ui->comboBox_HardwareVersion
                                           : ui->comboBox_MotorType;
        box->setValue(v);
        got(QString::number(static_cast<uint32_t>(v)));
        return;
    }
    case MotorConfig::MotorNumber: {
        const int32_t v = reply.asInt;
        ui->spinBox_MotorNumber->setValue(v);
        got(QString::number(static_cast<uint32_t>(v)));
        return;
    }
    default: break;
    }

    // The remaining codes fill the double spin box of their row.
    const ParameterRow* row = parameterRow(code);
    auto* box = row ? formIndex.find<QDoubleSpinBox>(QLatin1String(row->input)) : nullptr;
    if (!box) return;
    if (info->type == protocol::ValueType::Float) {
        const float v = reply.asFloat;
        // Erased flash reads as all ones, a NaN: the box would clamp it to a limit and the
        // next Write would send that. The log still shows what came.
        if (std::isfinite(v)) box->setValue(static_cast<double>(v));
        got(QString::number(static_cast<double>(v), 'g', 6));
    } else {
        const int32_t v = reply.asInt;
        box->setValue(v);
        got(QString::number(v));
    }
}

void MainWindow::applyReply(const protocol::Acknowledgement& reply, const uchar*, int, float)
{
    using A = protocol::Acknowledgement;
    switch (reply.kind) {
    case A::MotorModeOn:
    case A::MotorModeOff: {
        const bool on = reply.kind == A::MotorModeOn;
        ui->pushButton_EnterMotorMode->setEnabled(!on);
        ui->pushButton_ExitMotorMode->setEnabled(on);
        ui->pushButton_SetZeroPoint->setEnabled(!on);
        ui->pushButton_TP_Enable->setEnabled(!on);
        motorModeOn = on;
        break;
    }
    case A::ZeroPointSet:
        replyBox(QMessageBoxType::Information, QStringLiteral("SUCCESS"), QStringLiteral("Set Zero Point SUCCESS"));
        break;
    case A::TransferEcho: break;
    case A::FlowPause: fwReady = false; break;
    case A::FlowResume: fwReady = true; break;
    case A::BootloaderJump: fwJumpAck = true; break;
    case A::FirmwareVersion: {
        const QString& version = reply.text;
        {
            QMutexLocker lock(&fwVersionMutex);
            fwVersion = version;
        }
        qDebug().noquote() << "[fw version:]" << version;
        ui->label_FW->setText(version);
        emit writeLog(QStringLiteral(">>> Fw: ") + version);
        break;
    }
    case A::ProductType:
        productType = reply.text;
        qDebug().noquote() << "[Product Type:]" << productType;
        ui->label_type->setText(productType);
        emit writeLog(QStringLiteral(">>> Product Type: ") + productType);
        break;
    case A::CalibrationFinished:
        ui->pushButton_StartCalib->setText(QStringLiteral("1.开始校准"));
        reentryGuard = true;
        ui->pushButton_StartCalib->setChecked(false);
        reentryGuard = false;
        break;
    case A::ConfigsSaved:
        replyBox(QMessageBoxType::Information, QStringLiteral("Tip"), QStringLiteral("Save Configs Success"));
        break;
    case A::ConfigsReset:
        replyBox(QMessageBoxType::Information, QStringLiteral("Tip"), QStringLiteral("Reset Configs Success"));
        break;
    case A::ConfigsSaveFailed:
        replyBox(QMessageBoxType::Critical, QStringLiteral("ERROR"), QStringLiteral("Save Configs Fail"));
        break;
    case A::ConfigsResetFailed:
        replyBox(QMessageBoxType::Critical, QStringLiteral("ERROR"), QStringLiteral("Reset Configs Fail"));
        break;
    case A::TransferEnd: fwEndAck = true; break;
    }
}

void MainWindow::applyReply(const protocol::StatusWord& reply, const uchar*, int, float)
{
    const int kind = reply.kind;
    const quint64 value = reply.value;

    const auto missingModel = [this](const QString& unknownText) {
        if (!productType.isEmpty())
            emit writeLog(QStringLiteral("配置文件缺少\"") + productType + QLatin1Char('"'));
        else
            emit writeLog(unknownText);
    };

    if (kind == 1) {
        QString text;
        if (stateChecker->getStateWord(productType, value, text)) {
            emit printStateWord(text);
            emit writeLog(QStringLiteral(">>> Motor ") + text);
        } else {
            missingModel(QStringLiteral("设备类型未知，无法解析电机状态字！"));
        }
        return;
    }

    struct Kind {
        QString heading;
        bool (StateChecker::*lookup)(const QString&, quint64, QList<QString>&);
        QString unknown;
    };
    static const Kind kinds[4] = {
        {QStringLiteral("Error Word"), &StateChecker::getErrorWords,
         QStringLiteral("设备类型未知，无法解析电机错误字！")},
        {},
        {QStringLiteral("DrvError Word"), &StateChecker::getDrvErrorWords,
         QStringLiteral("设备类型未知，无法解析drv错误字！")},
        {QStringLiteral("Warnning"), &StateChecker::getWarnning, QStringLiteral("设备类型未知，无法解析警告！")},
    };
    const Kind& k = kinds[kind];
    if (ui->textEdit_error->toPlainText().contains(k.heading)) ui->textEdit_error->clear();
    QList<QString> texts;
    if (!((*stateChecker).*k.lookup)(productType, value, texts)) {
        missingModel(k.unknown);
        return;
    }
    emit printErrorWord(k.heading, Qt::blue);
    for (const QString& text : texts) {
        emit printErrorWord(QStringLiteral("   ") + text, Qt::black);
        emit writeLog(QStringLiteral(">>> ") + text);
    }
}
