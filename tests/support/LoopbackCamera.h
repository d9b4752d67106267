// A stand-in for a network camera's two TCP ports on 127.0.0.1, for transport and
// protocol tests: ephemeral listening ports, the accepted ends, and helpers that write
// reply and data frames and read request frames the way a camera would.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/Socket.h"

namespace quorix::test {

using Bytes = std::vector<uint8_t>;
inline constexpr uint32_t kLoopback = platform::Ipv4(127, 0, 0, 1);

inline void PutU32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

inline uint32_t GetU32(const Bytes& in, size_t at) {
    return static_cast<uint32_t>(in[at]) | (static_cast<uint32_t>(in[at + 1]) << 8) |
           (static_cast<uint32_t>(in[at + 2]) << 16) | (static_cast<uint32_t>(in[at + 3]) << 24);
}

// A reply frame: header (type, body length) and body (marker, command byte, m, payload).
inline Bytes ReplyFrame(uint8_t commandByte, const Bytes& payload, uint32_t type = 0xAA) {
    Bytes out;
    PutU32(out, type);
    PutU32(out, static_cast<uint32_t>(payload.size() + 3));
    out.push_back(0xAA);
    out.push_back(commandByte);
    out.push_back(static_cast<uint8_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

inline Bytes DataFrame(const Bytes& payload, uint32_t type = 1) {
    Bytes out;
    PutU32(out, type);
    PutU32(out, static_cast<uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// Reads n bytes; fewer when the other end closes or `waitMs` pass without a byte.
inline Bytes ReadSome(const platform::Socket& s, size_t n, int waitMs = 5000) {
    Bytes out(n);
    size_t got = 0;
    while (got < n && s.WaitReadable(waitMs) > 0) {
        const long r = s.Receive(out.data() + got, n - got);
        if (r <= 0) {
            break;
        }
        got += static_cast<size_t>(r);
    }
    out.resize(got);
    return out;
}

// One whole request frame (header and body); shorter when the connection ended.
inline Bytes ReadRequest(const platform::Socket& s, int waitMs = 5000) {
    Bytes frame = ReadSome(s, 8, waitMs);
    if (frame.size() < 8) {
        return frame;
    }
    const Bytes body = ReadSome(s, GetU32(frame, 4), waitMs);
    frame.insert(frame.end(), body.begin(), body.end());
    return frame;
}

inline void Send(const platform::Socket& s, const Bytes& bytes) {
    ASSERT_EQ(s.SendAll(bytes.data(), bytes.size()), 0);
}

// The camera's listening ports (command and data) and, once accepted, its ends.
struct LoopbackCamera {
    platform::Socket commandListen, dataListen, command, data;
    uint16_t commandPort = 0, dataPort = 0;

    LoopbackCamera() {
        Listen(commandListen, commandPort);
        Listen(dataListen, dataPort);
    }
    static void Listen(platform::Socket& s, uint16_t& port) {
        ASSERT_EQ(s.Open(platform::Socket::Kind::Tcp), 0);
        ASSERT_EQ(s.Bind(kLoopback, 0), 0);
        ASSERT_EQ(s.Listen(4), 0);
        uint32_t address = 0;
        ASSERT_EQ(s.LocalAddress(address, port), 0);
    }
    void Accept() {
        ASSERT_EQ(commandListen.Accept(command), 0);
        ASSERT_EQ(dataListen.Accept(data), 0);
    }
};

}  // namespace quorix::test
