// A network camera from open to close through the C interface, against the streaming
// simulator: every depth and IR pixel checked through the decode table, colour against a
// direct TurboJPEG decode, the frame records, the init paths, the lifecycle promises.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "imaging/DepthDecodeTable.h"
#include "log/Log.h"
#include "quorix/quorix_api.h"
#include "sim/ColourImage.h"
#include "sim/Scene.h"
#include "sim/SimCamera.h"
#include "support/DeviceList.h"
#include "support/TempDir.h"
#include "support/Wait.h"
#include "support/WdrReference.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;

using test::IsListed;
using test::WaitFor;

// Reads until a set holding every kind in `wanted` arrives; false after `tries` reads, with
// the statuses the reads gave in the failure message.
::testing::AssertionResult ReadSet(NsDeviceHandle h, uint32_t wanted, uint32_t& ready,
                                   int tries = 60) {
    std::map<int32_t, int> statuses;
    for (int i = 0; i < tries; ++i) {
        ready = 0;
        const NsReturnStatus ret = Ns2_ReadNextFrame(h, 0, &ready);
        if (ret == NsStatusOk && (ready & wanted) == wanted) {
            return ::testing::AssertionSuccess();
        }
        ++statuses[ret == NsStatusOk ? static_cast<int32_t>(1000 + ready) : ret];
    }
    auto failure = ::testing::AssertionFailure() << "no set in " << tries << " reads:";
    for (const auto& [status, count] : statuses) {
        if (status >= 1000) {
            failure << " " << count << "x ready 0x" << std::hex << status - 1000 << std::dec;
        } else {
            failure << " " << count << "x status " << status;
        }
    }
    return failure;
}

// Reads three fused WDR frames and compares every pixel away from the sphere (which moves
// between the ranges' captures) with `expected(code)` for the scene's raw depth code there.
// `depthBitClear`: the sets must not also mark ordinary depth ready.
template <typename Expected>
void ExpectFusedFrames(NsDeviceHandle h, bool depthBitClear, Expected expected) {
    for (int set = 0; set < 3; ++set) {
        uint32_t ready = 0;
        ASSERT_TRUE(ReadSet(h, NsFrameReadyWDRDepth, ready));
        if (depthBitClear) {
            EXPECT_EQ(ready & NsFrameReadyDepth, 0u);
        }
        NsFrame fused{};
        ASSERT_EQ(Ns2_GetFrame(h, 0, WDRDepthFrame, &fused), NsStatusOk);
        EXPECT_EQ(+fused.frameType, static_cast<uint32_t>(WDRDepthFrame));
        ASSERT_EQ(+fused.dataLen, 640u * 480 * 2);
        const auto* px = static_cast<const uint16_t*>(fused.pFrameData);
        size_t wrong = 0;
        size_t checked = 0;
        for (uint32_t y = 1; y < 480; ++y) {
            if (y >= sim::kSphereFirstRow && y <= sim::kSphereLastRow) {
                continue;
            }
            for (uint32_t x = 0; x < 640; ++x) {
                wrong += px[y * 640 + x] != expected(sim::RawDepthCode(x, y, 0)) ? 1 : 0;
                ++checked;
            }
        }
        EXPECT_EQ(wrong, 0u) << "of " << checked;
    }
}

// The last `n` lines of the library's log, for a failure message.
std::string LastLines(const log::Capture& capture, size_t n) {
    const std::vector<std::string> lines = capture.Lines();
    std::string out;
    for (size_t i = lines.size() > n ? lines.size() - n : 0; i < lines.size(); ++i) {
        out += lines[i];
    }
    return out;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        log::SetDataHomeForTesting(m_home.Path());
        ASSERT_EQ(Ns2_Initialize(), NsStatusOk);
    }
    void TearDown() override {
        if (m_handle != nullptr) {
            Ns2_CloseDevice(&m_handle);
        }
        EXPECT_EQ(Ns2_Shutdown(), NsStatusOk);
        m_cameras.clear();
        log::SetDataHomeForTesting("");
    }

    sim::SimCamera& Camera(const std::string& address, const std::string& serial,
                           const std::function<void(sim::SimState&)>& setup = {}) {
        sim::SimConfig config;
        config.address = address;
        config.serial = serial;
        m_cameras.push_back(std::make_unique<sim::SimCamera>(config));
        sim::SimCamera& camera = *m_cameras.back();
        camera.UpdateState([&](sim::SimState& s) {
            s.sensors[0].dataMode = 2;  // depth and IR
            if (setup) {
                setup(s);
            }
        });
        EXPECT_EQ(camera.Start(), 0);
        return camera;
    }

    // A camera opened into m_handle and streaming: its first depth frame has arrived.
    sim::SimCamera& Streaming(const std::string& address, const std::string& serial) {
        sim::SimCamera& camera = Camera(address, serial);
        m_handle = Open("TK5P:" + serial);
        EXPECT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);
        uint32_t ready = 0;
        EXPECT_TRUE(ReadSet(m_handle, NsFrameReadyDepth, ready));
        return camera;
    }

    NsDeviceHandle Open(const std::string& uri) {
        EXPECT_TRUE(WaitFor([&] { return IsListed(uri); }, 10s)) << uri;
        NsDeviceHandle h = nullptr;
        EXPECT_EQ(Ns2_OpenDevice(uri.c_str(), &h), NsStatusOk);
        return h;
    }

    // The decode table of `range` as the camera's limits make it.
    static std::vector<uint16_t> DecodeTable(const sim::SensorState& sensor, uint32_t range) {
        const sim::RangeLimits l = sim::LimitsOfRange(sensor, range);
        std::vector<uint16_t> table(kDepthTableEntries);
        DepthLut lut;
        EXPECT_TRUE(BuildDepthDecodeTable(
            {l.depthMax, l.effectDepthMax, l.effectDepthMin, l.offset}, table.data(), &lut));
        return table;
    }

    // Reads depth frames until `count` ranges have come (60 sets at most), each decoded as
    // the scene predicts; the ranges seen.
    std::set<uint32_t> RangesOfDepthFrames(const sim::SimCamera& camera, size_t count) {
        std::set<uint32_t> ranges;
        for (int i = 0; i < 60 && ranges.size() < count; ++i) {
            uint32_t ready = 0;
            EXPECT_TRUE(ReadSet(m_handle, NsFrameReadyDepth, ready));
            NsFrame depth{};
            if (Ns2_GetFrame(m_handle, 0, DepthFrame, &depth) != NsStatusOk) {
                ADD_FAILURE() << "no depth frame in set " << i;
                break;
            }
            EXPECT_EQ(+depth.frameType, static_cast<uint32_t>(DepthFrame));
            ranges.insert(+depth.depthRange);
            ExpectDepthMatchesScene(camera, depth);
        }
        return ranges;
    }

    // The capture index stamped into a decoded depth frame, and the decode table used.
    void ExpectDepthMatchesScene(const sim::SimCamera& camera, const NsFrame& f) {
        const std::vector<uint16_t> table = DecodeTable(camera.State().sensors[0], f.depthRange);
        const auto* px = static_cast<const uint16_t*>(f.pFrameData);
        const uint32_t k = sim::ReadFrameStamp(px, table[sim::kStampDepthOne]);
        size_t wrong = 0;
        for (uint32_t y = 0; y < f.height; ++y) {
            for (uint32_t x = 0; x < f.width; ++x) {
                wrong += px[y * f.width + x] != table[sim::RawDepthCode(x, y, k)] ? 1 : 0;
            }
        }
        EXPECT_EQ(wrong, 0u) << "capture " << k;
    }

    void ExpectIrMatchesScene(const NsFrame& f) {
        const auto* px = static_cast<const uint16_t*>(f.pFrameData);
        const uint32_t k = sim::ReadFrameStamp(px, sim::kStampIrOne);
        size_t wrong = 0;
        for (uint32_t y = 0; y < f.height; ++y) {
            for (uint32_t x = 0; x < f.width; ++x) {
                wrong += px[y * f.width + x] != sim::RawIrCode(x, y, k) ? 1 : 0;
            }
        }
        EXPECT_EQ(wrong, 0u) << "capture " << k;
    }

    void ExpectColourMatchesJpeg(const NsFrame& f) {
        const auto jpeg = sim::MjpegTestImage(f.width, f.height);
        ASSERT_NE(jpeg, nullptr);
        std::vector<uint8_t> direct(static_cast<size_t>(f.width) * f.height * 3);
        tjhandle tj = tjInitDecompress();
        ASSERT_EQ(tjDecompress2(tj, jpeg->data(), static_cast<unsigned long>(jpeg->size()),
                                direct.data(), f.width, 0, f.height,
                                f.pixelFormat == NsPixelRGB24 ? TJPF_RGB : TJPF_BGR, 0),
                  0);
        tjDestroy(tj);
        ASSERT_EQ(+f.dataLen, direct.size());
        EXPECT_EQ(memcmp(f.pFrameData, direct.data(), direct.size()), 0);
    }

    test::TempDir m_home;
    std::vector<std::unique_ptr<sim::SimCamera>> m_cameras;
    NsDeviceHandle m_handle = nullptr;
};

TEST_F(EndToEnd, StreamsDepthIrAndColourThatMatchTheScene) {
    sim::SimCamera& camera = Camera("127.0.0.10", "QX-E2E-1");
    m_handle = Open("TK5P:QX-E2E-1");
    ASSERT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);

    uint32_t lastIndex = 0;
    for (int set = 0; set < 5; ++set) {
        uint32_t ready = 0;
        ASSERT_TRUE(ReadSet(m_handle, NsFrameReadyDepth | NsFrameReadyIR | NsFrameReadyRGB, ready));
        NsFrame depth{};
        NsFrame ir{};
        NsFrame colour{};
        ASSERT_EQ(Ns2_GetFrame(m_handle, 0, DepthFrame, &depth), NsStatusOk);
        ASSERT_EQ(Ns2_GetFrame(m_handle, 0, IRFrame, &ir), NsStatusOk);
        ASSERT_EQ(Ns2_GetFrame(m_handle, 0, RGBFrame, &colour), NsStatusOk);

        EXPECT_EQ(+depth.frameType, static_cast<uint32_t>(DepthFrame));
        EXPECT_EQ(+depth.pixelFormat, static_cast<uint32_t>(NsPixelDepth16));
        EXPECT_EQ(+depth.width, 640);
        EXPECT_EQ(+depth.height, 480);
        EXPECT_EQ(+depth.dataLen, 640u * 480 * 2);
        EXPECT_EQ(+ir.frameType, static_cast<uint32_t>(IRFrame));
        EXPECT_EQ(+ir.pixelFormat, static_cast<uint32_t>(NsPixelGrey16));
        EXPECT_EQ(+colour.frameType, static_cast<uint32_t>(RGBFrame));
        EXPECT_EQ(+colour.pixelFormat, static_cast<uint32_t>(NsPixelBGR24));
        EXPECT_EQ(+colour.width, 640);
        EXPECT_EQ(+colour.height, 360);
        EXPECT_FLOAT_EQ(+colour.exposureTime, 15.625f);  // the camera's 0.015625 x 1000
        EXPECT_EQ(+depth.frameIndex, +ir.frameIndex);
        EXPECT_EQ(+depth.frameIndex, +colour.frameIndex);
        EXPECT_GT(+depth.frameIndex, lastIndex);
        lastIndex = depth.frameIndex;
        EXPECT_EQ(+depth.depthRange, static_cast<uint32_t>(camera.State().sensors[0].depthRange));

        ExpectDepthMatchesScene(camera, depth);
        ExpectIrMatchesScene(ir);
        ExpectColourMatchesJpeg(colour);

        NsFrame again;
        memset(&again, 0xAB, sizeof again);
        EXPECT_EQ(Ns2_GetFrame(m_handle, 0, DepthFrame, &again), NsStatusBadFrameType);
        EXPECT_EQ(+again.dataLen, 0u);
        EXPECT_EQ(+again.pFrameData, nullptr);
    }
    EXPECT_EQ(Ns2_GetFrame(m_handle, 0, DepthFrame, nullptr), NsStatusNullFrame);

    NsFrameMode mode{};
    EXPECT_EQ(Ns2_GetFrameMode(m_handle, 0, RGBFrame, &mode), NsStatusOk);
    EXPECT_EQ(+mode.pixelFormat, static_cast<uint32_t>(NsPixelBGR24));
    EXPECT_EQ(+mode.resolutionWidth, 640u);
    EXPECT_EQ(Ns2_GetFrameMode(m_handle, 0, 7, &mode), NsStatusBadFrameType);

    EXPECT_EQ(Ns2_StopStream(m_handle, 0), NsStatusOk);
    uint32_t ready = 0;
    EXPECT_EQ(Ns2_ReadNextFrame(m_handle, 0, &ready), NsStatusNotStreaming);
    EXPECT_EQ(Ns2_ReadNextFrame(m_handle, 0, nullptr), NsStatusNullPointer);
}

TEST_F(EndToEnd, InitRunsOncePerOpenAndFallsBackWhenParametersComeLate) {
    sim::SimCamera& camera = Camera("127.0.0.11", "QX-E2E-2", [](sim::SimState& s) {
        s.stream.push = sim::ParamPush::kNever;  // announced, but never sent
        // Colour at another size than the session starts with: the command read must
        // learn it from the colour lens record, or no colour frame would be accepted.
        s.sensors[0].lens[2] = {2, 1, 0x00, 0x05, 0xD0, 0x02, 30, 2};  // 1280 x 720
    });
    log::Capture capture;
    m_handle = Open("TK5P:QX-E2E-2");
    ASSERT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);
    EXPECT_EQ(capture.Count("first frame data is toot late. 0"), 1u);
    uint32_t ready = 0;
    ASSERT_TRUE(ReadSet(m_handle, NsFrameReadyDepth | NsFrameReadyRGB, ready))
        << LastLines(capture, 40);
    NsFrame colour{};
    ASSERT_EQ(Ns2_GetFrame(m_handle, 0, RGBFrame, &colour), NsStatusOk);
    EXPECT_EQ(+colour.width, 1280);
    EXPECT_EQ(+colour.height, 720);
    ExpectColourMatchesJpeg(colour);
    EXPECT_EQ(capture.Count("does not match"), 0u);

    auto intrinsicReads = [&] {
        size_t n = 0;
        for (const sim::LoggedRequest& r : camera.Requests().Entries()) {
            n += r.command == 0x10 && r.get ? 1 : 0;
        }
        return n;
    };
    const size_t afterFirstInit = intrinsicReads();
    EXPECT_GT(afterFirstInit, 0u);  // read command by command
    ASSERT_EQ(Ns2_StopStream(m_handle, 0), NsStatusOk);
    ASSERT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);
    EXPECT_EQ(intrinsicReads(), afterFirstInit);  // no second init
    EXPECT_TRUE(ReadSet(m_handle, NsFrameReadyDepth, ready)) << LastLines(capture, 40);

    ASSERT_EQ(Ns2_CloseDevice(&m_handle), NsStatusOk);
    m_handle = Open("TK5P:QX-E2E-2");
    ASSERT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);
    EXPECT_GT(intrinsicReads(), afterFirstInit);  // a new open initialises again
}

TEST_F(EndToEnd, PushedParametersSpareTheCommandRead) {
    sim::SimCamera& camera = Camera("127.0.0.12", "QX-E2E-3");
    log::Capture capture;
    m_handle = Open("TK5P:QX-E2E-3");
    ASSERT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);
    EXPECT_EQ(capture.Count("first frame data is toot late"), 0u);
    for (const sim::LoggedRequest& r : camera.Requests().Entries()) {
        EXPECT_FALSE(r.command == 0x10 && r.get) << "calibration read by command";
    }
    uint32_t ready = 0;
    ASSERT_TRUE(ReadSet(m_handle, NsFrameReadyDepth, ready));
    NsFrame depth{};
    ASSERT_EQ(Ns2_GetFrame(m_handle, 0, DepthFrame, &depth), NsStatusOk);
    ExpectDepthMatchesScene(camera, depth);
}

// Copies of the first depth frames a callback received (the callback thread writes them
// under the lock; the test reads them once enough have come).
struct FirstFrames {
    std::mutex lock;
    std::vector<std::vector<uint16_t>> pixels;
    std::vector<NsFrame> records;
};
FirstFrames g_first;
void KeepFirstFrames(const NsFrameSet* set) {
    std::lock_guard guard(g_first.lock);
    if (set->depth.present && g_first.records.size() < 4) {
        const NsFrame& f = set->depth.frame;
        const auto* px = static_cast<const uint16_t*>(f.pFrameData);
        g_first.pixels.emplace_back(px, px + f.dataLen / 2);
        g_first.records.push_back(f);
    }
}

// The first frames after the start carry the camera's range and were decoded with its
// table, whether the parameters were pushed or read by command (with the simulator's
// default range 0 a frame decoded too early looked right). A callback registered before
// the start sees every frame, the earliest included; polling after it sees later ones.
TEST_F(EndToEnd, FirstFramesAreDecodedWithTheCamerasRangeOnBothStartPaths) {
    struct Path {
        const char* address;
        const char* serial;
        sim::ParamPush push;
    };
    for (const Path& path : {Path{"127.0.100.1", "QX-FF-1", sim::ParamPush::kPrompt},
                             Path{"127.0.100.2", "QX-FF-2", sim::ParamPush::kNever}}) {
        SCOPED_TRACE(path.serial);
        sim::SimCamera& camera = Camera(path.address, path.serial, [&](sim::SimState& s) {
            s.stream.push = path.push;
            s.sensors[0].depthRange = 4;
        });
        m_handle = Open(std::string("TK5P:") + path.serial);
        {
            std::lock_guard guard(g_first.lock);
            g_first.pixels.clear();
            g_first.records.clear();
        }
        ASSERT_EQ(Ns2_RegisterNotify(m_handle, 0, KeepFirstFrames), NsStatusOk);
        ASSERT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);
        ASSERT_TRUE(WaitFor(
            [] {
                std::lock_guard guard(g_first.lock);
                return g_first.records.size() >= 4;
            },
            20s));
        ASSERT_EQ(Ns2_UnRegisterNotify(m_handle, 0), NsStatusOk);
        for (size_t i = 0; i < g_first.records.size(); ++i) {
            NsFrame depth = g_first.records[i];
            depth.pFrameData = g_first.pixels[i].data();
            EXPECT_EQ(+depth.depthRange, 4u) << "frame " << i;
            ExpectDepthMatchesScene(camera, depth);
        }
        uint32_t ready = 0;
        ASSERT_TRUE(ReadSet(m_handle, NsFrameReadyDepth, ready));
        NsFrame depth{};
        ASSERT_EQ(Ns2_GetFrame(m_handle, 0, DepthFrame, &depth), NsStatusOk);
        EXPECT_EQ(+depth.depthRange, 4u);
        ExpectDepthMatchesScene(camera, depth);
        ASSERT_EQ(Ns2_CloseDevice(&m_handle), NsStatusOk);
    }
}

// Data mode 11 with ranges 3 and 0 taken in turn. Style 1 delivers each range's frame
// decoded with its own table; style 0 delivers fused frames (type 9) whose pixels are
// predicted from the two ranges' tables everywhere the scene stands still.
TEST_F(EndToEnd, WdrRangesArriveByThemselvesOrFused) {
    sim::SimCamera& camera = Camera("127.0.100.3", "QX-WDR-1", [](sim::SimState& s) {
        sim::SensorState& sensor = s.sensors[0];
        sensor.dataMode = 11;
        sensor.wdrMode = {2, 3, 1, 0, 1, 0, 0};  // the far range first: sorted by the host
        sensor.measuringRanges[0][6] = 100;      // range 0: 100..1450 mm
        sensor.measuringRanges[0][7] = 1440;     // range 1 from 1440 mm: 10 mm of overlap
        sensor.measuringRanges[1][6] = 1200;     // range 3 from 1200 mm: band [1225, 1425]
    });
    m_handle = Open("TK5P:QX-WDR-1");
    ASSERT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);

    EXPECT_EQ(RangesOfDepthFrames(camera, 2), (std::set<uint32_t>{0, 3}));

    ASSERT_EQ(Ns2_SetWDRStyle(m_handle, 0, 0), NsStatusOk);
    const sim::SensorState sensor = camera.State().sensors[0];
    const std::vector<uint16_t> nearTable = DecodeTable(sensor, 0);
    const std::vector<uint16_t> midTable = DecodeTable(sensor, 3);
    const test::WdrReference ref{{1450, 100}, {4800, 1200}, {}, 1225, 1425};
    ExpectFusedFrames(m_handle, true,
                      [&](uint16_t code) { return ref.Two(nearTable[code], midTable[code]); });

    // A mode whose ranges overlap by too little is refused before the camera hears of it.
    const NsWDROutputMode tooClose{2, 0, 1, 1, 1, 0, 0};
    EXPECT_EQ(Ns2_SetWDROutputMode(m_handle, 0, &tooClose), NsStatusBadParameter);
    EXPECT_EQ(camera.State().sensors[0].wdrMode, (std::array<uint8_t, 7>{2, 3, 1, 0, 1, 0, 0}));
}

// Three ranges, configured far, near, mid (sorted fully by the host: near 0, mid 3, far
// 6), each range's frame taken once per cycle. Fused frames follow the three-range rules
// pixel for pixel where the scene stands still, with a wide near/mid band and a narrow
// mid/far one.
TEST_F(EndToEnd, ThreeWdrRangesFuseAsPredicted) {
    sim::SimCamera& camera = Camera("127.0.104.3", "QX-WDR-3", [](sim::SimState& s) {
        sim::SensorState& sensor = s.sensors[0];
        sensor.dataMode = 11;
        sensor.wdrMode = {3, 6, 1, 0, 1, 3, 1};
        sensor.measuringRanges[0][6] = 100;   // range 0: 100..1450 mm
        sensor.measuringRanges[1][6] = 1200;  // range 3: 1200..4800 mm, band [1225, 1425]
        sensor.measuringRanges[2][6] = 4700;  // range 6: 4700..9600 mm, band [4702, 4798]
    });
    m_handle = Open("TK5P:QX-WDR-3");
    ASSERT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);

    EXPECT_EQ(RangesOfDepthFrames(camera, 3), (std::set<uint32_t>{0, 3, 6}));

    ASSERT_EQ(Ns2_SetWDRStyle(m_handle, 0, 0), NsStatusOk);
    const sim::SensorState sensor = camera.State().sensors[0];
    const std::vector<uint16_t> nearTable = DecodeTable(sensor, 0);
    const std::vector<uint16_t> midTable = DecodeTable(sensor, 3);
    const std::vector<uint16_t> farTable = DecodeTable(sensor, 6);
    const test::WdrReference ref{{1450, 100}, {4800, 1200}, {9600, 4700}, 1225, 1425, 4702, 4798};
    std::set<uint16_t> sources;  // which rule's values the frames hold: not all one range
    ExpectFusedFrames(m_handle, false, [&](uint16_t code) {
        const uint16_t n = nearTable[code];
        const uint16_t m = midTable[code];
        const uint16_t expected = ref.Three(n, m, farTable[code]);
        sources.insert(expected == 0 ? 0 : expected == n ? 1 : expected == m ? 2 : 3);
        return expected;
    });
    EXPECT_GE(sources.size(), 2u) << "the scene reaches more than one range's rule";
}

TEST_F(EndToEnd, UnsynchronisedIrOnly) {
    Camera("127.0.0.13", "QX-E2E-4", [](sim::SimState& s) {
        s.sensors[0].dataMode = 1;  // IR only
        s.stream.colour = sim::ColourFormat::kNone;
    });
    m_handle = Open("TK5P:QX-E2E-4");
    ASSERT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);
    // Synchronisation is switched through the session; with only IR coming the
    // unsynchronised path reports IR alone.
    uint32_t ready = 0;
    bool gotIr = false;
    for (int i = 0; i < 60 && !gotIr; ++i) {
        ready = 0;
        if (Ns2_ReadNextFrame(m_handle, 0, &ready) == NsStatusOk) {
            gotIr = (ready & NsFrameReadyIR) != 0;
            EXPECT_EQ(ready & NsFrameReadyDepth, 0u);
        }
    }
    EXPECT_TRUE(gotIr);
}

std::atomic<int> g_callbacks{0};
std::atomic<bool> g_closing{false};
void CountFrames(const NsFrameSet* set) {
    if (set->depth.present) {
        ++g_callbacks;
    }
}

TEST_F(EndToEnd, CallbackDeliveryEndsWithClose) {
    Camera("127.0.0.14", "QX-E2E-5");
    m_handle = Open("TK5P:QX-E2E-5");
    g_callbacks = 0;
    ASSERT_EQ(Ns2_RegisterNotify(m_handle, 0, CountFrames), NsStatusOk);
    ASSERT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);
    uint32_t ready = 0;
    EXPECT_EQ(Ns2_ReadNextFrame(m_handle, 0, &ready), NsStatusFailed);  // frames go to it
    EXPECT_TRUE(WaitFor([] { return g_callbacks.load() >= 3; }, 10s));
    log::Capture capture;
    ASSERT_EQ(Ns2_CloseDevice(&m_handle), NsStatusOk);
    const int atClose = g_callbacks.load();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(g_callbacks.load(), atClose);        // nothing after close returned
    EXPECT_FALSE(capture.Contains("ret:131093"));  // no join needed its time limit
}

// Touched by the callback thread only once the test has handed it over.
NsDeviceHandle g_selfHandle = nullptr;
std::atomic<int> g_selfCalls{0};
std::atomic<bool> g_selfClosed{false};
void StopFromInside(const NsFrameSet*) {
    if (++g_selfCalls == 2) {
        Ns2_StopStream(g_selfHandle, 0);
        g_selfClosed = Ns2_CloseDevice(&g_selfHandle) == NsStatusOk;
    }
}

TEST_F(EndToEnd, CallbackMayStopAndCloseItsOwnDevice) {
    Camera("127.0.0.15", "QX-E2E-6");
    NsDeviceHandle handle = Open("TK5P:QX-E2E-6");
    g_selfHandle = handle;
    g_selfCalls = 0;
    g_selfClosed = false;
    ASSERT_EQ(Ns2_RegisterNotify(handle, 0, StopFromInside), NsStatusOk);
    ASSERT_EQ(Ns2_StartStream(handle, 0), NsStatusOk);
    EXPECT_TRUE(WaitFor([] { return g_selfClosed.load(); }, 10s));  // closed, no deadlock
}

TEST_F(EndToEnd, CameraKilledMidStreamFailsReadsAndIsReportedRemoved) {
    sim::SimCamera& camera = Streaming("127.0.0.16", "QX-E2E-7");
    camera.Stop();
    uint32_t ready = 0;
    // Reads fail within their wait time instead of hanging, until the manager reports the
    // camera gone and the handle check refuses it (-3, after its 1311 ms second look).
    int failures = 0;
    NsReturnStatus ret = NsStatusOk;
    for (int i = 0; i < 40 && ret != NsStatusBadHandle; ++i) {
        ready = 0;
        const auto begin = std::chrono::steady_clock::now();
        ret = Ns2_ReadNextFrame(m_handle, 0, &ready);
        EXPECT_LT(std::chrono::steady_clock::now() - begin, 3s);
        failures += ret != NsStatusOk ? 1 : 0;
    }
    EXPECT_EQ(ret, NsStatusBadHandle);
    EXPECT_GT(failures, 3);
    EXPECT_TRUE(WaitFor([] { return !IsListed("TK5P:QX-E2E-7"); }, 15s));
    EXPECT_EQ(Ns2_CloseDevice(&m_handle), NsStatusOk);
}

// Bytes that break the data stream's framing cost the frames they hit, never the stream:
// the library drops them with the data connection, connects it again, and the frames that
// follow are delivered exactly as the camera made them. The application can read what
// happened.
TEST_F(EndToEnd, AStreamThatLosesItsFramingRecoversAndCountsIt) {
    sim::SimCamera& camera = Streaming("127.0.0.67", "QX-E2E-SYNC");
    uint32_t ready = 0;

    const auto header = [](uint32_t type, uint32_t length) {
        std::vector<uint8_t> h(8);
        for (int i = 0; i < 4; ++i) {
            h[i] = static_cast<uint8_t>(type >> (8 * i));
            h[4 + i] = static_cast<uint8_t>(length >> (8 * i));
        }
        return h;
    };
    const auto withPayload = [](std::vector<uint8_t> h, size_t bytes) {
        h.resize(h.size() + bytes, 0x5A);
        return h;
    };
    struct Fault {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Fault faults[] = {
        {"seven stray bytes", {0x13, 0x37, 0x00, 0x01, 0x02, 0x03, 0x04}},
        {"a length field 100 bytes short", withPayload(header(1, 400), 500)},
        {"a length field 100 bytes long", withPayload(header(1, 500), 400)},
        {"a frame of another type", withPayload(header(7, 64), 64)},
        {"a length beyond any frame", withPayload(header(1, 0x7FFFFFF0), 16)},
    };
    uint32_t losses = 0;
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        ASSERT_EQ(camera.SendDataBytes(0, fault.bytes.data(), fault.bytes.size()), 0);
        // Frames flow again; every depth frame delivered is the camera's own.
        int delivered = 0;
        for (int i = 0; i < 40 && delivered < 3; ++i) {
            ready = 0;
            if (Ns2_ReadNextFrame(m_handle, 0, &ready) != NsStatusOk ||
                (ready & NsFrameReadyDepth) == 0) {
                continue;
            }
            NsFrame depth{};
            ASSERT_EQ(Ns2_GetFrame(m_handle, 0, DepthFrame, &depth), NsStatusOk);
            ExpectDepthMatchesScene(camera, depth);
            ++delivered;
        }
        EXPECT_EQ(delivered, 3) << "the stream did not recover";
        NsStreamHealth health{};
        uint32_t size = sizeof health;
        ASSERT_EQ(Ns2_GetProperty(m_handle, 0, NS_PROPERTY_STREAM_HEALTH, &health, &size),
                  NsStatusOk);
        EXPECT_EQ(size, sizeof health);
        EXPECT_GT(+health.framingLosses, losses) << "the loss was not counted";
        EXPECT_EQ(+health.reconnections, +health.framingLosses);
        losses = health.framingLosses;
    }
}

TEST_F(EndToEnd, TwoCamerasStreamAtOnce) {
    sim::SimCamera& a = Camera("127.0.0.17", "QX-E2E-8");
    sim::SimCamera& b = Camera("127.0.0.18", "QX-E2E-9");
    NsDeviceHandle ha = Open("TK5P:QX-E2E-8");
    NsDeviceHandle hb = Open("TK5P:QX-E2E-9");
    ASSERT_EQ(Ns2_StartStream(ha, 0), NsStatusOk);
    ASSERT_EQ(Ns2_StartStream(hb, 0), NsStatusOk);
    for (int i = 0; i < 3; ++i) {
        uint32_t ready = 0;
        ASSERT_TRUE(ReadSet(ha, NsFrameReadyDepth, ready));
        NsFrame fa{};
        ASSERT_EQ(Ns2_GetFrame(ha, 0, DepthFrame, &fa), NsStatusOk);
        ExpectDepthMatchesScene(a, fa);
        ASSERT_TRUE(ReadSet(hb, NsFrameReadyDepth, ready));
        NsFrame fb{};
        ASSERT_EQ(Ns2_GetFrame(hb, 0, DepthFrame, &fb), NsStatusOk);
        ExpectDepthMatchesScene(b, fb);
    }
    log::Capture capture;
    EXPECT_EQ(Ns2_CloseDevice(&ha), NsStatusOk);
    EXPECT_EQ(Ns2_CloseDevice(&hb), NsStatusOk);
    EXPECT_FALSE(capture.Contains("ret:131093"));
}

// A depth frame becomes a point cloud through the ray table the session built from the
// camera's depth intrinsics at its first start; before it there is no table.
TEST_F(EndToEnd, DepthFramesConvertThroughTheSessionsRayTable) {
    sim::SimCamera& camera = Camera("127.0.0.41", "QX-E2E-CONV");
    m_handle = Open("TK5P:QX-E2E-CONV");
    std::vector<NsVector3f> cloud(640 * 480);
    std::vector<uint16_t> still(640 * 480, 1000);
    NsFrame frame{};
    frame.pFrameData = still.data();
    frame.width = 640;
    frame.height = 480;
    frame.dataLen = 640 * 480 * 2;
    EXPECT_EQ(Ns2_ConvertDepthFrameToWorldVector(m_handle, 0, &frame, cloud.data()),
              NsStatusBadParameter);

    ASSERT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);
    uint32_t ready = 0;
    ASSERT_TRUE(ReadSet(m_handle, NsFrameReadyDepth, ready));
    NsFrame depth{};
    ASSERT_EQ(Ns2_GetFrame(m_handle, 0, DepthFrame, &depth), NsStatusOk);
    ASSERT_EQ(Ns2_ConvertDepthFrameToWorldVector(m_handle, 0, &depth, cloud.data()), NsStatusOk);
    const std::array<double, 9> k = camera.State().sensors[0].depthIntrinsic;
    const auto* px = static_cast<const uint16_t*>(depth.pFrameData);
    size_t wrong = 0;
    size_t valid = 0;
    for (uint32_t v = 0; v < 480; ++v) {
        for (uint32_t u = 0; u < 640; ++u) {
            const size_t i = size_t{v} * 640 + u;
            const uint16_t d = px[i];
            NsVector3f expected{0, 0, 0};
            if (d != 0 && d != 65535) {
                ++valid;
                expected = {static_cast<float>(d * ((u - k[2]) / k[0])),
                            static_cast<float>(d * ((v - k[5]) / k[4])), static_cast<float>(d)};
            }
            wrong += memcmp(&expected, &cloud[i], sizeof expected) != 0 ? 1 : 0;
        }
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_GT(valid, 640u * 480 / 2);

    // A frame the table cannot hold, or short of data, is refused; a 360-row one is placed.
    frame.height = 481;
    EXPECT_EQ(Ns2_ConvertDepthFrameToWorldVector(m_handle, 0, &frame, cloud.data()),
              NsStatusBadParameter);
    frame.height = 360;
    frame.dataLen = 640 * 360 * 2 - 1;
    EXPECT_EQ(Ns2_ConvertDepthFrameToWorldVector(m_handle, 0, &frame, cloud.data()),
              NsStatusBadParameter);
    frame.dataLen = 640 * 360 * 2;
    EXPECT_EQ(Ns2_ConvertDepthFrameToWorldVector(m_handle, 0, &frame, cloud.data()), NsStatusOk);
    EXPECT_EQ(+cloud[0].y, static_cast<float>(1000 * ((60 - k[5]) / k[4])));
    EXPECT_EQ(Ns2_ConvertDepthFrameToWorldVector(m_handle, 1, &frame, cloud.data()),
              NsStatusBadHandle);

    // A mapped colour point is reported only when the mapping succeeded.
    NsColorPoint point{0xFFFF, 0xFFFF};
    const NsReturnStatus mapped =
        Ns2_GetMappedPointDepthToRGB(m_handle, 0, {320, 240, 1000}, {640, 360}, &point);
    if (mapped == NsStatusOk) {
        EXPECT_LT(+point.colorX, 640);
        EXPECT_LT(+point.colorY, 360);
    } else {
        EXPECT_EQ(mapped, NsStatusFailed);
        EXPECT_EQ(+point.colorX, 0);
        EXPECT_EQ(+point.colorY, 0);
    }
    EXPECT_EQ(Ns2_GetMappedPointDepthToRGB(m_handle, 0, {320, 240, 1000}, {640, 360}, nullptr),
              NsStatusNullPointer);
}

}  // namespace
}  // namespace quorix
