// The depth decode table of one depth range: 4096 entries mapping a 12-bit raw phase value
// to millimetres, together with its closed form, which the vector decoders evaluate instead
// of looking the table up.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorix {

inline constexpr size_t kDepthTableEntries = 4096;
inline constexpr uint16_t kDepthBeyondRange = 65535;

// One range's curve. Entry i of the table equals
//   i >= fullFrom  ? 65535
//   i <  zeroBelow ? 0
//   uint16(trunc(float(i) * scale + 0.5f) + offset).
// The raw thresholds stand for the depth limits: the curve never decreases, so "depth at or
// above the upper limit" and "depth at or below the lower limit" are ranges of raw values.
struct DepthLut {
    const uint16_t* table = nullptr;  // kDepthTableEntries entries
    float scale = 0.0f;
    uint16_t offset = 0;
    uint16_t zeroBelow = 0;
    uint16_t fullFrom = kDepthTableEntries;
};

// The limits of one range slot as the measuring-range and range-offset records give them.
struct DepthRangeLimits {
    uint16_t depthMax = 0;        // depth a raw value of 4096 would stand for, mm
    uint16_t effectDepthMax = 0;  // largest valid depth, mm
    uint16_t effectDepthMin = 0;  // smallest valid depth, mm
    uint16_t offset = 0;          // added to every decoded depth (16-bit wrap-around)
};

// Fills `table` (kDepthTableEntries entries) and `lut` (pointing at `table`) for `limits`.
// False, leaving both untouched, when depthMax is 0.
bool BuildDepthDecodeTable(const DepthRangeLimits& limits, uint16_t* table, DepthLut* lut);

// The closed form for one raw value (no table); what the table holds at `raw`.
uint16_t EvaluateDepthCurve(const DepthLut& lut, uint16_t raw);

}  // namespace quorix
