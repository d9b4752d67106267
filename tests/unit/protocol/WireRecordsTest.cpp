// The device status record and the pushed initial parameters: the status layout pinned byte
// by byte, and payloads that end early or lie about their lengths. (The pushed parameters'
// round trip is the simulator's frame builder test.)
#include <gtest/gtest.h>

#include <cstring>

#include "log/Log.h"
#include "protocol/DeviceStatus.h"
#include "protocol/InitParams.h"

namespace quorix {
namespace {

TEST(DeviceStatus, LayoutAndRoundTrip) {
    DeviceStatus s;
    s.statusFlags = DeviceStatus::kLowPowerBit | 2;
    s.slaveMode = 1;
    s.dataMode = 11;
    s.depthRange = 4;
    s.irs2 = 1;
    const uint8_t wdr[7] = {3, 0, 1, 3, 1, 6, 1};
    memcpy(s.wdr, wdr, 7);
    s.subMode = 2;
    s.frameCounter = 0x01020304;
    s.pulseCount = 0x1234;
    s.gmmGain = 500;
    s.thresholdX10 = 250;
    s.colourWidth = 1920;
    s.colourHeight = 1080;
    const std::vector<uint8_t> bytes = EncodeDeviceStatus(s);
    ASSERT_EQ(bytes.size(), 32u);
    const std::vector<uint8_t> expected = {
        0x22, 1,    11,   4,    1, 3,    0,    1,    3,    1,    6,    1,    2,    0,    0,    0,
        0x04, 0x03, 0x02, 0x01, 5, 0x34, 0x12, 0xF4, 0x01, 0xFA, 0x00, 0x80, 0x07, 0x38, 0x04, 0};
    EXPECT_EQ(bytes, expected);
    DeviceStatus back;
    ASSERT_TRUE(ParseDeviceStatus(bytes.data(), bytes.size(), back));
    EXPECT_EQ(back.thresholdX10, 250);
    EXPECT_EQ(back.colourHeight, 1080);
    EXPECT_EQ(back.wdr[5], 6);
}

TEST(DeviceStatus, ShortOrOverstatedPayloadsAreReadOnlyAsFarAsTheyReach) {
    DeviceStatus s;
    s.pulseCount = 7;
    std::vector<uint8_t> bytes = EncodeDeviceStatus(DeviceStatus{});
    EXPECT_FALSE(ParseDeviceStatus(bytes.data(), 15, s));
    EXPECT_EQ(s.pulseCount, 7);
    bytes[20] = 200;                                      // claims 200 values
    bytes[21] = 9;                                        // pulse count 9
    ASSERT_TRUE(ParseDeviceStatus(bytes.data(), 23, s));  // one value arrived
    EXPECT_EQ(s.pulseCount, 9);
    EXPECT_EQ(s.gmmGain, 0);
}

TEST(InitParams, MalformedPayloadsAreRefusedWithTheirLogLines) {
    InitParamBlocks blocks;
    log::Capture capture;
    const uint8_t tiny[4] = {};
    EXPECT_EQ(DecodeInitParams(tiny, 4, blocks), -1);
    EXPECT_TRUE(capture.Contains("length:4 is invalid."));

    std::vector<uint8_t> payload = EncodeInitParams(PushedParameters{});
    payload[1] = 0xFF;  // the first block claims more bytes than follow
    payload[2] = 0xFF;
    EXPECT_EQ(DecodeInitParams(payload.data(), payload.size(), blocks), -1);
    EXPECT_TRUE(capture.Contains("dataLenth.lenth:65535"));

    const uint8_t wrongLength[] = {7, 2, 0, 0, 0, 1, 2};  // type 7 is one byte
    EXPECT_EQ(DecodeInitParams(wrongLength, sizeof wrongLength, blocks), -1);
    EXPECT_TRUE(capture.Contains("typeId:7 dataLenth.lenth:2 is invalid."));

    const uint8_t unknown[] = {30, 1, 0, 0, 0, 9};  // skipped
    EXPECT_EQ(DecodeInitParams(unknown, sizeof unknown, blocks), 0);

    InitParamBlocks partial;
    PushedParameters out;
    EXPECT_FALSE(ReadPushedParameters(partial, out));
}

}  // namespace
}  // namespace quorix
