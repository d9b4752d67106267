// The device manager's event rules, driven pass by pass, with a scripted USB platform, a
// scripted protocol for every session (and for every alias read of a USB camera) and
// announcements fed straight to discovery.
#include "device/DeviceManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "device/BaseDevice.h"
#include "log/Log.h"
#include "platform/fake/FakeDeviceEventSource.h"
#include "platform/fake/FakeUsbPlatform.h"
#include "protocol/BaseProtocol.h"
#include "session/ProtocolFactory.h"
#include "support/Announcement.h"
#include "support/CameraTexts.h"
#include "support/SysfsTree.h"
#include "support/TempDir.h"
#include "support/Wait.h"
#include "upgrade/TransferWorkers.h"

namespace quorix {
namespace {

// What every scripted protocol answers.
struct Script {
    std::atomic<int32_t> openResult{0};
    std::atomic<bool> serialAnswers{true};
    test::CameraTexts usb;  // what USB cameras answer, by video path
};

class ScriptedProtocol final : public BaseProtocol {
public:
    ScriptedProtocol(Script& script, const SessionInfo& info)
        : m_script(script), m_usbPath(info.usb.path) {}
    int32_t OpenDevice() override { return m_script.openResult.load(); }
    int32_t CloseDevice() override { return 0; }
    int32_t IsSupportJSONConfig() override { return -255; }
    int32_t GetAlias(char* text, uint32_t capacity) override {
        return m_script.usb.Read(m_usbPath, test::CameraText::kAlias, text, capacity);
    }
    int32_t GetSN(char* text, uint32_t capacity) override {
        if (!m_usbPath.empty()) {
            return m_script.usb.Read(m_usbPath, test::CameraText::kSerialNumber, text, capacity);
        }
        return Serial(text, capacity);
    }
    int32_t GetProperty(uint32_t, void* data, uint32_t& length) override {
        return Serial(static_cast<char*>(data), length);
    }
    int32_t SetConnectStatus(bool) override { return 0; }

private:
    int32_t Serial(char* text, uint32_t capacity) {
        if (!m_script.serialAnswers.load()) {
            return -104;
        }
        snprintf(text, capacity, "SN");
        return 0;
    }
    Script& m_script;
    const std::string m_usbPath;
};

struct Event {
    int32_t event;
    std::string uri;
    std::thread::id thread;
    bool withContext;
};

std::mutex g_eventLock;
std::vector<Event> g_events;
int g_context = 0;

void RecordPlain(const NsDeviceInfo* d, int32_t e) {
    std::lock_guard guard(g_eventLock);
    g_events.push_back({e, d->uri, std::this_thread::get_id(), false});
}

void RecordWithContext(const NsDeviceInfo* d, int32_t e, void* context) {
    std::lock_guard guard(g_eventLock);
    g_events.push_back({e, d->uri, std::this_thread::get_id(), context == &g_context});
}

std::vector<Event> TakeEvents() {
    std::lock_guard guard(g_eventLock);
    return std::exchange(g_events, {});
}

class Manager : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetUsbPlatformForTesting(&m_usb);
        SetDiscoveryListeningForTesting(false);
        SetProtocolFactoryForTesting([this](const SessionInfo& info) {
            ++m_protocolsMade;
            return std::make_unique<ScriptedProtocol>(m_script, info);
        });
        TakeEvents();
    }
    void TearDown() override {
        DeviceManager::Destroy();
        Upgrade::Destroy();
        JsonCtl::Destroy();
        SetProtocolFactoryForTesting({});
        SetDiscoveryListeningForTesting(true);
        platform::SetUsbPlatformForTesting(nullptr);
    }

    DeviceManager& M() { return DeviceManager::Instance(); }

    // A TK3A camera plugged in: its interfaces appear and its arrival is announced.
    void PlugIn(const std::string& video, const std::string& alias, const std::string& box) {
        m_usb.AddCamera(video, "/hid" + video, box, 0xF5E2, 0x0101);
        m_script.usb.Set(video, test::CameraText::kAlias, alias);
        M().OnMessage({0, 0, 0xF5E2, 0x0101, video});
    }
    void Unplug(const std::string& video) {
        m_usb.RemoveInterface(video);
        m_usb.RemoveInterface("/hid" + video);
        M().OnMessage({1, 0, 0xF5E2, 0x0101, video});
    }
    void Announce(const std::string& sn, uint8_t state, const std::string& ip = "127.0.0.2",
                  uint8_t kind = 4, const std::string& alias = "") {
        test::AnnouncementBytes a;
        a.Set(1, 1, ip, kind, sn, state, "127.0.0.1", alias);
        M().Discovery().HandleDatagram(a.data.data(), a.data.size());
    }
    NsDeviceInfo Record(const std::string& uri) {
        for (const NsDeviceInfo& r : M().AllRecords()) {
            if (uri == r.uri) {
                return r;
            }
        }
        ADD_FAILURE() << "no record " << uri;
        return {};
    }

    platform::FakeUsbPlatform m_usb;
    Script m_script;
    std::atomic<int> m_protocolsMade{0};
};

TEST_F(Manager, UsbArrivalWithoutCallbackIsAddedAndCounted) {
    PlugIn("/video/a", "A1", "box-a");
    EXPECT_TRUE(M().RunPass());
    const NsDeviceInfo r = Record("/video/a");
    EXPECT_EQ(+r.status, static_cast<uint32_t>(Connected));
    EXPECT_STREQ(r.alias, "A1");
    EXPECT_EQ(+r.devicetype, static_cast<uint32_t>(TK3A));
    EXPECT_EQ(M().GetCameraCount(), 1u);
    EXPECT_TRUE(TakeEvents().empty());
}

TEST_F(Manager, AddIsReportedThroughBothFormsOnAnotherThread) {
    M().SetHotPlugCallback(RecordPlain);
    M().SetHotPlugCallbackEx(RecordWithContext, &g_context);
    PlugIn("/video/a", "A1", "box-a");
    EXPECT_TRUE(M().RunPass());
    const auto events = TakeEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_FALSE(events[0].withContext);
    EXPECT_TRUE(events[1].withContext);
    for (const Event& e : events) {
        EXPECT_EQ(e.event, NsHotPlugAdded);
        EXPECT_EQ(e.uri, "/video/a");
        EXPECT_NE(e.thread, std::this_thread::get_id());
    }
    EXPECT_FALSE(M().RunPass());  // one event per pass, and nothing left
    EXPECT_TRUE(TakeEvents().empty());
}

// Clearing a hot-plug callback waits for a call of it already running, so whatever its
// context points at may go once the setter returns; a callback may clear itself.
std::atomic<bool> g_inside{false};
std::atomic<bool> g_release{false};
std::atomic<bool> g_finished{false};

void BlockingCallback(const NsDeviceInfo*, int32_t, void*) {
    g_inside = true;
    while (!g_release) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    g_finished = true;
}

void SelfClearingCallback(const NsDeviceInfo*, int32_t, void* manager) {
    static_cast<DeviceManager*>(manager)->SetHotPlugCallbackEx(nullptr, nullptr);
    g_finished = true;
}

TEST_F(Manager, ClearingAHotPlugCallbackWaitsForTheCallInProgress) {
    g_inside = g_release = g_finished = false;
    M().SetHotPlugCallbackEx(BlockingCallback, nullptr);
    PlugIn("/video/a", "A1", "box-a");
    std::thread pass([&] { M().RunPass(); });
    ASSERT_TRUE(test::WaitFor([] { return g_inside.load(); }, std::chrono::seconds(10)));
    std::atomic<bool> cleared{false};
    bool finishedWhenCleared = false;
    std::thread clearer([&] {
        M().SetHotPlugCallbackEx(nullptr, nullptr);
        finishedWhenCleared = g_finished;
        cleared = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(cleared) << "the setter returned while the callback ran";
    g_release = true;
    clearer.join();
    pass.join();
    EXPECT_TRUE(finishedWhenCleared);

    g_finished = false;
    M().SetHotPlugCallbackEx(SelfClearingCallback, &M());
    PlugIn("/video/b", "B1", "box-b");
    EXPECT_TRUE(M().RunPass());  // returns: the callback cleared itself without waiting
    EXPECT_TRUE(g_finished);
}

TEST_F(Manager, UnplugOfAClosedCameraIsSilentAndItsReturnIsAnnouncedAgain) {
    M().SetHotPlugCallback(RecordPlain);
    PlugIn("/video/a", "A1", "box-a");
    M().RunPass();
    TakeEvents();
    Unplug("/video/a");
    EXPECT_EQ(+Record("/video/a").status, static_cast<uint32_t>(Unconnected));  // at once
    M().RunPass();
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_EQ(M().GetCameraCount(), 0u);

    PlugIn("/video/a", "A1", "box-a");
    M().RunPass();
    const auto events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event, NsHotPlugAdded);
    EXPECT_EQ(M().GetCameraCount(), 1u);
}

// An arrival read after the camera was already counted and reported (the count enumerates
// before the monitor's message is handled, or the message comes twice) leaves it listed:
// an opened camera never drops out of the count, and nothing is reported again.
TEST_F(Manager, RepeatedArrivalKeepsAListedCameraCounted) {
    M().SetHotPlugCallback(RecordPlain);
    PlugIn("/video/a", "A1", "box-a");
    M().RunPass();
    ASSERT_EQ(TakeEvents().size(), 1u);
    const std::shared_ptr<BaseDevice> device = M().OpenDevice("/video/a");
    ASSERT_NE(device, nullptr);
    for (int i = 0; i < 2; ++i) {
        M().OnMessage({0, 0, 0xF5E2, 0x0101, "/video/a"});
        EXPECT_EQ(M().GetCameraCount(), 1u);
        M().RunPass();
    }
    EXPECT_TRUE(TakeEvents().empty());
    // Once gone, the same path arriving again is a new arrival, reported as such.
    Unplug("/video/a");
    M().RunPass();
    M().ReleaseDevice(device.get());
    TakeEvents();
    PlugIn("/video/a", "A1", "box-a");
    M().RunPass();
    const auto events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event, NsHotPlugAdded);
}

TEST_F(Manager, UnplugOfAnOpenedCameraIsReportedOnceInALaterPass) {
    M().SetHotPlugCallback(RecordPlain);
    PlugIn("/video/a", "A1", "box-a");
    M().RunPass();
    TakeEvents();
    const std::shared_ptr<BaseDevice> device = M().OpenDevice("/video/a");
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(M().checkOpenedByURI("/video/a"));
    EXPECT_TRUE(M().checkOpenedByAlias("A1"));
    EXPECT_EQ(M().OpenDevice("/video/a"), device);  // an opened device is handed out again

    Unplug("/video/a");
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_FALSE(device->IsAlive());
    M().RunPass();
    auto events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event, NsHotPlugRemoved);
    M().RunPass();
    EXPECT_TRUE(TakeEvents().empty());
    M().ReleaseDevice(device.get());
    EXPECT_EQ(+Record("/video/a").status, static_cast<uint32_t>(Unconnected));
}

TEST_F(Manager, CameraBackUnderANewPathKeepsItsRecord) {
    M().SetHotPlugCallback(RecordPlain);
    PlugIn("/video/a", "A1", "box-a");
    M().RunPass();
    Unplug("/video/a");
    M().RunPass();
    TakeEvents();

    PlugIn("/video/b", "A1", "box-b");
    M().RunPass();
    const auto events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event, NsHotPlugAdded);
    EXPECT_EQ(events[0].uri, "/video/b");
    const auto records = M().AllRecords();
    ASSERT_EQ(records.size(), 1u);  // the new record was folded into the old one
    EXPECT_STREQ(records[0].uri, "/video/b");
    EXPECT_STREQ(records[0].alias, "A1");
    EXPECT_EQ(M().GetCameraCount(), 1u);
}

TEST_F(Manager, CameraWhoseAliasCannotBeReadIsNotAnnounced) {
    M().SetHotPlugCallback(RecordPlain);
    m_usb.AddCamera("/video/a", "/hid/a", "box-a", 0xF5E2, 0x0101);
    m_script.usb.Set("/video/a", test::CameraText::kAlias, "", -104);
    m_script.usb.Set("/video/a", test::CameraText::kSerialNumber, "", -104);
    log::Capture capture;
    M().OnMessage({0, 0, 0xF5E2, 0x0101, "/video/a"});
    M().RunPass();
    EXPECT_TRUE(capture.Contains("not call back"));
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_EQ(+Record("/video/a").status, static_cast<uint32_t>(ConnectUNKNOWN));
    EXPECT_EQ(M().GetCameraCount(), 1u);  // listed, but it cannot be opened
    EXPECT_EQ(M().OpenDevice("/video/a"), nullptr);
}

TEST_F(Manager, ArrivalThroughTheWatcherThread) {
    M().SetHotPlugCallback(RecordPlain);
    m_usb.AddCamera("/video/a", "/hid/a", "box-a", 0xF5E2, 0x0101);
    m_script.usb.Set("/video/a", test::CameraText::kAlias, "A1");
    M();  // starts the watcher
    m_usb.PushEvent({true, platform::UsbInterfaceClass::kVideo, 0xF5E2, 0x0101, "/video/a"});
    m_usb.PushEvent({true, platform::UsbInterfaceClass::kVideo, 0x0C45, 0x636B, "/video/z"});
    for (int i = 0; i < 500 && M().AllRecords().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(M().AllRecords().size(), 1u);  // the second vendor sends no arrivals
    M().RunPass();
    EXPECT_EQ(TakeEvents().size(), 1u);
}

TEST_F(Manager, DeviceInfoQueries) {
    NsDeviceInfo info;
    EXPECT_EQ(M().GetDeviceInfo(nullptr, 0), -12);
    EXPECT_EQ(M().GetDeviceInfoList(nullptr, 1), -12);
    EXPECT_EQ(M().GetDeviceInfo(&info, 0), -15);
    Announce("SN1", 0);
    Announce("SN2", 0);
    Announce("SN3", 0);
    M().RunPass();
    M().RunPass();
    M().RunPass();
    EXPECT_EQ(M().GetCameraCount(), 3u);
    NsDeviceInfo list[3];
    memset(list, 0xEE, sizeof list);
    EXPECT_EQ(M().GetDeviceInfoList(list, 1), 0);
    EXPECT_STREQ(list[0].uri, "TK5P:SN1");
    EXPECT_EQ(+list[1].SessionCount, 0xEEEEEEEEu);  // exactly one record written
    EXPECT_EQ(M().GetDeviceInfo(&info, 2), 0);
    EXPECT_STREQ(info.uri, "TK5P:SN3");
    EXPECT_EQ(M().GetDeviceInfo(&info, 3), -15);
}

TEST_F(Manager, NetworkCameraRecordFromItsAnnouncement) {
    M().SetHotPlugCallback(RecordPlain);
    test::AnnouncementBytes a;
    a.Set(2, 1, "127.0.0.2", 1, "QX-4A-0001", 0, "127.0.0.1", "");
    M().Discovery().HandleDatagram(a.data.data(), a.data.size());
    EXPECT_TRUE(M().RunPass());
    const auto events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].uri, "TK4A:QX-4A-0001");
    const NsDeviceInfo r = Record("TK4A:QX-4A-0001");
    EXPECT_STREQ(r.alias, "QX-4A-0001");  // no alias announced: the serial number
    EXPECT_EQ(+r.SessionCount, 2u);
    EXPECT_EQ(+r.status, static_cast<uint32_t>(Connected));
}

TEST_F(Manager, TwoCamerasWithOneSerialAtTwoAddressesShareOneRecord) {
    Announce("SAME", 0, "127.0.0.2");
    Announce("SAME", 0, "127.0.0.3");
    EXPECT_EQ(M().Discovery().EntryCount(), 2u);
    M().RunPass();
    M().RunPass();
    EXPECT_EQ(M().AllRecords().size(), 1u);
}

TEST_F(Manager, AnnouncementsOfUnknownKindOrShortLengthAreSkipped) {
    log::Capture capture;
    test::AnnouncementBytes a;
    a.Set(1, 1, "127.0.0.2", 3, "SN", 0);
    M().Discovery().HandleDatagram(a.data.data(), a.data.size());
    EXPECT_TRUE(capture.Contains("error header:0xaa"));
    a.Set(1, 1, "127.0.0.2", 1, "SN", 0);
    M().Discovery().HandleDatagram(a.data.data(), 88);
    EXPECT_EQ(M().Discovery().EntryCount(), 0u);
    M().Discovery().HandleDatagram(a.data.data(), 89);
    EXPECT_EQ(M().Discovery().EntryCount(), 1u);
}

TEST_F(Manager, StateThreeMeansUpgradeModeAndTheWorkerGetsTheCamera) {
    Announce("SN1", 0);
    M().RunPass();
    Announce("SN1", 3);
    M().SetUpgradeFlag(TransferKind::kFirmware);
    M().RunPass();
    EXPECT_EQ(+Record("TK5P:SN1").status, static_cast<uint32_t>(UpgradeMode));
    M().RunPass();
    EXPECT_EQ(Upgrade::Instance().GetSessionInfo().linkType, static_cast<uint32_t>(kLinkNetwork));
    EXPECT_FALSE(Upgrade::Instance().DeviceFound());
}

TEST_F(Manager, NeverOpenedCameraGoingAwayIsReportedRemovedOnce) {
    M().SetHotPlugCallback(RecordPlain);
    Announce("SN1", 0);
    M().RunPass();
    TakeEvents();
    Announce("SN1", 2);
    M().RunPass();
    auto events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event, NsHotPlugRemoved);
    Announce("SN1", 2);
    M().RunPass();
    M().RunPass();
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_EQ(M().GetCameraCount(), 0u);

    Announce("SN1", 0);  // back again
    M().RunPass();
    M().RunPass();
    events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event, NsHotPlugAdded);
}

TEST_F(Manager, SilentOpenedCamerasAreRemovedAfterTheirThirdFailedPollInSeparatePasses) {
    M().SetHotPlugCallback(RecordPlain);
    Announce("SN1", 0, "127.0.0.2");
    Announce("SN2", 0, "127.0.0.3");
    M().RunPass();
    M().RunPass();
    TakeEvents();
    ASSERT_NE(M().OpenDevice("TK5P:SN1"), nullptr);
    ASSERT_NE(M().OpenDevice("TK5P:SN2"), nullptr);
    m_script.serialAnswers = false;
    for (int pass = 0; pass < 3; ++pass) {
        EXPECT_FALSE(M().RunPass());  // polls fail, nothing reported yet
    }
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_TRUE(M().RunPass());
    auto events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].uri, "TK5P:SN1");
    EXPECT_TRUE(M().RunPass());
    events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].uri, "TK5P:SN2");
    EXPECT_EQ(+Record("TK5P:SN1").status, static_cast<uint32_t>(Unconnected));
}

TEST_F(Manager, ReleasedNetworkCameraIsUnconnectedUntilHeardAgain) {
    Announce("SN1", 0);
    M().RunPass();
    const std::shared_ptr<BaseDevice> device = M().OpenDevice("TK5P:SN1");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(+Record("TK5P:SN1").status, static_cast<uint32_t>(Opened));
    M().ReleaseDevice(device.get());
    EXPECT_EQ(+Record("TK5P:SN1").status, static_cast<uint32_t>(Unconnected));
    NsDeviceInfo info{};
    EXPECT_EQ(M().GetDeviceInfo(&info, 0), -15);  // held in the list, but not reported
    Announce("SN1", 0);
    M().RunPass();
    EXPECT_EQ(+Record("TK5P:SN1").status, static_cast<uint32_t>(Connected));
    EXPECT_EQ(M().GetDeviceInfo(&info, 0), 0);
    EXPECT_STREQ(info.uri, "TK5P:SN1");
}

TEST_F(Manager, FailedOpenKeepsTheCameraClosed) {
    Announce("SN1", 0);
    M().RunPass();
    m_script.openResult = -13;
    log::Capture capture;
    EXPECT_EQ(M().OpenDevice("TK5P:SN1"), nullptr);
    EXPECT_TRUE(capture.Contains("open failed delete"));
    EXPECT_EQ(M().OpenDevice("nothing"), nullptr);
    EXPECT_TRUE(capture.Contains("uri:nothing open failed."));
    EXPECT_EQ(+Record("TK5P:SN1").status, static_cast<uint32_t>(Connected));
}

TEST_F(Manager, CountingLeavesAnOpenedUsbCameraAlone) {
    PlugIn("/video/a", "A1", "box-a");
    M().RunPass();
    const std::shared_ptr<BaseDevice> device = M().OpenDevice("/video/a");
    ASSERT_NE(device, nullptr);
    // An alias read would open (and close) channels of the streaming camera.
    const int made = m_protocolsMade.load();
    EXPECT_EQ(M().GetCameraCount(), 1u);
    EXPECT_EQ(M().GetCameraCount(), 1u);
    EXPECT_EQ(m_protocolsMade.load(), made);
    M().ReleaseDevice(device.get());
}

TEST_F(Manager, EveryUsbModelVanishesWhenUnplugged) {
    m_usb.AddCamera("/video/z", "", "box-z", 0x0C45, 0x636B);        // 444
    m_usb.AddCamera("/video/y", "/hid/y", "box-y", 0x0C45, 0x1505);  // TK2B
    M().GetCameraCount();
    M().RunPass();
    M().RunPass();
    EXPECT_EQ(M().GetCameraCount(), 2u);
    m_usb.RemoveInterface("/video/z");
    m_usb.RemoveInterface("/video/y");
    EXPECT_EQ(M().GetCameraCount(), 0u);
    EXPECT_EQ(+Record("/video/z").status, static_cast<uint32_t>(Unconnected));
    EXPECT_EQ(+Record("/video/y").status, static_cast<uint32_t>(Unconnected));
}

TEST_F(Manager, OpenedSecondVendorCameraUnpluggedIsReportedRemoved) {
    M().SetHotPlugCallback(RecordPlain);
    m_usb.AddCamera("/video/z", "", "box-z", 0x0C45, 0x636B);
    M().GetCameraCount();
    M().RunPass();
    EXPECT_EQ(M().GetCameraCount(), 1u);
    const std::shared_ptr<BaseDevice> device = M().OpenDevice("/video/z");
    ASSERT_NE(device, nullptr);
    TakeEvents();
    m_usb.RemoveInterface("/video/z");
    m_usb.PushEvent({false, platform::UsbInterfaceClass::kVideo, 0x0C45, 0x636B, "/video/z"});
    ASSERT_TRUE(test::WaitFor([&] { return Record("/video/z").status == Unconnected; },
                              std::chrono::seconds(30)));
    M().RunPass();
    const auto events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event, NsHotPlugRemoved);
    M().ReleaseDevice(device.get());
}

TEST_F(Manager, PathsMatchWhole) {
    PlugIn("/dev/video10", "A10", "box-10");
    PlugIn("/dev/video1", "A1", "box-1");
    M().RunPass();
    M().RunPass();
    ASSERT_EQ(M().AllRecords().size(), 2u);
    EXPECT_EQ(M().GetCameraCount(), 2u);
    Unplug("/dev/video1");
    EXPECT_EQ(+Record("/dev/video1").status, static_cast<uint32_t>(Unconnected));
    EXPECT_EQ(+Record("/dev/video10").status, static_cast<uint32_t>(Connected));
    EXPECT_EQ(M().GetCameraCount(), 1u);
}

// The manager over the Linux platform: enumeration from a built sysfs tree and hot-plug
// through the DeviceDetect thread from fed udev events.
class ManagerOnLinux : public Manager {
protected:
    void SetUp() override {
        Manager::SetUp();
        auto events = std::make_unique<platform::FakeDeviceEventSource>();
        m_events = events.get();
        m_linux = std::make_unique<platform::LinuxUsbPlatform>(m_dir.Path(), std::move(events));
        platform::SetUsbPlatformForTesting(m_linux.get());
    }

    // A TK3A at `port` with video node `video` and a hidraw node; returns its URI.
    std::string Plug(const std::string& port, const std::string& video, int minor,
                     const std::string& hid, const std::string& alias) {
        m_tree.Device(port, 0xF5E2, 0x0101);
        m_tree.Video(port, video, minor);
        m_tree.Hidraw(port, hid, 0xF5E2, 0x0101);
        const std::string uri =
            platform::UsbInterfacePath(m_tree.Node(video), port, 0xF5E2, 0x0101);
        m_script.usb.Set(uri, test::CameraText::kAlias, alias);
        m_events->Push(test::UdevEvent("add", "hidraw", hid, m_tree.DevPath("hidraw", hid)));
        m_events->Push(test::UdevEvent("add", "video4linux", video,
                                       m_tree.DevPath("video4linux", video), 0xF5E2, 0x0101));
        return uri;
    }
    void Pull(const std::string& port, const std::string& video, const std::string& hid) {
        const std::string videoDev = m_tree.DevPath("video4linux", video);
        const std::string hidDev = m_tree.DevPath("hidraw", hid);
        m_tree.Unplug(port, {video.c_str(), hid.c_str()});
        m_events->Push(test::UdevEvent("remove", "hidraw", hid, hidDev));
        m_events->Push(test::UdevEvent("remove", "video4linux", video, videoDev, 0xF5E2, 0x0101));
    }
    bool WaitForStatus(const std::string& uri, uint32_t status) {
        return test::WaitFor(
            [&] {
                for (const NsDeviceInfo& r : M().AllRecords()) {
                    if (uri == r.uri && r.status == status) {
                        return true;
                    }
                }
                return false;
            },
            std::chrono::seconds(30));
    }

    test::TempDir m_dir;
    test::SysfsTree m_tree{m_dir.Path()};
    platform::FakeDeviceEventSource* m_events = nullptr;
    std::unique_ptr<platform::LinuxUsbPlatform> m_linux;
};

TEST_F(ManagerOnLinux, EnumeratedCameraIsListedWithItsHidInterface) {
    m_tree.Device("1-1", 0xF5E2, 0x0101);
    m_tree.Video("1-1", "video0", 0);
    m_tree.Video("1-1", "video1", 1, ":", 0, 1);
    m_tree.Hidraw("1-1", "hidraw0", 0xF5E2, 0x0101);
    m_tree.Device("1-2", 0xF5E2, 0x0999);  // not a camera
    m_tree.Video("1-2", "video2", 2);
    const std::string uri =
        platform::UsbInterfacePath(m_tree.Node("video0"), "1-1", 0xF5E2, 0x0101);
    m_script.usb.Set(uri, test::CameraText::kAlias, "A1");
    M().RunPass();
    EXPECT_EQ(M().GetCameraCount(), 1u);
    const NsDeviceInfo r = Record(uri);
    EXPECT_EQ(+r.status, static_cast<uint32_t>(Connected));
    EXPECT_STREQ(r.alias, "A1");
}

TEST_F(ManagerOnLinux, ArrivalRemovalAndReturnUnderANewPathThroughTheMonitor) {
    M().SetHotPlugCallback(RecordPlain);
    const std::string first = Plug("1-1", "video0", 0, "hidraw0", "A1");
    ASSERT_TRUE(
        test::WaitFor([&] { return M().AllRecords().size() == 1; }, std::chrono::seconds(30)));
    M().RunPass();
    EXPECT_EQ(+Record(first).status, static_cast<uint32_t>(Connected));
    EXPECT_EQ(TakeEvents().size(), 1u);

    Pull("1-1", "video0", "hidraw0");
    ASSERT_TRUE(WaitForStatus(first, Unconnected));
    M().RunPass();
    EXPECT_EQ(M().GetCameraCount(), 0u);

    // Plugged into another port it has another node and path, and the same alias.
    const std::string second = Plug("1-2", "video2", 2, "hidraw1", "A1");
    ASSERT_NE(second, first);
    ASSERT_TRUE(test::WaitFor(
        [&] {
            for (const NsDeviceInfo& r : M().AllRecords()) {
                if (second == r.uri) {
                    return true;
                }
            }
            return false;
        },
        std::chrono::seconds(30)));
    M().RunPass();
    const auto events = TakeEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().event, NsHotPlugAdded);
    EXPECT_EQ(events.back().uri, second);
    EXPECT_EQ(M().GetCameraCount(), 1u);
    EXPECT_EQ(+Record(second).status, static_cast<uint32_t>(Connected));
    EXPECT_STREQ(Record(second).alias, "A1");
}

}  // namespace
}  // namespace quorix
