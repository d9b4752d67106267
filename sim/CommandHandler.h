// The camera side of the network command table: every command group, its sub-commands,
// payloads and replies, applied to and answered from a SimState. Pure logic, no sockets,
// so the table can be checked byte for byte without a connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "sim/SimState.h"

namespace quorix::sim {

// Read requests of two-step gets (a set carrying the request, then a get fetching the
// answer), remembered per command connection until the get of the same group takes them.
class PendingReads {
public:
    void Store(uint8_t group, const uint8_t* payload, size_t length);
    // The request stored for `group` (forgotten once taken); empty when none.
    std::vector<uint8_t> Take(uint8_t group);
    void Clear() { m_requests.clear(); }

private:
    std::map<uint8_t, std::vector<uint8_t>> m_requests;
};

struct CommandOutcome {
    bool reply = false;            // a get: `payload` goes back in a reply frame
    std::vector<uint8_t> payload;  // at most 64 bytes
    bool known = true;             // false: a command or sub-command the camera lacks
    bool reboot = false;           // the camera reboots: its connections drop
};

// Applies one request of session `session` (command byte as on the wire, bit 7 set for a
// get) to `state`. Sets change the state and are not answered; gets are answered from it.
// Short or odd payloads never read beyond `length`; a set that does not fit is ignored.
CommandOutcome HandleCommand(SimState& state, uint32_t session, PendingReads& pending,
                             uint8_t commandByte, const uint8_t* payload, size_t length);

}  // namespace quorix::sim
