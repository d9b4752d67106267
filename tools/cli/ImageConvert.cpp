// Depth colouring, IR scaling and colour byte order.
#include "cli/ImageConvert.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include <quorix/quorix_api.h>

namespace quorix::cli {

namespace {

// A degree-6 polynomial fit of the viridis map, per channel (coefficients c0..c6).
constexpr double kViridis[3][7] = {
    {0.2777273272234177, 0.1050930431085774, -0.3308618287255563, -4.634230498983486,
     6.228269936347081, 4.776384997670288, -5.435455855934631},
    {0.005407344544966578, 1.404613529898575, 0.214847559468213, -5.799100973351585,
     14.17993336680509, -13.74514537774601, 4.645852612178535},
    {0.3340998053353061, 1.384590162594685, 0.09509516302823659, -19.33244095627987,
     56.69055260068105, -65.35303263337234, 26.3124352495832},
};

uint8_t Channel(const double (&c)[7], double t) {
    double v = 0;
    for (int k = 6; k >= 0; --k) {
        v = v * t + c[k];
    }
    return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
}

const std::array<Rgb, 256>& ColourTable() {
    static const std::array<Rgb, 256> table = [] {
        std::array<Rgb, 256> t{};
        for (size_t i = 0; i < t.size(); ++i) {
            t[i] = ColourMap(static_cast<double>(i) / 255.0);
        }
        return t;
    }();
    return table;
}

// The smallest value with more than `rank` values below or at it.
uint16_t ValueAtRank(const std::vector<uint32_t>& histogram, uint64_t rank) {
    uint64_t seen = 0;
    for (size_t v = 0; v < histogram.size(); ++v) {
        seen += histogram[v];
        if (seen > rank) {
            return static_cast<uint16_t>(v);
        }
    }
    return 0xFFFF;
}

}  // namespace

Rgb ColourMap(double t) {
    t = std::clamp(t, 0.0, 1.0);
    return Rgb{Channel(kViridis[0], t), Channel(kViridis[1], t), Channel(kViridis[2], t)};
}

DepthSpan FindDepthSpan(const uint16_t* depth, size_t count) {
    DepthSpan span;
    span.min = 0xFFFF;
    for (size_t i = 0; i < count; ++i) {
        const uint16_t d = depth[i];
        if (IsValidDepth(d)) {
            span.min = std::min(span.min, d);
            span.max = std::max(span.max, d);
            ++span.valid;
        }
    }
    if (span.valid == 0) {
        span.min = 0;
    }
    return span;
}

void ColouriseDepth(const uint16_t* depth, size_t count, const DepthSpan& span, uint8_t* rgb) {
    const std::array<Rgb, 256>& table = ColourTable();
    const uint32_t range = span.max > span.min ? span.max - span.min : 1u;
    for (size_t i = 0; i < count; ++i) {
        const uint16_t d = depth[i];
        Rgb c;
        if (IsValidDepth(d)) {
            const uint32_t offset = d > span.min ? std::min<uint32_t>(d - span.min, range) : 0u;
            c = table[(offset * 255u + range / 2) / range];
        }
        rgb[3 * i] = c.r;
        rgb[3 * i + 1] = c.g;
        rgb[3 * i + 2] = c.b;
    }
}

void ScaleIrTo8Bit(const uint16_t* ir, size_t count, uint8_t* out) {
    if (count == 0) {
        return;
    }
    std::vector<uint32_t> histogram(65536, 0);
    for (size_t i = 0; i < count; ++i) {
        ++histogram[ir[i]];
    }
    const uint16_t low = ValueAtRank(histogram, count / 100);
    const uint16_t high = ValueAtRank(histogram, count - 1 - count / 100);
    const uint32_t range = high > low ? high - low : 1u;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t offset = ir[i] > low ? std::min<uint32_t>(ir[i] - low, range) : 0u;
        out[i] = static_cast<uint8_t>((offset * 255u + range / 2) / range);
    }
}

bool ColourToRgb(const uint8_t* data, size_t pixels, uint32_t pixelFormat, uint8_t* rgb) {
    if (pixelFormat != NsPixelRGB24 && pixelFormat != NsPixelBGR24) {
        return false;
    }
    const bool swap = pixelFormat == NsPixelBGR24;
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* p = data + 3 * i;
        rgb[3 * i] = swap ? p[2] : p[0];
        rgb[3 * i + 1] = p[1];
        rgb[3 * i + 2] = swap ? p[0] : p[2];
    }
    return true;
}

}  // namespace quorix::cli
