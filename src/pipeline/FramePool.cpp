// Fixed frame pools: one allocation of records and one of buffers per pool.
#include "pipeline/FramePool.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "base/Status.h"
#include "log/Log.h"

namespace quorix {

PageBuffer::PageBuffer(size_t bytes) {
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t usable = (bytes + page - 1) / page * page;
    m_mapped = usable + page;
    void* base =
        mmap(nullptr, m_mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        QLOG_ERROR("cannot map %zu bytes of frame buffers: %s\n", m_mapped, strerror(errno));
        throw std::bad_alloc();
    }
    m_base = base;
    mprotect(static_cast<uint8_t*>(base) + usable, page, PROT_NONE);
}

PageBuffer::~PageBuffer() {
    munmap(m_base, m_mapped);
}

uint32_t FramePool::BufferBytes(int32_t poolType) {
    switch (poolType) {
        case kPoolRawTof:
            return kRawTofBytes;
        case kPoolRawColour:
            return kRawColourBytes;
        case kPoolDepth:
            return kDepthBytes;
        case kPoolIR:
            return kIRBytes;
        case kPoolColour:
            return kColourBytes;
        default:
            return 0;
    }
}

int32_t FramePool::FreshPixelFormat(int32_t poolType) {
    switch (poolType) {
        case kPoolDepth:
            return 0;
        case kPoolIR:
            return 1;
        case kPoolColour:
            return 3;
        default:
            return kStatusFailed;
    }
}

FramePool::FramePool(int32_t poolType, uint32_t frameCount)
    : m_poolType(poolType),
      m_frameCount(frameCount),
      m_frames(std::make_unique<Frame[]>(frameCount)),
      m_free(frameCount) {
    const uint32_t bytes = BufferBytes(poolType);
    if (bytes == 0) {
        QLOG_WARN("type: %d is invalid.\n", poolType);
    } else {
        // Fresh pages read as zero: every buffer starts all zero, as a released one is.
        m_buffers = std::make_unique<PageBuffer>(static_cast<size_t>(bytes) * frameCount);
    }
    for (uint32_t i = 0; i < frameCount; ++i) {
        Frame& f = m_frames[i];
        f.frameType = static_cast<uint32_t>(poolType);
        f.pixelFormat = FreshPixelFormat(poolType);
        f.capacity = bytes;
        f.pFrameData = bytes != 0 ? m_buffers->data() + static_cast<size_t>(bytes) * i : nullptr;
        m_free.push_back(&f);
    }
}

FramePool::~FramePool() = default;

bool FramePool::Owns(const Frame* frame) const {
    return frame >= m_frames.get() && frame < m_frames.get() + m_frameCount;
}

uint32_t FramePool::FreeCount() const {
    std::lock_guard guard(m_lock);
    return static_cast<uint32_t>(m_free.size());
}

Frame* FramePool::AllocFrame(int32_t poolType) {
    if (poolType != m_poolType) {
        return nullptr;
    }
    Frame* frame = nullptr;
    {
        std::lock_guard guard(m_lock);
        if (!m_free.empty()) {
            frame = m_free.pop_front();
            frame->inUse = 1;
        }
    }
    if (frame == nullptr) {
        QLOG("FramePool of %d is exhausted\n", m_poolType);
    }
    return frame;
}

void FramePool::Reset(Frame& frame) const {
    frame.frameIndex = 0;
    frame.pixelFormat = -1;
    frame.frameTag = 0;
    if (frame.pFrameData != nullptr) {
        // Only what was written can be non-zero: a 640x480 image in a colour buffer made
        // for 1920x1080 costs a seventh of the whole buffer's zeroing.
        const uint32_t dirty =
            std::min(std::max(frame.writtenBytes, frame.dataLen), frame.capacity);
        memset(frame.pFrameData, 0, dirty);
    }
    frame.dataLen = 0;
    frame.writtenBytes = 0;
    frame.exposureTime = 0.0f;
    frame.depthRange = 0;
    frame.width = 0;
    frame.height = 0;
    frame.frameSet = 0;
    frame.inUse = 0;
    frame.timestamp = 0;
}

void FramePool::Release(Frame* frame) {
    if (frame == nullptr) {
        return;
    }
    if (!Owns(frame)) {
        QLOG("frame %p does not belong to the pool of %d\n", static_cast<void*>(frame), m_poolType);
        return;
    }
    bool doubleRelease = false;
    {
        std::lock_guard guard(m_lock);
        if (frame->inUse == 0) {
            doubleRelease = true;  // already free: a second entry would lend it twice
        } else {
            Reset(*frame);
            m_free.push_back(frame);
        }
    }
    if (doubleRelease) {
        QLOG("frame %p of the pool of %d is released twice\n", static_cast<void*>(frame),
             m_poolType);
    }
}

}  // namespace quorix
