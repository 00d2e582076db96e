// The common CRC-32 (IEEE 802.3: reflected polynomial 0xEDB88320, initial value and final
// XOR 0xFFFFFFFF), as firmware images carry it. Plain C++ so the simulated drive and the
// tests share it without linking the tool.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace sim {

namespace detail {
constexpr std::array<uint32_t, 256> crc32Table()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[i] = c;
    }
    return table;
}
inline constexpr std::array<uint32_t, 256> kCrc32Table = crc32Table();
}   // namespace detail

inline uint32_t crc32(const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) c = detail::kCrc32Table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return ~c;
}

}   // namespace sim
