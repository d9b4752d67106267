// Tests of the quorix-cli command line.
#include "cli/CliOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorix::cli {
namespace {

std::optional<int> Parse(std::vector<std::string> args, Options& options) {
    args.insert(args.begin(), "quorix-cli");
    std::vector<const char*> argv;
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    return ParseOptions(static_cast<int>(argv.size()), argv.data(), options);
}

TEST(CliOptions, ListWaitsTwoSecondsUnlessTold) {
    Options options;
    ASSERT_FALSE(Parse({"list"}, options));
    EXPECT_EQ(options.command, Command::kList);
    EXPECT_DOUBLE_EQ(options.waitSeconds, 2.0);
    ASSERT_FALSE(Parse({"list", "--wait", "0.5"}, options));
    EXPECT_DOUBLE_EQ(options.waitSeconds, 0.5);
}

TEST(CliOptions, StreamTakesUriSessionAndLimits) {
    Options options;
    ASSERT_FALSE(Parse(
        {"stream", "TK5P:QX1", "--session", "1", "--frames", "30", "--seconds", "2.5"}, options));
    EXPECT_EQ(options.command, Command::kStream);
    EXPECT_EQ(options.uri, "TK5P:QX1");
    EXPECT_EQ(options.session, 1u);
    EXPECT_EQ(options.frames, 30u);
    EXPECT_DOUBLE_EQ(options.seconds, 2.5);
    EXPECT_DOUBLE_EQ(options.waitSeconds, 5.0);

    Options unlimited;
    ASSERT_FALSE(Parse({"stream", "QX1"}, unlimited));
    EXPECT_EQ(unlimited.frames, 0u);
    EXPECT_DOUBLE_EQ(unlimited.seconds, 0.0);
}

TEST(CliOptions, SnapshotAndDemoFolders) {
    Options snapshot;
    ASSERT_FALSE(Parse({"snapshot", "QX1", "--out", "/tmp/x"}, snapshot));
    EXPECT_EQ(snapshot.command, Command::kSnapshot);
    EXPECT_EQ(snapshot.outDir, "/tmp/x");

    Options demo;
    ASSERT_FALSE(Parse({"demo"}, demo));
    EXPECT_EQ(demo.command, Command::kDemo);
    EXPECT_EQ(demo.outDir, "quorix-demo");
    EXPECT_DOUBLE_EQ(demo.seconds, 3.0);
    EXPECT_EQ(demo.address, "127.0.0.2");
}

TEST(CliOptions, InfoGetAndSet) {
    Options info;
    ASSERT_FALSE(Parse({"info", "TK5E:QX1", "--session", "1"}, info));
    EXPECT_EQ(info.command, Command::kInfo);
    EXPECT_EQ(info.uri, "TK5E:QX1");
    EXPECT_EQ(info.session, 1u);
    EXPECT_DOUBLE_EQ(info.waitSeconds, 5.0);

    Options all;
    ASSERT_FALSE(Parse({"get", "QX1"}, all));
    EXPECT_EQ(all.command, Command::kGet);
    EXPECT_FALSE(all.setting);

    Options one;
    ASSERT_FALSE(Parse({"get", "QX1", "pulse-count"}, one));
    EXPECT_EQ(one.setting, Setting::kPulseCount);

    Options set;
    ASSERT_FALSE(Parse({"set", "QX1", "rgb-resolution", "640x480", "--wait", "1"}, set));
    EXPECT_EQ(set.command, Command::kSet);
    EXPECT_EQ(set.setting, Setting::kRgbResolution);
    EXPECT_EQ(set.value, 2u);
    EXPECT_DOUBLE_EQ(set.waitSeconds, 1.0);
}

TEST(CliOptions, MistakesEndWithTheUsageCode) {
    const std::vector<std::vector<std::string>> cases = {
        {},                        // no command
        {"scan"},                  // unknown command
        {"stream"},                // no URI
        {"snapshot", "QX1"},       // no folder
        {"list", "--wait", "-1"},  // negative time
        {"stream", "QX1", "--seconds", "-2"},
        {"stream", "QX1", "--session", "x"},
        {"stream", "QX1", "--session", "-1"},
        {"stream", "QX1", "--frames", "-3"},
        {"list", "stream", "QX1"},  // two commands
        {"info"},
        {"get", "QX1", "exposure"},   // no such setting
        {"set", "QX1", "threshold"},  // no value
        {"set", "QX1"},
        {"set", "QX1", "colour", "1"},
        {"set", "QX1", "depth-range", "9"},
        {"set", "QX1", "threshold", "-5"},
        {"set", "QX1", "frame-rate", "30fps"},
        {"set", "QX1", "threshold", "5", "6"},
    };
    for (const auto& args : cases) {
        Options options;
        EXPECT_EQ(Parse(args, options), std::optional<int>(kExitUsage))
            << ::testing::PrintToString(args);
    }
}

}  // namespace
}  // namespace quorix::cli
