// POSIX socket helpers of the simulator.
#include "sim/SimSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorix::sim {

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        Reset(other.Release());
    }
    return *this;
}

int Fd::Release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void Fd::Reset(int fd) {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = fd;
}

bool MakeAddress(const std::string& address, uint16_t port, sockaddr_in& out) {
    out = {};
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return inet_pton(AF_INET, address.c_str(), &out.sin_addr) == 1;
}

namespace {

Fd BoundSocket(int type, const std::string& address, uint16_t port, int& error) {
    sockaddr_in addr{};
    if (!MakeAddress(address, port, addr)) {
        error = EINVAL;
        return {};
    }
    Fd fd(::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.IsOpen()) {
        error = errno;
        return {};
    }
    const int on = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
        error = errno;
        return {};
    }
    return fd;
}

}  // namespace

Fd ListenTcp(const std::string& address, uint16_t port, int& error) {
    Fd fd = BoundSocket(SOCK_STREAM, address, port, error);
    if (fd.IsOpen() && ::listen(fd.Get(), 4) != 0) {
        error = errno;
        fd.Reset();
    }
    return fd;
}

Fd OpenUdp(const std::string& address, int& error) {
    return BoundSocket(SOCK_DGRAM, address, 0, error);
}

bool SendAll(int fd, const uint8_t* data, size_t length, const std::atomic<bool>& stop,
             std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    size_t sent = 0;
    while (sent < length) {
        const ssize_t n = ::send(fd, data + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
        if (stop.load() || std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        pollfd pfd{fd, POLLOUT, 0};
        ::poll(&pfd, 1, 20);
    }
    return true;
}

std::string PeerAddress(int fd) {
    sockaddr_in addr{};
    socklen_t size = sizeof(addr);
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &size) != 0) {
        return {};
    }
    char text[INET_ADDRSTRLEN] = {};
    return ::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof(text)) != nullptr ? text : "";
}

}  // namespace quorix::sim
