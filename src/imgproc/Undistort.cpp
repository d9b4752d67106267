// Undistortion: the remap table from the lens model and the nearest-pixel remap.
#include "imgproc/Undistort.h"

#include <cmath>
#include <cstring>

namespace quorix::undistort {

bool IsIdentity(const double* c) {
    for (int i = 0; i < kCoefficients; ++i) {
        if (c[i] != 0.0) {
            return false;
        }
    }
    return true;
}

void Build(RemapTable& table, const registration::Pinhole& camera, const double* c) {
    const double k1 = c[0], k2 = c[1], p1 = c[2], p2 = c[3];
    const double k3 = c[4], k4 = c[5], k5 = c[6], k6 = c[7];
    table.width = camera.width;
    table.height = camera.height;
    table.source.resize(size_t{camera.width} * camera.height);
    int32_t* out = table.source.data();
    for (uint32_t v = 0; v < camera.height; ++v) {
        const double y = (v - camera.cy) / camera.fy;
        for (uint32_t u = 0; u < camera.width; ++u) {
            const double x = (u - camera.cx) / camera.fx;
            const double r2 = x * x + y * y;
            const double radial =
                (1 + r2 * (k1 + r2 * (k2 + r2 * k3))) / (1 + r2 * (k4 + r2 * (k5 + r2 * k6)));
            const double xd = x * radial + 2 * p1 * x * y + p2 * (r2 + 2 * x * x);
            const double yd = y * radial + p1 * (r2 + 2 * y * y) + 2 * p2 * x * y;
            const double su = std::floor(camera.fx * xd + camera.cx + 0.5);
            const double sv = std::floor(camera.fy * yd + camera.cy + 0.5);
            const bool inside = std::isfinite(radial) && su >= 0 && sv >= 0 && su < camera.width &&
                                sv < camera.height;
            *out++ = inside ? static_cast<int32_t>(sv) * static_cast<int32_t>(camera.width) +
                                  static_cast<int32_t>(su)
                            : -1;
        }
    }
}

void Remap(const RemapTable& table, const uint8_t* src, uint8_t* dst, uint32_t bytesPerPixel) {
    const size_t pixels = size_t{table.width} * table.height;
    const int32_t* source = table.source.data();
    for (size_t i = 0; i < pixels; ++i, dst += bytesPerPixel) {
        if (source[i] < 0) {
            std::memset(dst, 0, bytesPerPixel);
        } else {
            std::memcpy(dst, src + size_t(source[i]) * bytesPerPixel, bytesPerPixel);
        }
    }
}

}  // namespace quorix::undistort
