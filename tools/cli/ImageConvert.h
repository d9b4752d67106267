// Pixel conversions for the snapshot images: depth to colour, 16-bit IR to 8 bits, and
// colour frames to R G B order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorix::cli {

struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
};

// The colour map for depth: dark blue-violet at 0 through green to yellow at 1 (a
// perceptually uniform map whose lightness rises throughout). `t` is clamped to [0, 1].
Rgb ColourMap(double t);

// Depths 0 and 65535 mean "no measurement".
constexpr bool IsValidDepth(uint16_t depth) {
    return depth != 0 && depth != 0xFFFF;
}

struct DepthSpan {
    uint16_t min = 0;  // millimetres
    uint16_t max = 0;
    size_t valid = 0;  // pixels with a valid depth; min and max mean nothing when 0
};

DepthSpan FindDepthSpan(const uint16_t* depth, size_t count);

// Colours `count` depths into 3 bytes each, from the map's 0 at span.min to its 1 at
// span.max; invalid depths become black.
void ColouriseDepth(const uint16_t* depth, size_t count, const DepthSpan& span, uint8_t* rgb);

// Stretches 16-bit IR to 8 bits linearly between its 1st and 99th percentiles, so a few
// bright reflections do not leave the rest of the image black.
void ScaleIrTo8Bit(const uint16_t* ir, size_t count, uint8_t* out);

// Copies `pixels` 3-byte pixels of pixel format 3 (R G B) or 4 (B G R) into R G B order.
// Returns false, writing nothing, for any other format.
bool ColourToRgb(const uint8_t* data, size_t pixels, uint32_t pixelFormat, uint8_t* rgb);

}  // namespace quorix::cli
