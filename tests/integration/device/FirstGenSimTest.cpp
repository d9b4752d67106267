// The first-generation exports against simulated network cameras: open by list index,
// stream and read frames, a setting and the serial number of the current device, a second
// open that fails or succeeds, and close.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
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
using test::ListIndexOf;

class FirstGenSim : public ::testing::Test {
protected:
    void SetUp() override {
        log::SetDataHomeForTesting(m_home.Path());
        ASSERT_EQ(NsInitialize(), NsStatusOk);
    }
    void TearDown() override {
        NsCloseDevice(0);
        EXPECT_EQ(NsShutdown(), NsStatusOk);
        m_cameras.clear();
        log::SetDataHomeForTesting("");
    }

    sim::SimCamera& Camera(const std::string& address, const std::string& serial) {
        sim::SimConfig config;
        config.address = address;
        config.serial = serial;
        m_cameras.push_back(std::make_unique<sim::SimCamera>(config));
        sim::SimCamera& camera = *m_cameras.back();
        camera.UpdateState([](sim::SimState& s) { s.sensors[0].dataMode = 2; });  // depth, IR
        EXPECT_EQ(camera.Start(), 0);
        return camera;
    }

    test::TempDir m_home;
    std::vector<std::unique_ptr<sim::SimCamera>> m_cameras;
};

TEST_F(FirstGenSim, OpenStreamSettingsIdentityAndClose) {
    sim::SimCamera& a = Camera("127.0.0.51", "QX-FG-A");
    sim::SimCamera& b = Camera("127.0.0.52", "QX-FG-B");
    ASSERT_TRUE(test::WaitFor(
        [] { return ListIndexOf("TK5P:QX-FG-A") >= 0 && ListIndexOf("TK5P:QX-FG-B") >= 0; }, 10s));
    EXPECT_EQ(NsStartFrame(0), NsStatusBadHandle) << "nothing open yet";

    ASSERT_EQ(NsOpenDevice(static_cast<uint32_t>(ListIndexOf("TK5P:QX-FG-A"))), NsStatusOk);
    EXPECT_EQ(NsOpenDevice(static_cast<uint32_t>(ListIndexOf("TK5P:QX-FG-A"))),
              NsStatusAlreadyOpened);

    char serial[32] = {};
    ASSERT_EQ(NsGetDeviceSN(0, serial, sizeof serial), NsStatusOk) << "still current";
    EXPECT_STREQ(serial, "QX-FG-A");

    ASSERT_EQ(NsStartFrame(0), NsStatusOk);
    NsFrame depth{};
    for (int i = 0; i < 60 && depth.dataLen == 0; ++i) {
        if (NsReadNextFrame(0) == NsStatusOk) {
            NsGetFrame(0, DepthFrame, &depth);
        }
    }
    ASSERT_NE(+depth.pFrameData, nullptr);
    EXPECT_EQ(+depth.dataLen, uint32_t{depth.width} * depth.height * 2);
    EXPECT_EQ(+depth.frameType, static_cast<uint32_t>(DepthFrame));

    ASSERT_EQ(NsSetThreshold(0, 33), NsStatusOk);
    uint16_t threshold = 0;
    ASSERT_EQ(NsGetThreshold(0, &threshold), NsStatusOk);
    EXPECT_EQ(threshold, 33);
    EXPECT_EQ(NsStopFrame(0), NsStatusOk);

    // Another camera becomes current; the first stays open.
    ASSERT_EQ(NsOpenDevice(static_cast<uint32_t>(ListIndexOf("TK5P:QX-FG-B"))), NsStatusOk);
    ASSERT_EQ(NsGetDeviceSN(0, serial, sizeof serial), NsStatusOk);
    EXPECT_STREQ(serial, "QX-FG-B");
    EXPECT_TRUE(a.CommandConnected(0));
    EXPECT_EQ(NsCloseDevice(0), NsStatusOk);
    EXPECT_TRUE(test::WaitFor([&] { return !b.CommandConnected(0); }, 5s));
    EXPECT_TRUE(a.CommandConnected(0));
    EXPECT_EQ(NsCloseDevice(0), NsStatusBadHandle);
}

}  // namespace
}  // namespace quorix
