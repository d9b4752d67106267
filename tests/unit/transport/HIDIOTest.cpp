// HIDIO against scripted HID endpoints: the report layout, reply matching and its bounds,
// a camera that never answers, and one that goes away mid-exchange.
#include "transport/HIDIO.h"

#include <gtest/gtest.h>

#include <array>

#include "base/Status.h"
#include "platform/fake/FakeHid.h"

namespace quorix {
namespace {

using platform::FakeHidEndpoint;
using platform::HidReport;

constexpr const char* kNode = "/dev/hidraw7";

HidReport Reply(uint8_t command, std::initializer_list<uint8_t> payload, uint8_t length = 0) {
    HidReport r(64, 0);
    r[0] = 0xAA;
    r[1] = command;
    r[2] = length != 0 ? length : static_cast<uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), r.begin() + 3);
    return r;
}

class HIDIOTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetHidPlatformForTesting(&m_platform);
        m_platform.Add(kNode, m_camera);
        ASSERT_EQ(m_io.OpenDevice("/dev/hidraw7?usb=1-1&id=f5e2:0101"), 0);
    }
    void TearDown() override {
        m_io.CloseDevice();
        platform::SetHidPlatformForTesting(nullptr);
    }

    platform::FakeHidPlatform m_platform;
    std::shared_ptr<FakeHidEndpoint> m_camera = std::make_shared<FakeHidEndpoint>();
    HIDIO m_io;
};

TEST_F(HIDIOTest, SetWritesOneReportAndReadsNothing) {
    uint8_t data[3] = {0x01, 0x2C, 0x01};
    uint32_t received = 9;
    m_camera->Queue(Reply(0x02, {7}));  // would be taken by a read
    EXPECT_EQ(m_io.SetCmd(0x02, data, 3, 3, HIDIO::kSet, received), 0);
    EXPECT_EQ(received, 0u);
    const auto written = m_camera->Written();
    ASSERT_EQ(written.size(), 1u);
    HidReport expected(64, 0);
    expected[0] = 0xAA;
    expected[1] = 0x02;
    expected[2] = 3;
    expected[3] = 0x01;
    expected[4] = 0x2C;
    expected[5] = 0x01;
    EXPECT_EQ(written[0], expected);
}

TEST_F(HIDIOTest, LongRequestIsCutToPayloadRoomButKeepsItsLength) {
    std::array<uint8_t, 64> data;
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i + 1);
    }
    uint32_t received = 0;
    EXPECT_EQ(m_io.SetCmd(0x07, data.data(), 64, 64, HIDIO::kSet, received), 0);
    const HidReport report = m_camera->Written().at(0);
    EXPECT_EQ(report[2], 64);
    EXPECT_EQ(report[3], 1);
    EXPECT_EQ(report[63], 61);  // 61 payload bytes fit; the last three are dropped
}

TEST_F(HIDIOTest, GetTakesOnlyItsOwnWellFormedReplyBoundedByTheRequest) {
    m_camera->SetResponder([](const HidReport& w) {
        return std::vector<HidReport>{
            Reply(0x85, {9, 9}),                          // another command
            Reply(w[1], {9, 9}, 62),                      // a length no report can carry
            Reply(w[1], {0x01, 0x34, 0x12, 0xEE, 0xEE}),  // ours, longer than asked
        };
    });
    uint8_t data[6] = {0x01, 0, 0, 0x55, 0x55, 0x55};
    uint32_t received = 0;
    EXPECT_EQ(m_io.SetCmd(0x02, data, 3, 3, HIDIO::kGet, received), 0);
    EXPECT_EQ(m_camera->Written().at(0)[1], 0x82);
    EXPECT_EQ(received, 3u);
    EXPECT_EQ(data[1], 0x34);
    EXPECT_EQ(data[2], 0x12);
    EXPECT_EQ(data[3], 0x55);  // beyond the request: untouched
}

TEST_F(HIDIOTest, GetWithoutAnswerFailsAfterSixPasses) {
    uint8_t data[1] = {0x01};
    uint32_t received = 0;
    EXPECT_EQ(m_io.SetCmd(0x07, data, 1, 1, HIDIO::kGet, received), kStatusTransferError);
    EXPECT_EQ(m_camera->Written().size(), 6u);  // the request again after each pass
    EXPECT_EQ(data[0], 0x01);
}

TEST_F(HIDIOTest, UnplugEndsAnExchangeAtOnceAndLaterOnesFail) {
    m_camera->SetResponder([this](const HidReport&) {
        m_camera->Unplug();
        return std::vector<HidReport>{};
    });
    uint8_t data[1] = {0x01};
    uint32_t received = 0;
    EXPECT_EQ(m_io.SetCmd(0x07, data, 1, 1, HIDIO::kGet, received), kStatusTransferError);
    EXPECT_EQ(m_camera->Written().size(), 1u);
    EXPECT_EQ(m_io.SetCmd(0x07, data, 1, 1, HIDIO::kSet, received), kStatusTransferError);
}

TEST_F(HIDIOTest, RefusedOpensAndUnsupportedOperations) {
    HIDIO other;
    m_platform.Deny("/dev/hidraw9");
    EXPECT_EQ(other.OpenDevice("/dev/hidraw9?usb=1-2&id=f5e2:0101"), kStatusNotOpened);
    EXPECT_EQ(other.OpenDevice("/dev/hidraw8"), kStatusNotOpened);
    uint32_t received = 0;
    uint8_t data[1] = {0};
    EXPECT_EQ(other.SetCmd(0x02, data, 1, 1, HIDIO::kGet, received), kStatusTransferError);
    uint32_t length = 10;
    EXPECT_EQ(m_io.ReadData(data, length), kStatusFailed);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(m_io.StartStream(), kStatusFailed);
    EXPECT_EQ(m_io.StopStream(), kStatusFailed);
    EXPECT_EQ(m_io.SetConnectStatus(false), 0);
}

}  // namespace
}  // namespace quorix
