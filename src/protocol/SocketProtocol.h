// SocketProtocol: the command set of network cameras. Each operation becomes one or more
// exchanges on the command connection of its SocketCtl; ReadData pulls data frames from
// the data connection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "protocol/CommandProtocol.h"
#include "transport/SocketCtl.h"

namespace quorix {

class SocketProtocol : public CommandProtocol {
public:
    // `address` has the first octet in its lowest byte. Nothing connects before OpenDevice.
    SocketProtocol(uint32_t address, uint16_t dataPort, uint16_t commandPort);
    ~SocketProtocol() override;

    int32_t OpenDevice() override;
    int32_t CloseDevice() override;
    // Always 0: `length` says whether a frame arrived.
    int32_t ReadData(uint8_t* buffer, uint32_t& length) override;
    int32_t GetDataStreamHealth(DataStreamHealth& health) override;
    int32_t SetDataTap(const DataTap& tap) override;

protected:
    int32_t Transfer(cmd::Command& command) override;
    std::string HostAddress() override;

private:
    std::unique_ptr<SocketCtl> m_socketCtl;
};

}  // namespace quorix
