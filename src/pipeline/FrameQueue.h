// FrameQueue: hands filled frames from one producer thread to one consumer thread. It owns
// the pool its frames come from, keeps at most two frames and drops the oldest, so a slow
// consumer always gets the latest captures and the producer never blocks.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "pipeline/BoundedDeque.h"
#include "pipeline/FramePool.h"

namespace quorix {

class FrameQueue {
public:
    static constexpr size_t kMaxLength = 2;
    static constexpr uint32_t kDefaultTimeoutMs = 350;

    FrameQueue(int32_t frameType, uint32_t frameCount);
    ~FrameQueue();

    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;

    // A free frame of the queue's pool (see FramePool::AllocFrame).
    Frame* AllocFrame(int32_t frameType);
    // Returns a frame taken from this queue (or never pushed) to the pool.
    void Release(Frame* frame);
    // Appends a frame, first returning the oldest ones to the pool while two wait. Wakes
    // one consumer. Null is refused. Returns -1 in every case (callers ignore it).
    int32_t Push(Frame* frame);
    // The oldest frame; waits up to the time-out for one; null when none came or when
    // Interrupt() was called during the wait.
    Frame* Pop();
    // The oldest frame, or null at once when the queue is empty.
    Frame* TryPop();
    size_t Size() const;

    void SetTimeout(uint32_t milliseconds) { m_timeoutMs.store(milliseconds); }
    uint32_t Timeout() const { return m_timeoutMs.load(); }
    // Wakes every waiting Pop at once (used when the consumer is being stopped).
    void Interrupt();
    // From now on every Pop, waiting or later, returns null at once; Push and TryPop keep
    // working. Used when the consumers are stopped for good, so none can start a wait
    // after the wake-up.
    void Close();

    int32_t Type() const { return m_frameType; }
    FramePool* Pool() const { return m_pool.get(); }

private:
    std::unique_ptr<FramePool> m_pool;
    mutable std::mutex m_lock;
    std::condition_variable m_notEmpty;
    BoundedDeque<Frame*> m_frames{kMaxLength};
    std::atomic<uint32_t> m_timeoutMs{kDefaultTimeoutMs};
    uint64_t m_interrupts = 0;
    bool m_closed = false;
    const int32_t m_frameType;
};

}  // namespace quorix
