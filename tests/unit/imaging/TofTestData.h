// Raw records for the decoding tests: sub-packets, and ToF payloads built from known 12-bit
// pixel values, written from the packing definitions independently of the decoders.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <vector>

#include "imaging/TofUnpack.h"

namespace quorix::test {

using Pixels = std::vector<uint16_t>;
using Bytes = std::vector<uint8_t>;

// A sub-packet: type, 24-bit length, a depth-range byte, the payload.
inline Bytes SubPacket(uint8_t type, const Bytes& payload, uint8_t range = 0) {
    const size_t n = payload.size();
    Bytes out{type, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
              static_cast<uint8_t>(n >> 16), range};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

inline Bytes Pack(RawPacking packing, const Pixels& p) {
    Bytes out;
    switch (packing) {
        case RawPacking::kRaw12:
            for (size_t i = 0; i + 1 < p.size(); i += 2) {
                out.push_back(static_cast<uint8_t>(p[i] >> 4));
                out.push_back(static_cast<uint8_t>(p[i + 1] >> 4));
                out.push_back(static_cast<uint8_t>((p[i] & 0xF) | ((p[i + 1] & 0xF) << 4)));
            }
            break;
        case RawPacking::kMsb12:
            for (size_t i = 0; i + 1 < p.size(); i += 2) {
                out.push_back(static_cast<uint8_t>(p[i] >> 4));
                out.push_back(static_cast<uint8_t>(((p[i] & 0xF) << 4) | (p[i + 1] >> 8)));
                out.push_back(static_cast<uint8_t>(p[i + 1] & 0xFF));
            }
            break;
        case RawPacking::kIso12:
            for (size_t i = 0; i + 1 < p.size(); i += 2) {
                out.push_back(static_cast<uint8_t>(p[i] >> 4));
                out.push_back(static_cast<uint8_t>(p[i + 1] >> 4));
                out.push_back(static_cast<uint8_t>(((p[i] & 0xF) << 4) | (p[i + 1] & 0xF)));
            }
            break;
        case RawPacking::kY16:
            // The top four bits carry noise that the decoder must drop.
            for (size_t i = 0; i < p.size(); ++i) {
                const uint16_t word = static_cast<uint16_t>(p[i] | ((i * 0x1000) & 0xF000));
                out.push_back(static_cast<uint8_t>(word & 0xFF));
                out.push_back(static_cast<uint8_t>(word >> 8));
            }
            break;
        case RawPacking::kSplit: {
            Bytes first;
            Bytes second;
            for (size_t i = 0; i + 3 < p.size(); i += 4) {
                first.push_back(static_cast<uint8_t>(p[i] >> 4));
                first.push_back(static_cast<uint8_t>((p[i] & 0xF) | ((p[i + 1] & 0xF) << 4)));
                first.push_back(static_cast<uint8_t>(p[i + 3] >> 4));
                second.push_back(static_cast<uint8_t>(p[i + 1] >> 4));
                second.push_back(static_cast<uint8_t>(p[i + 2] >> 4));
                second.push_back(static_cast<uint8_t>((p[i + 2] & 0xF) | ((p[i + 3] & 0xF) << 4)));
            }
            out = first;
            out.insert(out.end(), second.begin(), second.end());
            break;
        }
    }
    return out;
}

// `count` 12-bit values: every value 0..4095 in turn, shuffled, repeated as needed.
inline Pixels SomeValues(size_t count, uint32_t seed) {
    Pixels all(4096);
    for (uint16_t v = 0; v < 4096; ++v) {
        all[v] = v;
    }
    std::mt19937 rng(seed);
    std::shuffle(all.begin(), all.end(), rng);
    Pixels out(count);
    for (size_t i = 0; i < count; ++i) {
        out[i] = all[i % all.size()];
    }
    return out;
}

inline Pixels Lookup(const Pixels& raw, const uint16_t* table) {
    Pixels out(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        out[i] = table[raw[i]];
    }
    return out;
}

}  // namespace quorix::test
