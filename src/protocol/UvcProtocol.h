// UvcProtocol: the command set over a USB camera's UVC extension unit, and its video. It
// uses the DXCtl of its device path, shared with every other protocol of the camera, and
// closes that channel only when its own open was the one that opened it: a temporary
// protocol (reading a camera's alias) never tears down a session's stream.
#pragma once

#include <cstdint>
#include <memory>

#include "model/SessionInfo.h"
#include "protocol/CommandProtocol.h"
#include "transport/DXCtl.h"

namespace quorix {

class UvcProtocol : public CommandProtocol {
public:
    // The capture channel is taken from the registry only for a USB link.
    explicit UvcProtocol(const SessionInfo& info);
    ~UvcProtocol() override;

    // 0 when this protocol opened the channel; 1 when the channel was open already (the
    // protocol stays closed and will not close it); -13 when it cannot be opened.
    int32_t OpenDevice() override;
    int32_t CloseDevice() override;
    int32_t StartStream() override;
    int32_t StopStream() override;
    int32_t ReadData(uint8_t* buffer, uint32_t& length) override;
    int32_t SetConnectStatus(bool connected) override;

    int32_t SetDataMode(uint8_t mode) override;
    int32_t IsSupportJSONConfig() override;
    int32_t SetWDRGMMGain(const void* record, uint32_t length) override;
    int32_t GetWDRGMMGain(void* record, uint32_t length) override;
    int32_t SetWDRThreshold(const void* record, uint32_t length) override;
    int32_t GetWDRThreshold(void* record, uint32_t length) override;
    int32_t SetProperty(uint32_t id, const void* data, uint32_t length) override;
    int32_t GetProperty(uint32_t id, void* data, uint32_t& length) override;

    // Firmware and JSON transfer go over HID.
    int32_t GetUpgradeIsSupported(uint8_t& supported) override;
    int32_t SetToUpgradeMode_P(const char* path) override;
    int32_t SetUpgradeState(const TransferState& state) override;
    int32_t GetUpgradeState(TransferState& state) override;
    int32_t RebootCamera() override;
    int32_t GetJsonIsSupported(uint8_t& supported) override;
    int32_t SetToJsonMode_P() override;
    int32_t SetJsonPath_P(const char* path) override;
    int32_t SetJsonState(const TransferState& state) override;
    int32_t GetJsonState(TransferState& state) override;

    // Proximity sensors (not interface operations; the TK1A composite's properties reach
    // them). A value outside its range returns 1 and sends nothing. The 16-bit forms carry
    // the sensor id in the low byte and the value in the high byte.
    enum PsensorItem : uint8_t { kReading, kName, kEnable, kThreshold, kPulseWidth, kGain, kTime };
    int32_t GetPsensorData(uint8_t id, uint16_t& value);
    int32_t SetPsensorName(uint8_t id, const char* name, uint32_t length);
    int32_t GetPsensorName(uint8_t id, char* name, uint32_t capacity);
    int32_t SetPsensorThreshold(uint8_t id, uint16_t high, uint16_t low);
    int32_t GetPsensorThreshold(uint8_t id, uint16_t& high, uint16_t& low);
    // Enable, pulse width, gain, time.
    int32_t SetPsensorByte(PsensorItem item, uint16_t idAndValue);
    int32_t GetPsensorByte(PsensorItem item, uint8_t id, uint8_t& value);

    // Whether this protocol's open opened the shared channel.
    bool OwnsChannel() const { return m_ownsChannel; }

protected:
    int32_t Transfer(cmd::Command& command) override;

private:
    int32_t SetWdr(uint8_t group, const void* record, uint32_t length, const Where& where);
    int32_t GetWdr(uint8_t group, void* record, uint32_t length, const Where& where);
    int32_t AskPsensor(uint8_t id, uint8_t item, cmd::Command& reply, size_t need,
                       const Where& where);

    CaptureRequest m_request;
    std::shared_ptr<DXCtl> m_dxctl;  // null for a link that is not USB
    bool m_ownsChannel = false;
};

}  // namespace quorix
