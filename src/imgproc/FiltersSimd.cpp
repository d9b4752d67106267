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

// kernels::DepthMedian9 on vectors of unbiased values.
template <class D, class V>
HWY_INLINE V DepthMedian9(D d, V* w) {
    const V own = w[4];
    const V none = hn::Zero(d);
    const V beyond = hn::Set(d, kBeyond);
    const V one = hn::Set(d, 1);
    V n = hn::Zero(d);
    for (int j = 0; j < 9; ++j) {
        const auto has = hn::Not(hn::Or(hn::Eq(w[j], none), hn::Eq(w[j], beyond)));
        n = hn::Add(n, hn::IfThenElseZero(has, one));
        w[j] = hn::IfThenElse(has, w[j], beyond);
    }
    for (const auto& e : kernels::kSort9) {
        const V lo = hn::Min(w[e[0]], w[e[1]]);
        w[e[1]] = hn::Max(w[e[0]], w[e[1]]);
        w[e[0]] = lo;
    }
    const auto mean2 = [&](V a, V b) {
        return hn::Add(hn::Add(hn::ShiftRight<1>(a), hn::ShiftRight<1>(b)),
                       hn::And(hn::And(a, b), one));
    };
    V result = own;
    result = hn::IfThenElse(hn::Eq(n, hn::Set(d, 6)), mean2(w[2], w[3]), result);
    result = hn::IfThenElse(hn::Eq(n, hn::Set(d, 7)), w[3], result);
    result = hn::IfThenElse(hn::Eq(n, hn::Set(d, 8)), mean2(w[3], w[4]), result);
    return hn::IfThenElse(hn::Eq(n, hn::Set(d, 9)), w[4], result);
}

void MedianImpl(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height, bool depth) {
    using D = hn::ScalableTag<uint16_t>;
    using V = decltype(hn::Zero(D()));
    const D d;
    const uint32_t lanes = static_cast<uint32_t>(hn::Lanes(d));
    const V none = hn::Zero(d);
    const V beyond = hn::Set(d, kBeyond);
    kernels::MedianBorder(in, out, width, height, depth);
    for (uint32_t y = 1; y + 1 < height; ++y) {
        const uint16_t* r0 = in + size_t{y - 1} * width;
        const uint16_t* r1 = r0 + width;
        const uint16_t* r2 = r1 + width;
        uint16_t* o = out + size_t{y} * width;
        const auto pixels = [&](uint32_t x) {
            V lo[3], mid[3], hi[3];
            for (int c = 0; c < 3; ++c) {
                Sort3(d, hn::LoadU(d, r0 + x - 1 + c), hn::LoadU(d, r1 + x - 1 + c),
                      hn::LoadU(d, r2 + x - 1 + c), lo[c], mid[c], hi[c]);
            }
            if (depth) {
                const V windowMin = hn::Min(hn::Min(lo[0], lo[1]), lo[2]);
                const V windowMax = hn::Max(hn::Max(hi[0], hi[1]), hi[2]);
                if (!hn::AllFalse(d, hn::Or(hn::Eq(windowMin, none), hn::Eq(windowMax, beyond)))) {
                    V w[9];
                    for (int r = 0; r < 3; ++r) {
                        const uint16_t* row = r0 + size_t{static_cast<uint32_t>(r)} * width;
                        for (int c = 0; c < 3; ++c) {
                            w[3 * r + c] = hn::LoadU(d, row + x - 1 + c);
                        }
                    }
                    hn::StoreU(DepthMedian9(d, w), d, o + x);
                    return;
                }
            }
            hn::StoreU(
                Median3(hn::Max(hn::Max(lo[0], lo[1]), lo[2]), Median3(mid[0], mid[1], mid[2]),
                        hn::Min(hn::Min(hi[0], hi[1]), hi[2])),
                d, o + x);
        };
        uint32_t x = 1;
        for (; x + lanes + 1 <= width; x += lanes) {
            pixels(x);
        }
        if (x + 1 < width && width >= lanes + 2) {
            pixels(width - 1 - lanes);  // the last whole vector, overlapping: same values
        } else {
            kernels::MedianRowPortable(in, out, width, height, y, x, depth);
        }
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
