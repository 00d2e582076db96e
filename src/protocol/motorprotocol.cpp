#include "protocol/motorprotocol.h"
#include "protocol/parametertable.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace protocol {

namespace {

using MC = MotorConfig;

// Byte-indexed lookup, built once.
struct Index {
    const ParameterInfo* byCode[256] = {};
    Index()
    {
        for (const ParameterInfo& p : kParameterTable)
            if (p.name) byCode[static_cast<int>(p.code)] = &p;
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

// A table point's value scaled by 10, truncated toward zero.
double scaledValue(double value) { return std::trunc(value * 10.0); }

// Within the signed 16 bits of its field; NaN fits nowhere.
bool fitsField(double value)
{
    const double scaled = scaledValue(value);
    return scaled >= double(std::numeric_limits<qint16>::min()) && scaled <= double(std::numeric_limits<qint16>::max());
}

// Scaled as a 32-bit integer (saturating, so huge inputs stay defined), then cut to its
// low 16 bits.
quint16 scaledField(double value)
{
    const double scaled = scaledValue(value);
    qint32 whole;
    if (scaled >= double(std::numeric_limits<qint32>::max()))
        whole = std::numeric_limits<qint32>::max();
    else if (scaled <= double(std::numeric_limits<qint32>::min()))
        whole = std::numeric_limits<qint32>::min();
    else
        whole = qint32(scaled);
    return quint16(quint32(whole) & 0xFFFFu);
}

}   // namespace

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
    return p && p->write && p->type == ValueType::Float;
}

bool canWriteInt(MotorConfig code)
{
    const ParameterInfo* p = parameterInfo(code);
    return p && p->write && p->type == ValueType::Int;
}

Frame readRequest(MotorConfig code)
{
    const ParameterInfo* p = parameterInfo(code);
    const bool isFloat = p && p->type == ValueType::Float;
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

Frame torqueTablePointFrame(int count, int index, const std::pair<double, double>& point)
{
    const quint16 x = scaledField(point.first);
    const quint16 y = scaledField(point.second);
    return {0x60,
            0x01,
            quint8(count & 0xFF),
            quint8(index & 0xFF),
            quint8(x & 0xFF),
            quint8(x >> 8),
            quint8(y & 0xFF),
            quint8(y >> 8)};
}

bool torqueTablePointFits(const std::pair<double, double>& point)
{
    return fitsField(point.first) && fitsField(point.second);
}

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

}   // namespace protocol
