// The session's ini configuration: a missing or foreign file keeps the defaults; a valid
// file sets the switches, lists, colour size and stored settings, and the start of the
// stream then sends the configured state in order, going on past refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "config/Config.h"
#include "log/Log.h"
#include "session/BaseSession.h"
#include "session/ProtocolFactory.h"
#include "support/ModelSession.h"
#include "support/RecordingProtocol.h"
#include "support/TempDir.h"

namespace quorix {
namespace {

using test::CameraScript;
using test::RecordingProtocol;
using Calls = std::vector<std::string>;

constexpr const char* kFullSession = R"([session1]
DataMode = 2
DepthRange=3
BG_Threshold=15
PulseCount=600
GmmGain=40
S2_BG=0
ValidRange=0,1,2,3
ValidOutMode=0,2
RGB_Resolution=7
Sync=1
)";

class SessionIni : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_folder / "Config");
        SetIniLibraryDirectoryForTesting(m_folder.Path());
        SetProtocolFactoryForTesting(
            [this](const SessionInfo&) { return std::make_unique<RecordingProtocol>(m_script); });
    }
    void TearDown() override {
        m_session.reset();
        SetProtocolFactoryForTesting({});
        SetIniLibraryDirectoryForTesting("");
    }
    void WriteIni(const std::string& body, int32_t deviceType = TK2A, int32_t sessions = 2) {
        test::WriteFile(m_folder / "Config/config_tk2a.ini",
                        "[settings]\nDeviceType=" + std::to_string(deviceType) +
                            "\nSessionCount=" + std::to_string(sessions) + "\n" + body);
    }
    // Opens and starts a TK2A session with index `index`; the start's result.
    int32_t Start(uint32_t index = 0) {
        m_session = std::make_unique<BaseSession>(test::SessionInfoOf(TK2A));
        m_session->SetSessionIndex(index);
        EXPECT_EQ(m_session->OpenDevice(), 0);
        m_script.ClearCalls();
        return m_session->StartStream();
    }
    // The settings pushed after the parameter read (which ends with its threshold), in
    // the order they were sent.
    Calls Pushed() {
        Calls out;
        const Calls calls = m_script.Calls();
        auto it = std::find_if(calls.begin(), calls.end(), [](const std::string& c) {
            return c.rfind("SetThreshold", 0) == 0;
        });
        EXPECT_NE(it, calls.end());
        for (const std::string& c : Calls(it == calls.end() ? it : it + 1, calls.end())) {
            for (const char* name : {"SetDepthRange", "SetWDRMode", "SetDataMode", "SetGMMGain",
                                     "SetPulseCount", "SetIRS2Enable", "SetThreshold"}) {
                if (c.rfind(name, 0) == 0) {
                    out.push_back(c);
                }
            }
        }
        return out;
    }

    test::TempDir m_folder;
    CameraScript m_script;
    std::unique_ptr<BaseSession> m_session;
};

TEST_F(SessionIni, WithoutAUsableFileTheSessionKeepsTheCamerasState) {
    for (const bool foreign : {false, true}) {
        SCOPED_TRACE(foreign);
        if (foreign) {
            WriteIni(kFullSession, TK1A);
        }
        log::Capture capture;
        ASSERT_EQ(Start(), 0);
        EXPECT_TRUE(capture.Contains("no config file."));
        EXPECT_EQ(m_session->GetStoredDataMode(), 0);
        EXPECT_EQ(m_session->GetStoredThreshold(), 20);
        EXPECT_EQ(m_session->GetRgbFrameMode().height, 360u);
        EXPECT_TRUE(m_session->IsDepthRangeInList(8));
        EXPECT_TRUE(Pushed().empty());
        m_session.reset();
    }
}

TEST_F(SessionIni, AValidFileIsAppliedAndItsStatePushedInOrder) {
    WriteIni(kFullSession);
    log::Capture capture;
    ASSERT_EQ(Start(), 0);
    BaseSession& s = *m_session;
    EXPECT_FALSE(capture.Contains("no config file."));
    EXPECT_EQ(Pushed(), (Calls{"SetDepthRange 3", "SetDataMode 2", "SetGMMGain 40 0",
                               "SetPulseCount 600 1 0 0", "SetIRS2Enable 0", "SetThreshold 15"}));
    EXPECT_EQ(s.GetStoredDepthRange(), 3u);
    EXPECT_EQ(s.GetStoredDataMode(), 2);
    EXPECT_EQ(s.GetStoredThreshold(), 15);
    EXPECT_TRUE(s.GetSynchronizeEnabled());
    // The lists replace the camera's.
    EXPECT_TRUE(capture.Contains("valid range:"));
    EXPECT_TRUE(s.IsDepthRangeInList(3));
    EXPECT_FALSE(s.IsDepthRangeInList(4));
    EXPECT_TRUE(capture.Contains("valid outmode :  "));
    EXPECT_TRUE(s.IsDataModeInList(2));
    EXPECT_FALSE(s.IsDataModeInList(1));
    // Code 7 is no known size: 1920 x 1080, sent to the camera as a lens.
    EXPECT_EQ(s.GetRgbFrameMode().width, 1920u);
    EXPECT_EQ(s.GetRgbFrameMode().height, 1080u);
    EXPECT_FALSE(m_script.CallsOf("SetLens 2 1920 1080 30").empty());
}

TEST_F(SessionIni, EmptyListsKeepTheCamerasLists) {
    WriteIni("[session1]\nValidRange=\nValidOutMode=\nSync=0\n");
    log::Capture capture;
    ASSERT_EQ(Start(), 0);
    EXPECT_TRUE(capture.Contains("all  range valid."));
    EXPECT_TRUE(capture.Contains("all  outmode valid."));
    EXPECT_TRUE(m_session->IsDepthRangeInList(8));
    EXPECT_TRUE(m_session->IsDataModeInList(13));
    EXPECT_FALSE(m_session->GetSynchronizeEnabled());
}

TEST_F(SessionIni, SessionIndexOneReadsTheSecondSection) {
    WriteIni("[session1]\nBG_Threshold=11\n[session2]\nBG_Threshold=12\n");
    ASSERT_EQ(Start(1), 0);
    EXPECT_EQ(m_session->GetStoredThreshold(), 12);
}

TEST_F(SessionIni, ARefusalIsLoggedAndTheRestSentButAFailureEndsTheStart) {
    WriteIni(kFullSession);
    m_script.Fail("SetIRS2Enable", 1);
    {
        log::Capture capture;
        ASSERT_EQ(Start(), 0);
        EXPECT_TRUE(capture.Contains("SetIRS2Enable refused: 1"));
        EXPECT_EQ(Pushed().back(), "SetThreshold 15");
    }
    m_session.reset();
    m_script.Fail("SetIRS2Enable", 0);
    m_script.Fail("SetGMMGain", -3);
    EXPECT_EQ(Start(), -3);
    EXPECT_EQ(Pushed().back(), "SetGMMGain 40 0");
}

TEST_F(SessionIni, AWdrModeGetsItsOutputModeBeforeTheModeIsSent) {
    WriteIni(
        "[session1]\nDataMode=11\nt1_totalRange=2\nt1_range1=0\nt1_range1Count=1\n"
        "t1_range2=2\nt1_range2Count=1\nPulseCount=300\nBG_Threshold=20\n");
    log::Capture capture;
    // A pulse count and threshold that the WDR modes forbid do not stop the stream.
    EXPECT_EQ(Start(), 0);
    EXPECT_TRUE(capture.Contains("SetPulseCount refused: -255"));
    EXPECT_TRUE(capture.Contains("SetThreshold refused: -255"));
    const Calls pushed = Pushed();
    ASSERT_GE(pushed.size(), 4u);
    // The depth range is refused in a WDR mode and the push goes on.
    EXPECT_TRUE(capture.Contains("SetDepthRange refused: 1"));
    EXPECT_EQ(pushed[0], "SetDataMode 0");
    EXPECT_EQ(pushed[1].rfind("SetWDRMode 2 0 2", 0), 0u) << pushed[1];
    EXPECT_EQ(pushed[2], "SetDataMode 11");
}

}  // namespace
}  // namespace quorix
