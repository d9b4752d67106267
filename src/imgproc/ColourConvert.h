// YUV to RGB/BGR conversion (BT.601, limited range) in 16-bit fixed point: a SIMD path
// chosen at run time for the best instruction set of the CPU, and a portable path that
// gives the same bytes and finishes what the vectors leave over.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorix::colour {

// Fixed-point coefficients. Samples are placed in the high byte of 16-bit lanes (Y << 8,
// (U - 128) << 8, (V - 128) << 8) so that a 16 x 16 -> high-16 multiply yields each term
// with 6 fraction bits; everything then fits 16-bit lanes, twice as many per vector as
// 32-bit arithmetic would allow.
inline constexpr uint32_t kLuma = 19077;      // 1.16438 * 64 * 256, unsigned multiply
inline constexpr int32_t kLumaOffset = 1160;  // 16 * 1.16438 * 64, less 32 for rounding
inline constexpr int32_t kVToR = 26149;       // 1.59603 * 64 * 256
inline constexpr int32_t kUToG = 6419;        // 0.39176 * 64 * 256
inline constexpr int32_t kVToG = 13320;       // 0.81297 * 64 * 256
inline constexpr int32_t kUToBExtra = 282;    // (2.01723 - 2) * 64 * 256

// The 16 x 16 multiplies keeping the high half, as the vector units do them.
inline int32_t MulHigh16(int32_t a, int32_t b) {
    return (a * b) >> 16;
}
inline int32_t MulHighUnsigned16(uint32_t a, uint32_t b) {
    return static_cast<int32_t>((a * b) >> 16);
}

inline uint8_t ClampToByte(int32_t v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// One pixel; the arithmetic mirrors the vector code step by step, so both give the same
// bytes. Only the blue sum can leave the 16-bit range (it saturates, as in the vectors;
// a saturated sum is far above 255 either way).
inline void YuvToRgbPixel(uint8_t y, uint8_t u, uint8_t v, uint8_t* rgb, bool bgr) {
    const int32_t d8 = (static_cast<int32_t>(u) - 128) * 256;
    const int32_t e8 = (static_cast<int32_t>(v) - 128) * 256;
    const int32_t luma = MulHighUnsigned16(static_cast<uint32_t>(y) << 8, kLuma) - kLumaOffset;
    const int32_t r = (luma + MulHigh16(e8, kVToR)) >> 6;
    const int32_t g = (luma - MulHigh16(d8, kUToG) - MulHigh16(e8, kVToG)) >> 6;
    int32_t blueSum = luma + ((d8 >> 1) + MulHigh16(d8, kUToBExtra));
    blueSum = blueSum > 32767 ? 32767 : (blueSum < -32768 ? -32768 : blueSum);
    const int32_t b = blueSum >> 6;
    rgb[bgr ? 2 : 0] = ClampToByte(r);
    rgb[1] = ClampToByte(g);
    rgb[bgr ? 0 : 2] = ClampToByte(b);
}

// Pixels [from, to) of one NV12 row (`from` and `to` even), one by one.
inline void Nv12RowPortable(const uint8_t* yRow, const uint8_t* uvRow, uint8_t* out, size_t from,
                            size_t to, bool bgr) {
    for (size_t x = from; x + 1 < to; x += 2) {
        YuvToRgbPixel(yRow[x], uvRow[x], uvRow[x + 1], out + 3 * x, bgr);
        YuvToRgbPixel(yRow[x + 1], uvRow[x], uvRow[x + 1], out + 3 * x + 3, bgr);
    }
}

// Converts `pixels` (an even count) packed Y0 U Y1 V pixels into 3 bytes per pixel.
// `dst` may be `src` itself: the work runs from the last pixel to the first, so output
// (3 bytes a pixel) never lands on input (2 bytes a pixel) that is still to be read.
void YuyvToRgb(const uint8_t* src, uint8_t* dst, size_t pixels, bool bgr);
void YuyvToRgbPortable(const uint8_t* src, uint8_t* dst, size_t pixels, bool bgr);

// Converts an NV12 image (a Y plane of width x height, then height / 2 rows of width
// bytes of interleaved U and V) into 3 bytes per pixel. Width and height are even; `dst`
// must not overlap the input.
void Nv12ToRgb(const uint8_t* yPlane, const uint8_t* uvPlane, uint8_t* dst, uint32_t width,
               uint32_t height, bool bgr);
void Nv12ToRgbPortable(const uint8_t* yPlane, const uint8_t* uvPlane, uint8_t* dst, uint32_t width,
                       uint32_t height, bool bgr);

// Name of the instruction set the SIMD path runs on now (for tests and benchmarks).
const char* ActiveTargetName();

}  // namespace quorix::colour
