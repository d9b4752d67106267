// Vector WDR fusion: the portable loops' masks and selects on whole vectors of pixels, so
// both give the same depths. Compiled once per instruction set (Highway) and chosen at run
// time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/WdrFusionSimd.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>

#include "imaging/WdrFusion.h"

HWY_BEFORE_NAMESPACE();
namespace quorix {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET == HWY_SCALAR || HWY_TARGET == HWY_EMU128

void FuseTwoImpl(const uint16_t* n, const uint16_t* m, uint16_t* out, size_t pixels,
                 const WdrBands& b) {
    FuseTwoRangesPortable(n, m, out, pixels, b);
}

void FuseThreeImpl(const uint16_t* n, const uint16_t* m, const uint16_t* f, uint16_t* out,
                   size_t pixels, const WdrBands& b) {
    FuseThreeRangesPortable(n, m, f, out, pixels, b);
}

const char* FusionTargetNameImpl() {
    return "portable";
}

#else

using D = hn::ScalableTag<uint16_t>;
using V = hn::Vec<D>;
using M = hn::Mask<D>;

V Limit(uint32_t value) {
    return hn::Set(D(), static_cast<uint16_t>(std::min<uint32_t>(value, 65535)));
}
HWY_INLINE M AtLeast(V a, V b) {
    return hn::Not(hn::Lt(a, b));
}
HWY_INLINE M AtMost(V a, V b) {
    return hn::Not(hn::Gt(a, b));
}
// The floor of the mean without a wider type.
HWY_INLINE V Mean(V a, V b) {
    return hn::Add(hn::And(a, b), hn::ShiftRight<1>(hn::Xor(a, b)));
}

void FuseTwoImpl(const uint16_t* n, const uint16_t* m, uint16_t* out, size_t pixels,
                 const WdrBands& b) {
    const D d;
    const size_t lanes = hn::Lanes(d);
    const V nearMax = Limit(b.near.max);
    const V midMin = Limit(b.mid.min);
    const V low = Limit(b.low1);
    const V high = Limit(b.high1);
    size_t i = 0;
    for (; i + lanes <= pixels; i += lanes) {
        const V nv = hn::LoadU(d, n + i);
        const V mv = hn::LoadU(d, m + i);
        const M n0 = hn::Gt(nv, nearMax);
        const M n1 = hn::AndNot(n0, hn::Lt(nv, low));
        const M n3 = hn::AndNot(n0, hn::Gt(nv, high));
        const M m0 = hn::Lt(mv, midMin);
        const M m1 = hn::AndNot(m0, hn::Lt(mv, low));
        const M m3 = hn::AndNot(m0, hn::Gt(mv, high));
        V v = Mean(nv, mv);
        v = hn::IfThenZeroElse(hn::And(n3, m1), v);
        v = hn::IfThenElse(m0, nv, v);
        v = hn::IfThenElse(m3, mv, v);
        v = hn::IfThenElse(n0, hn::IfThenZeroElse(m0, mv), v);
        hn::StoreU(hn::IfThenElse(n1, nv, v), d, out + i);
    }
    FuseTwoRangesPortable(n + i, m + i, out + i, pixels - i, b);
}

void FuseThreeImpl(const uint16_t* n, const uint16_t* m, const uint16_t* f, uint16_t* out,
                   size_t pixels, const WdrBands& b) {
    const D d;
    const size_t lanes = hn::Lanes(d);
    const V nearMax = Limit(b.near.max);
    const V midMin = Limit(b.mid.min);
    const V midMax = Limit(b.mid.max);
    const V farMin = Limit(b.far.min);
    const V l1 = Limit(b.low1);
    const V h1 = Limit(b.high1);
    const V l2 = Limit(b.low2);
    const V h2 = Limit(b.high2);
    size_t i = 0;
    for (; i + lanes <= pixels; i += lanes) {
        const V nv = hn::LoadU(d, n + i);
        const V mv = hn::LoadU(d, m + i);
        const V fv = hn::LoadU(d, f + i);
        const M a0 = hn::Gt(nv, nearMax);
        const M a1 = hn::AndNot(a0, hn::Lt(nv, l1));
        const M a2 = hn::AndNot(a0, hn::And(AtLeast(nv, l1), AtMost(nv, h1)));
        const M a3 = hn::AndNot(a0, hn::Gt(nv, h1));
        const M b0 = hn::Or(hn::Lt(mv, midMin), hn::Gt(mv, midMax));
        const M b1 = hn::AndNot(b0, hn::Lt(mv, l1));
        const M b2 = hn::AndNot(b0, hn::And(AtLeast(mv, l1), AtMost(mv, h1)));
        const M above1 = hn::AndNot(b0, hn::And(AtLeast(mv, l1), hn::Gt(mv, h1)));
        const M b4 = hn::And(above1, hn::Lt(mv, l2));
        const M b5 = hn::And(above1, hn::And(AtLeast(mv, l2), AtMost(mv, h2)));
        const M b6 = hn::And(above1, hn::And(AtLeast(mv, l2), hn::Gt(mv, h2)));
        const M c0 = hn::Lt(fv, farMin);
        const M c1 = hn::AndNot(c0, hn::Lt(fv, l2));
        const M c2 = hn::AndNot(c0, hn::And(AtLeast(fv, l2), AtMost(fv, h2)));
        const M c3 = hn::AndNot(c0, hn::And(AtLeast(fv, l2), hn::Gt(fv, h2)));
        const M c12 = hn::Or(c1, c2);

        const M farOnly = hn::And(hn::And(a0, b0), c12);
        const M midOnly = hn::And(hn::And(a0, hn::Or(hn::Or(b1, b2), hn::Or(b5, b6))), c0);
        const M nearOnly = hn::And(hn::And(a3, b0), c0);
        const M midFar =
            hn::Or(hn::Or(hn::And(hn::And(a0, hn::Or(hn::Or(b1, b2), b5)), c12),
                          hn::And(hn::And(a0, b6), c2)),
                   hn::Or(hn::And(hn::And(a3, b5), c12), hn::And(hn::And(a3, b6), c2)));
        const M midNear = hn::Or(hn::Or(hn::And(a2, hn::Or(b1, b2)), hn::And(hn::And(a2, b5), c12)),
                                 hn::And(a3, b2));
        const M farNear = hn::And(hn::And(a2, b6), c2);
        V v = hn::IfThenElseZero(farOnly, fv);
        v = hn::IfThenElse(midOnly, mv, v);
        v = hn::IfThenElse(nearOnly, nv, v);
        v = hn::IfThenElse(midFar, Mean(mv, fv), v);
        v = hn::IfThenElse(midNear, Mean(mv, nv), v);
        v = hn::IfThenElse(farNear, Mean(fv, nv), v);
        v = hn::IfThenElse(c3, fv, v);
        v = hn::IfThenElse(b4, mv, v);
        hn::StoreU(hn::IfThenElse(a1, nv, v), d, out + i);
    }
    FuseThreeRangesPortable(n + i, m + i, f + i, out + i, pixels - i, b);
}

const char* FusionTargetNameImpl() {
    return hwy::TargetName(HWY_TARGET);
}

#endif

}  // namespace HWY_NAMESPACE
}  // namespace quorix
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace quorix {

HWY_EXPORT(FuseTwoImpl);
HWY_EXPORT(FuseThreeImpl);
HWY_EXPORT(FusionTargetNameImpl);

void FuseTwoRanges(const uint16_t* n, const uint16_t* m, uint16_t* out, size_t pixels,
                   const WdrBands& b) {
    HWY_DYNAMIC_DISPATCH(FuseTwoImpl)(n, m, out, pixels, b);
}

void FuseThreeRanges(const uint16_t* n, const uint16_t* m, const uint16_t* f, uint16_t* out,
                     size_t pixels, const WdrBands& b) {
    HWY_DYNAMIC_DISPATCH(FuseThreeImpl)(n, m, f, out, pixels, b);
}

const char* WdrFusionTargetName() {
    return HWY_DYNAMIC_DISPATCH(FusionTargetNameImpl)();
}

}  // namespace quorix
#endif
