// Frames typed or set by hand: hexadecimal text, the range scaling shared with the
// stream samples, and the quick-set and clear-state frames. No window involved.
#pragma once

#include "protocol/motorprotocol.h"

#include <QString>

#include <cstdint>

namespace rawframes {

// Hexadecimal text to bytes. ASCII commas and white space and the full-width comma are
// separators; what remains must be 2 to 16 hex digits, two per byte. Writes bytes 0 to
// n-1 of out (8 bytes) and returns n, or 0 when the text is refused. A refusal for length
// or for a foreign character leaves out untouched. A text longer than MaxHexTextLength
// characters, separators included, is refused before it is looked at.
constexpr qsizetype MaxHexTextLength = 4096;
int parseHexText(const QString& text, uint8_t* out);

// (2^bits - 1) * (x - min) / (max - min) in single precision, truncated toward zero:
// min maps to 0 and max to 2^bits - 1. Results beyond int (an empty range among them)
// saturate, and an undefined one (0/0) gives 0, rather than overflowing the conversion.
int floatToUint(float x, float min, float max, int bits);
// The inverse: x * (max - min) / (2^bits - 1) + min, in single precision.
float uintToFloat(int x, float min, float max, int bits);

// A quick-set box's value with the range it has at the moment of sending.
struct ScaledInput {
    float value = 0;
    float min = 0;
    float max = 0;
};

struct QuickSetInputs {
    int node = 0;
    ScaledInput kp, kd, tp, tv, tau;
};

// 0x50: node, Kp, Kd, Tp, each 16-bit little-endian over its box's range.
protocol::Frame quickSetGainsFrame(const QuickSetInputs& in);
// 0x51: node, Tv, Tau, then FF FF.
protocol::Frame quickSetTorqueFrame(const QuickSetInputs& in);
// Asks the drive to clear its error and state words.
protocol::Frame clearStateFrame();

}   // namespace rawframes
