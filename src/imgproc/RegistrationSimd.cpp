// Vector row projection and z-buffered scatter of the registration: the portable loop's
// operations in the same order, and the same nearest-wins choice, so both give the same
// mapped images bit for bit. Compiled once per instruction set (Highway) and chosen at run
// time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imgproc/RegistrationSimd.cpp"
#include <hwy/cache_control.h>
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

void ProjectRowToIndexImpl(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                           ProjectedRow& out) {
    ProjectRowPortable(t, row, depth, out);
    IndexTail(t, out, 0);
}

void FetchColourRowImpl(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                        const ColourView& colour, uint8_t* out, ProjectedRow& work) {
    FetchColourRowPortable(t, row, depth, colour, out, work);
}

void FetchIndexedColourRowImpl(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                               const ColourView& colour, uint8_t* out, ProjectedRow& work) {
    FetchColourRowPortable(t, row, depth, colour, out, work);
    IndexTail(t, work, 0);
}

void ScatterRowImpl(const ProjectionTable& t, const ProjectedRow& work, const uint16_t* irRow,
                    uint16_t* mapped, uint16_t* mappedIr) {
    ScatterRowPortable(t, work, irRow, mapped, mappedIr);
}

#else

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using DU16 = hn::Rebind<uint16_t, DF>;

// Where a vector of depth pixels lands: their footprints [x0, x1) x [y0, y1), their depth
// zc in the colour camera and whether they land at all.
struct Landing {
    hn::Vec<DF> x0, x1, y0, y1, zc;
    hn::Mask<DF> lands;
};

// The projection of one depth row, the portable loop's operations in its order.
class RowProjector {
public:
    RowProjector(const ProjectionTable& t, uint32_t row)
        : m_t(t),
          m_ru(hn::Set(m_df, t.rowU[row])),
          m_rv(hn::Set(m_df, t.rowV[row])),
          m_rz(hn::Set(m_df, t.rowZ[row])),
          m_tu(hn::Set(m_df, t.tu)),
          m_tv(hn::Set(m_df, t.tv)),
          m_tz(hn::Set(m_df, t.tz)),
          m_hx(hn::Set(m_df, t.halfX)),
          m_hy(hn::Set(m_df, t.halfY)),
          m_cw(hn::Set(m_df, static_cast<float>(t.cw))),
          m_ch(hn::Set(m_df, static_cast<float>(t.ch))) {}

    HWY_INLINE Landing Project(const uint16_t* depth, uint32_t u) const {
        const auto zero = hn::Zero(m_df);
        const auto one = hn::Set(m_df, 1.0f);
        const auto lo = hn::Set(m_df, -kCoordinateLimit);
        const auto hi = hn::Set(m_df, kCoordinateLimit);
        const auto d = hn::PromoteTo(m_di, hn::LoadU(m_du16, depth + u));
        const auto dv = hn::ConvertTo(m_df, d);
        Landing l;
        l.zc = hn::Add(hn::Mul(dv, hn::Add(hn::LoadU(m_df, m_t.colZ.data() + u), m_rz)), m_tz);
        const auto inverse = hn::Div(one, l.zc);
        auto uc =
            hn::Mul(hn::Add(hn::Mul(dv, hn::Add(hn::LoadU(m_df, m_t.colU.data() + u), m_ru)), m_tu),
                    inverse);
        auto vc =
            hn::Mul(hn::Add(hn::Mul(dv, hn::Add(hn::LoadU(m_df, m_t.colV.data() + u), m_rv)), m_tv),
                    inverse);
        uc = hn::IfThenElse(hn::Gt(uc, lo), uc, lo);
        uc = hn::IfThenElse(hn::Lt(uc, hi), uc, hi);
        vc = hn::IfThenElse(hn::Gt(vc, lo), vc, lo);
        vc = hn::IfThenElse(hn::Lt(vc, hi), vc, hi);
        const auto left = hn::Ceil(hn::Sub(uc, m_hx));
        const auto top = hn::Ceil(hn::Sub(vc, m_hy));
        l.x0 = hn::Max(left, zero);
        l.x1 = hn::Min(hn::Max(hn::Ceil(hn::Add(uc, m_hx)), hn::Add(left, one)), m_cw);
        l.y0 = hn::Max(top, zero);
        l.y1 = hn::Min(hn::Max(hn::Ceil(hn::Add(vc, m_hy)), hn::Add(top, one)), m_ch);
        const auto validDepth = hn::RebindMask(
            m_df, hn::And(hn::Gt(d, hn::Zero(m_di)), hn::Lt(d, hn::Set(m_di, 65535))));
        l.lands = hn::And(hn::And(validDepth, hn::Ge(l.zc, one)),
                          hn::And(hn::Lt(l.x0, l.x1), hn::Lt(l.y0, l.y1)));
        return l;
    }

    const hn::Vec<DF>& ColourWidth() const { return m_cw; }
    const hn::Vec<DF>& ColourHeight() const { return m_ch; }

private:
    const DF m_df;
    const DI m_di;
    const DU16 m_du16;
    const ProjectionTable& m_t;
    const hn::Vec<DF> m_ru, m_rv, m_rz, m_tu, m_tv, m_tz, m_hx, m_hy, m_cw, m_ch;
};

// kIndexOnly: only where each pixel lands and how near (ProjectRowToIndex); nothing of
// the footprint is written.
template <bool kIndexOnly>
void ProjectRowOf(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                  ProjectedRow& out) {
    const DF df;
    const DI di;
    const DU16 du16;
    const size_t lanes = hn::Lanes(df);
    const RowProjector projector(t, row);
    const auto cw = projector.ColourWidth();
    const auto ch = projector.ColourHeight();
    const auto one = hn::Set(df, 1.0f);
    const auto half = hn::Set(df, 0.5f);
    const auto zMax = hn::Set(df, 65534.0f);
    auto bottom = hn::Zero(di);
    const auto windowColumns = hn::Set(df, static_cast<float>(kWindowColumns));
    const auto windowRows = hn::Set(df, static_cast<float>(t.footprintRows));

    uint32_t u = 0;
    for (; u + lanes <= t.dw; u += lanes) {
        const Landing l = projector.Project(depth, u);
        const auto z = hn::IfThenElseZero(l.lands, hn::Min(hn::Floor(hn::Add(l.zc, half)), zMax));
        bottom = hn::Max(bottom,
                         hn::IfThenElseZero(hn::RebindMask(di, l.lands), hn::ConvertTo(di, l.y1)));
        hn::StoreU(hn::DemoteTo(du16, hn::ConvertTo(di, z)), du16, out.z + u);
        if constexpr (kIndexOnly) {
            // Exact in float: a landing pixel's index is below kMaxRow * kMaxRow.
            hn::StoreU(
                hn::ConvertTo(di, hn::IfThenElseZero(l.lands, hn::Add(hn::Mul(l.y0, cw), l.x0))),
                di, out.offset + u);
            continue;
        }
        if (t.footprintRows != 0) {
            const auto columns = hn::Sub(l.x1, l.x0);
            const auto rows = hn::Sub(l.y1, l.y0);
            const auto window = hn::And(
                hn::And(l.lands, hn::And(hn::Le(columns, windowColumns), hn::Le(rows, windowRows))),
                hn::And(hn::Le(l.x0, hn::Sub(cw, windowColumns)),
                        hn::Le(l.y0, hn::Sub(ch, windowRows))));
            const auto shape = hn::IfThenElseZero(
                window, hn::Add(hn::Mul(hn::Sub(rows, one), windowColumns), columns));
            hn::StoreU(hn::DemoteTo(du16, hn::ConvertTo(di, shape)), du16, out.shape + u);
            hn::StoreU(
                hn::ConvertTo(di, hn::IfThenElseZero(window, hn::Add(hn::Mul(l.y0, cw), l.x0))), di,
                out.offset + u);
        }
        hn::StoreU(hn::ConvertTo(di, l.x0), di, out.x0 + u);
        hn::StoreU(hn::ConvertTo(di, l.x1), di, out.x1 + u);
        hn::StoreU(hn::ConvertTo(di, l.y0), di, out.y0 + u);
        hn::StoreU(hn::ConvertTo(di, l.y1), di, out.y1 + u);
    }
    ProjectRowPortable(t, row, depth, out, u);
    if constexpr (kIndexOnly) {
        IndexTail(t, out, u);
    }
    out.bottom = std::max(out.bottom, hn::GetLane(hn::MaxOfLanes(di, bottom)));
}

void ProjectRowImpl(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                    ProjectedRow& out) {
    ProjectRowOf<false>(t, row, depth, out);
}

void ProjectRowToIndexImpl(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                           ProjectedRow& out) {
    ProjectRowOf<true>(t, row, depth, out);
}

// Colour fetched at each pixel's nearest colour pixel (the middle of its cell of an image
// `scale` times larger, odd scales), gathered four bytes at a time: the pixel's three and
// the one before (the one after for pixel 0), so no read leaves the image; the extra byte
// is shifted out. An even scale averages four pixels: projected here, averaged in the
// portable loop. kWithIndex: the row's depths, indexes and bottom also go into `work` as
// ProjectRowToIndex writes them, so that the same projection serves a depth scatter.
template <bool kWithIndex>
void FetchColourRowOf(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                      const ColourView& colour, uint8_t* out, ProjectedRow& work) {
    if (colour.scale % 2 == 0) {
        // The mean needs each pixel's column and row: the whole projection.
        ProjectRowOf<false>(t, row, depth, work);
        if constexpr (kWithIndex) {
            IndexTail(t, work, 0);
        }
        FetchProjectedColour(t, work, colour, out, 0);
        return;
    }
    const DF df;
    const DI di;
    using DU32 = hn::RebindToUnsigned<DF>;
    using DU8 = hn::Rebind<uint8_t, DF>;
    const DU32 du32;
    const DU8 du8;
    const size_t lanes = hn::Lanes(df);
    const RowProjector projector(t, row);
    const auto three = hn::Set(di, 3);
    const float k = static_cast<float>(colour.scale);
    const float middle = static_cast<float>((colour.scale - 1) / 2);
    // Pixel (x0, y0) of the shrunk view is pixel (k x0 + m, k y0 + m) of the image, at
    // index y0 (k width) + x0 k + (m width + m): exact in float, below kMaxRow * kMaxRow.
    const auto rowStep = hn::Set(df, k * static_cast<float>(colour.width));
    const auto columnStep = hn::Set(df, k);
    const auto start = hn::Set(df, middle * static_cast<float>(colour.width) + middle);
    const auto* base = reinterpret_cast<const int32_t*>(colour.data);
    // Four sampled rows down (measured best of two and four), for an image larger than the
    // view; a view of its own size is small enough to stay in the cache.
    const size_t ahead = colour.scale > 1 ? size_t{4} * colour.scale * colour.width * 3 : 0;
    const DU16 du16;
    const auto half = hn::Set(df, 0.5f);
    const auto zMax = hn::Set(df, 65534.0f);
    const auto cw = projector.ColourWidth();
    auto bottom = hn::Zero(di);
    uint32_t u = 0;
    for (; u + lanes <= t.dw; u += lanes) {
        const Landing l = projector.Project(depth, u);
        if constexpr (kWithIndex) {
            const auto z =
                hn::IfThenElseZero(l.lands, hn::Min(hn::Floor(hn::Add(l.zc, half)), zMax));
            bottom = hn::Max(
                bottom, hn::IfThenElseZero(hn::RebindMask(di, l.lands), hn::ConvertTo(di, l.y1)));
            hn::StoreU(hn::DemoteTo(du16, hn::ConvertTo(di, z)), du16, work.z + u);
            hn::StoreU(
                hn::ConvertTo(di, hn::IfThenElseZero(l.lands, hn::Add(hn::Mul(l.y0, cw), l.x0))),
                di, work.offset + u);
        }
        const auto index = hn::ConvertTo(
            di, hn::IfThenElseZero(
                    l.lands,
                    hn::Add(hn::Add(hn::Mul(l.y0, rowStep), hn::Mul(l.x0, columnStep)), start)));
        const auto first = hn::Gt(index, hn::Zero(di));
        const auto offset =
            hn::Sub(hn::Mul(index, three), hn::IfThenElseZero(first, hn::Set(di, 1)));
        const auto bytes = hn::BitCast(du32, hn::GatherOffset(di, base, offset));
        if (ahead != 0) {
            // The frame was just decoded on another core: ask for the lines the rows
            // below will sample while this one is gathered (a hint; it never faults).
            const size_t lastLane = lanes - 1;
            hwy::Prefetch(colour.data + hn::GetLane(offset) + ahead);
            hwy::Prefetch(colour.data + hn::ExtractLane(offset, lastLane / 2) + ahead);
            hwy::Prefetch(colour.data + hn::ExtractLane(offset, lastLane) + ahead);
        }
        auto rgb = hn::Shr(bytes, hn::BitCast(du32, hn::IfThenElseZero(first, hn::Set(di, 8))));
        rgb = hn::IfThenElseZero(hn::RebindMask(du32, l.lands), rgb);
        hn::StoreInterleaved3(hn::TruncateTo(du8, rgb), hn::TruncateTo(du8, hn::ShiftRight<8>(rgb)),
                              hn::TruncateTo(du8, hn::ShiftRight<16>(rgb)), du8, out + 3 * u);
    }
    FetchColourRowPortable(t, row, depth, colour, out, work, u);
    if constexpr (kWithIndex) {
        IndexTail(t, work, u);
        work.bottom = std::max(work.bottom, hn::GetLane(hn::MaxOfLanes(di, bottom)));
    }
}

void FetchColourRowImpl(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                        const ColourView& colour, uint8_t* out, ProjectedRow& work) {
    FetchColourRowOf<false>(t, row, depth, colour, out, work);
}

void FetchIndexedColourRowImpl(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                               const ColourView& colour, uint8_t* out, ProjectedRow& work) {
    FetchColourRowOf<true>(t, row, depth, colour, out, work);
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
HWY_EXPORT(FetchColourRowImpl);
HWY_EXPORT(ProjectRowToIndexImpl);
HWY_EXPORT(FetchIndexedColourRowImpl);

void FetchIndexedColourRow(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                           const ColourView& colour, uint8_t* out, ProjectedRow& work) {
    HWY_DYNAMIC_DISPATCH(FetchIndexedColourRowImpl)(t, row, depth, colour, out, work);
}

void ProjectRowToIndex(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                       ProjectedRow& out) {
    HWY_DYNAMIC_DISPATCH(ProjectRowToIndexImpl)(t, row, depth, out);
}

void FetchColourRow(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                    const ColourView& colour, uint8_t* out, ProjectedRow& work) {
    HWY_DYNAMIC_DISPATCH(FetchColourRowImpl)(t, row, depth, colour, out, work);
}

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
