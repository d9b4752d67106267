// The command protocol of a session, by its model.
#include "session/ProtocolFactory.h"

#include <mutex>

#include "log/Log.h"
#include "model/ModelTraits.h"
#include "protocol/HidProtocol.h"
#include "protocol/SocketProtocol.h"
#include "protocol/UsbProtocol.h"

namespace quorix {
namespace {

std::mutex g_factoryLock;
ProtocolFactory g_testFactory;

}  // namespace

std::unique_ptr<BaseProtocol> CreateProtocol(const SessionInfo& info) {
    {
        std::lock_guard guard(g_factoryLock);
        if (g_testFactory) {
            return g_testFactory(info);
        }
    }
    switch (TraitsOf(info.deviceType).protocol) {
        case ProtocolKind::kSocket:
            return std::make_unique<SocketProtocol>(
                static_cast<uint32_t>(info.net.ip[0]) | static_cast<uint32_t>(info.net.ip[1]) << 8 |
                    static_cast<uint32_t>(info.net.ip[2]) << 16 |
                    static_cast<uint32_t>(info.net.ip[3]) << 24,
                info.net.dataPort, info.net.commandPort);
        case ProtocolKind::kUsb:
            return std::make_unique<UsbProtocol>(info);
        case ProtocolKind::kTk1a:
            return std::make_unique<TK1A_Protocol>(info);
        case ProtocolKind::kNone:
            break;
    }
    QLOG_WARN("devicetype:%d is invalid.\n", static_cast<int>(info.deviceType));
    return nullptr;
}

std::unique_ptr<BaseProtocol> CreateTransferProtocol(const SessionInfo& info) {
    if (info.linkType != kLinkUsb) {
        return CreateProtocol(info);
    }
    {
        std::lock_guard guard(g_factoryLock);
        if (g_testFactory) {
            return g_testFactory(info);
        }
    }
    return std::make_unique<HidProtocol>(std::string(info.usb.companionPath));
}

void SetProtocolFactoryForTesting(ProtocolFactory factory) {
    std::lock_guard guard(g_factoryLock);
    g_testFactory = std::move(factory);
}

}  // namespace quorix
