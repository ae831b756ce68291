#pragma once

#include <cstdint>
#include <vector>

// USB/IP's headers are big-endian: the tests write and read them by hand,
// so that a fault in the emulator's own encoding cannot hide itself.
using Bytes = std::vector<std::uint8_t>;

inline void put32(Bytes &b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

inline std::uint32_t get32(const Bytes &b, std::size_t at)
{
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) | (std::uint32_t(b[at + 2]) << 8) |
           b[at + 3];
}
