// The records that the command protocols exchange with a camera, and the property ids of
// SetProperty / GetProperty. Records the camera defines byte by byte are fixed-size byte
// blocks: the protocols copy them and never look inside.
#pragma once

#include <array>
#include <cstdint>

#include "quorix/quorix_api.h"
#include "transport/DataTap.h"

namespace quorix {

#pragma pack(push, 1)

// WDR output mode: how many depth ranges the camera alternates, which, and how many frames
// of each.
struct WDROutputMode {
    uint32_t totalRange = 0;  // 2 or 3
    uint32_t range1 = 0;      // depth range code
    uint8_t range1Count = 0;  // frames
    uint32_t range2 = 0;
    uint8_t range2Count = 0;
    uint32_t range3 = 0;
    uint8_t range3Count = 0;
};

// Pulse count of one depth range (range = 3 x group + index).
struct PulseCountRecord {
    uint16_t pulseCount = 0;
    uint8_t group = 0;  // 0..2
    uint8_t index = 0;  // 0..2
    uint8_t reserved = 0;
};

// Work mode: the mode byte, a byte the camera keeps 0, three switches.
struct WorkModeRecord {
    uint8_t mode = 0;
    uint8_t reserved = 0;
    uint8_t flags[3] = {};
};

// A sensor's output format (sensor 1 depth, 2 colour).
struct LensRecord {
    uint8_t sensor = 0;
    uint8_t state = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t fps = 0;
    uint8_t encoding = 0;
};

// DSP status (property 0x0E000017): which DSP function (selector 0..8) and its value.
struct DspStatusRecord {
    uint8_t option = 0;
    uint32_t selector = 0;
    uint8_t value = 0;
};

#pragma pack(pop)

static_assert(sizeof(WDROutputMode) == 19);
static_assert(sizeof(PulseCountRecord) == 5);
static_assert(sizeof(WorkModeRecord) == 5);
static_assert(sizeof(LensRecord) == 8);
static_assert(sizeof(DspStatusRecord) == 6);

// Framing losses of a data stream and the reconnections that mended them.
struct DataStreamHealth {
    uint32_t framingLosses = 0;
    uint32_t reconnections = 0;
};

// Firmware-upgrade and JSON-transfer state: (state, first value, second value).
struct TransferState {
    uint32_t state = 0;
    uint32_t value1 = 0;
    uint32_t value2 = 0;
};

// Camera-defined blocks, copied whole.
using GmmBlock = std::array<uint8_t, 28>;         // GetGMM's record
using PulseCountBlock = std::array<uint8_t, 20>;  // GetPulseCount's reply
using HtpBlock = std::array<uint8_t, 37>;
// Offset record: two bytes that select it, two halves of 48 bytes, one spare byte (not
// sent) and a last byte.
using OffsetRecord = std::array<uint8_t, 100>;
// Depth-offset record (property 0x0E000000): the group byte and nine u16, like
// NsMeasuringRange; the offsets of near, mid and far are the u16 at bytes 5, 11 and 17.
using RangeOffsetRecord = std::array<uint8_t, 19>;
using TalDelayRecord = std::array<uint8_t, 11>;  // f64, u16, u8
using ImuSensitivity = std::array<uint8_t, 36>;  // nine f32
using ImuOffset = std::array<uint8_t, 15>;       // three bytes, three f32
using ImuOffsetTemp = std::array<uint8_t, 11>;
using TestModeRecord = std::array<uint32_t, 4>;
using Matrix3 = std::array<double, 9>;
using Distortion = std::array<double, 8>;
using Vector3 = std::array<double, 3>;

// Property ids of SetProperty / GetProperty.
namespace property {
inline constexpr uint32_t kRangeOffset = 0x0E000000;
inline constexpr uint32_t kOutModeList = 0x0E000001;     // u8 count, up to 32 data modes
inline constexpr uint32_t kDepthRangeList = 0x0E000002;  // u8 count, up to 9 ranges
inline constexpr uint32_t kFrameInfo = 0x0E000003;
inline constexpr uint32_t kTalDelay = 0x0E000004;
inline constexpr uint32_t kDeviceUpgradeFlag = 0x0E000011;
inline constexpr uint32_t kDeviceSN = 0x0E000012;
inline constexpr uint32_t kDeviceMACAddr = 0x0E000013;
inline constexpr uint32_t kDeviceSoftVer = 0x0E000014;
inline constexpr uint32_t kDeviceIPAddr = 0x0E000015;
inline constexpr uint32_t kDeviceSubnetMask = 0x0E000016;
inline constexpr uint32_t kDspStatus = 0x0E000017;
inline constexpr uint32_t kUpgradeSupported = 0x0E000018;
inline constexpr uint32_t kUpgradeState = 0x0E000019;
inline constexpr uint32_t kJsonConfigMode = 0x0E000020;  // session: enter JSON transfer
inline constexpr uint32_t kUpgradeJson = 0x0E000021;     // session: start the JSON transfer
inline constexpr uint32_t kRgbWeightMatrix = 0x0A000001;
inline constexpr uint32_t kGmmGain16 = 0x0A000002;
inline constexpr uint32_t kHeartBeat = 0xE0000099;
inline constexpr uint32_t kPsensorData = 0xE0000100;
inline constexpr uint32_t kPsensorFirst = 0xE0000101;  // name
inline constexpr uint32_t kPsensorLast = 0xE0000106;   // time
inline constexpr uint32_t kWDRSetting = 0xE0000200;
inline constexpr uint32_t kWDRThreshold = 0xE0000201;
inline constexpr uint32_t kWDRGMMGain = 0xE0000202;
}  // namespace property

}  // namespace quorix
