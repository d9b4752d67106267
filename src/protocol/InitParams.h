// The camera's initial parameters pushed in its stream (sub-packet 0x2E) instead of being
// read command by command. The payload is a list of [type u8][length u32 LE][value]; the
// typed blocks and what this SDK places in them:
//
//   type 2, 64 bytes    device options: value bytes 1-7 kept (bit 0 of byte 1: colour sensor)
//   type 6, 54 bytes    current settings, little-endian:
//                         0 data mode u8, 1 depth range u8, 2 threshold u16 (the host's unit,
//                         as SetThreshold takes it, not x 10),
//                         4 colour width u16, 6 colour height u16, 8 pulse count u16,
//                         10 GMM gain u16, 12 depth-scale factor f32, 16 the 16-bit count,
//                         18 flag u8, 19..53 reserved
//   type 7, 1 byte      kept (unused)
//   type 9, 1 byte      kept (unused)
//   type 15, 54 bytes   kept (second settings record; unused)
//   type 16, 512 bytes  calibration: 46 f64 (depth matrix 9, depth distortion 8, colour
//                       matrix 9, colour distortion 8, rotation 9, translation 3) at 0..367,
//                       the first five plane-correction values (f32) at 368..387,
//                       the two 16-byte blocks at 388..419, reserved to 511
//   type 21, 64 bytes   byte 0 option: 2 = a u32 and a byte follow; 4 = byte 1 sub-option
//                       (0 serial number, 1 firmware version), byte 2 length, then the text
//   type 22, 480 bytes  three depth-offset records (19 bytes each) at 0, three measuring-
//                       range records (19 bytes each) at 57, the data-mode list (33 bytes)
//                       at 114, the depth-range list (10 bytes) at 147, the WDR
//                       configuration (19 bytes) at 157, reserved to 479
//
// The frame engine stores the blocks as they arrive (DecodeInitParams); the session reads
// its values out of them (ReadPushedParameters); the camera side builds the payload
// (EncodeInitParams).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/ProtocolTypes.h"
#include "quorix/quorix_api.h"

namespace quorix {

// The blocks as received.
struct InitParamBlocks {
    uint8_t options[7] = {};
    uint8_t settings[54] = {};
    uint8_t byte7 = 0;
    uint8_t byte9 = 0;
    uint8_t settings2[54] = {};
    uint8_t calibration[512] = {};
    uint32_t optionValue = 0;
    uint8_t optionByte = 0;
    std::string strings[2];  // serial number, firmware version
    uint8_t records[480] = {};
    uint32_t received = 0;  // bit t set when block type t arrived
};

// Walks a 0x2E payload into `blocks`. 0 on success, -1 for a malformed payload (logged);
// blocks that arrived whole before the fault are kept.
int32_t DecodeInitParams(const uint8_t* payload, size_t length, InitParamBlocks& blocks);

// The values the session takes from the blocks.
struct PushedParameters {
    std::array<double, 46> calibration{};
    std::array<float, 5> planeCorrection{};
    std::array<std::array<uint8_t, 19>, 3> depthOffsets{};
    std::array<NsMeasuringRange, 3> measuringRanges{};
    std::array<uint8_t, 33> dataModeList{};    // count, then up to 32 codes
    std::array<uint8_t, 10> depthRangeList{};  // count, then up to 9 codes
    WDROutputMode wdr{};
    uint8_t dataMode = 0;
    uint8_t depthRange = 0;
    uint16_t threshold = 0;
    uint16_t colourWidth = 0;
    uint16_t colourHeight = 0;
    uint16_t pulseCount = 0;
    uint16_t gmmGain = 0;
    float depthScale = 0.0f;
    uint16_t count16 = 0;
    uint8_t flag = 0;
    std::array<uint8_t, 16> blockA{};
    std::array<uint8_t, 16> blockB{};
    std::string serialNumber;
    std::string firmwareVersion;
};

// False unless the settings (6), calibration (16) and records (22) blocks all arrived.
bool ReadPushedParameters(const InitParamBlocks& blocks, PushedParameters& out);

// The 0x2E payload a camera sends for `params`.
std::vector<uint8_t> EncodeInitParams(const PushedParameters& params);

}  // namespace quorix
