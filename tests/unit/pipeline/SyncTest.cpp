#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>

#include "log/Log.h"
#include "pipeline/AutoResetEvent.h"
#include "pipeline/Sync.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kDepthAndColour = kFrameSetDepth | kFrameSetColour;
constexpr uint32_t kAll = kFrameSetDepth | kFrameSetIR | kFrameSetColour;

// Byte that fills a test frame, so a fetched set shows which frame it carries.
uint8_t Pattern(uint32_t index, char kind) {
    return static_cast<uint8_t>(index * 3 + kind);
}

// Drives a Sync without its thread: each frame is pushed, announced and taken by one Step.
class SyncRing {
public:
    SyncRing()
        : m_depth(kPoolDepth, 10),
          m_ir(kPoolIR, 10),
          m_colour(kPoolColour, 10),
          m_sync(&m_depth, &m_ir, &m_colour) {
        m_sync.CreateEvents("SN1");
        m_sync.SetWaitTimeOfReadNextFrame(0);
    }

    // Tokens: D5 / I5 / C5 a depth / IR / colour frame of index 5 ("D5x": wrong data
    // length); F fetch a set; H<n> frames out of their pools; T a round without frames;
    // S0/S1 stream off/on; Q stream off and on again before the next round; A0/A1
    // active; E0/E1 synchronisation off/on; R reset request.
    // Returns the fetch results ("5:DC", "-" for none) and any held-count mismatches.
    std::string Play(const std::string& script, uint32_t frameSet) {
        std::istringstream in(script);
        std::string token;
        std::string result;
        while (in >> token) {
            const char op = token[0];
            const uint32_t n = token.size() > 1 ? std::stoul(token.substr(1)) : 0;
            switch (op) {
                case 'D':
                case 'I':
                case 'C':
                    Feed(op, n, frameSet, token.back() != 'x');
                    break;
                case 'F':
                    result += Fetch() + " ";
                    break;
                case 'H':
                    if (Held() != n) {
                        result += "held" + std::to_string(Held()) + "!=" + token + " ";
                    }
                    break;
                case 'T':
                    m_sync.Step();
                    break;
                case 'S':
                    m_sync.SetStreamOn(n != 0);
                    m_sync.Step();
                    break;
                case 'Q':
                    m_sync.SetStreamOn(false);
                    m_sync.SetStreamOn(true);
                    m_sync.Step();
                    break;
                case 'A':
                    m_sync.SetActive(n != 0);
                    m_sync.Step();
                    break;
                case 'E':
                    m_sync.SetEnabled(n != 0);
                    break;
                case 'R':
                    m_sync.RequestReset();
                    m_sync.Step();
                    break;
                default:
                    ADD_FAILURE() << "bad token " << token;
            }
        }
        return result;
    }

    void Feed(char kind, uint32_t index, uint32_t frameSet, bool rightSize) {
        FrameQueue& q = Queue(kind);
        Frame* f = q.AllocFrame(q.Type());
        ASSERT_NE(f, nullptr);
        const uint32_t bpp = kind == 'C' ? 3 : 2;
        f->width = 4;
        f->height = 2;
        f->dataLen = 4 * 2 * bpp - (rightSize ? 0 : 1);
        f->frameIndex = index;
        f->frameSet = frameSet;
        f->exposureTime = 1.5f;
        memset(f->pFrameData, Pattern(index, kind), f->dataLen);
        q.Push(f);
        m_sync.SetSingleFrameReady(kind == 'C' ? 4 : kind == 'D' ? 1 : 2);
        m_sync.Step();
    }

    // Takes a set, checks each frame against what was fed, and gives the frames back.
    std::string Fetch() {
        SyncSet out;
        if (!m_sync.TakeSynchronizedSet(out)) {
            return "-";
        }
        std::string s = std::to_string(out.frameIndex) + ":";
        for (auto [present, frame, kind] :
             {std::tuple{out.depthPresent, out.depth, 'D'}, std::tuple{out.irPresent, out.ir, 'I'},
              std::tuple{out.colourPresent, out.colour, 'C'}}) {
            if (present == 0) {
                continue;
            }
            s += kind;
            const bool right =
                frame != nullptr && frame->frameIndex == out.frameIndex &&
                frame->pFrameData[0] == Pattern(out.frameIndex, kind) &&
                frame->pFrameData[frame->dataLen - 1] == Pattern(out.frameIndex, kind) &&
                frame->exposureTime == 1.5f;
            if (!right) {
                s += "!";
            }
            Queue(kind).Release(frame);
        }
        return s;
    }

    uint32_t Held() const {
        uint32_t held = 0;
        for (const FrameQueue* q : {&m_depth, &m_ir, &m_colour}) {
            held += q->Pool()->FrameCount() - q->Pool()->FreeCount();
        }
        return held;
    }

    FrameQueue& Queue(char kind) { return kind == 'C' ? m_colour : kind == 'D' ? m_depth : m_ir; }
    Sync& sync() { return m_sync; }

private:
    FrameQueue m_depth;
    FrameQueue m_ir;
    FrameQueue m_colour;
    Sync m_sync;
};

struct RingCase {
    const char* name;
    uint32_t frameSet;
    const char* script;
    const char* expected;
};

TEST(Sync, RingTable) {
    const RingCase cases[] = {
        {"depth and colour make a set; IR is not awaited", kDepthAndColour, "D5 C5 F H0", "5:DC "},
        {"arrival order does not matter", kDepthAndColour, "C5 D5 F", "5:DC "},
        {"a set that asks for IR waits for it", kAll, "D5 C5 F I5 F H0", "- 5:DIC "},
        {"a wrong-size depth frame is dropped; its capture holds later sets back until "
         "five newer captures have started",
         kDepthAndColour, "D5x H0 C5 F H1 D6 C6 F D7 C7 D8 C8 D9 C9 D10 F", "- - 6:DC "},
        {"an unfetched set is replaced and its frames go home", kDepthAndColour,
         "D5 C5 H2 D6 C6 H2 F H0", "6:DC "},
        {"the oldest capture completes first", kDepthAndColour, "D5 D6 C6 F C5 F H2 D7 F",
         "- 5:DC 6:DC "},
        {"seven captures without a set: the first is released, late frames refused",
         kDepthAndColour, "D1 D2 D3 D4 D5 D6 H6 D7 H6 C1 C2 H6 C3 F H5", "3:DC "},
        {"a second frame of the same kind and index replaces the first", kDepthAndColour,
         "D5 D5 H1 C5 F H0", "5:DC "},
        {"a late frame without a slot is refused", kDepthAndColour, "D5 C5 F D4 H0", "5:DC "},
        {"stream off empties the ring and keeps it empty", kDepthAndColour,
         "D5 S0 H0 C5 H0 F S1 D6 C6 F", "- 6:DC "},
        {"a stop and a start before the next round still empty the ring", kDepthAndColour,
         "D5 Q H0 D6 C6 F", "6:DC "},
        {"low-power mode empties the ring", kDepthAndColour, "D5 A0 H0 A1 C5 F", "- "},
        {"a round without frames while stopped empties the output", kDepthAndColour,
         "D5 C5 H2 S0 H0 F", "- "},
        {"a requested reset empties the ring", kDepthAndColour, "D5 C5 D6 R H0 C6 F", "- "},
        {"switching synchronisation back on empties the ring", kDepthAndColour,
         "D5 E0 H1 E1 H0 C5 F", "- "},
    };
    for (const RingCase& c : cases) {
        SCOPED_TRACE(c.name);
        log::Capture capture;
        SyncRing ring;
        EXPECT_EQ(ring.Play(c.script, c.frameSet), c.expected);
        ring.sync().Reset();
        EXPECT_EQ(ring.Held(), 0u);
        EXPECT_FALSE(capture.Contains("released twice"));
        EXPECT_FALSE(capture.Contains("does not belong"));
    }
}

TEST(Sync, TakenFramesAreTheCallersUntilGivenBack) {
    SyncRing ring;
    ring.Play("D5 C5", kDepthAndColour);
    SyncSet out;
    ASSERT_TRUE(ring.sync().TakeSynchronizedSet(out));
    EXPECT_EQ(out.frameSet, kDepthAndColour);
    ASSERT_NE(out.depth, nullptr);
    ASSERT_NE(out.colour, nullptr);
    EXPECT_EQ(out.ir, nullptr);
    // A reset (stream stop, mode change) must not take back what the caller holds.
    ring.sync().Reset();
    EXPECT_EQ(ring.Held(), 2u);
    EXPECT_EQ(out.colour->pFrameData[0], Pattern(5, 'C'));
    ring.Queue('D').Release(out.depth);
    ring.Queue('C').Release(out.colour);
    EXPECT_EQ(ring.Held(), 0u);
    SyncSet none;
    EXPECT_FALSE(ring.sync().TakeSynchronizedSet(none));
}

TEST(Sync, WaitSingleFrameReturnsAndClearsTheAnnouncedKinds) {
    SyncRing ring;
    ring.sync().SetSingleFrameReady(1);
    ring.sync().SetSingleFrameReady(4);
    EXPECT_EQ(ring.sync().WaitSingleFrame(), 5);
    EXPECT_EQ(ring.sync().WaitSingleFrame(), 0);
}

TEST(Sync, EventsAreNamedAfterTheSerialNumber) {
    FrameQueue depth(kPoolDepth, 1);
    Sync sync(&depth, nullptr, nullptr);
    log::Capture capture;
    sync.SetSingleFrameReady(1);
    EXPECT_TRUE(capture.Contains("XnxnOSSetEvent failed, status: 131132"));
    EXPECT_EQ(sync.CreateEvents("AB\\12"), 0);
    EXPECT_TRUE(capture.Contains("SingleFrameReady_AB_12"));
    EXPECT_TRUE(capture.Contains("SyncFrameReady_AB_12"));
    EXPECT_EQ(sync.CreateEvents(std::string(250, 'x')), kEventCreateFailed);
}

TEST(AutoResetEvent, OneSetReleasesOneWait) {
    AutoResetEvent event;
    EXPECT_EQ(event.Set(), kEventMissing);
    EXPECT_EQ(event.Create(std::string(259, 'n')), 0);
    EXPECT_EQ(event.Create(std::string(260, 'n')), kEventCreateFailed);
    EXPECT_EQ(event.Name(), std::string(259, 'n'));
    EXPECT_FALSE(event.Wait(0ms));
    EXPECT_EQ(event.Set(), 0);
    EXPECT_EQ(event.Set(), 0);
    EXPECT_TRUE(event.Wait(0ms));
    EXPECT_FALSE(event.Wait(0ms));
    event.Set();
    event.Cancel();
    EXPECT_FALSE(event.Wait(0ms));
    event.Resume();
    EXPECT_TRUE(event.Wait(0ms));
}

TEST(AutoResetEvent, AbandonedWaitEndsOnWakeAndLeavesTheSignal) {
    AutoResetEvent event;
    event.Create("A");
    std::atomic<bool> abandon{false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(20ms);
        abandon.store(true);
        event.Wake();
    });
    EXPECT_FALSE(event.Wait(60s, &abandon));
    stopper.join();
    event.Set();
    EXPECT_FALSE(event.Wait(0ms, &abandon)) << "an abandoned wait takes no signal";
    EXPECT_TRUE(event.Wait(0ms)) << "the next wait gets it";
}

// The thread end to end: frames pushed from here come back as a set.
TEST(Sync, ThreadDeliversSetsAndStopsPromptly) {
    FrameQueue depth(kPoolDepth, 2);
    FrameQueue colour(kPoolColour, 2);
    auto sync = std::make_unique<Sync>(&depth, nullptr, &colour);
    EXPECT_EQ(sync->WaitTime(), 350u);
    sync->CreateEvents("SN2");
    sync->SetWaitTimeOfReadNextFrame(60000);
    sync->Start();
    for (FrameQueue* q : {&depth, &colour}) {
        Frame* f = q->AllocFrame(q->Type());
        f->width = 2;
        f->height = 1;
        f->dataLen = q == &colour ? 6 : 4;
        f->frameIndex = 9;
        f->frameSet = kDepthAndColour;
        q->Push(f);
        sync->SetSingleFrameReady(q == &colour ? 4 : 1);
    }
    SyncSet out;
    ASSERT_TRUE(sync->TakeSynchronizedSet(out));
    EXPECT_EQ(out.frameIndex, 9u);
    depth.Release(out.depth);
    colour.Release(out.colour);

    // A reader blocked in a one-minute wait is released by Stop, not by its time-out.
    const auto start = std::chrono::steady_clock::now();
    auto reader = std::async(std::launch::async, [&] { return sync->TakeSynchronizedSet(out); });
    std::this_thread::sleep_for(20ms);
    sync->Stop();
    EXPECT_EQ(sync->Join(), 0);
    EXPECT_FALSE(reader.get());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    sync.reset();
    EXPECT_EQ(depth.Pool()->FreeCount(), 2u);
    EXPECT_EQ(colour.Pool()->FreeCount(), 2u);
}

TEST(Sync, DefaultWaitGivesUpWithoutASet) {
    FrameQueue depth(kPoolDepth, 1);
    Sync sync(&depth, nullptr, nullptr);
    sync.CreateEvents("SN3");
    sync.SetWaitTimeOfReadNextFrame(20);
    SyncSet out;
    EXPECT_FALSE(sync.TakeSynchronizedSet(out));
}

}  // namespace
}  // namespace quorix
