// POSIX implementation of the IPv4 socket owner.
#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace quorix::platform {
namespace {

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;  // the lowest byte is the first octet: network order
    return sa;
}

int SetIntOption(int fd, int level, int name, int value) {
    return setsockopt(fd, level, name, &value, sizeof value) == 0 ? 0 : errno;
}

// poll() that waits out its whole time-out: a signal or an early wake-up resumes the wait
// with what is left of it.
int PollFor(int fd, short events, int timeoutMs, short& revents) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd p{fd, events, 0};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        const int wait = static_cast<int>(std::max<long>(0, left.count()));
        const int n = poll(&p, 1, wait);
        if (n > 0 || (n == 0 && wait == 0)) {
            revents = p.revents;
            return n;
        }
        if (n < 0 && errno != EINTR) {
            return -errno;
        }
    }
}

}  // namespace

std::string FormatIpv4(uint32_t address) {
    char text[16];
    snprintf(text, sizeof text, "%d.%d.%d.%d", static_cast<int>(address & 0xFF),
             static_cast<int>((address >> 8) & 0xFF), static_cast<int>((address >> 16) & 0xFF),
             static_cast<int>((address >> 24) & 0xFF));
    return text;
}

std::string ErrorText(int error) {
    char buf[128];
    // The GNU strerror_r returns the text, which may not be in buf.
    return strerror_r(error, buf, sizeof buf);
}

Socket::Socket(Socket&& other) noexcept : m_fd(other.m_fd) {
    other.m_fd = -1;
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

int Socket::Open(Kind kind) {
    Close();
    const int type = (kind == Kind::Tcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC;
    m_fd = socket(AF_INET, type, 0);
    return m_fd >= 0 ? 0 : errno;
}

void Socket::Close() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

void Socket::Shutdown() const {
    if (m_fd >= 0) {
        shutdown(m_fd, SHUT_RDWR);
    }
}

int Socket::SetReuseAddress(bool on) {
    return SetIntOption(m_fd, SOL_SOCKET, SO_REUSEADDR, on);
}

int Socket::SetReceiveBufferSize(int bytes) {
    return SetIntOption(m_fd, SOL_SOCKET, SO_RCVBUF, bytes);
}

int Socket::SetKeepAlive(bool on) {
    return SetIntOption(m_fd, SOL_SOCKET, SO_KEEPALIVE, on);
}

int Socket::SetKeepAliveTiming(int idleSeconds, int intervalSeconds) {
    if (const int err = SetIntOption(m_fd, IPPROTO_TCP, TCP_KEEPIDLE, idleSeconds); err != 0) {
        return err;
    }
    return SetIntOption(m_fd, IPPROTO_TCP, TCP_KEEPINTVL, intervalSeconds);
}

int Socket::SetNoDelay(bool on) {
    return SetIntOption(m_fd, IPPROTO_TCP, TCP_NODELAY, on);
}

int Socket::SetNonBlocking(bool on) {
    const int flags = fcntl(m_fd, F_GETFL, 0);
    if (flags < 0) {
        return errno;
    }
    const int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return fcntl(m_fd, F_SETFL, wanted) == 0 ? 0 : errno;
}

int Socket::SetBroadcast(bool on) {
    return SetIntOption(m_fd, SOL_SOCKET, SO_BROADCAST, on);
}

int Socket::Connect(uint32_t address, uint16_t port, int timeoutMs) {
    const int flags = fcntl(m_fd, F_GETFL, 0);
    if (flags < 0) {
        return errno;
    }
    const bool wasBlocking = (flags & O_NONBLOCK) == 0;
    if (wasBlocking) {
        if (const int err = SetNonBlocking(true); err != 0) {
            return err;
        }
    }
    const sockaddr_in sa = MakeAddress(address, port);
    int result = 0;
    if (connect(m_fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        result = errno;
        if (result == EINPROGRESS || result == EINTR) {
            short revents = 0;
            const int n = PollFor(m_fd, POLLOUT, timeoutMs, revents);
            if (n < 0) {
                result = -n;
            } else if (n == 0) {
                result = ETIMEDOUT;
            } else {
                int pending = 0;
                socklen_t size = sizeof pending;
                result =
                    getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &pending, &size) == 0 ? pending : errno;
            }
        }
    }
    if (wasBlocking) {
        SetNonBlocking(false);
    }
    return result;
}

int Socket::Bind(uint32_t address, uint16_t port) {
    const sockaddr_in sa = MakeAddress(address, port);
    return bind(m_fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : errno;
}

int Socket::Listen(int backlog) {
    return listen(m_fd, backlog) == 0 ? 0 : errno;
}

int Socket::Accept(Socket& peer) {
    const int fd = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    peer.Close();
    peer.m_fd = fd;
    return 0;
}

int Socket::LocalAddress(uint32_t& address, uint16_t& port) const {
    sockaddr_in sa{};
    socklen_t size = sizeof sa;
    if (getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &size) != 0) {
        return errno;
    }
    address = sa.sin_addr.s_addr;
    port = ntohs(sa.sin_port);
    return 0;
}

int Socket::WaitReadable(int timeoutMs) const {
    short revents = 0;
    const int n = PollFor(m_fd, POLLIN, timeoutMs, revents);
    return n > 0 ? 1 : n;
}

long Socket::Receive(void* data, size_t size, bool dontWait) const {
    for (;;) {
        const ssize_t n = recv(m_fd, data, size, dontWait ? MSG_DONTWAIT : 0);
        if (n >= 0) {
            return static_cast<long>(n);
        }
        if (errno != EINTR) {
            return -errno;
        }
    }
}

int Socket::SendAll(const void* data, size_t size) const {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = send(m_fd, bytes, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

long Socket::SendTo(const void* data, size_t size, uint32_t address, uint16_t port) const {
    const sockaddr_in sa = MakeAddress(address, port);
    const ssize_t n =
        sendto(m_fd, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    return n >= 0 ? static_cast<long>(n) : -errno;
}

long Socket::ReceiveFrom(void* data, size_t size, uint32_t& address, uint16_t& port) const {
    sockaddr_in sa{};
    socklen_t saSize = sizeof sa;
    const ssize_t n = recvfrom(m_fd, data, size, 0, reinterpret_cast<sockaddr*>(&sa), &saSize);
    if (n < 0) {
        return -errno;
    }
    address = sa.sin_addr.s_addr;
    port = ntohs(sa.sin_port);
    return static_cast<long>(n);
}

}  // namespace quorix::platform
