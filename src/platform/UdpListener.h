// A UDP socket that listens on a port of every local address, with a wake-up so a
// listening thread stops at once instead of polling a short time-out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace quorix::platform {

class UdpListener {
public:
    UdpListener();
    ~UdpListener();
    UdpListener(const UdpListener&) = delete;
    UdpListener& operator=(const UdpListener&) = delete;

    // Each returns 0 or the errno of the failure.
    int Open();
    int EnableBroadcast();
    int SetReceiveTimeout(int milliseconds);
    int EnableAddressReuse();
    int Bind(uint16_t port);
    void Close();

    // Receives one datagram (cut at `capacity`): its length, 0 on time-out or wake-up,
    // -1 on an error.
    ssize_t Receive(uint8_t* buffer, size_t capacity, int timeoutMs);
    // Ends a waiting Receive at once; safe from any thread.
    void Wake();

private:
    int m_socket = -1;
    int m_wakeFd = -1;
};

}  // namespace quorix::platform
