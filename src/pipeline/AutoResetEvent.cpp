// Auto-reset event on a mutex and a condition variable.
#include "pipeline/AutoResetEvent.h"

#include <algorithm>

namespace quorix {

int32_t AutoResetEvent::Create(const std::string& name) {
    if (name.size() >= kMaxNameLength) {
        return kEventCreateFailed;
    }
    std::string cleaned = name;
    std::replace(cleaned.begin(), cleaned.end(), '\\', '_');
    std::lock_guard guard(m_lock);
    m_name = std::move(cleaned);
    m_created = true;
    m_signalled = false;
    return 0;
}

bool AutoResetEvent::IsCreated() const {
    std::lock_guard guard(m_lock);
    return m_created;
}

std::string AutoResetEvent::Name() const {
    std::lock_guard guard(m_lock);
    return m_name;
}

int32_t AutoResetEvent::Set() {
    {
        std::lock_guard guard(m_lock);
        if (!m_created) {
            return kEventMissing;
        }
        m_signalled = true;
    }
    m_changed.notify_one();
    return 0;
}

bool AutoResetEvent::WaitUntil(std::chrono::steady_clock::time_point deadline,
                               const std::atomic<bool>* abandon) {
    auto abandoned = [abandon] { return abandon != nullptr && abandon->load(); };
    std::unique_lock lock(m_lock);
    m_changed.wait_until(lock, deadline, [&] { return m_signalled || m_cancelled || abandoned(); });
    if (m_cancelled || abandoned() || !m_signalled) {
        return false;
    }
    m_signalled = false;
    return true;
}

void AutoResetEvent::Wake() {
    {
        // Taking the lock orders the caller's flag store before any waiter's next look.
        std::lock_guard guard(m_lock);
    }
    m_changed.notify_all();
}

void AutoResetEvent::Cancel() {
    {
        std::lock_guard guard(m_lock);
        m_cancelled = true;
    }
    m_changed.notify_all();
}

void AutoResetEvent::Resume() {
    std::lock_guard guard(m_lock);
    m_cancelled = false;
}

}  // namespace quorix
