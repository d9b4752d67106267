// Whole-file access of the library's own files: appending dumps, reading ini files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorix::platform {

enum class AppendResult : uint8_t { kDone, kCannotOpen, kWriteFailed };

// Appends `length` bytes to the file at `path`, creating it when it is missing.
AppendResult AppendToFile(const char* path, const void* data, size_t length);

struct ReadResult {
    enum Outcome : uint8_t { kRead, kMissing, kOpenFailed, kReadFailed, kTooLarge };
    Outcome outcome = kRead;
    int error = 0;  // errno of kOpenFailed and kReadFailed
};

// Reads the whole file at `path` into `text`. A file of more than `maxBytes` bytes is not
// read (kTooLarge); kMissing when the file or a folder on its path does not exist.
ReadResult ReadWholeFile(const std::string& path, size_t maxBytes, std::string& text);

}  // namespace quorix::platform
