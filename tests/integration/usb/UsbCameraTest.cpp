// A simulated USB camera end to end through the C interface: found by the Linux
// enumeration over its sysfs tree, opened over its HID and UVC fakes, streamed, set, and
// unplugged while streaming.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "api/PrivateExports.h"
#include "log/Log.h"
#include "quorix/quorix_api.h"
#include "sim/SimUsbCamera.h"
#include "support/DeviceList.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;

class UsbCamera : public ::testing::Test {
protected:
    void SetUp() override {
        log::SetDataHomeForTesting(m_home.Path());
        m_camera.Plug();
        ASSERT_EQ(Ns2_Initialize(), NsStatusOk);
    }
    void TearDown() override {
        EXPECT_EQ(Ns2_Shutdown(), NsStatusOk);
        log::SetDataHomeForTesting("");
    }

    // Frames until `want` is in the ready set, or the limit of reads.
    bool ReadUntil(NsDeviceHandle handle, uint32_t want, int reads = 200) {
        for (int i = 0; i < reads; ++i) {
            uint32_t ready = 0;
            if (Ns2_ReadNextFrame(handle, 0, &ready) == NsStatusOk && (ready & want) == want) {
                return true;
            }
        }
        return false;
    }

    test::TempDir m_home;
    test::TempDir m_root;
    sim::SimUsbBus m_bus{m_root.Path()};
    sim::SimUsbCamera m_camera{m_bus, {}};
};

TEST_F(UsbCamera, DiscoverOpenStreamSetAndClose) {
    const std::string uri = m_camera.VideoPath();
    ASSERT_TRUE(test::WaitFor([&] { return test::IsListed(uri); }, 20s)) << uri;

    NsDeviceHandle handle = nullptr;
    ASSERT_EQ(Ns2_OpenDevice(uri.c_str(), &handle), NsStatusOk);
    ASSERT_EQ(Ns2_StartStream(handle, 0), NsStatusOk);
    ASSERT_TRUE(ReadUntil(handle, NsFrameReadyDepth));
    NsFrame depth{};
    ASSERT_EQ(Ns2_GetFrame(handle, 0, DepthFrame, &depth), NsStatusOk);
    EXPECT_GT(+depth.width, 0u);
    EXPECT_NE(depth.pFrameData, nullptr);
    EXPECT_GT(m_camera.SamplesDelivered(), 0u);

    // A setting reaches the camera over its command channels.
    ASSERT_EQ(Ns2_SetThreshold(handle, 0, 7), NsStatusOk);
    EXPECT_TRUE(test::WaitFor([&] { return m_camera.State().sensors[0].thresholdX10 == 70; }, 5s));

    // The platform is not swapped under a running library.
    EXPECT_EQ(NsPrivate_SetUsbPlatforms(nullptr, nullptr, nullptr, nullptr), NsStatusFailed);
    EXPECT_GT(m_camera.SamplesDelivered(), 0u);

    EXPECT_EQ(Ns2_StopStream(handle, 0), NsStatusOk);
    EXPECT_EQ(Ns2_CloseDevice(&handle), NsStatusOk);
    EXPECT_EQ(m_bus.Kernel().OpenDescriptors(), 0u);
}

TEST_F(UsbCamera, UnplugWhileStreamingIsReportedAndCloseReturns) {
    const std::string uri = m_camera.VideoPath();
    ASSERT_TRUE(test::WaitFor([&] { return test::IsListed(uri); }, 20s));
    NsDeviceHandle handle = nullptr;
    ASSERT_EQ(Ns2_OpenDevice(uri.c_str(), &handle), NsStatusOk);
    ASSERT_EQ(Ns2_StartStream(handle, 0), NsStatusOk);
    ASSERT_TRUE(ReadUntil(handle, NsFrameReadyDepth));

    m_camera.Unplug();
    // Reads fail (once frames captured before the unplug are read), the removal shows in
    // the list, close returns.
    EXPECT_TRUE(test::WaitFor([&] { return !ReadUntil(handle, NsFrameReadyDepth, 5); }, 20s));
    EXPECT_TRUE(test::WaitFor(
        [&] {
            for (const NsDeviceInfo& d : test::Listed()) {
                if (uri == d.uri) {
                    return d.status == Unconnected;
                }
            }
            return true;
        },
        20s));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Ns2_CloseDevice(&handle), NsStatusOk);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    EXPECT_EQ(m_bus.Kernel().OpenDescriptors(), 0u);
}

TEST_F(UsbCamera, CameraBackUnderANewPathKeepsItsAliasAndOpens) {
    const std::string first = m_camera.VideoPath();
    ASSERT_TRUE(test::WaitFor([&] { return test::IsListed(first); }, 20s));
    m_camera.Unplug();
    // Back on other nodes (the kernel numbers them anew), the same camera.
    sim::SimUsbConfig again;
    again.videoIndex = 2;
    again.hidIndex = 1;
    sim::SimUsbCamera back(m_bus, again);
    back.Plug();
    const std::string second = back.VideoPath();
    ASSERT_NE(first, second);
    auto status = [](const std::string& uri) {
        for (const NsDeviceInfo& d : test::Listed()) {
            if (uri == d.uri) {
                return std::make_pair(true, d);
            }
        }
        return std::make_pair(false, NsDeviceInfo{});
    };
    ASSERT_TRUE(test::WaitFor([&] { return status(second).first; }, 20s));
    EXPECT_STREQ(status(second).second.alias, "QXUSB0001");
    // The old path names no connected camera.
    EXPECT_TRUE(test::WaitFor(
        [&] { return !status(first).first || status(first).second.status == Unconnected; }, 20s));
    NsDeviceHandle handle = nullptr;
    ASSERT_EQ(Ns2_OpenDeviceByAlias("QXUSB0001", &handle), NsStatusOk);
    ASSERT_EQ(Ns2_StartStream(handle, 0), NsStatusOk);
    EXPECT_TRUE(ReadUntil(handle, NsFrameReadyDepth));
    EXPECT_EQ(Ns2_CloseDevice(&handle), NsStatusOk);
}

}  // namespace
}  // namespace quorix
