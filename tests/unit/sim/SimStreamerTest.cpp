// The capture clock against a fake camera port: which captures echo a change in their
// status block, when the parameter block goes out, frames dropped while a slow host holds
// the previous one, captures never running ahead of their rate, stop and restart. State
// changes are made at a known frame (inside the port), so no test depends on the
// machine's speed.
#include "sim/SimStreamer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "FrameCheck.h"
#include "support/Wait.h"

namespace quorix::sim {
namespace {

using Clock = std::chrono::steady_clock;

struct SeenFrame {
    uint32_t index = 0;
    std::optional<DeviceStatus> status;
    bool push = false;
    Clock::time_point begun;
};

class FakePort : public StreamPort {
public:
    FakePort() : m_state(MakeDefaultState(561, "127.0.0.2", "QXFAKE", 1)) {
        m_state.sensors[0].tofFrameRate = 100;
        m_state.stream.colour = ColourFormat::kNone;
    }

    uint32_t SessionCount() const override { return 1; }
    void ReadState(const std::function<void(const SimState&)>& read) const override {
        std::lock_guard guard(m_lock);
        read(m_state);
    }
    SendProgress BeginFrame(uint32_t, const uint8_t* data, size_t length) override {
        SeenFrame seen;
        seen.begun = Clock::now();
        const uint8_t* payload = data + kFrameHeaderBytes;
        const size_t size = length - kFrameHeaderBytes;
        seen.index = test::StampOf(payload, size).value_or(~0u);
        seen.status = test::StatusIn(payload, size);
        for (const SubPacket& p : test::WholeSubPackets(payload, size)) {
            seen.push = seen.push || p.type == kPushType;
        }
        std::lock_guard guard(m_lock);
        m_frames.push_back(seen);
        if (m_frames.size() == m_changeAt && m_change) {
            m_change(m_state);
        }
        return m_hold ? SendProgress::kPending : SendProgress::kDone;
    }
    SendProgress ContinueFrame(uint32_t) override {
        std::lock_guard guard(m_lock);
        return m_hold ? SendProgress::kPending : SendProgress::kDone;
    }

    void Update(const std::function<void(SimState&)>& change) {
        std::lock_guard guard(m_lock);
        change(m_state);
    }
    // Applies `change` right after the `count`-th frame was begun.
    void ChangeAfter(size_t count, std::function<void(SimState&)> change) {
        std::lock_guard guard(m_lock);
        m_changeAt = count;
        m_change = std::move(change);
    }
    void Hold(bool hold) {
        std::lock_guard guard(m_lock);
        m_hold = hold;
    }
    std::vector<SeenFrame> Frames() const {
        std::lock_guard guard(m_lock);
        return m_frames;
    }

private:
    mutable std::mutex m_lock;
    SimState m_state;
    std::vector<SeenFrame> m_frames;
    size_t m_changeAt = 0;
    std::function<void(SimState&)> m_change;
    bool m_hold = false;
};

bool Eventually(const std::function<bool()>& condition) {
    return quorix::test::WaitFor(condition, std::chrono::seconds(10));
}

// Starts the stream and returns once `count` frames were begun (or the safety limit).
std::vector<SeenFrame> Stream(FakePort& port, SimStreamer& streamer, size_t count) {
    port.Update([](SimState& s) {
        s.sensors[0].streaming = true;
        ++s.sensors[0].streamStarts;
    });
    streamer.Wake();
    EXPECT_TRUE(Eventually([&] { return port.Frames().size() >= count; }));
    std::vector<SeenFrame> frames = port.Frames();
    frames.resize(std::min(frames.size(), count));
    return frames;
}

TEST(SimStreamer, StatusBlocksEchoAChangePromptlyLateOrNever) {
    struct Case {
        StatusEcho echo;
        int firstNew;  // index of the first frame showing the new range; -1 none
    };
    const Case cases[] = {{StatusEcho::kPrompt, 6},
                          {StatusEcho::kLate, 9},
                          {StatusEcho::kNever, -1},
                          {StatusEcho::kOff, -1}};
    for (const Case& c : cases) {
        FakePort port;
        port.Update([&](SimState& s) {
            s.stream.status = c.echo;
            s.stream.statusLateFrames = 3;
        });
        port.ChangeAfter(6, [](SimState& s) { s.sensors[0].depthRange = 4; });  // after frame 5
        SimStreamer streamer(port);
        streamer.Start();
        const auto frames = Stream(port, streamer, 14);
        ASSERT_EQ(frames.size(), 14u);
        for (uint32_t k = 0; k < frames.size(); ++k) {
            EXPECT_EQ(frames[k].index, k);
            if (c.echo == StatusEcho::kOff) {
                EXPECT_FALSE(frames[k].status);
                continue;
            }
            ASSERT_TRUE(frames[k].status);
            EXPECT_EQ(frames[k].status->frameCounter, k);
            const bool changed = c.firstNew >= 0 && k >= static_cast<uint32_t>(c.firstNew);
            EXPECT_EQ(frames[k].status->depthRange, changed ? 4 : 0)
                << "echo " << static_cast<int>(c.echo) << " frame " << k;
        }
        streamer.Stop();  // no frame begins between the two counts
        streamer.Join();
        EXPECT_EQ(streamer.Stats(0).statusBlocks,
                  c.echo == StatusEcho::kOff ? 0u : port.Frames().size());
    }
}

TEST(SimStreamer, ParameterBlockGoesOutOnTimeOnlyOnceEnabled) {
    struct Case {
        ParamPush push;
        bool enabled;
        uint32_t lateMs;
        bool expected;
    };
    const Case cases[] = {{ParamPush::kPrompt, true, 0, true},
                          {ParamPush::kPrompt, false, 0, false},
                          {ParamPush::kNever, true, 0, false},
                          {ParamPush::kLate, true, 150, true}};
    for (const Case& c : cases) {
        FakePort port;
        port.Update([&](SimState& s) {
            s.sensors[0].sendCameraParams = c.enabled;
            s.stream.push = c.push;
            s.stream.pushLateMs = c.lateMs;
            s.stream.pushFrames = 3;
        });
        SimStreamer streamer(port);
        streamer.Start();
        const Clock::time_point started = Clock::now();
        const auto frames = Stream(port, streamer, c.lateMs > 0 ? 40 : 10);
        std::vector<uint32_t> pushed;
        for (const SeenFrame& f : frames) {
            if (f.push) {
                pushed.push_back(f.index);
                EXPECT_GE(f.begun - started, std::chrono::milliseconds(c.lateMs));
            }
        }
        if (!c.expected) {
            EXPECT_TRUE(pushed.empty()) << static_cast<int>(c.push);
            continue;
        }
        ASSERT_EQ(pushed.size(), 3u) << static_cast<int>(c.push);
        EXPECT_EQ(pushed[1], pushed[0] + 1);
        EXPECT_EQ(pushed[2], pushed[0] + 2);
        if (c.push == ParamPush::kPrompt) {
            EXPECT_EQ(pushed[0], 0u);
        } else {
            EXPECT_GT(pushed[0], 0u);
        }
    }
}

TEST(SimStreamer, ASlowHostCostsCapturesAndNeverRunsAheadOfTheRate) {
    FakePort port;
    port.Hold(true);
    SimStreamer streamer(port);
    streamer.Start();
    const Clock::time_point started = Clock::now();
    Stream(port, streamer, 1);
    // While the first frame waits for the host, captures go on but build no frame.
    ASSERT_TRUE(Eventually([&] { return streamer.Stats(0).framesDropped >= 3; }));
    EXPECT_EQ(port.Frames().size(), 1u);
    EXPECT_EQ(streamer.Stats(0).framesSent, 0u);
    port.Hold(false);
    ASSERT_TRUE(Eventually([&] { return port.Frames().size() >= 8; }));
    const auto frames = port.Frames();
    EXPECT_GE(streamer.Stats(0).framesSent, 1u);
    EXPECT_EQ(frames[0].index, 0u);
    // Capture k happens on the grid of 10 ms ticks at or after the start, so no frame is
    // begun before started + k * 10 ms; the dropped captures show as gaps in the indices.
    for (size_t i = 1; i < frames.size(); ++i) {
        EXPECT_GT(frames[i].index, frames[i - 1].index);
        EXPECT_GE(frames[i].begun - started, std::chrono::milliseconds(10) * frames[i].index);
    }
    EXPECT_GE(frames[1].index, 4u);

    // Stopping ends the captures; the frame count stands still.
    port.Update([](SimState& s) { s.sensors[0].streaming = false; });
    streamer.Wake();
    ASSERT_TRUE(Eventually([&] {
        const uint64_t before = streamer.Stats(0).captures;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return streamer.Stats(0).captures == before;
    }));
    // A new start counts its captures from 0 again.
    const size_t seen = port.Frames().size();
    EXPECT_EQ(Stream(port, streamer, seen + 1).back().index, 0u);
    EXPECT_EQ(streamer.Stats(0).streamStarts, 2u);
}

}  // namespace
}  // namespace quorix::sim
