// A camera's command and data ports on 127.0.0.1 (ports the system picks) that answer
// the requests of one connection pair from a script: for each get request, the next
// reply bytes, sent as they are. When the script runs out, or when the bytes sent leave
// the host waiting for more, the peer shuts its side down, so the host sees a closed
// connection at once instead of waiting out its reply time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quorix::fuzz {

class ReplyPeer {
public:
    // Called for every request (command byte as on the wire, its payload): for a get (bit
    // 7 set) the bytes to send, nullopt to end the script; what it returns for a set is
    // not sent.
    using Answer = std::function<std::optional<std::vector<uint8_t>>(
        uint8_t command, const uint8_t* payload, size_t length)>;

    ReplyPeer();
    ~ReplyPeer();
    ReplyPeer(const ReplyPeer&) = delete;
    ReplyPeer& operator=(const ReplyPeer&) = delete;

    uint16_t CommandPort() const { return m_commandPort; }
    uint16_t DataPort() const { return m_dataPort; }
    // 127.0.0.1 with the first octet in the lowest byte, as the transport takes it.
    static uint32_t Address();

    // Accepts the host's command and data connections and answers until the host closes
    // them (or nothing happens for a long while). Run it on a thread of its own.
    void Serve(const Answer& answer);

    // Whether `reply` is everything the host reads for a get with `command`: it ends at a
    // reply the host takes or gives up on (model of the host's reply loop).
    static bool Settles(const std::vector<uint8_t>& reply, uint8_t command);

private:
    int m_commandListener = -1;
    int m_dataListener = -1;
    uint16_t m_commandPort = 0;
    uint16_t m_dataPort = 0;
};

}  // namespace quorix::fuzz
