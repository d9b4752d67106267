// The synthetic scene the simulated camera sees, as the raw 12-bit codes it sends: a back
// wall, a floor, the slanted face of a box, a sphere that moves with the frame index, a
// patch beyond every range (code 4095) and one without return (code 0). IR is a fixed
// pattern. Row 0 of both images carries the frame index as a stamp, so a host that sees
// a decoded frame knows which capture it came from.
//
// A raw depth code c stands for c / 4096 of the range's full-scale depth, so the host's
// decode table of range r turns a pixel into table_r[RawDepthCode(x, y, k)]; LimitsOfRange
// gives what that table is built from.
#pragma once

#include <cstdint>

#include "sim/SimState.h"

namespace quorix::sim {

inline constexpr uint32_t kSceneWidth = 640;
inline constexpr uint32_t kSceneHeight = 480;

// Frame stamp: bit b of the frame index fills pixels [8b, 8b + 8) of row 0.
inline constexpr uint32_t kStampBits = 32;
inline constexpr uint32_t kStampPixelsPerBit = 8;
inline constexpr uint16_t kStampDepthOne = 3072;
inline constexpr uint16_t kStampDepthZero = 1024;
inline constexpr uint16_t kStampIrOne = 4000;
inline constexpr uint16_t kStampIrZero = 200;

// The moving sphere: rows it can touch (the only depth rows besides row 0 that change from
// frame to frame) and its centre.
inline constexpr uint32_t kSphereRadius = 70;
inline constexpr uint32_t kSphereCentreY = 220;
inline constexpr uint32_t kSphereFirstRow = kSphereCentreY - kSphereRadius;
inline constexpr uint32_t kSphereLastRow = kSphereCentreY + kSphereRadius;
uint32_t SphereCentreX(uint32_t frameIndex);

// Raw depth and IR codes (0..4095) of pixel (x, y) of capture `frameIndex`; x < 640,
// y < 480.
uint16_t RawDepthCode(uint32_t x, uint32_t y, uint32_t frameIndex);
uint16_t RawIrCode(uint32_t x, uint32_t y, uint32_t frameIndex);

// Whole rows (kSceneWidth values) of the same, as the camera fills them.
void FillDepthRow(uint32_t y, uint32_t frameIndex, uint16_t* row);
void FillIrRow(uint32_t y, uint32_t frameIndex, uint16_t* row);

// The frame index stamped into `row0` (row 0 of a depth or IR image, raw or decoded):
// bit b is set where pixel 8b + 4 equals `one` (kStampIrOne for IR, kStampDepthOne for raw
// depth, table_r[kStampDepthOne] for decoded depth).
uint32_t ReadFrameStamp(const uint16_t* row0, uint16_t one);

// The still parts of the scene (everything but the stamp and the moving sphere) by depth
// pixel: which surface and its raw code, for painting the colour image.
enum class Surface : uint8_t { kWall, kBox, kFloor, kBeyond, kNoReturn };
Surface SurfaceAt(uint32_t x, uint32_t y);
uint16_t StillDepthCode(uint32_t x, uint32_t y);

// What the host's decode table of depth range `range` (0..8) is built from, as this
// sensor reports it: the slot's full-scale, largest and smallest valid depth of its
// group's measuring range, and the slot's offset from the group's depth-offset record.
struct RangeLimits {
    uint16_t depthMax = 0;
    uint16_t effectDepthMax = 0;
    uint16_t effectDepthMin = 0;
    uint16_t offset = 0;
};
RangeLimits LimitsOfRange(const SensorState& sensor, uint32_t range);

}  // namespace quorix::sim
