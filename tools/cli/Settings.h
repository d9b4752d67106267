// The camera settings that `get` and `set` address: their names, strict parsing of the
// values typed on the command line, and how a value is printed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quorix::cli {

enum class Setting { kDepthRange, kDataMode, kThreshold, kPulseCount, kRgbResolution, kFrameRate };

struct SettingInfo {
    Setting setting;
    const char* name;    // as typed on the command line
    const char* values;  // what `set` accepts, for --help
};

// Every setting, in the order `get` prints them.
std::span<const SettingInfo> AllSettings();
const SettingInfo& InfoOf(Setting setting);
std::optional<Setting> FindSetting(std::string_view name);

// What Ns2_GetRGBResolution leaves in place when the camera's colour size has no code.
inline constexpr uint32_t kNoResolutionCode = 0xFFFF;

// Decimal digits only (no sign, space, prefix or exponent), at most `max`.
bool ParseUnsigned(std::string_view text, uint32_t min, uint32_t max, uint32_t& value);

// Parses a value for `setting` into what its C call takes: a number within the range of
// the call's type (frame rate 1 to 255), or for rgb-resolution one of the sizes
// 1920x1080, 1280x720, 640x480, 640x360 (stored as its resolution code). False with `error`
// set for anything else.
bool ParseSettingValue(Setting setting, std::string_view text, uint32_t& value, std::string& error);

// The value as `get` prints it: "3", "640x360", "30 fps".
std::string FormatSettingValue(Setting setting, uint32_t value);

// The names and their values, for the --help of get and set.
std::string SettingsHelp();

// The library's depth and IR filters: they run on this computer, in the program that
// streams, not in the camera. `set` and `get` reach them for that one command; stream and
// snapshot turn them on with --filter.
enum class HostFilter { kSmoothing, kSpatial, kTime, kRealDepth };

struct FilterInfo {
    HostFilter filter;
    const char* name;
    const char* what;
};

std::span<const FilterInfo> AllFilters();
const FilterInfo& InfoOf(HostFilter filter);
std::optional<HostFilter> FindFilter(std::string_view name);

// "1" or "on", "0" or "off"; false with `error` set for anything else.
bool ParseSwitch(std::string_view name, std::string_view text, bool& on, std::string& error);

// The filter names and what they do, for --help.
std::string FiltersHelp();

}  // namespace quorix::cli
