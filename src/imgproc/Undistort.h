// Undistortion by remap tables: each pixel of the corrected image takes the pixel of the
// camera's image that the lens put there (nearest, so depth never blends across an edge).
// Coefficients are the calibration block's eight: k1 k2 p1 p2 k3 k4 k5 k6 (radial as the
// ratio of two polynomials in r^2, then the tangential terms).
#pragma once

#include <cstdint>
#include <vector>

#include "imgproc/Registration.h"

namespace quorix::undistort {

inline constexpr int kCoefficients = 8;

struct RemapTable {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<int32_t> source;  // pixel index in the camera's image, -1 outside it
};

// True when every coefficient is 0: such a lens needs no correction.
bool IsIdentity(const double* coefficients);

void Build(RemapTable& table, const registration::Pinhole& camera, const double* coefficients);

// dst[i] = src[source[i]], 0 where the source is outside; src and dst do not overlap.
void Remap(const RemapTable& table, const uint8_t* src, uint8_t* dst, uint32_t bytesPerPixel);

}  // namespace quorix::undistort
