// Against the cameras attached to this machine (USB or on the network): every camera the
// library reports opens, streams depth frames of its mode's size, stops and closes. Skipped
// where none is found. Only the public interface is used, as an application would.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "quorix/quorix_api.h"
#include "support/DeviceList.h"

namespace {

using namespace std::chrono_literals;

TEST(RealCamera, EveryCameraFoundStreamsDepth) {
    ASSERT_EQ(Ns2_Initialize(), NsStatusOk);
    std::this_thread::sleep_for(3s);  // network cameras announce about once a second
    const std::vector<NsDeviceInfo> cameras = quorix::test::Listed();
    if (cameras.empty()) {
        Ns2_Shutdown();
        GTEST_SKIP() << "no camera attached";
    }
    for (const NsDeviceInfo& camera : cameras) {
        SCOPED_TRACE(std::string(camera.uri) + " (" + camera.alias + ")");
        NsDeviceHandle h = nullptr;
        ASSERT_EQ(Ns2_OpenDevice(camera.uri, &h), NsStatusOk);
        ASSERT_EQ(Ns2_StartStream(h, 0), NsStatusOk);
        NsFrameMode mode{};
        ASSERT_EQ(Ns2_GetFrameMode(h, 0, DepthFrame, &mode), NsStatusOk);
        int depthFrames = 0;
        for (int i = 0; i < 90 && depthFrames < 10; ++i) {
            uint32_t ready = 0;
            if (Ns2_ReadNextFrame(h, 0, &ready) != NsStatusOk || (ready & NsFrameReadyDepth) == 0) {
                continue;
            }
            NsFrame depth{};
            ASSERT_EQ(Ns2_GetFrame(h, 0, DepthFrame, &depth), NsStatusOk);
            EXPECT_EQ(+depth.width, +mode.resolutionWidth);
            EXPECT_EQ(+depth.height, +mode.resolutionHeight);
            EXPECT_EQ(+depth.dataLen, uint32_t{depth.width} * depth.height * 2);
            ++depthFrames;
        }
        EXPECT_EQ(depthFrames, 10) << "depth frames within 90 reads";
        EXPECT_EQ(Ns2_StopStream(h, 0), NsStatusOk);
        EXPECT_EQ(Ns2_CloseDevice(&h), NsStatusOk);
    }
    EXPECT_EQ(Ns2_Shutdown(), NsStatusOk);
}

}  // namespace
