#include "protocol/motorprotocol.h"

#include <cstring>

namespace protocol {

namespace {

using VT = ValueType;
using MC = MotorConfig;

constexpr ParameterInfo kParameters[] = {
    {MC::InvertMotorDir, "InvertMotorDir", "InvertMotorDir", VT::Int, true, true, false},
    {MC::Inertia, "Inertia", "Inertia", VT::Float, true, true, false},
    {MC::TorqueCostant, "TorqueCostant", "TorqueCostant", VT::Float, true, true, false},
    {MC::MotorPolePairs, "MotorPolePairs", "MotorPolePairs", VT::Int, true, true, false},
    {MC::MotorPhaseResistance, "MotorPhaseResistance", "MotorPhaseResistance", VT::Float, true, true, false},
    {MC::MotorPhaseInductance, "MotorPhaseInductance", "MotorPhaseInductance", VT::Float, true, true, false},
    {MC::CurrentLimit, "CurrentLimit", "CurrentLimit", VT::Float, true, true, false},
    {MC::VelocityLimit, "VelocityLimit", "VelocityLimit", VT::Float, true, true, false},
    {MC::CalibCurrent, "CalibCurrent", "CalibCurrent", VT::Float, true, true, false},
    {MC::CalibVoltage, "CalibVoltage", "CalibVoltage", VT::Float, true, true, false},
    {MC::ControlMode, "ControlMode", "ControlMode", VT::Int, true, true, false},
    {MC::PosGain, "PosGain", "PosGain", VT::Float, true, true, false},
    {MC::VelGain, "VelGain", "VelGain", VT::Float, true, true, false},
    {MC::VelIntegratorGain, "VelIntegratorGain", "VelIntegratorGain", VT::Float, true, true, false},
    {MC::CurrentControlBandwidth, "CurrentControlBandwidth", "CurrentControlBandwidth", VT::Float, true, true, false},
    {MC::SynchronizationEnable, "SynchronizationEnable", "SynchronizationEnable", VT::Int, true, true, false},
    {MC::VelocityWindow, "VelocityWindow", "VelocityWindow", VT::Float, true, true, false},
    {MC::PositionWindow, "PositionWindow", "PositionWindow", VT::Float, true, true, false},
    {MC::TorqueRampRate, "TorqueRampRate", "TorqueRampRate", VT::Float, true, true, false},
    {MC::VelocityRampGate, "VelocityRampGate", "VelocityRampGate", VT::Float, true, true, false},
    {MC::PositionFilterBandwidth, "PositionFilterBandwidth", "PositionFilterBandwidth", VT::Float, true, true, false},
    {MC::ProfileVelocity, "ProfileVelocity", "ProfileVelocity", VT::Float, true, true, false},
    {MC::profileAccel, "profileAccel", "profileAccel", VT::Float, true, true, false},
    {MC::ProfileDecel, "ProfileDecel", "ProfileDecel", VT::Float, true, true, false},
    {MC::ProtectUnderVoltage, "ProtectUnderVoltage", "ProtectUnderVoltage", VT::Float, true, true, false},
    {MC::ProtectOverVoltage, "ProtectOverVoltage", "ProtectOverVoltage", VT::Float, true, true, false},
    {MC::ProtectOverCurrent, "ProtectOverCurrent", "ProtectOverCurrent", VT::Float, true, true, false},
    {MC::ProtectIBusMax, "ProtectIBusMax", "ProtectIBusMax", VT::Float, true, true, false},
    {MC::ProtectILeakMax, "ProtectILeakMax", "ProtectILeakMax", VT::Float, true, true, false},
    {MC::NodeID, "NodeID", "NodeID", VT::Int, true, true, false},
    {MC::HeartbeatConsumer_ms, "HeartbeatConsumer_ms", "HeartbeatConsumer(ms)", VT::Int, true, true, false},
    {MC::HeartbeatProducer_ms, "HeartbeatProducer_ms", "HeartbeatProducer(ms)", VT::Int, true, true, false},
    {MC::CalibVaild, "CalibVaild", "CalibVaild", VT::Int, true, false, false},
    {MC::EncoderDir, "EncoderDir", "EncoderDir", VT::Int, true, false, false},
    {MC::EncoderOffset, "EncoderOffset", "EncoderOffset", VT::Int, true, false, false},
    {MC::ReductionRatio, "ReductionRatio", "ReductionRatio", VT::Float, true, true, false},
    {MC::McuMaxTemperature, "McuMaxTemperature", "McuMaxTemperature", VT::Float, true, true, true},
    {MC::MosMaxTemperature, "MosMaxTemperature", "MosMaxTemperature", VT::Float, true, true, true},
    {MC::MotorMaxTemperature, "MotorMaxTemperature", "MotorMaxTemperature", VT::Float, true, true, true},
    {MC::MotorPhaseResistance_Calib, "MotorPhaseResistance_Calib", "MotorPhaseResistance(Calib)", VT::Float, false, false, false},
    {MC::MotorPhaseInductance_Calib, "MotorPhaseInductance_Calib", "MotorPhaseInductance(Calib)", VT::Float, false, false, false},
    {MC::MotorPolePairs_Calib, "MotorPolePairs_Calib", "MotorPolePairs(Calib)", VT::Int, false, false, false},
    {MC::EncoderDir_Calib, "EncoderDir_Calib", "EncoderDir(Calib)", VT::Int, false, false, false},
    {MC::Torque, "Torque", "Torque", VT::Float, false, true, false},
    {MC::Velocity, "Velocity", "Velocity", VT::Float, false, true, false},
    {MC::Position, "Position", "Position", VT::Float, false, true, false},
    {MC::EncoderOffset_Calib, "EncoderOffset_Calib", "EncoderOffset(calib)", VT::Int, false, false, false},
    {MC::Protect_stuck_iq, "Protect_stuck_iq", "Protect_stuck_iq", VT::Float, true, true, true},
    {MC::Protect_stuck_velocity, "Protect_stuck_velocity", "Protect_stuck_velocity", VT::Float, true, true, true},
    {MC::Protect_stuck_time, "Protect_stuck_time", "Protect_stuck_time", VT::Int, true, true, false},
    {MC::Current_cutoff, "Current_cutoff", "Current_cutoff", VT::Float, true, true, true},
    {MC::Torque_scale, "Torque_scale", "Torque_scale", VT::Float, true, true, true},
    {MC::Current_scale, "Current_scale", "Current_scale", VT::Float, true, true, true},
    {MC::J_motor, "J_motor", "J_motor", VT::Float, true, true, true},
    {MC::B_motor, "B_motor", "B_motor", VT::Float, true, true, true},
    {MC::Fric_motor, "Fric_motor", "Fric_motor", VT::Float, true, true, true},
    {MC::ProductBatch, "ProductBatch", "ProductBatch", VT::Int, true, true, false},
    {MC::VendorType, "VendorType", "VendorType", VT::Int, true, true, false},
    {MC::MotorNumber, "MotorNumber", "MotorNumber", VT::Int, true, true, false},
    {MC::HardwareVersion, "HardwareVersion", "HardwareVersion", VT::Int, true, true, false},
    {MC::MotorType, "MotorType", "MotorType", VT::Int, true, true, false},
};

// Byte-indexed lookup, built once.
struct Index {
    const ParameterInfo* byCode[256] = {};
    Index()
    {
        for (const ParameterInfo& p : kParameters) byCode[static_cast<int>(p.code)] = &p;
    }
};

const Index& index()
{
    static const Index idx;
    return idx;
}

bool singleByteCode(MotorConfig code)
{
    return code == MC::InvertMotorDir || code == MC::ControlMode || code == MC::SynchronizationEnable;
}

}  // namespace

void registerMetaTypes()
{
    qRegisterMetaType<MotorConfig>("MotorConfig");
    qRegisterMetaType<MotorType>("MotorType");
}

const ParameterInfo* parameterInfo(int code)
{
    if (code < 0 || code > 255) return nullptr;
    return index().byCode[code];
}

bool canRead(MotorConfig code)
{
    const ParameterInfo* p = parameterInfo(code);
    return p && p->read;
}

bool canWriteFloat(MotorConfig code)
{
    const ParameterInfo* p = parameterInfo(code);
    return p && p->write && p->type == VT::Float;
}

bool canWriteInt(MotorConfig code)
{
    const ParameterInfo* p = parameterInfo(code);
    return p && p->write && p->type == VT::Int;
}

Frame readRequest(MotorConfig code)
{
    const ParameterInfo* p = parameterInfo(code);
    const bool isFloat = p && p->type == VT::Float;
    return Frame{0xF1, static_cast<uint8_t>(code), static_cast<uint8_t>(isFloat ? 0x12 : 0x02), 0, 0, 0, 0, 0};
}

Frame writeRequest(MotorConfig code, float value)
{
    Frame f{0xF1, static_cast<uint8_t>(code), 0x11, 0, 0, 0, 0, 0};
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    writeUInt32LE(f.data() + 3, bits);
    return f;
}

Frame writeRequest(MotorConfig code, int32_t value)
{
    Frame f{0xF1, static_cast<uint8_t>(code), 0x01, 0, 0, 0, 0, 0};
    if (singleByteCode(code))
        f[3] = static_cast<uint8_t>(value & 0xFF);
    else
        writeUInt32LE(f.data() + 3, static_cast<uint32_t>(value));
    return f;
}

bool commandFrame(MotorType type, Frame* frame)
{
    switch (type) {
    case MotorType::EnterMotorMode: *frame = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC}; return true;
    case MotorType::ExitMotorMode: *frame = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFD}; return true;
    case MotorType::SetZeroPoint: *frame = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}; return true;
    case MotorType::UpdateFwStart: *frame = {0xFF, 0xFF, 0xFF, 0xF1, 0x55, 0xA0, 0x00, 0x00}; return true;
    case MotorType::UpdateFwEnd: *frame = {0xFF, 0xFF, 0xFF, 0xF1, 0x55, 0xA1, 0x00, 0x00}; return true;
    case MotorType::StopCurveDisplay: *frame = {0xFF, 0xFF, 0xFF, 0xFF, 0x55, 0xA1, 0xFF, 0xFF}; return true;
    case MotorType::GetFwVersion: *frame = {0xFF, 0xFF, 0xFF, 0xFF, 0x57, 0xA0, 0x00, 0x00}; return true;
    case MotorType::GetProductType: *frame = {0xFF, 0xFF, 0xFF, 0xFF, 0x56, 0xA0, 0x00, 0x00}; return true;
    case MotorType::GetState: *frame = {0xF2, 0xFF, 0xFF, 0xFF, 0x55, 0xA0, 0x00, 0x00}; return true;
    case MotorType::ResetConfigs: *frame = {0xF1, 0xFF, 0xFF, 0xFF, 0x66, 0xA0, 0x00, 0x00}; return true;
    case MotorType::SaveConfigs: *frame = {0xF1, 0xFF, 0xFF, 0xFF, 0x65, 0xA0, 0x00, 0x00}; return true;
    case MotorType::SaveInformation: *frame = {0xF1, 0xFF, 0xFF, 0xFF, 0x64, 0xA0, 0x00, 0x00}; return true;
    case MotorType::NoFrame: break;
    }
    return false;
}

Frame calibrationRequest(bool start)
{
    return Frame{0xF1, 0xFF, 0xFF, 0xFF, 0x70, static_cast<uint8_t>(start ? 0xA0 : 0xA1), 0x00, 0x00};
}

Frame torqueTableReadRequest() { return Frame{0x60, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}; }

Frame bootloaderJumpRequest() { return Frame{0xFF, 0xFF, 0xFF, 0xF1, 0x55, 0xB0, 0x00, 0x00}; }

Frame positionRequest() { return Frame{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x9C}; }

Frame hybridEnableRequest() { return Frame{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC, 0xFC}; }

Frame temperatureStreamRequest(bool stop)
{
    return Frame{0xFF, 0xFF, 0xFF, 0xFF, 0x5E, static_cast<uint8_t>(stop ? 0xA1 : 0xA0), 0x00, 0x00};
}

Frame liveDisplayRequest(uint16_t channelMask)
{
    Frame f{0xFF, 0xFF, 0xFF, 0xFF, 0x55, 0xA0, 0x00, 0x00};
    writeUInt16LE(&f[6], channelMask);
    return f;
}

int controlModeWire(int index) { return index > 3 ? index + 1 : index; }

int controlModeIndex(int wire) { return wire < 5 ? wire : wire - 1; }

QString hexBytes(const uint8_t* data, int len)
{
    static const char digits[] = "0123456789abcdef";
    QString text;
    text.reserve(3 * len);
    for (int i = 0; i < len; ++i) {
        text += QLatin1Char(' ');
        text += QLatin1Char(digits[data[i] >> 4]);
        text += QLatin1Char(digits[data[i] & 0x0F]);
    }
    return text;
}

}  // namespace protocol
