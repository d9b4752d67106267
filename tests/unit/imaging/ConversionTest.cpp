// Coordinate conversion: points that have no depth coordinates, exact round trips, whole
// frames against a plain reference loop (full and 360-row frames, frames that do not fit),
// every vector path against the portable loop bit for bit, and the colour-point mapping's
// results.
#include "imaging/Conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "FakePreProcess.h"
#include "ForEachTarget.h"
#include "log/Log.h"

namespace quorix {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

NsCameraParameters Camera(double fx, double fy, double cx, double cy) {
    NsCameraParameters p{};
    p.fx = fx;
    p.fy = fy;
    p.cx = cx;
    p.cy = cy;
    return p;
}

void ExpectDepth(const NsDepthVector3& d, int32_t x, int32_t y, uint16_t z) {
    EXPECT_EQ(+d.depthX, x);
    EXPECT_EQ(+d.depthY, y);
    EXPECT_EQ(+d.depthZ, z);
}

TEST(WorldToDepth, PointsWithoutDepthCoordinatesGiveTheOrigin) {
    const NsCameraParameters k = Camera(500, 500, 320, 240);
    const struct {
        NsVector3f world;
        NsCameraParameters camera;
        const char* why;
    } cases[] = {
        {{100, 50, 0}, k, "z = 0"},
        {{100, 50, -0.0f}, k, "z = -0"},
        {{100, 50, -1000}, k, "behind the camera"},
        {{100, 50, kNaN}, k, "z NaN"},
        {{100, 50, kInf}, k, "z infinite"},
        {{kInf, 50, 1000}, k, "x infinite"},
        {{100, kNaN, 1000}, k, "y NaN"},
        {{0, 0, 65536}, k, "depth beyond u16"},
        {{1e30f, 0, 1}, k, "column beyond int32"},
        {{0, -1e30f, 1}, k, "row beyond int32"},
        {{3e38f, 0, 1e-3f}, k, "x / z overflows"},
        {{0, 0, 1000}, Camera(kNaN, 500, 320, 240), "fx NaN"},
        {{0, 0, 1000}, Camera(500, 500, 320, 3e9), "cy beyond int32"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        for (const RowDirection rows : {RowDirection::kDown, RowDirection::kUp}) {
            ExpectDepth(WorldToDepthPoint(c.world, c.camera, rows), 0, 0, 0);
        }
    }
    // The last column that fits int32 still converts; truncation goes towards zero, also
    // left of the image. (The projection itself is the conversion exports' test.)
    ExpectDepth(WorldToDepthPoint({2147483520.0f, 0, 1}, Camera(1, 1, 0, 0), RowDirection::kDown),
                2147483520, 0, 1);
    ExpectDepth(WorldToDepthPoint({-1001, 0, 1000}, k, RowDirection::kDown), -180, 240, 1000);
    ExpectDepth(WorldToDepthPoint({0, 0, 65535.9f}, k, RowDirection::kDown), 320, 240, 65535);
}

TEST(DepthToWorld, ResultsThatDoNotFitAFloatGiveTheOrigin) {
    const NsVector3f zero = DepthToWorldPoint({330, 240, 1000}, Camera(0, 500, 320, 240));
    EXPECT_EQ(+zero.x, 0.0f);
    EXPECT_EQ(+zero.z, 0.0f);
    const NsVector3f nan = DepthToWorldPoint({320, 240, 1000}, Camera(0, 500, 320, 240));
    EXPECT_EQ(+nan.x, 0.0f);
    EXPECT_EQ(+nan.y, 0.0f);
    const NsVector3f huge =
        DepthToWorldPoint({2147483647, 240, 65535}, Camera(1e-300, 500, 0, 240));
    EXPECT_EQ(+huge.x, 0.0f);
    // Depth 0 is a point on the camera, not an error.
    const NsVector3f origin = DepthToWorldPoint({100, 100, 0}, Camera(500, 500, 320, 240));
    EXPECT_EQ(+origin.x, 0.0f);
    EXPECT_EQ(+origin.z, 0.0f);
}

// With dyadic intrinsics and depths below 2^13 every step is exact, so a round trip must
// come back to the very pixel: a wrong sign, offset or focal length shows at once.
TEST(Conversion, RoundTripsAreExactWithDyadicIntrinsics) {
    const NsCameraParameters k = Camera(512, 256, 320.5, 239.25);
    std::vector<NsDepthVector3> depth;
    for (int32_t v = -8; v < 488; v += 31) {
        for (int32_t u = -8; u < 648; u += 29) {
            depth.push_back({u, v, static_cast<uint16_t>(1 + (u * 7 + v * 13 + 4096) % 8191)});
        }
    }
    const auto n = static_cast<uint32_t>(depth.size());
    std::vector<NsVector3f> world(n);
    std::vector<NsDepthVector3> back(n);
    std::vector<NsDepthVector3> mirrored(n);
    ConvertDepthToWorld(depth.data(), world.data(), n, k);
    ConvertWorldToDepth(world.data(), back.data(), n, k, RowDirection::kDown);
    ConvertWorldToDepth(world.data(), mirrored.data(), n, k, RowDirection::kUp);
    for (uint32_t i = 0; i < n; ++i) {
        SCOPED_TRACE(testing::Message() << +depth[i].depthX << "," << +depth[i].depthY);
        ExpectDepth(back[i], depth[i].depthX, depth[i].depthY, depth[i].depthZ);
        // Rows counted upwards mirror about cy: 2 * 239.25 - v, truncated.
        const double up = 2 * 239.25 - depth[i].depthY;
        ExpectDepth(mirrored[i], depth[i].depthX, static_cast<int32_t>(up), depth[i].depthZ);
    }
}

// ---- depth frames -----------------------------------------------------------------------

// Both forms of the rays: the separable ones the conversion takes and the per-pixel pairs
// it used to read, (column ray, row ray) for every pixel, which the reference multiplies.
struct RayTable {
    RayTable(uint32_t w, uint32_t h, double fx, double fy, double cx, double cy)
        : width(w), height(h), columns(w), rows(h), pairs(size_t{w} * h * 2) {
        for (uint32_t u = 0; u < w; ++u) {
            columns[u] = (u - cx) / fx;
        }
        for (uint32_t v = 0; v < h; ++v) {
            rows[v] = (v - cy) / fy;
        }
        double* ray = pairs.data();
        for (uint32_t v = 0; v < h; ++v) {
            for (uint32_t u = 0; u < w; ++u) {
                *ray++ = (u - cx) / fx;
                *ray++ = (v - cy) / fy;
            }
        }
    }
    RayTableView View() const { return {columns.data(), rows.data(), width, height}; }
    uint32_t width;
    uint32_t height;
    std::vector<double> columns;
    std::vector<double> rows;
    std::vector<double> pairs;
};

// Random depths with every edge value scattered among them.
std::vector<uint16_t> DepthFrame(size_t pixels, uint32_t seed = 7) {
    std::mt19937 rng(seed);
    std::vector<uint16_t> depth(pixels);
    const uint16_t edges[] = {0, 65535, 1, 65534, 2, 32768};
    for (uint16_t& d : depth) {
        const uint32_t r = rng();
        d = r % 5 == 0 ? edges[(r >> 8) % 6] : static_cast<uint16_t>(r >> 16);
    }
    return depth;
}

// The conversion written out directly over the per-pixel pairs: pixel (u, v) of the frame
// takes table row v + firstRow.
std::vector<NsVector3f> Reference(const RayTable& table, const std::vector<uint16_t>& depth,
                                  uint32_t width, uint32_t height, uint32_t firstRow) {
    std::vector<NsVector3f> out(size_t{width} * height);
    for (uint32_t v = 0; v < height; ++v) {
        for (uint32_t u = 0; u < width; ++u) {
            const size_t i = size_t{v} * width + u;
            const size_t t = (size_t{v} + firstRow) * table.width + u;
            const uint16_t d = depth[i];
            if (d >= 1 && d <= 65534) {
                out[i] = {static_cast<float>(d * table.pairs[2 * t]),
                          static_cast<float>(d * table.pairs[2 * t + 1]), static_cast<float>(d)};
            } else {
                out[i] = {0, 0, 0};
            }
        }
    }
    return out;
}

bool SameBits(const std::vector<NsVector3f>& a, const std::vector<NsVector3f>& b) {
    return a.size() == b.size() &&
           (a.empty() || memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0);
}

// Frames that fit are converted whole, bit for bit as the plain loop does (the edge values
// give +0, never -0 from a negative ray), a 360-row frame from table row 60; frames that
// do not fit the table, or are short of data, are refused with nothing written.
TEST(DepthFrameToWorld, FramesThatFitAreConvertedWholeAndOthersRefused) {
    const RayTable wide(640, 480, 520.5, 521.25, 319.5, 239.5);
    const RayTable portrait(480, 640, 520.5, 521.25, 239.5, 319.5);
    const std::vector<uint16_t> depth = DepthFrame(641 * 481);
    const struct {
        const RayTable& table;
        uint32_t width;
        uint32_t height;
        size_t bytes;
        int32_t result;
        uint32_t firstRow;
    } cases[] = {
        {wide, 640, 480, 640 * 480 * 2, 0, 0},
        {wide, 640, 360, 640 * 360 * 2, 0, 60},
        {portrait, 480, 640, 480 * 640 * 2, 0, 0},
        {wide, 640, 0, 0, 0, 0},                      // nothing to convert
        {wide, 640, 480, 640 * 480 * 2 - 1, -15, 0},  // short data
        {wide, 640, 360, 640 * 360 * 2 - 2, -15, 0},
        {wide, 641, 480, 641 * 480 * 2, -15, 0},  // wider
        {wide, 640, 481, 640 * 481 * 2, -15, 0},  // higher
        {wide, 320, 240, 320 * 240 * 2, -15, 0},  // narrower: no known place in the table
        {wide, 480, 640, 480 * 640 * 2, -15, 0},  // rotated
        {portrait, 640, 480, 640 * 480 * 2, -15, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " " << c.bytes);
        log::Capture capture;
        std::vector<NsVector3f> out(641 * 481, NsVector3f{kNaN, kNaN, kNaN});
        EXPECT_EQ(ConvertDepthFrameToWorld(c.table.View(), depth.data(), c.width, c.height, c.bytes,
                                           out.data()),
                  c.result);
        if (c.result != 0) {
            EXPECT_TRUE(std::isnan(out[0].x) && std::isnan(out.back().z));  // nothing written
            EXPECT_TRUE(capture.Contains("depth frame")) << "the refusal is logged";
        } else {
            out.resize(size_t{c.width} * c.height);
            EXPECT_TRUE(SameBits(out, Reference(c.table, depth, c.width, c.height, c.firstRow)));
        }
    }
}

// ---- vector paths -------------------------------------------------------------------------

// A whole frame through every instruction set gives the floats the per-pixel table gave, bit
// for bit: realistic intrinsics (centre off the middle, fx != fy), the largest and smallest
// valid depths along every border and in the corners, where the rays are longest.
TEST(DepthFrameToWorld, EveryPathGivesThePerPixelTablesFloats) {
    const RayTable table(640, 480, 523.17, 522.83, 318.42, 243.61);
    std::vector<uint16_t> depth = DepthFrame(640 * 480, 11);
    for (uint32_t u = 0; u < 640; ++u) {
        depth[u] = u % 2 == 0 ? 65534 : 1;
        depth[479 * 640 + u] = u % 3 == 0 ? 65534 : 40000;
    }
    for (uint32_t v = 0; v < 480; ++v) {
        depth[v * 640] = v % 2 == 0 ? 65534 : 7;
        depth[v * 640 + 639] = 65534;
    }
    const std::vector<NsVector3f> expected = Reference(table, depth, 640, 480, 0);
    std::vector<NsVector3f> actual(640 * 480);
    test::ForEachTarget(DepthToWorldTargetName, [&] {
        std::fill(actual.begin(), actual.end(), NsVector3f{kNaN, kNaN, kNaN});
        ASSERT_EQ(ConvertDepthFrameToWorld(table.View(), depth.data(), 640, 480, depth.size() * 2,
                                           actual.data()),
                  0);
        EXPECT_TRUE(SameBits(actual, expected));
        EXPECT_EQ(actual[1].x, static_cast<float>(1 * table.columns[1]));
        EXPECT_EQ(actual[0].y, static_cast<float>(65534 * table.rows[0]));
    });
}

TEST(DepthRowToWorld, EveryPathEqualsThePortableLoopBitForBit) {
    // Rays of both signs (a zero depth times a negative ray would be -0) and a few extremes.
    RayTable table(640, 480, 520.5, 521.25, 319.5, 239.5);
    table.columns[1] = 1e30;
    table.columns[3] = -1e-300;
    table.columns[5] = 1.0 / 3;
    const size_t pixels = 640;
    // One element more so the vector path can also start at an odd address.
    std::vector<uint16_t> depth = DepthFrame(pixels + 1, 3);
    depth[0] = depth[1] = 65535;
    depth[2] = 0;
    depth[3] = 65534;
    std::vector<NsVector3f> expected(pixels);
    std::vector<NsVector3f> actual(pixels);
    test::ForEachTarget(DepthToWorldTargetName, [&] {
        for (const double rowRay : {-0.46, 0.0, -0.0, 1e30, -1e-300}) {
            for (const size_t n : {size_t{0}, size_t{1}, size_t{7}, size_t{15}, size_t{16},
                                   size_t{17}, size_t{33}, pixels - 1, pixels}) {
                SCOPED_TRACE(testing::Message() << n << " " << rowRay);
                std::fill(actual.begin(), actual.end(), NsVector3f{kNaN, kNaN, kNaN});
                std::fill(expected.begin(), expected.end(), NsVector3f{kNaN, kNaN, kNaN});
                DepthRowToWorldPortable(depth.data(), table.columns.data(), rowRay, n,
                                        expected.data());
                DepthRowToWorld(depth.data(), table.columns.data(), rowRay, n, actual.data());
                EXPECT_TRUE(SameBits(actual, expected));
            }
        }
        // Unaligned depth (a frame from the application at an odd offset).
        const auto* odd =
            reinterpret_cast<const uint16_t*>(reinterpret_cast<const uint8_t*>(depth.data()) + 1);
        DepthRowToWorldPortable(odd, table.columns.data(), 0.25, pixels - 1, expected.data());
        DepthRowToWorld(odd, table.columns.data(), 0.25, pixels - 1, actual.data());
        EXPECT_TRUE(SameBits(actual, expected));
    });
}

// ---- depth point into the colour image -------------------------------------------------

class PointMapper final : public test::FakePreProcess {
public:
    int32_t MapDepthPointToColour(const NsDepthVector3& depthPoint, uint32_t colourResolution,
                                  NsDepthVector3* colourPoint) override {
        seen = depthPoint;
        seenResolution = colourResolution;
        *colourPoint = answer;
        return result;
    }
    int32_t result = 0;
    NsDepthVector3 answer{0, 0, 0};
    NsDepthVector3 seen{0, 0, 0};
    uint32_t seenResolution = 0;
};

TEST(MapDepthPointToColourPoint, OnlyASuccessfulMappingThatFitsIsReported) {
    const struct {
        int32_t result;
        NsDepthVector3 answer;
        int32_t status;
        uint16_t x;
        uint16_t y;
    } cases[] = {
        {0, {1919, 1079, 0}, 0, 1919, 1079},
        {0, {0, 65535, 0}, 0, 0, 65535},
        {-1, {100, 200, 0}, -1, 0, 0},  // failed: the point is zeroed
        {-255, {100, 200, 0}, -1, 0, 0},
        {0, {-1, 200, 0}, -1, 0, 0},  // outside any colour image
        {0, {100, 65536, 0}, -1, 0, 0},
    };
    for (const auto& c : cases) {
        PointMapper mapper;
        mapper.result = c.result;
        mapper.answer = c.answer;
        NsColorPoint point{0xABCD, 0xABCD};
        EXPECT_EQ(
            MapDepthPointToColourPoint(&mapper, {320, 240, 1500}, 1920u | (1080u << 16), &point),
            c.status);
        EXPECT_EQ(+point.colorX, c.x);
        EXPECT_EQ(+point.colorY, c.y);
        EXPECT_EQ(+mapper.seen.depthX, 320);
        EXPECT_EQ(+mapper.seen.depthZ, 1500);
        EXPECT_EQ(mapper.seenResolution, 1920u | (1080u << 16));
    }
    NsColorPoint point{1, 1};
    EXPECT_EQ(MapDepthPointToColourPoint(nullptr, {320, 240, 1500}, 0, &point), -1);
    EXPECT_EQ(+point.colorX, 0);
    EXPECT_EQ(+point.colorY, 0);
}

}  // namespace
}  // namespace quorix
