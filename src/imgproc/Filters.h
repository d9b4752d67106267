// Depth and IR filters of the pre-processing library: valid-depth limits, a 3x3 median
// that ignores pixels without distance, an edge-preserving recursive spatial filter, a
// per-pixel temporal filter and the radial-to-planar depth correction. Depth is in mm;
// 0 (no return) and 65535 (beyond the range) carry no distance and are never averaged.
//
// Each kernel has a portable form (plain loops the compiler vectorises for the baseline);
// the medians, the spatial filter's passes and conversions and the temporal filter also
// have a vector form (Highway, chosen at run time) that gives the same result bit for bit.
//
// Threads: the kernels keep their state in the caller's objects; a TemporalFilter or a
// SpatialWork belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace quorix::filters {

inline constexpr uint16_t kNoDepth = 0;
inline constexpr uint16_t kBeyond = 65535;

inline bool HasDistance(uint16_t d) {
    return d != kNoDepth && d != kBeyond;
}

// Pixels nearer than minMm become 0, pixels farther than maxMm become 65535; the others,
// and those already without distance, stay.
void ApplyValidLimits(uint16_t* depth, size_t pixels, uint16_t minMm, uint16_t maxMm);

// --- median ---------------------------------------------------------------------------
//
// Depth: each pixel takes the median of the pixels with distance in its 3x3 window (inside
// the image; an even count takes the mean of the two middle values, rounded down). A pixel
// whose window has distance in fewer than two thirds of its pixels keeps its own value:
// so a pixel without distance is filled only where two thirds of its neighbourhood agree
// (single dropouts, never the inside or the corners of a hole of 2x2 or more), and a lone
// pixel at the rim of a hole is not pulled about by a minority.
// `in` and `out` must not overlap.
void MedianDepth3x3(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height);
void MedianDepth3x3Portable(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height);

// IR: the plain 3x3 median of every pixel (all IR values are measurements); the image's
// border pixels use the window's part inside the image. `in` and `out` must not overlap.
void MedianIr3x3(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height);
void MedianIr3x3Portable(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height);

// Which instruction set the vector kernels use ("portable" without vectors).
const char* FiltersTargetName();

// --- spatial --------------------------------------------------------------------------
//
// A recursive edge-preserving smoother (a domain-transform style first-order filter): each
// column is run top to bottom and bottom to top, then each row left to right and right to
// left; at every step a pixel moves towards the already filtered neighbour by `alpha`,
// unless either has no distance or they differ by more than the edge threshold
// max(edgeMinMm, edgeRelative x depth), where the chain breaks. A threshold relative to
// depth follows the sensor's noise, which grows with distance, so a step of a few per cent
// of the distance stays sharp at any range, and noise on a plane never breaks the chain.
// Chosen over a bilateral filter because its cost does not grow with its reach: four
// passes of a few operations per pixel smooth over tens of pixels.
// Pixels without distance stay as they are; none is filled.
struct SpatialParams {
    float alpha = 0.5f;          // 0 (no smoothing) .. 1 (a neighbour's value taken whole)
    float edgeMinMm = 12.0f;     // smallest difference that counts as an edge
    float edgeRelative = 0.02f;  // and the share of the depth above which it does
};

// Working storage of the spatial filter (allocated once, kept between frames).
class SpatialWork {
public:
    float* Plane(size_t pixels);  // width x height floats
    float* Strip(size_t pixels);  // a strip of rows, stored column by column

private:
    std::vector<float> m_plane;
    std::vector<float> m_strip;
};

// In place on `depth` (width x height).
void SpatialFilter(uint16_t* depth, uint32_t width, uint32_t height, const SpatialParams& params,
                   SpatialWork& work);
void SpatialFilterPortable(uint16_t* depth, uint32_t width, uint32_t height,
                           const SpatialParams& params, SpatialWork& work);

// --- temporal -------------------------------------------------------------------------
//
// Per pixel an exponential average of successive frames: avg += alpha x (new - avg). A
// pixel whose new value differs from the average by more than
// max(resetMinMm, resetRelative x depth) starts again from the new value, so a moving
// object leaves no trail. A pixel that loses its distance keeps its last average for up to
// `persistFrames` frames (0: never), then has none. The state follows one image size and
// starts again when the size changes or Reset() is called.
struct TemporalParams {
    float alpha = 0.15f;          // weight of the new frame
    float resetMinMm = 20.0f;     // smallest change that counts as motion
    float resetRelative = 0.03f;  // and the share of the depth above which it does
    uint8_t persistFrames = 2;
};

class TemporalFilter {
public:
    void Reset() { m_width = m_height = 0; }
    // In place; frames must come in order. ApplyPortable: the same without vectors.
    void Apply(uint16_t* depth, uint32_t width, uint32_t height, const TemporalParams& params);
    void ApplyPortable(uint16_t* depth, uint32_t width, uint32_t height,
                       const TemporalParams& params);

private:
    void Prepare(uint32_t width, uint32_t height);  // a new size starts afresh

    uint32_t m_width = 0;
    uint32_t m_height = 0;
    std::vector<float> m_average;    // 0 where the pixel has no history
    std::vector<uint8_t> m_missing;  // frames since the pixel last had distance
};

// --- radial to planar -----------------------------------------------------------------
//
// A camera that reports the distance along each pixel's ray (radial) gives depth * f per
// pixel in planar Z, f = 1 / sqrt(1 + x^2 + y^2) with (x, y) = ((u - cx) / fx, (v - cy) / fy)
// the pixel's ray, as the point conversions assume. The table is built once per camera
// matrix and image size.
class PlanarTable {
public:
    void Build(double fx, double fy, double cx, double cy, uint32_t width, uint32_t height);
    bool Fits(uint32_t width, uint32_t height) const {
        return !m_factor.empty() && width == m_width && height == m_height;
    }
    // In place; pixels without distance stay.
    void Apply(uint16_t* depth) const;

private:
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    std::vector<float> m_factor;
};

}  // namespace quorix::filters
