// The session's settings against a recording camera protocol: refusals by data mode and
// list, what is sent (and what not), the echo rules of the TK1A data modes, the WDR
// properties, the property table, the engine switches and the pre-processing switches.
#include <gtest/gtest.h>

#include <thread>

#include "log/Log.h"
#include "session/BaseSession.h"
#include "session/ProtocolFactory.h"
#include "support/ModelSession.h"
#include "support/RecordingProtocol.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;
using test::CameraScript;
using test::RecordingProtocol;
using Calls = std::vector<std::string>;

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        SetProtocolFactoryForTesting(
            [this](const SessionInfo&) { return std::make_unique<RecordingProtocol>(m_script); });
    }
    void TearDown() override {
        m_session.reset();
        SetProtocolFactoryForTesting({});
    }

    // A started session of `deviceType` (initialised from the script), its calls cleared.
    BaseSession& Start(uint32_t deviceType) {
        m_session = std::make_unique<BaseSession>(test::SessionInfoOf(deviceType));
        EXPECT_EQ(m_session->OpenDevice(), 0);
        EXPECT_EQ(m_session->StartStream(), 0);
        m_script.ClearCalls();
        return *m_session;
    }
    // Sets data mode `mode` through its rules (a WDR mode gets its output mode first).
    void EnterMode(uint8_t mode, const WDROutputMode& wdr = {2, 0, 1, 2, 1, 0, 0}) {
        if (mode >= 11 && mode <= 13) {
            ASSERT_EQ(m_session->SetWDROutputMode(wdr), 0);
        }
        ASSERT_EQ(m_session->SetDataMode(mode), 0);
        m_script.ClearCalls();
    }
    // Streams status blocks echoing `status` until the session confirms by them.
    void Echo(const DeviceStatus& status) {
        m_script.Repeat(test::StatusBlock(status));
        for (int i = 0; i < 500 && !m_session->GetDeviceSync(); ++i) {
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_TRUE(m_session->GetDeviceSync());
    }

    CameraScript m_script;
    std::unique_ptr<BaseSession> m_session;
};

TEST_F(Settings, WdrModesRefuseTheSingleRangeSettingsWithoutSendingThem) {
    BaseSession& s = Start(TK5P);
    EnterMode(12);
    log::Capture capture;
    uint16_t value = 0;
    PulseCountBlock block{};
    EXPECT_EQ(s.SetDepthRange(1), 1);
    EXPECT_TRUE(capture.Contains("MultiRange mode reject change depth range"));
    const struct {
        int32_t result;
        const char* message;
    } refusals[] = {
        {s.SetThreshold(20), "wdr mode can not SetThreshold "},
        {s.GetThreshold(value), "wdr mode can not GetThreshold "},
        {s.SetPulseCount(500), "wdr mode can not SetPulseCount "},
        {s.GetPulseCount(), "wdr mode can not GetPulseCount "},
        {s.GetPulseCountGet(block), "wdr mode can not GtPulseCountConfig "},
    };
    for (const auto& r : refusals) {
        EXPECT_EQ(+r.result, -255) << r.message;
        EXPECT_TRUE(capture.Contains(r.message)) << r.message;
    }
    EXPECT_TRUE(m_script.Calls().empty());
}

TEST_F(Settings, DepthRangeMustBeInTheCameraListUnlessTheListIsEmpty) {
    m_script.ranges = {2, 0, 1};
    BaseSession& s = Start(TK5P);
    log::Capture capture;
    EXPECT_EQ(s.SetDepthRange(5), -10);
    EXPECT_TRUE(capture.Contains("invalid depth range 5"));
    EXPECT_EQ(s.SetDepthRange(1), 0);
    EXPECT_EQ(m_script.Calls(), Calls{"SetDepthRange 1"});
    EXPECT_EQ(s.GetStoredDepthRange(), 1u);
    EXPECT_EQ(s.Engine().Tof().GetDepthRange(), 1u);

    m_script.answersLists = false;  // a TK1A keeps an empty list: every range goes
    BaseSession& t = Start(TK1A);
    EXPECT_EQ(t.SetDepthRange(7), 0);
    m_script.ClearCalls();
    EXPECT_EQ(t.SetDepthRange(9), -10) << "no camera has a range above 8";
    EXPECT_TRUE(m_script.Calls().empty());
}

TEST_F(Settings, FrameRateAndThresholdOutsideTheirRangesAreRefusedBeforeTheyAreSent) {
    BaseSession& s = Start(TK5P);
    m_script.ClearCalls();
    log::Capture capture;
    EXPECT_EQ(s.SetTofFrameRate(0), -15);
    EXPECT_TRUE(capture.Contains("fps:0 is invalid."));
    EXPECT_EQ(s.SetTofFrameRate(61), -15);
    EXPECT_EQ(s.SetTofFrameRate(255), -15);
    EXPECT_EQ(s.SetThreshold(6554), -15) << "x 10 would not fit the camera's 16 bits";
    EXPECT_TRUE(m_script.Calls().empty());
    EXPECT_EQ(s.SetTofFrameRate(1), 0);
    EXPECT_EQ(s.SetTofFrameRate(60), 0);
    EXPECT_EQ(m_script.CallsOf("SetTofFrameRate"),
              (Calls{"SetTofFrameRate 1", "SetTofFrameRate 60"}));
    EXPECT_EQ(s.SetThreshold(6553), 0);
    EXPECT_EQ(m_script.CallsOf("SetThreshold"), Calls{"SetThreshold 6553"});
}

TEST_F(Settings, WithoutStatusEchoEachSettingIsSentOnceAndStored) {
    BaseSession& s = Start(TK5P);
    ASSERT_FALSE(s.GetDeviceSync());
    EXPECT_EQ(s.SetThreshold(35), 0);
    EXPECT_EQ(s.SetSlaveModeEnabled(true), 0);
    EXPECT_EQ(s.SetIRS2Enable(0x0101), 0);
    EXPECT_EQ(s.SetGMMGain({300, 1}), 0);
    EXPECT_EQ(s.SetLowPowerModeEnabled(true), 0);
    EXPECT_EQ(s.SetWorkMode({4, 0, {0, 0, 0}}), 0);
    EXPECT_EQ(m_script.Calls(),
              (Calls{"SetThreshold 35", "SetSlaveModeEnabled 1", "SetIRS2Enable 257",
                     "SetGMMGain 300 1", "SetLowPowerModeEnabled 1", "SetWorkMode 4"}));
    EXPECT_EQ(s.GetStoredThreshold(), 35);

    // A failure is the protocol's status, and the cache keeps its value.
    m_script.Fail("SetThreshold", -104);
    log::Capture capture;
    EXPECT_EQ(s.SetThreshold(40), -104);
    EXPECT_EQ(s.GetStoredThreshold(), 35);
    EXPECT_TRUE(capture.Contains("set Threshold 400   receive Threshold"));
}

TEST_F(Settings, PulseCountGoesToTheCurrentDepthRangesGroupAndIndex) {
    BaseSession& s = Start(TK5P);
    for (const auto& [range, sent] :
         {std::pair{1u, "SetPulseCount 600 0 1 0"}, std::pair{4u, "SetPulseCount 600 1 1 0"},
          std::pair{8u, "SetPulseCount 600 2 2 0"}}) {
        ASSERT_EQ(s.SetDepthRange(range), 0);
        m_script.ClearCalls();
        EXPECT_EQ(s.SetPulseCount(600), 0);
        EXPECT_EQ(m_script.Calls(), Calls{sent}) << range;
    }
    EXPECT_NEAR(s.GetPulseCountTime(), 600 * 0.025344f, 1e-3);
    EXPECT_EQ(s.GetPulseCount(), 700) << "the camera's value";
    PulseCountBlock block{};
    EXPECT_EQ(s.GetPulseCountGet(block), 0);
    EXPECT_EQ(block[19], 0x5A) << "the whole reply";
    uint16_t threshold = 0;
    EXPECT_EQ(s.GetThreshold(threshold), 0);
    EXPECT_EQ(threshold, 20) << "the camera's 200 divided by 10";
}

TEST_F(Settings, DataModeListAndTheWdrOutputModeComeFirst) {
    BaseSession& s = Start(TK5P);
    log::Capture capture;
    EXPECT_EQ(s.SetDataMode(7), 1);
    EXPECT_TRUE(capture.Contains("invalid data mode 7"));
    EXPECT_EQ(s.SetDataMode(11), 1);
    EXPECT_TRUE(capture.Contains("data mode 11, need set wdrmode first"));
    EXPECT_TRUE(m_script.Calls().empty());

    ASSERT_EQ(s.SetWDROutputMode({3, 0, 1, 4, 2, 8, 1}), 0);
    EXPECT_EQ(+s.Engine().Tof().GetWDRMode().range2, 4u);
    EXPECT_EQ(s.SetDataMode(11), 0);
    EXPECT_EQ(s.GetStoredDataMode(), 11);
    EXPECT_EQ(s.Engine().GetDataMode(), 11);
    // Leaving the WDR modes forgets the output mode.
    EXPECT_EQ(s.SetDataMode(2), 0);
    EXPECT_EQ(s.SetDataMode(13), 1);
}

TEST_F(Settings, WdrPropertiesWriteEveryRangeOfTheOutputMode) {
    BaseSession& s = Start(TK5P);
    const uint8_t values[7] = {0x10, 0x01, 0x20, 0x02, 0x30, 0x03, 0x09};  // 272, 544, 816
    log::Capture capture;
    EXPECT_EQ(s.SetProperty(property::kWDRSetting, values, 7), 1);
    EXPECT_TRUE(capture.Contains("m_dataMode:0 is not wdr mode."));
    uint32_t size = 7;
    uint8_t out[7] = {};
    EXPECT_EQ(s.GetProperty(property::kWDRSetting, out, &size), -255);

    EnterMode(11, {2, 1, 1, 5, 1, 0, 0});
    EXPECT_EQ(s.SetProperty(property::kWDRSetting, values, 7), 0);
    EXPECT_EQ(m_script.Calls(), (Calls{"SetPulseCount 272 0 1 9", "SetPulseCount 544 1 2 9"}));
    EXPECT_EQ(s.GetProperty(property::kWDRSetting, out, &size), 0);
    EXPECT_EQ(out[6], 7);
    EXPECT_EQ(s.SetProperty(property::kWDRSetting, values, 6), -15);

    ASSERT_EQ(s.SetDataMode(0), 0);
    EnterMode(11, {3, 0, 1, 3, 1, 6, 1});
    EXPECT_EQ(s.SetProperty(property::kWDRThreshold, values, 7), 0);
    EXPECT_EQ(s.SetProperty(property::kWDRGMMGain, values, 7), 0);
    EXPECT_EQ(m_script.Calls(), (Calls{"SetWDRThreshold 2720 0 0 9", "SetWDRThreshold 5440 1 0 9",
                                       "SetWDRThreshold 8160 2 0 9", "SetWDRGMMGain 272 0 0 9",
                                       "SetWDRGMMGain 544 1 0 9", "SetWDRGMMGain 816 2 0 9"}));

    // The first failure ends the writes.
    m_script.ClearCalls();
    m_script.Fail("SetPulseCount", -104);
    EXPECT_EQ(s.SetProperty(property::kWDRSetting, values, 7), -104);
    EXPECT_EQ(m_script.Calls().size(), 1u);
}

TEST_F(Settings, ThreeRangeWdrModeRefusesRangesItDoesNotUse) {
    BaseSession& s = Start(TK5P);
    EnterMode(11, {3, 0, 1, 4, 1, 8, 1});
    log::Capture capture;
    const PulseCountRecord unused{500, 0, 1, 0};  // range 1
    const PulseCountRecord used{500, 1, 1, 0};    // range 4
    EXPECT_EQ(s.SetPulseCountConfig(unused), -255);
    EXPECT_TRUE(capture.Contains("Cannot set pulsecount outside of wdr mode"));
    EXPECT_EQ(s.SetWDRThreshold(unused), -255);
    EXPECT_EQ(s.SetWDRGMMGain(unused), -255);
    EXPECT_TRUE(m_script.Calls().empty());
    EXPECT_EQ(s.SetPulseCountConfig(used), 0);

    // With two ranges nothing is refused.
    ASSERT_EQ(s.SetDataMode(0), 0);
    EnterMode(11);
    EXPECT_EQ(s.SetPulseCountConfig(unused), 0);
}

TEST_F(Settings, Tk1aModesAreConfirmedBySubModeAndTheIdleModeRulesTheFrameSwitches) {
    m_script.answersLists = false;  // the model's own list
    BaseSession& s = Start(TK1A);
    EXPECT_EQ(s.SetDataMode(2), 1) << "a TK1A has modes 100 to 102 only";
    DeviceStatus status;
    status.subMode = 1;  // mode 100
    Echo(status);
    EXPECT_EQ(s.SetDataMode(100), 0);
    EXPECT_TRUE(s.Engine().GetFrameEnabled(0));
    EXPECT_EQ(s.GetRgbFrameMode().height, 480u);

    log::Capture capture;
    EXPECT_EQ(s.SetDataMode(101), -105) << "25 polls of the sub-mode echo";
    EXPECT_TRUE(capture.Contains("receive datamode 1"));
    EXPECT_EQ(s.GetStoredDataMode(), 100);

    status.subMode = 2;
    Echo(status);
    m_script.ClearCalls();
    EXPECT_EQ(s.SetDataMode(101), 0);
    EXPECT_FALSE(s.Engine().GetFrameEnabled(0));
    EXPECT_FALSE(s.Engine().GetFrameEnabled(1));
    EXPECT_EQ(m_script.CallsOf("SetLDEnable"), (Calls{"SetLDEnable 0", "SetLDEnable 0"}));
    // Enabling depth in mode 101 sends the stored pulse count and switches the laser on.
    // (Stopped, the stream sends no echo, so nothing is awaited.)
    ASSERT_EQ(s.StopStream(), 0);
    m_script.ClearCalls();
    EXPECT_EQ(s.SetDepthFrameEnabled(true), 0);
    const Calls calls = m_script.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].rfind("SetPulseCount", 0), 0u);
    EXPECT_EQ(calls[1], "SetLDEnable 1");
}

TEST_F(Settings, MeasuringRangeIsComputedAndKeptInStep) {
    BaseSession& s = Start(TK5P);
    NsMeasuringRange range{};
    range.depthMode = 2;  // the script's group 2 has no effective maxima
    EXPECT_EQ(s.GetMeasuringRange(range), -1);
    range.depthMode = 5;
    EXPECT_EQ(s.GetMeasuringRange(range), 0);
    EXPECT_EQ(+range.depthMaxNear, 0) << "untouched";

    const NsMeasuringRange mine{1, 6000, 7000, 9000, 5000, 6000, 8000, 10, 20, 30};
    ASSERT_EQ(s.SetMeasuringRange(mine), 0);
    NsMeasuringRange read{};
    read.depthMode = 1;
    ASSERT_EQ(s.GetMeasuringRange(read), 0);
    EXPECT_EQ(+read.effectDepthMaxMid, 6000);
    EXPECT_EQ(+s.Engine().Tof().GetMeasuringRange(3).effectDepthMaxMid, 6000);

    m_script.Fail("SetMeasuringRange", -104);
    EXPECT_EQ(s.SetMeasuringRange({1, 1, 1, 1, 1, 1, 1, 1, 1, 1}), -104);
    ASSERT_EQ(s.GetMeasuringRange(read), 0);
    EXPECT_EQ(+read.effectDepthMaxMid, 6000) << "a refused record is not kept";
}

TEST_F(Settings, PropertyTableOfTheSession) {
    BaseSession& s = Start(TK5P);
    uint8_t buffer[64] = {};
    uint32_t size = sizeof buffer;

    // The camera does not answer a list: the session's own stands in, if it fits.
    m_script.answersLists = false;
    EXPECT_EQ(s.GetProperty(property::kOutModeList, buffer, &size), 0);
    EXPECT_EQ(size, 33u);
    EXPECT_EQ(buffer[0], 6);
    size = 9;
    EXPECT_EQ(s.GetProperty(property::kDepthRangeList, buffer, &size), -255);

    // Frame information before any frame, and for a record too small.
    Frame frame;
    size = sizeof frame;
    EXPECT_EQ(s.GetProperty(property::kFrameInfo, &frame, &size), -4);
    size = sizeof frame - 1;
    EXPECT_EQ(s.GetProperty(property::kFrameInfo, &frame, &size), -15);

    m_script.ClearCalls();
    size = sizeof buffer;
    EXPECT_EQ(s.SetProperty(property::kJsonConfigMode, buffer, 1), -255);
    EXPECT_EQ(s.SetProperty(property::kUpgradeJson, buffer, 1), -255);
    EXPECT_EQ(s.GetProperty(property::kJsonConfigMode, buffer, &size), -255);
    EXPECT_EQ(s.GetProperty(0x12345678, buffer, &size), -255) << "unknown: not asked";
    EXPECT_EQ(s.SetProperty(0x12345678, buffer, 2), 0) << "unknown: the camera's to judge";
    EXPECT_EQ(s.GetProperty(property::kTalDelay, buffer, &size), 0);
    EXPECT_EQ(m_script.Calls(), (Calls{"SetProperty 0x12345678 2", "GetProperty 0x0E000004"}));
    EXPECT_EQ(s.GetProperty(property::kTalDelay, nullptr, &size), -12);
}

TEST_F(Settings, EngineSwitchesTakeEffectWithoutCommands) {
    BaseSession& s = Start(TK5P);
    EXPECT_EQ(s.SetColorPixelFormat(NsPixelRGB24), 0);
    EXPECT_EQ(s.GetColorPixelFormat(), NsPixelRGB24);
    EXPECT_EQ(s.SetImageRotation(0), 0);
    uint32_t w = 0, h = 0, fps = 0;
    s.GetFrameMode(DepthFrame, &w, &h, &fps);
    EXPECT_EQ(w, 480u) << "a quarter turn swaps width and height";
    EXPECT_EQ(h, 640u);
    EXPECT_EQ(s.SetImageRotation(0xFFFFFF01), 0);  // -255: none
    s.GetFrameMode(DepthFrame, &w, &h, &fps);
    EXPECT_EQ(w, 640u);
    EXPECT_EQ(s.SetWDRStyle(0), -1) << "only in data mode 11";
    EnterMode(11);
    EXPECT_EQ(s.SetWDRStyle(0), 0);
    EXPECT_EQ(s.Engine().Tof().GetWDRStyle(), 0u);
    EXPECT_EQ(s.SetLowPowerModeEnabled(false), 0);
    EXPECT_EQ(m_script.CallsOf("Set"), Calls{"SetLowPowerModeEnabled 0"});
}

TEST_F(Settings, MapperAndFilterSwitchesNeedThePreProcessingLibrary) {
    using Set = int32_t (BaseSession::*)(bool);
    using Get = int32_t (BaseSession::*)(bool&);
    const std::pair<Set, Get> switches[] = {
        {&BaseSession::SetMapperEnabledDepthToRGB, &BaseSession::GetMapperEnabledDepthToRGB},
        {&BaseSession::SetMapperEnabledRGBToDepth, &BaseSession::GetMapperEnabledRGBToDepth},
        {&BaseSession::SetMapperEnabledRGBToIR, &BaseSession::GetMapperEnabledRGBToIR},
        {&BaseSession::SetComputeRealDepthCorrectionEnabled,
         &BaseSession::GetComputeRealDepthCorrectionEnabled},
        {&BaseSession::SetSmoothingFilterEnabled, &BaseSession::GetSmoothingFilterEnabled},
        {&BaseSession::SetDepthDistortionCorrectionEnabled,
         &BaseSession::GetDepthDistortionCorrectionEnabled},
        {&BaseSession::SetIrDistortionCorrectionEnabled,
         &BaseSession::GetIrDistortionCorrectionEnabled},
        {&BaseSession::SetRGBDistortionCorrectionEnabled,
         &BaseSession::GetRGBDistortionCorrectionEnabled},
        {&BaseSession::SetRGBCorrectionEnabled, &BaseSession::GetRGBCorrectionEnabled},
        {&BaseSession::SetTimeFilterEnabled, &BaseSession::GetTimeFilterEnabled},
        {&BaseSession::SetSpatialFilterEnabled, &BaseSession::GetSpatialFilterEnabled},
    };
    BaseSession with(test::SessionInfoOf(TK5P));
    BaseSession without(test::SessionInfoOf(TK5P), nullptr);
    size_t i = 0;
    for (const auto& [set, get] : switches) {
        bool value = false;
        EXPECT_EQ((without.*set)(true), -255) << i;
        EXPECT_EQ((without.*get)(value), -255) << i;
        for (bool on : {true, false}) {
            EXPECT_EQ((with.*set)(on), 0) << i;
            EXPECT_EQ((with.*get)(value), 0) << i;
            EXPECT_EQ(value, on) << i;
        }
        ++i;
    }
    with.SetMapperEnabledDepthToRGB(true);
    EXPECT_TRUE(with.Engine().GetMapperEnabledColourToDepth()) << "colour in depth geometry";
}

TEST_F(Settings, CalibrationWritesNameTheirSensor) {
    BaseSession& s = Start(TK5P);
    log::Capture capture;
    EXPECT_EQ(s.SetCameraIntrinsic(257, Matrix3{}), -255) << "no sensor 1 by truncation";
    EXPECT_TRUE(capture.Contains("cameraType:257 is invalid."));
    EXPECT_EQ(s.SetCameraIntrinsic(2, Matrix3{9}), 0);
    EXPECT_EQ(m_script.Calls(), Calls{"SetCameraIntrinsic 2 9"});
}

}  // namespace
}  // namespace quorix
