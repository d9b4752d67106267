// The frame engine against a fake session feeding transport buffers: the sub-packet walk,
// the stream switches that gate it and the raw records it hands on, the start-up drop,
// status and pushed blocks, the raw saves, frames decoded from one buffer delivered
// together, a callback registered again after it stopped itself, and a prompt destruction
// while a callback streams.
#include "imaging/ImageProc.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <thread>

#include "FakeSessionContext.h"
#include "TofTestData.h"
#include "log/Log.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace quorix {
namespace {

using namespace test;
using namespace std::chrono_literals;

constexpr uint32_t kVga = 640 * 480;
constexpr uint32_t kJoinLimitCode = kThreadJoinTimeout;

// Group 0, range 0: raw values 100..3029 decode to themselves.
constexpr MeasuringRange kIdentityGroup = {0, 4096, 5000, 7500, 3000, 4800, 7400, 100, 300, 500};

Bytes Filled(size_t n, uint8_t value) {
    return Bytes(n, value);
}

// A fresh engine on a fake session with the reader running and the stream on.
struct Engine {
    explicit Engine(bool decoders = false) {
        session.settings.measuringRanges[0] = kIdentityGroup;
        if (decoders) {
            proc.ApplySettings();
        }
        proc.SetWaitTime(decoders ? 5000 : 20);
        proc.Start();
        proc.SetStreamSwitches(true);
    }
    // The 4 buffers that only start the stream up.
    void WarmUp(uint8_t type = 0x21) {
        for (int i = 0; i < 4; ++i) {
            session.Feed(SubPacket(type, Filled(460800, 0x10)));
        }
        ASSERT_TRUE(session.WaitProcessed());
    }
    // The raw records handed on since the last look (tof: true for ToF, false for colour).
    std::vector<Frame> Take(bool tof) {
        std::vector<Frame> out;
        Frame* f = nullptr;
        while ((tof ? proc.GetRawTofFrame(f) : proc.GetRawRgbFrame(f)) == 0) {
            Frame copy = *f;
            copy.pFrameData = nullptr;
            copy.frameTag = f->frameTag;
            firstTypes.push_back(f->pFrameData[0]);
            out.push_back(copy);
            tof ? proc.ReleaseRawTofFrame(f) : proc.ReleaseRawRgbFrame(f);
        }
        return out;
    }

    // Feeds one buffer and takes the raw records it handed on; firstTypes holds their types.
    struct Handed {
        std::vector<Frame> tof;
        std::vector<Frame> colour;
    };
    Handed FeedOne(const Bytes& buffer) {
        session.Feed(buffer);
        EXPECT_TRUE(session.WaitProcessed());
        firstTypes.clear();
        Handed out;
        out.tof = Take(true);
        out.colour = Take(false);
        return out;
    }

    FakeSessionContext session;
    ImageProc proc{&session};
    std::vector<uint8_t> firstTypes;
};

TEST(ImageProcReader, StartUpBuffersAndReconnectionsDeliverNothing) {
    Engine e;
    e.WarmUp();
    EXPECT_TRUE(e.Take(true).empty()) << "the first 4 buffers with frames deliver nothing";
    e.session.Feed(SubPacket(0x21, Filled(460800, 1)));
    ASSERT_TRUE(e.session.WaitProcessed());
    auto records = e.Take(true);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].frameIndex, 5u);

    e.proc.SetStreamSwitches(false);
    e.proc.SetStreamSwitches(true);
    for (int i = 0; i < 3; ++i) {
        e.session.Feed(SubPacket(0x21, Filled(460800, 1)));
    }
    ASSERT_TRUE(e.session.WaitProcessed());
    EXPECT_TRUE(e.Take(true).empty()) << "3 buffers after a reconnection deliver nothing";
    e.session.Feed(SubPacket(0x21, Filled(460800, 1)));
    ASSERT_TRUE(e.session.WaitProcessed());
    records = e.Take(true);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].frameIndex, 6u) << "dropped buffers do not count";
}

// While the session configures the decoders at a stream's start nothing read is handed on;
// resuming drops what waited, and the first record read after it is kept.
TEST(ImageProcReader, DecodingOffHandsNothingOnAndResumingKeepsOnlyNewRecords) {
    Engine e;
    e.WarmUp();
    e.session.Feed(SubPacket(0x21, Filled(460800, 1)));  // waits, unread, as decoding goes off
    ASSERT_TRUE(e.session.WaitProcessed());
    e.proc.SetDecodingEnabled(false);
    e.session.Feed(SubPacket(0x21, Filled(460800, 2)));
    ASSERT_TRUE(e.session.WaitProcessed());
    e.proc.SetDecodingEnabled(true);
    e.session.Feed(SubPacket(0x21, Filled(460800, 3)));
    ASSERT_TRUE(e.session.WaitProcessed());
    const auto records = e.Take(true);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].frameIndex, 7u) << "only the record read after decoding resumed";
}

TEST(ImageProcReader, SubPacketWalk) {
    struct Case {
        const char* name;
        Bytes buffer;
        uint32_t tofLength;  // 0: no ToF record
        uint8_t firstType;
        uint32_t frameSet;
        uint32_t colourLength;  // 0: no colour record
        const char* log;
    };
    const Bytes depth = SubPacket(0x21, Filled(460800, 1));
    const Case cases[] = {
        {"depth then an unknown type", Join({depth, SubPacket(0x99, Filled(16, 0))}), 460805, 0x21,
         kFrameSetDepth, 0, nullptr},
        {"depth and IR in one buffer", Join({depth, SubPacket(0x22, Filled(460800, 2))}), 921610,
         0x21, kFrameSetDepth | kFrameSetIR, 0, nullptr},
        {"length past the end", Join({depth, Bytes{0x22, 0x00, 0x08, 0x07, 0, 1, 2}}), 0, 0, 0, 0,
         "RawBuffer len error"},
        {"a sub-packet the raw record cannot hold is dropped",
         Join({depth, SubPacket(0x63, Filled(1228800, 3))}), 460805, 0x21, kFrameSetDepth, 0,
         "does not fit the raw record"},
        {"colour larger than its record is dropped",
         Join({depth, SubPacket(0x25, Filled(kRawColourBytes, 4))}), 460805, 0x21, kFrameSetDepth,
         0, "does not fit the raw colour record"},
        {"colour and depth", Join({SubPacket(0x25, Filled(1000, 4)), depth}), 460805, 0x21,
         kFrameSetDepth | kFrameSetColour, 1005, nullptr},
        {"0x44 row split becomes 0x43", SubPacket(0x44, Filled(921600, 5)), 921605, 0x43,
         kFrameSetDepth | kFrameSetIR, 0, nullptr},
        {"a status block alone has no frame", StatusPacket(Filled(32, 0)), 0, 0, 0, 0,
         "Has no frame"},
        {"wrong length of a listed type ends the walk",
         Join({depth, SubPacket(0x22, Filled(100, 2)), SubPacket(0x23, Filled(921600, 2))}), 460805,
         0x21, kFrameSetDepth, 0, "typeId:0x22 lenth:100"},
        {"a header cut short", Join({depth, Bytes{0x22, 1, 2}}), 0, 0, 0, 0, "RAWDATAHEADER:5   <"},
    };
    Engine e;
    e.WarmUp();
    for (const Case& c : cases) {
        log::Capture capture;
        const auto [tof, colour] = e.FeedOne(c.buffer);
        ASSERT_EQ(tof.size(), c.tofLength != 0 ? 1u : 0u) << c.name;
        if (c.tofLength != 0) {
            EXPECT_EQ(tof[0].dataLen, c.tofLength) << c.name;
            EXPECT_EQ(e.firstTypes[0], c.firstType) << c.name;
            EXPECT_EQ(tof[0].frameSet, c.frameSet) << c.name;
        }
        ASSERT_EQ(colour.size(), c.colourLength != 0 ? 1u : 0u) << c.name;
        if (c.colourLength != 0) {
            EXPECT_EQ(colour[0].dataLen, c.colourLength) << c.name;
        }
        if (c.log != nullptr) {
            EXPECT_TRUE(capture.Contains(c.log)) << c.name;
        }
    }
}

// The stream switches decide what the walk takes; 0x55 and the re-typed 0x44 and 0x49 are
// taken whatever they say, and a depth-and-IR sub-packet while either is on.
TEST(ImageProcReader, StreamSwitchesGateTheSubPackets) {
    // Switches turned off: bit k for kind k.
    constexpr uint8_t kDepthOff = 1, kIROff = 2, kColourOff = 4, kImuOff = 8;
    struct Case {
        const char* name;
        uint8_t off;
        Bytes buffer;
        uint32_t frameSet;  // of the ToF record (the whole buffer's); 0: no record
        uint8_t firstType;
        bool colour;
        uint8_t imu;
    };
    const Bytes depth = SubPacket(0x21, Filled(460800, 1));
    const Case cases[] = {
        {"depth off", kDepthOff, depth, 0, 0, false, 0},
        {"0x55 with depth off", kDepthOff, SubPacket(0x55, Filled(460800, 1)), kFrameSetDepth, 0x55,
         false, 0},
        {"0x44 with depth off", kDepthOff | kIROff, SubPacket(0x44, Filled(460800, 1)),
         kFrameSetDepth, 0x41, false, 0},
        {"0x49 with depth off", kDepthOff | kIROff, SubPacket(0x49, Filled(691200, 1)),
         kFrameSetDepth | kFrameSetIR, 0x48, false, 0},
        {"IR off", kIROff, Join({SubPacket(0x22, Filled(460800, 2)), depth}), kFrameSetDepth, 0x21,
         false, 0},
        {"depth and IR with IR on", kDepthOff, SubPacket(0x23, Filled(921600, 3)),
         kFrameSetDepth | kFrameSetIR, 0x23, false, 0},
        {"depth and IR with both off", kDepthOff | kIROff, SubPacket(0x23, Filled(921600, 3)), 0, 0,
         false, 0},
        {"colour off", kColourOff, Join({SubPacket(0x25, Filled(100, 4)), depth}), kFrameSetDepth,
         0x21, false, 0},
        {"colour on", 0, Join({SubPacket(0x25, Filled(100, 4)), depth}),
         kFrameSetDepth | kFrameSetColour, 0x21, true, 0},
        {"IMU off", kImuOff, Join({SubPacket(0x24, Bytes{42}), depth}), kFrameSetDepth, 0x21, false,
         0},
        {"IMU on", 0, Join({SubPacket(0x24, Bytes{42}), depth}), kFrameSetDepth, 0x21, false, 42},
    };
    Engine e;
    e.WarmUp();
    for (const Case& c : cases) {
        for (uint32_t kind = 0; kind < 4; ++kind) {
            e.proc.SetFrameEnabled(kind, (c.off & (1u << kind)) == 0);
        }
        const auto [tof, colour] = e.FeedOne(c.buffer);
        ASSERT_EQ(tof.size(), c.frameSet != 0 ? 1u : 0u) << c.name;
        if (c.frameSet != 0) {
            EXPECT_EQ(tof[0].frameSet, c.frameSet) << c.name;
            EXPECT_EQ(e.firstTypes[0], c.firstType) << c.name;
            EXPECT_EQ(tof[0].frameTag, c.imu) << c.name;
        }
        EXPECT_EQ(colour.size(), c.colour ? 1u : 0u) << c.name;
    }
}

TEST(ImageProcReader, RowSplitAndImuNumberReachTheRecord) {
    Engine e;
    e.WarmUp();
    Bytes payload(921600);
    for (size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<uint8_t>(i % 1920 < 960 ? 1 : 2);  // left and right halves
    }
    e.session.Feed(Join({SubPacket(0x24, Bytes{42}), SubPacket(0x44, payload)}));
    ASSERT_TRUE(e.session.WaitProcessed());
    Frame* raw = nullptr;
    ASSERT_EQ(e.proc.GetRawTofFrame(raw), 0);
    EXPECT_EQ(raw->frameTag, 42);
    const uint8_t* out = raw->pFrameData + 5;
    EXPECT_TRUE(std::all_of(out, out + 460800, [](uint8_t b) { return b == 1; }));
    EXPECT_TRUE(std::all_of(out + 460800, out + 921600, [](uint8_t b) { return b == 2; }));
    e.proc.ReleaseRawTofFrame(raw);
}

TEST(ImageProcReader, StatusBlocksDecideDeviceSync) {
    Engine e;
    DeviceStatus status;
    status.thresholdX10 = 200;
    status.dataMode = 2;
    e.session.firstStatus = true;
    e.session.Feed(
        Join({StatusPacket(EncodeDeviceStatus(status)), SubPacket(0x21, Filled(460800, 1))}));
    ASSERT_TRUE(e.session.WaitProcessed());
    EXPECT_TRUE(e.session.deviceSync.load());
    EXPECT_FALSE(e.session.firstStatus.load());
    EXPECT_EQ(e.session.status.thresholdX10, 200);

    log::Capture capture;
    e.session.firstStatus = true;
    e.session.Feed(SubPacket(0x21, Filled(460800, 1)));
    ASSERT_TRUE(e.session.WaitProcessed());
    EXPECT_FALSE(e.session.deviceSync.load()) << "first frames without a status block";
    EXPECT_TRUE(capture.Contains("set DeviceSync false only once"));

    e.session.Feed(StatusPacket(Filled(40, 0)));
    ASSERT_TRUE(e.session.WaitProcessed());
    EXPECT_TRUE(capture.Contains("error bufferSize:43 typeId:0x2c lenth:40"));
    EXPECT_EQ(e.session.statusBlocks, 1);
}

// The block's content is the wire record tests'; here: the first block is kept.
TEST(ImageProcReader, PushedParametersJsonStateAndStatusByte) {
    Engine e;
    PushedParameters params;
    params.threshold = 33;
    e.session.Feed(SubPacket(0x2E, EncodeInitParams(params)));
    ASSERT_TRUE(e.session.WaitProcessed());
    ASSERT_TRUE(e.proc.InitParamsReceived());
    params.threshold = 44;  // a later block is ignored
    e.session.Feed(SubPacket(0x2E, EncodeInitParams(params)));
    ASSERT_TRUE(e.session.WaitProcessed());
    InitParamBlocks blocks;
    PushedParameters read;
    ASSERT_TRUE(e.proc.CopyInitParams(blocks));
    ASSERT_TRUE(ReadPushedParameters(blocks, read));
    EXPECT_EQ(read.threshold, 33);

    log::Capture capture;
    e.session.Feed(SubPacket(0x2F, Bytes{2, 0, 7}));
    ASSERT_TRUE(e.session.WaitProcessed());
    EXPECT_EQ(e.session.jsonState.load(), 2);
    EXPECT_EQ(e.session.jsonResult.load(), 0);
    EXPECT_TRUE(capture.Contains("Json config error:7."));

    e.session.Feed(SubPacket(0x30, Bytes{0xFB, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(e.session.WaitProcessed());
    EXPECT_EQ(e.proc.ReadNextFrame(nullptr), -5) << "the camera's status byte is returned";
}

TEST(ImageProcReader, SavingKeepsSevenBuffersThenTurnsItselfOff) {
    TempDir folder;
    Engine e;
    e.proc.SetSaveFolder(folder.Path());
    e.proc.SetSaveRawBufferEnabled(true);
    const Bytes status = StatusPacket(Filled(32, 9));
    for (int i = 0; i < 9; ++i) {
        e.session.Feed(status);
    }
    ASSERT_TRUE(e.session.WaitProcessed());
    // No frames, so the frame counter (the file's number) stays 0.
    EXPECT_EQ(ReadFile(folder / "raw_buf_0.bin").size(), 7 * status.size());
}

// Besides the whole buffers, QVGA depth payloads are saved by themselves; depth and IR in
// one QVGA payload are not.
TEST(ImageProcReader, SavingAlsoKeepsQvgaDepthPayloads) {
    TempDir folder;
    Engine e;
    e.proc.SetSaveFolder(folder.Path());
    e.WarmUp();
    e.proc.SetSaveRawBufferEnabled(true);
    const Bytes qvga = Filled(153600, 7);
    e.session.Feed(Join({SubPacket(0x93, Filled(307200, 8)), SubPacket(0x72, qvga)}));
    ASSERT_TRUE(e.session.WaitProcessed());
    std::vector<std::string> saved;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("raw_Depth_", 0) == 0) {
            saved.push_back(name);
        }
    }
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_TRUE(ReadFile(folder / saved[0]) == std::string(qvga.begin(), qvga.end()));
}

// --- delivery through the decoders -------------------------------------------------------

Pixels ValidDepth(uint32_t seed) {
    Pixels p = SomeValues(kVga, seed);
    for (uint16_t& v : p) {
        v = static_cast<uint16_t>(100 + v % 2900);
    }
    return p;
}

Pixels FramePixels(const Frame& f) {
    Pixels out(size_t{f.width} * f.height);
    memcpy(out.data(), f.pFrameData, out.size() * 2);
    return out;
}

TEST(ImageProcDelivery, DepthAndIrOfOneBufferAreBothDelivered) {
    Engine e(true);
    e.WarmUp();
    const Pixels depth = ValidDepth(1);
    const Pixels ir = SomeValues(kVga, 2);
    e.session.Feed(Join({SubPacket(0x21, Pack(RawPacking::kRaw12, depth)),
                         SubPacket(0x22, Pack(RawPacking::kRaw12, ir))}));
    uint32_t ready = 0;
    ASSERT_EQ(e.proc.ReadNextFrame(&ready), 0);
    EXPECT_EQ(ready, NsFrameReadyDepth | NsFrameReadyIR);

    Frame frame;
    ASSERT_EQ(e.proc.GetFrame(IRFrame, &frame), 0);
    EXPECT_EQ(frame.width, 640);
    EXPECT_EQ(frame.height, 480);
    EXPECT_EQ(frame.frameIndex, 5u);
    EXPECT_EQ(FramePixels(frame), ir);
    ASSERT_EQ(e.proc.GetFrame(DepthFrame, &frame), 0);
    EXPECT_EQ(FramePixels(frame), depth);

    // (A frame handed out once, and a null record, are refused end to end.)
    log::Capture capture;
    EXPECT_EQ(e.proc.GetFrame(7, &frame), -4);
    EXPECT_TRUE(capture.Contains("frameType:7 is invalid"));

    e.proc.SetStreamSwitches(false);
    EXPECT_EQ(e.proc.ReadNextFrame(&ready), -2) << "not streaming";
}

TEST(ImageProcDelivery, UnsynchronisedOnlyIrGivesMaskTwo) {
    Engine e(true);
    e.proc.SetSynchronizeEnabled(false);
    e.WarmUp(0x22);
    const Pixels ir = SomeValues(kVga, 3);
    e.session.Feed(SubPacket(0x22, Pack(RawPacking::kRaw12, ir)));
    uint32_t ready = 0;
    ASSERT_EQ(e.proc.ReadNextFrame(&ready), 0);
    EXPECT_EQ(ready, uint32_t{NsFrameReadyIR});
    Frame frame;
    ASSERT_EQ(e.proc.GetFrame(IRFrame, &frame), 0);
    EXPECT_EQ(FramePixels(frame), ir);
}

// --- the callback ---------------------------------------------------------------------------

// A callback stopping or destroying its own engine is a session and an end-to-end test;
// here: registering again after it stopped itself, and a prompt destruction while
// streaming even with the longest waits.
struct CallbackLog {
    std::mutex lock;
    std::condition_variable changed;
    int calls = 0;
    bool depthPresent = false;
} g_log;

void Note(const NsFrameSet* set) {
    std::lock_guard guard(g_log.lock);
    ++g_log.calls;
    g_log.depthPresent = set->depth.present != 0;
    g_log.changed.notify_all();
}

void FeedDepth(Engine& e, int buffers) {
    for (int i = 0; i < buffers; ++i) {
        e.session.Feed(SubPacket(0x21, Pack(RawPacking::kRaw12, ValidDepth(7))));
    }
}

bool WaitForCalls(int n) {
    std::unique_lock guard(g_log.lock);
    return g_log.changed.wait_for(guard, 10s, [n] { return g_log.calls >= n; });
}

// The session reaps such a thread itself before it registers; the engine must too.
TEST(ImageProcCallback, ACallbackThatStoppedItselfCanBeRegisteredAgain) {
    Engine e(true);
    static ImageProc* proc = &e.proc;
    g_log.calls = 0;
    e.proc.RegisterNotify([](const NsFrameSet* set) {
        proc->UnRegisterNotify();
        Note(set);
    });
    FeedDepth(e, 5);
    ASSERT_TRUE(WaitForCalls(1));
    ASSERT_TRUE(WaitFor([&] { return !e.proc.HasCallback(); }, 10s));
    EXPECT_TRUE(e.proc.RegisterNotify(Note));
    FeedDepth(e, 2);
    EXPECT_TRUE(WaitForCalls(2));
}

TEST(ImageProcCallback, DestructionWhileStreamingIsPromptEvenWithLongWaits) {
    auto engine = std::make_unique<Engine>(true);
    engine->proc.SetWaitTime(60000);  // every queue and event wait as long as it can be
    engine->proc.RegisterNotify(Note);
    uint32_t ready = 0;
    EXPECT_EQ(engine->proc.ReadNextFrame(&ready), -1) << "frames go to the callback";
    g_log.calls = 0;
    FeedDepth(*engine, 6);
    ASSERT_TRUE(WaitForCalls(1));
    {
        std::lock_guard guard(g_log.lock);
        EXPECT_TRUE(g_log.depthPresent);
    }
    log::Capture capture;
    engine.reset();
    EXPECT_EQ(capture.Count("ret:" + std::to_string(kJoinLimitCode)), 0u);
}

}  // namespace
}  // namespace quorix
