// Pieces shared by the portable and the vector forms of the filters: the arithmetic of one
// step, written once so that both forms compute the same values in the same order.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

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

// Depth shifted into signed 16 bits (v ^ 0x8000), whose minimum and maximum every x86-64
// has in vectors: the portable loops are written on these.
inline int16_t Biased(uint16_t v) {
    return static_cast<int16_t>(v ^ 0x8000u);
}
inline uint16_t Unbiased(int16_t v) {
    return static_cast<uint16_t>(static_cast<uint16_t>(v) ^ 0x8000u);
}

// --- medians over three sorted rows --------------------------------------------------
//
// The depth median works on keys: key = depth - 1 (modulo 2^16), which puts the two marks
// without distance (0 and 65535) above every distance (keys 65534 and 65535), so the same
// exchanges serve every window and the k pixels with distance hold the k lowest ranks (the
// IR median takes the values as they are). Each image row is sorted in threes across
// (lo <= mid <= hi per pixel) once and serves the three windows above, at and below it;
// two output rows share their two middle rows.

// Keys of this value and above carry no distance.
inline constexpr uint16_t kFirstKeyWithout = 65534;

// MiddleRanks, shared with the vector forms, which include it again in each instruction
// set's namespace so that it is compiled for that instruction set.
#include "imgproc/FiltersRanks.inc"

// The depth median of a window from its ranks 2, 3 and 4 (keys) and the number of its
// pixels without distance (`none`): by the rules of MedianDepth3x3, for windows inside the
// image (nine pixels, so six with distance are needed).
inline uint16_t PickDepthMedian(uint16_t k2, uint16_t k3, uint16_t k4, uint16_t none,
                                uint16_t own) {
    // Selections by masks: plain conditional choices here would keep the compiler from
    // vectorising the loops that call this.
    const auto mask = [](bool c) { return static_cast<uint16_t>(-static_cast<int>(c)); };
    const auto choose = [](uint16_t m, uint16_t a, uint16_t b) {
        return static_cast<uint16_t>((a & m) | (b & ~m));
    };
    const uint16_t lo = choose(mask(none == 0), k4, choose(mask(none <= 2), k3, k2));
    const uint16_t hi = choose(mask(none <= 1), k4, k3);
    // floor((lo + 1 + hi + 1) / 2) of the depths, without overflow.
    const auto mean = static_cast<uint16_t>((lo & hi) + ((lo ^ hi) >> 1) + 1);
    return choose(mask(none <= 3), mean, own);
}

// Interior pixels of columns `from` .. width - 2, every interior row: the depth median by
// the rules of MedianDepth3x3 (`depth`), or the IR median (rank 4 of nine).
void MedianColumnsPortable(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height,
                           uint32_t from, bool depth);

// One step of the spatial recursion: `cur` moves towards its filtered neighbour. The
// parameters come as values, every value is computed before the choice and the tests are
// joined with & (no short cut), so that loops of steps vectorise.
struct SpatialStep {
    explicit SpatialStep(const SpatialParams& p)
        : alpha(p.alpha), edgeMin(p.edgeMinMm), edgeRelative(p.edgeRelative) {}
    float operator()(float cur, float neighbour) const {
        const float diff = neighbour - cur;
        const float limit = std::max(edgeMin, edgeRelative * cur);
        const float moved = cur + alpha * diff;
        const bool joined = (cur > 0.0f) & (neighbour > 0.0f) & (std::fabs(diff) <= limit);
        return joined ? moved : cur;
    }
    float alpha, edgeMin, edgeRelative;
};

// The median of pixel (x, y)'s window by the rules of MedianDepth3x3 (`depth`) or
// MedianIr3x3.
uint16_t WindowMedian(const uint16_t* in, uint32_t width, uint32_t height, uint32_t x, uint32_t y,
                      bool depth);
// The first and last row and column.
void MedianBorder(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height, bool depth);

// Down then up every column of a rows x columns plane, columns from `from` on.
void ColumnPassesPortable(float* plane, uint32_t columns, uint32_t rows, const SpatialParams& p,
                          uint32_t from);
using ColumnPassesFn = void (*)(float* plane, uint32_t columns, uint32_t rows,
                                const SpatialParams& p);
// Depth into the filter's plane (0 without distance) and back, rounded, where the depth
// has distance.
void PlaneFromDepthPortable(const uint16_t* depth, float* plane, size_t n);
void DepthFromPlanePortable(const float* plane, uint16_t* depth, size_t n);

// The pieces of the spatial filter that each form brings.
struct SpatialKernels {
    ColumnPassesFn passes;
    void (*toPlane)(const uint16_t* depth, float* plane, size_t n);
    void (*toDepth)(const float* plane, uint16_t* depth, size_t n);
    uint32_t floatLanes;  // floats in one vector: how many rows the row passes take at once
};
void SpatialFilterWith(uint16_t* depth, uint32_t width, uint32_t height,
                       const SpatialParams& params, SpatialWork& work, const SpatialKernels& k);

// The temporal filter on `pixels` pixels and their state (TemporalFilter's rules).
void TemporalPixelsPortable(uint16_t* depth, float* averages, uint8_t* missing, size_t pixels,
                            const TemporalParams& params);

}  // namespace quorix::filters::kernels
