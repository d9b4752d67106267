// Names, parsing and printing of the settings of `get` and `set`.
#include "cli/Settings.h"

#include <array>
#include <cstdio>
#include <limits>

#include "model/ColourResolution.h"

namespace quorix::cli {

namespace {

constexpr SettingInfo kSettings[] = {
    {Setting::kDepthRange, "depth-range", "0 to 8 (0-2 near, 3-5 mid, 6-8 far group)"},
    {Setting::kDataMode, "data-mode", "0 to 255, one of the camera's data modes (see info)"},
    {Setting::kThreshold, "threshold", "0 to 6553, background threshold"},
    {Setting::kPulseCount, "pulse-count", "0 to 65535, pulses of the current depth range"},
    {Setting::kRgbResolution, "rgb-resolution", "1920x1080, 1280x720, 640x480 or 640x360"},
    {Setting::kFrameRate, "frame-rate", "1 to 60, ToF frames per second"},
};

constexpr FilterInfo kFilters[] = {
    {HostFilter::kSmoothing, "smoothing-filter",
     "3x3 median of depth (fills single dropouts) and IR"},
    {HostFilter::kSpatial, "spatial-filter", "edge-preserving smoothing of depth"},
    {HostFilter::kTime, "time-filter", "average of depth over frames, reset where it moves"},
    {HostFilter::kRealDepth, "real-depth-correction", "distance along the ray to planar Z"},
};

std::string SizeText(ColourSize size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

// The row of a table (kSettings, kFilters) whose `key` is `value`; every key has one.
template <class Row, size_t N, class Key>
const Row& RowOf(const Row (&rows)[N], Key Row::*key, Key value) {
    for (const Row& row : rows) {
        if (row.*key == value) {
            return row;
        }
    }
    return rows[0];  // unreachable: every enumerator has a row
}

// The key of the row named `name`.
template <class Row, size_t N, class Key>
std::optional<Key> KeyOf(const Row (&rows)[N], Key Row::*key, std::string_view name) {
    for (const Row& row : rows) {
        if (name == row.name) {
            return row.*key;
        }
    }
    return std::nullopt;
}

}  // namespace

std::span<const SettingInfo> AllSettings() {
    return kSettings;
}

const SettingInfo& InfoOf(Setting setting) {
    return RowOf(kSettings, &SettingInfo::setting, setting);
}

std::optional<Setting> FindSetting(std::string_view name) {
    return KeyOf(kSettings, &SettingInfo::setting, name);
}

bool ParseUnsigned(std::string_view text, uint32_t min, uint32_t max, uint32_t& value) {
    if (text.empty()) {
        return false;
    }
    uint64_t parsed = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        parsed = parsed * 10 + static_cast<uint64_t>(c - '0');
        if (parsed > max) {
            return false;  // also ends before a long string could overflow
        }
    }
    if (parsed < min) {
        return false;
    }
    value = static_cast<uint32_t>(parsed);
    return true;
}

bool ParseSettingValue(Setting setting, std::string_view text, uint32_t& value,
                       std::string& error) {
    const SettingInfo& info = InfoOf(setting);
    auto refuse = [&] {
        error = "\"" + std::string(text) + "\" is not a " + info.name + " value; expected " +
                info.values;
        return false;
    };
    uint32_t max = std::numeric_limits<uint16_t>::max();
    uint32_t min = 0;
    switch (setting) {
        case Setting::kRgbResolution:
            for (uint32_t code = 0; code < kColourResolutions.size(); ++code) {
                if (text == SizeText(kColourResolutions[code])) {
                    value = code;
                    return true;
                }
            }
            return refuse();
        case Setting::kDepthRange:
            max = 8;
            break;
        case Setting::kDataMode:
            max = std::numeric_limits<uint8_t>::max();
            break;
        case Setting::kFrameRate:
            min = 1;
            max = std::numeric_limits<uint8_t>::max();
            break;
        case Setting::kThreshold:
        case Setting::kPulseCount:
            break;
    }
    return ParseUnsigned(text, min, max, value) || refuse();
}

std::string FormatSettingValue(Setting setting, uint32_t value) {
    switch (setting) {
        case Setting::kRgbResolution:
            if (value < kColourResolutions.size()) {
                return SizeText(kColourResolutions[value]);
            }
            return value == kNoResolutionCode ? "a size without a resolution code"
                                              : "resolution code " + std::to_string(value);
        case Setting::kFrameRate:
            return std::to_string(value) + " fps";
        default:
            return std::to_string(value);
    }
}

std::string SettingsHelp() {
    std::string text = "Settings:\n";
    for (const SettingInfo& info : kSettings) {
        char line[160];
        std::snprintf(line, sizeof line, "  %-16s %s\n", info.name, info.values);
        text += line;
    }
    return text;
}

std::span<const FilterInfo> AllFilters() {
    return kFilters;
}

const FilterInfo& InfoOf(HostFilter filter) {
    return RowOf(kFilters, &FilterInfo::filter, filter);
}

std::optional<HostFilter> FindFilter(std::string_view name) {
    return KeyOf(kFilters, &FilterInfo::filter, name);
}

bool ParseSwitch(std::string_view name, std::string_view text, bool& on, std::string& error) {
    if (text == "1" || text == "on") {
        on = true;
        return true;
    }
    if (text == "0" || text == "off") {
        on = false;
        return true;
    }
    error = "\"" + std::string(text) + "\" is not a " + std::string(name) +
            " value; expected 1 or on, 0 or off";
    return false;
}

std::string FiltersHelp() {
    std::string text =
        "Filters of the library on this computer (0 or off, 1 or on; they last while the\n"
        "command runs: use --filter with stream and snapshot):\n";
    for (const FilterInfo& info : kFilters) {
        char line[160];
        std::snprintf(line, sizeof line, "  %-22s %s\n", info.name, info.what);
        text += line;
    }
    return text;
}

}  // namespace quorix::cli
