// Reading the simulated camera's data frames in tests: the frame index stamped into the
// first depth row, and the status block of a frame.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "imaging/TofUnpack.h"
#include "protocol/DeviceStatus.h"
#include "sim/FrameBuilder.h"
#include "sim/Scene.h"

namespace quorix::sim::test {

// The sub-packets of a frame payload; empty when the payload does not walk whole.
inline std::vector<SubPacket> WholeSubPackets(const uint8_t* payload, size_t size) {
    bool whole = false;
    std::vector<SubPacket> packets = ListSubPackets(payload, size, &whole);
    return whole ? packets : std::vector<SubPacket>{};
}

// The capture index stamped into row 0 of the first RAW12 depth image (0x21, 0x23, 0x6F,
// 0x71); nullopt when the frame has none.
inline std::optional<uint32_t> StampOf(const uint8_t* payload, size_t size) {
    for (const SubPacket& p : WholeSubPackets(payload, size)) {
        if (p.type == 0x21 || p.type == 0x23 || p.type == 0x6F || p.type == 0x71) {
            std::vector<uint16_t> row(kStampBits * kStampPixelsPerBit);
            UnpackPixelsPortable(RawPacking::kRaw12, payload + p.offset, nullptr, row.size(),
                                 nullptr, row.data());
            return ReadFrameStamp(row.data(), kStampDepthOne);
        }
    }
    return std::nullopt;
}

// The device status block of a frame; nullopt when it has none.
inline std::optional<DeviceStatus> StatusIn(const uint8_t* payload, size_t size) {
    for (const SubPacket& p : WholeSubPackets(payload, size)) {
        DeviceStatus status;
        if (p.type == kStatusType && ParseDeviceStatus(payload + p.offset, p.length, status)) {
            return status;
        }
    }
    return std::nullopt;
}

}  // namespace quorix::sim::test
