// Command and data framing of the simulated camera.
#include "sim/SimWire.h"

namespace quorix::sim {

ParsedRequest ParseRequest(const uint8_t* data, size_t size) {
    ParsedRequest out;
    if (size < kFrameHeaderBytes) {
        return out;
    }
    const uint32_t type = GetU32(data);
    const uint32_t bodyLength = GetU32(data + 4);
    if (type != kCommandFrameType || bodyLength < 3 || bodyLength > kMaxBodyBytes) {
        out.kind = ParsedRequest::Kind::kLost;
        return out;
    }
    if (size < kFrameHeaderBytes + bodyLength) {
        return out;
    }
    const uint8_t* body = data + kFrameHeaderBytes;
    out.consumed = kFrameHeaderBytes + bodyLength;
    const size_t n = body[2];
    if (body[0] != kBodyMarker || n != bodyLength - 3 || n > kMaxRequestPayload) {
        out.kind = ParsedRequest::Kind::kMalformed;
        return out;
    }
    out.kind = ParsedRequest::Kind::kFrame;
    out.commandByte = body[1];
    out.payloadOffset = kFrameHeaderBytes + 3;
    out.payloadLength = n;
    return out;
}

std::vector<uint8_t> EncodeReply(uint8_t commandByte, const uint8_t* payload, size_t length) {
    if (length > 255) {
        length = 255;
    }
    std::vector<uint8_t> out(kFrameHeaderBytes + 3 + length);
    PutU32(out.data(), kCommandFrameType);
    PutU32(out.data() + 4, static_cast<uint32_t>(length + 3));
    out[8] = kBodyMarker;
    out[9] = commandByte;
    out[10] = static_cast<uint8_t>(length);
    for (size_t i = 0; i < length; ++i) {
        out[11 + i] = payload[i];
    }
    return out;
}

std::array<uint8_t, kFrameHeaderBytes> EncodeDataHeader(uint32_t payloadLength) {
    std::array<uint8_t, kFrameHeaderBytes> out{};
    PutU32(out.data(), kDataFrameType);
    PutU32(out.data() + 4, payloadLength);
    return out;
}

}  // namespace quorix::sim
