// A session for frame-engine tests: hands the engine the transport buffers a test feeds
// and records what the engine hands back (status, JSON state, properties).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "TofTestData.h"
#include "imaging/SessionContext.h"
#include "protocol/DeviceStatus.h"

namespace quorix::test {

// A device status sub-packet: type 0x2C and a 16-bit length.
inline Bytes StatusPacket(const Bytes& payload) {
    const size_t n = payload.size();
    Bytes out{0x2C, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

class FakeSessionContext : public SessionContext {
public:
    explicit FakeSessionContext(uint32_t deviceType = TK3A) : m_deviceType(deviceType) {}

    void Feed(Bytes buffer) {
        std::lock_guard guard(m_lock);
        m_buffers.push_back(std::move(buffer));
        m_emptyReads = 0;
    }
    // True once every buffer fed was read and the reader came back for more, which it does
    // only after it finished processing the last one.
    bool WaitProcessed(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, limit,
                                  [this] { return m_buffers.empty() && m_emptyReads > 0; });
    }

    uint32_t DeviceType() const override { return m_deviceType; }
    std::mutex& TransportLock() override { return m_transportLock; }
    bool HasTransport() const override { return true; }
    int32_t ReadTransport(uint8_t* buffer, uint32_t& length) override {
        std::unique_lock lock(m_lock);
        if (m_buffers.empty()) {
            ++m_emptyReads;
            m_changed.notify_all();
            m_changed.wait_for(lock, std::chrono::milliseconds(5),
                               [this] { return !m_buffers.empty(); });
            if (m_buffers.empty()) {
                length = 0;
                return 0;
            }
        }
        const Bytes& next = m_buffers.front();
        length = static_cast<uint32_t>(std::min<size_t>(next.size(), length));
        memcpy(buffer, next.data(), length);
        m_buffers.pop_front();
        return 0;
    }

    void StoreDeviceStatus(const uint8_t* payload, size_t length) override {
        std::lock_guard guard(m_lock);
        ParseDeviceStatus(payload, length, status);
        ++statusBlocks;
    }
    bool IsFirstStatus() const override { return firstStatus.load(); }
    void SetFirstStatus(bool first) override { firstStatus.store(first); }
    void SetDeviceSync(bool on) override { deviceSync.store(on); }
    void StoreJsonState(uint8_t state) override { jsonState.store(state); }
    void StoreJsonResult(uint8_t result, uint8_t error) override {
        jsonResult.store(result);
        jsonError.store(error);
    }
    ImageSettings CurrentImageSettings() const override {
        std::lock_guard guard(m_lock);
        return settings;
    }
    int32_t SerialNumber(char* buffer, uint32_t capacity) override {
        snprintf(buffer, capacity, "SN1");
        return 0;
    }
    int32_t SendProperty(uint32_t, const void*, uint32_t) override { return 0; }

    ImageSettings settings;
    DeviceStatus status;
    int statusBlocks = 0;
    std::atomic<bool> firstStatus{false};
    std::atomic<bool> deviceSync{false};
    std::atomic<uint8_t> jsonState{0};
    std::atomic<uint8_t> jsonResult{0xFF};
    std::atomic<uint8_t> jsonError{0};

private:
    const uint32_t m_deviceType;
    std::mutex m_transportLock;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Bytes> m_buffers;
    int m_emptyReads = 0;
};

}  // namespace quorix::test
