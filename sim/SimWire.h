// Camera side of the framing on the TCP connections of a network camera: request frames
// parsed from the command connection, reply frames built for it, and the header of the
// data frames sent on the data connection. All integers are little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorix::sim {

inline constexpr uint16_t kCommandPortBase = 9008;
inline constexpr uint16_t kDataPortBase = 9009;
inline constexpr uint16_t kPortStride = 10;

inline constexpr uint32_t kCommandFrameType = 0xAA;
inline constexpr uint8_t kBodyMarker = 0xAA;
inline constexpr uint32_t kDataFrameType = 1;
inline constexpr size_t kFrameHeaderBytes = 8;
inline constexpr size_t kMaxRequestPayload = 64;
// The payload length travels in one byte; a body is that byte's worth plus 3.
inline constexpr size_t kMaxBodyBytes = 255 + 3;
inline constexpr uint8_t kGetBit = 0x80;

// Result of looking at the bytes received so far on a command connection.
struct ParsedRequest {
    enum class Kind {
        kNeedMore,   // no whole frame yet
        kFrame,      // a well-formed request: command byte and payload below
        kMalformed,  // a whole frame whose body is inconsistent; skip `consumed` bytes
        kLost,       // the header cannot be a request frame: framing is lost
    };
    Kind kind = Kind::kNeedMore;
    size_t consumed = 0;        // bytes of the input that the frame took
    uint8_t commandByte = 0;    // as on the wire, bit 7 set for a get
    size_t payloadOffset = 0;   // into the input
    size_t payloadLength = 0;
};

// Looks for one request frame at the start of `data`. A frame is the 8-byte header (type
// 0xAA, body length L), then L body bytes: 0xAA, the command byte, n, n payload bytes,
// with L = n + 3 and n at most 64.
ParsedRequest ParseRequest(const uint8_t* data, size_t size);

// A reply frame: header (type 0xAA, body length m + 3), 0xAA, the command byte, m, payload.
std::vector<uint8_t> EncodeReply(uint8_t commandByte, const uint8_t* payload, size_t length);

// The 8-byte header of a data frame carrying `payloadLength` bytes.
std::array<uint8_t, kFrameHeaderBytes> EncodeDataHeader(uint32_t payloadLength);

inline uint16_t CommandPort(uint32_t session) {
    return static_cast<uint16_t>(kCommandPortBase + kPortStride * session);
}
inline uint16_t DataPort(uint32_t session) {
    return static_cast<uint16_t>(kDataPortBase + kPortStride * session);
}

// Little-endian access used by the command table.
inline uint16_t GetU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void PutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>((v >> (8 * i)) & 0xFF);
    }
}

}  // namespace quorix::sim
