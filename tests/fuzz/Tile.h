// Fills a buffer of any size from a short fuzz input by repeating it, so inputs of a few
// hundred bytes reach decoders that take payloads of fixed, large sizes.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

namespace quorix::fuzz {

inline void Tile(std::span<const uint8_t> seed, uint8_t* out, size_t size) {
    if (size == 0) {
        return;
    }
    if (seed.empty()) {
        memset(out, 0, size);
        return;
    }
    for (size_t at = 0; at < size; at += seed.size()) {
        memcpy(out + at, seed.data(), std::min(seed.size(), size - at));
    }
}

}  // namespace quorix::fuzz
