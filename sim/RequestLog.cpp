// Thread-safe request log of the simulated camera.
#include "sim/RequestLog.h"

namespace quorix::sim {

void RequestLog::Record(LoggedRequest request) {
    {
        std::lock_guard guard(m_lock);
        if (m_entries.size() == kCapacity) {
            m_entries.pop_front();
        }
        m_entries.push_back(std::move(request));
        ++m_total;
    }
    m_added.notify_all();
}

std::vector<LoggedRequest> RequestLog::Entries() const {
    std::lock_guard guard(m_lock);
    return {m_entries.begin(), m_entries.end()};
}

uint64_t RequestLog::Total() const {
    std::lock_guard guard(m_lock);
    return m_total;
}

void RequestLog::Clear() {
    std::lock_guard guard(m_lock);
    m_entries.clear();
    m_total = 0;
}

bool RequestLog::WaitForTotal(uint64_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_lock);
    return m_added.wait_for(lock, timeout, [&] { return m_total >= count; });
}

}  // namespace quorix::sim
