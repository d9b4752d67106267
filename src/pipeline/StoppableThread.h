// StoppableThread: the base of every long-running worker. A worker loops in Run() while
// IsRunning() and sleeps through WaitForStop(), which Stop() cuts short, so a stopping
// worker wakes at once. Join waits 1155 ms, logs 0x20015 if the worker is late, and then
// keeps waiting: a thread is never killed (that could leave locks held).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace quorix {

// Status codes of the thread wrapper.
inline constexpr int32_t kThreadCreateFailed = 0x10001;
inline constexpr int32_t kThreadNoFunction = 0x10004;
inline constexpr int32_t kThreadNoObject = 0x10005;
inline constexpr int32_t kThreadJoinTimeout = 0x20015;
inline constexpr int32_t kThreadJoinFailed = 0x20016;

class StoppableThread {
public:
    // Run state: never started (or start failed), running, stop requested.
    static constexpr int32_t kNotStarted = -1;
    static constexpr int32_t kRunning = 1;
    static constexpr int32_t kStopRequested = 0;

    static constexpr std::chrono::milliseconds kJoinLimit{1155};

    explicit StoppableThread(std::string name);
    // Stops and joins a running thread. A derived class must Stop() and Join() in its own
    // destructor: by the time this one runs, the derived Run() has lost its object.
    virtual ~StoppableThread();

    StoppableThread(const StoppableThread&) = delete;
    StoppableThread& operator=(const StoppableThread&) = delete;

    // Starts the thread; a second Start while a thread exists only logs. A previous thread
    // that is still ending (let go, or being joined by another thread) is waited for up to
    // kJoinLimit; kThreadCreateFailed (logged, nothing started) when it has not ended then.
    // Otherwise 0; a failed creation leaves the state at kNotStarted with a log line.
    int32_t Start();
    // Requests the stop and wakes the worker; does not wait.
    void Stop();
    // Waits for the worker to end: 0, kThreadJoinTimeout (logged at the limit, then the
    // join completes anyway) or kThreadJoinFailed (called on the worker itself; the thread
    // is detached and finishes on its own).
    int32_t Join();
    // Stop and Join in one step: a Start on another thread in between cannot slip a new
    // worker under this join (which would then wait for a thread nobody stopped).
    int32_t StopAndJoin();

    int32_t State() const { return m_state.load(std::memory_order_acquire); }
    bool IsRunning() const { return State() == kRunning; }
    bool HasThread() const;
    bool IsCurrentThread() const { return m_workerId.load() == std::this_thread::get_id(); }
    const std::string& Name() const { return m_name; }

    // Entry of the operating-system thread.
    static void ThreadFunc(StoppableThread* self);

protected:
    virtual void Run() = 0;
    // Called by Stop() after the state changed, so a worker blocked elsewhere (a queue, a
    // socket) can be woken. Runs on the stopping thread.
    virtual void OnStopRequested() {}
    // Sleeps up to `timeout`; returns early, true, once a stop was requested.
    bool WaitForStop(std::chrono::milliseconds timeout);

private:
    // Shared by the object and its thread, so a thread that outlives its object (one that
    // destroyed its own owner from inside Run) can still report that it finished.
    struct Control {
        std::mutex lock;
        std::condition_variable wake;
        bool finished = false;
    };
    static bool Finished(Control& control);
    // Joins a thread taken out of the object (lets it go when it is the caller).
    int32_t JoinTaken(std::thread thread, Control& control);
    static std::shared_ptr<Control> NoWorker() {
        auto control = std::make_shared<Control>();
        control->finished = true;
        return control;
    }
    static void Entry(StoppableThread* self, std::shared_ptr<Control> control);

    const std::string m_name;
    mutable std::mutex m_handleLock;  // guards m_thread and m_control
    std::thread m_thread;
    std::shared_ptr<Control> m_control = NoWorker();  // before the first start: no worker
    std::atomic<int32_t> m_state{kNotStarted};
    std::atomic<int> m_threadId{0};
    std::atomic<std::thread::id> m_workerId{};
};

}  // namespace quorix
