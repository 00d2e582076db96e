// Typed frame text into the hex parser behind the Send button, and raw bit patterns into
// the range scaling of the quick-set frames.
#include "fuzzsupport.h"
#include "protocol/rawframecodec.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    uint8_t out[8];
    std::memset(out, 0xA5, sizeof out);
    const int n = rawframes::parseHexText(QString::fromUtf8(text, qsizetype(size)), out);
    fuzz::check(n >= 0 && n <= 8, "parseHexText returns 0 to 8 bytes");

    // The same bytes read as UTF-16 reach the separators beyond Latin-1 more often.
    if (size >= 2) {
        std::vector<char16_t> wide(size / 2);
        std::memcpy(wide.data(), data, wide.size() * 2);
        const int m = rawframes::parseHexText(QString::fromUtf16(wide.data(), qsizetype(wide.size())), out);
        fuzz::check(m >= 0 && m <= 8, "parseHexText returns 0 to 8 bytes");
    }

    // x, min, max as raw floats, then the bit count: NaN, infinities and empty ranges included.
    if (size >= 13) {
        float v[3];
        std::memcpy(v, data, sizeof v);
        const int bits = data[12] % 40;
        const int u = rawframes::floatToUint(v[0], v[1], v[2], bits);
        (void)rawframes::uintToFloat(u, v[1], v[2], bits);
        rawframes::QuickSetInputs in;
        in.node = data[12];
        in.kp = {v[0], v[1], v[2]};
        in.kd = {v[1], v[2], v[0]};
        in.tp = {v[2], v[0], v[1]};
        in.tv = in.kp;
        in.tau = in.kd;
        (void)rawframes::quickSetGainsFrame(in);
        (void)rawframes::quickSetTorqueFrame(in);
    }
    return 0;
}
