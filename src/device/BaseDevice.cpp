// An opened camera: its sessions and the whole-camera operations.
#include "device/BaseDevice.h"

#include "base/Status.h"
#include "log/Log.h"
#include "session/BaseSession.h"

namespace quorix {

// Internal property id of the serial number on network cameras.
static constexpr uint32_t kPropertySerialNumber = 0xE0000099;

BaseDevice::BaseDevice(const DeviceIdentity& identity) : m_identity(identity) {
    const size_t count = std::min<size_t>(static_cast<size_t>(std::max(0, identity.sessionCount)),
                                          identity.sessions.size());
    for (size_t i = 0; i < count; ++i) {
        auto session = std::make_unique<BaseSession>(m_identity.sessions[i]);
        session->SetSessionIndex(static_cast<uint32_t>(i));
        m_sessions.push_back(std::move(session));
    }
}

BaseDevice::~BaseDevice() {
    QLOG("devicetype:%d.\n", static_cast<int>(m_identity.deviceType));
    for (auto& session : m_sessions) {
        session.reset();
    }
}

void BaseDevice::BeginClose() {
    if (m_closing.exchange(true)) {
        return;
    }
    for (auto& session : m_sessions) {
        session->BeginClose();
    }
}

BaseSession* BaseDevice::GetSession(uint32_t index) {
    if (index >= m_sessions.size()) {
        QLOG_WARN("sessionIndex:%d is invalid.\n", static_cast<int>(index));
        return nullptr;
    }
    return m_sessions[index].get();
}

int32_t BaseDevice::Open(uint8_t /*argument*/) {
    for (auto& session : m_sessions) {
        if (const int32_t ret = session->OpenDevice(); ret != 0) {
            return ret;
        }
    }
    return 0;
}

int32_t BaseDevice::GetSN(char* buffer, uint32_t capacity) {
    switch (TraitsOf(m_identity.deviceType).serialNumber) {
        case SerialSource::kSession:
            return m_sessions.empty() ? -3 : m_sessions[0]->GetSN(buffer, capacity);
        case SerialSource::kProperty: {
            if (m_sessions.empty()) {
                return kStatusBadHandle;
            }
            uint32_t size = capacity;
            return m_sessions[0]->GetProperty(kPropertySerialNumber, buffer, &size);
        }
        case SerialSource::kNone:
            break;
    }
    QLOG_WARN("devicetype:%d is invalid.\n", static_cast<int>(m_identity.deviceType));
    return 0;
}

int32_t BaseDevice::SetConnectStatus(int32_t value) {
    if (value != 1) {
        return 0;
    }
    int32_t ret = 0;
    for (auto& session : m_sessions) {
        ret = session->SetConnectStatus(1);
    }
    return ret;
}

bool BaseDevice::IsStreaming() {
    for (auto& session : m_sessions) {
        if (!session->IsStreaming()) {
            return false;
        }
    }
    return true;
}

bool BaseDevice::IsAlive() {
    for (auto& session : m_sessions) {
        if (!session->IsAlive()) {
            return false;
        }
    }
    return true;
}

}  // namespace quorix
