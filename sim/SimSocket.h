// Small POSIX socket helpers of the simulator: an owning descriptor, listening and UDP
// sockets bound to one loopback address, and a send that gives up when asked to stop.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include <netinet/in.h>

namespace quorix::sim {

// Owns one file descriptor; -1 when empty.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& other) noexcept : m_fd(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    int Release();
    void Reset(int fd = -1);

private:
    int m_fd = -1;
};

// The IPv4 socket address of dotted `address` and `port`; false when it is not one.
bool MakeAddress(const std::string& address, uint16_t port, sockaddr_in& out);

// A non-blocking TCP socket listening on address:port (address reuse on). Empty on
// failure, with `error` set to the errno.
Fd ListenTcp(const std::string& address, uint16_t port, int& error);

// A non-blocking UDP socket bound to address, any port.
Fd OpenUdp(const std::string& address, int& error);

// Sends all of `data` on a non-blocking socket, waiting in short slices while the socket
// is full. False on an error, when `stop` turns true, or when `limit` passed.
bool SendAll(int fd, const uint8_t* data, size_t length, const std::atomic<bool>& stop,
             std::chrono::milliseconds limit);

// Dotted text of the peer of a connected socket; empty when unknown.
std::string PeerAddress(int fd);

}  // namespace quorix::sim
