// Tests of the settings' names and the strict parsing of their values.
#include "cli/Settings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quorix::cli {
namespace {

TEST(Settings, NamesAreFoundExactly) {
    for (const SettingInfo& info : AllSettings()) {
        EXPECT_EQ(FindSetting(info.name), info.setting) << info.name;
        EXPECT_STREQ(InfoOf(info.setting).name, info.name);
    }
    EXPECT_FALSE(FindSetting("Threshold"));
    EXPECT_FALSE(FindSetting("threshold "));
    EXPECT_FALSE(FindSetting(""));
}

// Values within each call's type are taken, anything else is refused and leaves the value.
TEST(Settings, ValuesAreParsedStrictlyWithinEachCallsType) {
    struct Case {
        Setting setting;
        const char* text;
        std::optional<uint32_t> value;  // none: refused
    };
    const Case cases[] = {
        {Setting::kDepthRange, "0", 0},
        {Setting::kDepthRange, "8", 8},
        {Setting::kDataMode, "255", 255},
        {Setting::kDataMode, "007", 7},
        {Setting::kThreshold, "65535", 65535},
        {Setting::kPulseCount, "0", 0},
        {Setting::kFrameRate, "1", 1},
        {Setting::kFrameRate, "255", 255},
        {Setting::kRgbResolution, "1920x1080", 0},
        {Setting::kRgbResolution, "1280x720", 1},
        {Setting::kRgbResolution, "640x480", 2},
        {Setting::kRgbResolution, "640x360", 3},
        // Anything else is refused and leaves the value.
        {Setting::kDepthRange, "9", {}},
        {Setting::kDepthRange, "", {}},
        {Setting::kDataMode, "256", {}},
        {Setting::kThreshold, "65536", {}},
        {Setting::kThreshold, "-1", {}},
        {Setting::kThreshold, "+1", {}},
        {Setting::kThreshold, " 1", {}},
        {Setting::kThreshold, "1 ", {}},
        {Setting::kThreshold, "0x10", {}},
        {Setting::kThreshold, "1e3", {}},
        {Setting::kThreshold, "12.0", {}},
        {Setting::kPulseCount, "99999999999999999999999", {}},  // would overflow any integer
        {Setting::kFrameRate, "0", {}},
        {Setting::kFrameRate, "256", {}},
        {Setting::kRgbResolution, "640X480", {}},
        {Setting::kRgbResolution, "640x480 ", {}},
        {Setting::kRgbResolution, "800x600", {}},
        {Setting::kRgbResolution, "2", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        uint32_t value = 77;
        std::string error;
        EXPECT_EQ(ParseSettingValue(c.setting, c.text, value, error), c.value.has_value()) << error;
        EXPECT_EQ(value, c.value.value_or(77));
        if (!c.value) {
            EXPECT_NE(error.find(InfoOf(c.setting).name), std::string::npos) << error;
        }
    }
}

TEST(Settings, EveryResolutionPrintsAsTheTextThatSetsIt) {
    for (uint32_t code = 0; code < 4; ++code) {
        uint32_t parsed = 99;
        std::string error;
        ASSERT_TRUE(ParseSettingValue(Setting::kRgbResolution,
                                      FormatSettingValue(Setting::kRgbResolution, code), parsed,
                                      error));
        EXPECT_EQ(parsed, code);
    }
    EXPECT_EQ(FormatSettingValue(Setting::kRgbResolution, kNoResolutionCode),
              "a size without a resolution code");
}

}  // namespace
}  // namespace quorix::cli
