// What the viewer's page may change: the camera's settings (with the values this camera
// offers, where it has a list) and the library's own switches (mappers, undistortion,
// filters), described as JSON for the page and changed by name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "quorix/quorix_api.h"

namespace quorix::cli {

// {"settings":[{"name":..,"value":..,"choices":[[value,label],..]},..],
//  "switches":[{"name":..,"label":..,"on":true|false|null},..]}. A setting without a list
// has no choices (the page offers a text field); a switch the library cannot read is null.
std::string ControlsJson(NsDeviceHandle handle, uint32_t session);

struct ControlResult {
    bool ok = false;
    std::string text;  // the value now in force, or why it was not changed
};

// Sets the setting or switch `name` to `value` (a switch takes "on" or "off") and reads it
// back: ok only when the read-back value is the one asked for.
ControlResult ChangeControl(NsDeviceHandle handle, uint32_t session, std::string_view name,
                            std::string_view value);

// `text` as a JSON string, quotes included; control characters become spaces.
std::string JsonText(std::string_view text);

}  // namespace quorix::cli
