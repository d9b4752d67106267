// HidProtocol: the command set over a USB camera's HID interface. The commands are the
// shared vocabulary in 64-byte reports; what the link does differently is its form table
// (HidProtocol.cpp) and the operations below. USB cameras reach it through the composite
// protocols; the transfer workers make one of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "model/SessionInfo.h"
#include "protocol/CommandProtocol.h"
#include "transport/HIDIO.h"

namespace quorix {

class HidProtocol : public CommandProtocol {
public:
    // The HID channel is made only for a USB link; its path is the record's HID interface.
    explicit HidProtocol(const SessionInfo& info);
    // A protocol on a HID interface path of its own (the transfer workers').
    explicit HidProtocol(std::string hidPath);
    ~HidProtocol() override;

    int32_t OpenDevice() override;
    int32_t CloseDevice() override;
    int32_t StartStream() override;
    int32_t StopStream() override;
    int32_t ReadData(uint8_t* buffer, uint32_t& length) override;
    int32_t SetConnectStatus(bool connected) override;

    int32_t SetRgbExplosureTimeAndGain(float exposure, float gain) override;
    int32_t GetRgbExplosureTimeAndGain(float& exposure, float& gain) override;
    int32_t SetRgbAecEnabled(bool enable) override;
    int32_t SetProperty(uint32_t id, const void* data, uint32_t length) override;
    int32_t GetProperty(uint32_t id, void* data, uint32_t& length) override;

    // Not offered over HID.
    int32_t SetToUpgradeMode_P(const char* path) override;
    int32_t SetToJsonMode_P() override;
    int32_t SetJsonPath_P(const char* path) override;
    int32_t IsSupportJSONConfig() override;
    int32_t SendCameraParamsEnable(bool enable) override;
    int32_t SetTestModeState(uint32_t mode, const TestModeRecord& record) override;
    int32_t SetSlaveTrigger() override;

    // HID-only commands that the TK1A composite calls; not interface operations.
    virtual int32_t SetTecentMode(uint8_t mode);
    virtual int32_t GetTecentMode(uint8_t& mode);
    virtual int32_t SetDeviceRgbWeightMatrix(const uint8_t* data, uint32_t length);

protected:
    int32_t Transfer(cmd::Command& command) override;

private:
    std::string m_path;
    std::unique_ptr<HIDIO> m_hidio;  // null for a link that is not USB
};

}  // namespace quorix
