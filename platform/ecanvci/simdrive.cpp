#include "simdrive.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {

using VT = SimDrive::ValueType;

// Every parameter the drive keeps: code, type, read, write, default, min, max.
const std::vector<SimDrive::ParamSpec> kParams = {
    {1, VT::Int, true, true, 0, 0, 1},            // InvertMotorDir
    {2, VT::Float, true, true, 0.00012, 0, 100},  // Inertia
    {3, VT::Float, true, true, 0.095, 0, 100},    // TorqueCostant
    {4, VT::Int, true, true, 14, 1, 100},         // MotorPolePairs
    {5, VT::Float, true, true, 0.42, 0, 100},     // MotorPhaseResistance
    {6, VT::Float, true, true, 0.00031, 0, 10},   // MotorPhaseInductance
    {7, VT::Float, true, true, 21, 0, 200},       // CurrentLimit
    {8, VT::Float, true, true, 50, 0, 2000},      // VelocityLimit
    {9, VT::Float, true, true, 5, 0, 100},        // CalibCurrent
    {10, VT::Float, true, true, 2, 0, 100},       // CalibVoltage
    {11, VT::Int, true, true, 0, 0, 5},           // ControlMode
    {12, VT::Float, true, true, 20, 0, 10000},    // PosGain
    {13, VT::Float, true, true, 0.16, 0, 10000},  // VelGain
    {14, VT::Float, true, true, 0.32, 0, 10000},  // VelIntegratorGain
    {15, VT::Float, true, true, 1000, 0, 100000}, // CurrentControlBandwidth
    {16, VT::Int, true, true, 0, 0, 1},           // SynchronizationEnable
    {17, VT::Float, true, true, 1, 0, 10000},     // VelocityWindow
    {18, VT::Float, true, true, 0.1, 0, 10000},   // PositionWindow
    {19, VT::Float, true, true, 1, 0, 10000},     // TorqueRampRate
    {20, VT::Float, true, true, 10, 0, 10000},    // VelocityRampGate
    {21, VT::Float, true, true, 100, 0, 10000},   // PositionFilterBandwidth
    {22, VT::Float, true, true, 10, 0, 10000},    // ProfileVelocity
    {23, VT::Float, true, true, 20, 0, 10000},    // profileAccel
    {24, VT::Float, true, true, 20, 0, 10000},    // ProfileDecel
    {25, VT::Float, true, true, 18, 0, 100},      // ProtectUnderVoltage
    {26, VT::Float, true, true, 56, 0, 100},      // ProtectOverVoltage
    {27, VT::Float, true, true, 60, 0, 500},      // ProtectOverCurrent
    {28, VT::Float, true, true, 30, 0, 500},      // ProtectIBusMax
    {29, VT::Float, true, true, 1, 0, 100},       // ProtectILeakMax
    {30, VT::Int, true, true, 0, 0, 10000},       // NodeID
    {32, VT::Int, true, true, 0, 0, 60000},       // HeartbeatConsumer_ms
    {33, VT::Int, true, true, 0, 0, 60000},       // HeartbeatProducer_ms
    {34, VT::Int, true, false, 1, 0, 1},          // CalibVaild
    {35, VT::Int, true, false, 1, -1, 1},         // EncoderDir
    {36, VT::UInt, true, false, 123456, 0, 4294967295.0}, // EncoderOffset
    {37, VT::Float, true, true, 10, 0, 1000},     // ReductionRatio
    {38, VT::Float, true, true, 85, -40, 200},    // McuMaxTemperature
    {40, VT::Float, true, true, 100, -40, 200},   // MosMaxTemperature
    {42, VT::Float, true, true, 120, -40, 200},   // MotorMaxTemperature
    {48, VT::Float, false, true, 0, -1000, 1000}, // Torque
    {49, VT::Float, false, true, 0, -10000, 10000}, // Velocity
    {50, VT::Float, false, true, 0, -100000, 100000}, // Position
    {52, VT::Float, true, true, 10, 0, 1000},     // Protect_stuck_iq
    {53, VT::Float, true, true, 0.5, 0, 1000},    // Protect_stuck_velocity
    {54, VT::Int, true, true, 1000, 0, 100000},   // Protect_stuck_time
    {55, VT::Float, true, true, 1000, 0, 100000}, // Current_cutoff
    {56, VT::Float, true, true, 1, 0, 1000},      // Torque_scale
    {57, VT::Float, true, true, 1, 0, 1000},      // Current_scale
    {58, VT::Float, true, true, 0.0001, 0, 1000}, // J_motor
    {59, VT::Float, true, true, 0.001, 0, 1000},  // B_motor
    {60, VT::Float, true, true, 0.01, 0, 1000},   // Fric_motor
    {70, VT::Int, true, true, 1, 0, 2147483647.0}, // ProductBatch
    {71, VT::Int, true, true, 1, 0, 2147483647.0}, // VendorType
    {72, VT::Int, true, true, 1, 0, 2147483647.0}, // MotorNumber
    {73, VT::Int, true, true, 1, 0, 2147483647.0}, // HardwareVersion
    {74, VT::Int, true, true, 1, 0, 2147483647.0}, // MotorConfig::MotorType
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

}  // namespace

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
    if (key == "fw_version") {
        unsigned a, b, c;
        char tail;
        if (std::sscanf(value.c_str(), "%u.%u.%u%c", &a, &b, &c, &tail) != 3 || a > 255 || b > 255 || c > 255)
            return false;
        cfg.fwVersion[0] = uint8_t(a);
        cfg.fwVersion[1] = uint8_t(b);
        cfg.fwVersion[2] = uint8_t(c);
        return true;
    }
    if (key == "attached") {
        if (value != "0" && value != "1") return false;
        cfg.attached = value == "1";
        return true;
    }
    if (key == "stream_rate_hz") {
        char* end = nullptr;
        double hz = std::strtod(value.c_str(), &end);
        if (*end != '\0' || !(hz > 0.0 && hz <= 100000.0)) return false;
        cfg.streamRateHz = hz;
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
    };
    for (const auto& [env, key] : vars) {
        if (const char* v = std::getenv(env)) applySetting(cfg, key, v);
    }
    if (const char* v = std::getenv("QUINTREL_SIM_NO_DRIVE"))
        cfg.attached = std::string(v) != "1";
    return cfg;
}

SimDrive::SimDrive(const DriveConfig& config) : cfg_(config)
{
    resetParameters();
}

void SimDrive::configure(const DriveConfig& config) { cfg_ = config; }

const std::vector<SimDrive::ParamSpec>& SimDrive::parameterTable() { return kParams; }

const SimDrive::ParamSpec* SimDrive::spec(int code)
{
    for (const auto& p : kParams)
        if (p.code == code) return &p;
    return nullptr;
}

void SimDrive::resetParameters()
{
    values_.clear();
    for (const auto& p : kParams) values_[p.code] = p.defaultValue;
    words_[1] = 1;   // idle
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

bool SimDrive::streaming() const { return false; }

void SimDrive::advance(uint64_t, std::vector<Frame>&) {}

Frame SimDrive::reply() const
{
    Frame f;
    f.id = cfg_.nodeId;
    f.len = 8;
    return f;
}

void SimDrive::receive(const Frame& in, uint64_t /*nowUs*/, std::vector<Frame>& out)
{
    if (!cfg_.attached || in.id != cfg_.nodeId || in.len == 0) return;
    if (in.data[0] == 0xF1 && in.data[1] != 0xFF)
        handleParameter(in, out);
    else
        handleCommand(in, out);
}

void SimDrive::handleParameter(const Frame& in, std::vector<Frame>& out)
{
    const int code = in.data[1];
    const int op = in.data[2] & 0x0F;
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
        return;
    }
    if (op != 1) return;

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
    }
    out.push_back(r);
}

void SimDrive::handleCommand(const Frame& in, std::vector<Frame>& out)
{
    Frame r = reply();
    r.data[0] = 0xF0;
    r.data[1] = 0xFF;

    // Enter / exit motor mode, set zero point: FF x7 + FC/FD/FE.
    if (matches(in, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) &&
        (in.data[7] == 0xFC || in.data[7] == 0xFD || in.data[7] == 0xFE)) {
        if (in.data[7] == 0xFC) {
            motorMode_ = true;
            words_[1] = 2;
        } else if (in.data[7] == 0xFD) {
            motorMode_ = false;
            words_[1] = 1;
        }
        std::memset(r.data + 2, 0xFF, 4);
        r.data[6] = in.data[7];
        out.push_back(r);
        return;
    }
    if (matches(in, {0xFF, 0xFF, 0xFF, 0xFF, 0x57, 0xA0})) {   // firmware version
        r.data[2] = 0x57;
        r.data[3] = 0xA0;
        std::memcpy(r.data + 4, cfg_.fwVersion, 3);
        out.push_back(r);
        return;
    }
    if (matches(in, {0xFF, 0xFF, 0xFF, 0xFF, 0x56, 0xA0})) {   // product type
        r.data[2] = 0x56;
        r.data[3] = 0xA0;
        for (size_t i = 0; i < 4 && i < cfg_.productType.size(); ++i)
            r.data[4 + i] = uint8_t(cfg_.productType[i]);
        out.push_back(r);
        return;
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
        return;
    }
    if (matches(in, {0xF2, 0xFF, 0xFF, 0xFF, 0x55, 0xA1})) {   // clear state
        words_[0] = words_[2] = words_[3] = 0;
        return;
    }
    if (matches(in, {0xF1, 0xFF, 0xFF, 0xFF, -1, 0xA0}) && (in.data[4] == 0x65 || in.data[4] == 0x66)) {
        if (in.data[4] == 0x66) resetParameters();
        r.data[2] = in.data[4];   // saved / reset
        r.data[3] = 0xA0;
        out.push_back(r);
        return;
    }
}

}  // namespace sim
