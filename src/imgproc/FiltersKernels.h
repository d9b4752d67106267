// Pieces shared by the portable and the vector forms of the filters: the arithmetic of one
// step, written once so that both forms compute the same values in the same order.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "imgproc/Filters.h"

namespace quorix::filters::kernels {

inline void Sort3(uint16_t a, uint16_t b, uint16_t c, uint16_t& lo, uint16_t& mid, uint16_t& hi) {
    const uint16_t l = std::min(a, b);
    const uint16_t h = std::max(a, b);
    lo = std::min(l, c);
    hi = std::max(h, c);
    mid = std::max(l, std::min(h, c));
}

inline uint16_t Median3(uint16_t a, uint16_t b, uint16_t c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// One step of the spatial recursion: `cur` moves towards its filtered neighbour.
inline float SpatialStep(float cur, float neighbour, const SpatialParams& p) {
    const float diff = neighbour - cur;
    const float limit = std::max(p.edgeMinMm, p.edgeRelative * cur);
    return cur > 0.0f && neighbour > 0.0f && std::fabs(diff) <= limit ? cur + p.alpha * diff : cur;
}

// The median of pixel (x, y)'s window by the rules of MedianDepth3x3 (`depth`) or
// MedianIr3x3.
uint16_t WindowMedian(const uint16_t* in, uint32_t width, uint32_t height, uint32_t x, uint32_t y,
                      bool depth);
// Row y (1 .. height - 2), pixels from `from` to width - 2.
void MedianRowPortable(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height,
                       uint32_t y, uint32_t from, bool depth);
// The first and last row and column.
void MedianBorder(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height, bool depth);

// Down then up every column of a rows x columns plane, columns from `from` on.
void ColumnPassesPortable(float* plane, uint32_t columns, uint32_t rows, const SpatialParams& p,
                          uint32_t from);
using ColumnPassesFn = void (*)(float* plane, uint32_t columns, uint32_t rows,
                                const SpatialParams& p);
void Transpose(const float* in, float* out, uint32_t width, uint32_t height);
void SpatialFilterWith(uint16_t* depth, uint32_t width, uint32_t height,
                       const SpatialParams& params, SpatialWork& work, ColumnPassesFn passes);

}  // namespace quorix::filters::kernels
