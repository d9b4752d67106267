// The synthetic scene: per-pixel definitions and the row fill that the frame builder uses,
// which gives the same codes with the sphere drawn only inside its bounds.
#include "sim/Scene.h"

#include <algorithm>
#include <cmath>

namespace quorix::sim {
namespace {

constexpr uint32_t kPatchLeft = 600;  // both patches: columns 600..639
constexpr uint32_t kBeyondTop = 1;    // rows 1..39: beyond every range
constexpr uint32_t kBeyondBottom = 40;
constexpr uint32_t kNoReturnTop = 440;  // rows 440..479: no return
constexpr uint32_t kFloorTop = 320;

bool InStamp(uint32_t x, uint32_t y) {
    return y == 0 && x < kStampBits * kStampPixelsPerBit;
}

bool StampBit(uint32_t x, uint32_t frameIndex) {
    return ((frameIndex >> (x / kStampPixelsPerBit)) & 1u) != 0;
}

// Everything but the sphere and the stamp.
uint16_t BackgroundDepth(uint32_t x, uint32_t y) {
    if (x >= kPatchLeft && y >= kBeyondTop && y < kBeyondBottom) {
        return 4095;
    }
    if (x >= kPatchLeft && y >= kNoReturnTop) {
        return 0;
    }
    if (y >= kFloorTop) {
        return static_cast<uint16_t>(700 + (kSceneHeight - 1 - y) * 9);  // nearer lower down
    }
    if (x >= 40 && x < 200 && y >= 160) {
        return static_cast<uint16_t>(1500 + (x - 40));  // the box face, slanted
    }
    return static_cast<uint16_t>(2300 + x / 2);  // the wall, slightly turned
}

// The sphere's code at (x, y), or 0xFFFF where it does not cover the pixel.
uint16_t SphereDepth(uint32_t x, uint32_t y, uint32_t centreX) {
    const int64_t dx = static_cast<int64_t>(x) - centreX;
    const int64_t dy = static_cast<int64_t>(y) - kSphereCentreY;
    const int64_t r2 = int64_t{kSphereRadius} * kSphereRadius;
    const int64_t d2 = dx * dx + dy * dy;
    if (d2 >= r2) {
        return 0xFFFF;
    }
    // sqrt of an integer below 2^52 is exact enough that truncation gives the integer root.
    const auto bulge = static_cast<uint32_t>(std::sqrt(static_cast<double>(r2 - d2)));
    return static_cast<uint16_t>(1900 - 6 * bulge);
}

uint16_t BackgroundIr(uint32_t x, uint32_t y) {
    if (x >= kPatchLeft && y >= kBeyondTop && y < kBeyondBottom) {
        return 4095;
    }
    const uint32_t checker = ((x / 40) + (y / 40)) % 2;
    return static_cast<uint16_t>(400 + checker * 1600 + (x * 3 + y * 5) % 256);
}

}  // namespace

Surface SurfaceAt(uint32_t x, uint32_t y) {
    if (x >= kPatchLeft && y >= kBeyondTop && y < kBeyondBottom) {
        return Surface::kBeyond;
    }
    if (x >= kPatchLeft && y >= kNoReturnTop) {
        return Surface::kNoReturn;
    }
    if (y >= kFloorTop) {
        return Surface::kFloor;
    }
    return x >= 40 && x < 200 && y >= 160 ? Surface::kBox : Surface::kWall;
}

uint16_t StillDepthCode(uint32_t x, uint32_t y) {
    return BackgroundDepth(x, y);
}

uint32_t SphereCentreX(uint32_t frameIndex) {
    return 260 + 4 * (frameIndex % 64);
}

uint16_t RawDepthCode(uint32_t x, uint32_t y, uint32_t frameIndex) {
    if (InStamp(x, y)) {
        return StampBit(x, frameIndex) ? kStampDepthOne : kStampDepthZero;
    }
    return std::min(BackgroundDepth(x, y), SphereDepth(x, y, SphereCentreX(frameIndex)));
}

uint16_t RawIrCode(uint32_t x, uint32_t y, uint32_t frameIndex) {
    if (InStamp(x, y)) {
        return StampBit(x, frameIndex) ? kStampIrOne : kStampIrZero;
    }
    return BackgroundIr(x, y);
}

void FillDepthRow(uint32_t y, uint32_t frameIndex, uint16_t* row) {
    for (uint32_t x = 0; x < kSceneWidth; ++x) {
        row[x] = BackgroundDepth(x, y);
    }
    if (y >= kSphereFirstRow && y <= kSphereLastRow) {
        const uint32_t centre = SphereCentreX(frameIndex);
        const uint32_t from = centre > kSphereRadius ? centre - kSphereRadius : 0;
        const uint32_t to = std::min(centre + kSphereRadius, kSceneWidth - 1);
        for (uint32_t x = from; x <= to; ++x) {
            row[x] = std::min(row[x], SphereDepth(x, y, centre));
        }
    }
    if (y == 0) {
        for (uint32_t x = 0; x < kStampBits * kStampPixelsPerBit; ++x) {
            row[x] = StampBit(x, frameIndex) ? kStampDepthOne : kStampDepthZero;
        }
    }
}

void FillIrRow(uint32_t y, uint32_t frameIndex, uint16_t* row) {
    for (uint32_t x = 0; x < kSceneWidth; ++x) {
        row[x] = RawIrCode(x, y, frameIndex);
    }
}

uint32_t ReadFrameStamp(const uint16_t* row0, uint16_t one) {
    uint32_t index = 0;
    for (uint32_t bit = 0; bit < kStampBits; ++bit) {
        if (row0[bit * kStampPixelsPerBit + kStampPixelsPerBit / 2] == one) {
            index |= 1u << bit;
        }
    }
    return index;
}

RangeLimits LimitsOfRange(const SensorState& sensor, uint32_t range) {
    RangeLimits limits;
    if (range > 8) {
        return limits;
    }
    const uint32_t group = range / 3;
    const uint32_t slot = range % 3;
    const auto& values = sensor.measuringRanges[group];
    limits.depthMax = values[slot];
    limits.effectDepthMax = values[3 + slot];
    limits.effectDepthMin = values[6 + slot];
    // The offsets are the record's 16-bit values at bytes 5, 11 and 17: values 2, 5, 8.
    limits.offset = sensor.rangeOffsets[group][2 + 3 * slot];
    return limits;
}

}  // namespace quorix::sim
