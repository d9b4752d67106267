// Playing a recording back on a simulated camera's data connection.
#include "sim/ReplayStreamer.h"

#include <algorithm>

namespace quorix::sim {
namespace {

constexpr std::chrono::milliseconds kIdleLook{200};
constexpr std::chrono::milliseconds kSendRetry{2};

}  // namespace

ReplayStreamer::ReplayStreamer(StreamPort& port, const ReplaySource& source, ReplayOptions options)
    : StreamClock("ReplayStreamer"),
      m_port(port),
      m_source(source),
      m_options(std::move(options)) {}

ReplayStreamer::~ReplayStreamer() {
    Stop();
    Join();
}

void ReplayStreamer::Wake() {
    std::lock_guard guard(m_wakeLock);
    m_woken = true;
    m_wakeSignal.notify_one();
}

void ReplayStreamer::Step() {
    std::lock_guard guard(m_wakeLock);
    ++m_steps;
    m_woken = true;
    m_wakeSignal.notify_one();
}

StreamStats ReplayStreamer::Stats(uint32_t session) const {
    StreamStats stats;
    if (session == m_options.session) {
        stats.captures = m_captures.load();
        stats.framesSent = m_sent.load();
        stats.framesDropped = m_dropped.load();
        stats.streamStarts = m_streamStarts.load();
        stats.lastFrameIndex = m_lastIndex.load();
    }
    return stats;
}

ReplayStreamer::Clock::time_point ReplayStreamer::DueTime(size_t index) const {
    const uint64_t first = m_source.FrameTimeNs(0);
    const uint64_t at = m_source.FrameTimeNs(index);
    const double scaled = static_cast<double>(at > first ? at - first : 0) / m_options.rate;
    return m_origin + std::chrono::duration_cast<Clock::duration>(
                          std::chrono::duration<double, std::nano>(scaled));
}

void ReplayStreamer::Run() {
    m_active = false;
    m_inFlight = false;
    while (IsRunning()) {
        const Clock::time_point wake = Serve(Clock::now());
        std::unique_lock lock(m_wakeLock);
        m_wakeSignal.wait_until(lock, wake, [this] { return m_woken || !IsRunning(); });
        m_woken = false;
    }
}

ReplayStreamer::Clock::time_point ReplayStreamer::Serve(Clock::time_point now) {
    const uint32_t session = m_options.session;
    if (m_inFlight) {
        switch (m_port.ContinueFrame(session)) {
            case SendProgress::kDone:
                m_inFlight = false;
                ++m_sent;
                break;
            case SendProgress::kNoConnection:
                m_inFlight = false;
                ++m_dropped;
                break;
            case SendProgress::kPending:
                return now + kSendRetry;
        }
    }
    bool streaming = false;
    uint32_t starts = 0;
    m_port.ReadState([&](const SimState& state) {
        if (session < state.sensors.size()) {
            streaming = state.sensors[session].streaming;
            starts = state.sensors[session].streamStarts;
        }
    });
    if (!streaming) {
        m_active = false;
        return now + kIdleLook;
    }
    const size_t count = m_source.FrameCount();
    if (!m_active || starts != m_starts) {
        m_active = true;
        m_starts = starts;
        m_next = 0;
        m_origin = now;
        m_finished = false;
        m_startCaptures = m_captures.load();
        ++m_streamStarts;
    }
    if (m_next >= count) {
        if (!m_options.loop || count == 0) {
            m_finished = true;
            return now + kIdleLook;
        }
        // The next pass starts one recorded frame interval after the last frame.
        const uint64_t span =
            count > 1 ? m_source.FrameTimeNs(count - 1) - m_source.FrameTimeNs(0) : 0;
        const uint64_t gap = span / std::max<size_t>(count - 1, 1);
        m_origin = DueTime(count - 1) + std::chrono::nanoseconds(static_cast<int64_t>(
                                            static_cast<double>(gap) / m_options.rate));
        m_next = 0;
    }
    // Step mode sends a stream's first frame at once: a host waits only briefly for the
    // first frame of a stream it started (and its pushed parameters) before it gives up on
    // them, so a replay that held it back would not be received as the recording was.
    if (m_options.step && !(m_next == 0 && m_captures == m_startCaptures)) {
        std::lock_guard guard(m_wakeLock);
        if (m_steps == 0) {
            return now + kIdleLook;
        }
        --m_steps;
    } else if (const Clock::time_point due = DueTime(m_next); now < due) {
        return due;
    }
    const size_t index = m_next++;
    ++m_captures;
    m_lastIndex = static_cast<uint32_t>(index);
    if (m_options.onFrame) {
        m_options.onFrame(index);
    }
    if (!m_source.ReadFrame(index, m_frame)) {
        ++m_dropped;
        return now;
    }
    switch (m_port.BeginFrame(session, m_frame.data(), m_frame.size())) {
        case SendProgress::kDone:
            ++m_sent;
            break;
        case SendProgress::kPending:
            m_inFlight = true;
            return now + kSendRetry;
        case SendProgress::kNoConnection:
            ++m_dropped;
            break;
    }
    if (!m_options.loop && m_next >= count) {
        m_finished = true;
    }
    return m_options.step
               ? now
               : std::min(now + kIdleLook, m_next < count ? DueTime(m_next) : now + kIdleLook);
}

}  // namespace quorix::sim
