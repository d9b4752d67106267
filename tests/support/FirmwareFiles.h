// Firmware images for the upgrade tests: a 512-byte header and a body, the header's size
// and checksum fields matching unless a test says otherwise.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "upgrade/FirmwareImage.h"

namespace quorix::test {

struct ImageRecipe {
    uint16_t year = 2024;
    uint8_t month = 3;
    uint8_t day = 1;
    uint32_t build = 46;
    uint8_t modelCode = 4;  // TK5P
    uint8_t refused = 0;
    size_t size = 4096;
    int64_t sizeField = -1;  // -1: the real size
};

inline std::vector<uint8_t> MakeImage(const ImageRecipe& recipe) {
    std::vector<uint8_t> bytes(recipe.size);
    for (size_t i = kFirmwareHeaderBytes; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    if (bytes.size() < kFirmwareHeaderBytes) {
        return bytes;
    }
    FirmwareHeader h;
    h.year = recipe.year;
    h.month = recipe.month;
    h.day = recipe.day;
    h.build = recipe.build;
    h.refused = recipe.refused;
    h.modelCode = recipe.modelCode;
    h.fileSize = recipe.sizeField < 0 ? static_cast<uint32_t>(bytes.size())
                                    : static_cast<uint32_t>(recipe.sizeField);
    h.checksum = ByteSum(bytes.data() + kFirmwareHeaderBytes, bytes.size() - kFirmwareHeaderBytes);
    WriteFirmwareHeader(h, bytes.data());
    return bytes;
}

inline std::string WriteImage(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
}

}  // namespace quorix::test
