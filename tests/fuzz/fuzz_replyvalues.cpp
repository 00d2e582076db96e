// Frames from the drive into the value decoder alone: no window, no application object.
//
// Input: frames of one header byte and eight data bytes (missing ones read as zero);
// the header's low four bits are the data length handed over (0 to 15, beyond the eight
// the adapter ever gives). Only the first length bytes may be read; each frame's value
// and its log line must come out consistent.
#include "protocol/replies.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void check(bool ok)
{
    if (!ok) std::abort();
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size_t pos = 0;
    while (pos < size) {
        const int length = data[pos++] & 0x0F;
        uint8_t frame[8] = {};
        const size_t take = std::min<size_t>(8, size - pos);
        std::memcpy(frame, data + pos, take);
        pos += take;

        // The frame's own bytes alone, on the heap: reading past them is a sanitizer report.
        const int own = std::min(length, 8);
        const std::unique_ptr<uint8_t[]> bytes(new uint8_t[size_t(own)]);
        std::memcpy(bytes.get(), frame, size_t(own));
        const protocol::Reply reply = protocol::decodeReply(bytes.get(), length);
        if (const auto* p = std::get_if<protocol::ParameterReply>(&reply)) {
            check(frame[0] == 0xF1 && protocol::parameterInfo(p->code) != nullptr);
            check(p->status >= 0 && p->status <= 15);
        }
        if (const auto* s = std::get_if<protocol::StatusWord>(&reply)) check(frame[0] == 0xF2 && s->kind <= 3);
        if (std::holds_alternative<protocol::Acknowledgement>(reply)) check(frame[0] == 0xF0);

        // "[Recv: t]" and three characters per byte shown, never more than eight.
        const QString line = protocol::receivedFrameLine(frame, length, float(pos) * 0.001f);
        const int shown = std::min(length, 8);
        check(line.startsWith(QLatin1String("[Recv: ")));
        check(line.size() == protocol::receivedStamp(float(pos) * 0.001f).size() + 3 * shown);
    }
    return 0;
}
