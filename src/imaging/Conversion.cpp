// Coordinate conversion: single points both ways, depth frames through the ray table, and
// depth points into the colour image. Built without floating-point contraction, so a
// multiply followed by an add rounds twice on every compiler and processor.
#include "imaging/Conversion.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "base/Status.h"
#include "imgproc/ImgPreProcess.h"
#include "log/Log.h"

namespace quorix {
namespace {

// Whether truncating `value` towards zero gives an int32 (false for NaN).
bool TruncatesToInt32(double value) {
    return value > -2147483649.0 && value < 2147483648.0;
}

// Whether `value` converts to a finite float (false for NaN and infinities).
bool FitsFloat(double value) {
    return std::fabs(value) <= static_cast<double>(FLT_MAX);
}

}  // namespace

NsDepthVector3 WorldToDepthPoint(const NsVector3f& world, const NsCameraParameters& camera,
                                 RowDirection rows) {
    const float x = world.x;
    const float y = world.y;
    const float z = world.z;
    // z <= 0 lies behind the camera (or on it), and the depth is a u16.
    if (!(z > 0.0f && z < 65536.0f) || !std::isfinite(x) || !std::isfinite(y)) {
        return NsDepthVector3{0, 0, 0};
    }
    const float q = x / z;
    const float r = y / z;
    const double column = static_cast<double>(q) * camera.fx + camera.cx;
    const double rowOffset = static_cast<double>(r) * camera.fy;
    const double row = rows == RowDirection::kDown ? rowOffset + camera.cy : camera.cy - rowOffset;
    if (!TruncatesToInt32(column) || !TruncatesToInt32(row)) {
        return NsDepthVector3{0, 0, 0};
    }
    return NsDepthVector3{static_cast<int32_t>(column), static_cast<int32_t>(row),
                          static_cast<uint16_t>(z)};
}

NsVector3f DepthToWorldPoint(const NsDepthVector3& depth, const NsCameraParameters& camera) {
    const double z = depth.depthZ;
    const double x = ((static_cast<double>(depth.depthX) - camera.cx) / camera.fx) * z;
    const double y = ((static_cast<double>(depth.depthY) - camera.cy) / camera.fy) * z;
    if (!FitsFloat(x) || !FitsFloat(y)) {
        return NsVector3f{0.0f, 0.0f, 0.0f};
    }
    return NsVector3f{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
}

void ConvertWorldToDepth(const NsVector3f* world, NsDepthVector3* depth, uint32_t count,
                         const NsCameraParameters& camera, RowDirection rows) {
    for (uint32_t i = 0; i < count; ++i) {
        depth[i] = WorldToDepthPoint(world[i], camera, rows);
    }
}

void ConvertDepthToWorld(const NsDepthVector3* depth, NsVector3f* world, uint32_t count,
                         const NsCameraParameters& camera) {
    for (uint32_t i = 0; i < count; ++i) {
        world[i] = DepthToWorldPoint(depth[i], camera);
    }
}

int32_t ConvertDepthFrameToWorld(const RayTableView& table, const uint16_t* depth, uint32_t width,
                                 uint32_t height, size_t bytes, NsVector3f* world) {
    // Only a frame of the table's width can be placed in it row for row; a narrower one
    // (binned, resized or rotated) has no known place.
    if (width > table.width || height > table.height || (width != table.width && width != 0)) {
        QLOG_WARN("depth frame %ux%u does not fit the %ux%u pixel-ray table.\n", width, height,
                  table.width, table.height);
        return kStatusBadParameter;
    }
    const size_t pixels = size_t{width} * height;
    if (bytes < pixels * 2) {
        QLOG("depth frame %ux%u holds %zu bytes, needs %zu.\n", width, height, bytes, pixels * 2);
        return kStatusBadParameter;
    }
    if (pixels == 0) {
        return 0;
    }
    const uint32_t firstRow = (table.height - height) / 2;
    for (uint32_t v = 0; v < height; ++v) {
        const size_t offset = size_t{v} * width;
        DepthRowToWorld(depth + offset, table.columns, table.rows[firstRow + v], width,
                        world + offset);
    }
    return 0;
}

void DepthRowToWorldPortable(const uint16_t* depth, const double* columnRays, double rowRay,
                             size_t pixels, NsVector3f* world) {
    for (size_t i = 0; i < pixels; ++i) {
        uint16_t d;
        memcpy(&d, depth + i, sizeof d);  // an application's frame may be unaligned
        if (d == 0 || d == 65535) {
            world[i] = NsVector3f{0.0f, 0.0f, 0.0f};
            continue;
        }
        const double dd = d;
        world[i] = NsVector3f{static_cast<float>(dd * columnRays[i]),
                              static_cast<float>(dd * rowRay), static_cast<float>(d)};
    }
}

int32_t MapDepthPointToColourPoint(ImgPreProcess* preProcess, const NsDepthVector3& depthPoint,
                                   uint32_t colourResolution, NsColorPoint* colourPoint) {
    *colourPoint = NsColorPoint{0, 0};
    if (preProcess == nullptr) {
        return kStatusFailed;
    }
    NsDepthVector3 mapped{0, 0, 0};
    if (preProcess->MapDepthPointToColour(depthPoint, colourResolution, &mapped) != 0) {
        return kStatusFailed;
    }
    const int32_t column = mapped.depthX;
    const int32_t row = mapped.depthY;
    if (column < 0 || column > 65535 || row < 0 || row > 65535) {
        return kStatusFailed;  // outside any colour image
    }
    *colourPoint = NsColorPoint{static_cast<uint16_t>(column), static_cast<uint16_t>(row)};
    return 0;
}

}  // namespace quorix
