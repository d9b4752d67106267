// Registration of depth and colour: depth pixels moved into the colour camera's image and
// colour fetched at each depth pixel's projection, from the two cameras' intrinsics and the
// rotation and translation between them (colour point = R * depth point + t, millimetres).
//
// The projection is built once per calibration and pair of image sizes as separable rays
// (one value per depth column and one per depth row), so a pixel costs a few multiply-adds
// and one division. A row is projected first (ProjectRow: vectorised, chosen at run time,
// or the portable loop, bit for bit the same: the same operations in the same order and no
// fused multiply-add) and then scattered through a z-buffer in plain code.
//
// A depth pixel covers the colour pixels whose centres fall inside its footprint, a
// rectangle of the colour-to-depth focal ratio around its projected centre (at least one
// pixel), so colour larger than depth gets no pin-hole pattern. Where several land on one
// colour pixel the nearest wins; the first in row order on a tie.
//
// Threads: a table is read-only once built; the kernels keep their state in the caller's
// ProjectedRow.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorix::registration {

// A camera's pinhole intrinsics for an image of width x height; pixel centres at integers.
struct Pinhole {
    double fx = 0;
    double fy = 0;
    double cx = 0;
    double cy = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

// The same camera for an image resized to width x height (pixel centres kept aligned).
Pinhole ScaledTo(const Pinhole& camera, uint32_t width, uint32_t height);

struct Extrinsics {
    std::array<double, 9> rotation{1, 0, 0, 0, 1, 0, 0, 0, 1};  // row-major
    std::array<double, 3> translation{};                        // millimetres
};

// False for a rotation that is not one (an uncalibrated camera sends zeros) or any value
// that is not finite.
bool IsUsable(const Extrinsics& extrinsics);
bool IsUsable(const Pinhole& camera);

inline constexpr uint32_t kMaxRow = 1920;
// The vector scatter's window: footprints of up to kWindowColumns columns and the table's
// footprintRows rows (at most kWindowRows) whose window of that many rows and columns lies
// inside the colour image.
inline constexpr uint32_t kWindowColumns = 4;
inline constexpr uint32_t kWindowRows = 4;

// Where each pixel of one depth row lands: the colour pixels [x0, x1) x [y0, y1), at
// depth z in the colour camera (mm); z == 0 where it lands nowhere. `bottom` covers the
// pixels from `first` on of a portable projection.
struct ProjectedRow {
    int32_t x0[kMaxRow];
    int32_t x1[kMaxRow];
    int32_t y0[kMaxRow];
    int32_t y1[kMaxRow];
    uint16_t z[kMaxRow];
    // For a footprint that fits the vector scatter's fixed window (see kWindowColumns):
    // (rows - 1) * kWindowColumns + columns, and its first pixel's index y0 * cw + x0;
    // 0 and 0 otherwise. Not written for a table without a window (footprintRows 0).
    uint16_t shape[kMaxRow];
    int32_t offset[kMaxRow];
    int32_t bottom;  // the largest y1 of the pixels that land, 0 when none does
};

class ProjectionTable {
public:
    // `spread` false: each depth pixel takes only the colour pixel nearest its projection
    // (for fetching colour); true: its footprint.
    void Build(const Pinhole& depth, const Pinhole& colour, const Extrinsics& extrinsics,
               bool spread);
    bool Fits(uint32_t depthWidth, uint32_t depthHeight, uint32_t colourWidth,
              uint32_t colourHeight) const {
        return built && depthWidth == dw && depthHeight == dh && colourWidth == cw &&
               colourHeight == ch;
    }

    bool built = false;
    uint32_t dw = 0, dh = 0, cw = 0, ch = 0;
    // Numerators of the colour column and row and the colour depth, per unit of depth:
    // column term + row term; the translation's share is added once.
    std::vector<float> colU, colV, colZ;
    std::vector<float> rowU, rowV, rowZ;
    float tu = 0, tv = 0, tz = 0;
    float halfX = 0.5f, halfY = 0.5f;  // half the footprint, colour pixels
    // Depth pixels this far apart in a row have footprints at least four colour pixels
    // apart (the vector scatter's interleaving).
    uint32_t scatterStride = 1;
    // The most rows a footprint spans (ceil of its height); 0 beyond kWindowRows and for a
    // table built without spread.
    uint32_t footprintRows = 1;
    // Every footprint is the one colour pixel nearest the projection (half 0.5 both ways).
    bool singlePixel = false;
};

// Far enough outside any image that a clamped coordinate still lands nowhere, near enough
// that it converts to an int exactly.
inline constexpr float kCoordinateLimit = 16384.0f;

// Projects depth row `row` (t.dw pixels; the portable one from pixel `first` on).
// `withWindow` false leaves shape and offset unwritten: only the vector scatter reads them.
void ProjectRowPortable(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                        ProjectedRow& out, uint32_t first = 0, bool withWindow = true);
void ProjectRow(const ProjectionTable& t, uint32_t row, const uint16_t* depth, ProjectedRow& out);
// For a single-pixel table: only z, `bottom` and in `offset` the index y0 * t.cw + x0 of
// the colour pixel each landing pixel takes (0 for the others), on vectors where the
// processor has them. The same pixels and depths as ProjectRow.
void ProjectRowToIndex(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                       ProjectedRow& out);
// Pixels [first, t.dw) of a portable projection: their index into `offset`.
inline void IndexTail(const ProjectionTable& t, ProjectedRow& out, uint32_t first) {
    for (uint32_t u = first; u < t.dw; ++u) {
        out.offset[u] = out.z[u] != 0 ? out.y0[u] * static_cast<int32_t>(t.cw) + out.x0[u] : 0;
    }
}
// Which instruction set ProjectRow uses ("portable" without vectors).
const char* ProjectRowTargetName();

// The z-buffered store of projected pixel u of `work` into its footprint in `mapped`
// (t.cw wide): a colour pixel takes the depth where it is empty (0) or farther, and with
// kWithIr `mappedIr` takes `irValue` there too. The plain loop every path falls back on.
template <bool kWithIr>
inline void ScatterPixel(const ProjectionTable& t, const ProjectedRow& work, uint32_t u,
                         uint16_t irValue, uint16_t* mapped, uint16_t* mappedIr) {
    const uint16_t z = work.z[u];
    // Nearer wins; an empty pixel (0) counts as farthest of all.
    const auto zm1 = static_cast<uint16_t>(z - 1);
    const int32_t x0 = work.x0[u];
    const int32_t width = work.x1[u] - x0;
    for (int32_t y = work.y0[u]; y < work.y1[u]; ++y) {
        const size_t base = size_t(y) * t.cw + x0;
        uint16_t* cells = mapped + base;
        for (int32_t x = 0; x < width; ++x) {
            const auto cellm1 = static_cast<uint16_t>(cells[x] - 1);
            if constexpr (kWithIr) {
                if (cellm1 > zm1) {
                    cells[x] = z;
                    mappedIr[base + x] = irValue;
                }
            } else {
                // The same choice without a branch to mispredict.
                cells[x] = static_cast<uint16_t>((cellm1 < zm1 ? cellm1 : zm1) + 1);
            }
        }
    }
}

// Scatters a projected row of depth (and IR from `irRow` when `mappedIr` is given) through
// the z-buffer `mapped`: ScatterPixel for every pixel that lands, on vectors where the
// processor has them (chosen at run time), with the same result.
void ScatterRow(const ProjectionTable& t, const ProjectedRow& work, const uint16_t* irRow,
                uint16_t* mapped, uint16_t* mappedIr);
// The same as the plain loop, on every processor.
void ScatterRowPortable(const ProjectionTable& t, const ProjectedRow& work, const uint16_t* irRow,
                        uint16_t* mapped, uint16_t* mappedIr);

// Depth (and IR, when both `ir` and `mappedIr` are given) into colour geometry: `mapped`
// (t.cw x t.ch depth values, and a z-buffer even when only IR is wanted) is cleared and
// filled; pixels nothing lands on are 0. `usePortable` chooses the portable projection and
// scatter.
void MapDepthToColour(const ProjectionTable& t, const uint16_t* depth, const uint16_t* ir,
                      uint16_t* mapped, uint16_t* mappedIr, ProjectedRow& work,
                      bool usePortable = false);

// The colour MapColourToDepth reads: a t.cw x t.ch image (scale 1), or one `scale` times
// larger (`width` pixels a row) read as geometry::ShrinkByWhole3 would shrink it: pixel
// (x, y) is the middle of cell (x, y), the rounded mean of its middle two by two for an
// even scale. Only the pixels sampled are read, so no shrunk copy is made.
struct ColourView {
    const uint8_t* data = nullptr;
    uint32_t width = 0;
    uint32_t scale = 1;
};

// One row of MapColourToDepth into `out` (t.dw x 3 bytes): the portable loop from pixel
// `first` on, and the path chosen at run time (the same bytes; `work` holds its tail).
void FetchColourRowPortable(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                            const ColourView& colour, uint8_t* out, ProjectedRow& work,
                            uint32_t first = 0);
void FetchColourRow(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                    const ColourView& colour, uint8_t* out, ProjectedRow& work);
// FetchColourRow that also leaves in `work` what ProjectRowToIndex writes (single-pixel
// tables), so one projection serves both directions.
void FetchIndexedColourRow(const ProjectionTable& t, uint32_t row, const uint16_t* depth,
                           const ColourView& colour, uint8_t* out, ProjectedRow& work);
// The colour of pixels [first, t.dw) of a row already projected into `work`.
void FetchProjectedColour(const ProjectionTable& t, const ProjectedRow& work,
                          const ColourView& colour, uint8_t* out, uint32_t first);

// Colour fetched at each depth pixel's nearest projected colour pixel into `mapped`
// (t.dw x t.dh x 3); 0 where the depth is not valid or lands outside. `t` is built with
// spread false. The form taking a pointer reads a t.cw x t.ch image.
void MapColourToDepth(const ProjectionTable& t, const uint16_t* depth, const ColourView& colour,
                      uint8_t* mapped, ProjectedRow& work, bool usePortable = false);
// MapDepthToColour of depth alone and MapColourToDepth from one projection of each row, for
// a single-pixel table (where both directions take the same colour pixel for each depth
// pixel): the same bytes as the two calls.
void MapDepthAndColour(const ProjectionTable& t, const uint16_t* depth, const ColourView& colour,
                       uint16_t* mappedDepth, uint8_t* mappedColour, ProjectedRow& work,
                       bool usePortable = false);
inline void MapColourToDepth(const ProjectionTable& t, const uint16_t* depth, const uint8_t* colour,
                             uint8_t* mapped, ProjectedRow& work, bool usePortable = false) {
    MapColourToDepth(t, depth, ColourView{colour, t.cw, 1}, mapped, work, usePortable);
}

}  // namespace quorix::registration
