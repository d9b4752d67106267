// The end-to-end benchmark's measurements: percentiles, index gaps, the /proc texts it
// reads, receive-stamp latency across midnight, and the simulator's counter line.
#include "E2eStats.h"

#include <gtest/gtest.h>

#include "cli/FrameClock.h"

namespace quorix::bench {
namespace {

TEST(E2eStats, PercentileTakesTheNearestRank) {
    struct Case {
        std::vector<double> values;
        double p;
        double expected;
    };
    const Case cases[] = {
        {{}, 50, 0},
        {{7}, 99, 7},
        {{5, 1, 4, 2, 3}, 50, 3},
        {{5, 1, 4, 2, 3}, 0, 1},
        {{5, 1, 4, 2, 3}, 100, 5},
        {{1, 2, 3, 4}, 50, 2},  // rank ceil(2) = 2nd
        {std::vector<double>(99, 1.0), 99, 1.0},
    };
    for (const Case& c : cases) {
        std::vector<double> values = c.values;
        EXPECT_EQ(Percentile(values, c.p), c.expected) << c.values.size() << " @" << c.p;
    }
    std::vector<double> hundred;
    for (int i = 100; i >= 1; --i) {
        hundred.push_back(i);
    }
    EXPECT_EQ(Percentile(hundred, 99), 99);
    EXPECT_EQ(Percentile(hundred, 99.5), 100);
}

TEST(E2eStats, IndexTrackerCountsGapsAndBackwardSteps) {
    IndexTracker t;
    for (uint32_t i : {10u, 11u, 12u, 15u, 16u, 20u, 20u, 3u, 4u}) {
        t.Add(i);
    }
    EXPECT_EQ(t.Delivered(), 9u);
    EXPECT_EQ(t.First(), 10u);
    EXPECT_EQ(t.Last(), 4u);
    EXPECT_EQ(t.Missing(), 2u + 3u);  // 13, 14 and 17..19; 5..19 after the restart are not
    EXPECT_EQ(t.GapPlaces(), 2u);
    EXPECT_EQ(t.Backwards(), 2u);  // the repeated 20 and the restart at 3

    IndexTracker none;
    EXPECT_EQ(none.Delivered(), 0u);
    EXPECT_EQ(none.Missing(), 0u);
}

TEST(E2eStats, VmRssIsReadFromItsOwnLineOnly) {
    EXPECT_EQ(ParseVmRssKiB("Name:\tx\nVmHWM:\t  900 kB\nVmRSS:\t   1234 kB\nRssAnon: 5 kB\n"),
              1234u);
    EXPECT_EQ(ParseVmRssKiB("VmRSS:\t7 kB\n"), 7u);
    EXPECT_EQ(ParseVmRssKiB("XVmRSS:\t7 kB\n"), std::nullopt);  // not at a line start
    EXPECT_EQ(ParseVmRssKiB("VmRSS:\t7 MB\n"), std::nullopt);
    EXPECT_EQ(ParseVmRssKiB("VmRSS:\n"), std::nullopt);
    EXPECT_EQ(ParseVmRssKiB(""), std::nullopt);
    EXPECT_GT(ReadOwnRssKiB(), 0u);

    RssSeries s;
    for (uint64_t kib : {100u, 140u, 90u, 120u}) {
        s.Add(kib);
    }
    EXPECT_EQ(s.Count(), 4u);
    EXPECT_EQ(s.First(), 100u);
    EXPECT_EQ(s.Last(), 120u);
    EXPECT_EQ(s.Min(), 90u);
    EXPECT_EQ(s.Max(), 140u);
}

TEST(E2eStats, ProcStatGivesTheNameAndCpuOfOddNames) {
    // pid (comm) state ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt utime
    // stime ...
    const std::string stat = "42 (Tof) Decode)) R 1 2 3 4 5 6 7 8 9 10 250 50 0 0 20 0\n";
    const auto cpu = ParseProcStat(stat, 100);
    ASSERT_TRUE(cpu);
    EXPECT_EQ(cpu->name, "Tof) Decode)");
    EXPECT_DOUBLE_EQ(cpu->seconds, 3.0);
    EXPECT_FALSE(ParseProcStat("42 (short) R 1 2 3\n", 100));
    EXPECT_FALSE(ParseProcStat("no parentheses", 100));
    EXPECT_FALSE(ParseProcStat(stat, 0));

    const auto threads = ReadOwnThreadsCpu();
    EXPECT_FALSE(threads.empty());
    EXPECT_TRUE(ReadProcStat("/proc/self/stat"));
}

TEST(E2eStats, MachineBusyTicksLeaveIdleAndIowaitOut) {
    EXPECT_EQ(ParseBusyTicks("cpu  100 5 20 9000 300 1 2 3 0 0\ncpu0 1 2 3 4\n"), 131u);
    EXPECT_EQ(ParseBusyTicks("cpu  100 5 20 9000"), 125u);  // an old kernel's four fields
    EXPECT_FALSE(ParseBusyTicks("cpu0 100 5 20 9000"));
    EXPECT_FALSE(ParseBusyTicks("cpu  100 5"));
    EXPECT_GT(ReadMachineBusySeconds(), 0.0);
}

TEST(E2eStats, LatencyRunsFromTheStampAcrossMidnight) {
    const auto stamp = [](uint16_t h, uint16_t m, uint16_t s, uint16_t ms) {
        return cli::EncodeStamp({h, m, s, ms});
    };
    const double noon = 12 * 3600e3;
    EXPECT_DOUBLE_EQ(*StampLatencyMs(stamp(12, 0, 0, 0), noon + 4.25), 4.25);
    EXPECT_DOUBLE_EQ(*StampLatencyMs(stamp(23, 59, 59, 998), 1.5), 3.5);      // over midnight
    EXPECT_DOUBLE_EQ(*StampLatencyMs(stamp(12, 0, 0, 5), noon + 4.0), -1.0);  // clock stepped
    EXPECT_FALSE(StampLatencyMs(stamp(0, 0, 0, 0), noon + 1));                // half a day away
    EXPECT_FALSE(StampLatencyMs(stamp(24, 0, 0, 0), noon));                   // no such hour
    EXPECT_FALSE(StampLatencyMs(stamp(1, 0, 0, 1000), noon));
    const double now = LocalMsOfDayNow();
    EXPECT_GE(now, 0.0);
    EXPECT_LT(now, 24 * 3600e3);
}

TEST(E2eStats, SimCountsComeFromTheCamerasStopLine) {
    const auto c = ParseSimCounts(
        "camera QXBENCH session 0: captures 1830 sent 1825 dropped 4 last index 1829");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->captures, 1830u);
    EXPECT_EQ(c->sent, 1825u);
    EXPECT_EQ(c->dropped, 4u);
    EXPECT_EQ(c->lastIndex, 1829u);
    EXPECT_FALSE(ParseSimCounts("stopping on signal 15"));
    EXPECT_FALSE(ParseSimCounts("camera QX session 0: captures 1 sent 1"));
}

}  // namespace
}  // namespace quorix::bench
