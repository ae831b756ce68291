#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Reads a fuzzer's input front to back. Once the bytes run out every read
// gives zeros, so a short input is still a complete, ordinary run.
class ByteStream
{
public:
    ByteStream() = default;
    ByteStream(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_pos >= m_size; }
    std::size_t remaining() const { return m_size - m_pos; }

    std::uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }

    std::uint16_t u16()
    {
        const std::uint16_t lo = byte();
        return static_cast<std::uint16_t>(lo | (byte() << 8));
    }

    std::uint32_t u32()
    {
        const std::uint32_t lo = u16();
        return lo | (std::uint32_t(u16()) << 16);
    }

    // Up to `count` bytes as they come, fewer when the input ends first.
    std::vector<std::uint8_t> bytes(std::size_t count)
    {
        const std::size_t n = count < remaining() ? count : remaining();
        std::vector<std::uint8_t> out(m_data + m_pos, m_data + m_pos + n);
        m_pos += n;
        return out;
    }

    // The next `count` bytes as a stream of their own.
    ByteStream split(std::size_t count)
    {
        const std::size_t n = count < remaining() ? count : remaining();
        ByteStream part(m_data + m_pos, n);
        m_pos += n;
        return part;
    }

private:
    const std::uint8_t *m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_pos = 0;
};
