// Tests of frame time stamps and latency.
#include "cli/FrameClock.h"

#include <gtest/gtest.h>

namespace quorix::cli {
namespace {

ClockTime At(uint16_t h, uint16_t m, uint16_t s, uint16_t ms) {
    return ClockTime{h, m, s, ms};
}

TEST(FrameClock, FieldsLieLowestFirstAsSecondMinuteHourMillisecond) {
    const uint64_t stamp = 0x0001'0002'0003'0004ULL;  // ms 1, hour 2, minute 3, second 4
    const std::optional<ClockTime> t = DecodeStamp(stamp);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->second, 4);
    EXPECT_EQ(t->minute, 3);
    EXPECT_EQ(t->hour, 2);
    EXPECT_EQ(t->millisecond, 1);
    EXPECT_EQ(EncodeStamp(*t), stamp);
}

TEST(FrameClock, OutOfRangeFieldsMakeNoTime) {
    EXPECT_TRUE(DecodeStamp(EncodeStamp(At(23, 59, 59, 999))));
    EXPECT_FALSE(DecodeStamp(EncodeStamp(At(24, 0, 0, 0))));
    EXPECT_FALSE(DecodeStamp(EncodeStamp(At(0, 60, 0, 0))));
    EXPECT_FALSE(DecodeStamp(EncodeStamp(At(0, 0, 60, 0))));
    EXPECT_FALSE(DecodeStamp(EncodeStamp(At(0, 0, 0, 1000))));
    EXPECT_FALSE(LatencyMs(~0ULL, At(12, 0, 0, 0)));
}

TEST(FrameClock, LatencyAcrossSecondHourAndMidnight) {
    struct Case {
        ClockTime received;
        ClockTime now;
        std::optional<int64_t> latency;
    };
    const Case cases[] = {
        {At(10, 0, 0, 100), At(10, 0, 0, 130), 30},
        {At(10, 0, 0, 990), At(10, 0, 1, 5), 15},     // next second
        {At(10, 59, 59, 980), At(11, 0, 0, 20), 40},  // next hour
        {At(23, 59, 59, 950), At(0, 0, 0, 50), 100},  // past midnight
        {At(10, 0, 0, 0), At(10, 0, 0, 0), 0},
        {At(10, 0, 0, 200), At(10, 0, 0, 100), std::nullopt},  // ahead of now
        {At(0, 0, 0, 50), At(23, 59, 59, 950), std::nullopt},  // ahead across midnight
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LatencyMs(EncodeStamp(c.received), c.now), c.latency)
            << c.received.hour << ":" << c.received.minute << ":" << c.received.second << "."
            << c.received.millisecond;
    }
}

TEST(FrameClock, LocalClockIsAValidTime) {
    EXPECT_TRUE(DecodeStamp(EncodeStamp(LocalClockNow())));
}

}  // namespace
}  // namespace quorix::cli
