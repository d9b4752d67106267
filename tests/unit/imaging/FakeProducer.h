// The frame engine's side of a decoder thread in tests: a queue of raw records of one kind
// (ToF or colour) for the decoder to take, and the frame kinds it announces.
#pragma once

#include <cstring>
#include <mutex>
#include <vector>

#include "pipeline/FrameQueue.h"
#include "pipeline/Producer.h"

namespace quorix::test {

class FakeProducer : public Producer {
public:
    FakeProducer(int32_t poolType, uint32_t frames) : raw(poolType, frames), m_poolType(poolType) {}

    // A record holding `bytes` (its sub-packets), not yet queued.
    Frame* Record(const std::vector<uint8_t>& bytes) {
        Frame* f = raw.AllocFrame(m_poolType);
        memcpy(f->pFrameData, bytes.data(), bytes.size());
        f->dataLen = static_cast<uint32_t>(bytes.size());
        return f;
    }
    void Feed(const std::vector<uint8_t>& bytes) { raw.Push(Record(bytes)); }
    // Records taken from the pool and not given back.
    uint32_t RawOut() const { return raw.Pool()->FrameCount() - raw.Pool()->FreeCount(); }
    std::vector<uint8_t> Ready() const {
        std::lock_guard guard(m_lock);
        return m_ready;
    }

    void SetSingleFrameReady(uint8_t mask) override {
        std::lock_guard guard(m_lock);
        m_ready.push_back(mask);
    }
    int32_t GetRawTofFrame(Frame*& frame) override { return Take(kPoolRawTof, frame); }
    int32_t GetRawRgbFrame(Frame*& frame) override { return Take(kPoolRawColour, frame); }
    void ReleaseRawTofFrame(Frame* frame) override { raw.Release(frame); }
    void ReleaseRawRgbFrame(Frame* frame) override { raw.Release(frame); }

    FrameQueue raw;

private:
    int32_t Take(int32_t poolType, Frame*& frame) {
        frame = poolType == m_poolType ? raw.Pop() : nullptr;
        return frame != nullptr ? 0 : -1;
    }

    const int32_t m_poolType;
    mutable std::mutex m_lock;
    std::vector<uint8_t> m_ready;
};

}  // namespace quorix::test
