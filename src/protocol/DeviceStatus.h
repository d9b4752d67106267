// The device status record a network camera sends in its stream (sub-packet 0x2C) and the
// session polls to confirm settings. Camera and host share this one definition of it:
//
//   offset  size  field
//   0       1     status flags: bit 5 low-power state, the other bits the work mode
//   1       1     slave mode (0/1)
//   2       1     data mode
//   3       1     depth range
//   4       1     IRS2 switch
//   5       1     WDR total range count
//   6       1     WDR range 1          7  range 1 frame count
//   8       1     WDR range 2          9  range 2 frame count
//   10      1     WDR range 3          11 range 3 frame count
//   12      1     active sub-mode of data modes 100-102 (mode - 99)
//   13      3     reserved, 0
//   16      4     frame counter of the camera (u32 little-endian)
//   20      1     count n of the 16-bit values that follow (5)
//   21      2n    pulse count, GMM gain, threshold x 10, colour width, colour height
//   21+2n   1     reserved, 0
//   then, optionally, a byte and a block (not sent by any camera we know; skipped)
//
// A record is read only as far as the payload reaches; missing values keep their old
// contents, and values past the five known ones are skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorix {

inline constexpr size_t kDeviceStatusBytes = 32;     // with n = 5
inline constexpr size_t kDeviceStatusMaxBytes = 34;  // longest 0x2C payload accepted

struct DeviceStatus {
    uint8_t statusFlags = 0;
    uint8_t slaveMode = 0;
    uint8_t dataMode = 0;
    uint8_t depthRange = 0;
    uint8_t irs2 = 0;
    uint8_t wdr[7] = {};  // total, range 1, count 1, range 2, count 2, range 3, count 3
    uint8_t subMode = 0;
    uint32_t frameCounter = 0;
    uint16_t pulseCount = 0;
    uint16_t gmmGain = 0;
    uint16_t thresholdX10 = 0;
    uint16_t colourWidth = 0;
    uint16_t colourHeight = 0;

    static constexpr uint8_t kLowPowerBit = 1u << 5;
};

// Reads a record into `status` as far as `length` reaches. False when not even the
// 16 fixed bytes arrived (then `status` is unchanged).
bool ParseDeviceStatus(const uint8_t* payload, size_t length, DeviceStatus& status);

// The 32-byte record of `status` (the camera side).
std::vector<uint8_t> EncodeDeviceStatus(const DeviceStatus& status);

}  // namespace quorix
