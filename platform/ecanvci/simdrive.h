// A simulated servo drive that answers the tool's CAN protocol. Plain C++ (no Qt) so the
// adapter stand-in can run it and tests can drive it directly.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace sim {

struct Frame {
    uint32_t id = 0;
    uint8_t len = 8;
    uint8_t data[8] = {};
};

struct DriveConfig {
    uint32_t nodeId = 0;                // identifier the drive listens and replies on
    std::string productType = "QM72";   // 3 or 4 characters
    uint8_t fwVersion[3] = {1, 6, 0};   // replaced by the image's version after a good transfer of a sound image
    bool attached = true;
    double streamRateHz = 1000.0;   // live-sample frames per second
    uint32_t fwBusyDelayMs = 0;     // block's last chunk -> busy reply (a slow drive)
    uint32_t fwReadyDelayMs = 20;   // busy -> ready gap at the end of each 1024-chunk block
    bool fwReadyReply = true;       // false: stays busy after a block (the tool times out)
    bool fwEndAck = true;           // false: the end of a transfer is never acknowledged
    bool fwJumpAck = true;          // false: T71/T73 never confirm the boot-loader jump
    uint32_t calibMs = 2000;        // calibration start -> results and finished reply
    double identifySeconds = 3.0;   // length of the identification sample stream
    bool tableWriteResult = true;   // report a torque-table write with a 0x58 frame
    uint16_t position = 32768;      // current raw position (hybrid page)
};

// Reads a setting by name ("node_id", "product_type", "fw_version", "attached",
// "stream_rate_hz", "fw_busy_delay_ms", "fw_ready_delay_ms", "fw_ready_reply", "fw_end_ack", "fw_jump_ack",
// "calib_ms", "identify_s", "table_write_result", "position") into cfg; false when the key
// or value is not understood.
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

    // Sample rates of the streams whose rate is not configurable.
    static constexpr uint64_t kTemperaturePeriodUs = 200000;   // 5 frames per second
    static constexpr double kIdentifyRateHz = 500.0;
    static constexpr uint64_t kFwEndAckDelayUs = 100000;   // time to "write flash"
    static constexpr size_t kFwImageLimit = 16u << 20;
    static constexpr uint32_t kFwBlockChunks = 1024;
    // Image header fields the boot loader checks: the body's CRC-32, the body's size, and the
    // CRC-32 of the header bytes before it.
    static constexpr size_t kFwHeaderSize = 96;
    static constexpr size_t kFwBodyCrcAt = 76;
    static constexpr size_t kFwPackageSizeAt = 88;
    static constexpr size_t kFwHeaderCrcAt = 92;

    explicit SimDrive(const DriveConfig& config = DriveConfig());

    void configure(const DriveConfig& config);
    const DriveConfig& config() const { return cfg_; }

    // A frame seen on the bus at nowUs; replies (if it was for this drive) go to out.
    void receive(const Frame& in, uint64_t nowUs, std::vector<Frame>& out);
    // Time has passed up to nowUs: frames of running streams and delayed replies go to out.
    void advance(uint64_t nowUs, std::vector<Frame>& out);
    // True while a stream runs or a delayed reply is due, so the bus keeps calling advance.
    bool streaming() const;

    bool parameter(int code, double* value) const;
    void setStatusWords(uint32_t errorWord, uint32_t stateWord, uint32_t drvErrorWord, uint32_t warningWord);
    bool motorMode() const { return motorMode_; }
    void resetParameters();

    // What the streams and workflows are doing, for tests.
    bool displaying() const { return display_.on; }
    bool temperatureStreaming() const { return temp_.on; }
    bool identifying() const { return ident_.on; }
    bool calibrating() const { return calib_.on; }
    bool hybridEnabled() const { return hybridOn_; }
    bool firmwareTransferring() const { return fw_.active; }
    // Rows of the torque-calibration table as (current x 10, torque x 10), raw 16-bit.
    const std::vector<std::pair<uint16_t, uint16_t>>& torqueTable() const { return table_; }

    static const std::vector<ParamSpec>& parameterTable();
    static const ParamSpec* spec(int code);
    static std::vector<std::pair<uint16_t, uint16_t>> defaultTorqueTable();

private:
    struct Display {
        bool on = false;
        uint64_t startUs = 0;
        uint64_t sent = 0;   // frames sent since startUs (after any skip)
        int channels[3] = {};
        int count = 0;
    };
    struct Temperature {
        bool on = false;
        bool epochSet = false;
        uint64_t epochUs = 0;   // the drive "warms up" from its first stream start
        uint64_t nextUs = 0;
    };
    struct Firmware {
        bool active = false;
        std::vector<uint8_t> image;
        uint32_t chunks = 0;
        bool busy = false;   // from the block's last chunk until the ready reply
        bool busyReplyPending = false;
        uint64_t busyReplyAtUs = 0;
        bool broken = false;   // a chunk came while busy, or the image grew too large
        uint64_t readyAtUs = 0;
        bool endAckPending = false;
        uint64_t endAckAtUs = 0;
    };
    struct Calibration {
        bool on = false;
        uint64_t doneUs = 0;
    };
    struct Identification {
        bool on = false;
        bool startSent = false;
        uint64_t startUs = 0;
        uint64_t sent = 0;
        uint64_t total = 0;
        double amplitude = 0;   // Iq amplitude, A
    };
    struct TableWrite {
        bool active = false;
        int count = 0;
        int next = 0;
        std::vector<std::pair<uint16_t, uint16_t>> rows;
    };

    Frame reply() const;
    bool handleParameter(const Frame& in, uint64_t nowUs, std::vector<Frame>& out);
    bool handleCommand(const Frame& in, uint64_t nowUs, std::vector<Frame>& out);
    bool handleFirmwareChunk(const Frame& in, uint64_t nowUs, std::vector<Frame>& out);
    bool handleTable(const Frame& in, std::vector<Frame>& out);
    void handleHybrid(const Frame& in, std::vector<Frame>& out);
    void finishFirmware(uint64_t nowUs);
    void stopActivity();

    void advanceDisplay(uint64_t nowUs, std::vector<Frame>& out);
    void advanceTemperature(uint64_t nowUs, std::vector<Frame>& out);
    void advanceFirmware(uint64_t nowUs, std::vector<Frame>& out);
    void sendBusyReply(std::vector<Frame>& out);
    void advanceCalibration(uint64_t nowUs, std::vector<Frame>& out);
    void advanceIdentification(uint64_t nowUs, std::vector<Frame>& out);

    DriveConfig cfg_;
    std::map<int, double> values_;
    bool motorMode_ = false;
    uint32_t words_[4] = {0, 0, 0, 0};   // error, state, driver error, warning

    Display display_;
    Temperature temp_;
    Firmware fw_;
    Calibration calib_;
    Identification ident_;
    TableWrite tableWrite_;
    std::vector<std::pair<uint16_t, uint16_t>> table_;
    bool hybridOn_ = false;
};

}   // namespace sim
