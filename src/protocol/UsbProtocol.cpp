// The USB cameras' composite protocols.
#include "protocol/UsbProtocol.h"

#include <cstring>

#include "log/Log.h"
#include "protocol/UvcProtocol.h"

namespace quorix {
namespace {

int32_t NotSupported() {
    QLOG("Not Support.\n");
    return kStatusNotSupported;
}

}  // namespace

UsbProtocol::UsbProtocol(const SessionInfo& info)
    : UsbProtocol(std::make_unique<UvcProtocol>(info), std::make_unique<HidProtocol>(info)) {}

UsbProtocol::UsbProtocol(std::unique_ptr<BaseProtocol> uvc, std::unique_ptr<BaseProtocol> hid)
    : CompositeProtocol(std::move(uvc), std::move(hid)) {}

int32_t UsbProtocol::OpenDevice() {
    // A channel that could not be opened (-13) has said why itself, once per failure.
    if (const int32_t hid = Hid().OpenDevice(); hid != 0 && hid != kStatusNotOpened) {
        QLOG_WARN("m_hidProtocol->OpenDevice error=%d\n", hid);
    }
    const int32_t uvc = Uvc().OpenDevice();
    if (uvc != 0 && uvc != kStatusNotOpened) {
        QLOG_ERROR("m_uvcProtocol->OpenDevice error=%d\n", uvc);
    }
    return uvc;
}

int32_t UsbProtocol::CloseDevice() {
    if (const int32_t hid = Hid().CloseDevice(); hid != 0) {
        QLOG_WARN("m_hidProtocol->CloseDevice error=%d\n", hid);
    }
    return Uvc().CloseDevice();
}

TK1A_Protocol::TK1A_Protocol(const SessionInfo& info)
    : TK1A_Protocol(std::make_unique<UvcProtocol>(info), std::make_unique<HidProtocol>(info)) {}

TK1A_Protocol::TK1A_Protocol(std::unique_ptr<BaseProtocol> uvc, std::unique_ptr<HidProtocol> hid)
    : CompositeProtocol(std::move(uvc), std::move(hid)),
      m_hid(static_cast<HidProtocol&>(Hid())),
      m_uvc(dynamic_cast<UvcProtocol*>(&Uvc())) {}

int32_t TK1A_Protocol::OpenDevice() {
    if (const int32_t uvc = Uvc().OpenDevice(); uvc != 0) {
        if (uvc != kStatusNotOpened) {
            QLOG_ERROR("m_uvcProtocol->OpenDevice error=%d\n", uvc);
        }
        return uvc;
    }
    return m_hid.OpenDevice();
}

int32_t TK1A_Protocol::CloseDevice() {
    if (const int32_t uvc = Uvc().CloseDevice(); uvc != 0) {
        return uvc;
    }
    return m_hid.CloseDevice();
}

int32_t TK1A_Protocol::SetDataMode(uint8_t mode) {
    QLOG("dataMode: %d\n", mode);
    if (mode >= kFirstMode && mode <= kLastMode) {
        return m_hid.SetTecentMode(mode);
    }
    m_hid.SetTecentMode(kFirstMode);
    QLOG_WARN("dataModeL%d is Not Support.\n", mode);
    return kStatusFailed;
}

int32_t TK1A_Protocol::GetDataMode(uint8_t& mode) {
    return m_hid.GetTecentMode(mode);
}

// The serial number is read without touching the data mode: a session streaming in 101
// or 102 would otherwise decode the camera's new mode-100 frames by the old layout.
int32_t TK1A_Protocol::GetSN(char* text, uint32_t capacity) {
    return Uvc().GetSN(text, capacity);
}

int32_t TK1A_Protocol::SetProperty(uint32_t id, const void* data, uint32_t length) {
    switch (id) {
        case property::kRgbWeightMatrix:
            return m_hid.SetDeviceRgbWeightMatrix(static_cast<const uint8_t*>(data), length);
        case property::kGmmGain16: {
            if (data == nullptr || length < sizeof(uint16_t)) {
                return kStatusBadParameter;
            }
            NsGMMGain gain{};
            memcpy(&gain.gain, data, sizeof gain.gain);
            gain.option = 0;
            return SetGMMGain(gain);
        }
        case property::kDspStatus:
            return Uvc().SetProperty(id, data, length);
        case property::kUpgradeState: {
            TransferState state;
            if (data == nullptr || length < sizeof state) {
                return kStatusBadParameter;
            }
            memcpy(&state, data, sizeof state);
            return SetUpgradeState(state);
        }
        default:
            if (id >= property::kPsensorFirst && id <= property::kPsensorLast) {
                return SetPsensor(id, static_cast<const uint8_t*>(data), length);
            }
            return NotSupported();
    }
}

int32_t TK1A_Protocol::GetProperty(uint32_t id, void* data, uint32_t& length) {
    if (id >= property::kPsensorData && id <= property::kPsensorLast) {
        return GetPsensor(id, static_cast<uint8_t*>(data), length);
    }
    switch (id) {
        case property::kDspStatus:
            return Uvc().GetProperty(id, data, length);
        case property::kUpgradeSupported: {
            if (data == nullptr || length < 1) {
                return kStatusBadParameter;
            }
            uint8_t supported = 0;
            const int32_t result = GetUpgradeIsSupported(supported);
            if (result == 0) {
                *static_cast<uint8_t*>(data) = supported;
                length = 1;
            }
            return result;
        }
        case property::kUpgradeState: {
            TransferState state;
            if (data == nullptr || length < sizeof state) {
                return kStatusBadParameter;
            }
            const int32_t result = GetUpgradeState(state);
            if (result == 0) {
                memcpy(data, &state, sizeof state);
                length = sizeof state;
            }
            return result;
        }
        default:
            return NotSupported();
    }
}

int32_t TK1A_Protocol::SetPsensor(uint32_t id, const uint8_t* data, uint32_t length) {
    if (m_uvc == nullptr) {
        return NotSupported();
    }
    const auto item = static_cast<UvcProtocol::PsensorItem>(id - property::kPsensorData);
    const uint32_t need = item == UvcProtocol::kName ? 1 : item == UvcProtocol::kThreshold ? 5 : 2;
    if (data == nullptr || length < need) {
        return kStatusBadParameter;
    }
    switch (item) {
        case UvcProtocol::kName:
            return m_uvc->SetPsensorName(data[0], reinterpret_cast<const char*>(data + 1),
                                         length - 1);
        case UvcProtocol::kThreshold:
            return m_uvc->SetPsensorThreshold(data[0],
                                              static_cast<uint16_t>(data[1] | data[2] << 8),
                                              static_cast<uint16_t>(data[3] | data[4] << 8));
        default:
            return m_uvc->SetPsensorByte(item, static_cast<uint16_t>(data[0] | data[1] << 8));
    }
}

int32_t TK1A_Protocol::GetPsensor(uint32_t id, uint8_t* data, uint32_t& length) {
    if (m_uvc == nullptr) {
        return NotSupported();
    }
    const auto item = static_cast<UvcProtocol::PsensorItem>(id - property::kPsensorData);
    const uint32_t need = item == UvcProtocol::kThreshold ? 5
                          : item == UvcProtocol::kReading ? 3
                                                          : 2;
    if (data == nullptr || length < need) {
        return kStatusBadParameter;
    }
    int32_t result = 0;
    uint32_t filled = need;
    switch (item) {
        case UvcProtocol::kReading: {
            uint16_t value = 0;
            result = m_uvc->GetPsensorData(data[0], value);
            if (result == 0) {
                data[1] = static_cast<uint8_t>(value & 0xFF);
                data[2] = static_cast<uint8_t>(value >> 8);
            }
            break;
        }
        case UvcProtocol::kName:
            result = m_uvc->GetPsensorName(data[0], reinterpret_cast<char*>(data + 1), length - 1);
            filled = length;
            break;
        case UvcProtocol::kThreshold: {
            uint16_t high = 0;
            uint16_t low = 0;
            result = m_uvc->GetPsensorThreshold(data[0], high, low);
            const uint8_t out[4] = {
                static_cast<uint8_t>(high & 0xFF), static_cast<uint8_t>(high >> 8),
                static_cast<uint8_t>(low & 0xFF), static_cast<uint8_t>(low >> 8)};
            if (result == 0) {
                memcpy(data + 1, out, sizeof out);
            }
            break;
        }
        default:
            result = m_uvc->GetPsensorByte(item, data[0], data[1]);
    }
    if (result == 0) {
        length = filled;
    }
    return result;
}

}  // namespace quorix
