#pragma once

#include <cstdint>

// A counter of debug identities: each call hands out the next number, the
// first being start + 1. It refuses to wrap round: running past the largest
// 32-bit value fails with an overflow and leaves the counter where it was.
class DebugIdCounter
{
public:
    explicit DebugIdCounter(std::int32_t start = 0) : m_last(start) {}

    std::int32_t next();
    std::int32_t last() const { return m_last; }

private:
    std::int32_t m_last;
};
