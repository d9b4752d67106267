// The viewer's controls: camera settings through the CLI's setting table, and the library's
// own switches, each a pair of C calls.
#include "cli/ViewerControls.h"

#include <optional>

#include "cli/CameraQueries.h"
#include "cli/Diagnosis.h"
#include "cli/Settings.h"
#include "model/ColourResolution.h"

namespace quorix::cli {
namespace {

using SetSwitch = NsReturnStatus (*)(NsDeviceHandle, uint32_t, uint8_t);
using GetSwitch = NsReturnStatus (*)(NsDeviceHandle, uint32_t, uint8_t*);

struct Switch {
    const char* name;
    const char* label;
    SetSwitch set;
    GetSwitch get;
};

// The names say what the page then shows (the mapper calls are named by their source).
constexpr Switch kSwitches[] = {
    {"colour-on-depth", "colour on depth (mapper)", Ns2_SetMapperEnabledDepthToRGB,
     Ns2_GetMapperEnabledDepthToRGB},
    {"depth-on-colour", "depth on colour (mapper)", Ns2_SetMapperEnabledRGBToDepth,
     Ns2_GetMapperEnabledRGBToDepth},
    {"ir-on-colour", "IR on colour (mapper)", Ns2_SetMapperEnabledRGBToIR,
     Ns2_GetMapperEnabledRGBToIR},
    {"smoothing-filter", "smoothing filter", Ns2_SetSmoothingFilterEnabled,
     Ns2_GetSmoothingFilterEnabled},
    {"spatial-filter", "spatial filter", Ns2_SetSpatialFilterEnabled, Ns2_GetSpatialFilterEnabled},
    {"time-filter", "time filter", Ns2_SetTimeFilterEnabled, Ns2_GetTimeFilterEnabled},
    {"real-depth-correction", "real-depth correction", Ns2_SetComputeRealDepthCorrectionEnabled,
     Ns2_GetComputeRealDepthCorrectionEnabled},
    {"depth-undistortion", "depth undistortion", Ns2_SetDepthDistortionCorrectionEnabled,
     Ns2_GetDepthDistortionCorrectionEnabled},
    {"ir-undistortion", "IR undistortion", Ns2_SetIrDistortionCorrectionEnabled,
     Ns2_GetIrDistortionCorrectionEnabled},
    {"colour-undistortion", "colour undistortion", Ns2_SetRGBDistortionCorrectionEnabled,
     Ns2_GetRGBDistortionCorrectionEnabled},
};

const Switch* FindSwitch(std::string_view name) {
    for (const Switch& s : kSwitches) {
        if (name == s.name) {
            return &s;
        }
    }
    return nullptr;
}

std::string Choice(const std::string& value, const std::string& label) {
    return "[" + JsonText(value) + "," + JsonText(label) + "]";
}

std::string Choices(NsDeviceHandle h, uint32_t s, Setting setting) {
    std::string out;
    auto add = [&](const std::string& value, const std::string& label) {
        out += (out.empty() ? "" : ",") + Choice(value, label);
    };
    switch (setting) {
        case Setting::kDataMode:
            if (const auto list = ReadCameraList(h, s, NS_PROPERTY_DATA_MODE_LIST)) {
                for (const uint8_t mode : *list) {
                    add(std::to_string(mode), std::to_string(mode) + " " + DataModeName(mode));
                }
            }
            break;
        case Setting::kDepthRange:
            if (const auto list = ReadCameraList(h, s, NS_PROPERTY_DEPTH_RANGE_LIST)) {
                for (const uint8_t range : *list) {
                    add(std::to_string(range), std::to_string(range));
                }
            }
            break;
        case Setting::kRgbResolution:
            for (uint32_t code = 0; code < kColourResolutions.size(); ++code) {
                const std::string size = FormatSettingValue(setting, code);
                add(size, size);
            }
            break;
        default:
            break;
    }
    return "[" + out + "]";
}

}  // namespace

std::string JsonText(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else {
            out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
        }
    }
    return out + "\"";
}

std::string ControlsJson(NsDeviceHandle h, uint32_t s) {
    std::string out = "{\"settings\":[";
    bool first = true;
    for (const SettingInfo& info : AllSettings()) {
        uint32_t value = 0;
        const bool known = ReadSetting(h, s, info.setting, value) == NsStatusOk;
        // A value is written in the form that sets it ("1920x1080", not "30 fps").
        std::string text = known ? FormatSettingValue(info.setting, value) : "";
        if (info.setting == Setting::kFrameRate && known) {
            text = std::to_string(value);
        }
        out += std::string(first ? "" : ",") + "{\"name\":" + JsonText(info.name) +
               ",\"value\":" + JsonText(text) + ",\"choices\":" + Choices(h, s, info.setting) + "}";
        first = false;
    }
    out += "],\"switches\":[";
    first = true;
    for (const Switch& sw : kSwitches) {
        uint8_t on = 0;
        const bool known = sw.get(h, s, &on) == NsStatusOk;
        out += std::string(first ? "" : ",") + "{\"name\":" + JsonText(sw.name) +
               ",\"label\":" + JsonText(sw.label) +
               ",\"on\":" + (known ? (on != 0 ? "true" : "false") : "null") + "}";
        first = false;
    }
    return out + "]}";
}

ControlResult ChangeControl(NsDeviceHandle h, uint32_t s, std::string_view name,
                            std::string_view value) {
    ControlResult result;
    if (const Switch* sw = FindSwitch(name)) {
        if (value != "on" && value != "off") {
            result.text = "\"" + std::string(value) + "\" is not a " + sw->name +
                          " value; expected on or off";
            return result;
        }
        const uint8_t wanted = value == "on" ? 1 : 0;
        if (const NsReturnStatus st = sw->set(h, s, wanted); st != NsStatusOk) {
            result.text = "not set: " + StatusText(st);
            return result;
        }
        uint8_t now = 0;
        const NsReturnStatus st = sw->get(h, s, &now);
        result.ok = st == NsStatusOk && (now != 0) == (wanted != 0);
        result.text = st == NsStatusOk ? (now != 0 ? "on" : "off") : StatusText(st);
        return result;
    }
    const std::optional<Setting> setting = FindSetting(name);
    uint32_t parsed = 0;
    std::string error;
    if (!setting) {
        result.text = "unknown setting " + std::string(name);
    } else if (!ParseSettingValue(*setting, value, parsed, error)) {
        result.text = error;
    } else if (const NsReturnStatus st = WriteSetting(h, s, *setting, parsed); st != NsStatusOk) {
        result.text = "not set: " + StatusText(st);
    } else {
        uint32_t now = 0;
        const NsReturnStatus r = ReadSetting(h, s, *setting, now);
        result.ok = r == NsStatusOk && now == parsed;
        result.text = r == NsStatusOk ? FormatSettingValue(*setting, now) : StatusText(r);
    }
    return result;
}

}  // namespace quorix::cli
