// Session construction, open and close, and the queries the device manager relies on.
#include "session/BaseSession.h"

#include "config/Log.h"
#include "protocol/BaseProtocol.h"
#include "session/ProtocolFactory.h"

namespace quorix {

// A session counts as lost after this many consecutive failed reads.
static constexpr uint32_t kMaxFailedReads = 300;

BaseSession::BaseSession(const SessionInfo& info)
    : m_sessionInfo(info), m_protocol(CreateProtocol(info)) {}

BaseSession::~BaseSession() {
    if (m_opened.load()) {
        CloseDevice();
    }
}

int32_t BaseSession::OpenDevice() {
    if (m_opened.load()) {
        QLOG("has opened\n");
        return -103;
    }
    if (!m_protocol) {
        return -255;
    }
    const int32_t ret = m_protocol->OpenDevice();
    if (ret != 0) {
        return ret;
    }
    m_opened = true;
    m_connected = true;
    m_failedReads = 0;
    // A camera that can push its parameters is asked to embed them in the stream.
    if (m_protocol->IsSupportJSONConfig() == 0) {
        m_pushesParameters = true;
        m_protocol->SendCameraParamsEnable(true);
    } else {
        m_pushesParameters = false;
    }
    return ret;
}

int32_t BaseSession::CloseDevice() {
    std::lock_guard guard(m_lock);
    int32_t ret = 0;
    if (m_protocol) {
        ret = m_protocol->CloseDevice();
    }
    m_opened = false;
    m_streaming = false;
    return ret;
}

bool BaseSession::IsStreaming() { return m_streaming.load(); }

bool BaseSession::IsAlive() { return m_failedReads.load() <= kMaxFailedReads && m_connected.load(); }

int32_t BaseSession::SetConnectStatus(int32_t value) {
    if (value != 1) {
        return 0;
    }
    QLOG("isConnect:%d\n", 0);
    m_connected = false;
    if (m_protocol) {
        m_protocol->SetConnectStatus(false);
    }
    return 0;
}

int32_t BaseSession::GetSN(char* buffer, uint32_t capacity) {
    if (!m_protocol) {
        return -255;
    }
    return m_protocol->GetSN(buffer, capacity);
}

int32_t BaseSession::GetProperty(uint32_t id, void* data, uint32_t* size) {
    if (!m_protocol) {
        return -255;
    }
    if (size == nullptr) {
        return -12;
    }
    return m_protocol->GetProperty(id, data, *size);
}

}  // namespace quorix
