// The session's maintenance entry points: every refusal of the failure table, each decided
// before the camera is switched into a transfer mode (nothing but queries reaches it), and
// the switch followed by the hand-over to the worker when everything holds.
#include "upgrade/Maintenance.h"

#include <gtest/gtest.h>

#include "session/BaseSession.h"
#include "session/ProtocolFactory.h"
#include "support/FirmwareFiles.h"
#include "support/ModelSession.h"
#include "support/TempDir.h"
#include "support/TransferCamera.h"
#include "support/Wait.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;
using test::ImageRecipe;
using Sent = std::vector<std::string>;

void Ignore(int32_t, int32_t) {}

class Maintenance : public ::testing::Test {
protected:
    void SetUp() override {
        SetProtocolFactoryForTesting([this](const SessionInfo&) {
            return std::make_unique<test::TransferCamera>(m_camera);
        });
        Upgrade::Instance().SetTimingForTesting(2ms, 1000000);
        JsonCtl::Instance().SetTimingForTesting(2ms, 1000000);
    }
    void TearDown() override {
        Upgrade::Destroy();
        JsonCtl::Destroy();
        SetProtocolFactoryForTesting({});
    }
    std::unique_ptr<BaseSession> Session(uint32_t type = 561) {
        SessionInfo info = test::SessionInfoOf(type);
        info.net.ip[0] = 127;
        return std::make_unique<BaseSession>(info);
    }
    std::string Image(const ImageRecipe& recipe = {}) {
        return test::WriteImage(m_dir / "fw.img", test::MakeImage(recipe));
    }
    int32_t Start(const std::string& path, uint32_t type = 561) {
        return StartUpgradeFirmWare(*Session(type), path.c_str());
    }

    test::TransferScript m_camera;
    test::TempDir m_dir;
};

TEST_F(Maintenance, EveryUpgradeRefusalIsDecidedBeforeTheCameraIsSwitched) {
    SetUpgradeStatusCallback(Ignore);
    EXPECT_EQ(Start(m_dir / "missing.img"), kUpgradeFileProblem);
    EXPECT_EQ(Start(Image({.size = 511})), kUpgradeFileProblem);
    EXPECT_EQ(Start(Image({.sizeField = 100})), kUpgradeFileProblem);
    EXPECT_EQ(Start(Image({.build = 44})), kUpgradeRefused);
    EXPECT_EQ(Start(Image({.modelCode = 1})), kUpgradeRefused);
    EXPECT_EQ(Start(Image(), 210), kUpgradeRefused);  // a TK2A has no model code
    m_camera.upgradeSupported = 0;
    EXPECT_EQ(Start(Image()), kUpgradeRefused);
    m_camera.upgradeSupported = 1;
    // A TK4A would be switched into upgrade mode and never followed by the upgrader.
    EXPECT_EQ(Start(Image({.modelCode = 1}), 440), kUpgradeNotPossible);
    EXPECT_EQ(m_camera.Sent(), Sent{});
    EXPECT_EQ(Upgrade::Instance().Status(), 0u);
}

TEST_F(Maintenance, WithoutAStatusCallbackTheCameraIsNotSwitched) {
    EXPECT_EQ(Start(Image()), kUpgradeNotPossible);
    EXPECT_EQ(m_camera.Sent(), Sent{});
    EXPECT_FALSE(Upgrade::Instance().Busy());
}

TEST_F(Maintenance, ARefusedModeSwitchIsMinusThreeAndStartsNothing) {
    SetUpgradeStatusCallback(Ignore);
    m_camera.modeSwitchResult = -104;
    const std::string path = Image();
    EXPECT_EQ(Start(path), kModeSwitchFailed);
    EXPECT_EQ(m_camera.Sent(), Sent{"SetToUpgradeMode_P " + path});
    EXPECT_FALSE(Upgrade::Instance().Busy());
}

TEST_F(Maintenance, AnAcceptedImageSwitchesStopsAndHandsOverAndASecondStartIsRefused) {
    SetUpgradeStatusCallback(Ignore);
    const std::string path = Image();
    EXPECT_EQ(Start(path), 0);
    const Sent sent = m_camera.Sent();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0], "SetToUpgradeMode_P " + path);
    EXPECT_EQ(sent[1], "StopStream");
    EXPECT_TRUE(Upgrade::Instance().Busy());
    EXPECT_EQ(Upgrade::Instance().GetSessionInfo().deviceType, 561u);
    // The worker connects on its own.
    EXPECT_TRUE(test::WaitFor([&] { return m_camera.Sent().size() > 2; }, 20s));

    EXPECT_EQ(Start(path), kUpgradeRefused);  // one upgrade at a time
    EXPECT_EQ(Start(Image({.year = 2024, .month = 1, .day = 15, .build = 45})), kUpgradeRefused);
}

TEST_F(Maintenance, TheSameBuildIsAcceptedWithResultOne) {
    SetUpgradeStatusCallback(Ignore);
    EXPECT_EQ(Start(Image({.year = 2024, .month = 1, .day = 15, .build = 45})), 1);
}

TEST_F(Maintenance, JsonRefusalsAndTheSwitchIntoJsonMode) {
    auto session = Session();
    m_camera.jsonSupported = 0;
    EXPECT_EQ(EnterJsonConfigMode(*session, Ignore), kJsonRefused);
    m_camera.jsonSupported = 1;
    EXPECT_EQ(EnterJsonConfigMode(*Session(440), Ignore), kUpgradeNotPossible);
    EXPECT_EQ(StartUpgradeJson(*session, "/tmp/config.json"), kJsonRefused);  // not in mode
    EXPECT_EQ(m_camera.Sent(), Sent{});

    m_camera.modeSwitchResult = -104;
    EXPECT_EQ(EnterJsonConfigMode(*session, Ignore), kModeSwitchFailed);
    EXPECT_EQ(m_camera.Sent(), Sent{"SetToJsonMode_P"});
    EXPECT_FALSE(JsonCtl::Instance().Busy());

    m_camera.modeSwitchResult = 0;
    m_camera.jsonStates = {{0, 0}};  // the camera has not yet offered its file
    EXPECT_EQ(EnterJsonConfigMode(*session, Ignore), 0);
    EXPECT_TRUE(JsonCtl::Instance().Busy());
    EXPECT_EQ(m_camera.Sent()[2], "StopStream");
    // Before the camera waits for the new file, a file is refused.
    EXPECT_EQ(StartUpgradeJson(*session, "/tmp/config.json"), kJsonRefused);
    EXPECT_EQ(EnterJsonConfigMode(*session, Ignore), kUpgradeRefused);  // one at a time
}

// A USB camera (TK5U) is switched with the state record after its stream stops; the
// refusals still come first.
TEST_F(Maintenance, AUsbCameraIsSwitchedByItsStateRecordAfterEveryCheck) {
    const std::string path = Image({.modelCode = 5});
    EXPECT_EQ(Start(path, 560), kUpgradeNotPossible);  // no callback: nothing sent
    SetUpgradeStatusCallback(Ignore);
    EXPECT_EQ(Start(Image({.modelCode = 4}), 560), kUpgradeRefused);
    EXPECT_EQ(m_camera.Sent(), Sent{});

    m_camera.refuseWrites = true;
    EXPECT_EQ(Start(Image({.modelCode = 5}), 560), kModeSwitchFailed);
    EXPECT_EQ(m_camera.Sent(), (Sent{"StopStream", "SetUpgradeState 1 0 0"}));
    EXPECT_FALSE(Upgrade::Instance().Busy());

    m_camera.refuseWrites = false;
    m_camera.sent.clear();
    EXPECT_EQ(Start(Image({.modelCode = 5}), 560), 0);
    EXPECT_EQ(m_camera.Sent(), (Sent{"StopStream", "SetUpgradeState 1 0 0"}));
    EXPECT_TRUE(Upgrade::Instance().Busy());
    EXPECT_EQ(Upgrade::Instance().Status(), 1u);  // waits for the upgrade-mode device

    m_camera.sent.clear();
    m_camera.refuseWrites = true;
    EXPECT_EQ(EnterJsonConfigMode(*Session(560), Ignore), kModeSwitchFailed);
    EXPECT_EQ(m_camera.Sent(), (Sent{"StopStream", "SetJsonState 1 0 0"}));
    EXPECT_FALSE(JsonCtl::Instance().Busy());
    m_camera.refuseWrites = false;
    EXPECT_EQ(EnterJsonConfigMode(*Session(560), Ignore), 0);
    EXPECT_TRUE(JsonCtl::Instance().Busy());
}

}  // namespace
}  // namespace quorix
