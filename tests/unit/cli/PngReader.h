// Reads a PNG file back for the tests: its header, pixels (16-bit samples in host order)
// and text chunks.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quorix::test {

struct PngImage {
    bool ok = false;
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 0;
    int colourType = 0;
    std::vector<uint8_t> pixels;  // rows without padding
    std::map<std::string, std::string> texts;

    uint16_t Sample16(size_t index) const;
};

PngImage ReadPng(const std::string& path);

}  // namespace quorix::test
