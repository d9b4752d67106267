// Whole-file reads and appends through the C library's streams.
#include "platform/Files.h"

#include <cerrno>
#include <cstdio>

namespace quorix::platform {

AppendResult AppendToFile(const char* path, const void* data, size_t length) {
    FILE* file = fopen(path, "ab+");
    if (file == nullptr) {
        return AppendResult::kCannotOpen;
    }
    const bool written = fwrite(data, 1, length, file) == length;
    const bool closed = fclose(file) == 0;
    return written && closed ? AppendResult::kDone : AppendResult::kWriteFailed;
}

ReadResult ReadWholeFile(const std::string& path, size_t maxBytes, std::string& text) {
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return {ReadResult::kMissing, errno};
        }
        return {ReadResult::kOpenFailed, errno};
    }
    // One byte more than allowed tells a file that is too large from one that fits.
    text.resize(maxBytes + 1);
    const size_t got = fread(text.data(), 1, text.size(), file);
    const bool failed = ferror(file) != 0;
    const int error = errno;
    fclose(file);
    if (failed) {
        return {ReadResult::kReadFailed, error};
    }
    if (got > maxBytes) {
        return {ReadResult::kTooLarge, 0};
    }
    text.resize(got);
    return {};
}

}  // namespace quorix::platform
