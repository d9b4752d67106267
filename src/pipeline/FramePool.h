// FramePool: a fixed set of frame records and buffers of one kind, allocated once and
// recycled. The pool owns every record it made, wherever the record is lent, and frees
// them all when it goes.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "pipeline/BoundedDeque.h"
#include "pipeline/Frame.h"

namespace quorix {

// Zero-filled memory mapped straight from the kernel, with a guard page after it: a write
// past the end faults at once instead of corrupting a neighbour.
class PageBuffer {
public:
    explicit PageBuffer(size_t bytes);  // throws std::bad_alloc when nothing can be mapped
    ~PageBuffer();
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;

    uint8_t* data() const { return static_cast<uint8_t*>(m_base); }

private:
    void* m_base = nullptr;
    size_t m_mapped = 0;
};

class FramePool {
public:
    FramePool(int32_t poolType, uint32_t frameCount);
    ~FramePool();

    FramePool(const FramePool&) = delete;
    FramePool& operator=(const FramePool&) = delete;

    // The oldest free frame marked in use; null for another pool's type (silently) or when
    // every frame is lent out (with the exhaustion line).
    Frame* AllocFrame(int32_t poolType);
    // Resets the frame, zeroes its buffer up to the larger of its written mark and its data
    // length (the rest is still zero) and puts it back on the free list. Null, foreign and
    // already-free frames are refused with a log line.
    void Release(Frame* frame);

    int32_t Type() const { return m_poolType; }
    uint32_t FrameCount() const { return m_frameCount; }
    uint32_t FreeCount() const;
    bool Owns(const Frame* frame) const;

    // Buffer bytes of one frame of this pool type (0 for an unknown type).
    static uint32_t BufferBytes(int32_t poolType);
    // Pixel format a fresh frame of this pool carries.
    static int32_t FreshPixelFormat(int32_t poolType);

private:
    void Reset(Frame& frame) const;

    const int32_t m_poolType;
    const uint32_t m_frameCount;
    std::unique_ptr<Frame[]> m_frames;
    // Straight from the kernel: untouched pages cost no resident memory, and every byte
    // goes back to the system with the pool. Heap blocks of this size would raise the
    // allocator's mapping threshold, and later pools would fragment the heap, so resident
    // memory would creep up with every reopen.
    std::unique_ptr<PageBuffer> m_buffers;
    mutable std::mutex m_lock;
    BoundedDeque<Frame*> m_free;
};

}  // namespace quorix
