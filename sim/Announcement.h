// The 89-byte UDP datagram with which a network camera announces itself to port 9007:
// its field layout and its encoding from the camera's state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimState.h"

namespace quorix::sim {

inline constexpr uint16_t kAnnouncePort = 9007;
inline constexpr size_t kAnnounceBytes = 89;
inline constexpr size_t kMaxDatagramBytes = 1024;

// Field offsets and sizes; text fields are NUL-padded ASCII, cut at their size.
namespace announce {
inline constexpr size_t kHeader = 0;
inline constexpr size_t kBcc = 1;
inline constexpr size_t kLen = 2;
inline constexpr size_t kTof = 3;
inline constexpr size_t kRgb = 4;
inline constexpr size_t kIp = 5;
inline constexpr size_t kIpSize = 16;
inline constexpr size_t kDeviceType = 21;
inline constexpr size_t kSn = 22;
inline constexpr size_t kSnSize = 30;
inline constexpr size_t kCameraState = 52;
inline constexpr size_t kPeerIp = 53;
inline constexpr size_t kPeerIpSize = 16;
inline constexpr size_t kAlias = 69;
inline constexpr size_t kAliasSize = 20;
}  // namespace announce

struct Announcement {
    uint8_t header = 0;
    uint8_t bcc = 0;
    bool computeBcc = true;  // bcc = XOR of every other byte of the 89
    uint8_t len = 0;
    uint8_t tof = 0;
    uint8_t rgb = 0;
    std::string ip;
    uint8_t kindCode = 0;
    std::string sn;
    uint8_t cameraState = 0;
    std::string peerIp;
    std::string alias;
    size_t datagramLength = kAnnounceBytes;
};

// The announcement a camera in `state` sends.
Announcement MakeAnnouncement(const SimState& state);

// The datagram: 89 bytes laid out as above, then cut or zero-padded to datagramLength
// (at most 1024).
std::vector<uint8_t> EncodeAnnouncement(const Announcement& announcement);

}  // namespace quorix::sim
