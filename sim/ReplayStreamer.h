// ReplayStreamer: the capture clock of a camera that plays a recording back. While the
// replayed session's sensor streams, it sends the recorded data frames on the session's
// data connection at their recorded pace (scaled by `rate`), or one per Step() in step
// mode (the stream's first frame goes at once there too); every stream start plays from the
// first frame. Unlike the synthetic clock it never
// drops a frame: a host slower than the recording delays the frames behind, so what the
// host receives is the recording, whole and in order. Other sessions send nothing.
//
// Threads: one worker; Wake, Step and Stats may be called from any thread, the source and
// `onFrame` are called on the worker only.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "sim/SimStreamer.h"

namespace quorix::sim {

// The recorded frames, each a whole data frame (its 8-byte header and payload).
class ReplaySource {
public:
    virtual ~ReplaySource() = default;
    virtual size_t FrameCount() const = 0;
    virtual uint64_t FrameTimeNs(size_t index) const = 0;
    // False when the frame cannot be read (it is then skipped and counted dropped).
    virtual bool ReadFrame(size_t index, std::vector<uint8_t>& out) const = 0;
};

struct ReplayOptions {
    uint32_t session = 0;
    double rate = 1.0;  // > 0: 2 plays twice as fast
    bool loop = false;  // start over after the last frame, until the stream stops
    bool step = false;  // one frame per Step() instead of the recorded pace
    // Called on the worker just before frame `index` goes out (settings recorded up to
    // its time can be applied then).
    std::function<void(size_t index)> onFrame;
};

class ReplayStreamer : public StreamClock {
public:
    ReplayStreamer(StreamPort& port, const ReplaySource& source, ReplayOptions options);
    ~ReplayStreamer() override;

    void Wake() override;
    StreamStats Stats(uint32_t session) const override;
    // Step mode: lets one more frame go out.
    void Step();
    // Frames handed to the connection since construction, and whether the last one of a
    // non-looping replay has gone out.
    uint64_t FramesSent() const { return m_sent.load(); }
    bool Finished() const { return m_finished.load(); }

protected:
    void Run() override;
    void OnStopRequested() override { Wake(); }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point DueTime(size_t index) const;
    // One pass: follows the stream state, finishes a frame in flight, sends the next one
    // when it is due. Returns when to look again.
    Clock::time_point Serve(Clock::time_point now);

    StreamPort& m_port;
    const ReplaySource& m_source;
    const ReplayOptions m_options;

    // Worker only.
    bool m_active = false;
    uint32_t m_starts = 0;
    size_t m_next = 0;
    Clock::time_point m_origin{};
    bool m_inFlight = false;
    uint64_t m_startCaptures = 0;  // m_captures when the stream started
    std::vector<uint8_t> m_frame;

    std::mutex m_wakeLock;
    std::condition_variable m_wakeSignal;
    bool m_woken = false;
    uint64_t m_steps = 0;  // guarded by m_wakeLock

    std::atomic<uint64_t> m_captures{0};
    std::atomic<uint64_t> m_sent{0};
    std::atomic<uint64_t> m_dropped{0};
    std::atomic<uint64_t> m_streamStarts{0};
    std::atomic<uint32_t> m_lastIndex{0};
    std::atomic<bool> m_finished{false};
};

}  // namespace quorix::sim
