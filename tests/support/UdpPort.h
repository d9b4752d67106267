// A UDP socket bound, without address reuse, to a port the system picks: while it is open
// no other socket can take that port.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace quorix::test {

class BusyUdpPort {
public:
    explicit BusyUdpPort(uint32_t address = INADDR_ANY)
        : m_fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(address);
        socklen_t length = sizeof a;
        if (m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &length) == 0) {
            m_port = ntohs(a.sin_port);
        }
    }
    ~BusyUdpPort() { Release(); }
    BusyUdpPort(const BusyUdpPort&) = delete;
    BusyUdpPort& operator=(const BusyUdpPort&) = delete;

    // The port held; 0 when none could be taken.
    uint16_t Port() const { return m_port; }
    void Release() {
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
    }

private:
    int m_fd;
    uint16_t m_port = 0;
};

}  // namespace quorix::test
