// Pieces shared by the portable and the vector forms of the filters: the arithmetic of one
// step, written once so that both forms compute the same values in the same order.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "imgproc/Filters.h"

namespace quorix::filters::kernels {

template <class T>
inline void Sort3(T a, T b, T c, T& lo, T& mid, T& hi) {
    const T l = std::min(a, b);
    const T h = std::max(a, b);
    lo = std::min(l, c);
    hi = std::max(h, c);
    mid = std::max(l, std::min(h, c));
}

template <class T>
inline T Median3(T a, T b, T c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// A sorting network of nine values (25 exchanges, checked on every 0/1 input).
inline constexpr uint8_t kSort9[25][2] = {{0, 3}, {1, 7}, {2, 5}, {4, 8}, {0, 7}, {2, 4}, {3, 8},
                                          {5, 6}, {0, 2}, {1, 3}, {4, 5}, {7, 8}, {1, 4}, {3, 6},
                                          {5, 7}, {0, 1}, {2, 4}, {3, 5}, {6, 8}, {2, 3}, {4, 5},
                                          {6, 7}, {1, 2}, {3, 4}, {5, 6}};

// Depth shifted into signed 16 bits (v ^ 0x8000), whose minimum and maximum every x86-64
// has in vectors: the portable loops are written on these.
inline int16_t Biased(uint16_t v) {
    return static_cast<int16_t>(v ^ 0x8000u);
}
inline uint16_t Unbiased(int16_t v) {
    return static_cast<uint16_t>(static_cast<uint16_t>(v) ^ 0x8000u);
}

template <size_t... I>
inline void Sort9(int16_t* w, std::index_sequence<I...>) {
    // Unrolled at compile time, so the nine values stay in registers.
    (
        [w] {
            constexpr uint8_t a = kSort9[I][0];
            constexpr uint8_t b = kSort9[I][1];
            const int16_t lo = std::min(w[a], w[b]);
            w[b] = std::max(w[a], w[b]);
            w[a] = lo;
        }(),
        ...);
}

// floor((a + b) / 2) of two biased values, without overflow.
inline int16_t Mean2(int16_t a, int16_t b) {
    return static_cast<int16_t>((a >> 1) + (b >> 1) + (a & b & 1));
}

// The depth median of a whole 3x3 window (biased, row by row, the pixel itself at 4) by
// the rules of MedianDepth3x3, without branches: pixels without distance sort last, and
// the count of those with one picks the middle. `w` is overwritten.
inline int16_t DepthMedian9(int16_t* w) {
    const int16_t none = Biased(kNoDepth);
    const int16_t beyond = Biased(kBeyond);
    const int16_t own = w[4];
    int16_t n = 0;
    for (int j = 0; j < 9; ++j) {
        const bool has = w[j] != none && w[j] != beyond;
        n = static_cast<int16_t>(n + (has ? 1 : 0));
        w[j] = has ? w[j] : beyond;
    }
    Sort9(w, std::make_index_sequence<25>());
    return n == 9   ? w[4]
           : n == 8 ? Mean2(w[3], w[4])
           : n == 7 ? w[3]
           : n == 6 ? Mean2(w[2], w[3])
                    : own;
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
