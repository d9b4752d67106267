// Building the depth decode table. Compiled without floating-point contraction: the table
// is defined by single-precision multiply and add rounded separately, and the vector
// decoders must reproduce it bit for bit.
#include "imaging/DepthDecodeTable.h"

namespace quorix {
namespace {

uint16_t CurveDepth(float scale, uint32_t raw) {
    const float value = static_cast<float>(raw) * scale + 0.5f;
    return static_cast<uint16_t>(static_cast<int32_t>(value));
}

}  // namespace

bool BuildDepthDecodeTable(const DepthRangeLimits& limits, uint16_t* table, DepthLut* lut) {
    if (limits.depthMax == 0 || table == nullptr || lut == nullptr) {
        return false;
    }
    // depthMax / 4096, exactly, in single precision.
    const float scale = static_cast<float>(limits.depthMax) * 4.0f * 6.103515625e-05f;
    const int32_t hi = static_cast<int32_t>(limits.effectDepthMax * 1.01);
    const int32_t lo = static_cast<int32_t>(limits.effectDepthMin * 0.99);

    uint32_t zeroBelow = 0;
    uint32_t fullFrom = kDepthTableEntries;
    for (uint32_t i = 0; i < kDepthTableEntries; ++i) {
        const uint16_t d = CurveDepth(scale, i);
        if (d >= hi) {
            table[i] = kDepthBeyondRange;
            if (fullFrom == kDepthTableEntries) {
                fullFrom = i;
            }
        } else if (d <= lo) {
            table[i] = 0;
        } else {
            table[i] = static_cast<uint16_t>(d + limits.offset);
        }
        if (d <= lo) {
            zeroBelow = i + 1;  // the curve never decreases, so this is a prefix
        }
    }
    lut->table = table;
    lut->scale = scale;
    lut->offset = limits.offset;
    lut->zeroBelow = static_cast<uint16_t>(zeroBelow);
    lut->fullFrom = static_cast<uint16_t>(fullFrom);
    return true;
}

uint16_t EvaluateDepthCurve(const DepthLut& lut, uint16_t raw) {
    if (raw >= lut.fullFrom) {
        return kDepthBeyondRange;
    }
    if (raw < lut.zeroBelow) {
        return 0;
    }
    return static_cast<uint16_t>(CurveDepth(lut.scale, raw) + lut.offset);
}

}  // namespace quorix
