// Commands in the form of a USB link.
#include "protocol/LinkForms.h"

#include <algorithm>

namespace quorix {
namespace {

int32_t Send(IO& io, cmd::Command& c) {
    uint32_t received = 0;
    const int32_t result = io.SetCmd(c.id, c.data.data(), c.replyCapacity, c.requestLength,
                                     c.IsGet() ? kUsbGet : kUsbSet, received);
    c.received = static_cast<uint16_t>(std::min<uint32_t>(received, c.replyCapacity));
    return result;
}

}  // namespace

int32_t TransferInForm(IO& io, std::span<const LinkForm> forms, cmd::Command& command) {
    const auto form = std::find_if(forms.begin(), forms.end(), [&](const LinkForm& f) {
        return f.id == command.id && f.direction == command.direction &&
               (f.sub < 0 || f.sub == command.data[0]);
    });
    if (form == forms.end()) {
        return Send(io, command);
    }
    cmd::Command sent = command;
    if (form->sendId != 0) {
        sent.id = form->sendId;
    }
    if (form->turnsDirection) {
        sent.direction = form->sendDirection;
    }
    if (form->requestLength != 0) {
        sent.requestLength = form->requestLength;
    }
    if (form->subFirst) {
        cmd::Command ask = sent;
        ask.direction = cmd::Direction::Set;
        ask.requestLength = 1;
        if (const int32_t result = Send(io, ask); result != 0) {
            return result;
        }
    }
    const int32_t result = Send(io, sent);
    command.data = sent.data;
    command.received = sent.received;
    return result;
}

}  // namespace quorix
