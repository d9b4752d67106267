// A handle closed on one thread while other threads are inside calls on it: the calls in
// flight finish on a device that is still there, waits inside the device end at once, every
// later call on the stale handle gets -3, and the camera can be opened again. Run under the
// sanitizers, a device freed under a caller shows up here.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "log/Log.h"
#include "quorix/quorix_api.h"
#include "sim/SimCamera.h"
#include "support/DeviceList.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;
using test::IsListed;
using test::WaitFor;

// A thread that repeats one kind of call on a handle until the handle is reported dead.
class Hammer {
public:
    Hammer(const char* what, std::function<NsReturnStatus()> call)
        : m_what(what), m_thread([this, call = std::move(call)] {
              while (!m_stop.load()) {
                  ++m_calls;
                  if (call() == NsStatusBadHandle) {
                      m_sawDeadHandle.store(true);
                      break;
                  }
              }
              m_done.store(true);
          }) {}
    ~Hammer() {
        m_stop.store(true);
        m_thread.join();
    }
    Hammer(const Hammer&) = delete;
    Hammer& operator=(const Hammer&) = delete;

    bool Done() const { return m_done.load(); }
    bool SawDeadHandle() const { return m_sawDeadHandle.load(); }
    const char* What() const { return m_what; }

private:
    const char* m_what;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_sawDeadHandle{false};
    std::atomic<uint64_t> m_calls{0};
    std::thread m_thread;
};

// Reads a set and fetches its frames. The frame data belong to the application only until
// its next read or the close, so nothing here touches them after the call: whatever the
// library reads of a frame under a close, it reads inside these calls, where the
// sanitizers see it.
NsReturnStatus ReadAndFetch(NsDeviceHandle h) {
    uint32_t ready = 0;
    const NsReturnStatus ret = Ns2_ReadNextFrame(h, 0, &ready);
    if (ret != NsStatusOk) {
        return ret;
    }
    for (const uint32_t type : {DepthFrame, IRFrame, RGBFrame}) {
        NsFrame frame{};
        const NsReturnStatus got = Ns2_GetFrame(h, 0, type, &frame);
        if (got == NsStatusBadHandle) {
            return got;
        }
    }
    return NsStatusOk;
}

class CloseWhileCalling : public ::testing::Test {
protected:
    void SetUp() override {
        log::SetDataHomeForTesting(m_home.Path());
        ASSERT_EQ(Ns2_Initialize(), NsStatusOk);
    }
    void TearDown() override {
        EXPECT_EQ(Ns2_Shutdown(), NsStatusOk);
        m_camera.reset();
        log::SetDataHomeForTesting("");
    }

    void StartCamera(const std::string& address, const std::string& serial, sim::StatusEcho echo) {
        sim::SimConfig config;
        config.address = address;
        config.serial = serial;
        m_camera = std::make_unique<sim::SimCamera>(config);
        m_camera->UpdateState([&](sim::SimState& s) {
            s.sensors[0].dataMode = 2;
            s.stream.status = echo;
        });
        if (m_camera->Start() != 0) {
            GTEST_SKIP() << "cannot take " << address << " or UDP 9007 for the simulator";
        }
        m_uri = "TK5P:" + serial;
    }

    // A released network camera is listed again once it is heard again.
    NsDeviceHandle Open() {
        EXPECT_TRUE(WaitFor([&] { return IsListed(m_uri); }, 10s)) << m_uri;
        NsDeviceHandle h = nullptr;
        EXPECT_EQ(Ns2_OpenDevice(m_uri.c_str(), &h), NsStatusOk);
        return h;
    }

    test::TempDir m_home;
    std::unique_ptr<sim::SimCamera> m_camera;
    std::string m_uri;
};

// Waits that would last a minute (a frame read on a camera that stopped sending) and
// confirmation polls that never see their echo end when the handle is closed.
TEST_F(CloseWhileCalling, CloseEndsTheWaitsInsideTheDevice) {
    StartCamera("127.0.0.41", "QX-CLOSE-1", sim::StatusEcho::kNever);
    NsDeviceHandle h = Open();
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(Ns2_StartStream(h, 0), NsStatusOk);
    ASSERT_EQ(Ns2_SetWaitTimeOfReadNextFrame(h, 0, 60000), NsStatusOk);
    m_camera->UpdateState([](sim::SimState& s) { s.sensors[0].streaming = false; });
    std::this_thread::sleep_for(200ms);  // frames already on their way are read first

    {
        Hammer reader("ReadNextFrame", [h] { return ReadAndFetch(h); });
        Hammer setter("SetSlaveModeEnabled", [h] { return Ns2_SetSlaveModeEnabled(h, 0, 0); });
        std::this_thread::sleep_for(300ms);  // both are inside their waits by now
        ASSERT_FALSE(reader.Done());

        // Neither the close nor the calls may last the minute of the read's wait time.
        NsDeviceHandle closing = h;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Ns2_CloseDevice(&closing), NsStatusOk);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
        EXPECT_EQ(closing, nullptr);
        EXPECT_TRUE(WaitFor([&] { return reader.Done() && setter.Done(); }, 20s));
        EXPECT_TRUE(reader.SawDeadHandle());
        EXPECT_TRUE(setter.SawDeadHandle());
    }
    uint32_t ready = 0;
    EXPECT_EQ(Ns2_ReadNextFrame(h, 0, &ready), NsStatusBadHandle);

    NsDeviceHandle again = Open();  // the camera was released
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Ns2_CloseDevice(&again), NsStatusOk);
}

// Many rounds of: open, (stream,) calls of every kind on four threads, close at a random
// moment from a fifth. Each round ends with every thread seeing -3 and the camera opening
// again.
TEST_F(CloseWhileCalling, HammeredHandleClosesCleanly) {
    StartCamera("127.0.0.42", "QX-CLOSE-2", sim::StatusEcho::kPrompt);
    std::mt19937 random(20261206);
    constexpr int kRounds = 12;
    const auto end = std::chrono::steady_clock::now() + 60s;
    for (int round = 0; round < kRounds && std::chrono::steady_clock::now() < end; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        NsDeviceHandle h = Open();
        ASSERT_NE(h, nullptr);
        if (round % 2 == 0) {
            ASSERT_EQ(Ns2_StartStream(h, 0), NsStatusOk);
        }
        std::vector<std::unique_ptr<Hammer>> hammers;
        hammers.push_back(
            std::make_unique<Hammer>("ReadNextFrame", [h] { return ReadAndFetch(h); }));
        hammers.push_back(std::make_unique<Hammer>("SetThreshold", [h, round] {
            return Ns2_SetThreshold(h, 0, static_cast<uint16_t>(20 + round));
        }));
        hammers.push_back(std::make_unique<Hammer>("GetProperty", [h] {
            std::array<char, 64> serial{};
            uint32_t size = serial.size();
            return Ns2_GetProperty(h, 0, NS_PROPERTY_DEVICE_SN, serial.data(), &size);
        }));
        hammers.push_back(std::make_unique<Hammer>("GetFrameMode", [h] {
            NsFrameMode mode{};
            uint32_t range = 0;
            const NsReturnStatus ret = Ns2_GetFrameMode(h, 0, DepthFrame, &mode);
            return ret == NsStatusBadHandle ? ret : Ns2_GetDepthRange(h, 0, &range);
        }));
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 150));

        NsDeviceHandle closing = h;
        ASSERT_EQ(Ns2_CloseDevice(&closing), NsStatusOk);
        for (const auto& hammer : hammers) {
            EXPECT_TRUE(WaitFor([&] { return hammer->Done(); }, 20s)) << hammer->What();
            EXPECT_TRUE(hammer->SawDeadHandle()) << hammer->What();
        }
        hammers.clear();
        EXPECT_EQ(Ns2_StartStream(h, 0), NsStatusBadHandle);
        NsDeviceHandle stale = h;
        EXPECT_EQ(Ns2_CloseDevice(&stale), NsStatusBadHandle);
    }
}

// The library shut down under calls in flight: they end, and nothing is freed under them.
TEST_F(CloseWhileCalling, ShutdownWithCallsInFlight) {
    StartCamera("127.0.0.43", "QX-CLOSE-3", sim::StatusEcho::kPrompt);
    NsDeviceHandle h = Open();
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(Ns2_StartStream(h, 0), NsStatusOk);
    Hammer reader("ReadNextFrame", [h] { return ReadAndFetch(h); });
    Hammer setter("SetThreshold", [h] { return Ns2_SetThreshold(h, 0, 33); });
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Ns2_Shutdown(), NsStatusOk);
    EXPECT_TRUE(WaitFor([&] { return reader.Done() && setter.Done(); }, 20s));
    EXPECT_EQ(Ns2_Initialize(), NsStatusOk);  // for TearDown's shutdown
    NsDeviceHandle stale = h;
    EXPECT_EQ(Ns2_CloseDevice(&stale), NsStatusOk);  // frees the emptied cell
}

}  // namespace
}  // namespace quorix
