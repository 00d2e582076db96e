// The drive's replies as values: decodeReply reads one received frame and says what it
// carries; the window decides what to show, log and set. No widgets, no state.
#pragma once

#include "protocol/motorprotocol.h"

#include <QString>

#include <array>
#include <cstdint>
#include <variant>

namespace protocol {

// 0xF1: a parameter's value (status 2), or the outcome of a write (3 success, else failure).
struct ParameterReply {
    int code = 0;
    int status = 0;          // low nibble of byte 2
    uint8_t firstByte = 0;   // byte 3, for the one-byte parameters
    int32_t asInt = 0;       // bytes 3..6 little-endian
    uint32_t asUInt = 0;
    float asFloat = 0;
};

// 0xF0: acknowledgement of a special command.
struct Acknowledgement {
    enum Kind {
        MotorModeOn,
        MotorModeOff,
        ZeroPointSet,
        TransferEcho,   // transfer start or end echoed: nothing to do
        FlowPause,
        FlowResume,
        BootloaderJump,
        FirmwareVersion,   // text: "a.b.c"
        ProductType,       // text: three or four characters
        CalibrationFinished,
        ConfigsSaved,
        ConfigsSaveFailed,
        ConfigsReset,
        ConfigsResetFailed,
        TransferEnd,
    };
    Kind kind = TransferEcho;
    QString text;
};

// 0xF2: kind 0 error word, 1 state word, 2 driver-error word, 3 warnings.
struct StatusWord {
    int kind = 0;
    quint64 value = 0;   // widened with its sign: bit 31 also reads as bits 32 to 63
};

// 0xF5: three temperatures in degrees.
struct Temperatures {
    std::array<float, 3> celsius{};
};

// 0xFA: up to three raw 16-bit samples; their scale depends on the chosen channels.
struct LiveSamples {
    std::array<uint16_t, 3> raw{};
    int count = 0;   // samples the frame carries: a shorter frame matches fewer channels
};

// 0xFB: identification start, one sample (speed and q-axis current), or end.
struct IdentificationSample {
    enum Phase { Start, Sample, End };
    Phase phase = Start;
    float speed = 0;
    float iq = 0;
};

// 0x9C: the drive's current position, asked for before the hybrid page enables.
struct Position {
    uint16_t position = 0;
};

// 0x33: the hybrid page's feedback.
struct HybridFeedback {
    uint16_t torque = 0;
    uint16_t speed = 0;
    uint16_t position = 0;
};

// 0x58: outcome of writing the torque-calibration table.
struct TableWriteResult {
    bool ok = false;
};

// 0x60 with 0x10: one row of the torque-calibration table read back.
struct TableRow {
    uint8_t total = 0;
    uint8_t index = 0;
    float current = 0;
    float torque = 0;
};

using Reply = std::variant<std::monostate, ParameterReply, Acknowledgement, StatusWord, Temperatures, LiveSamples,
                           IdentificationSample, Position, HybridFeedback, TableWriteResult, TableRow>;

// bytes: the frame's data field; only its first length bytes (0 to 8) are read. A frame
// without a byte its layout reads, like anything not understood, is std::monostate.
Reply decodeReply(const uint8_t* bytes, int length);

// Replies logged as received bytes whatever their content, even when they match no
// layout: parameter replies, acknowledgements, status words, position and hybrid feedback.
bool logsEveryFrame(uint8_t command);

// "[Recv: t]" with 3 decimals, the start of every received-frame log line.
QString receivedStamp(float timestep);
// The stamp followed by the frame's first length bytes (0 to 8) in hex.
QString receivedFrameLine(const uint8_t* bytes, int length, float timestep);
// The stamp followed by values with 2 decimals, each after a blank.
QString receivedValuesLine(float timestep, const float* values, int count);

}   // namespace protocol
