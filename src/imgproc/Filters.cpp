// Portable forms of the depth and IR filters, the parts the vector forms share (the
// general median of a window with gaps, the transposition of the spatial filter), the
// temporal filter and the radial-to-planar table.
#include "imgproc/Filters.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "imgproc/FiltersKernels.h"

namespace quorix::filters {

void ApplyValidLimits(uint16_t* depth, size_t pixels, uint16_t minMm, uint16_t maxMm) {
    for (size_t i = 0; i < pixels; ++i) {
        const uint16_t d = depth[i];
        const bool has = HasDistance(d);
        depth[i] = has && d < minMm ? kNoDepth : has && d > maxMm ? kBeyond : d;
    }
}

// --- median ---------------------------------------------------------------------------

namespace kernels {

namespace {

// A sorting network of nine values (25 exchanges, checked on every 0/1 input).
constexpr uint8_t kSort9[25][2] = {{0, 3}, {1, 7}, {2, 5}, {4, 8}, {0, 7}, {2, 4}, {3, 8},
                                   {5, 6}, {0, 2}, {1, 3}, {4, 5}, {7, 8}, {1, 4}, {3, 6},
                                   {5, 7}, {0, 1}, {2, 4}, {3, 5}, {6, 8}, {2, 3}, {4, 5},
                                   {6, 7}, {1, 2}, {3, 4}, {5, 6}};

template <size_t... I>
void Sort9(uint16_t* w, std::index_sequence<I...>) {
    // Unrolled at compile time, so the nine values stay in registers.
    (
        [w] {
            constexpr uint8_t a = kSort9[I][0];
            constexpr uint8_t b = kSort9[I][1];
            const uint16_t lo = std::min(w[a], w[b]);
            w[b] = std::max(w[a], w[b]);
            w[a] = lo;
        }(),
        ...);
}

}  // namespace

uint16_t WindowMedian(const uint16_t* in, uint32_t width, uint32_t height, uint32_t x, uint32_t y,
                      bool depth) {
    // Keys as in the interior (depth - 1 puts pixels without distance last; IR as it is),
    // the window's part outside the image as the highest key, then a sorting network: no
    // branch on the values, which made the image's rim cost as much as its inside.
    uint16_t keys[9];
    std::fill_n(keys, 9, uint16_t{0xFFFF});
    uint32_t n = 0;
    uint32_t inImage = 0;
    const uint32_t y0 = y > 0 ? y - 1 : 0;
    const uint32_t y1 = std::min(y + 1, height - 1);
    const uint32_t x0 = x > 0 ? x - 1 : 0;
    const uint32_t x1 = std::min(x + 1, width - 1);
    const uint16_t shift = depth ? 1 : 0;
    for (uint32_t yy = y0; yy <= y1; ++yy) {
        for (uint32_t xx = x0; xx <= x1; ++xx) {
            const auto key = static_cast<uint16_t>(in[size_t{yy} * width + xx] - shift);
            keys[inImage++] = key;
            n += !depth || key < kFirstKeyWithout ? 1 : 0;
        }
    }
    Sort9(keys, std::make_index_sequence<25>());
    if (n * 3 < inImage * 2) {
        return in[size_t{y} * width + x];
    }
    const uint16_t hi = keys[n / 2];
    const uint16_t lo = n % 2 == 1 ? hi : keys[n / 2 - 1];
    return static_cast<uint16_t>((lo & hi) + ((lo ^ hi) >> 1) + shift);
}

namespace {

// A chunk of an image row sorted in threes across, as keys (depth - 1, or IR as it is)
// shifted into signed 16 bits, and for depth how many of each three have no distance.
constexpr size_t kChunk = 256;
struct SortedRow {
    int16_t lo[kChunk];
    int16_t mid[kChunk];
    int16_t hi[kChunk];
    int16_t none[kChunk];
};

template <bool kDepth>
void SortRow(const uint16_t* row, size_t n, SortedRow& r) {
    constexpr int16_t kWithout = static_cast<int16_t>(kFirstKeyWithout ^ 0x8000u);
    const auto key = [](uint16_t v) { return Biased(static_cast<uint16_t>(v - (kDepth ? 1 : 0))); };
    for (size_t i = 0; i < n; ++i) {
        int16_t lo, mid, hi;
        Sort3(key(row[i]), key(row[i + 1]), key(row[i + 2]), lo, mid, hi);
        r.lo[i] = lo;
        r.mid[i] = mid;
        r.hi[i] = hi;
        if constexpr (kDepth) {
            r.none[i] =
                static_cast<int16_t>((lo >= kWithout) + (mid >= kWithout) + (hi >= kWithout));
        }
    }
}

// Output rows from the sorted rows b and c they share, each with its own third row (e1
// for dst1, e2 for dst2 when kTwo). IR takes rank 4 of nine.
template <bool kDepth, bool kTwo>
void MedianRows(const SortedRow& b, const SortedRow& c, size_t n, const SortedRow& e1,
                const uint16_t* own1, uint16_t* dst1, const SortedRow& e2, const uint16_t* own2,
                uint16_t* dst2) {
    const auto mn = [](int16_t p, int16_t q) { return std::min(p, q); };
    const auto mx = [](int16_t p, int16_t q) { return std::max(p, q); };
    const auto pick = [](const Ranks234<int16_t>& r, int none, uint16_t own) {
        return kDepth ? PickDepthMedian(Unbiased(r.r2), Unbiased(r.r3), Unbiased(r.r4),
                                        static_cast<uint16_t>(none), own)
                      : Unbiased(r.r4);
    };
    for (size_t i = 0; i < n; ++i) {
        const int16_t lo0 = std::min(b.lo[i], c.lo[i]), hi0 = std::max(b.lo[i], c.lo[i]);
        const int16_t lo1 = std::min(b.mid[i], c.mid[i]), hi1 = std::max(b.mid[i], c.mid[i]);
        const int16_t lo2 = std::min(b.hi[i], c.hi[i]);
        const int none = kDepth ? b.none[i] + c.none[i] : 0;
        dst1[i] = pick(MiddleRanks(e1.lo[i], e1.mid[i], e1.hi[i], lo0, hi0, lo1, hi1, lo2, mn, mx),
                       kDepth ? none + e1.none[i] : 0, own1[i]);
        if constexpr (kTwo) {
            dst2[i] =
                pick(MiddleRanks(e2.lo[i], e2.mid[i], e2.hi[i], lo0, hi0, lo1, hi1, lo2, mn, mx),
                     kDepth ? none + e2.none[i] : 0, own2[i]);
        }
    }
}

template <bool kDepth>
void MedianColumns(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height,
                   uint32_t from) {
    if (height < 3) {
        return;
    }
    SortedRow rows[4];
    for (uint32_t x0 = from; x0 + 1 < width; x0 += kChunk) {
        const size_t n = std::min<size_t>(kChunk, width - 1 - x0);
        const auto at = [&](uint32_t y) { return size_t{y} * width + x0; };
        // Down the chunk two output rows at a time; a..d are the image rows y - 1 .. y + 2.
        SortedRow* a = &rows[0];
        SortedRow* b = &rows[1];
        SortedRow* c = &rows[2];
        SortedRow* d = &rows[3];
        SortRow<kDepth>(in + at(0) - 1, n, *a);
        SortRow<kDepth>(in + at(1) - 1, n, *b);
        uint32_t y = 1;
        for (; y + 2 < height; y += 2) {
            SortRow<kDepth>(in + at(y + 1) - 1, n, *c);
            SortRow<kDepth>(in + at(y + 2) - 1, n, *d);
            MedianRows<kDepth, true>(*b, *c, n, *a, in + at(y), out + at(y), *d, in + at(y + 1),
                                     out + at(y + 1));
            std::swap(a, c);
            std::swap(b, d);
        }
        if (y + 1 < height) {
            SortRow<kDepth>(in + at(y + 1) - 1, n, *c);
            MedianRows<kDepth, false>(*b, *c, n, *a, in + at(y), out + at(y), *a, nullptr, nullptr);
        }
    }
}

}  // namespace

void MedianColumnsPortable(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height,
                           uint32_t from, bool depth) {
    (depth ? MedianColumns<true> : MedianColumns<false>)(in, out, width, height, from);
}

namespace {

// The median of a window of six pixels at the image's rim (two lines of three), by the
// rules of WindowMedian: `a` and `b` are the two lines, `own` the pixel's value. With both
// lines sorted, the k-th smallest of the six is the smallest, over the ways of taking i
// values from one line and k - i from the other, of the larger of the two last taken; no
// branch on the values.
uint16_t RimMedian(const uint16_t* a, const uint16_t* b, size_t step, uint16_t own, bool depth) {
    const uint16_t shift = depth ? 1 : 0;
    const auto key = [&](const uint16_t* p, size_t i) {
        return static_cast<uint16_t>(p[i * step] - shift);
    };
    uint16_t a1, a2, a3, b1, b2, b3;
    Sort3(key(a, 0), key(a, 1), key(a, 2), a1, a2, a3);
    Sort3(key(b, 0), key(b, 1), key(b, 2), b1, b2, b3);
    const auto mn = [](uint16_t p, uint16_t q) { return std::min(p, q); };
    const auto mx = [](uint16_t p, uint16_t q) { return std::max(p, q); };
    const uint16_t m2 = mn(mn(a2, b2), mx(a1, b1));                  // rank 1 from 0
    const uint16_t m3 = mn(mn(a3, b3), mn(mx(a2, b1), mx(a1, b2)));  // rank 2
    const uint16_t m4 = mn(mn(mx(a3, b1), mx(a1, b3)), mx(a2, b2));  // rank 3
    const auto none = static_cast<uint16_t>(
        depth ? (a1 >= kFirstKeyWithout) + (a2 >= kFirstKeyWithout) + (a3 >= kFirstKeyWithout) +
                    (b1 >= kFirstKeyWithout) + (b2 >= kFirstKeyWithout) + (b3 >= kFirstKeyWithout)
              : 0);
    // Six pixels: four with distance are needed; 6: ranks 2 and 3, 5: rank 2, 4: 1 and 2.
    const uint16_t hi = none == 0 ? m4 : m3;
    const uint16_t lo = none <= 1 ? m3 : m2;
    const auto mean = static_cast<uint16_t>((lo & hi) + ((lo ^ hi) >> 1) + shift);
    return none <= 2 ? mean : own;
}

}  // namespace

void MedianBorder(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height, bool depth) {
    if (width == 0 || height == 0) {
        return;  // nothing to read (the window of an empty image's row would be outside it)
    }
    const auto at = [&](uint32_t x, uint32_t y) { return size_t{y} * width + x; };
    for (uint32_t x = 0; x < width; ++x) {
        const bool rim = height > 1 && x > 0 && x + 1 < width;  // two lines of three
        out[x] = rim ? RimMedian(in + at(x - 1, 0), in + at(x - 1, 1), 1, in[x], depth)
                     : WindowMedian(in, width, height, x, 0, depth);
        if (height > 1) {
            const size_t last = at(x, height - 1);
            out[last] = rim ? RimMedian(in + at(x - 1, height - 1), in + at(x - 1, height - 2), 1,
                                        in[last], depth)
                            : WindowMedian(in, width, height, x, height - 1, depth);
        }
    }
    for (uint32_t y = 1; y + 1 < height; ++y) {
        const size_t first = at(0, y);
        out[first] = width > 1
                         ? RimMedian(in + at(0, y - 1), in + at(1, y - 1), width, in[first], depth)
                         : WindowMedian(in, width, height, 0, y, depth);
        if (width > 1) {
            const size_t last = at(width - 1, y);
            out[last] = RimMedian(in + at(width - 1, y - 1), in + at(width - 2, y - 1), width,
                                  in[last], depth);
        }
    }
}

}  // namespace kernels

namespace {

void MedianPortable(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height,
                    bool depth) {
    kernels::MedianBorder(in, out, width, height, depth);
    kernels::MedianColumnsPortable(in, out, width, height, 1, depth);
}

}  // namespace

void MedianDepth3x3Portable(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height) {
    MedianPortable(in, out, width, height, true);
}

void MedianIr3x3Portable(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height) {
    MedianPortable(in, out, width, height, false);
}

// --- spatial --------------------------------------------------------------------------

float* SpatialWork::Plane(size_t pixels) {
    if (m_plane.size() < pixels) {
        m_plane.resize(pixels);
    }
    return m_plane.data();
}

float* SpatialWork::Strip(size_t pixels) {
    if (m_strip.size() < pixels) {
        m_strip.resize(pixels);
    }
    return m_strip.data();
}

namespace kernels {

void ColumnPassesPortable(float* plane, uint32_t columns, uint32_t rows, const SpatialParams& p,
                          uint32_t from) {
    const SpatialStep step(p);
    for (uint32_t y = 1; y < rows; ++y) {
        const float* above = plane + size_t{y - 1} * columns;
        float* row = plane + size_t{y} * columns;
        for (uint32_t x = from; x < columns; ++x) {
            row[x] = step(row[x], above[x]);
        }
    }
    for (uint32_t y = rows - 1; y-- > 0;) {
        const float* below = plane + size_t{y + 1} * columns;
        float* row = plane + size_t{y} * columns;
        for (uint32_t x = from; x < columns; ++x) {
            row[x] = step(row[x], below[x]);
        }
    }
}

namespace {

// The rows are run as the columns of strips of kStripRows image rows stored column by
// column (pixel x of strip row r at x * kStripRows + r), so that the row recursion works on
// that many rows side by side: enough for several vectors per step, whose chains of
// dependent operations then overlap. Strips are made and undone through blocks of four
// rows side by side (`fours`, as large as the strip, each block width x 4 floats): the
// loops between rows and blocks have the shape the compiler turns into the baseline's
// vector shuffles, and between blocks and the strip they copy 16 bytes at a time.
// `__restrict`: the buffers never overlap, which the compiler cannot see.
template <uint32_t kStripRows>
void ToStrip(const float* __restrict rows, uint32_t width, float* __restrict fours,
             float* __restrict strip) {
    constexpr uint32_t kBlocks = kStripRows / 4;
    const size_t block = size_t{width} * 4;
    for (size_t b = 0; b < kBlocks; ++b) {
        float* four = fours + b * block;
        const float* in0 = rows + b * 4 * width;
        const float* in1 = in0 + width;
        const float* in2 = in1 + width;
        const float* in3 = in2 + width;
        for (size_t x = 0; x < width; ++x) {
            four[x * 4] = in0[x];
            four[x * 4 + 1] = in1[x];
            four[x * 4 + 2] = in2[x];
            four[x * 4 + 3] = in3[x];
        }
    }
    for (size_t x = 0; x < width; ++x) {
        for (size_t b = 0; b < kBlocks; ++b) {
            std::memcpy(strip + x * kStripRows + b * 4, fours + b * block + x * 4,
                        4 * sizeof(float));
        }
    }
}

template <uint32_t kStripRows>
void FromStrip(const float* __restrict strip, uint32_t width, float* __restrict fours,
               float* __restrict rows) {
    constexpr uint32_t kBlocks = kStripRows / 4;
    const size_t block = size_t{width} * 4;
    for (size_t x = 0; x < width; ++x) {
        for (size_t b = 0; b < kBlocks; ++b) {
            std::memcpy(fours + b * block + x * 4, strip + x * kStripRows + b * 4,
                        4 * sizeof(float));
        }
    }
    for (size_t b = 0; b < kBlocks; ++b) {
        const float* four = fours + b * block;
        float* out0 = rows + b * 4 * width;
        float* out1 = out0 + width;
        float* out2 = out1 + width;
        float* out3 = out2 + width;
        for (size_t x = 0; x < width; ++x) {
            out0[x] = four[x * 4];
            out1[x] = four[x * 4 + 1];
            out2[x] = four[x * 4 + 2];
            out3[x] = four[x * 4 + 3];
        }
    }
}

// The last strip, of fewer rows: plain copies, `count` rows side by side.
void ToShortStrip(const float* rows, uint32_t width, uint32_t count, float* strip) {
    for (size_t x = 0; x < width; ++x) {
        for (size_t r = 0; r < count; ++r) {
            strip[x * count + r] = rows[r * width + x];
        }
    }
}

void FromShortStrip(const float* strip, uint32_t width, uint32_t count, float* rows) {
    for (size_t x = 0; x < width; ++x) {
        for (size_t r = 0; r < count; ++r) {
            rows[r * width + x] = strip[x * count + r];
        }
    }
}

template <uint32_t kStripRows>
void SpatialFilterStrips(uint16_t* depth, uint32_t width, uint32_t height,
                         const SpatialParams& params, SpatialWork& work, const SpatialKernels& k) {
    const size_t pixels = size_t{width} * height;
    float* plane = work.Plane(pixels);
    float* strip = work.Strip(size_t{width} * kStripRows * 2);
    float* fours = strip + size_t{width} * kStripRows;
    k.toPlane(depth, plane, pixels);
    // Columns first, down and up the whole image; then the rows, strip by strip, as the
    // columns of the strip, by the same column kernel; each strip goes back to its rows
    // and is rounded into the depth while it is in cache.
    k.passes(plane, width, height, params);
    for (uint32_t y0 = 0; y0 < height; y0 += kStripRows) {
        const uint32_t count = std::min(kStripRows, height - y0);
        float* rows = plane + size_t{y0} * width;
        if (count == kStripRows) {
            ToStrip<kStripRows>(rows, width, fours, strip);
            k.passes(strip, count, width, params);
            FromStrip<kStripRows>(strip, width, fours, rows);
        } else {
            ToShortStrip(rows, width, count, strip);
            k.passes(strip, count, width, params);
            FromShortStrip(strip, width, count, rows);
        }
        k.toDepth(rows, depth + size_t{y0} * width, size_t{count} * width);
    }
}

}  // namespace

void PlaneFromDepthPortable(const uint16_t* depth, float* plane, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint16_t d = depth[i];
        plane[i] = (d != kNoDepth) & (d != kBeyond) ? static_cast<float>(d) : 0.0f;
    }
}

void DepthFromPlanePortable(const float* plane, uint16_t* depth, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint16_t d = depth[i];
        const auto filtered = static_cast<uint16_t>(std::min(plane[i] + 0.5f, 65534.0f));
        depth[i] = (d != kNoDepth) & (d != kBeyond) ? filtered : d;
    }
}

void SpatialFilterWith(uint16_t* depth, uint32_t width, uint32_t height,
                       const SpatialParams& params, SpatialWork& work, const SpatialKernels& k) {
    if (width == 0 || height == 0) {
        return;
    }
    if (k.floatLanes >= 16) {
        SpatialFilterStrips<64>(depth, width, height, params, work, k);
    } else if (k.floatLanes >= 8) {
        SpatialFilterStrips<32>(depth, width, height, params, work, k);
    } else {
        SpatialFilterStrips<16>(depth, width, height, params, work, k);
    }
}

}  // namespace kernels

void SpatialFilterPortable(uint16_t* depth, uint32_t width, uint32_t height,
                           const SpatialParams& params, SpatialWork& work) {
    const kernels::SpatialKernels portable{
        [](float* plane, uint32_t columns, uint32_t rows, const SpatialParams& p) {
            kernels::ColumnPassesPortable(plane, columns, rows, p, 0);
        },
        kernels::PlaneFromDepthPortable, kernels::DepthFromPlanePortable,
        4};  // floats in the baseline's vectors
    kernels::SpatialFilterWith(depth, width, height, params, work, portable);
}

// --- temporal -------------------------------------------------------------------------

namespace kernels {

namespace {

inline uint16_t RoundedDepth(float v) {
    return static_cast<uint16_t>(std::min(v + 0.5f, 65534.0f));
}

}  // namespace

// Every value computed, then chosen without branches, so that the loop vectorises;
// `__restrict`: the frame and the state never overlap.
void TemporalPixelsPortable(uint16_t* __restrict depth, float* __restrict averages,
                            uint8_t* __restrict missing, size_t pixels,
                            const TemporalParams& params) {
    const float alpha = params.alpha;
    const float resetMin = params.resetMinMm;
    const float resetRelative = params.resetRelative;
    const uint8_t persist = params.persistFrames;
    for (size_t i = 0; i < pixels; ++i) {
        const uint16_t d = depth[i];
        const float average = averages[i];
        const uint8_t gone = missing[i];
        const bool has = (d != kNoDepth) & (d != kBeyond);
        // With distance: on from the average, or again from the new value after a jump.
        const float value = static_cast<float>(d);
        const float change = value - average;
        const float limit = std::max(resetMin, resetRelative * value);
        const float moved = average + alpha * change;
        const bool follows = (average > 0.0f) & (std::fabs(change) <= limit);
        const float updated = follows ? moved : value;
        // Without: the last average for a few frames, then none.
        const bool kept = !has & (average > 0.0f) & (gone < persist);
        const float keptAverage = kept ? average : 0.0f;
        averages[i] = has ? updated : keptAverage;
        // (A choice between two bytes here would still be a branch: a mask instead.)
        const auto hasMask = static_cast<uint8_t>(-static_cast<int>(has));
        missing[i] = static_cast<uint8_t>((gone + kept) & ~hasMask);
        const uint16_t roundedAverage = RoundedDepth(average);
        const uint16_t roundedUpdate = RoundedDepth(updated);
        const uint16_t keptDepth = kept ? roundedAverage : d;
        depth[i] = has ? roundedUpdate : keptDepth;
    }
}

}  // namespace kernels

void TemporalFilter::Prepare(uint32_t width, uint32_t height) {
    if (width != m_width || height != m_height) {
        const size_t pixels = size_t{width} * height;
        m_average.assign(pixels, 0.0f);
        m_missing.assign(pixels, 0);
        m_width = width;
        m_height = height;
    }
}

void TemporalFilter::ApplyPortable(uint16_t* depth, uint32_t width, uint32_t height,
                                   const TemporalParams& params) {
    Prepare(width, height);
    kernels::TemporalPixelsPortable(depth, m_average.data(), m_missing.data(),
                                    size_t{width} * height, params);
}

// --- radial to planar -----------------------------------------------------------------

void PlanarTable::Build(double fx, double fy, double cx, double cy, uint32_t width,
                        uint32_t height) {
    m_width = width;
    m_height = height;
    m_factor.resize(size_t{width} * height);
    for (uint32_t v = 0; v < height; ++v) {
        const double ry = (v - cy) / fy;
        for (uint32_t u = 0; u < width; ++u) {
            const double rx = (u - cx) / fx;
            m_factor[size_t{v} * width + u] =
                static_cast<float>(1.0 / std::sqrt(1.0 + rx * rx + ry * ry));
        }
    }
}

void PlanarTable::Apply(uint16_t* depth) const {
    const size_t pixels = m_factor.size();
    const float* factor = m_factor.data();
    for (size_t i = 0; i < pixels; ++i) {
        const uint16_t d = depth[i];
        // A factor of at most 1 keeps a distance above 0 at 1 or more.
        const auto planar =
            static_cast<uint16_t>(std::max(static_cast<float>(d) * factor[i] + 0.5f, 1.0f));
        depth[i] = (d != kNoDepth) & (d != kBeyond) ? planar : d;  // no branch: vectorises
    }
}

}  // namespace quorix::filters
