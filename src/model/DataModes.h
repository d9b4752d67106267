// The data modes of the depth sensor: which of depth and IR each delivers and at what
// size and rate, as the sensor sends them (before any rotation). The one table for the
// session's frame modes and for the frame engine's check of the depth size it maps.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace quorix {

struct DataModeFrames {
    uint8_t mode;
    bool depth;
    bool ir;
    uint16_t width;
    uint16_t height;
    uint16_t fps;
};

inline constexpr std::array<DataModeFrames, 17> kDataModes{{
    {0, true, false, 640, 480, 30},
    {1, false, true, 640, 480, 30},
    {2, true, true, 640, 480, 30},
    {3, true, false, 640, 480, 30},
    {4, true, false, 640, 480, 30},
    {5, true, false, 640, 360, 60},
    {6, false, true, 640, 360, 60},
    {7, true, true, 640, 360, 30},
    {8, true, false, 640, 360, 60},
    {9, true, false, 640, 360, 60},
    {10, true, true, 640, 480, 15},
    {11, true, false, 640, 480, 30},
    {12, false, true, 640, 480, 30},
    {13, true, true, 640, 480, 30},
    {100, false, true, 640, 480, 30},
    {101, false, true, 640, 480, 30},
    {102, false, true, 640, 480, 30},
}};

// The row of `mode`; none for a mode the sensor does not have.
constexpr std::optional<DataModeFrames> FramesOfDataMode(uint8_t mode) {
    for (const DataModeFrames& row : kDataModes) {
        if (row.mode == mode) {
            return row;
        }
    }
    return std::nullopt;
}

}  // namespace quorix
