// The quorix-camsim command line: which cameras it runs on which addresses.
#include "camsim/CamsimOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorix::camsim {
namespace {

int Parse(std::vector<std::string> args, Options& options) {
    args.insert(args.begin(), "quorix-camsim");
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    return ParseOptions(static_cast<int>(argv.size()), argv.data(), options);
}

TEST(CamsimOptions, RepeatedOptionsDescribeCamerasInOrder) {
    Options options;
    ASSERT_EQ(
        Parse({"--address", "127.0.0.2", "--address", "127.0.0.9", "--model", "TK4A", "--model",
               "563", "--serial", "QX1", "--serial", "QX2", "--sessions", "2", "--alias", "left"},
              options),
        0);
    ASSERT_EQ(options.cameras.size(), 2u);
    const auto& a = options.cameras[0];
    const auto& b = options.cameras[1];
    EXPECT_EQ(a.config.address, "127.0.0.2");
    EXPECT_EQ(a.config.deviceType, 440u);
    EXPECT_EQ(a.config.serial, "QX1");
    EXPECT_EQ(a.config.sessions, 2u);
    EXPECT_EQ(a.alias, "left");
    EXPECT_EQ(b.config.address, "127.0.0.9");
    EXPECT_EQ(b.config.deviceType, 563u);
    EXPECT_EQ(b.config.serial, "QX2");
    EXPECT_EQ(b.config.sessions, 2u);  // the last value given carries on
    EXPECT_EQ(b.alias, "");
    EXPECT_TRUE(a.config.farewellOnStop);
}

TEST(CamsimOptions, CountAddsCamerasOnTheFollowingAddresses) {
    Options options;
    ASSERT_EQ(Parse({"--address", "127.0.0.254", "--serial", "QX", "--count", "3", "--no-farewell",
                     "--interval", "500"},
                    options),
              0);
    ASSERT_EQ(options.cameras.size(), 3u);
    EXPECT_EQ(options.cameras[1].config.address, "127.0.0.255");
    EXPECT_EQ(options.cameras[2].config.address, "127.0.1.0");
    EXPECT_EQ(options.cameras[2].config.serial, "QX_3");
    EXPECT_EQ(options.cameras[0].config.deviceType, 561u);
    EXPECT_FALSE(options.cameras[0].config.farewellOnStop);
    EXPECT_EQ(options.intervalMs, 500u);

    Options defaults;
    ASSERT_EQ(Parse({"--count", "2"}, defaults), 0);
    EXPECT_EQ(defaults.cameras[0].config.address, "127.0.0.2");
    EXPECT_EQ(defaults.cameras[1].config.address, "127.0.0.3");
    EXPECT_EQ(defaults.cameras[1].config.serial, "QXSIM0002");
}

TEST(CamsimOptions, BadValuesAreRefused) {
    const std::vector<std::vector<std::string>> bad = {
        {"--model", "210"},  // a USB model
        {"--model", "TK9"},
        {"--sessions", "0"},
        {"--count", "0"},
        {"--address", "127.255.255.255", "--count", "2"},  // runs out of 127/8
        {"--bogus"},
        {"--fps", "0"},
        {"--packing", "raw10"},
        {"--colour-size", "640"},
        {"--status", "sometimes"},
        {"--data-mode", "256"},
    };
    for (const auto& args : bad) {
        Options options;
        EXPECT_NE(Parse(args, options), 0) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    }
    EXPECT_EQ(NextAddress("10.0.0.1", 0), "");
    EXPECT_EQ(NextAddress("127.0.0.2", 254), "127.0.1.0");
}

TEST(CamsimOptions, StreamOptionsReachEverySensor) {
    Options options;
    ASSERT_EQ(Parse({"--sessions",
                     "2",
                     "--fps",
                     "15",
                     "--data-mode",
                     "2",
                     "--packing",
                     "y16",
                     "--colour",
                     "nv12",
                     "--colour-size",
                     "1280x720",
                     "--status",
                     "late",
                     "--status-late-frames",
                     "5",
                     "--push",
                     "never",
                     "--no-push-support",
                     "--noise",
                     "--noise-seed",
                     "9"},
                    options),
              0);
    const sim::StreamSettings& s = options.stream.settings;
    EXPECT_EQ(s.packing, sim::TofPacking::kY16);
    EXPECT_EQ(s.colour, sim::ColourFormat::kNv12);
    EXPECT_EQ(s.status, sim::StatusEcho::kLate);
    EXPECT_EQ(s.statusLateFrames, 5u);
    EXPECT_EQ(s.push, sim::ParamPush::kNever);
    EXPECT_TRUE(s.noise.enabled);
    EXPECT_EQ(s.noise.seed, 9u);
    sim::SimState state = sim::MakeDefaultState(561, "127.0.0.2", "QX", 2);
    ApplyStream(options.stream, state);
    EXPECT_EQ(state.stream.packing, sim::TofPacking::kY16);
    for (const sim::SensorState& sensor : state.sensors) {
        EXPECT_EQ(sensor.tofFrameRate, 15);
        EXPECT_EQ(sensor.dataMode, 2);
        EXPECT_FALSE(sensor.jsonConfigSupported);
        EXPECT_EQ(sensor.lens[2], (std::array<uint8_t, 8>{2, 1, 0x00, 0x05, 0xD0, 0x02, 30, 2}));
    }
}

}  // namespace
}  // namespace quorix::camsim
