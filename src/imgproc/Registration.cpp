// Registration: building the projection table and the z-buffered scatter; the portable
// row projection that the vector path matches bit for bit.
#include "imgproc/Registration.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quorix::registration {
namespace {

constexpr double kFootprintMargin = 1.05;
constexpr uint32_t kClearAhead = 8;  // rows cleared past the lowest footprint so far

// The ceiling of a value well inside the int range (coordinates are clamped to
// kCoordinateLimit): the baseline instruction set has no rounding instruction, and a
// library call per coordinate cost more than the rest of the projection. The same integer
// as std::ceil (a zero may lose its sign, which no comparison or conversion sees).
inline float CeilSmall(float x) {
    const auto t = static_cast<float>(static_cast<int32_t>(x));  // toward zero
    return t < x ? t + 1.0f : t;
}

uint16_t LoadDepth(const uint16_t* p) {
    uint16_t d;
    std::memcpy(&d, p, sizeof d);  // an application's frame may be unaligned
    return d;
}

}  // namespace

Pinhole ScaledTo(const Pinhole& camera, uint32_t width, uint32_t height) {
    if (camera.width == width && camera.height == height) {
        return camera;
    }
    const double sx = static_cast<double>(width) / camera.width;
    const double sy = static_cast<double>(height) / camera.height;
    return Pinhole{
        camera.fx * sx, camera.fy * sy, (camera.cx + 0.5) * sx - 0.5, (camera.cy + 0.5) * sy - 0.5,
        width,          height};
}

bool IsUsable(const Extrinsics& e) {
    for (double v : e.rotation) {
        if (!std::isfinite(v)) {
            return false;
        }
    }
    for (double v : e.translation) {
        if (!std::isfinite(v)) {
            return false;
        }
    }
    // R * R^T must be the identity.
    const auto& r = e.rotation;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const double dot =
                r[3 * i] * r[3 * j] + r[3 * i + 1] * r[3 * j + 1] + r[3 * i + 2] * r[3 * j + 2];
            if (std::abs(dot - (i == j ? 1.0 : 0.0)) > 1e-3) {
                return false;
            }
        }
    }
    return true;
}

bool IsUsable(const Pinhole& c) {
    return std::isfinite(c.fx) && std::isfinite(c.fy) && std::isfinite(c.cx) &&
           std::isfinite(c.cy) && c.fx > 0 && c.fy > 0 && c.width > 0 && c.height > 0 &&
           c.width <= kMaxRow && c.height <= kMaxRow;
}

void ProjectionTable::Build(const Pinhole& depth, const Pinhole& colour, const Extrinsics& e,
                            bool spread) {
    const auto& r = e.rotation;
    const auto& t = e.translation;
    dw = depth.width;
    dh = depth.height;
    cw = colour.width;
    ch = colour.height;
    colU.resize(dw);
    colV.resize(dw);
    colZ.resize(dw);
    rowU.resize(dh);
    rowV.resize(dh);
    rowZ.resize(dh);
    // P = d * (rx, ry, 1); Q = R P + t; column = (fx Qx + cx Qz) / Qz, row likewise.
    for (uint32_t u = 0; u < dw; ++u) {
        const double rx = (u - depth.cx) / depth.fx;
        colU[u] = static_cast<float>((colour.fx * r[0] + colour.cx * r[6]) * rx);
        colV[u] = static_cast<float>((colour.fy * r[3] + colour.cy * r[6]) * rx);
        colZ[u] = static_cast<float>(r[6] * rx);
    }
    for (uint32_t v = 0; v < dh; ++v) {
        const double ry = (v - depth.cy) / depth.fy;
        rowU[v] = static_cast<float>((colour.fx * r[1] + colour.cx * r[7]) * ry + colour.fx * r[2] +
                                     colour.cx * r[8]);
        rowV[v] = static_cast<float>((colour.fy * r[4] + colour.cy * r[7]) * ry + colour.fy * r[5] +
                                     colour.cy * r[8]);
        rowZ[v] = static_cast<float>(r[7] * ry + r[8]);
    }
    tu = static_cast<float>(colour.fx * t[0] + colour.cx * t[2]);
    tv = static_cast<float>(colour.fy * t[1] + colour.cy * t[2]);
    tz = static_cast<float>(t[2]);
    // A depth pixel seen from the colour camera spans about the ratio of the focal lengths;
    // perspective and the rotation stretch that by a few per cent, which the margin covers
    // so neighbours' footprints always meet.
    const auto half = [spread](double ratio) {
        return static_cast<float>(spread && ratio > 1.0 ? 0.5 * ratio * kFootprintMargin : 0.5);
    };
    halfX = half(colour.fx / depth.fx);
    halfY = half(colour.fy / depth.fy);
    singlePixel = halfX == 0.5f && halfY == 0.5f;
    const double step = colour.fx / depth.fx;  // colour pixels between neighbours' centres
    scatterStride = static_cast<uint32_t>(std::clamp(std::ceil(4.5 / step), 1.0, 8.0));
    // A table that only fetches colour has no use for the scatter's window.
    const double rows = std::max(std::ceil(2.0 * halfY), 1.0);
    footprintRows = spread && rows <= kWindowRows ? static_cast<uint32_t>(rows) : 0;
    built = true;
}

void ProjectRowPortable(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                        ProjectedRow& out, uint32_t first, bool withWindow) {
    const float ru = t.rowU[row];
    const float rv = t.rowV[row];
    const float rz = t.rowZ[row];
    const float cw = static_cast<float>(t.cw);
    const float ch = static_cast<float>(t.ch);
    const float windowColumns = kWindowColumns;
    const auto windowRows = static_cast<float>(t.footprintRows);
    int32_t bottom = 0;
    for (uint32_t u = first; u < t.dw; ++u) {
        const uint16_t d = LoadDepth(depth + u);
        const float df = d;
        const float zc = df * (t.colZ[u] + rz) + t.tz;
        const float inverse = 1.0f / zc;  // one division serves both coordinates
        float uc = (df * (t.colU[u] + ru) + t.tu) * inverse;
        float vc = (df * (t.colV[u] + rv) + t.tv) * inverse;
        // Written so that NaN (zc == 0) clamps to the lower limit; it is cut off below.
        uc = uc > -kCoordinateLimit ? uc : -kCoordinateLimit;
        uc = uc < kCoordinateLimit ? uc : kCoordinateLimit;
        vc = vc > -kCoordinateLimit ? vc : -kCoordinateLimit;
        vc = vc < kCoordinateLimit ? vc : kCoordinateLimit;
        // A footprint at least one pixel wide always holds a pixel centre, also where
        // rounding makes both ends ceil to the same integer.
        const float left = CeilSmall(uc - t.halfX);
        const float top = CeilSmall(vc - t.halfY);
        const float x0 = std::max(left, 0.0f);
        const float x1 = std::min(std::max(CeilSmall(uc + t.halfX), left + 1.0f), cw);
        const float y0 = std::max(top, 0.0f);
        const float y1 = std::min(std::max(CeilSmall(vc + t.halfY), top + 1.0f), ch);
        const bool lands = d != 0 && d != 65535 && zc >= 1.0f && x0 < x1 && y0 < y1;
        out.x0[u] = static_cast<int32_t>(x0);
        out.x1[u] = static_cast<int32_t>(x1);
        out.y0[u] = static_cast<int32_t>(y0);
        out.y1[u] = static_cast<int32_t>(y1);
        // The floor of a positive value is its truncation; only a landing pixel's (zc >= 1)
        // is kept, and out of range values never reach the conversion.
        const float rounded = zc + 0.5f;
        const float z =
            rounded < 65534.0f
                ? (rounded > 0.0f ? static_cast<float>(static_cast<int32_t>(rounded)) : 0.0f)
                : 65534.0f;
        out.z[u] = lands ? static_cast<uint16_t>(z) : 0;
        if (withWindow && t.footprintRows != 0) {
            const float columns = x1 - x0;
            const float rows = y1 - y0;
            const bool window = lands && columns <= windowColumns && rows <= windowRows &&
                                x0 <= cw - windowColumns && y0 <= ch - windowRows;
            out.shape[u] =
                window ? static_cast<uint16_t>((rows - 1.0f) * windowColumns + columns) : 0;
            out.offset[u] = window ? static_cast<int32_t>(y0 * cw + x0) : 0;
        }
        bottom = lands ? std::max(bottom, out.y1[u]) : bottom;
    }
    out.bottom = bottom;
}

namespace {

template <bool kWithIr>
void ScatterRowOf(const ProjectionTable& t, const ProjectedRow& work, const uint16_t* irRow,
                  uint16_t* mapped, uint16_t* mappedIr) {
    for (uint32_t u = 0; u < t.dw; ++u) {
        if (work.z[u] != 0) {
            ScatterPixel<kWithIr>(t, work, u, kWithIr ? LoadDepth(irRow + u) : 0, mapped, mappedIr);
        }
    }
}

}  // namespace

void ScatterRowPortable(const ProjectionTable& t, const ProjectedRow& work, const uint16_t* irRow,
                        uint16_t* mapped, uint16_t* mappedIr) {
    if (mappedIr != nullptr) {
        ScatterRowOf<true>(t, work, irRow, mapped, mappedIr);
    } else {
        ScatterRowOf<false>(t, work, nullptr, mapped, nullptr);
    }
}

namespace {

// Depth alone where every footprint is one pixel (colour no larger than depth), projected
// by ProjectRowToIndex: a read, minimum and write per pixel, the z-buffer test of
// ScatterPixel, in place of the footprint machinery.
void ScatterIndexed(const ProjectionTable& t, const ProjectedRow& work, uint16_t* mapped) {
    for (uint32_t u = 0; u < t.dw; ++u) {
        const uint16_t z = work.z[u];
        if (z == 0) {
            continue;
        }
        uint16_t& cell = mapped[work.offset[u]];
        const auto cellm1 = static_cast<uint16_t>(cell - 1);
        const auto zm1 = static_cast<uint16_t>(z - 1);
        cell = static_cast<uint16_t>((cellm1 < zm1 ? cellm1 : zm1) + 1);
    }
}

}  // namespace

namespace {

// project(v) then scatter(v) for every depth row v into `mapped` (and `mappedIr` when not
// null). The output is cleared a few rows ahead of the first footprint that reaches them,
// not all at once: a row cleared just before it is filled is still in the cache, where a
// whole 1080p clear would have pushed the first rows out before they are used.
template <class Project, class Scatter>
void ScatterRows(const ProjectionTable& t, uint16_t* mapped, uint16_t* mappedIr,
                 const ProjectedRow& work, const Project& project, const Scatter& scatter) {
    uint32_t cleared = 0;  // rows [0, cleared) are
    const auto clearTo = [&](uint32_t rows) {
        const size_t from = size_t{cleared} * t.cw;
        const size_t count = (size_t{rows} - cleared) * t.cw * sizeof(uint16_t);
        std::memset(mapped + from, 0, count);
        if (mappedIr != nullptr) {
            std::memset(mappedIr + from, 0, count);
        }
        cleared = rows;
    };
    for (uint32_t v = 0; v < t.dh; ++v) {
        project(v);
        if (static_cast<uint32_t>(work.bottom) > cleared) {
            clearTo(std::min(static_cast<uint32_t>(work.bottom) + kClearAhead, t.ch));
        }
        scatter(v);
    }
    clearTo(t.ch);
}

}  // namespace

void MapDepthToColour(const ProjectionTable& t, const uint16_t* depth, const uint16_t* ir,
                      uint16_t* mapped, uint16_t* mappedIr, ProjectedRow& work, bool usePortable) {
    const bool withIr = ir != nullptr && mappedIr != nullptr;
    // Depth alone into one pixel each: the minimum does not depend on the order, so the
    // plain loop gives what the footprint scatter gives.
    const bool indexed = t.singlePixel && !withIr && !usePortable;
    const auto project = [&](uint32_t v) {
        const uint16_t* depthRow = depth + size_t{v} * t.dw;
        if (indexed) {
            ProjectRowToIndex(t, v, depthRow, work);
        } else if (usePortable) {
            ProjectRowPortable(t, v, depthRow, work, 0, false);
        } else {
            ProjectRow(t, v, depthRow, work);
        }
    };
    const auto scatter = [&](uint32_t v) {
        const uint16_t* irRow = withIr ? ir + size_t{v} * t.dw : nullptr;
        if (indexed) {
            ScatterIndexed(t, work, mapped);
        } else if (usePortable) {
            ScatterRowPortable(t, work, irRow, mapped, withIr ? mappedIr : nullptr);
        } else {
            ScatterRow(t, work, irRow, mapped, withIr ? mappedIr : nullptr);
        }
    };
    ScatterRows(t, mapped, withIr ? mappedIr : nullptr, work, project, scatter);
}

void MapDepthAndColour(const ProjectionTable& t, const uint16_t* depth, const ColourView& colour,
                       uint16_t* mappedDepth, uint8_t* mappedColour, ProjectedRow& work,
                       bool usePortable) {
    const auto project = [&](uint32_t v) {
        const uint16_t* depthRow = depth + size_t{v} * t.dw;
        uint8_t* out = mappedColour + size_t{v} * t.dw * 3;
        if (usePortable) {
            FetchColourRowPortable(t, v, depthRow, colour, out, work);
            IndexTail(t, work, 0);
        } else {
            FetchIndexedColourRow(t, v, depthRow, colour, out, work);
        }
    };
    ScatterRows(t, mappedDepth, nullptr, work, project,
                [&](uint32_t) { ScatterIndexed(t, work, mappedDepth); });
}

void FetchProjectedColour(const ProjectionTable& t, const ProjectedRow& work,
                          const ColourView& colour, uint8_t* out, uint32_t first) {
    const uint32_t k = colour.scale;
    const size_t stride = size_t{colour.width} * 3;
    const uint32_t middle = (k - 1) / 2;  // of an odd cell; the top-left of an even one's
    out += size_t{first} * 3;
    for (uint32_t u = first; u < t.dw; ++u, out += 3) {
        if (work.z[u] == 0) {
            out[0] = out[1] = out[2] = 0;
            continue;
        }
        const uint8_t* in = colour.data + (size_t(work.y0[u]) * k + middle) * stride +
                            (size_t(work.x0[u]) * k + middle) * 3;
        if (k % 2 == 1) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            continue;
        }
        for (size_t c = 0; c < 3; ++c) {
            out[c] = static_cast<uint8_t>(
                (in[c] + in[c + 3] + in[c + stride] + in[c + stride + 3] + 2) / 4);
        }
    }
}

void FetchColourRowPortable(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                            const ColourView& colour, uint8_t* out, ProjectedRow& work,
                            uint32_t first) {
    ProjectRowPortable(t, row, depth, work, first);
    FetchProjectedColour(t, work, colour, out, first);
}

void MapColourToDepth(const ProjectionTable& t, const uint16_t* depth, const ColourView& colour,
                      uint8_t* mapped, ProjectedRow& work, bool usePortable) {
    for (uint32_t v = 0; v < t.dh; ++v) {
        const uint16_t* depthRow = depth + size_t{v} * t.dw;
        uint8_t* out = mapped + size_t{v} * t.dw * 3;
        if (usePortable) {
            FetchColourRowPortable(t, v, depthRow, colour, out, work);
        } else {
            FetchColourRow(t, v, depthRow, colour, out, work);
        }
    }
}

}  // namespace quorix::registration
