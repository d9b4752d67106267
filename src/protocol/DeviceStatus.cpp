// Reading and writing the device status record, bounded by the bytes that arrived.
#include "protocol/DeviceStatus.h"

#include <algorithm>
#include <cstring>

namespace quorix {

bool ParseDeviceStatus(const uint8_t* payload, size_t length, DeviceStatus& s) {
    if (payload == nullptr || length < 16) {
        return false;
    }
    s.statusFlags = payload[0];
    s.slaveMode = payload[1];
    s.dataMode = payload[2];
    s.depthRange = payload[3];
    s.irs2 = payload[4];
    memcpy(s.wdr, payload + 5, sizeof s.wdr);
    s.subMode = payload[12];
    if (length < 21) {
        return true;
    }
    s.frameCounter = static_cast<uint32_t>(payload[16]) | static_cast<uint32_t>(payload[17]) << 8 |
                     static_cast<uint32_t>(payload[18]) << 16 |
                     static_cast<uint32_t>(payload[19]) << 24;
    const size_t declared = payload[20];
    const size_t available = (length - 21) / 2;
    uint16_t* const values[] = {&s.pulseCount, &s.gmmGain, &s.thresholdX10, &s.colourWidth,
                                &s.colourHeight};
    const size_t n = std::min({declared, available, std::size(values)});
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* p = payload + 21 + 2 * i;
        *values[i] = static_cast<uint16_t>(p[0] | p[1] << 8);
    }
    return true;
}

std::vector<uint8_t> EncodeDeviceStatus(const DeviceStatus& s) {
    std::vector<uint8_t> out(kDeviceStatusBytes, 0);
    out[0] = s.statusFlags;
    out[1] = s.slaveMode;
    out[2] = s.dataMode;
    out[3] = s.depthRange;
    out[4] = s.irs2;
    memcpy(out.data() + 5, s.wdr, sizeof s.wdr);
    out[12] = s.subMode;
    for (int i = 0; i < 4; ++i) {
        out[16 + i] = static_cast<uint8_t>(s.frameCounter >> (8 * i));
    }
    out[20] = 5;
    const uint16_t values[] = {s.pulseCount, s.gmmGain, s.thresholdX10, s.colourWidth,
                               s.colourHeight};
    for (size_t i = 0; i < 5; ++i) {
        out[21 + 2 * i] = static_cast<uint8_t>(values[i]);
        out[22 + 2 * i] = static_cast<uint8_t>(values[i] >> 8);
    }
    return out;
}

}  // namespace quorix
