// Vector row projection of the registration: the portable loop's operations in the same
// order, so both give the same coordinates and depths bit for bit. Compiled once per
// instruction set (Highway) and chosen at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imgproc/RegistrationSimd.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "imgproc/Registration.h"

HWY_BEFORE_NAMESPACE();
namespace quorix::registration {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET == HWY_SCALAR || HWY_TARGET == HWY_EMU128

void ProjectRowImpl(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                    ProjectedRow& out) {
    ProjectRowPortable(t, row, depth, out);
}

const char* ProjectRowTargetNameImpl() {
    return "portable";
}

#else

void ProjectRowImpl(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                    ProjectedRow& out) {
    using DF = hn::ScalableTag<float>;
    using DI = hn::RebindToSigned<DF>;
    using DU16 = hn::Rebind<uint16_t, DF>;
    const DF df;
    const DI di;
    const DU16 du16;
    const size_t lanes = hn::Lanes(df);
    const auto ru = hn::Set(df, t.rowU[row]);
    const auto rv = hn::Set(df, t.rowV[row]);
    const auto rz = hn::Set(df, t.rowZ[row]);
    const auto tu = hn::Set(df, t.tu);
    const auto tv = hn::Set(df, t.tv);
    const auto tz = hn::Set(df, t.tz);
    const auto hx = hn::Set(df, t.halfX);
    const auto hy = hn::Set(df, t.halfY);
    const auto cw = hn::Set(df, static_cast<float>(t.cw));
    const auto ch = hn::Set(df, static_cast<float>(t.ch));
    const auto zero = hn::Zero(df);
    const auto one = hn::Set(df, 1.0f);
    const auto half = hn::Set(df, 0.5f);
    const auto zMax = hn::Set(df, 65534.0f);
    const auto lo = hn::Set(df, -kCoordinateLimit);
    const auto hi = hn::Set(df, kCoordinateLimit);
    const auto noDepth = hn::Zero(di);
    const auto beyond = hn::Set(di, 65535);

    uint32_t u = 0;
    for (; u + lanes <= t.dw; u += lanes) {
        const auto d = hn::PromoteTo(di, hn::LoadU(du16, depth + u));
        const auto dv = hn::ConvertTo(df, d);
        const auto zc = hn::Add(hn::Mul(dv, hn::Add(hn::LoadU(df, t.colZ.data() + u), rz)), tz);
        auto uc =
            hn::Div(hn::Add(hn::Mul(dv, hn::Add(hn::LoadU(df, t.colU.data() + u), ru)), tu), zc);
        auto vc =
            hn::Div(hn::Add(hn::Mul(dv, hn::Add(hn::LoadU(df, t.colV.data() + u), rv)), tv), zc);
        uc = hn::IfThenElse(hn::Gt(uc, lo), uc, lo);
        uc = hn::IfThenElse(hn::Lt(uc, hi), uc, hi);
        vc = hn::IfThenElse(hn::Gt(vc, lo), vc, lo);
        vc = hn::IfThenElse(hn::Lt(vc, hi), vc, hi);
        const auto left = hn::Ceil(hn::Sub(uc, hx));
        const auto top = hn::Ceil(hn::Sub(vc, hy));
        const auto x0 = hn::Max(left, zero);
        const auto x1 = hn::Min(hn::Max(hn::Ceil(hn::Add(uc, hx)), hn::Add(left, one)), cw);
        const auto y0 = hn::Max(top, zero);
        const auto y1 = hn::Min(hn::Max(hn::Ceil(hn::Add(vc, hy)), hn::Add(top, one)), ch);
        const auto validDepth = hn::RebindMask(df, hn::And(hn::Gt(d, noDepth), hn::Lt(d, beyond)));
        const auto lands =
            hn::And(hn::And(validDepth, hn::Ge(zc, one)), hn::And(hn::Lt(x0, x1), hn::Lt(y0, y1)));
        const auto z = hn::IfThenElseZero(lands, hn::Min(hn::Floor(hn::Add(zc, half)), zMax));
        hn::StoreU(hn::ConvertTo(di, x0), di, out.x0 + u);
        hn::StoreU(hn::ConvertTo(di, x1), di, out.x1 + u);
        hn::StoreU(hn::ConvertTo(di, y0), di, out.y0 + u);
        hn::StoreU(hn::ConvertTo(di, y1), di, out.y1 + u);
        hn::StoreU(hn::DemoteTo(du16, hn::ConvertTo(di, z)), du16, out.z + u);
    }
    ProjectRowPortable(t, row, depth, out, u);
}

const char* ProjectRowTargetNameImpl() {
    return hwy::TargetName(HWY_TARGET);
}

#endif

}  // namespace HWY_NAMESPACE
}  // namespace quorix::registration
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace quorix::registration {

HWY_EXPORT(ProjectRowImpl);
HWY_EXPORT(ProjectRowTargetNameImpl);

void ProjectRow(const ProjectionTable& t, uint32_t row, const uint16_t* depth, ProjectedRow& out) {
    HWY_DYNAMIC_DISPATCH(ProjectRowImpl)(t, row, depth, out);
}

const char* ProjectRowTargetName() {
    return HWY_DYNAMIC_DISPATCH(ProjectRowTargetNameImpl)();
}

}  // namespace quorix::registration
#endif
