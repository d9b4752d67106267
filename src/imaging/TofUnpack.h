// Pure decoding of raw time-of-flight payloads: the 12-bit packings, the row and column
// re-arrangements of combined depth-and-IR payloads and the QVGA hole fill and doubling.
// No state and no allocation: callers pass sources, destinations and scratch.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/DepthDecodeTable.h"

namespace quorix {

// How 12-bit pixels are packed (b0, b1, ... payload bytes; p0, p1, ... pixels in order):
//   kRaw12  3 bytes, 2 pixels: p0 = b0*16 + (b2 & 15),  p1 = b1*16 + (b2 >> 4)
//   kMsb12  3 bytes, 2 pixels: p0 = b0*16 + (b1 >> 4),  p1 = (b1 & 15)*256 + b2
//   kIso12  3 bytes, 2 pixels: p0 = b0*16 + (b2 >> 4),  p1 = b1*16 + (b2 & 15)
//   kY16    one little-endian word per pixel, & 0x0FFF
//   kSplit  3 bytes a0..a2 of the first half and c0..c2 at the same place of the second
//           half give p0 = a0*16 + (a1 & 15), p1 = c0*16 + (a1 >> 4),
//           p2 = c1*16 + (c2 & 15), p3 = a2*16 + (c2 >> 4)
enum class RawPacking : uint8_t { kRaw12, kMsb12, kIso12, kY16, kSplit };

// Payload bytes that hold `pixels` pixels (for kSplit: both halves together).
size_t PackedBytes(RawPacking packing, size_t pixels);

// Unpacks `pixels` pixels (a multiple of 2; of 4 for kSplit) from `src` into `dst`. For
// kSplit `src` is the first and `second` the second half; other packings ignore `second`.
// With a `lut` each pixel is a depth looked up in its table, without it the raw 12-bit
// value (IR). The fastest path the processor offers is chosen at run time; every path
// gives the same result as the table.
void UnpackPixels(RawPacking packing, const uint8_t* src, const uint8_t* second, size_t pixels,
                  const DepthLut* lut, uint16_t* dst);
// The same with the plain table loop, on every processor.
void UnpackPixelsPortable(RawPacking packing, const uint8_t* src, const uint8_t* second,
                          size_t pixels, const DepthLut* lut, uint16_t* dst);
// Name of the instruction set UnpackPixels uses on this processor (for benchmarks and logs).
const char* UnpackTargetName();

// Width of every decoded ToF image but the QVGA source.
inline constexpr uint32_t kTofWidth = 640;

// Row split then decoding: each of `rows` payload rows of `rowBytes` bytes gives its first
// half to the depth image and its second half to the IR image, each row `packing`-packed
// with kTofWidth pixels. Null destinations are skipped.
void DecodeRowSplit(const uint8_t* payload, RawPacking packing, uint32_t rows, uint32_t rowBytes,
                    const DepthLut& lut, uint16_t* depth, uint16_t* ir);

// Column split of a combined split-packed payload (`length` a multiple of 1920): each
// 960-byte row gives 480 bytes to image A (depth) and 480 to image B (IR); A and B are then
// split-packed images of length/1920 rows.
void DecodeColumnSplit(const uint8_t* payload, size_t length, const DepthLut& lut, uint16_t* depth,
                       uint16_t* ir);

// Pair interleave of a combined RAW12 payload (`length` a multiple of 3840): every 4 bytes
// of the interleaved copy are A[2j], B[2j], A[2j+1], B[2j+1] (A, B the payload's halves);
// its rows of 1920 bytes are then split into a RAW12 depth row and a RAW12 IR row.
void DecodePairInterleaved(const uint8_t* payload, size_t length, const DepthLut& lut,
                           uint16_t* depth, uint16_t* ir);

// QVGA depth (millimetres, no table).
inline constexpr uint32_t kQvgaWidth = 320;
inline constexpr uint32_t kQvgaHeight = 240;
inline constexpr size_t kQvgaPixels = size_t{kQvgaWidth} * kQvgaHeight;

// Fills holes (zero pixels) in place with two passes over the interior pixels: a hole with
// at least three valid neighbours (diagonals first, then top, left, right, bottom while
// fewer than three were found) takes the value of the last valid one examined. `mask` and
// `maskCopy` hold width*height bytes each.
void FillHoles(uint16_t* image, uint32_t width, uint32_t height, uint8_t* mask, uint8_t* maskCopy);

// Doubles a width*height image into dst (2*width by 2*height): a pixel whose right and lower
// neighbours are non-zero and within a/32 of it is interpolated, any other is repeated.
void DoubleImage(const uint16_t* src, uint32_t width, uint32_t height, uint16_t* dst);

// Reads a little-endian 16-bit value.
inline uint16_t ReadLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace quorix
