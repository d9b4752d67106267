// The colour resolution codes of the public interface (NsRGBResolution*) and the sizes
// they stand for: one table for the exports, the ini files and the tools.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace quorix {

struct ColourSize {
    uint16_t width;
    uint16_t height;
};

// Indexed by code.
inline constexpr std::array<ColourSize, 4> kColourResolutions{
    {{1920, 1080}, {1280, 720}, {640, 480}, {640, 360}}};

// The size of `code`; a code outside the table means 1920 x 1080.
constexpr ColourSize ColourSizeOfCode(uint32_t code) {
    return code < kColourResolutions.size() ? kColourResolutions[code] : kColourResolutions[0];
}

// The code of a size, or none for a size without one.
constexpr std::optional<uint16_t> CodeOfColourSize(uint32_t width, uint32_t height) {
    for (uint16_t code = 0; code < kColourResolutions.size(); ++code) {
        if (kColourResolutions[code].width == width && kColourResolutions[code].height == height) {
            return code;
        }
    }
    return std::nullopt;
}

}  // namespace quorix
