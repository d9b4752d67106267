// The first-generation exports: the current device (open by list index, a failed open that
// leaves it, close), the functions with behaviour of their own, and twins reaching session 0
// of the current device, which speaks to a recording protocol.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "device/DeviceManager.h"
#include "device/EnumSocketDevice.h"
#include "log/Log.h"
#include "quorix/quorix_api.h"
#include "session/ProtocolFactory.h"
#include "support/Announcement.h"
#include "support/DeviceList.h"
#include "support/RecordingProtocol.h"
#include "support/TempDir.h"
#include "upgrade/TransferWorkers.h"

namespace quorix {
namespace {

using test::CameraScript;
using test::ListIndexOf;
using test::RecordingProtocol;
using Calls = std::vector<std::string>;

void DummyCallback(const NsFrameSet*) {}

TEST(FirstGenWithoutDevice, EverythingThatReachesASessionIsABadHandle) {
    NsFrame frame{};
    uint8_t depth[8] = {};
    frame.pFrameData = depth;
    NsVector3f world{};
    const NsFrameMode mode{0, 640, 480, 30};
    const NsGMMGain gain{300, 1};
    uint16_t word = 0;
    uint8_t byte = 0;
    char text[16] = {};
    const std::vector<std::pair<const char*, std::function<NsReturnStatus()>>> calls = {
        {"NsStartFrame", [] { return NsStartFrame(0); }},
        {"NsStopFrame", [] { return NsStopFrame(0); }},
        {"NsReadNextFrame", [] { return NsReadNextFrame(0); }},
        {"NsGetFrame", [&] { return NsGetFrame(0, DepthFrame, &frame); }},
        {"NsSetFrameMode", [&] { return NsSetFrameMode(0, RGBFrame, &mode); }},
        {"NsSetPulseCount", [] { return NsSetPulseCount(700); }},
        {"NsSetDataMode", [] { return NsSetDataMode(0, 2); }},
        {"NsSetGMMGain", [&] { return NsSetGMMGain(0, &gain); }},
        {"NsGetThreshold", [&] { return NsGetThreshold(0, &word); }},
        {"NsSetFilter 0", [] { return NsSetFilter(0, 0, 1); }},
        {"NsGetFilter 1", [&] { return NsGetFilter(0, 1, &byte); }},
        {"NsSetWDRFusionThreshold", [] { return NsSetWDRFusionThreshold(0, 100); }},
        {"NsGetDeviceSN", [&] { return NsGetDeviceSN(0, text, sizeof text); }},
        {"NsSetDeviceSoftVer", [] { return NsSetDeviceSoftVer(0, "V1", 2); }},
        {"NsRegisterNotify", [] { return NsRegisterNotify(0, DummyCallback); }},
        {"NsSetColorPixelFormat", [] { return NsSetColorPixelFormat(0, 3); }},
        {"NsConvertDepthFrameToWorldVector",
         [&] { return NsConvertDepthFrameToWorldVector(0, &frame, &world); }},
        {"NsCloseDevice", [] { return NsCloseDevice(0); }},
    };
    for (const auto& [name, call] : calls) {
        EXPECT_EQ(call(), NsStatusBadHandle) << name;
    }
}

TEST(FirstGenWithoutDevice, FixedResultsAndTheirLogLines) {
    log::Capture capture;
    EXPECT_EQ(NsSetFilter(0, 2, 1), NsStatusOk);
    ASSERT_EQ(capture.Lines().size(), 1u);
    const std::string line = capture.Lines()[0];
    EXPECT_NE(line.find(":NsSetFilter]:is invalid\n"), std::string::npos) << line;

    capture.Clear();
    uint8_t enabled = 7;
    EXPECT_EQ(NsGetFilter(0, -1, &enabled), NsStatusOk);
    EXPECT_EQ(enabled, 7) << "untouched";
    EXPECT_EQ(NsSetAudioRecordEnabled(0, 1), NsStatusOk);
    EXPECT_EQ(capture.Count("]:is invalid\n"), 2u);

    uint8_t imu[16];
    memset(imu, 0xAB, sizeof imu);
    EXPECT_EQ(NsGetImu(0, imu, sizeof imu), NsStatusOk);
    EXPECT_EQ(NsGetImuWithParams(0, imu, sizeof imu, nullptr, 0), NsStatusOk);
    EXPECT_EQ(imu[0], 0xAB);

    EXPECT_EQ(NsSetFrameMode(0, RGBFrame, nullptr), NsStatusNullPointer);
    EXPECT_EQ(NsSetDataMode(0, 256 + 2), NsStatusBadParameter) << "never cut to mode 2";
}

// Two network cameras announced to the device manager; their sessions record commands.
class FirstGen : public ::testing::Test {
protected:
    void SetUp() override {
        SetDiscoveryListeningForTesting(false);  // only the announcements fed below
        log::SetDataHomeForTesting(m_home.Path());
        SetProtocolFactoryForTesting(
            [this](const SessionInfo&) { return std::make_unique<RecordingProtocol>(m_script); });
        DeviceManager& manager = DeviceManager::Instance();
        test::AnnouncementBytes a;
        a.Set(1, 1, "127.0.94.98", 4, "QXFG-A", 0, "127.0.0.1");
        manager.Discovery().HandleDatagram(a.data.data(), a.data.size());
        a.Set(1, 1, "127.0.94.97", 4, "QXFG-B", 0, "127.0.0.1");
        manager.Discovery().HandleDatagram(a.data.data(), a.data.size());
        manager.RunPass();
        manager.RunPass();  // one event per pass
        m_a = ListIndexOf("TK5P:QXFG-A");
        m_b = ListIndexOf("TK5P:QXFG-B");
        ASSERT_GE(m_a, 0);
        ASSERT_GE(m_b, 0);
    }
    void TearDown() override {
        NsCloseDevice(0);
        DeviceManager::Destroy();
        Upgrade::Destroy();
        JsonCtl::Destroy();
        SetProtocolFactoryForTesting({});
        SetDiscoveryListeningForTesting(true);
        log::SetDataHomeForTesting("");
    }

    // Whether a current device answers: a threshold read reaches its camera.
    bool CurrentAnswers() {
        m_script.ClearCalls();
        uint16_t threshold = 0;
        return NsGetThreshold(0, &threshold) == NsStatusOk &&
               m_script.CallsOf("GetThreshold").size() == 1;
    }

    test::TempDir m_home;
    CameraScript m_script;
    int m_a = -1;
    int m_b = -1;
};

TEST_F(FirstGen, OpenReplacesTheCurrentDeviceOnlyWhenItSucceeds) {
    uint32_t count = 0;
    ASSERT_EQ(NsGetDeviceCount(&count), NsStatusOk);
    EXPECT_EQ(NsOpenDevice(count), NsStatusBadParameter);
    EXPECT_FALSE(CurrentAnswers()) << "still none current";

    ASSERT_EQ(NsOpenDevice(static_cast<uint32_t>(m_a)), NsStatusOk);
    EXPECT_TRUE(CurrentAnswers());
    EXPECT_EQ(NsOpenDevice(count), NsStatusBadParameter);
    EXPECT_TRUE(CurrentAnswers()) << "an index beyond the list leaves the current device";
    EXPECT_EQ(NsOpenDevice(static_cast<uint32_t>(m_a)), NsStatusAlreadyOpened);
    EXPECT_TRUE(CurrentAnswers());

    m_script.Fail("OpenDevice", -13);
    EXPECT_EQ(NsOpenDevice(static_cast<uint32_t>(m_b)), NsStatusOpenFailed);
    EXPECT_TRUE(CurrentAnswers()) << "a failed open leaves the previous device reachable";

    m_script.Fail("OpenDevice", 0);
    ASSERT_EQ(NsOpenDevice(static_cast<uint32_t>(m_b)), NsStatusOk);
    NsDeviceHandle a = reinterpret_cast<NsDeviceHandle>(0x1);
    EXPECT_EQ(Ns2_OpenDevice("TK5P:QXFG-A", &a), NsStatusAlreadyOpened)
        << "the previous current device stays open";

    EXPECT_EQ(NsCloseDevice(0), NsStatusOk);
    EXPECT_EQ(NsCloseDevice(0), NsStatusBadHandle);
    EXPECT_EQ(NsStartFrame(0), NsStatusBadHandle);
    EXPECT_EQ(ListIndexOf("TK5P:QXFG-B"), -1) << "closed: a network camera waits to be heard again";
    EXPECT_EQ(Ns2_OpenDevice("TK5P:QXFG-A", &a), NsStatusAlreadyOpened) << "still open";
}

TEST_F(FirstGen, FrameModeChoosesTheColourResolutionCode) {
    ASSERT_EQ(NsOpenDevice(static_cast<uint32_t>(m_a)), NsStatusOk);
    struct Case {
        uint32_t width;
        uint32_t height;
        uint16_t code;
    };
    for (const Case& c :
         {Case{1920, 1080, 0}, Case{1280, 720, 1}, Case{800, 480, 2}, Case{640, 360, 3},
          Case{1920, 360, 0}, Case{1280, 480, 1}, Case{1024, 768, 0}, Case{640, 1080, 0}}) {
        const NsFrameMode mode{NsPixelRGB24, c.width, c.height, 30};
        ASSERT_EQ(NsSetFrameMode(0, DepthFrame, &mode), NsStatusOk);
        uint16_t code = 99;
        ASSERT_EQ(NsGetResolution(0, &code), NsStatusOk);
        EXPECT_EQ(code, c.code) << c.width << " x " << c.height;
    }
}

TEST_F(FirstGen, FiltersAndTwinsReachSessionZero) {
    ASSERT_EQ(NsOpenDevice(static_cast<uint32_t>(m_a)), NsStatusOk);
    log::Capture capture;
    uint8_t on = 9;
    ASSERT_EQ(NsSetFilter(0, 1, 1), NsStatusOk);
    ASSERT_EQ(NsGetSmoothingFilterEnabled(0, &on), NsStatusOk);
    EXPECT_EQ(on, 1);
    ASSERT_EQ(NsSetFilter(0, 0, 1), NsStatusOk);
    ASSERT_EQ(NsGetFilter(0, 0, &on), NsStatusOk);
    EXPECT_EQ(on, 1);
    ASSERT_EQ(NsGetComputeRealDepthCorrectionEnabled(0, &on), NsStatusOk);
    EXPECT_EQ(on, 1) << "filter 0 is the real-depth correction switch";
    EXPECT_EQ(capture.Count("]:is invalid\n"), 3u);

    m_script.ClearCalls();
    const NsGMMGain gain{300, 1};
    EXPECT_EQ(NsSetGMMGain(0, &gain), NsStatusOk);
    EXPECT_EQ(NsSetPulseCount(650), NsStatusOk);
    EXPECT_EQ(NsSetThreshold(0, 25), NsStatusOk);
    char text[32] = {};
    EXPECT_EQ(NsGetDeviceSN(0, text, sizeof text), NsStatusOk);
    EXPECT_EQ(NsSetDeviceSoftVer(0, "V2", 2), NsStatusOk);
    EXPECT_EQ(NsSetDataMode(0, 300), NsStatusBadParameter);
    EXPECT_EQ(m_script.Calls(),
              (Calls{"SetGMMGain 300 1", "SetPulseCount 650 0 0 0", "SetThreshold 25",
                     "GetProperty 0x0E000012", "SetProperty 0x0E000014 2"}));
}

TEST_F(FirstGen, CloseAfterShutdownFreesTheHandleWithoutANewManager) {
    ASSERT_EQ(NsInitialize(), NsStatusOk);
    ASSERT_EQ(NsOpenDevice(static_cast<uint32_t>(m_a)), NsStatusOk);
    ASSERT_EQ(NsShutdown(), NsStatusOk);
    EXPECT_EQ(NsStartFrame(0), NsStatusBadHandle) << "the device went with the library";
    EXPECT_EQ(NsCloseDevice(0), NsStatusOk);
    EXPECT_FALSE(DeviceManager::Exists()) << "closing nothing starts no discovery";
    EXPECT_EQ(NsCloseDevice(0), NsStatusBadHandle);
}

}  // namespace
}  // namespace quorix
