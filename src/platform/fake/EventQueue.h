// The queue behind the scripted event sources: tests push, the watcher waits, Wake() ends
// a wait at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace quorix::platform {

template <typename Event>
class EventQueue {
public:
    void Push(const Event& event) {
        {
            std::lock_guard guard(m_lock);
            m_events.push_back(event);
        }
        m_changed.notify_all();
    }

    // Waits up to `timeout` for the next event; false when none came or Wake() was called.
    bool Wait(Event& event, std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_lock);
        const uint64_t wakes = m_wakes;
        m_changed.wait_for(lock, timeout, [&] { return !m_events.empty() || m_wakes != wakes; });
        if (m_events.empty()) {
            return false;
        }
        event = m_events.front();
        m_events.pop_front();
        return true;
    }

    void Wake() {
        {
            std::lock_guard guard(m_lock);
            ++m_wakes;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Event> m_events;
    uint64_t m_wakes = 0;
};

}  // namespace quorix::platform
