// What a session knows of its camera: read at the first start after an open (or pushed in
// the stream), changed by the setters since, and served from here instead of asking the
// camera again. The session guards it with one lock.
#pragma once

#include <array>
#include <cstdint>

#include "imaging/TofDecode.h"
#include "protocol/ProtocolTypes.h"
#include "quorix/quorix_api.h"

namespace quorix {

struct CameraRecords {
    // Frame modes of the delivered depth, IR and colour frames.
    TofFrameMode depthMode{640, 480, 30};
    TofFrameMode irMode{640, 480, 30};
    TofFrameMode rgbMode{640, 360, 30};
    LensRecord lens{};
    WDROutputMode wdr{};
    // One per depth-range group: near, mid, far.
    std::array<RangeOffsetRecord, 3> rangeOffsets{};
    std::array<NsMeasuringRange, 3> measuringRanges{};
    std::array<uint8_t, 33> dataModeList{};    // count, then up to 32 modes
    std::array<uint8_t, 10> depthRangeList{};  // count, then up to 9 ranges
    // Calibration: the depth and colour lenses, and the colour lens seen from depth.
    Matrix3 depthIntrinsic{};
    Matrix3 colourIntrinsic{};
    Distortion depthDistortion{};
    Distortion colourDistortion{};
    Matrix3 rotation{};
    Vector3 translation{};
};

}  // namespace quorix
