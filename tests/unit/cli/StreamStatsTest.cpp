// Tests of the stream statistics.
#include "cli/StreamStats.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <quorix/quorix_api.h>

namespace quorix::cli {
namespace {

using ::testing::HasSubstr;

TEST(StreamStats, CountsFramesByKindAndReadOutcomes) {
    StreamStats stats(1000);
    for (int i = 0; i < 3; ++i) {
        stats.OnFrameSet(1000 + 100 * i);
        stats.OnFrame(DepthFrame, 10);
        stats.OnFrame(IRFrame, 10);
    }
    stats.OnFrame(RGBFrame, 10);
    stats.OnFrame(WDRDepthFrame, 10);
    stats.OnFrame(MappedDepthFrame, 10);
    stats.OnTimeout();
    stats.OnTimeout();
    stats.OnFailure();
    EXPECT_EQ(stats.FrameSets(), 3u);
    EXPECT_EQ(stats.LastFrameSetMs(), 1200);
    const std::string summary = stats.Summary(2000);
    EXPECT_THAT(summary, HasSubstr("frame sets: 3 in 1.0 s (3.0 fps)"));
    EXPECT_THAT(summary, HasSubstr("depth 4, IR 3, colour 1, mapped 1"));
    EXPECT_THAT(summary, HasSubstr("read time-outs: 2, read failures: 1"));
}

TEST(StreamStats, ProgressRateCoversOnlyTheTimeSinceTheLastLine) {
    StreamStats stats(0);
    for (int i = 0; i < 10; ++i) {
        stats.OnFrameSet(i * 100);
    }
    EXPECT_THAT(stats.ProgressLine(1000), HasSubstr(" 10.0 fps"));
    for (int i = 0; i < 5; ++i) {
        stats.OnFrameSet(1000 + i * 200);
    }
    EXPECT_THAT(stats.ProgressLine(2000), HasSubstr("  5.0 fps"));
    // A second line at the same instant divides by no time.
    EXPECT_THAT(stats.ProgressLine(2000), HasSubstr("  0.0 fps"));
}

TEST(StreamStats, LatencyMinMeanMaxAndUnstampedFrames) {
    StreamStats stats(0);
    EXPECT_THAT(stats.ProgressLine(10), HasSubstr("latency -"));
    EXPECT_THAT(stats.Summary(10), HasSubstr("no frame with a usable time stamp"));
    stats.OnFrame(DepthFrame, 30);
    stats.OnFrame(DepthFrame, 10);
    stats.OnFrame(DepthFrame, 20);
    stats.OnFrame(DepthFrame, std::nullopt);
    EXPECT_THAT(stats.ProgressLine(20), HasSubstr("latency 20 ms (10-30)"));
    const std::string summary = stats.Summary(20);
    EXPECT_THAT(summary, HasSubstr("min 10 ms, mean 20.0 ms, max 30 ms over 3 frames"));
    EXPECT_THAT(summary, HasSubstr("(1 without a usable time stamp)"));
}

}  // namespace
}  // namespace quorix::cli
