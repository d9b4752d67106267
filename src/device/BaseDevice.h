// BaseDevice: an opened camera. It owns one session per sensor, built from its own copy of
// the device record, and offers the few operations that act on the camera as a whole.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "device/DeviceInfo.h"

namespace quorix {

class BaseSession;

class BaseDevice {
public:
    explicit BaseDevice(const DeviceIdentity& identity);
    virtual ~BaseDevice();

    BaseDevice(const BaseDevice&) = delete;
    BaseDevice& operator=(const BaseDevice&) = delete;

    // The session at `index`, or null (logged) past the last one.
    virtual BaseSession* GetSession(uint32_t index);
    // Opens the sessions in order; the first failure's status, 0 when all opened.
    virtual int32_t Open(uint8_t argument);
    // The camera's serial number into `buffer` (capacity bytes at most, NUL-terminated).
    virtual int32_t GetSN(char* buffer, uint32_t capacity);
    // Value 1 (connection lost) tells every session; anything else does nothing.
    virtual int32_t SetConnectStatus(int32_t value);
    // True when every session reports streaming / alive (true without sessions).
    virtual bool IsStreaming();
    virtual bool IsAlive();

    // The device's handle is gone: calls already inside return from their waits (frame
    // reads, confirmation polls) and new ones are refused. Idempotent.
    void BeginClose();
    bool IsClosing() const { return m_closing.load(); }

    const DeviceIdentity& Identity() const { return m_identity; }
    uint32_t SessionCount() const { return static_cast<uint32_t>(m_sessions.size()); }

private:
    DeviceIdentity m_identity;
    std::vector<std::unique_ptr<BaseSession>> m_sessions;
    std::atomic<bool> m_closing{false};
};

}  // namespace quorix
