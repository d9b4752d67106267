// The USB channels against what this machine has: every camera the Linux enumeration
// finds answers over its HID reports and its UVC extension unit and opens its capture
// format; and the capture code against the kernel's virtual video driver (vivid), when it
// is loaded. Each test skips when there is nothing to run against.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "model/ModelTraits.h"
#include "platform/UsbPlatform.h"
#include "platform/VideoDevice.h"
#include "transport/DXCtl.h"
#include "transport/HIDIO.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;

TEST(RealUsbCamera, ChannelsAnswer) {
    int found = 0;
    for (const platform::UsbInterface& video : platform::Usb().VideoInterfaces()) {
        const ModelTraits* model = FindModelByUsbIds(video.vendorId, video.productId);
        if (model == nullptr) {
            continue;
        }
        ++found;
        SCOPED_TRACE(video.path);
        const std::string problem = platform::UsbCameraAccessProblem(video.path);
        ASSERT_TRUE(problem.empty()) << problem;
        DXCtl capture(video.path);
        ASSERT_EQ(capture.Open({model->recordColour.width, model->recordColour.height, video.path,
                                model->recordColourFormat}),
                  0);
        EXPECT_GT(capture.FrameSize(), 0u) << "the camera offers its record's format";
        uint8_t block[64] = {0x05};  // the firmware version text
        uint32_t received = 0;
        EXPECT_EQ(capture.SetCmd(0x13, block, 1, 1, DXCtl::kSet, received), 0);
        EXPECT_EQ(capture.SetCmd(0x13, block, 64, 64, DXCtl::kGet, received), 0);
        capture.CloseDevice();
        for (const platform::UsbInterface& hid : platform::Usb().HidInterfaces()) {
            if (hid.containerId != video.containerId) {
                continue;
            }
            HIDIO io;
            ASSERT_EQ(io.OpenDevice(hid.path.c_str()), 0);
            uint8_t request[64] = {0x05};
            EXPECT_EQ(io.SetCmd(0x13, request, 1, 1, HIDIO::kSet, received), 0);
            EXPECT_EQ(io.SetCmd(0x13, request, 61, 1, HIDIO::kGet, received), 0);
        }
    }
    if (found == 0) {
        GTEST_SKIP() << "no USB camera attached";
    }
}

// The first vivid capture node, or empty.
std::string VividNode() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/video4linux", ec)) {
        std::ifstream name(entry.path() / "name");
        std::string text;
        std::getline(name, text);
        if (text.find("vivid") != std::string::npos && text.find("vid-cap") != std::string::npos) {
            return "/dev/" + entry.path().filename().string();
        }
    }
    return {};
}

TEST(Vivid, FormatTheDriverAdjustsIsRefusedAndSamplesFitTheirBuffers) {
    const std::string node = VividNode();
    if (node.empty()) {
        GTEST_SKIP() << "the vivid module is not loaded (modprobe vivid)";
    }
    {
        DXCtl odd(node);
        ASSERT_EQ(odd.Open({1234, 567, node, 2}), 0);
        EXPECT_EQ(odd.FrameSize(), 0u) << "vivid has no 1234 x 567: the open refuses to stream";
        odd.CloseDevice();
    }
    DXCtl capture(node);
    ASSERT_EQ(capture.Open({640, 480, node, 2}), 0);
    ASSERT_GT(capture.FrameSize(), 0u);
    ASSERT_EQ(capture.StartStream(), 0);
    std::vector<uint8_t> buffer(640 * 480 * 2);
    bool read = false;
    for (int i = 0; i < 20 && !read; ++i) {
        uint32_t length = static_cast<uint32_t>(buffer.size());
        read =
            capture.ReadData(buffer.data(), length) == 0 && length > 0 && length <= buffer.size();
    }
    EXPECT_TRUE(read);
    uint32_t small = 16;
    EXPECT_NE(capture.ReadData(buffer.data(), small), 0) << "a sample never overruns";
    EXPECT_EQ(capture.StopStream(), 0);
    capture.CloseDevice();
}

}  // namespace
}  // namespace quorix
