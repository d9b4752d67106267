// Builds the 89-byte announcement datagram of a network camera, field by field.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace quorix::test {

struct AnnouncementBytes {
    std::vector<uint8_t> data = std::vector<uint8_t>(89, 0);

    void Set(uint8_t tof, uint8_t rgb, const std::string& ip, uint8_t kind,
             const std::string& sn, uint8_t state, const std::string& peerIp = "",
             const std::string& alias = "") {
        data.assign(89, 0);
        data[0] = 0xAA;
        data[3] = tof;
        data[4] = rgb;
        Text(5, 16, ip);
        data[21] = kind;
        Text(22, 30, sn);
        data[52] = state;
        Text(53, 16, peerIp);
        Text(69, 20, alias);
    }
    void Text(size_t offset, size_t width, const std::string& text) {
        memset(data.data() + offset, 0, width);
        memcpy(data.data() + offset, text.data(), std::min(width, text.size()));
    }
};

}  // namespace quorix::test
