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

// Each command with its own defaults: list waits two seconds, the others five; demo streams
// three seconds into its own folder.
TEST(CliOptions, EachCommandWithItsArgumentsAndDefaults) {
    using C = Command;
    using S = std::optional<Setting>;
    struct Want {  // the fields of Options, address aside
        Command command;
        std::string uri;
        uint32_t session;
        double waitSeconds;
        uint64_t frames;
        double seconds;
        std::string outDir;
        std::optional<Setting> setting;
        uint32_t value;
    };
    const struct {
        std::vector<std::string> args;
        Want want;
    } cases[] = {
        {{"list"}, {C::kList, "", 0, 2.0, 0, 0.0, "", S{}, 0}},
        {{"list", "--wait", "0.5"}, {C::kList, "", 0, 0.5, 0, 0.0, "", S{}, 0}},
        {{"stream", "TK5P:QX1", "--session", "1", "--frames", "30", "--seconds", "2.5"},
         {C::kStream, "TK5P:QX1", 1, 5.0, 30, 2.5, "", S{}, 0}},
        {{"stream", "QX1"}, {C::kStream, "QX1", 0, 5.0, 0, 0.0, "", S{}, 0}},
        {{"snapshot", "QX1", "--out", "/tmp/x"},
         {C::kSnapshot, "QX1", 0, 5.0, 0, 0.0, "/tmp/x", S{}, 0}},
        {{"demo"}, {C::kDemo, "", 0, 5.0, 0, 3.0, "quorix-demo", S{}, 0}},
        {{"info", "TK5E:QX1", "--session", "1"},
         {C::kInfo, "TK5E:QX1", 1, 5.0, 0, 0.0, "", S{}, 0}},
        {{"get", "QX1"}, {C::kGet, "QX1", 0, 5.0, 0, 0.0, "", S{}, 0}},
        {{"get", "QX1", "pulse-count"},
         {C::kGet, "QX1", 0, 5.0, 0, 0.0, "", Setting::kPulseCount, 0}},
        {{"set", "QX1", "rgb-resolution", "640x480", "--wait", "1"},
         {C::kSet, "QX1", 0, 1.0, 0, 0.0, "", Setting::kRgbResolution, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        Options got;
        ASSERT_FALSE(Parse(c.args, got));
        EXPECT_EQ(got.command, c.want.command);
        EXPECT_EQ(got.uri, c.want.uri);
        EXPECT_EQ(got.session, c.want.session);
        EXPECT_DOUBLE_EQ(got.waitSeconds, c.want.waitSeconds);
        EXPECT_EQ(got.frames, c.want.frames);
        EXPECT_DOUBLE_EQ(got.seconds, c.want.seconds);
        EXPECT_EQ(got.outDir, c.want.outDir);
        EXPECT_EQ(got.address, "127.0.0.2");
        EXPECT_EQ(got.setting, c.want.setting);
        EXPECT_EQ(got.value, c.want.value);
    }
}

TEST(CliOptions, StreamMapsOnlyWhenAsked) {
    Options options;
    ASSERT_FALSE(Parse({"stream", "QX1", "--map", "--frames", "5"}, options));
    EXPECT_TRUE(options.map);
    EXPECT_EQ(options.frames, 5u);
    Options plain;
    ASSERT_FALSE(Parse({"stream", "QX1"}, plain));
    EXPECT_FALSE(plain.map);
    Options snapshot;
    EXPECT_EQ(Parse({"snapshot", "QX1", "--out", "/tmp/x", "--map"}, snapshot),
              std::optional<int>(kExitUsage));
}

// The library's filters: --filter on stream and snapshot, by name with get and set.
TEST(CliOptions, FiltersAreNamedForStreamSnapshotGetAndSet) {
    Options snapshot;
    ASSERT_FALSE(Parse({"snapshot", "QX1", "--out", "/tmp/x", "--filter", "spatial-filter",
                        "--filter", "time-filter"},
                       snapshot));
    EXPECT_EQ(snapshot.filters, (std::vector<HostFilter>{HostFilter::kSpatial, HostFilter::kTime}));
    Options stream;
    ASSERT_FALSE(Parse({"stream", "QX1", "--filter", "smoothing-filter"}, stream));
    EXPECT_EQ(stream.filters, std::vector<HostFilter>{HostFilter::kSmoothing});
    Options set;
    ASSERT_FALSE(Parse({"set", "QX1", "real-depth-correction", "on"}, set));
    EXPECT_EQ(set.command, Command::kSet);
    EXPECT_EQ(set.filter, HostFilter::kRealDepth);
    EXPECT_FALSE(set.setting);
    EXPECT_EQ(set.value, 1u);
    ASSERT_FALSE(Parse({"set", "QX1", "time-filter", "0"}, set));
    EXPECT_EQ(set.value, 0u);
    Options get;
    ASSERT_FALSE(Parse({"get", "QX1", "spatial-filter"}, get));
    EXPECT_EQ(get.filter, HostFilter::kSpatial);
    Options plain;
    ASSERT_FALSE(Parse({"get", "QX1", "threshold"}, plain));
    EXPECT_FALSE(plain.filter);
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
        {"set", "QX1", "spatial-filter", "2"},
        {"set", "QX1", "spatial-filter", "yes"},
        {"snapshot", "QX1", "--out", "/tmp/x", "--filter", "blur"},
        {"record", "QX1", "--out", "/tmp/x.rec", "--filter", "time-filter"},
        {"upgrade", "QX1"},                         // no image
        {"upgrade", "QX1", "/nonexistent/fw.img"},  // no such file
        {"config", "QX1"},                          // neither --fetch nor --send
        {"config", "QX1", "--send", "/nonexistent/config.json"},
        {"config", "QX1", "--fetch", "a.json", "--send", "/etc/hostname"},
    };
    for (const auto& args : cases) {
        Options options;
        EXPECT_EQ(Parse(args, options), std::optional<int>(kExitUsage))
            << ::testing::PrintToString(args);
    }
}

TEST(CliOptions, TransferCommandsTakeTheirFiles) {
    Options upgrade;
    ASSERT_FALSE(Parse({"upgrade", "TK5P:QX1", "/etc/hostname", "--wait", "3"}, upgrade));
    EXPECT_EQ(upgrade.command, Command::kUpgrade);
    EXPECT_EQ(upgrade.uri, "TK5P:QX1");
    EXPECT_EQ(upgrade.image, "/etc/hostname");
    EXPECT_DOUBLE_EQ(upgrade.waitSeconds, 3.0);

    Options send;
    ASSERT_FALSE(Parse({"config", "QX1", "--send", "/etc/hostname"}, send));
    EXPECT_EQ(send.command, Command::kConfig);
    EXPECT_EQ(send.sendFile, "/etc/hostname");
    EXPECT_EQ(send.fetchFile, "");
    Options fetch;
    ASSERT_FALSE(Parse({"config", "QX1", "--fetch", "out.json"}, fetch));
    EXPECT_EQ(fetch.fetchFile, "out.json");
}

}  // namespace
}  // namespace quorix::cli
