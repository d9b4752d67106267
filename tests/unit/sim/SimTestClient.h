// A minimal host side for the simulator tests: a blocking TCP client that writes request
// frames and reads reply frames byte for byte, and a UDP receiver for announcements. Every
// wait has a generous safety limit so that a fault fails a test instead of hanging it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorix::sim::test {

using Bytes = std::vector<uint8_t>;
inline constexpr int kSafetyMs = 5000;

inline sockaddr_in Address(const std::string& ip, uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    inet_pton(AF_INET, ip.c_str(), &addr.sin_addr);
    return addr;
}

// A request frame as the host sends it: header, 0xAA, command byte, n, payload.
inline Bytes RequestFrame(uint8_t command, const Bytes& payload) {
    const auto n = static_cast<uint8_t>(payload.size());
    Bytes out{0xAA, 0, 0, 0, static_cast<uint8_t>(n + 3), 0, 0, 0, 0xAA, command, n};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

class TestClient {
public:
    TestClient() = default;
    ~TestClient() { Close(); }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool Connect(const std::string& ip, uint16_t port) {
        Close();
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in addr = Address(ip, port);
        return m_fd >= 0 &&
               ::connect(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0;
    }
    void Close() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    int Fd() const { return m_fd; }

    bool Send(const Bytes& bytes) {
        return ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    bool Request(uint8_t command, const Bytes& payload) {
        return Send(RequestFrame(command, payload));
    }

    // Exactly `count` bytes, or nullopt when the peer closed or the safety limit passed.
    std::optional<Bytes> Read(size_t count) {
        Bytes out(count);
        size_t got = 0;
        while (got < count) {
            pollfd pfd{m_fd, POLLIN, 0};
            if (::poll(&pfd, 1, kSafetyMs) <= 0) {
                return std::nullopt;
            }
            const ssize_t n = ::recv(m_fd, out.data() + got, count - got, 0);
            if (n <= 0) {
                return std::nullopt;
            }
            got += static_cast<size_t>(n);
        }
        return out;
    }
    // One reply frame, header included.
    std::optional<Bytes> ReadFrame() {
        auto header = Read(8);
        if (!header) {
            return std::nullopt;
        }
        const uint32_t length = (*header)[4] | ((*header)[5] << 8) | ((*header)[6] << 16) |
                                (static_cast<uint32_t>((*header)[7]) << 24);
        if (length > 4096) {
            return std::nullopt;
        }
        auto body = Read(length);
        if (!body) {
            return std::nullopt;
        }
        header->insert(header->end(), body->begin(), body->end());
        return header;
    }
    // The reply payload of a get, after checking the echoed command byte.
    std::optional<Bytes> Get(uint8_t command, const Bytes& payload) {
        const auto wire = static_cast<uint8_t>(command | 0x80);
        if (!Request(wire, payload)) {
            return std::nullopt;
        }
        auto frame = ReadFrame();
        if (!frame || frame->size() < 11 || (*frame)[9] != wire) {
            return std::nullopt;
        }
        return Bytes(frame->begin() + 11, frame->end());
    }
    // True once the peer has closed the connection (within the safety limit).
    bool PeerClosed() {
        uint8_t byte = 0;
        for (;;) {
            pollfd pfd{m_fd, POLLIN, 0};
            if (::poll(&pfd, 1, kSafetyMs) <= 0) {
                return false;
            }
            const ssize_t n = ::recv(m_fd, &byte, 1, 0);
            if (n <= 0) {
                return true;
            }
        }
    }

private:
    int m_fd = -1;
};

// A UDP socket on a free port of 127.0.0.1 that collects announcements.
class TestReceiver {
public:
    TestReceiver() {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr = Address("127.0.0.1", 0);
        m_bound = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0;
        socklen_t size = sizeof(addr);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &size);
        m_port = ntohs(addr.sin_port);
    }
    ~TestReceiver() { ::close(m_fd); }
    TestReceiver(const TestReceiver&) = delete;
    TestReceiver& operator=(const TestReceiver&) = delete;

    bool Bound() const { return m_bound; }
    uint16_t Port() const { return m_port; }

    // The next datagram sent from `from`, waiting up to `waitMs`; nullopt when none.
    std::optional<Bytes> Next(const std::string& from, int waitMs = kSafetyMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd pfd{m_fd, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(std::max<int64_t>(left.count(), 0))) <= 0) {
                return std::nullopt;
            }
            Bytes buffer(2048);
            sockaddr_in sender{};
            socklen_t size = sizeof(sender);
            const ssize_t n = ::recvfrom(m_fd, buffer.data(), buffer.size(), 0,
                                         reinterpret_cast<sockaddr*>(&sender), &size);
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &sender.sin_addr, text, sizeof(text));
            if (n >= 0 && from == text) {
                buffer.resize(static_cast<size_t>(n));
                return buffer;
            }
        }
    }
    // Discards everything already received (no sender matches the empty address).
    void Drain() { Next("", 0); }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
    bool m_bound = false;
};

}  // namespace quorix::sim::test
