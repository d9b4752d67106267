// The requests a simulated camera received, in arrival order, for tests to read. Safe to
// use from any thread; keeps the newest kCapacity entries.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace quorix::sim {

struct LoggedRequest {
    uint32_t session = 0;
    uint8_t command = 0;   // command id, bit 7 cleared
    bool get = false;      // bit 7 was set on the wire
    std::vector<uint8_t> payload;

    // The sub-command (first payload byte), or -1 for an empty payload.
    int Sub() const { return payload.empty() ? -1 : payload[0]; }
};

class RequestLog {
public:
    static constexpr size_t kCapacity = 10000;

    void Record(LoggedRequest request);
    std::vector<LoggedRequest> Entries() const;
    // Requests recorded since construction or the last Clear, dropped ones included.
    uint64_t Total() const;
    void Clear();
    // Waits until at least `count` requests were recorded since the last Clear; false
    // when the time ran out first.
    bool WaitForTotal(uint64_t count, std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex m_lock;
    mutable std::condition_variable m_added;
    std::deque<LoggedRequest> m_entries;
    uint64_t m_total = 0;
};

}  // namespace quorix::sim
