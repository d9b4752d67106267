// The local-time breakdown: its fields count from where the log and the frame times expect.
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <ctime>

namespace quorix::platform {
namespace {

// The same clock as the breakdown reads (time() may lag it by a tick).
tm LocalNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    return local;
}

TEST(PlatformClock, LocalTimeHasFullYearOneBasedMonthAndMilliseconds) {
    // Taken between two readings of the C library's clock that fall on the same minute, so
    // the breakdown must agree with them field by field.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const tm before = LocalNow();
        const LocalTime t = LocalTimeNow();
        const tm after = LocalNow();
        if (before.tm_min != after.tm_min) {
            continue;
        }
        EXPECT_EQ(t.year, before.tm_year + 1900);
        EXPECT_EQ(t.month, before.tm_mon + 1);
        EXPECT_EQ(t.day, before.tm_mday);
        EXPECT_EQ(t.hour, before.tm_hour);
        EXPECT_EQ(t.minute, before.tm_min);
        EXPECT_GE(t.second, before.tm_sec);
        EXPECT_LE(t.second, after.tm_sec);
        EXPECT_GE(t.millisecond, 0);
        EXPECT_LE(t.millisecond, 999);
        return;
    }
    FAIL() << "the minute changed during every attempt";
}

}  // namespace
}  // namespace quorix::platform
