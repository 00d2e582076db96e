#include "protocol/rawframecodec.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace rawframes {

namespace {

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    return -1;
}

// 2^bits - 1 as the scaling works with it.
float fullScale(int bits) { return std::ldexp(1.0f, bits) - 1.0f; }

// Truncation toward zero that stays defined for NaN and for values beyond int.
int truncateToInt(float v)
{
    if (std::isnan(v)) return 0;
    if (v >= 2147483648.0f) return std::numeric_limits<int>::max();
    if (v < -2147483648.0f) return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

// A box's value over its range, as the 16-bit little-endian field of a quick-set frame.
void putLE16(uint8_t* p, const ScaledInput& s)
{
    protocol::writeUInt16LE(p, static_cast<uint16_t>(floatToUint(s.value, s.min, s.max, 16)));
}

}   // namespace

int parseHexText(const QString& text, uint8_t* out)
{
    // Default options: \s is ASCII white space only, so an ideographic space stays and is refused.
    static const QRegularExpression separators(QStringLiteral("[,\\s\uFF0C  ]"));
    if (text.size() > MaxHexTextLength) return 0;
    QString digits = text;
    digits.remove(separators);

    if (digits.size() > 16 || digits.size() % 2 != 0) return 0;
    for (QChar c : digits) {
        if (!c.isDigit() && hexValue(c) < 0) return 0;
    }
    const int n = static_cast<int>(digits.size() / 2);
    if (n == 0) return 0;

    for (int i = 0; i < n; ++i) {
        const int hi = hexValue(digits.at(2 * i));
        const int lo = hexValue(digits.at(2 * i + 1));
        // A non-ASCII decimal digit passes the check above but is no hex digit.
        if (hi < 0 || lo < 0) {
            out[i] = 0;
            return 0;
        }
        out[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return n;
}

int floatToUint(float x, float min, float max, int bits)
{
    const float span = max - min;
    const float offset = x - min;
    const float product = fullScale(bits) * offset;
    return truncateToInt(product / span);
}

float uintToFloat(int x, float min, float max, int bits)
{
    return static_cast<float>(x) * (max - min) / fullScale(bits) + min;
}

protocol::Frame quickSetGainsFrame(const QuickSetInputs& in)
{
    protocol::Frame f{};
    f[0] = 0x50;
    f[1] = static_cast<uint8_t>(in.node & 0xFF);
    putLE16(&f[2], in.kp);
    putLE16(&f[4], in.kd);
    putLE16(&f[6], in.tp);
    return f;
}

protocol::Frame quickSetTorqueFrame(const QuickSetInputs& in)
{
    protocol::Frame f{};
    f[0] = 0x51;
    f[1] = static_cast<uint8_t>(in.node & 0xFF);
    putLE16(&f[2], in.tv);
    putLE16(&f[4], in.tau);
    f[6] = 0xFF;
    f[7] = 0xFF;
    return f;
}

protocol::Frame clearStateFrame() { return protocol::Frame{0xF2, 0xFF, 0xFF, 0xFF, 0x55, 0xA1, 0x00, 0x00}; }

}   // namespace rawframes
