// AutoResetEvent: an in-process signal that releases one wait per Set and then clears
// itself. It carries a name (the camera's serial number in it) only for the log: nothing
// is shared with other processes.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace quorix {

// Status codes of the event wrapper. (An in-process event needs no security attributes,
// so their two failure codes never occur here.)
inline constexpr int32_t kEventCreateFailed = 0x2001E;
inline constexpr int32_t kEventSetFailed = 0x20020;
inline constexpr int32_t kEventMissing = 0x2003C;

class AutoResetEvent {
public:
    // Names this long or longer are refused.
    static constexpr size_t kMaxNameLength = 260;

    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    // Makes the event usable under `name` (backslashes become underscores), not signalled.
    // 0, or kEventCreateFailed for a name that is too long (the event stays as it was).
    int32_t Create(const std::string& name);
    bool IsCreated() const;
    std::string Name() const;

    // Signals the event: one current or later wait returns true. kEventMissing before
    // Create.
    int32_t Set();
    // Waits until the event is signalled (and clears it), the deadline passes, the event
    // is cancelled or `abandon` (if given) reads true. True only for a signal; an abandoned
    // wait leaves the signal for the next one.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline,
                   const std::atomic<bool>* abandon = nullptr);
    bool Wait(std::chrono::milliseconds timeout, const std::atomic<bool>* abandon = nullptr) {
        return WaitUntil(std::chrono::steady_clock::now() + timeout, abandon);
    }
    // Makes every current wait look at its abandon flag again. Set the flag first.
    void Wake();
    // Wakes every wait and makes later waits return false at once, until Resume. Used when
    // the thread that waits is being stopped.
    void Cancel();
    void Resume();

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::string m_name;
    bool m_created = false;
    bool m_signalled = false;
    bool m_cancelled = false;
};

}  // namespace quorix
