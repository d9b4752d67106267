// How the USB links carry a command of the shared vocabulary differently from the network:
// a table per link of the commands whose id, direction or request length changes, or
// whose get needs the sub-command sent first (an extension-unit get carries no request, so
// the camera learns what is asked from a set). Commands without a row go as built.
#pragma once

#include <cstdint>
#include <span>

#include "protocol/Commands.h"
#include "transport/IO.h"

namespace quorix {

struct LinkForm {
    uint8_t id;
    cmd::Direction direction;
    int16_t sub;  // payload byte 0 to match; -1 any
    // What changes: 0 keeps the id or the length.
    uint8_t sendId = 0;
    cmd::Direction sendDirection = cmd::Direction::Set;
    bool turnsDirection = false;
    uint8_t requestLength = 0;
    bool subFirst = false;  // a one-byte set of the sub-command goes before the get
};

// The modes of IO::SetCmd on the USB links.
inline constexpr int32_t kUsbSet = 0;
inline constexpr int32_t kUsbGet = 1;

// Sends `command` over `io` in the form the link's table gives it; the reply lands in the
// command's data with `received` set. 0 or the transport's failure.
int32_t TransferInForm(IO& io, std::span<const LinkForm> forms, cmd::Command& command);

}  // namespace quorix
