// Bounded drop-oldest frame queue over a fixed pool.
#include "pipeline/FrameQueue.h"

#include "base/Status.h"
#include "log/Log.h"

namespace quorix {

FrameQueue::FrameQueue(int32_t frameType, uint32_t frameCount)
    : m_pool(std::make_unique<FramePool>(frameType, frameCount)), m_frameType(frameType) {
    QLOG("mFrameType:%d\n", m_frameType);
}

FrameQueue::~FrameQueue() {
    // The pool owns every record, queued or lent, and frees them with itself.
    QLOG("mFrameType:%d\n", m_frameType);
}

Frame* FrameQueue::AllocFrame(int32_t frameType) {
    if (!m_pool) {
        QLOG("mPtrFramePool:%p is invliad.\n", static_cast<void*>(m_pool.get()));
        return nullptr;
    }
    return m_pool->AllocFrame(frameType);
}

void FrameQueue::Release(Frame* frame) {
    if (m_pool) {
        m_pool->Release(frame);
    }
}

int32_t FrameQueue::Push(Frame* frame) {
    if (frame == nullptr) {
        return kStatusFailed;
    }
    {
        std::lock_guard guard(m_lock);
        while (m_frames.size() >= kMaxLength) {
            m_pool->Release(m_frames.pop_front());
        }
        m_frames.push_back(frame);
    }
    m_notEmpty.notify_one();
    return kStatusFailed;
}

Frame* FrameQueue::Pop() {
    std::unique_lock lock(m_lock);
    const uint64_t interrupts = m_interrupts;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeoutMs.load());
    m_notEmpty.wait_until(lock, deadline, [&] {
        return !m_frames.empty() || m_interrupts != interrupts || m_closed;
    });
    if (m_frames.empty() || m_closed) {
        return nullptr;
    }
    return m_frames.pop_front();
}

Frame* FrameQueue::TryPop() {
    std::lock_guard guard(m_lock);
    return m_frames.empty() ? nullptr : m_frames.pop_front();
}

size_t FrameQueue::Size() const {
    std::lock_guard guard(m_lock);
    return m_frames.size();
}

void FrameQueue::Close() {
    {
        std::lock_guard guard(m_lock);
        m_closed = true;
    }
    m_notEmpty.notify_all();
}

void FrameQueue::Interrupt() {
    {
        std::lock_guard guard(m_lock);
        ++m_interrupts;
    }
    m_notEmpty.notify_all();
}

}  // namespace quorix
