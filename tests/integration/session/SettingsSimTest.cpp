// Confirmed settings of a network camera session against the streaming simulator: the
// camera's status echo confirms at once, late or never, or is not sent at all; and the WDR
// properties write one record per range. One loopback address 127.0.93.N per test.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "log/Log.h"
#include "session/BaseSession.h"
#include "sim/SimCamera.h"
#include "sim/SimWire.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;

class SettingsSim : public ::testing::Test {
protected:
    void TearDown() override {
        m_session.reset();
        m_camera.reset();
    }

    // Starts camera 127.0.93.`n` with the given status echo and a session streaming from it.
    void Start(uint8_t n, sim::StatusEcho echo, uint32_t lateFrames = 10) {
        sim::SimConfig config;
        config.address = "127.0.93." + std::to_string(n);
        config.serial = "QXSET" + std::to_string(n);
        m_camera = std::make_unique<sim::SimCamera>(config);
        m_camera->SetAnnouncing(false);
        m_camera->UpdateState([&](sim::SimState& s) {
            s.stream.status = echo;
            s.stream.statusLateFrames = lateFrames;
            s.stream.colour = sim::ColourFormat::kNone;
        });
        ASSERT_EQ(m_camera->Start(), 0);

        SessionInfo info;
        info.deviceType = TK5P;
        info.linkType = kLinkNetwork;
        info.net.ip[0] = 127;
        info.net.ip[1] = 0;
        info.net.ip[2] = 93;
        info.net.ip[3] = n;
        info.net.commandPort = sim::CommandPort(0);
        info.net.dataPort = sim::DataPort(0);
        m_session = std::make_unique<BaseSession>(info);
        ASSERT_EQ(m_session->OpenDevice(), 0);
        ASSERT_EQ(m_session->StartStream(), 0);
        if (echo != sim::StatusEcho::kOff) {
            for (int i = 0; i < 500 && !m_session->GetDeviceSync(); ++i) {
                std::this_thread::sleep_for(10ms);
            }
            ASSERT_TRUE(m_session->GetDeviceSync()) << "the camera's status echo arrives";
        }
        m_camera->Requests().Clear();
    }

    // Sets get no reply: a get answered afterwards shows that the camera took them all.
    void Barrier() const {
        uint8_t unused[4] = {};
        uint32_t size = sizeof unused;
        ASSERT_EQ(m_session->GetProperty(property::kHeartBeat, unused, &size), 0);
    }

    sim::SensorState Sensor() const {
        Barrier();
        return m_camera->State().sensors[0];
    }

    // Set requests of `command` (and sub-command, unless -1) since the last clear.
    size_t Sent(uint8_t command, int sub = -1) const {
        Barrier();
        size_t n = 0;
        for (const sim::LoggedRequest& r : m_camera->Requests().Entries()) {
            n += !r.get && r.command == command && (sub < 0 || r.Sub() == sub) ? 1 : 0;
        }
        return n;
    }

    std::unique_ptr<sim::SimCamera> m_camera;
    std::unique_ptr<BaseSession> m_session;
};

struct Confirmed {
    const char* name;
    std::function<int32_t(BaseSession&)> set;
    std::function<bool(const sim::SensorState&)> took;
};

TEST_F(SettingsSim, PromptEchoConfirmsEverySetting) {
    Start(1, sim::StatusEcho::kPrompt);
    const Confirmed settings[] = {
        {"depth range", [](BaseSession& s) { return s.SetDepthRange(4); },
         [](const sim::SensorState& c) { return c.depthRange == 4; }},
        {"threshold", [](BaseSession& s) { return s.SetThreshold(33); },
         [](const sim::SensorState& c) { return c.thresholdX10 == 330; }},
        {"pulse count", [](BaseSession& s) { return s.SetPulseCount(900); },
         [](const sim::SensorState& c) { return c.pulseCounts[4] == 900; }},
        {"slave mode", [](BaseSession& s) { return s.SetSlaveModeEnabled(true); },
         [](const sim::SensorState& c) { return c.slaveMode == 1; }},
        {"IRS2", [](BaseSession& s) { return s.SetIRS2Enable(0x0101); },
         [](const sim::SensorState& c) { return c.irs2[1] == 1; }},
        {"GMM gain",
         [](BaseSession& s) {
             return s.SetGMMGain({250, 0});
         },
         [](const sim::SensorState& c) { return c.gmmGain == 250; }},
        {"WDR output mode",
         [](BaseSession& s) {
             return s.SetWDROutputMode({3, 0, 1, 4, 2, 8, 1});
         },
         [](const sim::SensorState& c) {
             return c.wdrMode == std::array<uint8_t, 7>{3, 0, 1, 4, 2, 8, 1};
         }},
        {"data mode", [](BaseSession& s) { return s.SetDataMode(2); },
         [](const sim::SensorState& c) { return c.dataMode == 2; }},
        {"work mode",
         [](BaseSession& s) {
             return s.SetWorkMode({1, 0, {1, 1, 1}});
         },
         [](const sim::SensorState& c) { return c.workMode[0] == 1; }},
        {"low power on", [](BaseSession& s) { return s.SetLowPowerModeEnabled(true); },
         [](const sim::SensorState& c) { return c.workMode[0] == 0x20 && c.workMode[4] == 0; }},
        {"low power off", [](BaseSession& s) { return s.SetLowPowerModeEnabled(false); },
         [](const sim::SensorState& c) { return c.workMode[4] == 1; }},
    };
    for (const Confirmed& c : settings) {
        EXPECT_EQ(c.set(*m_session), 0) << c.name;
        EXPECT_TRUE(c.took(Sensor())) << c.name;
    }
    EXPECT_EQ(m_session->GetStoredDepthRange(), 4u);
    EXPECT_EQ(m_session->GetStoredThreshold(), 33);
    EXPECT_EQ(m_session->GetStoredDataMode(), 2);
}

TEST_F(SettingsSim, LateEchoIsAwaited) {
    Start(2, sim::StatusEcho::kLate, 5);
    EXPECT_EQ(m_session->SetDepthRange(2), 0);
    EXPECT_EQ(m_session->GetDeviceStatus().depthRange, 2) << "confirmed by a later status";
    EXPECT_EQ(m_session->SetThreshold(12), 0);
    EXPECT_EQ(m_session->GetStoredThreshold(), 12);
}

TEST_F(SettingsSim, MissingEchoGives105UnlessTheStreamIsStopped) {
    Start(3, sim::StatusEcho::kNever);
    const uint16_t before = m_session->GetStoredThreshold();
    log::Capture capture;
    EXPECT_EQ(m_session->SetThreshold(44), -105);
    EXPECT_TRUE(capture.Contains("set Threshold 440   receive Threshold"));
    EXPECT_EQ(m_session->GetStoredThreshold(), before) << "only a confirmed value is kept";
    EXPECT_EQ(Sent(0x02, 0x01), 1u) << "sent once, then awaited";
    EXPECT_EQ(Sensor().thresholdX10, 440) << "the camera took it; the echo never showed it";

    // While the stream is stopped no status arrives: nothing is awaited.
    ASSERT_EQ(m_session->StopStream(), 0);
    EXPECT_EQ(m_session->SetThreshold(45), 0);
    EXPECT_EQ(m_session->GetStoredThreshold(), 45);
}

TEST_F(SettingsSim, CameraWithoutStatusBlocksGetsEachSettingOnceUnawaited) {
    Start(4, sim::StatusEcho::kOff);
    EXPECT_FALSE(m_session->GetDeviceSync());
    EXPECT_EQ(m_session->SetDepthRange(5), 0);
    EXPECT_EQ(m_session->SetThreshold(25), 0);
    EXPECT_EQ(m_session->SetPulseCount(800), 0);
    EXPECT_EQ(m_session->SetGMMGain({180, 0}), 0);
    EXPECT_EQ(m_session->SetSlaveModeEnabled(false), 0);
    EXPECT_EQ(Sent(0x09), 1u);
    EXPECT_EQ(Sent(0x02, 0x01), 1u);
    EXPECT_EQ(Sent(0x0A), 1u);
    EXPECT_EQ(Sent(0x05, 0x01), 1u);
    EXPECT_EQ(Sent(0x02, 0x08), 1u);
    EXPECT_EQ(Sensor().pulseCounts[5], 800);

    // The WDR pulse counts: one record per range of the output mode.
    const uint8_t counts[7] = {0x58, 0x02, 0xBC, 0x02, 0x20, 0x03, 0};  // 600, 700, 800
    ASSERT_EQ(m_session->SetWDROutputMode({2, 0, 1, 3, 1, 0, 0}), 0);
    ASSERT_EQ(m_session->SetDataMode(11), 0);
    m_camera->Requests().Clear();
    EXPECT_EQ(m_session->SetProperty(property::kWDRSetting, counts, sizeof counts), 0);
    EXPECT_EQ(Sent(0x0A), 2u);
    EXPECT_EQ(Sensor().pulseCounts[0], 600);
    EXPECT_EQ(Sensor().pulseCounts[3], 700);

    ASSERT_EQ(m_session->SetDataMode(0), 0);
    ASSERT_EQ(m_session->SetWDROutputMode({3, 0, 1, 3, 1, 6, 1}), 0);
    ASSERT_EQ(m_session->SetDataMode(11), 0);
    m_camera->Requests().Clear();
    EXPECT_EQ(m_session->SetProperty(property::kWDRSetting, counts, sizeof counts), 0);
    EXPECT_EQ(Sent(0x0A), 3u);
    EXPECT_EQ(Sensor().pulseCounts[6], 800);
}

}  // namespace
}  // namespace quorix
