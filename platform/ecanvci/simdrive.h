// A simulated servo drive that answers the tool's CAN protocol. Plain C++ (no Qt) so the
// adapter stand-in can run it and tests can drive it directly.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

struct Frame {
    uint32_t id = 0;
    uint8_t len = 8;
    uint8_t data[8] = {};
};

struct DriveConfig {
    uint32_t nodeId = 0;               // identifier the drive listens and replies on
    std::string productType = "QM72";  // 3 or 4 characters
    uint8_t fwVersion[3] = {1, 6, 0};
    bool attached = true;
    double streamRateHz = 1000.0;      // live-sample frames per second
};

// Reads a setting by name ("node_id", "product_type", "fw_version", "attached",
// "stream_rate_hz") into cfg; false when the key or value is not understood.
bool applySetting(DriveConfig& cfg, const std::string& key, const std::string& value);

// The defaults, overridden by QUINTREL_SIM_* environment variables.
DriveConfig configFromEnvironment();

class SimDrive {
public:
    enum class ValueType { Int, Float, UInt };

    struct ParamSpec {
        int code;
        ValueType type;
        bool readable;
        bool writable;
        double defaultValue;
        double minValue;
        double maxValue;
    };

    explicit SimDrive(const DriveConfig& config = DriveConfig());

    void configure(const DriveConfig& config);
    const DriveConfig& config() const { return cfg_; }

    // A frame seen on the bus at nowUs; replies (if it was for this drive) go to out.
    void receive(const Frame& in, uint64_t nowUs, std::vector<Frame>& out);
    // Time has passed up to nowUs: frames of running streams go to out.
    void advance(uint64_t nowUs, std::vector<Frame>& out);
    bool streaming() const;

    bool parameter(int code, double* value) const;
    void setStatusWords(uint32_t errorWord, uint32_t stateWord, uint32_t drvErrorWord, uint32_t warningWord);
    bool motorMode() const { return motorMode_; }
    void resetParameters();

    static const std::vector<ParamSpec>& parameterTable();
    static const ParamSpec* spec(int code);

private:
    Frame reply() const;
    void handleParameter(const Frame& in, std::vector<Frame>& out);
    void handleCommand(const Frame& in, std::vector<Frame>& out);

    DriveConfig cfg_;
    std::map<int, double> values_;
    bool motorMode_ = false;
    uint32_t words_[4] = {0, 0, 0, 0};   // error, state, driver error, warning
};

}  // namespace sim
