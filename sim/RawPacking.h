// Camera-side packing of 12-bit ToF pixels into the raw payload layouts: RAW12 and MSB12
// (two pixels in three bytes) and Y16 (one little-endian word per pixel).
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorix::sim {

enum class PixelPacking : uint8_t { kRaw12, kMsb12, kY16 };

// Bytes that `pixels` pixels take (an even count for the 12-bit packings).
size_t PackedBytes(PixelPacking packing, size_t pixels);

// Packs `pixels` 12-bit values (bits above 11 are dropped; an even count) into `out`:
//   RAW12  b0 = p0 >> 4, b1 = p1 >> 4, b2 = (p0 & 15) | (p1 & 15) << 4
//   MSB12  b0 = p0 >> 4, b1 = (p0 & 15) << 4 | p1 >> 8, b2 = p1 & 255
//   Y16    the value as a little-endian word, upper four bits 0
void PackPixels(PixelPacking packing, const uint16_t* values, size_t pixels, uint8_t* out);

}  // namespace quorix::sim
