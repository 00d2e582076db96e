#include "simdrive.h"

#include "crc32.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {

using VT = SimDrive::ValueType;

// Every parameter the drive keeps: code, type, read, write, default, min, max. The defaults
// lie within the ranges, decimals and choices the tool's boxes get at start-up, so a read
// shows them unchanged; NodeID alone stays 0, the identifier the drive answers on.
const std::vector<SimDrive::ParamSpec> kParams = {
    {1, VT::Int, true, true, 0, 0, 1},                      // InvertMotorDir
    {2, VT::Float, true, true, 0.0012, 0, 100},             // Inertia
    {3, VT::Float, true, true, 0.095, 0, 100},              // TorqueCostant
    {4, VT::Int, true, true, 14, 1, 100},                   // MotorPolePairs
    {5, VT::Float, true, true, 0.42, 0, 100},               // MotorPhaseResistance
    {6, VT::Float, true, true, 0.00031, 0, 10},             // MotorPhaseInductance
    {7, VT::Float, true, true, 21, 0, 200},                 // CurrentLimit
    {8, VT::Float, true, true, 50, 0, 2000},                // VelocityLimit
    {9, VT::Float, true, true, 5, 0, 100},                  // CalibCurrent
    {10, VT::Float, true, true, 2, 0, 100},                 // CalibVoltage
    {11, VT::Int, true, true, 0, 0, 5},                     // ControlMode
    {12, VT::Float, true, true, 20, 0, 10000},              // PosGain
    {13, VT::Float, true, true, 0.16, 0, 10000},            // VelGain
    {14, VT::Float, true, true, 0.32, 0, 10000},            // VelIntegratorGain
    {15, VT::Float, true, true, 1000, 0, 100000},           // CurrentControlBandwidth
    {16, VT::Int, true, true, 0, 0, 1},                     // SynchronizationEnable
    {17, VT::Float, true, true, 1, 0, 10000},               // VelocityWindow
    {18, VT::Float, true, true, 0.1, 0, 10000},             // PositionWindow
    {19, VT::Float, true, true, 1, 0, 10000},               // TorqueRampRate
    {20, VT::Float, true, true, 10, 0, 10000},              // VelocityRampGate
    {21, VT::Float, true, true, 100, 0, 10000},             // PositionFilterBandwidth
    {22, VT::Float, true, true, 10, 0, 10000},              // ProfileVelocity
    {23, VT::Float, true, true, 20, 0, 10000},              // profileAccel
    {24, VT::Float, true, true, 20, 0, 10000},              // ProfileDecel
    {25, VT::Float, true, true, 18, 0, 100},                // ProtectUnderVoltage
    {26, VT::Float, true, true, 56, 0, 100},                // ProtectOverVoltage
    {27, VT::Float, true, true, 60, 0, 500},                // ProtectOverCurrent
    {28, VT::Float, true, true, 30, 0, 500},                // ProtectIBusMax
    {29, VT::Float, true, true, 1, 0, 100},                 // ProtectILeakMax
    {30, VT::Int, true, true, 0, 0, 10000},                 // NodeID
    {32, VT::Int, true, true, 0, 0, 60000},                 // HeartbeatConsumer_ms
    {33, VT::Int, true, true, 0, 0, 60000},                 // HeartbeatProducer_ms
    {34, VT::Int, true, false, 1, 0, 1},                    // CalibVaild
    {35, VT::Int, true, false, 1, -1, 1},                   // EncoderDir
    {36, VT::UInt, true, false, 123456, 0, 4294967295.0},   // EncoderOffset
    {37, VT::Float, true, true, 10, 0, 1000},               // ReductionRatio
    {38, VT::Float, true, true, 85, -40, 200},              // McuMaxTemperature
    {40, VT::Float, true, true, 100, -40, 200},             // MosMaxTemperature
    {42, VT::Float, true, true, 120, -40, 200},             // MotorMaxTemperature
    {48, VT::Float, false, true, 0, -1000, 1000},           // Torque
    {49, VT::Float, false, true, 0, -10000, 10000},         // Velocity
    {50, VT::Float, false, true, 0, -100000, 100000},       // Position
    {52, VT::Float, true, true, 10, 0, 1000},               // Protect_stuck_iq
    {53, VT::Float, true, true, 0.5, 0, 1000},              // Protect_stuck_velocity
    {54, VT::Int, true, true, 1000, 0, 100000},             // Protect_stuck_time
    {55, VT::Float, true, true, 12, 0, 100000},             // Current_cutoff
    {56, VT::Float, true, true, 1, 0, 1000},                // Torque_scale
    {57, VT::Float, true, true, 1, 0, 1000},                // Current_scale
    {58, VT::Float, true, true, 0.0001, 0, 1000},           // J_motor
    {59, VT::Float, true, true, 0.001, 0, 1000},            // B_motor
    {60, VT::Float, true, true, 0.01, 0, 1000},             // Fric_motor
    {70, VT::Int, true, true, 1, 0, 2147483647.0},          // ProductBatch
    {71, VT::Int, true, true, 1, 0, 2147483647.0},          // VendorType
    {72, VT::Int, true, true, 1, 0, 2147483647.0},          // MotorNumber
    {73, VT::Int, true, true, 10, 0, 2147483647.0},         // HardwareVersion
    {74, VT::Int, true, true, 1, 0, 2147483647.0},          // MotorConfig::MotorType
};

// Codes whose value travels in byte 3 alone.
bool singleByteCode(int code) { return code == 1 || code == 11 || code == 16; }

void putLE32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint32_t getLE32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool matches(const Frame& f, std::initializer_list<int> bytes)
{
    int i = 0;
    for (int b : bytes) {
        if (b >= 0 && f.data[i] != uint8_t(b)) return false;
        ++i;
    }
    return true;
}

bool parseUnsigned(const std::string& text, uint32_t* out)
{
    if (text.empty()) return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(text.c_str(), &end, 0);
    if (*end != '\0' || v > 0xFFFFFFFFul) return false;
    *out = uint32_t(v);
    return true;
}

}   // namespace

// Helpers of the streams and workflows.
namespace {

constexpr double kPi = 3.14159265358979323846;

Frame blank(uint32_t id)
{
    Frame f;
    f.id = id;
    f.len = 8;
    return f;
}

void putLE16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void putBE16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

void putBE24(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 16);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v);
}

// Maps v in [lo, hi] onto 0..full, the inverse of the tool's raw * (hi - lo) / full + lo.
uint32_t scaleToRaw(double v, double lo, double hi, uint32_t full)
{
    const double r = std::round((v - lo) / (hi - lo) * full);
    if (!(r > 0)) return 0;
    if (r >= full) return full;
    return uint32_t(r);
}

// The live channels in mask-bit order with the ranges the tool unscales them with.
struct ChannelRange {
    double lo, hi;
};
constexpr ChannelRange kChannels[] = {
    {-60, 60},   {-60, 60},     {-60, 60}, {-60, 60}, {-60, 60},   // a, b, c, q, d currents
    {-625, 625}, {-12.5, 12.5}, {0, 6.28},                         // motor, axle, electrical angle
    {-30, 30},   {-30, 30},     {0, 60},                           // motor, axle speed, bus voltage
};
constexpr int kChannelCount = int(sizeof(kChannels) / sizeof(kChannels[0]));

// A drive turning slowly under load: three-phase currents, angles that ramp and wrap,
// speeds and bus voltage with a little ripple. t in seconds since the display started.
double channelValue(int bit, double t)
{
    const double w = 2 * kPi;
    switch (bit) {
    case 0: return 20 * std::sin(w * 5 * t);
    case 1: return 20 * std::sin(w * 5 * t - w / 3);
    case 2: return 20 * std::sin(w * 5 * t + w / 3);
    case 3: return 10 + 3 * std::sin(w * 1 * t);
    case 4: return 2 * std::sin(w * 3 * t);
    case 5: return -625 + std::fmod(125 * t, 1250);
    case 6: return -12.5 + std::fmod(2.5 * t, 25);
    case 7: return 6.28 * (5 * t - std::floor(5 * t));
    case 8: return 20 * std::sin(w * 0.2 * t);
    case 9: return 2 * std::sin(w * 0.2 * t);
    case 10: return 48 + 0.5 * std::sin(w * 2 * t);
    default: return 0;
    }
}

// Temperatures approach their working values with a ten-minute time constant.
double temperature(int which, double t)
{
    static const double start[3] = {32, 30, 28};   // MCU, MOS, motor
    static const double end[3] = {52, 58, 66};
    return end[which] - (end[which] - start[which]) * std::exp(-t / 600.0);
}

// What calibration measures on the simulated motor.
constexpr float kMeasuredResistance = 0.4312f;
constexpr float kMeasuredInductance = 0.0003057f;
constexpr int32_t kMeasuredPolePairs = 14;
constexpr int32_t kMeasuredEncoderDir = 1;
constexpr uint32_t kMeasuredEncoderOffset = 125873;

bool parseBool(const std::string& value, bool* out)
{
    if (value != "0" && value != "1") return false;
    *out = value == "1";
    return true;
}

bool parseDouble(const std::string& value, double lo, double hi, double* out)
{
    if (value.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    if (*end != '\0' || !(v >= lo && v <= hi)) return false;
    *out = v;
    return true;
}

// A version text "a.b.c": three runs of decimal digits, each at most 255 (leading zeros
// allowed), nothing else.
bool parseVersion(const std::string& text, uint8_t out[3])
{
    unsigned parts[3] = {0, 0, 0};
    int part = 0;
    size_t digits = 0;
    for (char ch : text) {
        if (ch == '.') {
            if (digits == 0 || ++part > 2) return false;
            digits = 0;
        } else if (ch >= '0' && ch <= '9') {
            parts[part] = parts[part] * 10 + unsigned(ch - '0');
            if (parts[part] > 255) return false;
            ++digits;
        } else {
            return false;
        }
    }
    if (part != 2 || digits == 0) return false;
    for (int i = 0; i < 3; ++i) out[i] = uint8_t(parts[i]);
    return true;
}

uint32_t le32At(const std::vector<uint8_t>& bytes, size_t at)
{
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

// What the boot loader checks before it installs an image: the magic, the header's own CRC,
// the package size against the bytes after the header, and the body's CRC. The header's
// words are little-endian, as the format's packer writes them.
bool imageInstallable(const std::vector<uint8_t>& img)
{
    static const uint8_t magic[4] = {'R', 'B', 'L', 0};
    if (img.size() < SimDrive::kFwHeaderSize || std::memcmp(img.data(), magic, 4) != 0) return false;
    if (crc32(img.data(), SimDrive::kFwHeaderCrcAt) != le32At(img, SimDrive::kFwHeaderCrcAt)) return false;
    const size_t bodySize = img.size() - SimDrive::kFwHeaderSize;
    if (le32At(img, SimDrive::kFwPackageSizeAt) != bodySize) return false;
    return crc32(img.data() + SimDrive::kFwHeaderSize, bodySize) == le32At(img, SimDrive::kFwBodyCrcAt);
}

}   // namespace

bool applySetting(DriveConfig& cfg, const std::string& key, const std::string& value)
{
    if (key == "node_id") {
        uint32_t id;
        if (!parseUnsigned(value, &id)) return false;
        cfg.nodeId = id;
        return true;
    }
    if (key == "product_type") {
        if (value.size() < 3 || value.size() > 4) return false;
        cfg.productType = value;
        return true;
    }
    if (key == "fw_version") return parseVersion(value, cfg.fwVersion);
    if (key == "attached") return parseBool(value, &cfg.attached);
    if (key == "stream_rate_hz") {
        double hz;
        if (!parseDouble(value, 0, 100000.0, &hz) || hz <= 0) return false;
        cfg.streamRateHz = hz;
        return true;
    }
    if (key == "fw_ready_delay_ms" || key == "fw_busy_delay_ms" || key == "calib_ms" || key == "position") {
        uint32_t v;
        const uint32_t limit = key == "position" ? 65535u : 600000u;
        if (!parseUnsigned(value, &v) || v > limit || value[0] == '-') return false;
        if (key == "fw_ready_delay_ms")
            cfg.fwReadyDelayMs = v;
        else if (key == "fw_busy_delay_ms")
            cfg.fwBusyDelayMs = v;
        else if (key == "calib_ms")
            cfg.calibMs = v;
        else
            cfg.position = uint16_t(v);
        return true;
    }
    if (key == "fw_ready_reply") return parseBool(value, &cfg.fwReadyReply);
    if (key == "fw_end_ack") return parseBool(value, &cfg.fwEndAck);
    if (key == "fw_jump_ack") return parseBool(value, &cfg.fwJumpAck);
    if (key == "table_write_result") return parseBool(value, &cfg.tableWriteResult);
    if (key == "identify_s") {
        double s;
        if (!parseDouble(value, 0, 120.0, &s) || s <= 0) return false;
        cfg.identifySeconds = s;
        return true;
    }
    return false;
}

DriveConfig configFromEnvironment()
{
    DriveConfig cfg;
    const std::pair<const char*, const char*> vars[] = {
        {"QUINTREL_SIM_NODE_ID", "node_id"},
        {"QUINTREL_SIM_PRODUCT_TYPE", "product_type"},
        {"QUINTREL_SIM_FW_VERSION", "fw_version"},
        {"QUINTREL_SIM_STREAM_HZ", "stream_rate_hz"},
        {"QUINTREL_SIM_FW_BUSY_DELAY_MS", "fw_busy_delay_ms"},
        {"QUINTREL_SIM_FW_READY_DELAY_MS", "fw_ready_delay_ms"},
        {"QUINTREL_SIM_FW_READY_REPLY", "fw_ready_reply"},
        {"QUINTREL_SIM_FW_END_ACK", "fw_end_ack"},
        {"QUINTREL_SIM_FW_JUMP_ACK", "fw_jump_ack"},
        {"QUINTREL_SIM_CALIB_MS", "calib_ms"},
        {"QUINTREL_SIM_IDENTIFY_S", "identify_s"},
        {"QUINTREL_SIM_TABLE_WRITE_RESULT", "table_write_result"},
        {"QUINTREL_SIM_POSITION", "position"},
    };
    for (const auto& [env, key] : vars) {
        if (const char* v = std::getenv(env)) applySetting(cfg, key, v);
    }
    if (const char* v = std::getenv("QUINTREL_SIM_NO_DRIVE")) cfg.attached = std::string(v) != "1";
    return cfg;
}

SimDrive::SimDrive(const DriveConfig& config) : cfg_(config), table_(defaultTorqueTable()) { resetParameters(); }

void SimDrive::configure(const DriveConfig& config)
{
    cfg_ = config;
    // A drive taken off the bus forgets what it was doing.
    if (!cfg_.attached) stopActivity();
}

void SimDrive::stopActivity()
{
    display_ = Display();
    temp_.on = false;
    fw_ = Firmware();
    calib_ = Calibration();
    ident_ = Identification();
    tableWrite_ = TableWrite();
    hybridOn_ = false;
}

const std::vector<SimDrive::ParamSpec>& SimDrive::parameterTable() { return kParams; }

const SimDrive::ParamSpec* SimDrive::spec(int code)
{
    for (const auto& p : kParams)
        if (p.code == code) return &p;
    return nullptr;
}

std::vector<std::pair<uint16_t, uint16_t>> SimDrive::defaultTorqueTable()
{
    // 1 to 10 A with the torque constant falling off a little as the iron saturates.
    std::vector<std::pair<uint16_t, uint16_t>> rows;
    for (int i = 1; i <= 10; ++i) {
        const double torque = 0.95 * i * (1.0 - 0.02 * i);
        rows.emplace_back(uint16_t(i * 10), uint16_t(int(torque * 10)));
    }
    return rows;
}

void SimDrive::resetParameters()
{
    values_.clear();
    for (const auto& p : kParams) values_[p.code] = p.defaultValue;
    words_[1] = 2;   // idle: bit 1 of the state word
}

bool SimDrive::parameter(int code, double* value) const
{
    auto it = values_.find(code);
    if (it == values_.end()) return false;
    *value = it->second;
    return true;
}

void SimDrive::setStatusWords(uint32_t errorWord, uint32_t stateWord, uint32_t drvErrorWord, uint32_t warningWord)
{
    words_[0] = errorWord;
    words_[1] = stateWord;
    words_[2] = drvErrorWord;
    words_[3] = warningWord;
}

bool SimDrive::streaming() const
{
    if (!cfg_.attached) return false;
    return display_.on || temp_.on || ident_.on || calib_.on || (fw_.busy && cfg_.fwReadyReply) || fw_.busyReplyPending ||
           fw_.endAckPending;
}

Frame SimDrive::reply() const { return blank(cfg_.nodeId); }

void SimDrive::receive(const Frame& in, uint64_t nowUs, std::vector<Frame>& out)
{
    if (!cfg_.attached || in.id != cfg_.nodeId || in.len == 0) return;
    bool handled;
    if (in.data[0] == 0xF1 && in.data[1] != 0xFF)
        handled = handleParameter(in, nowUs, out);
    else if (in.data[0] == 0xFA)
        handled = handleFirmwareChunk(in, nowUs, out);
    else if (in.data[0] == 0x60)
        handled = handleTable(in, out);
    else
        handled = handleCommand(in, nowUs, out);
    // Hybrid frames have no command byte: once enabled, whatever is no command is one.
    if (!handled && hybridOn_ && in.len == 8) handleHybrid(in, out);
}

bool SimDrive::handleParameter(const Frame& in, uint64_t nowUs, std::vector<Frame>& out)
{
    const int code = in.data[1];
    const int op = in.data[2] & 0x0F;
    if (op != 1 && op != 2) return false;
    const ParamSpec* p = spec(code);
    Frame r = reply();
    r.data[0] = 0xF1;
    r.data[1] = uint8_t(code);
    const uint8_t typeNibble = (p && p->type == ValueType::Float) ? 0x10 : 0x00;

    auto encode = [&](double v) {
        if (p && p->type == ValueType::Float) {
            float f = float(v);
            uint32_t bits;
            std::memcpy(&bits, &f, 4);
            putLE32(r.data + 3, bits);
        } else if (singleByteCode(code)) {
            r.data[3] = uint8_t(int32_t(v));
        } else if (p && p->type == ValueType::UInt) {
            putLE32(r.data + 3, uint32_t(v));
        } else {
            putLE32(r.data + 3, uint32_t(int32_t(v)));
        }
    };

    if (op == 2) {
        if (!p || !p->readable) {
            r.data[2] = typeNibble | 0x04;
        } else {
            r.data[2] = typeNibble | 0x02;
            encode(values_[code]);
        }
        out.push_back(r);
        return true;
    }

    double v = 0;
    bool typeOk = p && p->writable;
    if (typeOk) {
        const bool floatWrite = (in.data[2] & 0xF0) == 0x10;
        if ((p->type == ValueType::Float) != floatWrite) {
            typeOk = false;
        } else if (p->type == ValueType::Float) {
            uint32_t bits = getLE32(in.data + 3);
            float f;
            std::memcpy(&f, &bits, 4);
            v = f;
            typeOk = std::isfinite(f);
        } else if (singleByteCode(code)) {
            v = in.data[3];
        } else {
            v = int32_t(getLE32(in.data + 3));
        }
    }
    if (typeOk && v >= p->minValue && v <= p->maxValue) {
        values_[code] = v;
        r.data[2] = typeNibble | 0x03;
        encode(v);
    } else {
        r.data[2] = typeNibble | 0x04;   // refused
        std::memcpy(r.data + 3, in.data + 3, 4);
        out.push_back(r);
        return true;
    }
    out.push_back(r);

    // A torque set-point in sine-curve mode with the motor on starts identification.
    if (code == 48 && v != 0 && motorMode_ && values_[11] == 2 && !ident_.on) {
        ident_ = Identification();
        ident_.on = true;
        ident_.startUs = nowUs;
        ident_.total = uint64_t(std::llround(cfg_.identifySeconds * kIdentifyRateHz));
        ident_.amplitude = std::min(18.0, std::max(0.5, 8.0 * std::fabs(v)));
    }
    return true;
}

bool SimDrive::handleCommand(const Frame& in, uint64_t nowUs, std::vector<Frame>& out)
{
    Frame r = reply();
    r.data[0] = 0xF0;
    r.data[1] = 0xFF;

    // Enter / exit motor mode, set zero point: FF x7 + FC/FD/FE.
    if (matches(in, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) &&
        (in.data[7] == 0xFC || in.data[7] == 0xFD || in.data[7] == 0xFE)) {
        if (in.data[7] == 0xFC) {
            motorMode_ = true;
            words_[1] = 4;   // motor mode: bit 2
        } else if (in.data[7] == 0xFD) {
            motorMode_ = false;
            words_[1] = 2;
            // The motor stops: an identification run breaks off without its end frame.
            ident_ = Identification();
            hybridOn_ = false;
        }
        std::memset(r.data + 2, 0xFF, 4);
        r.data[6] = in.data[7];
        out.push_back(r);
        return true;
    }
    if (matches(in, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x9C})) {   // hybrid position query
        Frame p = reply();
        p.data[0] = 0x9C;
        putLE16(p.data + 6, cfg_.position);
        out.push_back(p);
        return true;
    }
    if (matches(in, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC, 0xFC})) {   // hybrid enable
        hybridOn_ = true;
        return true;
    }
    if (matches(in, {0xFF, 0xFF, 0xFF, 0xFF, 0x57, 0xA0})) {   // firmware version
        r.data[2] = 0x57;
        r.data[3] = 0xA0;
        std::memcpy(r.data + 4, cfg_.fwVersion, 3);
        out.push_back(r);
        return true;
    }
    if (matches(in, {0xFF, 0xFF, 0xFF, 0xFF, 0x56, 0xA0})) {   // product type
        r.data[2] = 0x56;
        r.data[3] = 0xA0;
        for (size_t i = 0; i < 4 && i < cfg_.productType.size(); ++i) r.data[4 + i] = uint8_t(cfg_.productType[i]);
        out.push_back(r);
        return true;
    }
    if (matches(in, {0xFF, 0xFF, 0xFF, 0xFF, 0x55, 0xA0})) {   // live display start
        const uint32_t mask = uint32_t(in.data[6]) | uint32_t(in.data[7]) << 8;
        display_ = Display();
        for (int bit = 0; bit < kChannelCount && display_.count < 3; ++bit)
            if (mask & (1u << bit)) display_.channels[display_.count++] = bit;
        display_.on = display_.count > 0;
        display_.startUs = nowUs;
        return true;
    }
    if (matches(in, {0xFF, 0xFF, 0xFF, 0xFF, 0x55, 0xA1})) {   // live display stop
        display_ = Display();
        return true;
    }
    if (matches(in, {0xFF, 0xFF, 0xFF, 0xFF, 0x5E}) && (in.data[5] == 0xA0 || in.data[5] == 0xA1)) {
        if (in.data[5] == 0xA0 && !temp_.on) {
            temp_.on = true;
            if (!temp_.epochSet) {
                temp_.epochSet = true;
                temp_.epochUs = nowUs;
            }
            temp_.nextUs = nowUs;
        } else if (in.data[5] == 0xA1) {
            temp_.on = false;
        }
        return true;
    }
    if (matches(in, {0xFF, 0xFF, 0xFF, 0xF1, 0x55}) &&
        (in.data[5] == 0xA0 || in.data[5] == 0xA1 || in.data[5] == 0xB0)) {
        if (in.data[5] == 0xB0) {   // boot-loader jump: only these models have one
            if ((cfg_.productType == "T71" || cfg_.productType == "T73") && cfg_.fwJumpAck) {
                r.data[2] = 0xFF;
                r.data[3] = 0xF1;
                r.data[4] = 0x55;
                r.data[5] = 0xB0;
                out.push_back(r);
            }
            return true;
        }
        // Transfer start and end are echoed.
        r.data[2] = 0xFF;
        r.data[3] = 0xF1;
        r.data[4] = 0x55;
        r.data[5] = in.data[5];
        out.push_back(r);
        if (in.data[5] == 0xA0) {
            fw_ = Firmware();
            fw_.active = true;
        } else {
            finishFirmware(nowUs);
        }
        return true;
    }
    if (matches(in, {0xF2, 0xFF, 0xFF, 0xFF, 0x55, 0xA0})) {   // status words
        for (int kind = 0; kind < 4; ++kind) {
            Frame w = reply();
            w.data[0] = 0xF2;
            w.data[1] = 0xFF;
            w.data[2] = uint8_t(kind);
            putLE32(w.data + 3, words_[kind]);
            out.push_back(w);
        }
        return true;
    }
    if (matches(in, {0xF2, 0xFF, 0xFF, 0xFF, 0x55, 0xA1})) {   // clear state
        words_[0] = words_[2] = words_[3] = 0;
        return true;
    }
    if (matches(in, {0xF1, 0xFF, 0xFF, 0xFF, 0x70}) && (in.data[5] == 0xA0 || in.data[5] == 0xA1)) {
        if (in.data[5] == 0xA0) {   // calibration start; a second start restarts the clock
            calib_.on = true;
            calib_.doneUs = nowUs + uint64_t(cfg_.calibMs) * 1000;
        } else {
            calib_ = Calibration();
        }
        return true;
    }
    if (matches(in, {0xF1, 0xFF, 0xFF, 0xFF, -1, 0xA0}) && (in.data[4] == 0x65 || in.data[4] == 0x66)) {
        if (in.data[4] == 0x66) resetParameters();
        r.data[2] = in.data[4];   // saved / reset
        r.data[3] = 0xA0;
        out.push_back(r);
        return true;
    }
    return false;
}

bool SimDrive::handleFirmwareChunk(const Frame& in, uint64_t nowUs, std::vector<Frame>& out)
{
    if (!fw_.active) return false;
    if (in.len < 2) return true;
    // A chunk that arrives while the drive said it is busy is lost: the image is spoilt.
    if (fw_.busy) fw_.broken = true;
    if (fw_.image.size() + (in.len - 1) > kFwImageLimit) {
        fw_.broken = true;
    } else {
        fw_.image.insert(fw_.image.end(), in.data + 1, in.data + in.len);
    }
    ++fw_.chunks;
    if (fw_.chunks % kFwBlockChunks == 0) {
        fw_.busy = true;
        fw_.busyReplyAtUs = nowUs + uint64_t(cfg_.fwBusyDelayMs) * 1000;
        fw_.readyAtUs = fw_.busyReplyAtUs + uint64_t(cfg_.fwReadyDelayMs) * 1000;
        fw_.busyReplyPending = true;
        if (cfg_.fwBusyDelayMs == 0) sendBusyReply(out);
    }
    return true;
}

void SimDrive::sendBusyReply(std::vector<Frame>& out)
{
    fw_.busyReplyPending = false;
    Frame r = reply();
    const uint8_t busy[] = {0xF0, 0xFF, 0xFF, 0xF1, 0x56, 0xA0, 0x00, 0x00};
    std::memcpy(r.data, busy, 8);
    out.push_back(r);
}

void SimDrive::finishFirmware(uint64_t nowUs)
{
    // A damaged image is not installed: the drive keeps its version.
    if (fw_.active && !fw_.broken && imageInstallable(fw_.image)) {
        // The version text at byte 28, up to 24 bytes or the first NUL, must read a.b.c.
        std::string text;
        for (size_t i = 28; i < 52 && fw_.image[i] != 0; ++i) text += char(fw_.image[i]);
        parseVersion(text, cfg_.fwVersion);
    }
    fw_ = Firmware();
    if (cfg_.fwEndAck) {
        fw_.endAckPending = true;
        fw_.endAckAtUs = nowUs + kFwEndAckDelayUs;
    }
}

bool SimDrive::handleTable(const Frame& in, std::vector<Frame>& out)
{
    if (matches(in, {0x60, 0, 0, 0, 0, 0, 0, 0})) {   // read the table
        const size_t n = std::min<size_t>(table_.size(), 255);
        for (size_t i = 0; i < n; ++i) {
            Frame r = reply();
            r.data[0] = 0x60;
            r.data[1] = 0x10;
            r.data[2] = uint8_t(n);
            r.data[3] = uint8_t(i);
            putLE16(r.data + 4, table_[i].first);
            putLE16(r.data + 6, table_[i].second);
            out.push_back(r);
        }
        return true;
    }
    if (in.data[1] != 0x01) return false;

    auto result = [&](bool ok) {
        if (!cfg_.tableWriteResult) return;
        Frame r = reply();
        r.data[0] = 0x58;
        r.data[1] = ok ? 0xFF : 0x00;
        out.push_back(r);
    };
    const int count = in.data[2];
    const int index = in.data[3];
    if (index == 0) {
        tableWrite_ = TableWrite();
        if (count == 0) {
            result(false);
            return true;
        }
        tableWrite_.active = true;
        tableWrite_.count = count;
    }
    if (!tableWrite_.active) return true;   // rest of a table already refused
    if (count != tableWrite_.count || index != tableWrite_.next) {
        // A lost, repeated or foreign row: the table on the drive stays as it was.
        tableWrite_ = TableWrite();
        result(false);
        return true;
    }
    const uint16_t x = uint16_t(in.data[4] | in.data[5] << 8);
    const uint16_t y = uint16_t(in.data[6] | in.data[7] << 8);
    tableWrite_.rows.emplace_back(x, y);
    if (++tableWrite_.next == tableWrite_.count) {
        table_ = std::move(tableWrite_.rows);
        tableWrite_ = TableWrite();
        result(true);
    }
    return true;
}

void SimDrive::handleHybrid(const Frame& in, std::vector<Frame>& out)
{
    const int target = in.data[0] << 8 | in.data[1];
    const int speed = (in.data[2] << 6) | (in.data[3] >> 2);
    const int kp = ((in.data[3] & 0x03) << 8) | in.data[4];
    const uint32_t torque = uint32_t(in.data[6] << 8 | in.data[7]);

    // Move toward the target by at most the commanded speed per frame (no limit at speed 0).
    const int error = target - int(cfg_.position);
    const int distance = std::abs(error);
    const int step = speed == 0 ? distance : std::min(distance, speed);
    cfg_.position = uint16_t(int(cfg_.position) + (error < 0 ? -step : step));
    const uint32_t effort = std::min<uint32_t>(65535u, torque + uint32_t(kp) * uint32_t(distance) / 16u);

    Frame r = reply();
    r.data[0] = 0x33;
    putLE16(r.data + 2, effort);
    putLE16(r.data + 4, uint32_t(step));
    putLE16(r.data + 6, cfg_.position);
    out.push_back(r);
}

void SimDrive::advance(uint64_t nowUs, std::vector<Frame>& out)
{
    if (!cfg_.attached) return;
    advanceFirmware(nowUs, out);
    advanceCalibration(nowUs, out);
    advanceTemperature(nowUs, out);
    advanceIdentification(nowUs, out);
    advanceDisplay(nowUs, out);
}

void SimDrive::advanceDisplay(uint64_t nowUs, std::vector<Frame>& out)
{
    if (!display_.on || nowUs <= display_.startUs) return;
    const double rate = cfg_.streamRateHz;
    uint64_t due = uint64_t(double(nowUs - display_.startUs) * rate / 1e6);
    // After a stall, send at most one second's worth rather than a flood.
    const uint64_t maxBacklog = uint64_t(std::ceil(rate));
    if (due > display_.sent + maxBacklog) display_.sent = due - maxBacklog;
    while (display_.sent < due) {
        ++display_.sent;
        const double t = double(display_.sent) / rate;
        Frame f = reply();
        f.data[0] = 0xFA;
        for (int k = 0; k < display_.count; ++k) {
            const int bit = display_.channels[k];
            const ChannelRange& range = kChannels[bit];
            putBE16(f.data + 1 + 2 * k, scaleToRaw(channelValue(bit, t), range.lo, range.hi, 0xFFFF));
        }
        out.push_back(f);
    }
}

void SimDrive::advanceTemperature(uint64_t nowUs, std::vector<Frame>& out)
{
    if (!temp_.on) return;
    if (nowUs > temp_.nextUs + 1000000) temp_.nextUs = nowUs;
    while (temp_.nextUs <= nowUs) {
        const double t = double(temp_.nextUs - temp_.epochUs) / 1e6;
        Frame f = reply();
        f.data[0] = 0xF5;
        for (int k = 0; k < 3; ++k) putBE16(f.data + 1 + 2 * k, scaleToRaw(temperature(k, t), -45, 175, 0xFFFF));
        out.push_back(f);
        temp_.nextUs += kTemperaturePeriodUs;
    }
}

void SimDrive::advanceFirmware(uint64_t nowUs, std::vector<Frame>& out)
{
    if (fw_.busyReplyPending && nowUs >= fw_.busyReplyAtUs) sendBusyReply(out);
    if (fw_.busy && !fw_.busyReplyPending && cfg_.fwReadyReply && nowUs >= fw_.readyAtUs) {
        fw_.busy = false;
        Frame r = reply();
        const uint8_t ready[] = {0xF0, 0xFF, 0xFF, 0xF1, 0x56, 0xA1, 0x00, 0x00};
        std::memcpy(r.data, ready, 8);
        out.push_back(r);
    }
    if (fw_.endAckPending && nowUs >= fw_.endAckAtUs) {
        fw_.endAckPending = false;
        Frame r = reply();
        r.data[0] = 0xF0;
        r.data[1] = 0xFF;
        r.data[2] = 0x80;
        r.data[3] = 0xA0;
        out.push_back(r);
    }
}

void SimDrive::advanceCalibration(uint64_t nowUs, std::vector<Frame>& out)
{
    if (!calib_.on || nowUs < calib_.doneUs) return;
    calib_ = Calibration();

    auto result = [&](int code, bool isFloat, uint32_t bits) {
        Frame r = reply();
        r.data[0] = 0xF1;
        r.data[1] = uint8_t(code);
        r.data[2] = isFloat ? 0x12 : 0x02;
        putLE32(r.data + 3, bits);
        out.push_back(r);
    };
    uint32_t bits;
    std::memcpy(&bits, &kMeasuredResistance, 4);
    result(44, true, bits);
    std::memcpy(&bits, &kMeasuredInductance, 4);
    result(45, true, bits);
    result(46, false, uint32_t(kMeasuredPolePairs));
    result(47, false, uint32_t(kMeasuredEncoderDir));
    result(51, false, kMeasuredEncoderOffset);

    // The drive keeps what it measured.
    values_[5] = kMeasuredResistance;
    values_[6] = kMeasuredInductance;
    values_[4] = kMeasuredPolePairs;
    values_[35] = kMeasuredEncoderDir;
    values_[36] = kMeasuredEncoderOffset;
    values_[34] = 1;

    Frame done = reply();
    done.data[0] = 0xF0;
    done.data[1] = 0xFF;
    done.data[2] = 0x70;
    done.data[3] = 0xA0;
    out.push_back(done);
}

void SimDrive::advanceIdentification(uint64_t nowUs, std::vector<Frame>& out)
{
    if (!ident_.on || nowUs < ident_.startUs) return;
    Frame f = reply();
    f.data[0] = 0xFB;
    if (!ident_.startSent) {
        ident_.startSent = true;
        f.data[1] = 0x10;
        out.push_back(f);
    }
    const double rate = kIdentifyRateHz;
    const double duration = double(ident_.total) / rate;
    const uint64_t due = std::min(ident_.total, uint64_t(double(nowUs - ident_.startUs) * rate / 1e6));
    while (ident_.sent < due) {
        ++ident_.sent;
        // Sine sweep from 1 to 10 Hz; the speed lags the current by a quarter period and
        // falls with frequency as the inertia integrates the torque.
        const double t = double(ident_.sent) / rate;
        const double f0 = 1.0, f1 = 10.0;
        const double phase = 2 * kPi * (f0 * t + (f1 - f0) * t * t / (2 * duration));
        const double freq = f0 + (f1 - f0) * t / duration;
        const double iq = ident_.amplitude * std::sin(phase);
        const double speed =
            std::max(-199.0, std::min(199.0, -(120.0 / freq) * (ident_.amplitude / 8.0) * std::cos(phase)));
        Frame s = f;
        s.data[1] = 0x1F;
        putBE24(s.data + 2, scaleToRaw(speed, -200, 200, 0xFFFFFF));
        putBE24(s.data + 5, scaleToRaw(iq, -20, 20, 0xFFFFFF));
        out.push_back(s);
    }
    if (ident_.sent == ident_.total) {
        ident_ = Identification();
        f.data[1] = 0x11;
        out.push_back(f);
    }
}

}   // namespace sim
