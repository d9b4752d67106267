// Statistics of a stream as the application sees it: frame sets and frames delivered, read
// time-outs and failures, frame rate, and latency from receipt to delivery. Times are
// milliseconds of a steady clock, passed in by the caller.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorix::cli {

class StreamStats {
public:
    explicit StreamStats(int64_t startMs);

    // One successful read of the next frames.
    void OnFrameSet(int64_t nowMs);
    // One frame fetched from that set; `latencyMs` is nothing when its stamp was unusable.
    void OnFrame(uint32_t frameType, std::optional<int64_t> latencyMs);
    void OnTimeout() { ++m_timeouts; }
    void OnFailure() { ++m_failures; }

    uint64_t FrameSets() const { return m_sets; }
    uint64_t Timeouts() const { return m_timeouts; }
    uint64_t Failures() const { return m_failures; }
    // Steady time of the latest frame set, or the start when none came yet.
    int64_t LastFrameSetMs() const { return m_lastSetMs; }

    // One line: the frame rate since the previous line (or the start), read counts and the
    // latest latency with its range.
    std::string ProgressLine(int64_t nowMs);
    // Several lines: the totals and the average rate since the start.
    std::string Summary(int64_t nowMs) const;

private:
    struct Latency {
        uint64_t count = 0;
        int64_t min = 0;
        int64_t max = 0;
        int64_t last = 0;
        double sum = 0;
    };

    int64_t m_startMs;
    int64_t m_lastSetMs;
    int64_t m_progressMs;
    uint64_t m_progressSets = 0;
    uint64_t m_sets = 0;
    uint64_t m_depth = 0;
    uint64_t m_ir = 0;
    uint64_t m_colour = 0;
    uint64_t m_other = 0;  // mapped frames
    uint64_t m_unstamped = 0;
    uint64_t m_timeouts = 0;
    uint64_t m_failures = 0;
    Latency m_latency;
};

}  // namespace quorix::cli
