// Writing of PNG files with text chunks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorix::cli {

enum class PngFormat {
    kGrey8,   // 1 byte per pixel
    kGrey16,  // 2 bytes per pixel, host byte order (PNG stores them big-endian)
    kRgb8,    // 3 bytes per pixel, R G B
};

struct PngText {
    std::string key;  // 1 to 79 Latin-1 characters
    std::string value;
};

// Writes a width x height image whose rows follow each other without padding. Returns true;
// false with `error` set when the arguments or the file fail, leaving no file behind.
bool WritePng(const std::string& path, uint32_t width, uint32_t height, PngFormat format,
              const void* pixels, const std::vector<PngText>& texts, std::string& error);

}  // namespace quorix::cli
