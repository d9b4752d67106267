// What `info`, `get` and `set` ask of an opened camera through the C interface.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <quorix/quorix_api.h>

#include "cli/Settings.h"

namespace quorix::cli {

// Reads or writes one setting through its Ns2_Get / Ns2_Set call. `value` is as the
// setting's parsing gives it (the resolution code for rgb-resolution).
NsReturnStatus ReadSetting(NsDeviceHandle handle, uint32_t session, Setting setting,
                           uint32_t& value);
NsReturnStatus WriteSetting(NsDeviceHandle handle, uint32_t session, Setting setting,
                            uint32_t value);
// A filter of the library, on or off.
NsReturnStatus ReadFilter(NsDeviceHandle handle, uint32_t session, HostFilter filter, bool& on);
NsReturnStatus WriteFilter(NsDeviceHandle handle, uint32_t session, HostFilter filter, bool on);

// The entries of the camera's data-mode or depth-range list (a count byte, then the
// entries); nothing when it cannot be read or its count does not fit what came back.
std::optional<std::vector<uint8_t>> ReadCameraList(NsDeviceHandle handle, uint32_t session,
                                                   uint32_t listId);
// The entries as "0 1 2".
std::string ListText(const std::vector<uint8_t>& entries);

// "name: value", or "name: unavailable (...)"; `status` receives the read's status.
std::string SettingLine(NsDeviceHandle handle, uint32_t session, Setting setting,
                        NsReturnStatus& status);

// Every line of `info`. The measuring ranges are the library's copy read when the stream
// first starts, so a failed start (`streamStatus`) makes them unavailable.
std::vector<std::string> CameraInfoLines(NsDeviceHandle handle, uint32_t session,
                                         NsReturnStatus streamStatus);

}  // namespace quorix::cli
