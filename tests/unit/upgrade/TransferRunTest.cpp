// The workers' state machines against a scripted camera: the exact callback sequences of a
// firmware upgrade and a JSON transfer, every failure's callback, the time-outs, and that
// every end, however reached, reboots a camera it connected to and runs the end hook.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <mutex>
#include <utility>
#include <vector>

#include "log/Log.h"
#include "platform/fake/FakeDrives.h"
#include "platform/fake/FakeUsbPlatform.h"
#include "session/ProtocolFactory.h"
#include "support/FirmwareFiles.h"
#include "support/TempDir.h"
#include "support/TransferCalls.h"
#include "support/TransferCamera.h"
#include "support/Wait.h"
#include "upgrade/DriveCopy.h"
#include "upgrade/FirmwareImage.h"
#include "upgrade/TransferWorkers.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;
using Calls = test::TransferCalls;
using test::RecordedTransfers;
using States = std::deque<TransferState>;

SessionInfo Network(uint32_t deviceType) {
    SessionInfo info;
    info.linkType = kLinkNetwork;
    info.deviceType = deviceType;
    info.net.ip[0] = 127;
    return info;
}

class TransferRun : public ::testing::Test {
protected:
    void SetUp() override {
        test::ClearTransfers();
        SetProtocolFactoryForTesting([this](const SessionInfo&) {
            return std::make_unique<test::TransferCamera>(m_camera);
        });
    }
    void TearDown() override {
        Upgrade::Destroy();
        JsonCtl::Destroy();
        SetProtocolFactoryForTesting({});
    }

    // Starts `worker` on a TK5P with a short poll; `waits` polls without progress end it.
    void Start(TransferWorker& worker, uint32_t waits) {
        worker.SetTimingForTesting(2ms, waits);
        worker.SetCallback(test::RecordTransfer);
        worker.SetSessionInfo(Network(561));
        worker.SetEndHook([this] { ++m_ends; });
        worker.SetStatus(1);
    }
    void StartUpgrade(States states, uint32_t waits = 400) {
        m_camera.upgradeStates = std::move(states);
        Upgrade::Instance().SetImage("/images/fw.img", 4096, 1234);
        Start(Upgrade::Instance(), waits);
    }
    ::testing::AssertionResult Ended(TransferWorker& worker) {
        if (!test::WaitFor([&] { return !worker.Busy(); }, 20s)) {
            return ::testing::AssertionFailure() << "still busy at status " << worker.Status();
        }
        if (worker.Status() != 0 || m_ends.load() != 1) {
            return ::testing::AssertionFailure()
                   << "status " << worker.Status() << ", " << m_ends.load() << " ends";
        }
        return ::testing::AssertionSuccess();
    }
    std::vector<std::string> SentOf(const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& s : m_camera.Sent()) {
            if (s.compare(0, prefix.size(), prefix) == 0) {
                out.push_back(s);
            }
        }
        return out;
    }

    test::TransferScript m_camera;
    std::atomic<int> m_ends{0};
};

TEST_F(TransferRun, UpgradeReportsEveryStageWithTheExtraHundredPercentAndRebootsAtTheEnd) {
    StartUpgrade({{0, 0}, {0, 1}, {2, 1}, {3, 40}, {4, 1}, {5, 1}, {6, 1}});
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    EXPECT_EQ(RecordedTransfers(), (Calls{{4, 1}, {5, 40}, {5, 100}, {6, 1}, {7, 1}, {8, 1}}));
    EXPECT_EQ(m_camera.Sent(),
              (std::vector<std::string>{"OpenDevice", "SetUpgradeState 2 1234 4096",
                                        "SetUpgradeState 3 0 0", "RebootCamera", "CloseDevice"}));
}

TEST_F(TransferRun, NoExtraHundredWhenTheCameraReportedItAndRepeatedStatesAreNotReported) {
    StartUpgrade({{0, 1}, {2, 1}, {3, 50}, {3, 50}, {3, 100}, {4, 1}, {5, 1}, {6, 1}});
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    EXPECT_EQ(RecordedTransfers(), (Calls{{4, 1}, {5, 50}, {5, 100}, {6, 1}, {7, 1}, {8, 1}}));
}

TEST_F(TransferRun, EachFailingStageEndsWithItsCallbackAndAReboot) {
    struct Case {
        States states;
        Calls calls;
    };
    const Case cases[] = {
        {{{0, 1}, {2, 0}}, {{4, -1}}},                                  // checksum refused
        {{{0, 1}, {2, 1}, {4, 1}, {5, 0}}, {{4, 1}, {6, 1}, {7, -1}}},  // stage 5 failed
        {{{0, 1}, {2, 1}, {4, 1}, {5, 1}, {6, 2}}, {{4, 1}, {6, 1}, {7, 1}, {8, 2}}},  // NG
        {{{0, 1}, {9, 1}}, {{11, -1}}},  // a state with no meaning
    };
    for (const Case& c : cases) {
        SetUp();
        m_ends = 0;
        m_camera.sent.clear();
        StartUpgrade(c.states);
        ASSERT_TRUE(Ended(Upgrade::Instance()));
        EXPECT_EQ(RecordedTransfers(), c.calls);
        EXPECT_EQ(SentOf("RebootCamera").size(), 1u);
    }
}

TEST_F(TransferRun, ACameraThatStopsAnsweringOrStallsTimesOutWithTheStageItReached) {
    // Flashing stalls at 40 %: the stage (3) + 2 is reported failed.
    StartUpgrade({{0, 1}, {2, 1}, {3, 40}}, 30);
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    EXPECT_EQ(RecordedTransfers(), (Calls{{4, 1}, {5, 40}, {5, -1}}));
    EXPECT_EQ(SentOf("RebootCamera").size(), 1u);

    // A camera that never fetches its image: the connection stage is reported failed.
    SetUp();
    m_ends = 0;
    StartUpgrade({{0, 0}}, 30);
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    EXPECT_EQ(RecordedTransfers(), (Calls{{2, -1}}));

    // Silent from the start (the camera died).
    SetUp();
    m_ends = 0;
    m_camera.silent = true;
    StartUpgrade({}, 30);
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    EXPECT_EQ(RecordedTransfers(), (Calls{{2, -1}}));
}

TEST_F(TransferRun, AConnectionRefusedThreeTimesEndsWithoutAReboot) {
    m_camera.opensRefused = 3;
    StartUpgrade({{0, 1}});
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    EXPECT_EQ(RecordedTransfers(), (Calls{{2, -1}}));
    EXPECT_EQ(SentOf("OpenDevice").size(), 3u);
    EXPECT_TRUE(SentOf("RebootCamera").empty());

    // Two refusals are tried past.
    SetUp();
    m_ends = 0;
    m_camera.sent.clear();
    m_camera.opensRefused = 2;
    StartUpgrade({{0, 1}, {2, 1}, {4, 1}, {5, 1}, {6, 1}});
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    EXPECT_EQ(SentOf("OpenDevice").size(), 3u);
    EXPECT_EQ(RecordedTransfers().back(), (std::pair<int32_t, int32_t>{8, 1}));
}

TEST_F(TransferRun, ARefusedChecksumRecordEndsTheUpgrade) {
    m_camera.refuseWrites = true;
    StartUpgrade({{0, 1}});
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    EXPECT_EQ(RecordedTransfers(), (Calls{{4, -1}}));
}

TEST_F(TransferRun, AShutdownMidTransferRebootsTheCameraAndRunsTheEndHook) {
    StartUpgrade({{0, 1}, {2, 1}, {3, 40}}, 1000000);
    ASSERT_TRUE(test::WaitFor([&] { return RecordedTransfers().size() == 2; }, 20s));
    Upgrade::Destroy();
    EXPECT_EQ(m_ends.load(), 1);
    EXPECT_EQ(SentOf("RebootCamera").size(), 1u);
}

// --- USB: the image goes onto the camera's own drive ------------------------------------------

class UsbRun : public TransferRun {
protected:
    void SetUp() override {
        TransferRun::SetUp();
        platform::SetDrivePlatformForTesting(&m_drives);
        platform::SetUsbPlatformForTesting(&m_usb);
        m_usb.AddCamera("/dev/video9", "/dev/hidraw9", "/sys/devices/usb1/1-2", 0xF5E2, 0x0104);
        m_image = test::MakeImage({});
        test::WriteImage(m_local / "fw.img", m_image);
    }
    void TearDown() override {
        TransferRun::TearDown();
        platform::SetDrivePlatformForTesting(nullptr);
        platform::SetUsbPlatformForTesting(nullptr);
    }
    void StartUsb(uint32_t checksum, uint32_t waits = 2000) {
        Upgrade& u = Upgrade::Instance();
        m_camera.upgradeStates = {{2, 1}, {4, 1}, {5, 1}, {6, 1}};
        u.SetImage(m_local / "fw.img", static_cast<uint32_t>(m_image.size()), checksum);
        u.SetTimingForTesting(2ms, waits);
        u.SetCallback(test::RecordTransfer);
        SessionInfo info;
        info.linkType = kLinkUsb;
        info.deviceType = 560;  // TK5U
        u.SetSessionInfo(info);
        u.SetDevicePath("/dev/hidraw9");
        u.SetDeviceFound(true);
        u.SetEndHook([this] { ++m_ends; });
        u.SetStatus(1);
    }
    // A JSON transfer of a TK5U whose upgrade-mode device was found.
    void StartUsbJson() {
        JsonCtl& json = JsonCtl::Instance();
        json.SetTimingForTesting(2ms, 2000);
        json.SetCallback(test::RecordTransfer);
        SessionInfo info;
        info.linkType = kLinkUsb;
        info.deviceType = 560;
        json.SetSessionInfo(info);
        json.SetDevicePath("/dev/hidraw9");
        json.SetDeviceFound(true);
        json.SetEndHook([this] { ++m_ends; });
        json.SetStatus(1);
    }
    uint32_t Sum() const {
        return ByteSum(m_image.data() + kFirmwareHeaderBytes,
                       m_image.size() - kFirmwareHeaderBytes);
    }
    platform::FakeDrives m_drives;
    platform::FakeUsbPlatform m_usb;
    test::TempDir m_local;
    test::TempDir m_stick;  // the user's own drive
    test::TempDir m_camDrive;
    std::vector<uint8_t> m_image;
};

TEST_F(UsbRun, TheImageGoesOnlyToTheCamerasDriveAndTheUpgradeGoesOn) {
    m_drives.Add("/media/present-before", "/sys/devices/usb1/1-2");  // not new: never used
    StartUsb(Sum());
    m_drives.Add(m_stick.Path(), "/sys/devices/usb1/1-3");  // the user's stick comes up first
    ASSERT_TRUE(test::WaitFor([&] { return Upgrade::Instance().Status() == 2; }, 20s));
    m_drives.Add(m_camDrive.Path(), "/sys/devices/usb1/1-2");
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    EXPECT_EQ(RecordedTransfers().back(), (std::pair<int32_t, int32_t>{8, 1}));
    EXPECT_EQ(test::ReadFile(m_camDrive / "Android/data/Firmware.img"),
              std::string(m_image.begin(), m_image.end()));
    EXPECT_EQ(test::ReadFile(m_stick / "Android/data/Firmware.img"), "");  // never written
    EXPECT_EQ(SentOf("SetUpgradeState 2").size(), 1u);
}

TEST_F(UsbRun, ACopyThatDoesNotMatchTheHeaderIsDeletedAndEndsTheUpgrade) {
    StartUsb(Sum() + 1);
    m_drives.Add(m_camDrive.Path(), "/sys/devices/usb1/1-2");
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    EXPECT_EQ(RecordedTransfers(), (Calls{{2, -1}}));
    EXPECT_EQ(test::ReadFile(m_camDrive / "Android/data/Firmware.img"), "");
    EXPECT_TRUE(SentOf("SetUpgradeState").empty());
    EXPECT_EQ(SentOf("RebootCamera").size(), 1u);
}

TEST_F(UsbRun, ADriveThatNeverComesUpTimesOut) {
    StartUsb(Sum(), 30);
    m_drives.Add(m_stick.Path(), "/sys/devices/usb1/1-3");
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    EXPECT_EQ(RecordedTransfers(), (Calls{{2, -1}}));
    EXPECT_EQ(test::ReadFile(m_stick / "Android/data/Firmware.img"), "");
}

TEST_F(UsbRun, ADriveThatCannotBeToldApartIsRefused) {
    m_usb.RemoveInterface("/dev/hidraw9");  // the camera's USB device is unknown
    StartUsb(Sum());
    m_drives.Add(m_stick.Path(), "/sys/devices/usb1/1-3");
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    EXPECT_EQ(RecordedTransfers(), (Calls{{2, -1}}));
    EXPECT_EQ(test::ReadFile(m_stick / "Android/data/Firmware.img"), "");
}

// --- JSON -------------------------------------------------------------------------------------

class JsonRun : public TransferRun {
protected:
    void StartJson(States states, uint32_t waits = 2000) {
        m_camera.jsonStates = std::move(states);
        Start(JsonCtl::Instance(), waits);
    }
    test::TempDir m_dir;
};

TEST_F(JsonRun, TransferSendsTheNameWithBackslashesAndReportsEveryStage) {
    const std::string text = "{\"range\": 2}";
    test::WriteFile(m_dir / "config.json", text);
    StartJson({{0, 1}, {0, 1}, {1, 1}, {2, 1}, {3, 50}, {4, 1}});
    JsonCtl& json = JsonCtl::Instance();
    ASSERT_TRUE(test::WaitFor([&] { return json.Status() == 3; }, 20s));
    EXPECT_EQ(json.SetJsonPath(m_dir / "config.json"), 0);
    ASSERT_TRUE(Ended(json));
    EXPECT_EQ(RecordedTransfers(), (Calls{{1, 0}, {4, 1}, {5, 50}, {5, 100}, {6, 1}}));
    std::string name = m_dir / "config.json";
    std::replace(name.begin(), name.end(), '/', '\\');
    EXPECT_EQ(SentOf("SetJsonPath_P"), (std::vector<std::string>{"SetJsonPath_P " + name}));
    const uint32_t sum = ByteSum(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    EXPECT_EQ(SentOf("SetJsonState"),
              (std::vector<std::string>{
                  "SetJsonState 2 " + std::to_string(sum) + " " + std::to_string(text.size()),
                  "SetJsonState 3 0 0"}));
    EXPECT_EQ(SentOf("RebootCamera").size(), 1u);
}

TEST_F(JsonRun, AnEmptyOrMissingFileIsNotDeliveredAndEndsTheTransfer) {
    test::WriteFile(m_dir / "empty.json", "");
    for (const char* name : {"empty.json", "missing.json"}) {
        SetUp();
        m_ends = 0;
        m_camera.sent.clear();
        StartJson({{0, 1}});
        JsonCtl& json = JsonCtl::Instance();
        ASSERT_TRUE(test::WaitFor([&] { return json.Status() == 3; }, 20s));
        EXPECT_EQ(json.SetJsonPath(m_dir / name), 0);
        ASSERT_TRUE(Ended(json));
        EXPECT_EQ(RecordedTransfers(), (Calls{{1, 0}, {2, -1}})) << name;
        EXPECT_TRUE(SentOf("SetJsonPath_P").empty());
        EXPECT_TRUE(SentOf("SetJsonState").empty());
    }
}

TEST_F(JsonRun, ACameraNobodySendsAFileToIsRebootedOutOfItsMode) {
    StartJson({{0, 1}}, 30);
    ASSERT_TRUE(Ended(JsonCtl::Instance()));
    EXPECT_EQ(RecordedTransfers(), (Calls{{1, 0}, {2, -1}}));
    EXPECT_EQ(SentOf("RebootCamera").size(), 1u);
}

TEST_F(JsonRun, ARefusedFileEndsWithItsVerdict) {
    test::WriteFile(m_dir / "config.json", "{}");
    StartJson({{0, 1}, {0, 1}, {1, 1}, {2, 0}});
    JsonCtl& json = JsonCtl::Instance();
    ASSERT_TRUE(test::WaitFor([&] { return json.Status() == 3; }, 20s));
    EXPECT_EQ(json.SetJsonPath(m_dir / "config.json"), 0);
    ASSERT_TRUE(Ended(json));
    EXPECT_EQ(RecordedTransfers(), (Calls{{1, 0}, {4, -1}}));
}

// A USB camera's JSON transfer: its current file comes from its own drive into the local
// folder, the new file goes onto that drive only.
TEST_F(UsbRun, JsonIsFetchedFromAndSentToTheCamerasDriveOnly) {
    test::TempDir home;
    log::SetDataHomeForTesting(home.Path());
    std::filesystem::create_directories(m_camDrive / "Android/data");
    test::WriteFile(m_camDrive / "Android/data/configOrig.json", "{\"old\": 1}");
    test::WriteFile(m_local / "new.json", "{\"new\": 2}");
    JsonCtl& json = JsonCtl::Instance();
    m_camera.jsonStates = {{1, 1}, {2, 1}, {3, 50}, {4, 1}};
    StartUsbJson();
    m_drives.Add(m_stick.Path(), "/sys/devices/usb1/1-3");
    ASSERT_TRUE(test::WaitFor([&] { return json.Status() == 2; }, 20s));
    m_drives.Add(m_camDrive.Path(), "/sys/devices/usb1/1-2");
    ASSERT_TRUE(test::WaitFor([&] { return json.Status() == 3; }, 20s));
    EXPECT_EQ(test::ReadFile(JsonCtl::LocalFolder() + "/config.json"), "{\"old\": 1}");
    EXPECT_EQ(json.SetJsonPath(m_local / "new.json"), 0);
    ASSERT_TRUE(Ended(json));
    log::SetDataHomeForTesting("");
    EXPECT_EQ(RecordedTransfers(), (Calls{{1, 0}, {4, 1}, {5, 50}, {5, 100}, {6, 1}}));
    EXPECT_EQ(test::ReadFile(m_camDrive / "Android/data/config.json"), "{\"new\": 2}");
    EXPECT_EQ(test::ReadFile(m_stick / "Android/data/config.json"), "");
    const uint32_t sum = ByteSum(reinterpret_cast<const uint8_t*>("{\"new\": 2}"), 10);
    EXPECT_EQ(SentOf("SetJsonState 2"),
              (std::vector<std::string>{"SetJsonState 2 " + std::to_string(sum) + " 10"}));
    EXPECT_TRUE(SentOf("SetJsonPath_P").empty());
}

TEST_F(UsbRun, AJsonCameraWithoutItsCurrentFileEndsTheTransfer) {
    test::TempDir home;
    log::SetDataHomeForTesting(home.Path());
    JsonCtl& json = JsonCtl::Instance();
    StartUsbJson();
    m_drives.Add(m_camDrive.Path(), "/sys/devices/usb1/1-2");  // no configOrig.json on it
    ASSERT_TRUE(Ended(json));
    log::SetDataHomeForTesting("");
    EXPECT_EQ(RecordedTransfers(), (Calls{{1, -1}}));
    EXPECT_EQ(SentOf("RebootCamera").size(), 1u);
}

}  // namespace
}  // namespace quorix
