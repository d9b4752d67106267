#include "ReplyPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace quorix::fuzz {
namespace {

// Generous: only a host that stopped talking altogether runs into it.
constexpr int kIdleMs = 10000;
constexpr uint32_t kFrameType = 0xAA;
constexpr size_t kHeaderBytes = 8;
constexpr uint32_t kMinBody = 3;
constexpr uint32_t kMaxBody = 4096;
constexpr int kMaxReplies = 5;

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int Listen(uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::abort();
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(fd, 4) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::abort();
    }
    port = ntohs(address.sin_port);
    return fd;
}

bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, kIdleMs) == 1;
}

int Accept(int listener) {
    return Readable(listener) ? accept4(listener, nullptr, nullptr, SOCK_CLOEXEC) : -1;
}

// Exactly `size` bytes; false when the host closed or went quiet.
bool ReadExactly(int fd, uint8_t* out, size_t size) {
    size_t got = 0;
    while (got < size) {
        if (!Readable(fd)) {
            return false;
        }
        const ssize_t n = recv(fd, out + got, size - got, 0);
        if (n <= 0) {
            return false;
        }
        got += static_cast<size_t>(n);
    }
    return true;
}

// Reads until the host closes its side.
void DrainUntilClosed(int fd) {
    uint8_t sink[512];
    while (Readable(fd) && recv(fd, sink, sizeof sink, 0) > 0) {
    }
}

}  // namespace

ReplyPeer::ReplyPeer() {
    m_commandListener = Listen(m_commandPort);
    m_dataListener = Listen(m_dataPort);
}

ReplyPeer::~ReplyPeer() {
    close(m_commandListener);
    close(m_dataListener);
}

uint32_t ReplyPeer::Address() {
    return 127u | 1u << 24;
}

bool ReplyPeer::Settles(const std::vector<uint8_t>& reply, uint8_t command) {
    size_t at = 0;
    for (int attempt = 0; attempt < kMaxReplies; ++attempt) {
        if (reply.size() - at < kHeaderBytes) {
            return false;
        }
        const uint32_t type = Le32(reply.data() + at);
        const uint32_t body = Le32(reply.data() + at + 4);
        if (body < kMinBody || body > kMaxBody) {
            return true;
        }
        if (reply.size() - at - kHeaderBytes < body) {
            return false;
        }
        if (type != kFrameType || reply[at + kHeaderBytes + 1] == command) {
            return true;
        }
        at += kHeaderBytes + body;
    }
    return true;
}

void ReplyPeer::Serve(const Answer& answer) {
    const int command = Accept(m_commandListener);
    const int data = Accept(m_dataListener);
    if (command >= 0) {
        for (;;) {
            uint8_t header[kHeaderBytes];
            if (!ReadExactly(command, header, sizeof header)) {
                break;
            }
            uint8_t body[256];
            const uint32_t length = Le32(header + 4);
            if (length < kMinBody || length > sizeof body || !ReadExactly(command, body, length)) {
                break;  // not a request of this host
            }
            const uint8_t commandByte = body[1];
            const size_t payload = std::min<size_t>(body[2], length - kMinBody);
            const std::optional<std::vector<uint8_t>> reply =
                answer(commandByte, body + 3, payload);
            if ((commandByte & 0x80) == 0) {
                continue;  // sets are not answered
            }
            if (reply && !reply->empty() &&
                send(command, reply->data(), reply->size(), MSG_NOSIGNAL) < 0) {
                break;
            }
            if (!reply || !Settles(*reply, commandByte)) {
                shutdown(command, SHUT_WR);
                DrainUntilClosed(command);
                break;
            }
        }
        close(command);
    }
    if (data >= 0) {
        DrainUntilClosed(data);
        close(data);
    }
}

}  // namespace quorix::fuzz
