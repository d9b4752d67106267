// Reads a fuzz input piece by piece: selector bytes, numbers and the rest. Past the end
// everything reads as zero, so a short input is as valid as a long one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quorix::fuzz {

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size)
        : m_data(data), m_size(data != nullptr ? size : 0) {}

    uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    uint32_t U32() { return static_cast<uint32_t>(U16()) | static_cast<uint32_t>(U16()) << 16; }
    bool Empty() const { return m_at >= m_size; }
    size_t Left() const { return m_size - std::min(m_at, m_size); }
    // Up to `n` bytes.
    std::span<const uint8_t> Take(size_t n) {
        const size_t k = std::min(n, Left());
        const std::span<const uint8_t> out(m_data + m_at, k);
        m_at += k;
        return out;
    }
    std::span<const uint8_t> Rest() { return Take(Left()); }
    // A piece prefixed by its 16-bit length (cut where the input ends).
    std::span<const uint8_t> Chunk() { return Take(U16()); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

}  // namespace quorix::fuzz
