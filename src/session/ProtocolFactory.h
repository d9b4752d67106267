// Which command protocol a session gets for its device type, with a test seam that lets
// tests stand a scripted protocol in for USB links that have no hardware here.
#pragma once

#include <functional>
#include <memory>

#include "model/SessionInfo.h"

namespace quorix {

class BaseProtocol;

using ProtocolFactory = std::function<std::unique_ptr<BaseProtocol>(const SessionInfo&)>;

// The protocol of the session's device type; null for types without one (logged).
std::unique_ptr<BaseProtocol> CreateProtocol(const SessionInfo& info);

// The connection a transfer worker opens to a camera in its transfer mode: a network
// camera's own protocol, or for a USB camera the upgrade-mode HID interface alone (at
// `info.usb.companionPath`), which has no video node to open. The test seam applies too.
std::unique_ptr<BaseProtocol> CreateTransferProtocol(const SessionInfo& info);

// Replaces the choice for every session created afterwards; an empty function restores it.
void SetProtocolFactoryForTesting(ProtocolFactory factory);

}  // namespace quorix
