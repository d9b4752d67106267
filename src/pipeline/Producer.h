// Producer: what the session's reader offers its decoders. TofDecode and RgbDecode pull
// raw frames through it and announce decoded frames to the synchroniser.
#pragma once

#include <cstdint>

#include "pipeline/Frame.h"

namespace quorix {

class Producer {
public:
    virtual ~Producer() = default;

    // Announces decoded frames (bit 0 depth, bit 1 IR, bit 2 colour) to the synchroniser.
    virtual void SetSingleFrameReady(uint8_t mask) = 0;
    // Pops the raw ToF queue (waits up to its time-out): 0 with a frame, -1 without.
    virtual int32_t GetRawTofFrame(Frame*& frame) = 0;
    // Pops the raw colour queue: 0 with a frame, -1 without.
    virtual int32_t GetRawRgbFrame(Frame*& frame) = 0;
    // Give a raw frame back to its pool; null is ignored.
    virtual void ReleaseRawTofFrame(Frame* frame) = 0;
    virtual void ReleaseRawRgbFrame(Frame* frame) = 0;
};

}  // namespace quorix
