// Vector forms of the 3x3 medians, of the spatial filter's column passes and conversions
// and of the temporal filter: the portable steps in the same order, so both give the same
// images bit for bit. Compiled once per
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
    kernels::MedianColumnsPortable(in, out, width, height, 1, depth);
}

void ColumnPassesImpl(float* plane, uint32_t columns, uint32_t rows, const SpatialParams& p) {
    kernels::ColumnPassesPortable(plane, columns, rows, p, 0);
}

const char* TargetNameImpl() {
    return "portable";
}

void PlaneFromDepthImpl(const uint16_t* depth, float* plane, size_t n) {
    kernels::PlaneFromDepthPortable(depth, plane, n);
}

void DepthFromPlaneImpl(const float* plane, uint16_t* depth, size_t n) {
    kernels::DepthFromPlanePortable(plane, depth, n);
}

uint32_t FloatLanesImpl() {
    return 4;  // what the portable passes' loops get from the compiler
}

void TemporalImpl(uint16_t* depth, float* averages, uint8_t* missing, size_t pixels,
                  const TemporalParams& p) {
    kernels::TemporalPixelsPortable(depth, averages, missing, pixels, p);
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

// An image row sorted in threes across (keys, see kernels::MiddleRanks) and for depth how
// many of each three have no distance.
template <class V>
struct SortedRow {
    V lo, mid, hi, none;
};

template <bool kDepth, class D, class V = hn::Vec<D> >
HWY_INLINE SortedRow<V> SortRow(D d, const uint16_t* p) {
    const V shift = hn::Set(d, kDepth ? 1 : 0);
    SortedRow<V> r;
    Sort3(d, hn::Sub(hn::LoadU(d, p - 1), shift), hn::Sub(hn::LoadU(d, p), shift),
          hn::Sub(hn::LoadU(d, p + 1), shift), r.lo, r.mid, r.hi);
    if constexpr (kDepth) {
        // Each mask is all ones (-1) where set.
        const V lastWith = hn::Set(d, kernels::kFirstKeyWithout - 1);
        r.none = hn::Sub(hn::Sub(hn::Sub(hn::Zero(d), hn::VecFromMask(d, hn::Gt(r.lo, lastWith))),
                                 hn::VecFromMask(d, hn::Gt(r.mid, lastWith))),
                         hn::VecFromMask(d, hn::Gt(r.hi, lastWith)));
    } else {
        r.none = hn::Zero(d);
    }
    return r;
}

// What two sorted rows give the windows of the rows above and below them.
template <class V>
struct SharedRows {
    V lo0, hi0, lo1, hi1, lo2, none;
};

template <class V>
HWY_INLINE SharedRows<V> Share(const SortedRow<V>& b, const SortedRow<V>& c) {
    return {hn::Min(b.lo, c.lo),   hn::Max(b.lo, c.lo), hn::Min(b.mid, c.mid),
            hn::Max(b.mid, c.mid), hn::Min(b.hi, c.hi), hn::Add(b.none, c.none)};
}

#include "imgproc/FiltersRanks.inc"  // IWYU pragma: keep

// Functors, not lambdas: a lambda would not be compiled for the target's instruction set.
struct VecMin {
    template <class V>
    V operator()(V a, V b) const {
        return hn::Min(a, b);
    }
};
struct VecMax {
    template <class V>
    V operator()(V a, V b) const {
        return hn::Max(a, b);
    }
};

// kernels::PickDepthMedian on vectors; IR takes rank 4 of nine.
template <bool kDepth, class D, class V = hn::Vec<D> >
HWY_INLINE void MedianTo(D d, const SharedRows<V>& s, const SortedRow<V>& e, const uint16_t* own,
                         uint16_t* dst) {
    const auto r =
        MiddleRanks(e.lo, e.mid, e.hi, s.lo0, s.hi0, s.lo1, s.hi1, s.lo2, VecMin(), VecMax());
    if constexpr (!kDepth) {
        hn::StoreU(r.r4, d, dst);
        return;
    }
    const V none = hn::Add(s.none, e.none);
    const V lo = hn::IfThenElse(hn::Eq(none, hn::Zero(d)), r.r4,
                                hn::IfThenElse(hn::Lt(none, hn::Set(d, 3)), r.r3, r.r2));
    const V hi = hn::IfThenElse(hn::Lt(none, hn::Set(d, 2)), r.r4, r.r3);
    const V mean =
        hn::Add(hn::Add(hn::And(lo, hi), hn::ShiftRight<1>(hn::Xor(lo, hi))), hn::Set(d, 1));
    hn::StoreU(hn::IfThenElse(hn::Lt(none, hn::Set(d, 4)), mean, hn::LoadU(d, own)), d, dst);
}

// The median of the interior pixels of columns x .. x + lanes - 1, down the image two
// output rows at a time, as kernels::MedianColumnsPortable.
template <bool kDepth, class D>
HWY_INLINE void MedianStrip(D d, const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height,
                            uint32_t x) {
    const auto at = [&](uint32_t y) { return size_t{y} * width + x; };
    auto a = SortRow<kDepth>(d, in + at(0));
    auto b = SortRow<kDepth>(d, in + at(1));
    uint32_t y = 1;
    for (; y + 2 < height; y += 2) {
        const auto c = SortRow<kDepth>(d, in + at(y + 1));
        const auto e = SortRow<kDepth>(d, in + at(y + 2));
        const auto s = Share(b, c);
        MedianTo<kDepth>(d, s, a, in + at(y), out + at(y));
        MedianTo<kDepth>(d, s, e, in + at(y + 1), out + at(y + 1));
        a = c;
        b = e;
    }
    if (y + 1 < height) {
        const auto c = SortRow<kDepth>(d, in + at(y + 1));
        MedianTo<kDepth>(d, Share(b, c), a, in + at(y), out + at(y));
    }
}

template <bool kDepth>
void MedianInterior(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height) {
    const hn::ScalableTag<uint16_t> d;
    const auto lanes = static_cast<uint32_t>(hn::Lanes(d));
    uint32_t x = 1;
    for (; x + lanes + 1 <= width; x += lanes) {
        MedianStrip<kDepth>(d, in, out, width, height, x);
    }
    if (x + 1 < width && width >= lanes + 2) {
        // The last whole vector, overlapping: the same values again.
        MedianStrip<kDepth>(d, in, out, width, height, width - 1 - lanes);
    } else {
        kernels::MedianColumnsPortable(in, out, width, height, x, kDepth);
    }
}

void MedianImpl(const uint16_t* in, uint16_t* out, uint32_t width, uint32_t height, bool depth) {
    kernels::MedianBorder(in, out, width, height, depth);
    if (height < 3) {
        return;
    }
    (depth ? MedianInterior<true> : MedianInterior<false>)(in, out, width, height);
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

// kernels::PlaneFromDepthPortable and DepthFromPlanePortable on vectors: half a vector
// of depth per vector of floats.
void PlaneFromDepthImpl(const uint16_t* depth, float* plane, size_t n) {
    const hn::ScalableTag<float> df;
    const hn::ScalableTag<int32_t> di;
    const hn::Rebind<uint16_t, decltype(df)> d16;
    const size_t lanes = hn::Lanes(df);
    const hn::RebindToUnsigned<decltype(di)> du;
    const auto beyond = hn::Set(df, static_cast<float>(kBeyond));
    size_t i = 0;
    for (; i + lanes <= n; i += lanes) {
        const auto v =
            hn::ConvertTo(df, hn::BitCast(di, hn::PromoteTo(du, hn::LoadU(d16, depth + i))));
        hn::StoreU(hn::IfThenZeroElse(hn::Eq(v, beyond), v), df, plane + i);  // 0 stays 0
    }
    kernels::PlaneFromDepthPortable(depth + i, plane + i, n - i);
}

void DepthFromPlaneImpl(const float* plane, uint16_t* depth, size_t n) {
    const hn::ScalableTag<float> df;
    const hn::ScalableTag<int32_t> di;
    const hn::Rebind<uint16_t, decltype(df)> d16;
    const size_t lanes = hn::Lanes(df);
    const auto half = hn::Set(df, 0.5f);
    const auto top = hn::Set(df, 65534.0f);
    const auto beyond = hn::Set(d16, kBeyond);
    size_t i = 0;
    for (; i + lanes <= n; i += lanes) {
        const auto d = hn::LoadU(d16, depth + i);
        const auto has = hn::Not(hn::Or(hn::Eq(d, hn::Zero(d16)), hn::Eq(d, beyond)));
        const auto rounded =
            hn::ConvertTo(di, hn::Min(hn::Add(hn::LoadU(df, plane + i), half), top));
        hn::StoreU(hn::IfThenElse(has, hn::DemoteTo(d16, rounded), d), d16, depth + i);
    }
    kernels::DepthFromPlanePortable(plane + i, depth + i, n - i);
}

uint32_t FloatLanesImpl() {
    return static_cast<uint32_t>(hn::Lanes(hn::ScalableTag<float>()));
}

// min(v + 0.5, 65534), truncated: depth in mm from a float.
template <class DI, class VF>
HWY_INLINE hn::Vec<DI> RoundedDepth(DI di, VF v) {
    const hn::Rebind<float, DI> df;
    return hn::ConvertTo(di, hn::Min(hn::Add(v, hn::Set(df, 0.5f)), hn::Set(df, 65534.0f)));
}

// kernels::TemporalPixelsPortable on vectors: a vector of floats per step, the depth and
// the frames without distance in narrower vectors of as many lanes.
void TemporalImpl(uint16_t* depth, float* averages, uint8_t* missing, size_t pixels,
                  const TemporalParams& p) {
    const hn::ScalableTag<float> df;
    const hn::RebindToSigned<decltype(df)> di;
    const hn::RebindToUnsigned<decltype(df)> du;
    const hn::Rebind<uint16_t, decltype(df)> d16;
    const hn::Rebind<uint8_t, decltype(df)> d8;
    const size_t lanes = hn::Lanes(df);
    const auto zero = hn::Zero(df);
    const auto beyond = hn::Set(df, static_cast<float>(kBeyond));
    const auto alpha = hn::Set(df, p.alpha);
    const auto resetMin = hn::Set(df, p.resetMinMm);
    const auto resetRelative = hn::Set(df, p.resetRelative);
    const auto persist = hn::Set(di, p.persistFrames);
    size_t i = 0;
    for (; i + lanes <= pixels; i += lanes) {
        const auto d = hn::BitCast(di, hn::PromoteTo(du, hn::LoadU(d16, depth + i)));
        const auto value = hn::ConvertTo(df, d);
        const auto average = hn::LoadU(df, averages + i);
        const auto gone = hn::BitCast(di, hn::PromoteTo(du, hn::LoadU(d8, missing + i)));
        const auto has = hn::AndNot(hn::Eq(value, beyond), hn::Ne(value, zero));
        const auto change = hn::Sub(value, average);
        const auto limit = hn::Max(resetMin, hn::Mul(resetRelative, value));
        const auto moved = hn::Add(average, hn::Mul(alpha, change));
        const auto hadAverage = hn::Gt(average, zero);
        const auto follows = hn::And(hadAverage, hn::Le(hn::Abs(change), limit));
        const auto updated = hn::IfThenElse(follows, moved, value);
        const auto kept =
            hn::AndNot(has, hn::And(hadAverage, hn::RebindMask(df, hn::Lt(gone, persist))));
        hn::StoreU(hn::IfThenElse(has, updated, hn::IfThenElseZero(kept, average)), df,
                   averages + i);
        const auto keptI = hn::RebindMask(di, kept);
        const auto hasI = hn::RebindMask(di, has);
        const auto nextGone = hn::Add(gone, hn::IfThenElseZero(keptI, hn::Set(di, 1)));
        hn::StoreU(hn::DemoteTo(d8, hn::IfThenZeroElse(hasI, nextGone)), d8, missing + i);
        const auto out = hn::IfThenElse(hasI, RoundedDepth(di, updated),
                                        hn::IfThenElse(keptI, RoundedDepth(di, average), d));
        hn::StoreU(hn::DemoteTo(d16, out), d16, depth + i);
    }
    kernels::TemporalPixelsPortable(depth + i, averages + i, missing + i, pixels - i, p);
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
HWY_EXPORT(FloatLanesImpl);
HWY_EXPORT(TemporalImpl);
HWY_EXPORT(PlaneFromDepthImpl);
HWY_EXPORT(DepthFromPlaneImpl);

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
void PlaneFromDepth(const uint16_t* depth, float* plane, size_t n) {
    HWY_DYNAMIC_DISPATCH(PlaneFromDepthImpl)(depth, plane, n);
}
void DepthFromPlane(const float* plane, uint16_t* depth, size_t n) {
    HWY_DYNAMIC_DISPATCH(DepthFromPlaneImpl)(plane, depth, n);
}
}  // namespace

void SpatialFilter(uint16_t* depth, uint32_t width, uint32_t height, const SpatialParams& params,
                   SpatialWork& work) {
    const kernels::SpatialKernels vector{ColumnPasses, PlaneFromDepth, DepthFromPlane,
                                         HWY_DYNAMIC_DISPATCH(FloatLanesImpl)()};
    kernels::SpatialFilterWith(depth, width, height, params, work, vector);
}

void TemporalFilter::Apply(uint16_t* depth, uint32_t width, uint32_t height,
                           const TemporalParams& params) {
    Prepare(width, height);
    HWY_DYNAMIC_DISPATCH(TemporalImpl)
    (depth, m_average.data(), m_missing.data(), size_t{width} * height, params);
}

const char* FiltersTargetName() {
    return HWY_DYNAMIC_DISPATCH(TargetNameImpl)();
}

}  // namespace quorix::filters
#endif
