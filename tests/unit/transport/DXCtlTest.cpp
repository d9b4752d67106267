// DXCtl and the Linux capture code beneath it, run against the stand-in V4L2 driver: the
// registry by whole path, the format the driver settles on, newest-sample capture and its
// bounds, extension-unit commands and how the unit is found, and an unplug mid-stream.
#include "transport/DXCtl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/Status.h"
#include "platform/fake/FakeVideo.h"
#include "support/Wait.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;
using platform::FakeVideoNode;
using platform::kFourCCMjpeg;
using platform::kFourCCYuyv;

constexpr uint8_t kUnit = 7;

FakeVideoNode::Config Camera(bool withDescriptors = true) {
    FakeVideoNode::Config c;
    c.formats = {{kFourCCMjpeg, 1920, 1080, 64 * 1024}, {kFourCCYuyv, 640, 480, 640 * 480 * 2}};
    c.unitId = kUnit;
    if (withDescriptors) {
        c.descriptors = FakeVideoNode::Descriptors(kUnit, {2, 3, 7});
    }
    return c;
}

class DXCtlTest : public ::testing::Test {
protected:
    void SetUp() override { platform::SetVideoKernelForTesting(&m_kernel); }
    void TearDown() override { platform::SetVideoKernelForTesting(nullptr); }

    std::shared_ptr<FakeVideoNode> Add(const std::string& node, FakeVideoNode::Config config) {
        auto device = std::make_shared<FakeVideoNode>(std::move(config));
        m_kernel.Add(node, device);
        return device;
    }
    static CaptureRequest Request(const std::string& path, uint32_t w = 1920, uint32_t h = 1080,
                                  uint8_t encoding = 0) {
        return {w, h, path, encoding};
    }

    platform::FakeVideoKernel m_kernel;
};

TEST_F(DXCtlTest, RegistrySharesOneObjectPerWholePath) {
    const auto a = DXCtl::ForPath("/dev/video1?usb=1-1&id=f5e2:0101");
    EXPECT_EQ(DXCtl::ForPath("/dev/video1?usb=1-1&id=f5e2:0101"), a);
    EXPECT_NE(DXCtl::ForPath("/dev/video10?usb=1-1&id=f5e2:0101"), a);
    EXPECT_NE(DXCtl::ForPath("/dev/video1?usb=1-1.2&id=f5e2:0101"), a);
}

TEST_F(DXCtlTest, FormatTheDriverAdjustedIsRefusedButCommandsStillWork) {
    const auto node = Add("/dev/video3", Camera());
    DXCtl ctl("/dev/video3");
    // 1280 x 720 MJPEG is not offered: the driver settles on 1920 x 1080.
    ASSERT_EQ(ctl.Open(Request("/dev/video3", 1280, 720)), 0);
    EXPECT_EQ(ctl.FrameSize(), 0u);
    EXPECT_EQ(node->MappedBuffers(), 0u);
    EXPECT_EQ(ctl.StartStream(), 0);
    EXPECT_FALSE(node->Streaming());
    std::vector<uint8_t> buffer(16);
    uint32_t length = 16;
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), kStatusNotSupported);
    EXPECT_EQ(length, 0u);
    uint8_t data[3] = {1, 2, 3};
    uint32_t received = 0;
    EXPECT_EQ(ctl.SetCmd(0x02, data, 3, 3, DXCtl::kSet, received), 0);
    EXPECT_EQ(ctl.Open(Request("/dev/video3")), 1);  // open already: nothing touched
    EXPECT_EQ(ctl.FrameSize(), 0u);
}

TEST_F(DXCtlTest, ChosenFormatStreamsTheNewestSampleWithinTheCallersCapacity) {
    const auto node = Add("/dev/video3", Camera());
    DXCtl ctl("/dev/video3");
    ASSERT_EQ(ctl.Open(Request("/dev/video3", 640, 480, 2)), 0);
    EXPECT_EQ(ctl.FrameSize(), 640u * 480 * 2);
    EXPECT_EQ(node->Format().fourcc, kFourCCYuyv);
    EXPECT_EQ(node->MappedBuffers(), 0u);  // mapped when streaming starts, not at open
    ASSERT_EQ(ctl.StartStream(), 0);
    EXPECT_EQ(node->MappedBuffers(), DXCtl::kBuffers);
    ASSERT_TRUE(node->Streaming());

    std::vector<uint8_t> buffer(64, 0xEE);
    uint32_t length = 64;
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), kStatusNotSupported);  // nothing yet

    const std::vector<uint8_t> first(40, 1);
    const std::vector<uint8_t> second(30, 2);
    ASSERT_TRUE(node->Deliver(first.data(), first.size()));
    ASSERT_TRUE(test::WaitFor([&] { return node->QueuedBuffers() == 3; }, 5s));
    ASSERT_TRUE(node->Deliver(second.data(), second.size()));
    // The older sample goes back to the driver as soon as the newer one is taken.
    ASSERT_TRUE(test::WaitFor([&] { return node->QueuedBuffers() == 3; }, 5s));
    length = 64;
    ASSERT_EQ(ctl.ReadData(buffer.data(), length), 0);
    EXPECT_EQ(length, 30u);
    EXPECT_EQ(buffer[0], 2);
    EXPECT_EQ(buffer[30], 0xEE);
    length = 64;
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), kStatusNotSupported);  // read once only

    const std::vector<uint8_t> big(100, 3);
    ASSERT_TRUE(node->Deliver(big.data(), big.size()));
    length = 64;
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), kStatusNotSupported);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer[40], 0xEE);  // nothing copied of a sample that does not fit

    EXPECT_EQ(ctl.StopStream(), 0);
    EXPECT_FALSE(node->Streaming());
    EXPECT_EQ(ctl.CloseDevice(), 0);
    EXPECT_EQ(m_kernel.OpenDescriptors(), 0u);
}

TEST_F(DXCtlTest, SampleClaimingMoreThanItsBufferIsGivenBackUnread) {
    const auto node = Add("/dev/video3", Camera());
    DXCtl ctl("/dev/video3");
    ASSERT_EQ(ctl.Open(Request("/dev/video3", 640, 480, 2)), 0);
    ASSERT_EQ(ctl.StartStream(), 0);
    const std::vector<uint8_t> sample(10, 5);
    node->ClaimNextBytesUsed(640 * 480 * 2 + 1);
    ASSERT_TRUE(node->Deliver(sample.data(), sample.size()));
    ASSERT_TRUE(test::WaitFor([&] { return node->QueuedBuffers() == 4; }, 5s));
    std::vector<uint8_t> buffer(640 * 480 * 4);
    uint32_t length = static_cast<uint32_t>(buffer.size());
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), kStatusNotSupported);
    // A sample the driver cut short is refused the same way.
    const std::vector<uint8_t> tooLong(640 * 480 * 2 + 8, 6);
    ASSERT_TRUE(node->Deliver(tooLong.data(), tooLong.size()));
    ASSERT_TRUE(test::WaitFor([&] { return node->QueuedBuffers() == 4; }, 5s));
    length = static_cast<uint32_t>(buffer.size());
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), kStatusNotSupported);
    ctl.CloseDevice();
}

TEST_F(DXCtlTest, ExtensionUnitCommandsUseTheUnitTheDescriptorsDeclare) {
    const auto node = Add("/dev/video3", Camera());
    std::vector<std::tuple<uint8_t, uint8_t, uint16_t>> seen;
    uint8_t stored[64] = {};
    node->SetControlHandler([&](uint8_t selector, uint8_t query, uint8_t* data, uint16_t size) {
        seen.emplace_back(selector, query, size);
        if (query == platform::kUvcGetLen) {
            data[0] = 64;
            data[1] = 0;
        } else if (query == platform::kUvcSetCur) {
            memcpy(stored, data, size);
        } else {
            memcpy(data, stored, size);
        }
        return 0;
    });
    DXCtl ctl("/dev/video3");
    ASSERT_EQ(ctl.Open(Request("/dev/video3")), 0);
    uint8_t set[2] = {0x07, 0x02};
    uint32_t received = 0;
    ASSERT_EQ(ctl.SetCmd(0x07, set, 1, 1, DXCtl::kSet, received), 0);
    EXPECT_EQ(stored[0], 0x07);
    EXPECT_EQ(stored[1], 0x00);  // only the request's length goes out, the block is zeroed
    uint8_t get[4] = {0, 0xAA, 0xAA, 0xAA};
    ASSERT_EQ(ctl.SetCmd(0x07, get, 2, 2, DXCtl::kGet, received), 0);
    EXPECT_EQ(received, 2u);
    EXPECT_EQ(get[0], 0x07);
    EXPECT_EQ(get[2], 0xAA);  // beyond the reply length: untouched
    // The unit was confirmed once (GET_LEN on its first declared selector), then used.
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(seen[0], std::make_tuple(uint8_t{2}, platform::kUvcGetLen, uint16_t{2}));
    EXPECT_EQ(seen[1], std::make_tuple(uint8_t{7}, platform::kUvcSetCur, uint16_t{64}));

    EXPECT_EQ(ctl.SetCmd(0x07, get, 2, 2, 2, received), kStatusTransferError);
    ctl.SetConnectStatus(false);
    EXPECT_EQ(ctl.SetCmd(0x07, get, 2, 2, DXCtl::kGet, received), kStatusNotOpened);
    ctl.SetConnectStatus(true);
    ctl.CloseDevice();
}

TEST_F(DXCtlTest, WithoutDescriptorsTheUnitIsProbedAndAZeroLengthControlFails) {
    const auto node = Add("/dev/video4", Camera(false));
    DXCtl ctl("/dev/video4");
    ASSERT_EQ(ctl.Open(Request("/dev/video4")), 0);
    uint8_t data[3] = {1, 2, 3};
    uint32_t received = 0;
    EXPECT_EQ(ctl.SetCmd(0x02, data, 3, 3, DXCtl::kSet, received), 0);
    node->SetControlHandler([](uint8_t, uint8_t query, uint8_t* d, uint16_t) {
        if (query == platform::kUvcGetLen) {
            d[0] = 0;
            d[1] = 0;
        }
        return 0;
    });
    EXPECT_EQ(ctl.SetCmd(0x02, data, 3, 3, DXCtl::kGet, received), kStatusTransferError);
    EXPECT_EQ(data[0], 1);
    ctl.CloseDevice();
}

TEST_F(DXCtlTest, UnplugWhileStreamingFailsReadsAndClosesPromptly) {
    const auto node = Add("/dev/video3", Camera());
    DXCtl ctl("/dev/video3");
    ASSERT_EQ(ctl.Open(Request("/dev/video3", 640, 480, 2)), 0);
    ASSERT_EQ(ctl.StartStream(), 0);
    node->Unplug();
    std::vector<uint8_t> buffer(64);
    uint32_t length = 64;
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), kStatusNotSupported);
    uint32_t received = 0;
    EXPECT_EQ(ctl.SetCmd(0x02, buffer.data(), 3, 3, DXCtl::kGet, received), kStatusTransferError);
    EXPECT_EQ(ctl.CloseDevice(), 0);
    EXPECT_EQ(m_kernel.OpenDescriptors(), 0u);
}

TEST_F(DXCtlTest, NodesThatCannotCaptureOrOpenAreRefused) {
    FakeVideoNode::Config metadata = Camera();
    metadata.capture = false;
    Add("/dev/video5", metadata);
    m_kernel.Deny("/dev/video6");
    DXCtl meta("/dev/video5");
    EXPECT_EQ(meta.Open(Request("/dev/video5")), kStatusNotOpened);
    DXCtl denied("/dev/video6");
    EXPECT_EQ(denied.Open(Request("/dev/video6")), kStatusNotOpened);
    DXCtl missing("/dev/video9");
    EXPECT_EQ(missing.Open(Request("/dev/video9")), kStatusNotOpened);
    uint8_t data[1] = {0};
    uint32_t received = 0;
    EXPECT_EQ(missing.SetCmd(0x02, data, 1, 1, DXCtl::kSet, received), kStatusNotOpened);
    EXPECT_EQ(missing.StartStream(), kStatusNotOpened);
    EXPECT_EQ(m_kernel.OpenDescriptors(), 0u);
}

TEST(ExtensionUnits, DescriptorsAreWalkedWithinTheirLengths) {
    std::vector<uint8_t> d = FakeVideoNode::Descriptors(9, {1, 2, 16});
    auto units = platform::ParseExtensionUnits(d);
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units[0].unitId, 9);
    EXPECT_EQ(units[0].selectors, (std::vector<uint8_t>{1, 2, 16}));
    d.resize(d.size() - 3);  // cut inside the unit: nothing read past the end
    EXPECT_TRUE(platform::ParseExtensionUnits(d).empty());
    d = FakeVideoNode::Descriptors(9, {1});
    d[5] = 0x01;  // an audio interface: its units are not the camera's
    EXPECT_TRUE(platform::ParseExtensionUnits(d).empty());
}

}  // namespace
}  // namespace quorix
