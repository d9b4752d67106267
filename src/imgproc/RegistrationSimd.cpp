// Vector row projection and z-buffered scatter of the registration: the portable loop's
// operations in the same order, and the same nearest-wins choice, so both give the same
// mapped images bit for bit. Compiled once per instruction set (Highway) and chosen at run
// time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imgproc/RegistrationSimd.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cstring>

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

void ScatterRowImpl(const ProjectionTable& t, const ProjectedRow& work, const uint16_t* irRow,
                    uint16_t* mapped, uint16_t* mappedIr) {
    for (uint32_t u = 0; u < t.dw; ++u) {
        if (work.z[u] == 0) {
            continue;
        }
        if (mappedIr != nullptr) {
            uint16_t irValue;
            std::memcpy(&irValue, irRow + u, sizeof irValue);
            ScatterPixel<true>(t, work, u, irValue, mapped, mappedIr);
        } else {
            ScatterPixel<false>(t, work, u, 0, mapped, nullptr);
        }
    }
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
    auto bottom = hn::Zero(di);
    const auto windowColumns = hn::Set(df, static_cast<float>(kWindowColumns));
    const auto windowRows = hn::Set(df, static_cast<float>(t.footprintRows));

    uint32_t u = 0;
    for (; u + lanes <= t.dw; u += lanes) {
        const auto d = hn::PromoteTo(di, hn::LoadU(du16, depth + u));
        const auto dv = hn::ConvertTo(df, d);
        const auto zc = hn::Add(hn::Mul(dv, hn::Add(hn::LoadU(df, t.colZ.data() + u), rz)), tz);
        const auto inverse = hn::Div(one, zc);
        auto uc = hn::Mul(hn::Add(hn::Mul(dv, hn::Add(hn::LoadU(df, t.colU.data() + u), ru)), tu),
                          inverse);
        auto vc = hn::Mul(hn::Add(hn::Mul(dv, hn::Add(hn::LoadU(df, t.colV.data() + u), rv)), tv),
                          inverse);
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
        bottom =
            hn::Max(bottom, hn::IfThenElseZero(hn::RebindMask(di, lands), hn::ConvertTo(di, y1)));
        if (t.footprintRows != 0) {
            const auto columns = hn::Sub(x1, x0);
            const auto rows = hn::Sub(y1, y0);
            const auto window = hn::And(
                hn::And(lands, hn::And(hn::Le(columns, windowColumns), hn::Le(rows, windowRows))),
                hn::And(hn::Le(x0, hn::Sub(cw, windowColumns)),
                        hn::Le(y0, hn::Sub(ch, windowRows))));
            const auto shape = hn::IfThenElseZero(
                window, hn::Add(hn::Mul(hn::Sub(rows, one), windowColumns), columns));
            hn::StoreU(hn::DemoteTo(du16, hn::ConvertTo(di, shape)), du16, out.shape + u);
            hn::StoreU(hn::ConvertTo(di, hn::IfThenElseZero(window, hn::Add(hn::Mul(y0, cw), x0))),
                       di, out.offset + u);
        }
        hn::StoreU(hn::ConvertTo(di, x0), di, out.x0 + u);
        hn::StoreU(hn::ConvertTo(di, x1), di, out.x1 + u);
        hn::StoreU(hn::ConvertTo(di, y0), di, out.y0 + u);
        hn::StoreU(hn::ConvertTo(di, y1), di, out.y1 + u);
        hn::StoreU(hn::DemoteTo(du16, hn::ConvertTo(di, z)), du16, out.z + u);
    }
    ProjectRowPortable(t, row, depth, out, u);
    out.bottom = std::max(out.bottom, hn::GetLane(hn::MaxOfLanes(di, bottom)));
}

const char* ProjectRowTargetNameImpl() {
    return hwy::TargetName(HWY_TARGET);
}

// The z-buffer test of ScatterPixel on a few colour pixels of each footprint row at once:
// with the depth minus one and the cell minus one (an empty cell wraps to 65535, the
// farthest), the nearer is the minimum. Lanes past the footprint compare against 65535
// and keep their cell, so a footprint up to Lanes(d) wide is one load and one store per row.
using D8 = hn::FixedTag<uint16_t, 8>;
using D4 = hn::FixedTag<uint16_t, kWindowColumns>;

template <class D>
HWY_INLINE void ScatterFootprint(D d, const ProjectionTable& t, const ProjectedRow& work,
                                 uint32_t u, uint16_t* mapped) {
    const auto one = hn::Set(d, 1);
    const int32_t x0 = work.x0[u];
    const auto zm1 =
        hn::IfThenElse(hn::FirstN(d, size_t(work.x1[u] - x0)),
                       hn::Set(d, static_cast<uint16_t>(work.z[u] - 1)), hn::Set(d, 65535));
    uint16_t* cells = mapped + size_t(work.y0[u]) * t.cw + x0;
    for (int32_t y = work.y0[u]; y < work.y1[u]; ++y, cells += t.cw) {
        const auto c = hn::Sub(hn::LoadU(d, cells), one);
        hn::StoreU(hn::Add(hn::Min(c, zm1), one), d, cells);
    }
}

HWY_INLINE void ScatterFootprintWithIr(const ProjectionTable& t, const ProjectedRow& work,
                                       uint32_t u, uint16_t irValue, uint16_t* mapped,
                                       uint16_t* mappedIr) {
    const D8 d8;
    const auto one = hn::Set(d8, 1);
    const int32_t x0 = work.x0[u];
    const auto zm1 =
        hn::IfThenElse(hn::FirstN(d8, size_t(work.x1[u] - x0)),
                       hn::Set(d8, static_cast<uint16_t>(work.z[u] - 1)), hn::Set(d8, 65535));
    const auto z = hn::Set(d8, work.z[u]);
    const auto ir = hn::Set(d8, irValue);
    const size_t first = size_t(work.y0[u]) * t.cw + x0;
    uint16_t* cells = mapped + first;
    uint16_t* irCells = mappedIr + first;
    for (int32_t y = work.y0[u]; y < work.y1[u]; ++y, cells += t.cw, irCells += t.cw) {
        const auto c = hn::LoadU(d8, cells);
        const auto nearer = hn::Gt(hn::Sub(c, one), zm1);
        hn::StoreU(hn::IfThenElse(nearer, z, c), d8, cells);
        hn::StoreU(hn::IfThenElse(nearer, ir, hn::LoadU(d8, irCells)), d8, irCells);
    }
}

// The lanes a window's shape leaves as they are (65535) and those it covers (0), row by row:
// shape (rows - 1) * kWindowColumns + columns covers the first `columns` lanes of its first `rows`
// rows.
struct WindowMasks {
    uint16_t lanes[kWindowColumns * kWindowRows * (kWindowColumns * kWindowRows + 1)];
};
constexpr WindowMasks MakeWindowMasks() {
    WindowMasks m{};
    for (uint32_t shape = 0; shape <= kWindowColumns * kWindowRows; ++shape) {
        const uint32_t rows = shape == 0 ? 0 : (shape - 1) / kWindowColumns + 1;
        const uint32_t columns = shape == 0 ? 0 : (shape - 1) % kWindowColumns + 1;
        for (uint32_t r = 0; r < kWindowRows; ++r) {
            for (uint32_t c = 0; c < kWindowColumns; ++c) {
                m.lanes[(shape * kWindowRows + r) * kWindowColumns + c] =
                    r < rows && c < columns ? 0 : 65535;
            }
        }
    }
    return m;
}
alignas(16) constexpr WindowMasks kWindowMasks = MakeWindowMasks();

// Depth alone. The minimum does not depend on the order, so the row is visited in
// t.scatterStride interleaved passes whose neighbouring footprints' windows do not overlap:
// a load from a window the previous pixel has just stored into partly would wait for that
// store (no forwarding between overlapping vectors). A footprint in the fixed window of
// kRows rows touches all of them, its mask keeping the cells outside it, so the loop has no
// data-dependent branch to mispredict.
template <int kRows>
void ScatterDepthRow(const ProjectionTable& t, const ProjectedRow& work, uint16_t* mapped) {
    const D4 d4;
    const auto one = hn::Set(d4, 1);
    const size_t cw = t.cw;
    // The lanes stay inside the row.
    const int32_t lastX4 = static_cast<int32_t>(cw) - static_cast<int32_t>(kWindowColumns);
    const int32_t lastX8 = static_cast<int32_t>(cw) - 8;
    for (uint32_t pass = 0; pass < t.scatterStride; ++pass) {
        for (uint32_t u = pass; u < t.dw; u += t.scatterStride) {
            const uint16_t z = work.z[u];
            if (z == 0) {
                continue;
            }
            if (kRows > 0 && work.shape[u] != 0) {
                const auto zm1 = hn::Set(d4, static_cast<uint16_t>(z - 1));
                const uint16_t* masks =
                    kWindowMasks.lanes + size_t{work.shape[u]} * kWindowRows * kWindowColumns;
                uint16_t* cells = mapped + work.offset[u];
                for (int32_t r = 0; r < kRows; ++r, cells += cw, masks += kWindowColumns) {
                    const auto limit = hn::Or(zm1, hn::Load(d4, masks));
                    const auto c = hn::Sub(hn::LoadU(d4, cells), one);
                    hn::StoreU(hn::Add(hn::Min(c, limit), one), d4, cells);
                }
                continue;
            }
            const int32_t x0 = work.x0[u];
            const int32_t width = work.x1[u] - x0;
            if (width <= static_cast<int32_t>(kWindowColumns) && x0 <= lastX4) {
                ScatterFootprint(d4, t, work, u, mapped);
            } else if (width <= 8 && x0 <= lastX8) {
                ScatterFootprint(D8(), t, work, u, mapped);
            } else {
                ScatterPixel<false>(t, work, u, 0, mapped, nullptr);
            }
        }
    }
}

// With IR the first of equally near pixels keeps its IR, so the row goes in order.
void ScatterRowImpl(const ProjectionTable& t, const ProjectedRow& work, const uint16_t* irRow,
                    uint16_t* mapped, uint16_t* mappedIr) {
    if (mappedIr == nullptr) {
        switch (t.footprintRows) {
            case 1:
                return ScatterDepthRow<1>(t, work, mapped);
            case 2:
                return ScatterDepthRow<2>(t, work, mapped);
            case 3:
                return ScatterDepthRow<3>(t, work, mapped);
            case 4:
                return ScatterDepthRow<4>(t, work, mapped);
            default:
                return ScatterDepthRow<0>(t, work, mapped);
        }
    }
    const int32_t lastX8 = static_cast<int32_t>(t.cw) - 8;
    for (uint32_t u = 0; u < t.dw; ++u) {
        if (work.z[u] == 0) {
            continue;
        }
        uint16_t irValue;
        std::memcpy(&irValue, irRow + u, sizeof irValue);  // the application's frame
        if (work.x0[u] <= lastX8 && work.x1[u] - work.x0[u] <= 8) {
            ScatterFootprintWithIr(t, work, u, irValue, mapped, mappedIr);
        } else {
            ScatterPixel<true>(t, work, u, irValue, mapped, mappedIr);
        }
    }
}

#endif

}  // namespace HWY_NAMESPACE
}  // namespace quorix::registration
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace quorix::registration {

HWY_EXPORT(ProjectRowImpl);
HWY_EXPORT(ProjectRowTargetNameImpl);
HWY_EXPORT(ScatterRowImpl);

void ScatterRow(const ProjectionTable& t, const ProjectedRow& work, const uint16_t* irRow,
                uint16_t* mapped, uint16_t* mappedIr) {
    HWY_DYNAMIC_DISPATCH(ScatterRowImpl)(t, work, irRow, mapped, mappedIr);
}

void ProjectRow(const ProjectionTable& t, uint32_t row, const uint16_t* depth, ProjectedRow& out) {
    HWY_DYNAMIC_DISPATCH(ProjectRowImpl)(t, row, depth, out);
}

const char* ProjectRowTargetName() {
    return HWY_DYNAMIC_DISPATCH(ProjectRowTargetNameImpl)();
}

}  // namespace quorix::registration
#endif
