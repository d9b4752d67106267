// Encoding of the camera announcement.
#include "sim/Announcement.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace quorix::sim {

namespace {

void PutText(std::array<uint8_t, kAnnounceBytes>& out, size_t offset, size_t size,
             const std::string& text) {
    std::memcpy(out.data() + offset, text.data(), std::min(size, text.size()));
}

}  // namespace

Announcement MakeAnnouncement(const SimState& state) {
    const AnnounceState& a = state.announce;
    Announcement out;
    out.header = a.header;
    out.computeBcc = !a.bcc.has_value();
    out.bcc = a.bcc.value_or(0);
    out.len = a.len;
    out.tof = a.tof;
    out.rgb = a.rgb;
    out.ip = a.ip.value_or(state.address);
    if (a.kindCode.has_value()) {
        out.kindCode = *a.kindCode;
    } else {
        const ModelInfo* model = FindModel(state.deviceType);
        out.kindCode = model != nullptr ? model->kindCode : 0;
    }
    out.sn = state.serial;
    out.cameraState = a.cameraState;
    out.peerIp = a.peerIp;
    out.alias = state.alias;
    out.datagramLength = a.datagramLength;
    return out;
}

std::vector<uint8_t> EncodeAnnouncement(const Announcement& in) {
    std::array<uint8_t, kAnnounceBytes> bytes{};
    bytes[announce::kHeader] = in.header;
    bytes[announce::kLen] = in.len;
    bytes[announce::kTof] = in.tof;
    bytes[announce::kRgb] = in.rgb;
    PutText(bytes, announce::kIp, announce::kIpSize, in.ip);
    bytes[announce::kDeviceType] = in.kindCode;
    PutText(bytes, announce::kSn, announce::kSnSize, in.sn);
    bytes[announce::kCameraState] = in.cameraState;
    PutText(bytes, announce::kPeerIp, announce::kPeerIpSize, in.peerIp);
    PutText(bytes, announce::kAlias, announce::kAliasSize, in.alias);
    uint8_t bcc = in.bcc;
    if (in.computeBcc) {
        bcc = 0;
        for (size_t i = 0; i < bytes.size(); ++i) {
            bcc = static_cast<uint8_t>(bcc ^ (i == announce::kBcc ? 0 : bytes[i]));
        }
    }
    bytes[announce::kBcc] = bcc;

    const size_t length = std::min(in.datagramLength, kMaxDatagramBytes);
    std::vector<uint8_t> out(length, 0);
    std::copy_n(bytes.begin(), std::min(length, bytes.size()), out.begin());
    return out;
}

}  // namespace quorix::sim
