// The library's C interface against simulated network cameras on loopback: discovery,
// hot-plug events, open and close, handle checks and the keep-alive of opened cameras.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
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
using test::Listed;
using test::WaitFor;

struct Event {
    int32_t event;
    std::string uri;
    std::thread::id thread;
};

std::mutex g_lock;
std::vector<Event> g_plain;
std::vector<Event> g_withContext;
int g_context;

void OnPlain(const NsDeviceInfo* d, int32_t e) {
    std::lock_guard guard(g_lock);
    g_plain.push_back({e, d->uri, std::this_thread::get_id()});
}

void OnWithContext(const NsDeviceInfo* d, int32_t e, void* context) {
    std::lock_guard guard(g_lock);
    if (context == &g_context) {
        g_withContext.push_back({e, d->uri, std::this_thread::get_id()});
    }
}

size_t CountEvents(int32_t event, const std::string& uri) {
    std::lock_guard guard(g_lock);
    size_t n = 0;
    for (const Event& e : g_plain) {
        n += e.event == event && e.uri == uri ? 1 : 0;
    }
    return n;
}

class Discovery : public ::testing::Test {
protected:
    void SetUp() override {
        log::SetDataHomeForTesting(m_home.Path());
        {
            std::lock_guard guard(g_lock);
            g_plain.clear();
            g_withContext.clear();
        }
        ASSERT_EQ(Ns2_Initialize(), NsStatusOk);
        Ns2_SetHotPlugStatusCallback(OnPlain);
        Ns2_SetHotPlugStatusCallback_(OnWithContext, &g_context);
    }
    void TearDown() override {
        Ns2_SetHotPlugStatusCallback(nullptr);
        Ns2_SetHotPlugStatusCallback_(nullptr, nullptr);
        EXPECT_EQ(Ns2_Shutdown(), NsStatusOk);
        m_cameras.clear();
        log::SetDataHomeForTesting("");
    }

    sim::SimCamera& Camera(const std::string& address, const std::string& serial,
                           uint32_t sessions = 1, uint32_t type = 561,
                           const std::string& alias = "") {
        sim::SimConfig config;
        config.address = address;
        config.serial = serial;
        config.sessions = sessions;
        config.deviceType = type;
        m_cameras.push_back(std::make_unique<sim::SimCamera>(config));
        sim::SimCamera& camera = *m_cameras.back();
        camera.UpdateState([&](sim::SimState& s) {
            s.announce.tof = static_cast<uint8_t>(sessions);
            s.alias = alias;
        });
        EXPECT_EQ(camera.Start(), 0);
        return camera;
    }

    test::TempDir m_home;
    std::vector<std::unique_ptr<sim::SimCamera>> m_cameras;
};

TEST_F(Discovery, AnnouncedCameraIsListedAndReportedThroughBothForms) {
    Camera("127.0.0.2", "QX-DISC-1", 2);
    ASSERT_TRUE(WaitFor([] { return IsListed("TK5P:QX-DISC-1"); }, 10s));
    NsDeviceInfo d{};
    for (const NsDeviceInfo& listed : Listed()) {
        if (std::string(listed.uri) == "TK5P:QX-DISC-1") {
            d = listed;
        }
    }
    EXPECT_STREQ(d.alias, "QX-DISC-1");  // no alias announced: the serial number
    EXPECT_EQ(+d.devicetype, static_cast<uint32_t>(TK5P));
    EXPECT_EQ(+d.SessionCount, 2u);
    EXPECT_EQ(+d.status, static_cast<uint32_t>(Connected));

    // The record is listed a moment before its event has run on the reporting thread.
    EXPECT_TRUE(WaitFor(
        [] {
            std::lock_guard guard(g_lock);
            return g_plain.size() == 1 && g_withContext.size() == 1;
        },
        5s));
    std::lock_guard guard(g_lock);
    ASSERT_EQ(g_plain.size(), 1u);
    ASSERT_EQ(g_withContext.size(), 1u);
    EXPECT_EQ(g_plain[0].event, NsHotPlugAdded);
    EXPECT_EQ(g_withContext[0].uri, "TK5P:QX-DISC-1");
    EXPECT_NE(g_plain[0].thread, std::this_thread::get_id());
}

TEST_F(Discovery, OpenCloseAndHandleChecks) {
    sim::SimCamera& camera = Camera("127.0.0.3", "QX-OPEN-1", 2, 561, "bench-left");
    ASSERT_TRUE(WaitFor([] { return IsListed("TK5P:QX-OPEN-1"); }, 10s));

    NsDeviceHandle handle = nullptr;
    ASSERT_EQ(Ns2_OpenDevice("TK5P:QX-OPEN-1", &handle), NsStatusOk);
    ASSERT_NE(handle, nullptr);
    EXPECT_TRUE(camera.CommandConnected(0));
    EXPECT_TRUE(camera.CommandConnected(1));

    NsDeviceHandle second = reinterpret_cast<NsDeviceHandle>(0x1234);
    EXPECT_EQ(Ns2_OpenDevice("TK5P:QX-OPEN-1", &second), NsStatusAlreadyOpened);
    EXPECT_EQ(second, reinterpret_cast<NsDeviceHandle>(0x1234));  // untouched
    EXPECT_EQ(Ns2_OpenDeviceByAlias("bench-left", &second), NsStatusAlreadyOpened);

    NsDeviceHandle unknown = reinterpret_cast<NsDeviceHandle>(0x1234);
    EXPECT_EQ(Ns2_OpenDevice("TK5P:NOBODY", &unknown), NsStatusOpenFailed);
    EXPECT_EQ(unknown, nullptr);

    EXPECT_EQ(Ns2_GetDeviceSN(handle, 0, nullptr, 0), NsStatusOk);
    EXPECT_EQ(Ns2_GetDeviceSN(handle, 1, nullptr, 0), NsStatusOk);
    EXPECT_EQ(Ns2_GetDeviceSN(handle, 2, nullptr, 0), NsStatusBadHandle);  // index == count
    EXPECT_EQ(Ns2_GetDeviceSN(nullptr, 0, nullptr, 0), NsStatusBadHandle);
    EXPECT_EQ(Ns2_OpenDevice("TK5P:QX-OPEN-1", nullptr), NsStatusNullPointer);
    EXPECT_EQ(Ns2_CloseDevice(nullptr), NsStatusNullPointer);
    EXPECT_EQ(Ns2_GetDeviceCount(nullptr), NsStatusNullPointer);

    NsDeviceHandle stale = handle;
    EXPECT_EQ(Ns2_CloseDevice(&handle), NsStatusOk);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(Ns2_CloseDevice(&handle), NsStatusBadHandle);
    EXPECT_EQ(Ns2_SetWDRFusionThreshold(stale, 0, 100), NsStatusBadHandle);
    EXPECT_EQ(Ns2_CloseDevice(&stale), NsStatusBadHandle);
    EXPECT_EQ(stale, nullptr);

    // Heard again, it opens by alias too.
    ASSERT_TRUE(WaitFor([] { return IsListed("TK5P:QX-OPEN-1"); }, 10s));
    EXPECT_EQ(Ns2_OpenDeviceByAlias("bench-left", &handle), NsStatusOk);
    EXPECT_EQ(Ns2_CloseDevice(&handle), NsStatusOk);
}

TEST_F(Discovery, OpenedCameraThatDiesIsReportedRemoved) {
    sim::SimCamera& a = Camera("127.0.0.4", "QX-KA-1");
    sim::SimCamera& b = Camera("127.0.0.5", "QX-KA-2");
    ASSERT_TRUE(WaitFor([] { return IsListed("TK5P:QX-KA-1") && IsListed("TK5P:QX-KA-2"); }, 10s));
    NsDeviceHandle ha = nullptr;
    NsDeviceHandle hb = nullptr;
    ASSERT_EQ(Ns2_OpenDevice("TK5P:QX-KA-1", &ha), NsStatusOk);
    ASSERT_EQ(Ns2_OpenDevice("TK5P:QX-KA-2", &hb), NsStatusOk);
    log::Capture capture;
    a.Stop();
    b.Stop();
    EXPECT_TRUE(WaitFor(
        [] {
            return CountEvents(NsHotPlugRemoved, "TK5P:QX-KA-1") == 1 &&
                   CountEvents(NsHotPlugRemoved, "TK5P:QX-KA-2") == 1;
        },
        15s));
    EXPECT_TRUE(capture.Contains(" socket remove"));
    EXPECT_FALSE(IsListed("TK5P:QX-KA-1"));
    EXPECT_EQ(Ns2_CloseDevice(&ha), NsStatusOk);
    EXPECT_EQ(Ns2_CloseDevice(&hb), NsStatusOk);
}

TEST_F(Discovery, CameraGoingAwayIsReportedRemovedOnce) {
    sim::SimCamera& camera = Camera("127.0.0.6", "QX-BYE-1");
    ASSERT_TRUE(WaitFor([] { return CountEvents(NsHotPlugAdded, "TK5P:QX-BYE-1") == 1; }, 10s));
    camera.SetCameraState(2);
    ASSERT_TRUE(WaitFor([] { return CountEvents(NsHotPlugRemoved, "TK5P:QX-BYE-1") == 1; }, 10s));
    std::this_thread::sleep_for(1500ms);  // further passes report nothing more
    EXPECT_EQ(CountEvents(NsHotPlugRemoved, "TK5P:QX-BYE-1"), 1u);
    EXPECT_FALSE(IsListed("TK5P:QX-BYE-1"));
}

}  // namespace
}  // namespace quorix
