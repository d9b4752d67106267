// Vector forms of the 3x3 median and of the spatial filter's column passes: the portable
// steps in the same order, so both give the same images bit for bit. Compiled once per
// instruction set (Highway) and chosen at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imgproc/FiltersSimd.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "imgproc/Filters.h"
#include "imgproc/FiltersKernels.h"

HWY_BEFORE_NAMESPACE();
namespace quorix::filters {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET == HWY_SCALAR || HWY_TARGET == HWY_EMU128

void MedianImpl(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height, bool depth) {
    kernels::MedianBorder(in, out, width, height, depth);
    for (uint32_t y = 1; y + 1 < height; ++y) {
        kernels::MedianRowPortable(in, out, width, height, y, 1, depth);
    }
}

void ColumnPassesImpl(float* plane, uint32_t columns, uint32_t rows, const SpatialParams& p) {
    kernels::ColumnPassesPortable(plane, columns, rows, p, 0);
}

const char* TargetNameImpl() {
    return "portable";
}

#else

template <class D, class V>
HWY_INLINE void Sort3(D, V a, V b, V c, V& lo, V& mid, V& hi) {
    const V l = hn::Min(a, b);
    const V h = hn::Max(a, b);
    lo = hn::Min(l, c);
    hi = hn::Max(h, c);
    mid = hn::Max(l, hn::Min(h, c));
}

template <class V>
HWY_INLINE V Median3(V a, V b, V c) {
    return hn::Max(hn::Min(a, b), hn::Min(hn::Max(a, b), c));
}

void MedianImpl(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height, bool depth) {
    using D = hn::ScalableTag<uint16_t>;
    const D d;
    const size_t lanes = hn::Lanes(d);
    HWY_ALIGN uint16_t flags[hn::MaxLanes(d)];
    const auto none = hn::Zero(d);
    const auto beyond = hn::Set(d, kBeyond);
    kernels::MedianBorder(in, out, width, height, depth);
    for (uint32_t y = 1; y + 1 < height; ++y) {
        const uint16_t* r0 = in + size_t{y - 1} * width;
        const uint16_t* r1 = r0 + width;
        const uint16_t* r2 = r1 + width;
        uint16_t* o = out + size_t{y} * width;
        uint32_t x = 1;
        for (; x + lanes + 1 <= width; x += static_cast<uint32_t>(lanes)) {
            decltype(hn::Zero(d)) lo[3], mid[3], hi[3];
            for (int c = 0; c < 3; ++c) {
                Sort3(d, hn::LoadU(d, r0 + x - 1 + c), hn::LoadU(d, r1 + x - 1 + c),
                      hn::LoadU(d, r2 + x - 1 + c), lo[c], mid[c], hi[c]);
            }
            const auto median =
                Median3(hn::Max(hn::Max(lo[0], lo[1]), lo[2]), Median3(mid[0], mid[1], mid[2]),
                        hn::Min(hn::Min(hi[0], hi[1]), hi[2]));
            hn::StoreU(median, d, o + x);
            if (!depth) {
                continue;
            }
            const auto windowMin = hn::Min(hn::Min(lo[0], lo[1]), lo[2]);
            const auto windowMax = hn::Max(hn::Max(hi[0], hi[1]), hi[2]);
            const auto gap = hn::Or(hn::Eq(windowMin, none), hn::Eq(windowMax, beyond));
            if (hn::AllFalse(d, gap)) {
                continue;
            }
            hn::Store(hn::VecFromMask(d, gap), d, flags);
            for (size_t i = 0; i < lanes; ++i) {
                if (flags[i] != 0) {
                    const uint32_t at = x + static_cast<uint32_t>(i);
                    o[at] = kernels::WindowMedian(in, width, height, at, y, true);
                }
            }
        }
        kernels::MedianRowPortable(in, out, width, height, y, x, depth);
    }
}

void ColumnPassesImpl(float* plane, uint32_t columns, uint32_t rows, const SpatialParams& p) {
    using D = hn::ScalableTag<float>;
    const D d;
    const size_t lanes = hn::Lanes(d);
    const auto zero = hn::Zero(d);
    const auto alpha = hn::Set(d, p.alpha);
    const auto edgeMin = hn::Set(d, p.edgeMinMm);
    const auto edgeRelative = hn::Set(d, p.edgeRelative);
    const auto step = [&](float* row, const float* neighbours, size_t x) {
        const auto cur = hn::LoadU(d, row + x);
        const auto neighbour = hn::LoadU(d, neighbours + x);
        const auto diff = hn::Sub(neighbour, cur);
        const auto limit = hn::Max(edgeMin, hn::Mul(edgeRelative, cur));
        const auto joined = hn::And(hn::And(hn::Gt(cur, zero), hn::Gt(neighbour, zero)),
                                    hn::Le(hn::Abs(diff), limit));
        hn::StoreU(hn::IfThenElse(joined, hn::Add(cur, hn::Mul(alpha, diff)), cur), d, row + x);
    };
    const uint32_t vectorColumns = static_cast<uint32_t>(columns / lanes * lanes);
    for (uint32_t y = 1; y < rows; ++y) {
        for (size_t x = 0; x < vectorColumns; x += lanes) {
            step(plane + size_t{y} * columns, plane + size_t{y - 1} * columns, x);
        }
    }
    for (uint32_t y = rows - 1; y-- > 0;) {
        for (size_t x = 0; x < vectorColumns; x += lanes) {
            step(plane + size_t{y} * columns, plane + size_t{y + 1} * columns, x);
        }
    }
    kernels::ColumnPassesPortable(plane, columns, rows, p, vectorColumns);
}

const char* TargetNameImpl() {
    return hwy::TargetName(HWY_TARGET);
}

#endif

}  // namespace HWY_NAMESPACE
}  // namespace quorix::filters
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace quorix::filters {

HWY_EXPORT(MedianImpl);
HWY_EXPORT(ColumnPassesImpl);
HWY_EXPORT(TargetNameImpl);

void MedianDepth3x3(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height) {
    HWY_DYNAMIC_DISPATCH(MedianImpl)(in, out, width, height, true);
}

void MedianIr3x3(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height) {
    HWY_DYNAMIC_DISPATCH(MedianImpl)(in, out, width, height, false);
}

namespace {
void ColumnPasses(float* plane, uint32_t columns, uint32_t rows, const SpatialParams& p) {
    HWY_DYNAMIC_DISPATCH(ColumnPassesImpl)(plane, columns, rows, p);
}
}  // namespace

void SpatialFilter(uint16_t* depth, uint32_t width, uint32_t height, const SpatialParams& params,
                   SpatialWork& work) {
    kernels::SpatialFilterWith(depth, width, height, params, work, ColumnPasses);
}

const char* FiltersTargetName() {
    return HWY_DYNAMIC_DISPATCH(TargetNameImpl)();
}

}  // namespace quorix::filters
#endif
