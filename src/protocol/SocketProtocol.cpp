// The network cameras' command set over SocketCtl.
#include "protocol/SocketProtocol.h"

#include <algorithm>

namespace quorix {

SocketProtocol::SocketProtocol(uint32_t address, uint16_t dataPort, uint16_t commandPort)
    : m_socketCtl(std::make_unique<SocketCtl>(address, dataPort, commandPort)) {}

SocketProtocol::~SocketProtocol() {
    m_opened.store(false, std::memory_order_release);
}

int32_t SocketProtocol::Transfer(cmd::Command& command) {
    uint32_t received = 0;
    const int32_t result = m_socketCtl->SetCmd(
        command.id, command.data.data(), command.replyCapacity, command.requestLength,
        command.IsGet() ? SocketCtl::kGet : SocketCtl::kSet, received);
    command.received = static_cast<uint16_t>(std::min<uint32_t>(received, command.replyCapacity));
    return result;
}

std::string SocketProtocol::HostAddress() {
    return m_socketCtl->HostAddress();
}

int32_t SocketProtocol::OpenDevice() {
    const int32_t result = m_socketCtl->openDevice();
    if (result == 0) {
        m_opened.store(true, std::memory_order_release);
    }
    return result;
}

int32_t SocketProtocol::CloseDevice() {
    m_opened.store(false, std::memory_order_release);
    m_socketCtl->CloseDevice();
    return 0;
}

int32_t SocketProtocol::ReadData(uint8_t* buffer, uint32_t& length) {
    m_socketCtl->ReadData(buffer, length);
    return 0;
}

int32_t SocketProtocol::GetDataStreamHealth(DataStreamHealth& health) {
    const SocketCtl::DataStreamHealth h = m_socketCtl->Health();
    health.framingLosses = h.framingLosses;
    health.reconnections = h.reconnections;
    return 0;
}

int32_t SocketProtocol::SetDataTap(const DataTap& tap) {
    m_socketCtl->SetDataTap(tap);
    return 0;
}

}  // namespace quorix
