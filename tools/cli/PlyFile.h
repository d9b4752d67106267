// Writing of point clouds as binary little-endian PLY files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <quorix/quorix_api.h>

namespace quorix::cli {

// True for a point that stands for a measurement: the library marks a pixel without depth
// with the origin (0, 0, 0), and a coordinate that is not finite has no place in a cloud.
bool IsValidPoint(const NsVector3f& point);

// Writes the valid ones of `count` world points (millimetres) as vertices with float x, y,
// z. `rgb`, when not null, holds 3 bytes (R G B) per world point, in the same order, and
// adds uchar red, green, blue to every vertex. `written` receives the number of vertices.
// False with `error` set, leaving no file behind, when the file cannot be written.
bool WritePly(const std::string& path, const NsVector3f* points, size_t count, const uint8_t* rgb,
              size_t& written, std::string& error);

}  // namespace quorix::cli
