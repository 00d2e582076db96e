// Decodes every frame the drive sends: the entry, parameter replies, command
// acknowledgements and status words. Runs on the GUI thread; never sends, never waits.
#include "app/mainwindow/mainwindow.h"

#include "can/can.h"
#include "vocabulary/loadyaml.h"
#include "widgets/nwheeldoublespinbox.h"
#include "app/parameterrows.h"
#include "forms/ui_mainwindow.h"

#include <QDebug>
#include <QMutexLocker>

using protocol::readFloatLE;
using protocol::readInt32LE;
using protocol::readUInt32LE;

namespace {

QString encoderDirText(int32_t v)
{
    if (v == 1) return QStringLiteral("正");
    if (v == -1) return QStringLiteral("反");
    return QStringLiteral("NULL");
}

QString logName(int code) { return QLatin1String(protocol::parameterInfo(code)->logName); }

bool bytesEqual(const uchar* d, std::initializer_list<uchar> want)
{
    for (uchar b : want)
        if (*d++ != b) return false;
    return true;
}

}  // namespace

void MainWindow::onFrameReceived(CanFrameData data, int length, float timestep)
{
    deal_recv_data(data.data(), length, timestep);
}

void MainWindow::logReceivedFrame(const uchar* recvData, int length, float timestep)
{
    recvText = QStringLiteral("[Recv: ") + QString::number(timestep, 'f', 3) + QLatin1Char(']') +
               protocol::hexBytes(recvData, std::clamp(length, 0, 8));
    emit writeLog(recvText);
}

void MainWindow::deal_recv_data(const uchar* recvData, int length, float timestep)
{
    switch (recvData[0]) {
    case 0xF0:
        logReceivedFrame(recvData, length, timestep);
        decodeAcknowledgement(recvData);
        break;
    case 0xF1:
        logReceivedFrame(recvData, length, timestep);
        decodeParameterReply(recvData);
        break;
    case 0xF2:
        logReceivedFrame(recvData, length, timestep);
        decodeStatusWord(recvData);
        break;
    case 0xF5:
    case 0x9C:
    case 0x33:
    case 0xFB:
    case 0xFA:
    case 0x58:
    case 0x60:
        decodeStreamReply(recvData, length, timestep);
        break;
    default:
        break;
    }
}

void MainWindow::decodeParameterReply(const uchar* d)
{
    const int code = d[1];
    if (code > 0x4A) return;
    const protocol::ParameterInfo* info = protocol::parameterInfo(code);
    if (!info) return;
    const int status = d[2] & 0x0F;
    const auto got = [this, code](const QString& value) {
        emit writeLog(QStringLiteral(">>> Get \"%1\" Value: ").arg(logName(code)) + value);
    };

    // Calibration results: value replies only.
    switch (static_cast<MotorConfig>(code)) {
    case MotorConfig::MotorPhaseResistance_Calib:
    case MotorConfig::MotorPhaseInductance_Calib: {
        if (status != 2) return;
        const float v = readFloatLE(d + 3);
        const QString text = QString::number(v, 'g', 6);
        const bool resistance = code == static_cast<int>(MotorConfig::MotorPhaseResistance_Calib);
        (resistance ? ui->label_MotorPhaseResistance_Calib : ui->label_MotorPhaseInductance_Calib)->setText(text);
        (resistance ? ui->doubleSpinBox_MotorPhaseResistance : ui->doubleSpinBox_MotorPhaseInductance)
            ->setValue(static_cast<double>(v));
        got(text);
        return;
    }
    case MotorConfig::MotorPolePairs_Calib: {
        if (status != 2) return;
        const int32_t v = readInt32LE(d + 3);
        ui->label_MotorPolePairs_Calib->setText(QString::number(v));
        ui->doubleSpinBox_MotorPolePairs->setValue(v);
        got(QString::number(v));
        return;
    }
    case MotorConfig::EncoderDir_Calib: {
        if (status != 2) return;
        const QString text = encoderDirText(readInt32LE(d + 3));
        ui->label_EncoderDir_Calib->setText(text);
        ui->lineEdit_EncoderDir->setText(text);
        got(ui->label_EncoderDir_Calib->text());
        return;
    }
    case MotorConfig::Torque:
    case MotorConfig::Velocity:
    case MotorConfig::Position:
        emit writeLog(QStringLiteral(">>> Set \"%1\" %2").arg(logName(code), status == 3 ? QStringLiteral("Success")
                                                                                           : QStringLiteral("Fail")));
        return;
    default:
        break;
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
        const int v = d[3] & 0x0F;
        (code == 1 ? ui->checkBox_InvertMotorDir : ui->checkBox_SynchronizationEnable)->setChecked(v != 0);
        got(QString::number(v));
        return;
    }
    case MotorConfig::ControlMode: {
        const int v = d[3];
        ui->comboBox_ControlMode->setCurrentIndex(protocol::controlModeIndex(v));
        got(ui->comboBox_ControlMode->currentText());
        return;
    }
    case MotorConfig::CalibVaild: {
        const int v = d[3];
        ui->lineEdit_CalibVaild->setText(v == 0 ? QStringLiteral("Uncalibrated")
                                         : v == 1 ? QStringLiteral("Calibrated") : QStringLiteral("NULL"));
        got(QString::number(v));
        return;
    }
    case MotorConfig::EncoderDir: {
        const int32_t v = readInt32LE(d + 3);
        ui->lineEdit_EncoderDir->setText(encoderDirText(v));
        got(QString::number(v));
        return;
    }
    case MotorConfig::EncoderOffset:
    case MotorConfig::EncoderOffset_Calib: {
        const uint32_t v = readUInt32LE(d + 3);
        ui->doubleSpinBox_EncoderOffset->setValue(static_cast<double>(v));
        if (code == static_cast<int>(MotorConfig::EncoderOffset_Calib)) ui->label_EncoderOffset->setText(QString::number(v));
        got(QString::number(v));
        return;
    }
    case MotorConfig::ProductBatch:
    case MotorConfig::VendorType:
    case MotorConfig::HardwareVersion:
    case MotorConfig::MotorType: {
        const int32_t v = readInt32LE(d + 3);
        CustomComboBox* box = code == 70 ? ui->comboBox_ProductBatch
                              : code == 71 ? ui->comboBox_VendorType
                              : code == 73 ? ui->comboBox_HardwareVersion
                                           : ui->comboBox_MotorType;
        box->setValue(v);
        got(QString::number(static_cast<uint32_t>(v)));
        return;
    }
    case MotorConfig::MotorNumber: {
        const int32_t v = readInt32LE(d + 3);
        ui->spinBox_MotorNumber->setValue(v);
        got(QString::number(static_cast<uint32_t>(v)));
        return;
    }
    default:
        break;
    }

    // The remaining codes fill the double spin box of their row.
    const ParameterRow* row = parameterRow(code);
    auto* box = row ? findChild<QDoubleSpinBox*>(QLatin1String(row->input)) : nullptr;
    if (!box) return;
    if (info->type == protocol::ValueType::Float) {
        const float v = readFloatLE(d + 3);
        box->setValue(static_cast<double>(v));
        got(QString::number(static_cast<double>(v), 'g', 6));
    } else {
        const int32_t v = readInt32LE(d + 3);
        box->setValue(v);
        got(QString::number(v));
    }
}

void MainWindow::decodeAcknowledgement(const uchar* d)
{
    if (d[1] != 0xFF) return;
    const uchar* b = d + 2;   // bytes 2 to 6 select the acknowledgement
    if (bytesEqual(b, {0xFF, 0xFF, 0xFF, 0xFF, 0xFC})) {
        ui->pushButton_EnterMotorMode->setEnabled(false);
        ui->pushButton_ExitMotorMode->setEnabled(true);
        ui->pushButton_SetZeroPoint->setEnabled(false);
        ui->pushButton_TP_Enable->setEnabled(false);
        motorModeOn = true;
    } else if (bytesEqual(b, {0xFF, 0xFF, 0xFF, 0xFF, 0xFD})) {
        ui->pushButton_EnterMotorMode->setEnabled(true);
        ui->pushButton_ExitMotorMode->setEnabled(false);
        ui->pushButton_SetZeroPoint->setEnabled(true);
        ui->pushButton_TP_Enable->setEnabled(true);
        motorModeOn = false;
    } else if (bytesEqual(b, {0xFF, 0xFF, 0xFF, 0xFF, 0xFE})) {
        QMessageBoxWindow(QMessageBoxType::Information, QStringLiteral("SUCCESS"), QStringLiteral("Set Zero Point SUCCESS"));
    } else if (bytesEqual(b, {0xFF, 0xF1, 0x55, 0xA0, 0x00}) || bytesEqual(b, {0xFF, 0xF1, 0x55, 0xA1, 0x00})) {
        // Transfer start and end requests echoed: nothing to do.
    } else if (bytesEqual(b, {0xFF, 0xF1, 0x56, 0xA0, 0x00})) {
        fwReady = false;
    } else if (bytesEqual(b, {0xFF, 0xF1, 0x56, 0xA1, 0x00})) {
        fwReady = true;
    } else if (bytesEqual(b, {0xFF, 0xF1, 0x55, 0xB0, 0x00})) {
        fwJumpAck = true;
    } else if (b[0] == 0x57 && b[1] == 0xA0) {
        const QString version = QStringLiteral("%1.%2.%3").arg(d[4]).arg(d[5]).arg(d[6]);
        {
            QMutexLocker lock(&fwVersionMutex);
            fwVersion = version;
        }
        qDebug().noquote() << "[fw version:]" << version;
        ui->label_FW->setText(version);
        emit writeLog(QStringLiteral(">>> Fw: ") + version);
    } else if (b[0] == 0x56 && b[1] == 0xA0) {
        QString type;
        for (int i = 4; i <= 6; ++i) type += QChar::fromLatin1(static_cast<char>(d[i]));
        if (d[7] != 0) type += QChar::fromLatin1(static_cast<char>(d[7]));
        productType = type;
        qDebug().noquote() << "[Product Type:]" << productType;
        ui->label_type->setText(productType);
        emit writeLog(QStringLiteral(">>> Product Type: ") + productType);
    } else if (bytesEqual(b, {0x70, 0xA0, 0x00, 0x00, 0x00})) {
        ui->pushButton_StartCalib->setText(QStringLiteral("1.开始校准"));
        reentryGuard = true;
        ui->pushButton_StartCalib->setChecked(false);
        reentryGuard = false;
    } else if ((b[0] == 0x65 || b[0] == 0x66) && b[2] == 0 && b[3] == 0 && b[4] == 0) {
        const bool save = b[0] == 0x65;
        if (b[1] == 0xA0)
            QMessageBoxWindow(QMessageBoxType::Information, QStringLiteral("Tip"),
                              save ? QStringLiteral("Save Configs Success") : QStringLiteral("Reset Configs Success"));
        else
            QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("ERROR"),
                              save ? QStringLiteral("Save Configs Fail") : QStringLiteral("Reset Configs Fail"));
    } else if (bytesEqual(b, {0x80, 0xA0, 0x00, 0x00, 0x00})) {
        fwEndAck = true;
    }
}

void MainWindow::decodeStatusWord(const uchar* d)
{
    if (d[1] != 0xFF || d[2] > 3) return;
    const int kind = d[2];
    // Widened with its sign: bit 31 also reads as bits 32 to 63.
    const quint64 value = static_cast<quint64>(static_cast<qint64>(readInt32LE(d + 3)));

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
        {QStringLiteral("Error Word"), &StateChecker::getErrorWords, QStringLiteral("设备类型未知，无法解析电机错误字！")},
        {},
        {QStringLiteral("DrvError Word"), &StateChecker::getDrvErrorWords, QStringLiteral("设备类型未知，无法解析drv错误字！")},
        {QStringLiteral("Warnning"), &StateChecker::getWarnning, QStringLiteral("设备类型未知，无法解析警告！")},
    };
    const Kind& k = kinds[kind];
    if (ui->textEdit_error->toPlainText().contains(k.heading)) ui->textEdit_error->clear();
    QList<QString> texts;
    if (!(stateChecker->*k.lookup)(productType, value, texts)) {
        missingModel(k.unknown);
        return;
    }
    emit printErrorWord(k.heading, Qt::blue);
    for (const QString& text : texts) {
        emit printErrorWord(QStringLiteral("   ") + text, Qt::black);
        emit writeLog(QStringLiteral(">>> ") + text);
    }
}
