// UDP listening socket with an eventfd wake-up.
#include "platform/UdpListener.h"

#include "base/Status.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

namespace quorix::platform {

UdpListener::UdpListener() : m_wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

UdpListener::~UdpListener() {
    Close();
    if (m_wakeFd >= 0) {
        close(m_wakeFd);
    }
}

int UdpListener::Open() {
    Close();
    m_socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return m_socket < 0 ? errno : 0;
}

int UdpListener::EnableBroadcast() {
    const int on = 1;
    return setsockopt(m_socket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0 ? 0 : errno;
}

int UdpListener::SetReceiveTimeout(int milliseconds) {
    timeval tv{};
    tv.tv_sec = milliseconds / 1000;
    tv.tv_usec = (milliseconds % 1000) * 1000;
    return setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0 ? 0 : errno;
}

int UdpListener::EnableAddressReuse() {
    const int on = 1;
    return setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 ? 0 : errno;
}

int UdpListener::Bind(uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(port);
    return bind(m_socket, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 ? 0 : errno;
}

void UdpListener::Close() {
    if (m_socket >= 0) {
        close(m_socket);
        m_socket = -1;
    }
}

ssize_t UdpListener::Receive(uint8_t* buffer, size_t capacity, int timeoutMs) {
    if (m_socket < 0) {
        return kStatusFailed;
    }
    pollfd fds[2] = {{m_socket, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    const int ready = poll(fds, m_wakeFd >= 0 ? 2 : 1, timeoutMs);
    if (ready <= 0) {
        return ready == 0 || errno == EINTR ? 0 : -1;
    }
    if (m_wakeFd >= 0 && (fds[1].revents & POLLIN) != 0) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = read(m_wakeFd, &count, sizeof count);
        return 0;
    }
    const ssize_t n = recv(m_socket, buffer, capacity, MSG_DONTWAIT);
    if (n < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
    }
    return n;
}

void UdpListener::Wake() {
    if (m_wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(m_wakeFd, &one, sizeof one);
    }
}

}  // namespace quorix::platform
