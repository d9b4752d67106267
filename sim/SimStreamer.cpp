// The capture clock and the non-blocking frame sends of the simulated camera.
#include "sim/SimStreamer.h"

#include <algorithm>

#include "protocol/InitParams.h"
#include "sim/FrameBuilder.h"

namespace quorix::sim {
namespace {

constexpr uint32_t kMaxFrameRate = 120;
constexpr std::chrono::milliseconds kIdleLook{200};
constexpr std::chrono::milliseconds kSendRetry{5};

}  // namespace

struct SimStreamer::Lane {
    // Worker only.
    bool active = false;
    uint32_t starts = 0;
    uint32_t fps = 0;
    Clock::duration period{};
    Clock::time_point nextTick{};
    uint32_t frameIndex = 0;  // of the next capture
    bool inFlight = false;
    FrameBuilder builder;
    std::vector<DeviceStatus> history;  // status of recent captures, by index mod its size
    DeviceStatus first;                 // status of the stream's first capture
    bool pushArmed = false;
    Clock::time_point pushDue{};
    uint32_t pushLeft = 0;
    std::vector<uint8_t> pushBlock;

    // Read by Stats().
    std::atomic<uint64_t> captures{0};
    std::atomic<uint64_t> framesSent{0};
    std::atomic<uint64_t> framesDropped{0};
    std::atomic<uint64_t> statusBlocks{0};
    std::atomic<uint64_t> pushBlocks{0};
    std::atomic<uint64_t> streamStarts{0};
    std::atomic<uint32_t> lastFrameIndex{0};
};

SimStreamer::SimStreamer(StreamPort& port) : StreamClock("SimStreamer"), m_port(port) {
    for (uint32_t i = 0; i < port.SessionCount(); ++i) {
        m_lanes.push_back(std::make_unique<Lane>());
    }
}

SimStreamer::~SimStreamer() {
    Stop();
    Join();
}

void SimStreamer::Wake() {
    std::lock_guard guard(m_wakeLock);
    m_woken = true;
    m_wakeSignal.notify_one();
}

StreamStats SimStreamer::Stats(uint32_t session) const {
    StreamStats stats;
    if (session < m_lanes.size()) {
        const Lane& lane = *m_lanes[session];
        stats.captures = lane.captures.load();
        stats.framesSent = lane.framesSent.load();
        stats.framesDropped = lane.framesDropped.load();
        stats.statusBlocks = lane.statusBlocks.load();
        stats.pushBlocks = lane.pushBlocks.load();
        stats.streamStarts = lane.streamStarts.load();
        stats.lastFrameIndex = lane.lastFrameIndex.load();
    }
    return stats;
}

void SimStreamer::Run() {
    // A frame in flight when the thread last stopped went with the connections.
    for (auto& lane : m_lanes) {
        lane->active = false;
        lane->inFlight = false;
    }
    while (IsRunning()) {
        const Clock::time_point now = Clock::now();
        Clock::time_point wake = now + kIdleLook;
        for (uint32_t i = 0; i < m_lanes.size(); ++i) {
            Lane& lane = *m_lanes[i];
            Serve(i, lane, now);
            if (lane.active) {
                wake = std::min(wake, lane.nextTick);
            }
            if (lane.inFlight) {
                wake = std::min(wake, now + kSendRetry);
            }
        }
        std::unique_lock lock(m_wakeLock);
        m_wakeSignal.wait_until(lock, wake, [this] { return m_woken || !IsRunning(); });
        m_woken = false;
    }
}

void SimStreamer::Serve(uint32_t session, Lane& lane, Clock::time_point now) {
    if (lane.inFlight) {
        switch (m_port.ContinueFrame(session)) {
            case SendProgress::kDone:
                lane.inFlight = false;
                ++lane.framesSent;
                break;
            case SendProgress::kNoConnection:
                lane.inFlight = false;
                ++lane.framesDropped;
                break;
            case SendProgress::kPending:
                break;
        }
    }
    bool streaming = false;
    uint32_t starts = 0;
    uint32_t fps = 1;
    ParamPush push = ParamPush::kNever;
    uint32_t pushLateMs = 0;
    bool silent = false;
    m_port.ReadState([&](const SimState& state) {
        if (session < state.sensors.size()) {
            const SensorState& sensor = state.sensors[session];
            streaming = sensor.streaming;
            starts = sensor.streamStarts;
            fps = std::clamp<uint32_t>(sensor.tofFrameRate, 1, kMaxFrameRate);
        }
        push = state.stream.push;
        pushLateMs = state.stream.pushLateMs;
        silent = state.stream.silent;
    });
    if (!streaming) {
        lane.active = false;
        return;
    }
    if (!lane.active || starts != lane.starts) {
        // A stream (re)start: captures count from 0 and the parameters go out again.
        lane.active = true;
        lane.starts = starts;
        lane.frameIndex = 0;
        lane.fps = 0;
        lane.pushArmed = true;
        lane.pushLeft = 0;
        lane.pushDue = now + std::chrono::milliseconds(push == ParamPush::kLate ? pushLateMs : 0);
        ++lane.streamStarts;
    }
    if (fps != lane.fps) {
        lane.fps = fps;
        lane.period = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / fps;
        lane.nextTick = now;
    }
    if (now < lane.nextTick) {
        return;
    }
    if (!silent) {
        CaptureFrame(session, lane, now);
    }
    // The next tick stays on the grid; ticks already missed are skipped, not caught up.
    lane.nextTick += lane.period;
    if (lane.nextTick <= now) {
        lane.nextTick += ((now - lane.nextTick) / lane.period + 1) * lane.period;
    }
}

void SimStreamer::CaptureFrame(uint32_t session, Lane& lane, Clock::time_point now) {
    const uint32_t index = lane.frameIndex++;
    lane.lastFrameIndex = index;
    ++lane.captures;

    Capture capture;
    DeviceStatus current;
    bool pushEnabled = false;
    m_port.ReadState([&](const SimState& state) {
        if (session >= state.sensors.size()) {
            return;
        }
        const SensorState& sensor = state.sensors[session];
        capture = CaptureOf(state, session);
        current = StatusOf(sensor, index);
        pushEnabled = sensor.sendCameraParams && state.stream.push != ParamPush::kNever;
        if (pushEnabled && lane.pushArmed && now >= lane.pushDue) {
            lane.pushBlock = EncodeInitParams(PushOf(state, session));
            lane.pushArmed = false;
            lane.pushLeft = std::max<uint32_t>(state.stream.pushFrames, 1);
        }
    });

    // The status a frame echoes: its own capture's, one from `late` captures earlier, or
    // the stream's first.
    const StreamSettings& settings = capture.settings;
    const uint32_t late = std::clamp<uint32_t>(settings.statusLateFrames, 1, kMaxStatusLateFrames);
    if (index == 0) {
        lane.first = current;
    }
    if (lane.history.size() != late + 1) {
        lane.history.assign(late + 1, lane.first);
    }
    lane.history[index % (late + 1)] = current;
    DeviceStatus echo = current;
    if (settings.status == StatusEcho::kLate) {
        echo = index >= late ? lane.history[(index - late) % (late + 1)] : lane.first;
    } else if (settings.status == StatusEcho::kNever) {
        echo = lane.first;
    }
    echo.frameCounter = index;
    const DeviceStatus* status = settings.status == StatusEcho::kOff ? nullptr : &echo;

    if (lane.inFlight) {
        ++lane.framesDropped;  // the host has not taken the previous frame yet
        return;
    }
    const bool withPush = pushEnabled && lane.pushLeft > 0;
    const std::vector<uint8_t>& frame =
        lane.builder.Build(capture, index, status, withPush ? &lane.pushBlock : nullptr);
    const SendProgress progress = m_port.BeginFrame(session, frame.data(), frame.size());
    if (progress == SendProgress::kNoConnection) {
        ++lane.framesDropped;
        return;
    }
    if (progress == SendProgress::kDone) {
        ++lane.framesSent;
    } else {
        lane.inFlight = true;
    }
    if (status != nullptr) {
        ++lane.statusBlocks;
    }
    if (withPush) {
        ++lane.pushBlocks;
        --lane.pushLeft;
    }
}

}  // namespace quorix::sim
