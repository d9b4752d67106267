// A network camera's firmware upgrade and JSON transfer from the C interface to the
// simulated camera and back: the exact callback sequences, the camera coming back with
// its new firmware, a camera that dies or never fetches its file (time-outs, nothing
// hangs), refusals that leave the camera untouched, and the upgrade flag going back to 0
// however a transfer ends.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "device/DeviceManager.h"
#include "log/Log.h"
#include "quorix/quorix_api.h"
#include "sim/SimCamera.h"
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

class UpgradeSim : public ::testing::Test {
protected:
    void SetUp() override {
        test::ClearTransfers();
        log::SetDataHomeForTesting(m_home.Path());
        ASSERT_EQ(Ns2_Initialize(), NsStatusOk);
    }
    void TearDown() override {
        if (m_handle != nullptr) {
            Ns2_CloseDevice(&m_handle);
        }
        EXPECT_EQ(Ns2_Shutdown(), NsStatusOk);
        m_camera.reset();
        log::SetDataHomeForTesting("");
    }

    // A camera of `type` at 127.0.102.2 that fetches files from m_share (or from nowhere).
    sim::SimCamera& Camera(uint32_t type = 561, bool share = true) {
        sim::SimConfig config;
        config.address = "127.0.102.2";
        config.deviceType = type;
        config.serial = "QXUPG1";
        config.transferFolder = share ? m_share.Path() : "";
        m_camera = std::make_unique<sim::SimCamera>(config);
        EXPECT_EQ(m_camera->Start(), 0);
        return *m_camera;
    }
    NsDeviceHandle Open(const std::string& uri = "TK5P:QXUPG1") {
        EXPECT_TRUE(WaitFor([&] { return test::IsListed(uri); }, 10s)) << uri;
        NsDeviceHandle h = nullptr;
        EXPECT_EQ(Ns2_OpenDevice(uri.c_str(), &h), NsStatusOk);
        return h;
    }
    std::string Image(const test::ImageRecipe& recipe = {}) {
        return test::WriteImage(m_share / "TK5P_fw.img", test::MakeImage(recipe));
    }
    TransferKind Flag() { return DeviceManager::Instance().UpgradeFlag(); }
    bool Ended(TransferWorker& worker) {
        return WaitFor([&] { return !worker.Busy(); }, 60s) && Flag() == TransferKind::kNone;
    }

    test::TempDir m_home;
    test::TempDir m_share;
    std::unique_ptr<sim::SimCamera> m_camera;
    NsDeviceHandle m_handle = nullptr;
};

TEST_F(UpgradeSim, UpgradeRunsToTheEndAndTheCameraComesBackWithTheNewFirmware) {
    sim::SimCamera& camera = Camera();
    m_handle = Open();
    const std::string path = Image({.year = 2024, .month = 3, .day = 1, .build = 46});
    EXPECT_EQ(Ns2_SetUpgradeStatusCallback(m_handle, 0, test::RecordTransfer), NsStatusOk);
    ASSERT_EQ(Ns2_StartUpgradeFirmWare(m_handle, 0, path.c_str()), NsStatusOk);
    EXPECT_EQ(Flag(), TransferKind::kFirmware);
    EXPECT_EQ(camera.State().upgradeFile, "TK5P_fw.img");
    Ns2_CloseDevice(&m_handle);  // the camera's connections belong to the upgrader now

    ASSERT_TRUE(WaitFor(
        [] {
            return test::ReceivedTransfer({8, 1});
        },
        60s))
        << RecordedTransfers().size();
    EXPECT_EQ(RecordedTransfers(), test::SimulatedUpgradeCalls());
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    EXPECT_TRUE(WaitFor([&] { return camera.State().reboots >= 1; }, 10s));
    EXPECT_EQ(camera.State().reboots, 1u);
    EXPECT_EQ(camera.State().firmwareVersion, "20240301_V46");

    // Back in the list and opened as usual, with the new version.
    ASSERT_TRUE(WaitFor(
        [&] {
            for (const NsDeviceInfo& d : test::Listed()) {
                if (std::string(d.uri) == "TK5P:QXUPG1" && d.status == Connected) {
                    return true;
                }
            }
            return false;
        },
        20s));
    m_handle = Open();
    char version[64] = {};
    EXPECT_EQ(Ns2_GetFirmwareVersionNumber(m_handle, 0, version, sizeof version), NsStatusOk);
    EXPECT_STREQ(version, "20240301_V46");
}

TEST_F(UpgradeSim, RefusalsLeaveTheCameraOutOfUpgradeModeAndTheFlagDown) {
    sim::SimCamera& camera = Camera();
    m_handle = Open();
    // No status callback yet.
    EXPECT_EQ(Ns2_StartUpgradeFirmWare(m_handle, 0, Image().c_str()), NsStatusUpgradeUnsupported);
    EXPECT_EQ(Ns2_SetUpgradeStatusCallback(m_handle, 0, nullptr), NsStatusNullPointer);
    EXPECT_EQ(Ns2_SetUpgradeStatusCallback(m_handle, 0, test::RecordTransfer), NsStatusOk);
    EXPECT_EQ(Ns2_StartUpgradeFirmWare(m_handle, 0, Image({.build = 44}).c_str()),
              NsStatusUpgradeNotReady);
    EXPECT_EQ(Ns2_StartUpgradeFirmWare(m_handle, 0, Image({.sizeField = 1}).c_str()),
              NsStatusUpgradeRejected);
    EXPECT_EQ(Ns2_StartUpgradeFirmWare(m_handle, 0, nullptr), NsStatusNullPointer);
    const std::string tooLong(261, 'a');
    EXPECT_EQ(Ns2_StartUpgradeFirmWare(nullptr, 0, tooLong.c_str()), NsStatusPathTooLong);
    camera.UpdateState([](sim::SimState& s) { s.upgradeSupported = false; });
    EXPECT_EQ(Ns2_StartUpgradeFirmWare(m_handle, 0, Image().c_str()), NsStatusUpgradeNotReady);

    EXPECT_EQ(camera.State().upgradeFile, "");
    EXPECT_EQ(camera.State().announce.cameraState, 0);
    EXPECT_EQ(Flag(), TransferKind::kNone);
    EXPECT_TRUE(RecordedTransfers().empty());
}

TEST_F(UpgradeSim, ATk4aIsRefusedUpFrontInsteadOfBeingStrandedInUpgradeMode) {
    sim::SimCamera& camera = Camera(440);
    m_handle = Open("TK4A:QXUPG1");
    EXPECT_EQ(Ns2_SetUpgradeStatusCallback(m_handle, 0, test::RecordTransfer), NsStatusOk);
    EXPECT_EQ(Ns2_StartUpgradeFirmWare(m_handle, 0, Image({.modelCode = 1}).c_str()),
              NsStatusUpgradeUnsupported);
    EXPECT_EQ(camera.State().upgradeFile, "");
    EXPECT_EQ(Flag(), TransferKind::kNone);
}

TEST_F(UpgradeSim, ACameraThatDiesWhileFlashingTimesOutAndTheFlagGoesDown) {
    Camera();
    Upgrade::Instance().SetTimingForTesting(100ms, 20);
    m_handle = Open();
    EXPECT_EQ(Ns2_SetUpgradeStatusCallback(m_handle, 0, test::RecordTransfer), NsStatusOk);
    ASSERT_EQ(Ns2_StartUpgradeFirmWare(m_handle, 0, Image().c_str()), NsStatusOk);
    ASSERT_TRUE(WaitFor([] { return test::ReceivedTransfer({5, 40}); }, 60s));
    m_camera->Stop();
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    const Calls calls = RecordedTransfers();
    EXPECT_EQ(calls.back(), (std::pair<int32_t, int32_t>{5, -1}));  // flashing (3) + 2
}

TEST_F(UpgradeSim, ACameraThatNeverGetsItsImageTimesOut) {
    sim::SimCamera& camera = Camera(561, false);
    Upgrade::Instance().SetTimingForTesting(100ms, 20);
    m_handle = Open();
    EXPECT_EQ(Ns2_SetUpgradeStatusCallback(m_handle, 0, test::RecordTransfer), NsStatusOk);
    ASSERT_EQ(Ns2_StartUpgradeFirmWare(m_handle, 0, Image().c_str()), NsStatusOk);
    ASSERT_TRUE(Ended(Upgrade::Instance()));
    EXPECT_EQ(RecordedTransfers(), (Calls{{2, -1}}));
    // The reboot is the worker's last command; the camera takes it on its own thread.
    EXPECT_TRUE(WaitFor([&] { return camera.State().reboots >= 1; }, 10s));
    EXPECT_EQ(camera.State().reboots, 1u);  // not left in upgrade mode
    EXPECT_EQ(camera.State().firmwareVersion, "20240115_V45");
}

TEST_F(UpgradeSim, JsonTransferDeliversTheFileByTheSizeGivenAndReportsEveryStage) {
    sim::SimCamera& camera = Camera();
    m_handle = Open();
    const std::string content = "{\"DepthRange\": 2}";
    test::WriteFile(m_share / "config.json", content);

    const NsUpgradeStatusCallback callback = test::RecordTransfer;
    ASSERT_EQ(
        Ns2_SetProperty(m_handle, 0, NS_PROPERTY_JSON_CONFIG_MODE, &callback, sizeof callback),
        NsStatusOk);
    EXPECT_EQ(Flag(), TransferKind::kJson);
    ASSERT_TRUE(WaitFor([] { return test::ReceivedTransfer({1, 0}); }, 30s));

    // The path is read only as far as the size says: no terminator needed.
    std::string path = m_share / "config.json";
    const uint32_t length = static_cast<uint32_t>(path.size());
    path += "XYZ";
    ASSERT_EQ(Ns2_SetProperty(m_handle, 0, NS_PROPERTY_JSON_TRANSFER, path.data(), length),
              NsStatusOk);
    ASSERT_TRUE(WaitFor([] { return test::ReceivedTransfer({6, 1}); }, 30s));
    EXPECT_EQ(RecordedTransfers(), (Calls{{1, 0}, {4, 1}, {5, 50}, {5, 100}, {6, 1}}));
    EXPECT_EQ(camera.State().jsonFile, "config.json");
    EXPECT_EQ(camera.State().jsonConfig, content);
    ASSERT_TRUE(Ended(JsonCtl::Instance()));
    EXPECT_TRUE(WaitFor([&] { return camera.State().reboots >= 1; }, 10s));
    EXPECT_EQ(camera.State().reboots, 1u);
}

}  // namespace
}  // namespace quorix
