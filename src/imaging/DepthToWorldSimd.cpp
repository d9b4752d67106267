// Vector point-cloud kernel: a row's depth pixels times their column rays and the row's ray
// in double precision, rounded to float, with 0 and 65535 masked to the origin. Compiled
// once per instruction set (Highway) and chosen at run time; the same operations as the
// portable loop in the same order, so every path gives its result bit for bit.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/DepthToWorldSimd.cpp"
// The half-vector types below need fixed-size vectors; those cover x86 and Arm.
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128 | HWY_RVV)
#endif
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "imaging/Conversion.h"

HWY_BEFORE_NAMESPACE();
namespace quorix {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET == HWY_SCALAR || HWY_TARGET == HWY_EMU128

// Without real vectors the plain loop is as fast.
void DepthRowToWorldImpl(const uint16_t* depth, const double* columnRays, double rowRay,
                         size_t pixels, NsVector3f* world) {
    DepthRowToWorldPortable(depth, columnRays, rowRay, pixels, world);
}

const char* DepthToWorldTargetNameImpl() {
    return "portable";
}

#else

using DF = hn::ScalableTag<float>;
using DH = hn::Half<DF>;  // as many floats as DD has doubles
using DD = hn::Repartition<double, DF>;
using DI = hn::RebindToSigned<DF>;
using DU16 = hn::Rebind<uint16_t, DF>;  // one u16 per float lane

void DepthRowToWorldImpl(const uint16_t* depth, const double* columnRays, double rowRay,
                         size_t pixels, NsVector3f* world) {
    const DF df;
    const DH dh;
    const DD dd;
    const DI di;
    const DU16 du16;
    const hn::Half<DI> dih;
    const size_t lanes = hn::Lanes(df);
    const size_t half = hn::Lanes(dh);
    const hn::Vec<DI> zero = hn::Zero(di);
    const hn::Vec<DI> invalid = hn::Set(di, 65535);
    const hn::Vec<DD> ry = hn::Set(dd, rowRay);
    float* out = reinterpret_cast<float*>(world);

    size_t i = 0;
    for (; i + lanes <= pixels; i += lanes) {
        const hn::Vec<DI> d = hn::PromoteTo(di, hn::LoadU(du16, depth + i));
        const auto valid = hn::RebindMask(df, hn::And(hn::Gt(d, zero), hn::Lt(d, invalid)));
        const hn::Vec<DD> dLo = hn::PromoteTo(dd, hn::LowerHalf(dih, d));
        const hn::Vec<DD> dHi = hn::PromoteTo(dd, hn::UpperHalf(dih, d));
        const hn::Vec<DH> xLo = hn::DemoteTo(dh, hn::Mul(dLo, hn::LoadU(dd, columnRays + i)));
        const hn::Vec<DH> xHi =
            hn::DemoteTo(dh, hn::Mul(dHi, hn::LoadU(dd, columnRays + i + half)));
        const hn::Vec<DH> yLo = hn::DemoteTo(dh, hn::Mul(dLo, ry));
        const hn::Vec<DH> yHi = hn::DemoteTo(dh, hn::Mul(dHi, ry));
        const hn::Vec<DF> x = hn::IfThenElseZero(valid, hn::Combine(df, xHi, xLo));
        const hn::Vec<DF> y = hn::IfThenElseZero(valid, hn::Combine(df, yHi, yLo));
        const hn::Vec<DF> z = hn::IfThenElseZero(valid, hn::ConvertTo(df, d));
        hn::StoreInterleaved3(x, y, z, df, out + 3 * i);
    }
    DepthRowToWorldPortable(depth + i, columnRays + i, rowRay, pixels - i, world + i);
}

const char* DepthToWorldTargetNameImpl() {
    return hwy::TargetName(HWY_TARGET);
}

#endif

}  // namespace HWY_NAMESPACE
}  // namespace quorix
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace quorix {

HWY_EXPORT(DepthRowToWorldImpl);
HWY_EXPORT(DepthToWorldTargetNameImpl);

void DepthRowToWorld(const uint16_t* depth, const double* columnRays, double rowRay, size_t pixels,
                     NsVector3f* world) {
    HWY_DYNAMIC_DISPATCH(DepthRowToWorldImpl)(depth, columnRays, rowRay, pixels, world);
}

const char* DepthToWorldTargetName() {
    return HWY_DYNAMIC_DISPATCH(DepthToWorldTargetNameImpl)();
}

}  // namespace quorix
#endif
