// The command set over the UVC extension unit, and the video over the shared DXCtl.
#include "protocol/UvcProtocol.h"

#include <algorithm>
#include <cstring>

#include "log/Log.h"
#include "protocol/LinkForms.h"

namespace quorix {
namespace {

using cmd::Direction;

// Where the UVC link differs from the network's form of a command. A get reads the
// control's block without sending anything, so gets that must say what they ask send the
// sub-command first.
constexpr LinkForm kUvcForms[] = {
    {.id = 0x06, .direction = Direction::Get, .sub = -1, .requestLength = 19},  // measuring range
    {.id = 0x07, .direction = Direction::Get, .sub = -1, .requestLength = 1},   // data mode
    {.id = 0x08, .direction = Direction::Get, .sub = -1, .requestLength = 1},   // depth mode
    {.id = 0x09, .direction = Direction::Get, .sub = -1, .requestLength = 1},   // depth range
    {.id = 0x0A, .direction = Direction::Get, .sub = -1, .requestLength = 20},  // pulse count
    {.id = 0x0E, .direction = Direction::Get, .sub = -1, .requestLength = 37},  // HTP
    // Proximity-sensor gets send their whole request themselves.
    {.id = 0x13, .direction = Direction::Get, .sub = cmd::kPsensorGet},
    {.id = 0x13, .direction = Direction::Get, .sub = -1, .subFirst = true},  // texts
    {.id = 0x18, .direction = Direction::Get, .sub = -1, .subFirst = true},  // device texts
    {.id = 0x15, .direction = Direction::Get, .sub = 0x11, .requestLength = 64, .subFirst = true},
    {.id = 0x15, .direction = Direction::Get, .sub = 0x12, .requestLength = 64, .subFirst = true},
};

int32_t NotSupported() {
    QLOG("Not Support.\n");
    return kStatusNotSupported;
}

// The property ids the UVC link passes to the shared command set.
constexpr uint32_t kSharedProperties[] = {
    property::kRangeOffset,   property::kOutModeList,  property::kDepthRangeList,
    property::kTalDelay,      property::kDeviceSN,     property::kDeviceMACAddr,
    property::kDeviceSoftVer, property::kDeviceIPAddr, property::kDeviceSubnetMask,
    property::kDspStatus,
};

bool IsShared(uint32_t id) {
    return std::find(std::begin(kSharedProperties), std::end(kSharedProperties), id) !=
           std::end(kSharedProperties);
}

}  // namespace

UvcProtocol::UvcProtocol(const SessionInfo& info) {
    m_request.width = info.usb.colourWidth;
    m_request.height = info.usb.colourHeight;
    m_request.path = info.usb.path;
    m_request.encoding = info.usb.colourFormat;
    if (info.linkType == kLinkUsb) {
        m_dxctl = DXCtl::ForPath(m_request.path);
    }
}

UvcProtocol::~UvcProtocol() {
    CloseDevice();
}

int32_t UvcProtocol::Transfer(cmd::Command& command) {
    if (!m_dxctl) {
        return kStatusNotOpened;
    }
    return TransferInForm(*m_dxctl, kUvcForms, command);
}

int32_t UvcProtocol::OpenDevice() {
    if (!m_dxctl) {
        QLOG_WARN("no UVC channel on this link.\n");
        return kStatusNotOpened;
    }
    const int32_t result = m_dxctl->Open(m_request);
    if (result == 0) {
        m_ownsChannel = true;
        m_opened.store(true, std::memory_order_release);
    }
    return result;
}

int32_t UvcProtocol::CloseDevice() {
    m_opened.store(false, std::memory_order_release);
    if (m_ownsChannel) {
        m_ownsChannel = false;
        m_dxctl->CloseDevice();
    }
    return 0;
}

int32_t UvcProtocol::StartStream() {
    if (!IsOpened()) {
        return kStatusNotOpened;
    }
    return m_dxctl->StartStream();
}

int32_t UvcProtocol::StopStream() {
    if (!IsOpened()) {
        return kStatusNotOpened;
    }
    return m_dxctl->StopStream();
}

int32_t UvcProtocol::ReadData(uint8_t* buffer, uint32_t& length) {
    if (!m_dxctl) {
        length = 0;
        return kStatusNotOpened;
    }
    return m_dxctl->ReadData(buffer, length);
}

int32_t UvcProtocol::SetConnectStatus(bool connected) {
    if (m_dxctl) {
        m_dxctl->SetConnectStatus(connected);
    }
    return 0;
}

int32_t UvcProtocol::SetDataMode(uint8_t mode) {
    QLOG("%d\n", mode);
    return RunIfOpened(cmd::SetDataModeByte(mode), Where::current());
}

int32_t UvcProtocol::IsSupportJSONConfig() {
    cmd::Command ask = cmd::IsSupportJSONConfig();
    ask.direction = Direction::Set;
    ask.requestLength = 64;
    cmd::Command fetch = cmd::IsSupportJSONConfig();
    fetch.requestLength = 64;
    bool supported = false;
    const int32_t result = RequestThenRead(
        ask, fetch, Where::current(),
        [&](const cmd::Command& reply) { return cmd::ReadJSONConfigSupported(reply, supported); });
    return result == 0 && supported ? 0 : kStatusFailed;
}

int32_t UvcProtocol::SetWdr(uint8_t group, const void* record, uint32_t length,
                            const Where& where) {
    if (!CheckOpened(where)) {
        return 0;
    }
    if (record == nullptr || length < cmd::kWdrRecordBytes) {
        QLOG_WARN("record of %u bytes is too small.\n", length);
        return kStatusBadParameter;
    }
    return Run(cmd::SetWdrRecord(group, record), where);
}

int32_t UvcProtocol::GetWdr(uint8_t group, void* record, uint32_t length, const Where& where) {
    if (record == nullptr || length < cmd::kWdrReplyBytes) {
        QLOG_WARN("record of %u bytes is too small.\n", length);
        return kStatusBadParameter;
    }
    return Run(cmd::GetWdrRecord(group), where, [&](const cmd::Command& reply) {
        if (!reply.Holds(cmd::kWdrReplyBytes)) {
            return kStatusTransferError;
        }
        reply.Get(0, record, cmd::kWdrReplyBytes);
        return 0;
    });
}

int32_t UvcProtocol::SetWDRGMMGain(const void* record, uint32_t length) {
    return SetWdr(cmd::kWdrGmmGainGroup, record, length, Where::current());
}

int32_t UvcProtocol::GetWDRGMMGain(void* record, uint32_t length) {
    return GetWdr(cmd::kWdrGmmGainGroup, record, length, Where::current());
}

int32_t UvcProtocol::SetWDRThreshold(const void* record, uint32_t length) {
    return SetWdr(cmd::kWdrThresholdGroup, record, length, Where::current());
}

int32_t UvcProtocol::GetWDRThreshold(void* record, uint32_t length) {
    return GetWdr(cmd::kWdrThresholdGroup, record, length, Where::current());
}

int32_t UvcProtocol::SetProperty(uint32_t id, const void* data, uint32_t length) {
    if (IsShared(id)) {
        return CommandProtocol::SetProperty(id, data, length);
    }
    switch (id) {
        case property::kWDRThreshold:
            return SetWDRThreshold(data, length);
        case property::kWDRGMMGain:
            return SetWDRGMMGain(data, length);
        default:
            return NotSupported();
    }
}

int32_t UvcProtocol::GetProperty(uint32_t id, void* data, uint32_t& length) {
    if (IsShared(id)) {
        return CommandProtocol::GetProperty(id, data, length);
    }
    switch (id) {
        case property::kDeviceUpgradeFlag:
            return 1;  // a USB camera has no network upgrade to flag
        case property::kWDRThreshold:
            return GetWDRThreshold(data, length);
        case property::kWDRGMMGain:
            return GetWDRGMMGain(data, length);
        case property::kWDRSetting: {
            if (data == nullptr || length < sizeof(WDROutputMode)) {
                QLOG_WARN("id:0x%x length:%u is too small.\n", id, length);
                return kStatusBadParameter;
            }
            WDROutputMode mode{};
            const int32_t result = GetWDRMode(mode);
            if (result == 0) {
                memcpy(data, &mode, sizeof mode);
                length = sizeof mode;
            }
            return result;
        }
        default:
            return NotSupported();
    }
}

int32_t UvcProtocol::GetUpgradeIsSupported(uint8_t&) {
    return NotSupported();
}

int32_t UvcProtocol::SetToUpgradeMode_P(const char*) {
    return NotSupported();
}

int32_t UvcProtocol::SetUpgradeState(const TransferState&) {
    return NotSupported();
}

int32_t UvcProtocol::GetUpgradeState(TransferState&) {
    return NotSupported();
}

int32_t UvcProtocol::RebootCamera() {
    return NotSupported();
}

int32_t UvcProtocol::GetJsonIsSupported(uint8_t&) {
    return NotSupported();
}

int32_t UvcProtocol::SetToJsonMode_P() {
    return NotSupported();
}

int32_t UvcProtocol::SetJsonPath_P(const char*) {
    return NotSupported();
}

int32_t UvcProtocol::SetJsonState(const TransferState&) {
    return NotSupported();
}

int32_t UvcProtocol::GetJsonState(TransferState&) {
    return NotSupported();
}

// --- Proximity sensors ---

namespace {

// The values a proximity-sensor byte setting takes.
bool PsensorByteFits(UvcProtocol::PsensorItem item, uint8_t value) {
    switch (item) {
        case UvcProtocol::kEnable:
            return value <= 1;
        case UvcProtocol::kPulseWidth:
            return value >= 1 && value <= 62;
        case UvcProtocol::kGain:
            return value == 1 || value == 2 || value == 4 || value == 8;
        case UvcProtocol::kTime:
            return value <= 2;
        default:
            return false;
    }
}

constexpr uint16_t kPsensorMax = 1023;

}  // namespace

int32_t UvcProtocol::AskPsensor(uint8_t id, uint8_t item, cmd::Command& reply, size_t need,
                                const Where& where) {
    reply = cmd::PsensorRequest(id, item, Direction::Get);
    const int32_t result =
        RequestThenFetch(cmd::PsensorRequest(id, item, Direction::Set), reply, where);
    if (result == 0 && !reply.Holds(3 + need)) {
        return Checked(kStatusTransferError, reply, where);
    }
    return result;
}

int32_t UvcProtocol::GetPsensorData(uint8_t id, uint16_t& value) {
    cmd::Command reply;
    if (const int32_t result = AskPsensor(id, kReading, reply, 2, Where::current()); result != 0) {
        return result;
    }
    const uint16_t reading = reply.U16(3);
    if (reading > kPsensorMax) {
        QLOG_WARN("psensor %d reading %d is out of range.\n", id, reading);
        return kStatusFailed;
    }
    value = reading;
    return 0;
}

int32_t UvcProtocol::SetPsensorName(uint8_t id, const char* name, uint32_t length) {
    if (name == nullptr && length > 0) {
        return kStatusNullPointer;
    }
    return Run(cmd::SetPsensor(id, kName, reinterpret_cast<const uint8_t*>(name), length),
               Where::current());
}

int32_t UvcProtocol::GetPsensorName(uint8_t id, char* name, uint32_t capacity) {
    if (name == nullptr || capacity == 0) {
        return kStatusBadParameter;
    }
    cmd::Command reply;
    if (const int32_t result = AskPsensor(id, kName, reply, 0, Where::current()); result != 0) {
        return result;
    }
    const size_t arrived = reply.received > 3 ? reply.received - 3u : 0;
    const size_t n = std::min<size_t>(capacity - 1, arrived);
    reply.Get(3, name, n);
    name[n] = '\0';
    return 0;
}

int32_t UvcProtocol::SetPsensorThreshold(uint8_t id, uint16_t high, uint16_t low) {
    if (high <= low || high > kPsensorMax) {
        QLOG_WARN("high:%d low:%d is invalid.\n", high, low);
        return 1;
    }
    const uint8_t value[4] = {static_cast<uint8_t>(high & 0xFF), static_cast<uint8_t>(high >> 8),
                              static_cast<uint8_t>(low & 0xFF), static_cast<uint8_t>(low >> 8)};
    return Run(cmd::SetPsensor(id, kThreshold, value, sizeof value), Where::current());
}

int32_t UvcProtocol::GetPsensorThreshold(uint8_t id, uint16_t& high, uint16_t& low) {
    cmd::Command reply;
    if (const int32_t result = AskPsensor(id, kThreshold, reply, 4, Where::current());
        result != 0) {
        return result;
    }
    high = reply.U16(3);
    low = reply.U16(5);
    return 0;
}

int32_t UvcProtocol::SetPsensorByte(PsensorItem item, uint16_t idAndValue) {
    const auto id = static_cast<uint8_t>(idAndValue & 0xFF);
    const auto value = static_cast<uint8_t>(idAndValue >> 8);
    if (!PsensorByteFits(item, value)) {
        QLOG_WARN("psensor %d item %d value %d is invalid.\n", id, item, value);
        return 1;
    }
    return Run(cmd::SetPsensor(id, item, &value, 1), Where::current());
}

int32_t UvcProtocol::GetPsensorByte(PsensorItem item, uint8_t id, uint8_t& value) {
    cmd::Command reply;
    if (const int32_t result = AskPsensor(id, item, reply, 1, Where::current()); result != 0) {
        return result;
    }
    value = reply.U8(3);
    return 0;
}

}  // namespace quorix
