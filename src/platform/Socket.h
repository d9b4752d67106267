// Socket: a thin owner of one POSIX IPv4 socket (TCP or UDP). The network transports and
// discovery reach the operating system only through it. Errors come back as errno values
// (positive) so callers can log them with ErrorText; nothing here logs or throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorix::platform {

// An IPv4 address as the cameras announce it: the first octet in the lowest byte (the
// network byte order read as a little-endian word). 127.0.0.1 is Ipv4(127, 0, 0, 1).
constexpr uint32_t Ipv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return static_cast<uint32_t>(a) | (static_cast<uint32_t>(b) << 8) |
           (static_cast<uint32_t>(c) << 16) | (static_cast<uint32_t>(d) << 24);
}

// "%d.%d.%d.%d" of an address in the order above.
std::string FormatIpv4(uint32_t address);

// The system's text for an errno value.
std::string ErrorText(int error);

class Socket {
public:
    enum class Kind { Tcp, Udp };

    Socket() = default;
    ~Socket() { Close(); }
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Creates a new socket (closing a previous one); 0 or errno.
    int Open(Kind kind);
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    void Close();
    // Ends both directions without releasing the descriptor: a thread blocked in
    // WaitReadable or Receive on this socket wakes at once and sees the end of stream.
    void Shutdown() const;

    // Options; each returns 0 or errno.
    int SetReuseAddress(bool on);
    int SetReceiveBufferSize(int bytes);
    int SetKeepAlive(bool on);
    int SetKeepAliveTiming(int idleSeconds, int intervalSeconds);
    // Sends small writes at once instead of holding them until the previous one is
    // acknowledged (Nagle's algorithm off).
    int SetNoDelay(bool on);
    int SetNonBlocking(bool on);
    int SetBroadcast(bool on);

    // Connects to address:port, waiting at most timeoutMs whatever the blocking mode;
    // 0, ETIMEDOUT, or the connection's error. The blocking mode is left as it was.
    int Connect(uint32_t address, uint16_t port, int timeoutMs);
    // 0 or errno. Port 0 picks an ephemeral port.
    int Bind(uint32_t address, uint16_t port);
    int Listen(int backlog);
    // Takes one pending connection into `peer`; 0 or errno.
    int Accept(Socket& peer);
    // This end's address and port; 0 or errno.
    int LocalAddress(uint32_t& address, uint16_t& port) const;

    // Waits until a receive would not block: 1 readable (data or end of stream),
    // 0 time-out, -errno on failure. A time-out of 0 only looks.
    int WaitReadable(int timeoutMs) const;
    // One receive: the byte count, 0 when the peer closed, -errno on failure (-EAGAIN when
    // `dontWait` and nothing is queued).
    long Receive(void* data, size_t size, bool dontWait = false) const;
    // Sends every byte (without raising SIGPIPE); 0 or errno.
    int SendAll(const void* data, size_t size) const;
    // Datagram send and receive; the byte count or -errno.
    long SendTo(const void* data, size_t size, uint32_t address, uint16_t port) const;
    long ReceiveFrom(void* data, size_t size, uint32_t& address, uint16_t& port) const;

private:
    int m_fd = -1;
};

}  // namespace quorix::platform
