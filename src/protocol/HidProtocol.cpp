// The command set over HID reports.
#include "protocol/HidProtocol.h"

#include <cstring>

#include "log/Log.h"
#include "protocol/LinkForms.h"

namespace quorix {
namespace {

using cmd::Direction;

// Where the HID link differs from the network's form of a command.
constexpr LinkForm kHidForms[] = {
    // SetWDRMode goes in the get direction; its reply is not used.
    {.id = 0x02,
     .direction = Direction::Set,
     .sub = 0x0A,
     .sendDirection = Direction::Get,
     .turnsDirection = true,
     .requestLength = 8},
    {.id = 0x06, .direction = Direction::Get, .sub = -1, .requestLength = 19},  // measuring range
    {.id = 0x07, .direction = Direction::Set, .sub = -1, .requestLength = 64},  // data mode
    {.id = 0x07, .direction = Direction::Get, .sub = -1, .requestLength = 1},
    {.id = 0x08, .direction = Direction::Get, .sub = -1, .requestLength = 1},   // depth mode
    {.id = 0x09, .direction = Direction::Get, .sub = -1, .requestLength = 1},   // depth range
    {.id = 0x0A, .direction = Direction::Get, .sub = -1, .requestLength = 20},  // pulse count
    {.id = 0x0E, .direction = Direction::Get, .sub = -1, .requestLength = 37},  // HTP
    {.id = 0x13, .direction = Direction::Get, .sub = -1, .subFirst = true},     // texts
    {.id = 0x15, .direction = Direction::Get, .sub = 0x11, .requestLength = 64, .subFirst = true},
    {.id = 0x15, .direction = Direction::Get, .sub = 0x12, .requestLength = 64, .subFirst = true},
    // Firmware and JSON transfer state.
    {.id = cmd::kTransferGroup, .direction = Direction::Set, .sub = -1, .sendId = 0x18},
    {.id = cmd::kTransferGroup, .direction = Direction::Get, .sub = -1, .sendId = 0x18},
};

int32_t NotSupported() {
    QLOG("Not Support.\n");
    return kStatusNotSupported;
}

}  // namespace

HidProtocol::HidProtocol(const SessionInfo& info)
    : m_path(info.usb.companionPath),
      m_hidio(info.linkType == kLinkUsb ? std::make_unique<HIDIO>() : nullptr) {}

HidProtocol::HidProtocol(std::string hidPath)
    : m_path(std::move(hidPath)), m_hidio(std::make_unique<HIDIO>()) {}

HidProtocol::~HidProtocol() {
    m_opened.store(false, std::memory_order_release);
}

int32_t HidProtocol::Transfer(cmd::Command& command) {
    if (!m_hidio) {
        return kStatusNotOpened;
    }
    return TransferInForm(*m_hidio, kHidForms, command);
}

int32_t HidProtocol::OpenDevice() {
    if (!m_hidio) {
        QLOG_WARN("no HID channel on this link.\n");
        return kStatusNotOpened;
    }
    if (m_path.empty()) {
        return kStatusNotOpened;  // the camera has no HID interface (paired by discovery)
    }
    const int32_t result = m_hidio->OpenDevice(m_path.c_str());
    if (result == 0) {
        m_opened.store(true, std::memory_order_release);
    }
    return result;
}

int32_t HidProtocol::CloseDevice() {
    m_opened.store(false, std::memory_order_release);
    if (m_hidio) {
        m_hidio->CloseDevice();
    }
    return 0;
}

int32_t HidProtocol::StartStream() {
    return 0;
}

int32_t HidProtocol::StopStream() {
    return 0;
}

int32_t HidProtocol::ReadData(uint8_t* buffer, uint32_t& length) {
    if (!m_hidio) {
        length = 0;
        return kStatusFailed;
    }
    return m_hidio->ReadData(buffer, length);
}

int32_t HidProtocol::SetConnectStatus(bool) {
    return 0;
}

int32_t HidProtocol::SetTecentMode(uint8_t mode) {
    if (!IsOpened()) {
        QLOG("device is not opened.\n");
        return 0;
    }
    cmd::Command command = cmd::SetTecentMode(mode);
    const int32_t result = Exchange(command, Where::current());
    QLOG("%d ret %d\n", mode, result);
    return result;
}

int32_t HidProtocol::GetTecentMode(uint8_t& mode) {
    if (!IsOpened()) {
        QLOG("device is not opened.\n");
        return 0;
    }
    const int32_t result = Run(cmd::GetTecentMode(), Where::current(),
                               [&](const cmd::Command& r) { return cmd::ReadTecentMode(r, mode); });
    if (result == 0) {
        QLOG("Mode:%d\n", mode);
    }
    return result;
}

int32_t HidProtocol::SetDeviceRgbWeightMatrix(const uint8_t* data, uint32_t length) {
    cmd::Command command;
    if (cmd::SetRgbWeightMatrix(data, length, command) != 0) {
        QLOG_WARN("matrix of %u bytes does not fit.\n", length);
        return kStatusBadParameter;
    }
    return Exchange(command, Where::current());
}

int32_t HidProtocol::SetRgbAecEnabled(bool enable) {
    return Run(cmd::SetRgbAecEnabled(enable), Where::current());
}

int32_t HidProtocol::SetRgbExplosureTimeAndGain(float exposure, float gain) {
    return Run(cmd::SetRgbExposure(exposure, gain), Where::current());
}

int32_t HidProtocol::GetRgbExplosureTimeAndGain(float& exposure, float& gain) {
    return Run(cmd::GetRgbExposure(), Where::current(), [&](const cmd::Command& reply) {
        return cmd::ReadRgbExposure(reply, exposure, gain);
    });
}

int32_t HidProtocol::SetProperty(uint32_t id, const void* data, uint32_t length) {
    return id == property::kDspStatus ? CommandProtocol::SetProperty(id, data, length)
                                      : NotSupported();
}

int32_t HidProtocol::GetProperty(uint32_t id, void* data, uint32_t& length) {
    return id == property::kDspStatus ? CommandProtocol::GetProperty(id, data, length)
                                      : NotSupported();
}

int32_t HidProtocol::SetToUpgradeMode_P(const char*) {
    return NotSupported();
}

int32_t HidProtocol::SetToJsonMode_P() {
    return NotSupported();
}

int32_t HidProtocol::SetJsonPath_P(const char*) {
    return NotSupported();
}

int32_t HidProtocol::IsSupportJSONConfig() {
    return NotSupported();
}

int32_t HidProtocol::SendCameraParamsEnable(bool) {
    return NotSupported();
}

int32_t HidProtocol::SetTestModeState(uint32_t, const TestModeRecord&) {
    return NotSupported();
}

int32_t HidProtocol::SetSlaveTrigger() {
    return NotSupported();
}

}  // namespace quorix
