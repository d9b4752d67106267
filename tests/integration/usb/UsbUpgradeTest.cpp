// A USB camera's firmware upgrade and JSON transfer from the C interface to the simulated
// USB camera and back: the camera restarts as its upgrade-mode device with a drive, takes
// the file from that drive only, and comes back as the camera; a drive that never comes
// up and a camera that never comes back end in a time-out with the flag down.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "device/DeviceManager.h"
#include "log/Log.h"
#include "quorix/quorix_api.h"
#include "sim/SimUsbCamera.h"
#include "support/DeviceList.h"
#include "support/FirmwareFiles.h"
#include "support/TempDir.h"
#include "support/TransferCalls.h"
#include "support/Wait.h"
#include "upgrade/TransferWorkers.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;
using Calls = test::TransferCalls;
using test::RecordedTransfers;
using test::WaitFor;

constexpr uint32_t kTk5u = 560;

class UsbUpgrade : public ::testing::Test {
protected:
    void SetUp() override {
        test::ClearTransfers();
        log::SetDataHomeForTesting(m_home.Path());
    }
    void TearDown() override {
        if (m_handle != nullptr) {
            Ns2_CloseDevice(&m_handle);
        }
        EXPECT_EQ(Ns2_Shutdown(), NsStatusOk);
        m_camera.reset();
        log::SetDataHomeForTesting("");
    }

    // A TK5U on the bus, the library started, the camera opened.
    void Start(sim::SimUsbConfig::Transfer transfer = sim::SimUsbConfig::Transfer::kFull) {
        sim::SimUsbConfig config;
        config.deviceType = kTk5u;
        config.transfer = transfer;
        // The user's stick comes up after the mode switch, before the camera's drive.
        config.beforeDrive = [this] {
            m_bus.Tree().Device("1-4", 0x0781, 0x5567);
            m_bus.Drives().Add(m_stick.Path(), m_bus.Tree().UsbDevicePath("1-4"));
        };
        m_camera = std::make_unique<sim::SimUsbCamera>(m_bus, config);
        m_camera->Plug();
        ASSERT_EQ(Ns2_Initialize(), NsStatusOk);
        m_uri = m_camera->VideoPath();
        ASSERT_TRUE(WaitFor([&] { return test::IsListed(m_uri); }, 20s)) << m_uri;
        ASSERT_EQ(Ns2_OpenDevice(m_uri.c_str(), &m_handle), NsStatusOk);
    }
    std::string Image(const test::ImageRecipe& recipe) {
        return test::WriteImage(m_local / "fw.img", test::MakeImage(recipe));
    }
    TransferKind Flag() { return DeviceManager::Instance().UpgradeFlag(); }
    bool Ended(TransferWorker& worker) {
        return WaitFor([&] { return !worker.Busy(); }, 60s) && Flag() == TransferKind::kNone;
    }
    // The camera listed and connected again, opened, with this firmware version.
    std::string VersionWhenBack() {
        if (!WaitFor([&] { return m_camera->Plugged() && test::IsListed(m_uri); }, 30s)) {
            return "not back";
        }
        NsDeviceHandle h = nullptr;
        if (!WaitFor([&] { return Ns2_OpenDevice(m_uri.c_str(), &h) == NsStatusOk; }, 30s)) {
            return "cannot be opened";
        }
        char version[64] = {};
        Ns2_GetFirmwareVersionNumber(h, 0, version, sizeof version);
        Ns2_CloseDevice(&h);
        return version;
    }
    std::string StickFiles() {
        std::string names;
        for (const auto& e : std::filesystem::recursive_directory_iterator(m_stick.Path())) {
            names += e.path().filename().string() + " ";
        }
        return names;
    }

    test::TempDir m_home;
    test::TempDir m_root;
    test::TempDir m_local;
    test::TempDir m_stick;
    sim::SimUsbBus m_bus{m_root.Path()};
    std::unique_ptr<sim::SimUsbCamera> m_camera;
    std::string m_uri;
    NsDeviceHandle m_handle = nullptr;
};

TEST_F(UsbUpgrade, TheImageGoesOntoTheCamerasDriveOnlyAndTheCameraComesBackUpgraded) {
    Start();
    const std::string path =
        Image({.year = 2024, .month = 3, .day = 1, .build = 46, .modelCode = 5});
    EXPECT_EQ(Ns2_SetUpgradeStatusCallback(m_handle, 0, test::RecordTransfer), NsStatusOk);
    ASSERT_EQ(Ns2_StartUpgradeFirmWare(m_handle, 0, path.c_str()), NsStatusOk);
    EXPECT_EQ(Flag(), TransferKind::kFirmware);
    Ns2_CloseDevice(&m_handle);

    ASSERT_TRUE(WaitFor(
        [] {
            return test::ReceivedTransfer({8, 1});
        },
        60s))
        << RecordedTransfers().size();
    EXPECT_EQ(RecordedTransfers(), test::SimulatedUpgradeCalls());
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    EXPECT_EQ(test::ReadFile(m_camera->DriveFolder() + "/Android/data/Firmware.img"),
              test::ReadFile(path));
    EXPECT_EQ(StickFiles(), "");  // the user's stick came up first and was never written
    EXPECT_EQ(VersionWhenBack(), "20240301_V46");
    EXPECT_EQ(m_camera->State().reboots, 1u);
}

TEST_F(UsbUpgrade, ADriveThatNeverComesUpTimesOutAndTheCameraRestartsUnchanged) {
    Start(sim::SimUsbConfig::Transfer::kNoDrive);
    Upgrade::Instance().SetTimingForTesting(20ms, 50);
    EXPECT_EQ(Ns2_SetUpgradeStatusCallback(m_handle, 0, test::RecordTransfer), NsStatusOk);
    ASSERT_EQ(Ns2_StartUpgradeFirmWare(m_handle, 0, Image({.modelCode = 5}).c_str()), NsStatusOk);
    Ns2_CloseDevice(&m_handle);
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    EXPECT_EQ(RecordedTransfers(), (Calls{{2, -1}}));
    // The worker had connected: its reboot takes the camera out of its upgrade mode.
    EXPECT_EQ(VersionWhenBack(), "20240115_V45");
}

TEST_F(UsbUpgrade, ACameraThatNeverComesBackTimesOutWithTheFlagDown) {
    Start(sim::SimUsbConfig::Transfer::kGone);
    Upgrade::Instance().SetTimingForTesting(20ms, 50);
    EXPECT_EQ(Ns2_SetUpgradeStatusCallback(m_handle, 0, test::RecordTransfer), NsStatusOk);
    ASSERT_EQ(Ns2_StartUpgradeFirmWare(m_handle, 0, Image({.modelCode = 5}).c_str()), NsStatusOk);
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    EXPECT_EQ(RecordedTransfers(), (Calls{{2, -1}}));
    EXPECT_FALSE(m_camera->Plugged());
    EXPECT_FALSE(m_camera->InTransferMode());
}

TEST_F(UsbUpgrade, RefusalsLeaveTheUsbCameraPluggedAndTheFlagDown) {
    Start();
    // No callback, then another model's image: decided before anything is sent.
    EXPECT_EQ(Ns2_StartUpgradeFirmWare(m_handle, 0, Image({.modelCode = 5}).c_str()),
              NsStatusUpgradeUnsupported);
    EXPECT_EQ(Ns2_SetUpgradeStatusCallback(m_handle, 0, test::RecordTransfer), NsStatusOk);
    EXPECT_EQ(Ns2_StartUpgradeFirmWare(m_handle, 0, Image({.modelCode = 4}).c_str()),
              NsStatusUpgradeNotReady);
    EXPECT_EQ(Flag(), TransferKind::kNone);
    EXPECT_FALSE(Upgrade::Instance().Busy());
    EXPECT_TRUE(m_camera->Plugged());
    EXPECT_FALSE(m_camera->InTransferMode());
}

TEST_F(UsbUpgrade, JsonIsFetchedToTheLocalFolderAndTheNewFileApplied) {
    Start();
    const NsUpgradeStatusCallback callback = test::RecordTransfer;
    ASSERT_EQ(
        Ns2_SetProperty(m_handle, 0, NS_PROPERTY_JSON_CONFIG_MODE, &callback, sizeof callback),
        NsStatusOk);
    EXPECT_EQ(Flag(), TransferKind::kJson);
    ASSERT_TRUE(WaitFor([] { return test::ReceivedTransfer({1, 0}); }, 30s));
    EXPECT_EQ(test::ReadFile(JsonCtl::LocalFolder() + "/config.json"), "{\"range\": 1}");

    const std::string content = "{\"range\": 3}";
    test::WriteFile(m_local / "new.json", content);
    const std::string path = m_local / "new.json";
    ASSERT_EQ(Ns2_SetProperty(m_handle, 0, NS_PROPERTY_JSON_TRANSFER, path.data(),
                              static_cast<uint32_t>(path.size())),
              NsStatusOk);
    ASSERT_TRUE(WaitFor([] { return test::ReceivedTransfer({6, 1}); }, 30s));
    EXPECT_EQ(RecordedTransfers(), (Calls{{1, 0}, {4, 1}, {5, 50}, {5, 100}, {6, 1}}));
    ASSERT_TRUE(Ended(JsonCtl::Instance()));
    EXPECT_EQ(StickFiles(), "");
    ASSERT_TRUE(WaitFor([&] { return m_camera->Plugged(); }, 30s));
    EXPECT_EQ(m_camera->State().jsonConfig, content);
}

}  // namespace
}  // namespace quorix
