// A recording made through the library's data tap and played back by a replaying simulated
// camera: the library delivers the same frames (depth, IR and colour bytes, indexes) as it
// did live, the replay answers the command connection with the recorded state, a cut file
// plays its whole frames, and step mode sends one frame per step.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <vector>

#include "camsim/Replay.h"
#include "cli/Recorder.h"
#include "quorix/quorix_api.h"
#include "record/Recording.h"
#include "sim/ReplayStreamer.h"
#include "sim/SimCamera.h"
#include "support/DeviceList.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;
using test::IsListed;
using test::WaitFor;

constexpr const char* kUri = "TK5P:QXREC1";

// Depth, IR and colour bytes of each frame index the library delivered.
using Frames = std::map<uint32_t, std::array<std::vector<uint8_t>, 3>>;

// Reads frame sets until `done` holds or `reads` reads have been made.
void Collect(NsDeviceHandle h, Frames& frames, const std::function<bool()>& done, int reads) {
    constexpr uint32_t kTypes[3] = {DepthFrame, IRFrame, RGBFrame};
    for (int i = 0; i < reads && !done(); ++i) {
        uint32_t ready = 0;
        if (Ns2_ReadNextFrame(h, 0, &ready) != NsStatusOk) {
            continue;
        }
        for (int k = 0; k < 3; ++k) {
            NsFrame f{};
            if (Ns2_GetFrame(h, 0, kTypes[k], &f) == NsStatusOk && f.pFrameData != nullptr) {
                const auto* p = static_cast<const uint8_t*>(f.pFrameData);
                frames[f.frameIndex][k].assign(p, p + f.dataLen);
            }
        }
    }
}

NsDeviceInfo ListedDevice(const std::string& uri) {
    for (const NsDeviceInfo& d : test::Listed()) {
        if (uri == d.uri) {
            return d;
        }
    }
    return {};
}

class Replay : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Ns2_Initialize(), NsStatusOk); }
    void TearDown() override {
        Close();
        Ns2_Shutdown();
    }

    NsDeviceHandle Open() {
        EXPECT_TRUE(WaitFor([] { return IsListed(kUri); }, 10s));
        EXPECT_EQ(Ns2_OpenDevice(kUri, &m_handle), NsStatusOk);
        Ns2_SetWaitTimeOfReadNextFrame(m_handle, 0, 300);
        return m_handle;
    }
    void Close() {
        if (m_handle != nullptr) {
            Ns2_StopStream(m_handle, 0);
            Ns2_CloseDevice(&m_handle);
        }
    }

    // Records a live camera as `quorix-cli record` does while the library delivers
    // `sets` frame sets into `live`.
    void RecordLive(const std::string& path, size_t sets, Frames& live) {
        sim::SimConfig config;
        config.address = "127.0.98.2";
        config.serial = "QXREC1";
        config.farewellOnStop = true;
        sim::SimCamera camera(config);
        camera.UpdateState([](sim::SimState& s) {
            s.firmwareVersion = "20250301_V7";
            s.sensors[0].dataMode = 2;  // depth and IR, with colour
            s.sensors[0].tofFrameRate = 10;
            s.sensors[0].depthRange = 2;
            s.sensors[0].thresholdX10 = 120;
            s.sensors[0].measuringRanges[0][0] = 1777;
        });
        ASSERT_EQ(camera.Start(), 0);
        NsDeviceHandle h = Open();
        record::RecordingWriter writer;
        ASSERT_EQ(cli::SetTap(h, 0, &writer), NsStatusOk);
        ASSERT_EQ(Ns2_StartStream(h, 0), NsStatusOk);
        std::string error;
        ASSERT_TRUE(writer.Open(path, cli::CaptureState(h, 0, ListedDevice(kUri)), error)) << error;
        Collect(
            h, live, [&] { return live.size() >= sets; }, 200);
        ASSERT_EQ(cli::SetTap(h, 0, nullptr), NsStatusOk);
        ASSERT_TRUE(writer.Finish(error)) << error;
        EXPECT_EQ(writer.Current().dropped, 0u);
        Close();
        camera.Stop();
        ASSERT_TRUE(WaitFor([] { return !IsListed(kUri); }, 10s));
        ASSERT_GE(live.size(), sets);
    }

    // A camera replaying `path` on 127.0.98.3.
    std::unique_ptr<sim::SimCamera> StartReplay(const std::string& path, bool step = false) {
        std::string error;
        m_reader = std::make_unique<record::RecordingReader>();
        auto source = record::OpenFileSource(path, error);
        EXPECT_TRUE(source && m_reader->Open(std::move(source), error)) << error;
        m_frames = std::make_unique<camsim::RecordingFrames>(*m_reader);
        sim::SimConfig config;
        config.address = "127.0.98.3";
        config.farewellOnStop = true;
        uint32_t session = 0;
        EXPECT_TRUE(camsim::ReplayIdentity(m_reader->State(), config, session, error)) << error;
        sim::ReplayOptions options;
        options.step = step;
        config.makeClock = [this, options](sim::StreamPort& port) {
            auto clock = std::make_unique<sim::ReplayStreamer>(port, *m_frames, options);
            m_clock = clock.get();
            return std::unique_ptr<sim::StreamClock>(std::move(clock));
        };
        auto camera = std::make_unique<sim::SimCamera>(config);
        std::string skipped;
        camera->UpdateState([&](sim::SimState& s) {
            camsim::ApplyRecordedState(m_reader->State(), session, s, skipped);
        });
        EXPECT_EQ(skipped, "");
        EXPECT_EQ(camera->Start(), 0);
        return camera;
    }

    // Step mode from the stream's start: its first frame goes at once, then frames 2 to
    // `last` one step at a time, each delivered (from the fifth on) before the next goes.
    void StepThrough(NsDeviceHandle h, uint32_t last, Frames& replayed) {
        ASSERT_TRUE(WaitFor([&] { return m_clock->FramesSent() == 1; }, 10s));
        uint32_t ready = 0;
        EXPECT_EQ(Ns2_ReadNextFrame(h, 0, &ready), NsStatusFrameTimeout);
        EXPECT_EQ(m_clock->FramesSent(), 1u);
        for (uint32_t sent = 2; sent <= last; ++sent) {
            m_clock->Step();
            ASSERT_TRUE(WaitFor([&] { return m_clock->FramesSent() == sent; }, 10s));
            if (sent >= 5) {
                Collect(
                    h, replayed, [&] { return replayed.count(sent) == 1; }, 30);
                EXPECT_EQ(replayed.count(sent), 1u) << "frame " << sent;
            }
        }
    }

    NsDeviceHandle m_handle = nullptr;
    std::unique_ptr<record::RecordingReader> m_reader;
    std::unique_ptr<camsim::RecordingFrames> m_frames;
    sim::ReplayStreamer* m_clock = nullptr;
};

void ExpectSameFrames(const Frames& live, const Frames& replayed, size_t expected) {
    size_t compared = 0;
    for (const auto& [index, kinds] : live) {
        const auto it = replayed.find(index);
        if (it == replayed.end()) {
            continue;
        }
        ++compared;
        for (int k = 0; k < 3; ++k) {
            EXPECT_FALSE(kinds[k].empty()) << "frame " << index << " kind " << k;
            EXPECT_TRUE(kinds[k] == it->second[k]) << "frame " << index << " kind " << k;
        }
    }
    EXPECT_EQ(compared, expected);
}

TEST_F(Replay, DeliversTheLiveFramesAndAnswersWithTheRecordedState) {
    test::TempDir dir;
    Frames live;
    RecordLive(dir / "live.qxrec", 12, live);

    auto camera = StartReplay(dir / "live.qxrec");
    NsDeviceHandle h = Open();
    ASSERT_EQ(Ns2_StartStream(h, 0), NsStatusOk);
    Frames replayed;
    Collect(
        h, replayed, [&] { return replayed.size() >= live.size(); }, 200);
    ExpectSameFrames(live, replayed, live.size());
    // The command connection answers as the recorded camera did.
    char firmware[64] = {};
    EXPECT_EQ(Ns2_GetFirmwareVersionNumber(h, 0, firmware, sizeof firmware), NsStatusOk);
    EXPECT_STREQ(firmware, "20250301_V7");
    uint32_t range = 0;
    EXPECT_EQ(Ns2_GetDepthRange(h, 0, &range), NsStatusOk);
    EXPECT_EQ(range, 2u);
    uint16_t threshold = 0;
    EXPECT_EQ(Ns2_GetThreshold(h, 0, &threshold), NsStatusOk);
    EXPECT_EQ(threshold, 12);
    NsMeasuringRange measuring{};
    EXPECT_EQ(Ns2_GetMeasuringRange(h, 0, 0, &measuring), NsStatusOk);
    EXPECT_EQ(+measuring.depthMaxNear, 1777);
}

// The live frames of the first `count` data frames: the library numbers the data frames it
// receives from 1 and delivers from the fifth on.
Frames FirstFrames(const Frames& live, uint32_t count) {
    Frames first;
    for (const auto& [index, kinds] : live) {
        if (index <= count) {
            first[index] = kinds;
        }
    }
    return first;
}

TEST_F(Replay, CutRecordingPlaysItsWholeFramesAndNothingElse) {
    test::TempDir dir;
    Frames live;
    RecordLive(dir / "live.qxrec", 8, live);
    // Cut in the middle of the tenth data chunk, as a crash would leave it.
    record::RecordingReader full;
    std::string error;
    ASSERT_TRUE(full.Open(record::OpenFileSource(dir / "live.qxrec", error), error)) << error;
    ASSERT_GE(full.Frames().size(), 10u);
    const auto& tenth = full.Frames()[9];
    std::ifstream in(dir / "live.qxrec", std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::ofstream(dir / "cut.qxrec", std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(tenth.offset + tenth.length / 2));

    // Stepped, so that a host slower than the recording's pace (frames sent while the
    // library is still setting its decoders up are dropped) cannot lose the few there are.
    auto camera = StartReplay(dir / "cut.qxrec", true);
    ASSERT_TRUE(m_reader->Truncated());
    ASSERT_EQ(m_reader->Frames().size(), 9u);
    NsDeviceHandle h = Open();
    ASSERT_EQ(Ns2_StartStream(h, 0), NsStatusOk);
    Frames replayed;
    StepThrough(h, 9, replayed);
    m_clock->Step();  // past the last whole frame: nothing is sent
    ASSERT_TRUE(WaitFor([&] { return m_clock->Finished(); }, 10s));
    Collect(
        h, replayed, [] { return false; }, 2);  // nothing more comes
    EXPECT_EQ(m_clock->FramesSent(), 9u);
    // Frames 5 to 9 exactly; only those the live host saw are compared.
    EXPECT_EQ(replayed.size(), 5u);
    const Frames expected = FirstFrames(live, 9);
    ExpectSameFrames(expected, replayed, expected.size());
}

TEST_F(Replay, StepModeSendsOneFramePerStep) {
    test::TempDir dir;
    Frames live;
    RecordLive(dir / "live.qxrec", 4, live);
    auto camera = StartReplay(dir / "live.qxrec", true);
    NsDeviceHandle h = Open();
    ASSERT_EQ(Ns2_StartStream(h, 0), NsStatusOk);
    Frames replayed;
    StepThrough(h, 7, replayed);
    Collect(
        h, replayed, [] { return false; }, 2);  // nothing more comes
    EXPECT_EQ(m_clock->FramesSent(), 7u);
    // Frames 5 to 7 exactly. A slow live host may have missed one of them (the camera
    // sent it, the recording holds it), so only those seen live are compared.
    EXPECT_EQ(replayed.size(), 3u);
    const Frames expected = FirstFrames(live, 7);
    ExpectSameFrames(expected, replayed, expected.size());
}

}  // namespace
}  // namespace quorix
