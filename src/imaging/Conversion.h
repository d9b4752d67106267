// Coordinate conversion between depth-image points and points in space: single points both
// ways, whole depth frames into point clouds through separable pixel rays, and one depth
// point into the colour image through the pre-processing object. Pure functions, no
// allocation; the point-cloud kernel has a vector path chosen at run time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quorix/quorix_api.h"

namespace quorix {

class ImgPreProcess;

// Row direction of world-to-depth: the second generation counts rows down from cy
// (row = cy + y/z * fy), the first generation up (row = cy - y/z * fy).
enum class RowDirection : uint8_t { kDown, kUp };

// One world point into the depth image. A point with z <= 0, a value that is not finite
// or a result outside its integer type has no depth coordinates: (0, 0, 0).
NsDepthVector3 WorldToDepthPoint(const NsVector3f& world, const NsCameraParameters& camera,
                                 RowDirection rows);
// One depth point into space. A result that does not fit a float gives (0, 0, 0).
NsVector3f DepthToWorldPoint(const NsDepthVector3& depth, const NsCameraParameters& camera);

void ConvertWorldToDepth(const NsVector3f* world, NsDepthVector3* depth, uint32_t count,
                         const NsCameraParameters& camera, RowDirection rows);
void ConvertDepthToWorld(const NsDepthVector3* depth, NsVector3f* world, uint32_t count,
                         const NsCameraParameters& camera);

// Separable pixel rays: columns[u] = (u - cx) / fx for each column u and rows[v] =
// (v - cy) / fy for each row v, so a pixel's ray is (columns[u], rows[v]). Built from the
// camera matrix alone; width + height doubles instead of two per pixel.
struct RayTableView {
    const double* columns = nullptr;  // width values
    const double* rows = nullptr;     // height values
    uint32_t width = 0;
    uint32_t height = 0;
};

// Converts a depth frame of width x height pixels (`bytes` of data at `depth`) into
// width x height world points. A frame with the table's width and fewer rows is centred
// in the table's rows (a 360-row frame of a 480-row sensor starts at table row 60).
// -15 (logged) when the frame is wider or higher than the table, narrower than it, or its
// data is shorter than width x height x 2 bytes; nothing is written then.
int32_t ConvertDepthFrameToWorld(const RayTableView& table, const uint16_t* depth, uint32_t width,
                                 uint32_t height, size_t bytes, NsVector3f* world);

// The point-cloud kernel over the `pixels` consecutive pixels of one row: a depth d of 1
// to 65534 gives (d * columnRays[i], d * rowRay, d) multiplied in double precision and
// rounded to float, 0 and 65535 give (0, 0, 0). The fastest path the processor offers is
// chosen at run time; every path gives bit for bit the portable loop's result. `depth`
// need not be aligned.
void DepthRowToWorld(const uint16_t* depth, const double* columnRays, double rowRay, size_t pixels,
                     NsVector3f* world);
// The same as a plain loop, on every processor.
void DepthRowToWorldPortable(const uint16_t* depth, const double* columnRays, double rowRay,
                             size_t pixels, NsVector3f* world);
// Name of the instruction set DepthRowToWorld uses here (for benchmarks and logs).
const char* DepthToWorldTargetName();

// One depth point into the colour image of width (low 16 bits) and height (high 16 bits)
// `colourResolution`. 0 only when the pre-processing object mapped it to a point that a
// colour point can hold; otherwise -1 with a zeroed point (also without an object).
int32_t MapDepthPointToColourPoint(ImgPreProcess* preProcess, const NsDepthVector3& depthPoint,
                                   uint32_t colourResolution, NsColorPoint* colourPoint);

}  // namespace quorix
