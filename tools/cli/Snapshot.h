// Writing of one frame set as PNG images (colourised depth, the raw 16-bit depth, 8-bit IR,
// colour and colour on depth) and of the depth frame's points as a PLY point cloud.
#pragma once

#include <string>
#include <vector>

#include <quorix/quorix_api.h>

#include "cli/ImageConvert.h"

namespace quorix::cli {

// The frames of one set; a null pointer leaves its images out.
struct SnapshotFrames {
    const NsFrame* depth = nullptr;
    const NsFrame* ir = nullptr;
    const NsFrame* colour = nullptr;
    // The depth frame's world points, width x height in pixel order (as
    // Ns2_ConvertDepthFrameToWorldVector gives them); null leaves the point cloud out.
    const NsVector3f* points = nullptr;
    // Colour in depth geometry (MappedRGBFrame): when it has the depth frame's size, every
    // point takes the colour of its pixel.
    const NsFrame* mappedColour = nullptr;
};

struct SnapshotResult {
    std::vector<std::string> files;  // paths written, in order
    DepthSpan depth;                 // the valid depths of the depth frame
    std::string pointCloud;          // path of the PLY file, empty when none was written
    size_t points = 0;               // its vertices
    bool colouredPoints = false;     // whether they carry colour
    std::string error;
};

// File names inside the folder.
inline constexpr const char* kDepthColourFile = "depth.png";
inline constexpr const char* kDepthRawFile = "depth16.png";
inline constexpr const char* kIrFile = "ir.png";
inline constexpr const char* kColourFile = "colour.png";
// Colour in depth geometry: each depth pixel's colour, black where it has no depth.
inline constexpr const char* kColourOnDepthFile = "colour_on_depth.png";
inline constexpr const char* kPointCloudFile = "depth.ply";
// Text keys of the colourised depth image: the depth span in millimetres.
inline constexpr const char* kDepthMinKey = "DepthMinMM";
inline constexpr const char* kDepthMaxKey = "DepthMaxMM";

// Creates `folder` when needed and writes the images of the frames present, and the point
// cloud when there are depth and points. Every frame is checked first (pixel format, size
// against its data length), and a faulty one stops the snapshot before any file is
// written. False with `result.error` set on any failure.
bool WriteSnapshot(const SnapshotFrames& frames, const std::string& folder, SnapshotResult& result);

}  // namespace quorix::cli
