// Raw dumps: the files that the save-raw switch and bad colour records append to, so what a
// camera sent can be looked at afterwards. One file per frame number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorix {

// Whether a dump file that cannot be opened is logged.
enum class DumpFailure : uint8_t { kLog, kIgnore };

// Appends `length` bytes to the file that `nameFormat` names (printf style) inside `folder`,
// or inside the working directory when `folder` is empty. False when nothing was written.
bool AppendRawDump(DumpFailure onFailure, const std::string& folder, const uint8_t* data,
                   size_t length, const char* nameFormat, ...)
    __attribute__((format(printf, 5, 6)));

}  // namespace quorix
