// SimStreamer: the capture clock of a simulated camera. While a session's sensor streams,
// it captures at the sensor's ToF frame rate (paced by a steady clock on a fixed grid, so
// the rate does not drift; missed ticks are skipped, not caught up) and sends each capture
// as one data frame on the session's data connection. Sends never block: a frame still
// going out when the next capture is due makes that capture a dropped frame, so a slow
// host costs frames, never the command server's time.
//
// Threads: one worker for all sessions of a camera. Wake() and Stats() may be called from
// any thread; the port's operations are called on the worker only.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "pipeline/StoppableThread.h"
#include "sim/SimState.h"

namespace quorix::sim {

enum class SendProgress {
    kDone,          // the frame is out (or none was in flight)
    kPending,       // part of it waits for room on the connection
    kNoConnection,  // no data connection, or it went away mid-frame (the frame is lost)
};

// What the streamer needs from its camera.
class StreamPort {
public:
    virtual ~StreamPort() = default;
    virtual uint32_t SessionCount() const = 0;
    // Calls `read` with the camera's state, under the camera's state lock.
    virtual void ReadState(const std::function<void(const SimState&)>& read) const = 0;
    // Starts sending a whole data frame; `data` stays unchanged until ContinueFrame reports
    // it done or lost.
    virtual SendProgress BeginFrame(uint32_t session, const uint8_t* data, size_t length) = 0;
    virtual SendProgress ContinueFrame(uint32_t session) = 0;
};

// Counters of one session since the camera was constructed.
struct StreamStats {
    uint64_t captures = 0;        // every capture while streaming, sent or not
    uint64_t framesSent = 0;      // frames whose last byte went out
    uint64_t framesDropped = 0;   // captures not sent (no connection, host too slow, cut off)
    uint64_t statusBlocks = 0;    // frames begun with a 0x2C block
    uint64_t pushBlocks = 0;      // frames begun with a 0x2E block
    uint64_t streamStarts = 0;    // streams seen starting
    uint32_t lastFrameIndex = 0;  // index of the last capture (0 at each stream start)
};

// What a camera's capture clock offers the camera: the synthetic scene (SimStreamer) or a
// recording played back (ReplayStreamer).
class StreamClock : public StoppableThread {
public:
    using StoppableThread::StoppableThread;
    // The state may have changed (a command, a test): look again now.
    virtual void Wake() = 0;
    virtual StreamStats Stats(uint32_t session) const = 0;
};

class SimStreamer : public StreamClock {
public:
    explicit SimStreamer(StreamPort& port);
    ~SimStreamer() override;

    void Wake() override;
    StreamStats Stats(uint32_t session) const override;

protected:
    void Run() override;
    void OnStopRequested() override { Wake(); }

private:
    using Clock = std::chrono::steady_clock;
    struct Lane;

    void Serve(uint32_t session, Lane& lane, Clock::time_point now);
    void CaptureFrame(uint32_t session, Lane& lane, Clock::time_point now);

    StreamPort& m_port;
    std::vector<std::unique_ptr<Lane>> m_lanes;  // one per session, fixed at construction
    std::mutex m_wakeLock;
    std::condition_variable m_wakeSignal;
    bool m_woken = false;
};

}  // namespace quorix::sim
