// BaseSession: one opened stream (sensor) of a camera. It owns the command protocol for
// its device type and, once streaming exists, the frame engine. This holds the lifecycle
// the device manager needs: construction, open and close, the streaming and alive
// queries, the connection-loss notification and the serial-number and property reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "device/DeviceInfo.h"

namespace quorix {

class BaseProtocol;

class BaseSession {
public:
    explicit BaseSession(const SessionInfo& info);
    virtual ~BaseSession();

    BaseSession(const BaseSession&) = delete;
    BaseSession& operator=(const BaseSession&) = delete;

    // -103 when already opened, -255 without a protocol, else the protocol's status.
    virtual int32_t OpenDevice();
    virtual int32_t CloseDevice();
    virtual bool IsStreaming();
    // False once the camera's connection was lost or reads keep failing.
    virtual bool IsAlive();
    // Value 1: the connection was lost. Anything else does nothing. Returns 0.
    virtual int32_t SetConnectStatus(int32_t value);
    virtual int32_t GetSN(char* buffer, uint32_t capacity);
    virtual int32_t GetProperty(uint32_t id, void* data, uint32_t* size);

    uint32_t GetDeviceType() const { return m_sessionInfo.deviceType; }
    void SetSessionIndex(uint32_t index) { m_sessionIndex = index; }
    uint32_t SessionIndex() const { return m_sessionIndex; }
    bool IsOpened() const { return m_opened.load(); }
    bool CameraPushesParameters() const { return m_pushesParameters.load(); }
    BaseProtocol* Protocol() const { return m_protocol.get(); }

private:
    SessionInfo m_sessionInfo;
    std::unique_ptr<BaseProtocol> m_protocol;
    std::mutex m_lock;  // stream start/stop, frame reads and fetches
    uint32_t m_sessionIndex = 0;
    std::atomic<bool> m_opened{false};
    std::atomic<bool> m_streaming{false};
    std::atomic<bool> m_connected{true};
    std::atomic<bool> m_pushesParameters{false};
    std::atomic<uint32_t> m_failedReads{0};
};

}  // namespace quorix
