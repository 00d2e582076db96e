#include "protocol/hybrid.h"

namespace hybrid {

protocol::Frame packFrame(uint16_t position, uint16_t speed, uint16_t kp, double kd, uint16_t torque)
{
    const unsigned v = speed & 0x3FFFu;
    const unsigned k = kp & 0x3FFu;
    protocol::Frame f{};
    protocol::writeUInt16BE(&f[0], position);
    f[2] = static_cast<uint8_t>(v >> 6);
    f[3] = static_cast<uint8_t>(((v & 0x3Fu) << 2) | (k >> 8));
    f[4] = static_cast<uint8_t>(k);
    f[5] = static_cast<uint8_t>(static_cast<int>(kd * 10.0));
    protocol::writeUInt16BE(&f[6], torque);
    return f;
}

}   // namespace hybrid
