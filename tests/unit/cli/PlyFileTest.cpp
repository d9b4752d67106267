// Tests of the PLY point cloud: its header, the binary body read back, and the snapshot's
// point cloud with and without colour.
#include "cli/PlyFile.h"
#include "cli/Snapshot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <sstream>
#include <vector>

#include "PngReader.h"
#include "TestFrame.h"
#include "support/TempDir.h"

namespace quorix::cli {
namespace {

using test::MakeFrame;
using test::ReadFile;
using test::TempDir;

struct Vertex {
    float x, y, z;
    uint8_t r = 0, g = 0, b = 0;
};

struct Ply {
    std::vector<std::string> header;  // lines up to and including end_header
    std::vector<Vertex> vertices;
    bool ok = false;
};

float LittleEndianFloat(const uint8_t* p) {
    const uint32_t bits =
        uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Reads the files this writer makes: the header's vertex count and colour decide the body.
Ply ReadPly(const std::string& path) {
    Ply ply;
    const std::string data = ReadFile(path);
    const size_t end = data.find("end_header\n");
    if (end == std::string::npos) {
        return ply;
    }
    std::istringstream lines(data.substr(0, end + 11));
    size_t count = 0;
    bool colour = false;
    for (std::string line; std::getline(lines, line);) {
        ply.header.push_back(line);
        std::sscanf(line.c_str(), "element vertex %zu", &count);
        colour = colour || line == "property uchar red";
    }
    const size_t stride = colour ? 15 : 12;
    const auto* body = reinterpret_cast<const uint8_t*>(data.data()) + end + 11;
    if (data.size() - (end + 11) != count * stride) {
        return ply;  // the body must be exactly the vertices announced
    }
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* v = body + i * stride;
        Vertex vertex{LittleEndianFloat(v), LittleEndianFloat(v + 4), LittleEndianFloat(v + 8)};
        if (colour) {
            vertex.r = v[12];
            vertex.g = v[13];
            vertex.b = v[14];
        }
        ply.vertices.push_back(vertex);
    }
    ply.ok = true;
    return ply;
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(PlyFile, ValidPointsOnlyWithTheirExactValues) {
    TempDir dir;
    const std::vector<NsVector3f> points = {
        {0.0f, 0.0f, 0.0f},         // no depth
        {-12.5f, 3.25f, 1000.0f},   //
        {0.0f, 0.0f, 500.0f},       // on the axis: a real point
        {kNaN, 1.0f, 1.0f},         //
        {1.0f, kInf, 1.0f},         //
        {1e-30f, -0.0f, 65534.0f},  //
        {-0.0f, 0.0f, -0.0f},       // the origin, signed
    };
    size_t written = 99;
    std::string error;
    ASSERT_TRUE(WritePly(dir / "p.ply", points.data(), points.size(), nullptr, written, error))
        << error;
    EXPECT_EQ(written, 3u);
    const Ply ply = ReadPly(dir / "p.ply");
    ASSERT_TRUE(ply.ok);
    const std::vector<std::string> header = {
        "ply",
        "format binary_little_endian 1.0",
        "comment quorix-cli point cloud, camera coordinates in millimetres",
        "element vertex 3",
        "property float x",
        "property float y",
        "property float z",
        "end_header",
    };
    EXPECT_EQ(ply.header, header);
    ASSERT_EQ(ply.vertices.size(), 3u);
    const size_t kept[] = {1, 2, 5};
    for (size_t i = 0; i < 3; ++i) {
        const NsVector3f p = points[kept[i]];
        EXPECT_EQ(std::memcmp(&ply.vertices[i].x, &p.x, 4), 0) << i;  // bit for bit
        EXPECT_EQ(ply.vertices[i].y, p.y) << i;
        EXPECT_EQ(ply.vertices[i].z, p.z) << i;
    }
}

TEST(PlyFile, ColourFollowsItsPoint) {
    TempDir dir;
    // More points than one write chunk holds, so the chunk boundary is crossed.
    const size_t count = 10000;
    std::vector<NsVector3f> points(count);
    std::vector<uint8_t> rgb(count * 3);
    for (size_t i = 0; i < count; ++i) {
        points[i] =
            i % 3 == 0 ? NsVector3f{0, 0, 0} : NsVector3f{static_cast<float>(i), -1.0f, 2.0f};
        rgb[3 * i] = static_cast<uint8_t>(i);
        rgb[3 * i + 1] = static_cast<uint8_t>(i >> 8);
        rgb[3 * i + 2] = 7;
    }
    size_t written = 0;
    std::string error;
    ASSERT_TRUE(WritePly(dir / "c.ply", points.data(), count, rgb.data(), written, error));
    const Ply ply = ReadPly(dir / "c.ply");
    ASSERT_TRUE(ply.ok);
    ASSERT_EQ(ply.header.size(), 11u);
    EXPECT_EQ(std::vector<std::string>(ply.header.begin() + 7, ply.header.end()),
              (std::vector<std::string>{"property uchar red", "property uchar green",
                                        "property uchar blue", "end_header"}));
    ASSERT_EQ(ply.vertices.size(), written);
    EXPECT_EQ(written, count - (count + 2) / 3);
    for (const Vertex& v : ply.vertices) {
        const auto i = static_cast<size_t>(v.x);
        ASSERT_NE(i % 3, 0u);
        EXPECT_EQ(v.r, static_cast<uint8_t>(i));
        EXPECT_EQ(v.g, static_cast<uint8_t>(i >> 8));
        EXPECT_EQ(v.b, 7);
    }
}

TEST(PlyFile, EmptyCloudAndFailures) {
    TempDir dir;
    const NsVector3f none[2] = {};
    size_t written = 5;
    std::string error;
    ASSERT_TRUE(WritePly(dir / "e.ply", none, 2, nullptr, written, error));
    EXPECT_EQ(written, 0u);
    const Ply empty = ReadPly(dir / "e.ply");
    ASSERT_TRUE(empty.ok);
    EXPECT_EQ(empty.header[3], "element vertex 0");

    EXPECT_FALSE(WritePly(dir / "no/such/folder.ply", none, 2, nullptr, written, error));
    EXPECT_NE(error.find("folder.ply"), std::string::npos);
    EXPECT_FALSE(WritePly(dir / "null.ply", nullptr, 4, nullptr, written, error));
    EXPECT_FALSE(std::filesystem::exists(dir / "null.ply"));
}

struct SnapshotPoints : ::testing::Test {
    // A 2 x 2 depth frame, one pixel without depth.
    std::vector<uint16_t> depth = {1000, 0, 1200, 1300};
    std::vector<NsVector3f> points = {{-1, -1, 1000}, {0, 0, 0}, {-1, 1, 1200}, {1, 1, 1300}};
    NsFrame depthFrame = MakeFrame(DepthFrame, NsPixelDepth16, 2, 2, depth.data(), 8);
    TempDir dir;
};

// Without colour, then with a mapped colour of the depth size (B G R pixels; the pixel
// without depth carries a colour that must not appear).
TEST_F(SnapshotPoints, SnapshotWritesThePointsBesideTheImagesColouredWhenMapped) {
    std::vector<uint8_t> bgr = {1, 2, 3, 9, 9, 9, 4, 5, 6, 7, 8, 9};
    const NsFrame mapped = MakeFrame(MappedRGBFrame, NsPixelBGR24, 2, 2, bgr.data(), 12);
    for (const NsFrame* colour : {static_cast<const NsFrame*>(nullptr), &mapped}) {
        SnapshotResult result;
        ASSERT_TRUE(WriteSnapshot({&depthFrame, nullptr, nullptr, points.data(), colour},
                                  dir.Path(), result))
            << result.error;
        EXPECT_EQ(result.pointCloud, dir / kPointCloudFile);
        EXPECT_EQ(result.points, 3u);
        EXPECT_EQ(result.colouredPoints, colour != nullptr);
        // Colour on depth is also an image of its own, in R G B order.
        EXPECT_EQ(std::filesystem::exists(dir / kColourOnDepthFile), colour != nullptr);
        if (colour != nullptr) {
            EXPECT_EQ(test::ReadPng(dir / kColourOnDepthFile).pixels[0], 3);
        }
        const Ply ply = ReadPly(result.pointCloud);
        ASSERT_EQ(ply.vertices.size(), 3u);
        EXPECT_EQ(ply.vertices[2].z, 1300.0f);
        if (colour != nullptr) {
            EXPECT_EQ(ply.vertices[0].r, 3);
            EXPECT_EQ(ply.vertices[0].b, 1);
            EXPECT_EQ(ply.vertices[1].r, 6);
            EXPECT_EQ(ply.vertices[2].g, 8);
        }
    }
}

TEST_F(SnapshotPoints, MappedColourThatDoesNotFit) {
    std::vector<uint8_t> rgb(3 * 4 * 4, 50);
    // Another size: the points are written without colour.
    const NsFrame larger = MakeFrame(MappedRGBFrame, NsPixelRGB24, 4, 4, rgb.data(), 48);
    SnapshotResult result;
    ASSERT_TRUE(
        WriteSnapshot({&depthFrame, nullptr, nullptr, points.data(), &larger}, dir.Path(), result));
    EXPECT_FALSE(result.colouredPoints);
    EXPECT_EQ(ReadPly(result.pointCloud).header.size(), 8u);

    // Shorter than its size says: the snapshot is refused before any file is written.
    const NsFrame truncated = MakeFrame(MappedRGBFrame, NsPixelRGB24, 2, 2, rgb.data(), 11);
    TempDir other;
    SnapshotResult refused;
    EXPECT_FALSE(WriteSnapshot({&depthFrame, nullptr, nullptr, points.data(), &truncated},
                               other / "out", refused));
    EXPECT_NE(refused.error.find("mapped colour"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(other / "out"));
}

}  // namespace
}  // namespace quorix::cli
