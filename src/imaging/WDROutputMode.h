// The WDR output mode record: which two or three depth ranges the camera alternates in the
// WDR data modes and how many frames of each it sends per cycle.
#pragma once

#include <cstdint>

namespace quorix {

#pragma pack(push, 1)
struct WDROutputMode {
    uint32_t totalRange = 2;  // ranges fused: 2 or 3
    uint32_t range1 = 0;
    uint8_t range1Count = 1;
    uint32_t range2 = 2;
    uint8_t range2Count = 1;
    uint32_t range3 = 0;  // used when totalRange is 3
    uint8_t range3Count = 0;
};
#pragma pack(pop)
static_assert(sizeof(WDROutputMode) == 19, "the WDR output mode record is 19 bytes");

}  // namespace quorix
