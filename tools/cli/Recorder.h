// `record` and `info FILE`: the camera's state as a recording keeps it, the frames of its
// data connection through the library's tap, and the summary of a recording.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quorix/quorix_api.h"
#include "record/Recording.h"

namespace quorix::cli {

// Everything a replay needs to answer the command connection as this camera did: identity,
// texts, settings, lists, colour lens, measuring ranges and calibration. Values that cannot
// be read are left out (the replay keeps its defaults for them).
record::RecordedState CaptureState(NsDeviceHandle handle, uint32_t session,
                                   const NsDeviceInfo& device);

// The settings a recording watches for changes, and their current values (name, value);
// a setting that cannot be read is left out.
std::vector<std::pair<std::string, std::string>> WatchedSettings(NsDeviceHandle handle,
                                                                 uint32_t session);

// Installs a tap that hands every data frame to `writer` (null `writer` removes it).
NsReturnStatus SetTap(NsDeviceHandle handle, uint32_t session, record::RecordingWriter* writer);

// The lines of `info FILE`.
std::vector<std::string> RecordingSummary(const record::RecordingReader& reader);

}  // namespace quorix::cli
