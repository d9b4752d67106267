// What a camera echoes of its own state in the stream: the status block of each frame,
// written by the frame engine's reader and polled by the session's confirmed setters, and
// the JSON-transfer state blocks, kept for the transfer that reads them.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "protocol/DeviceStatus.h"

namespace quorix {

class StatusEcho {
public:
    // Parses a status block into the latest record (as far as the payload reaches).
    void Store(const uint8_t* payload, size_t length) {
        std::lock_guard guard(m_lock);
        ParseDeviceStatus(payload, length, m_status);
    }
    DeviceStatus Latest() const {
        std::lock_guard guard(m_lock);
        return m_status;
    }

    // The camera sends status blocks, so a sent setting can be awaited in them.
    bool Synchronised() const { return m_synchronised.load(); }
    void SetSynchronised(bool on) { m_synchronised.store(on); }
    // The next status block is the first of a stream start.
    bool IsFirst() const { return m_first.load(); }
    void SetFirst(bool first) { m_first.store(first); }

    void StoreJsonState(uint8_t state) { m_jsonState.store(state); }
    void StoreJsonResult(uint8_t result, uint8_t errorCode) {
        m_jsonResult.store(result);
        m_jsonError.store(errorCode);
    }

    // Polls the latest record until `matches` holds; false when the polls run out or
    // `active` turns false. `last` receives the last record seen.
    template <class Matches, class Active>
    bool Await(uint32_t polls, std::chrono::milliseconds interval, const Matches& matches,
               const Active& active, DeviceStatus& last) const {
        for (uint32_t i = 0; i < polls && active(); ++i) {
            last = Latest();
            if (matches(last)) {
                return true;
            }
            std::this_thread::sleep_for(interval);
        }
        return false;
    }

private:
    mutable std::mutex m_lock;
    DeviceStatus m_status;
    std::atomic<bool> m_synchronised{false};
    std::atomic<bool> m_first{false};
    std::atomic<uint8_t> m_jsonState{0};
    std::atomic<uint8_t> m_jsonResult{0};
    std::atomic<uint8_t> m_jsonError{0};
};

}  // namespace quorix
