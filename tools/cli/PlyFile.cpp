// Binary little-endian PLY: a text header naming the vertex count and properties, then
// the vertices one after the other without padding.
#include "cli/PlyFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace quorix::cli {

namespace {

constexpr size_t kChunkBytes = 64 * 1024;

// Little-endian whatever the host's order.
uint8_t* PutFloat(uint8_t* out, float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i) {
        *out++ = static_cast<uint8_t>(bits >> (8 * i));
    }
    return out;
}

std::string Header(size_t vertices, bool colour) {
    std::string header =
        "ply\n"
        "format binary_little_endian 1.0\n"
        "comment quorix-cli point cloud, camera coordinates in millimetres\n"
        "element vertex " +
        std::to_string(vertices) +
        "\n"
        "property float x\n"
        "property float y\n"
        "property float z\n";
    if (colour) {
        header +=
            "property uchar red\n"
            "property uchar green\n"
            "property uchar blue\n";
    }
    return header + "end_header\n";
}

}  // namespace

bool IsValidPoint(const NsVector3f& p) {
    const bool finite = std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
    return finite && !(p.x == 0.0f && p.y == 0.0f && p.z == 0.0f);
}

bool WritePly(const std::string& path, const NsVector3f* points, size_t count, const uint8_t* rgb,
              size_t& written, std::string& error) {
    written = 0;
    if (points == nullptr && count > 0) {
        error = path + ": no points";
        return false;
    }
    size_t vertices = 0;
    for (size_t i = 0; i < count; ++i) {
        vertices += IsValidPoint(points[i]) ? 1 : 0;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const std::string header = Header(vertices, rgb != nullptr);
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();

    const size_t vertexBytes = rgb != nullptr ? 15 : 12;
    std::vector<uint8_t> chunk(kChunkBytes - kChunkBytes % vertexBytes);
    uint8_t* out = chunk.data();
    auto flush = [&] {
        const size_t bytes = static_cast<size_t>(out - chunk.data());
        ok = ok && std::fwrite(chunk.data(), 1, bytes, file) == bytes;
        out = chunk.data();
    };
    for (size_t i = 0; ok && i < count; ++i) {
        const NsVector3f p = points[i];  // the packed record, copied out
        if (!IsValidPoint(p)) {
            continue;
        }
        out = PutFloat(PutFloat(PutFloat(out, p.x), p.y), p.z);
        if (rgb != nullptr) {
            std::memcpy(out, rgb + 3 * i, 3);
            out += 3;
        }
        if (out == chunk.data() + chunk.size()) {
            flush();
        }
    }
    flush();
    const bool closed = std::fclose(file) == 0;
    if (!ok || !closed) {
        error = path + ": write failed";
        std::remove(path.c_str());
        return false;
    }
    written = vertices;
    return true;
}

}  // namespace quorix::cli
