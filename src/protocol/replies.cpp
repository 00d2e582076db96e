#include "protocol/replies.h"

#include <algorithm>
#include <initializer_list>

namespace protocol {
namespace {

bool bytesEqual(const uint8_t* d, std::initializer_list<uint8_t> want)
{
    for (uint8_t b : want)
        if (*d++ != b) return false;
    return true;
}

// Value bytes a value reply carries: flags and small enumerations sit in byte 3 alone,
// the motion set-points answer with a status only.
int valueBytes(MotorConfig code)
{
    switch (code) {
    case MotorConfig::InvertMotorDir:
    case MotorConfig::SynchronizationEnable:
    case MotorConfig::ControlMode:
    case MotorConfig::CalibVaild: return 1;
    case MotorConfig::Torque:
    case MotorConfig::Velocity:
    case MotorConfig::Position: return 0;
    default: return 4;
    }
}

Reply parameterReply(const uint8_t* d, int n)
{
    if (n < 3) return {};
    const int code = d[1];
    if (code > 0x4A || !parameterInfo(code)) return {};
    ParameterReply r;
    r.code = code;
    r.status = d[2] & 0x0F;
    if (r.status == 2 && n < 3 + valueBytes(static_cast<MotorConfig>(code))) return {};
    if (n > 3) r.firstByte = d[3];
    if (n >= 7) {
        r.asInt = readInt32LE(d + 3);
        r.asUInt = readUInt32LE(d + 3);
        r.asFloat = readFloatLE(d + 3);
    }
    return r;
}

Reply acknowledgement(const uint8_t* d, int n)
{
    using A = Acknowledgement;
    if (n < 7 || d[1] != 0xFF) return {};
    const uint8_t* b = d + 2;   // bytes 2 to 6 select the acknowledgement
    const auto ack = [](A::Kind kind, QString text = QString()) { return A{kind, std::move(text)}; };
    if (bytesEqual(b, {0xFF, 0xFF, 0xFF, 0xFF, 0xFC})) return ack(A::MotorModeOn);
    if (bytesEqual(b, {0xFF, 0xFF, 0xFF, 0xFF, 0xFD})) return ack(A::MotorModeOff);
    if (bytesEqual(b, {0xFF, 0xFF, 0xFF, 0xFF, 0xFE})) return ack(A::ZeroPointSet);
    if (bytesEqual(b, {0xFF, 0xF1, 0x55, 0xA0, 0x00}) || bytesEqual(b, {0xFF, 0xF1, 0x55, 0xA1, 0x00}))
        return ack(A::TransferEcho);
    if (bytesEqual(b, {0xFF, 0xF1, 0x56, 0xA0, 0x00})) return ack(A::FlowPause);
    if (bytesEqual(b, {0xFF, 0xF1, 0x56, 0xA1, 0x00})) return ack(A::FlowResume);
    if (bytesEqual(b, {0xFF, 0xF1, 0x55, 0xB0, 0x00})) return ack(A::BootloaderJump);
    if (b[0] == 0x57 && b[1] == 0xA0)
        return ack(A::FirmwareVersion, QStringLiteral("%1.%2.%3").arg(d[4]).arg(d[5]).arg(d[6]));
    if (b[0] == 0x56 && b[1] == 0xA0) {
        QString type;
        for (int i = 4; i <= 6; ++i) type += QChar::fromLatin1(static_cast<char>(d[i]));
        if (n == 8 && d[7] != 0) type += QChar::fromLatin1(static_cast<char>(d[7]));
        return ack(A::ProductType, type);
    }
    if (bytesEqual(b, {0x70, 0xA0, 0x00, 0x00, 0x00})) return ack(A::CalibrationFinished);
    if ((b[0] == 0x65 || b[0] == 0x66) && b[2] == 0 && b[3] == 0 && b[4] == 0) {
        const bool ok = b[1] == 0xA0;
        if (b[0] == 0x65) return ack(ok ? A::ConfigsSaved : A::ConfigsSaveFailed);
        return ack(ok ? A::ConfigsReset : A::ConfigsResetFailed);
    }
    if (bytesEqual(b, {0x80, 0xA0, 0x00, 0x00, 0x00})) return ack(A::TransferEnd);
    return {};
}

Reply identification(const uint8_t* d, int n)
{
    using I = IdentificationSample;
    if (n < 2) return {};
    switch (d[1]) {
    case 0x10: return I{I::Start, 0, 0};
    case 0x1F:
        if (n < 8) return {};
        return I{I::Sample, float(readUInt24BE(d + 2)) * 400.0f / 16777215.0f - 200.0f,
                 float(readUInt24BE(d + 5)) * 40.0f / 16777215.0f - 20.0f};
    case 0x11: return I{I::End, 0, 0};
    default: return {};
    }
}

}   // namespace

Reply decodeReply(const uint8_t* d, int length)
{
    // Only the frame's own bytes are read: past them the receive ring holds an older
    // frame's. A frame missing a byte its layout reads matches no layout.
    const int n = std::clamp(length, 0, 8);
    if (n < 1) return {};
    switch (d[0]) {
    case 0xF0: return acknowledgement(d, n);
    case 0xF1: return parameterReply(d, n);
    case 0xF2:
        if (n < 7 || d[1] != 0xFF || d[2] > 3) return {};
        return StatusWord{d[2], static_cast<quint64>(static_cast<qint64>(readInt32LE(d + 3)))};
    case 0xF5: {
        if (n < 7) return {};
        Temperatures t;
        for (int k = 0; k < 3; ++k) t.celsius[k] = float(readUInt16BE(d + 1 + 2 * k)) * 220.0f / 65535.0f - 45.0f;
        return t;
    }
    case 0xFA: {
        LiveSamples s;
        s.count = std::min(3, (n - 1) / 2);
        if (s.count == 0) return {};
        for (int k = 0; k < s.count; ++k) s.raw[k] = readUInt16BE(d + 1 + 2 * k);
        return s;
    }
    case 0xFB: return identification(d, n);
    case 0x9C:
        if (n < 8) return {};
        return Position{readUInt16LE(d + 6)};
    case 0x33:
        if (n < 8) return {};
        return HybridFeedback{readUInt16LE(d + 2), readUInt16LE(d + 4), readUInt16LE(d + 6)};
    case 0x58:
        if (n < 2) return {};
        return TableWriteResult{d[1] == 0xFF};
    case 0x60:
        if (n < 8 || d[1] != 0x10) return {};
        return TableRow{d[2], d[3], float(readUInt16LE(d + 4) * 0.1), float(readUInt16LE(d + 6) * 0.1)};
    default: return {};
    }
}

bool logsEveryFrame(uint8_t command)
{
    return command == 0xF0 || command == 0xF1 || command == 0xF2 || command == 0x9C || command == 0x33;
}

QString receivedStamp(float timestep)
{
    return QStringLiteral("[Recv: ") + QString::number(timestep, 'f', 3) + QLatin1Char(']');
}

QString receivedFrameLine(const uint8_t* bytes, int length, float timestep)
{
    return receivedStamp(timestep) + hexBytes(bytes, std::clamp(length, 0, 8));
}

QString receivedValuesLine(float timestep, const float* values, int count)
{
    QString line = receivedStamp(timestep);
    for (int k = 0; k < count; ++k) line += QLatin1Char(' ') + QString::number(values[k], 'f', 2);
    return line;
}

}   // namespace protocol
