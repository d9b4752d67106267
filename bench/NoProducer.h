// A producer that offers the decoders nothing, for benchmarks that hand them records
// themselves.
#pragma once

#include "pipeline/Producer.h"

namespace quorix {

class NoProducer : public Producer {
public:
    void SetSingleFrameReady(uint8_t) override {}
    int32_t GetRawTofFrame(Frame*&) override { return -1; }
    int32_t GetRawRgbFrame(Frame*&) override { return -1; }
    void ReleaseRawTofFrame(Frame*) override {}
    void ReleaseRawRgbFrame(Frame*) override {}
};

}  // namespace quorix
