// Byte order of the drive's frames: parameter values, status words and the fields of the
// hybrid and table frames are little-endian; stream samples are big-endian.
#pragma once

#include <cstdint>
#include <cstring>

namespace protocol {

inline uint32_t readUInt32LE(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline int32_t readInt32LE(const uint8_t* p) { return static_cast<int32_t>(readUInt32LE(p)); }
inline float readFloatLE(const uint8_t* p)
{
    const uint32_t bits = readUInt32LE(p);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}
inline uint16_t readUInt16LE(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint16_t readUInt16BE(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t readUInt24BE(const uint8_t* p) { return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]; }

inline void writeUInt32LE(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
inline void writeUInt16LE(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void writeUInt16BE(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

}   // namespace protocol
