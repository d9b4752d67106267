// Registration against a plain reference (back-project, transform, project, nearest wins)
// on ray-cast scenes: planes, a step and a sphere, with identity and realistic extrinsics;
// the vector projection against the portable one; undistortion and the refusals.
#include "imgproc/Registration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "imgproc/ImageGeometry.h"
#include "imgproc/ImgPreProcessImpl.h"
#include "imgproc/Undistort.h"
#include "unit/imaging/ForEachTarget.h"

namespace quorix {
namespace {

using registration::Extrinsics;
using registration::Pinhole;

constexpr uint32_t kW = 640;
constexpr uint32_t kH = 480;
const Pinhole kDepthCamera{520.5, 521.25, 319.5, 239.5, kW, kH};
const Pinhole kColourFull{1380.0, 1381.5, 959.5, 539.5, 1920, 1080};

Extrinsics Realistic() {
    const double a = 0.01;
    return Extrinsics{{std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a), 0, 0, 0, 1},
                      {-25.0, 0.5, 0.25}};
}

enum class Scene { Plane, Step, Sphere };

// Depth (Z, mm) of each pixel of the depth camera looking at the scene.
std::vector<uint16_t> RayCast(Scene scene) {
    std::vector<uint16_t> depth(size_t{kW} * kH);
    for (uint32_t v = 0; v < kH; ++v) {
        for (uint32_t u = 0; u < kW; ++u) {
            const double rx = (u - kDepthCamera.cx) / kDepthCamera.fx;
            const double ry = (v - kDepthCamera.cy) / kDepthCamera.fy;
            double z = 2000 + 300 * rx;  // a wall, slightly turned
            if (scene == Scene::Step && u < kW / 2) {
                z = 1200;
            } else if (scene == Scene::Sphere) {
                // Sphere of radius 300 at (0, 0, 1500): |t r - C|^2 = R^2.
                const double a = rx * rx + ry * ry + 1;
                const double b = -2 * 1500;
                const double c = 1500.0 * 1500 - 300.0 * 300;
                const double disc = b * b - 4 * a * c;
                if (disc >= 0) {
                    z = (-b - std::sqrt(disc)) / (2 * a);
                }
            }
            depth[size_t{v} * kW + u] = static_cast<uint16_t>(std::lround(z));
        }
    }
    depth[5] = 0;  // pixels without distance
    depth[kW * 3 + 7] = 65535;
    return depth;
}

struct Landing {
    bool inside;
    int32_t x, y;
    uint16_t z;
};

// The reference: one depth pixel, double precision all the way.
Landing Reference(const Pinhole& d, const Pinhole& c, const Extrinsics& e, uint32_t u, uint32_t v,
                  uint16_t depth) {
    const double px = (u - d.cx) / d.fx * depth;
    const double py = (v - d.cy) / d.fy * depth;
    const double pz = depth;
    const auto& r = e.rotation;
    const double qx = r[0] * px + r[1] * py + r[2] * pz + e.translation[0];
    const double qy = r[3] * px + r[4] * py + r[5] * pz + e.translation[1];
    const double qz = r[6] * px + r[7] * py + r[8] * pz + e.translation[2];
    const int32_t x = static_cast<int32_t>(std::floor(c.fx * qx / qz + c.cx + 0.5));
    const int32_t y = static_cast<int32_t>(std::floor(c.fy * qy / qz + c.cy + 0.5));
    const bool inside = depth != 0 && depth != 65535 && x >= 0 && y >= 0 &&
                        x < static_cast<int32_t>(c.width) && y < static_cast<int32_t>(c.height);
    return Landing{inside, x, y, static_cast<uint16_t>(std::lround(qz))};
}

std::vector<uint16_t> ReferenceMap(const std::vector<uint16_t>& depth, const Pinhole& c,
                                   const Extrinsics& e) {
    std::vector<uint16_t> out(size_t{c.width} * c.height, 0);
    for (uint32_t v = 0; v < kH; ++v) {
        for (uint32_t u = 0; u < kW; ++u) {
            const Landing l = Reference(kDepthCamera, c, e, u, v, depth[size_t{v} * kW + u]);
            if (!l.inside) {
                continue;
            }
            uint16_t& cell = out[size_t(l.y) * c.width + l.x];
            if (cell == 0 || l.z < cell) {
                cell = l.z;
            }
        }
    }
    return out;
}

// No neighbour within two pixels differs by more than a smooth surface allows.
bool Smooth(const std::vector<uint16_t>& depth, uint32_t u, uint32_t v) {
    if (u < 2 || v < 2 || u + 2 >= kW || v + 2 >= kH) {
        return false;
    }
    const int centre = depth[size_t{v} * kW + u];
    for (int dv = -2; dv <= 2; ++dv) {
        for (int du = -2; du <= 2; ++du) {
            const int other = depth[size_t(v + dv) * kW + (u + du)];
            if (other == 0 || other == 65535 || std::abs(other - centre) > 20) {
                return false;
            }
        }
    }
    return true;
}

struct Comparison {
    uint32_t checked = 0;
    uint32_t wrong = 0;
};

// Every smooth depth pixel that wins its reference pixel must find its depth (within 1 mm
// plus the surface's slope over one pixel) at that pixel or, for rounding, next to it.
Comparison CompareWithReference(const std::vector<uint16_t>& depth,
                                const std::vector<uint16_t>& mapped, const Pinhole& c,
                                const Extrinsics& e) {
    const std::vector<uint16_t> ref = ReferenceMap(depth, c, e);
    Comparison result;
    for (uint32_t v = 0; v < kH; ++v) {
        for (uint32_t u = 0; u < kW; ++u) {
            const Landing l = Reference(kDepthCamera, c, e, u, v, depth[size_t{v} * kW + u]);
            if (!l.inside || !Smooth(depth, u, v) || ref[size_t(l.y) * c.width + l.x] != l.z) {
                continue;
            }
            ++result.checked;
            bool found = false;
            for (int dy = -1; dy <= 1 && !found; ++dy) {
                for (int dx = -1; dx <= 1 && !found; ++dx) {
                    const int x = l.x + dx;
                    const int y = l.y + dy;
                    if (x < 0 || y < 0 || x >= int(c.width) || y >= int(c.height)) {
                        continue;
                    }
                    found = std::abs(int(mapped[size_t(y) * c.width + x]) - int(l.z)) <= 3;
                }
            }
            result.wrong += found ? 0 : 1;
        }
    }
    return result;
}

// Empty pixels inside one surface facing the camera: depth within 3 pixels on both sides,
// across or down, and both sides alike. A gap beside an occluding edge is a real hole, and
// so is the stretch where the colour camera sees a steep surface (the sphere's rim) more
// squarely than the depth camera did: forward mapping leaves those, as it should.
uint32_t PinHoles(const std::vector<uint16_t>& mapped, uint32_t w, uint32_t h) {
    const auto near = [&](uint32_t x, uint32_t y, int dx, int dy) -> uint16_t {
        for (int step = 1; step <= 3; ++step) {
            const int nx = int(x) + dx * step;
            const int ny = int(y) + dy * step;
            if (nx < 0 || ny < 0 || nx >= int(w) || ny >= int(h)) {
                return 0;
            }
            if (const uint16_t z = mapped[size_t(ny) * w + nx]; z != 0) {
                return z;
            }
        }
        return 0;
    };
    const auto alike = [](uint16_t a, uint16_t b) {
        return a != 0 && b != 0 && std::abs(int(a) - int(b)) <= 5;
    };
    uint32_t holes = 0;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            if (mapped[size_t{y} * w + x] == 0 && (alike(near(x, y, -1, 0), near(x, y, 1, 0)) ||
                                                   alike(near(x, y, 0, -1), near(x, y, 0, 1)))) {
                ++holes;
            }
        }
    }
    return holes;
}

std::vector<uint16_t> Map(const std::vector<uint16_t>& depth, const Pinhole& c, const Extrinsics& e,
                          bool portable) {
    registration::ProjectionTable table;
    table.Build(kDepthCamera, c, e, true);
    std::vector<uint16_t> out(size_t{c.width} * c.height, 7);
    auto row = std::make_unique<registration::ProjectedRow>();
    registration::MapDepthToColour(table, depth.data(), nullptr, out.data(), nullptr, *row,
                                   portable);
    return out;
}

struct Case {
    Scene scene;
    bool realistic;
    uint32_t colourWidth;
    uint32_t colourHeight;
};

class DepthToColour : public ::testing::TestWithParam<Case> {};

TEST_P(DepthToColour, MatchesTheReferenceAndLeavesNoPinHoles) {
    const Case& k = GetParam();
    const std::vector<uint16_t> depth = RayCast(k.scene);
    const Pinhole c = registration::ScaledTo(kColourFull, k.colourWidth, k.colourHeight);
    const Extrinsics e = k.realistic ? Realistic() : Extrinsics{};
    for (bool portable : {true, false}) {
        const std::vector<uint16_t> mapped = Map(depth, c, e, portable);
        const Comparison cmp = CompareWithReference(depth, mapped, c, e);
        EXPECT_GT(cmp.checked, 50000u);
        EXPECT_EQ(cmp.wrong, 0u) << "portable " << portable;
        // The sphere's rim keeps a few stretch holes where it turns away from the depth
        // camera; flat surfaces keep none.
        EXPECT_LE(PinHoles(mapped, c.width, c.height), k.scene == Scene::Sphere ? 100u : 0u)
            << "portable " << portable;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, DepthToColour,
    ::testing::Values(Case{Scene::Plane, false, 640, 360}, Case{Scene::Plane, true, 640, 360},
                      Case{Scene::Step, true, 640, 360}, Case{Scene::Sphere, true, 640, 360},
                      Case{Scene::Plane, true, 1920, 1080}, Case{Scene::Step, true, 1920, 1080},
                      Case{Scene::Sphere, true, 1920, 1080}, Case{Scene::Sphere, true, 640, 480}));

TEST(Registration, ThePlainOneTargetReferenceLeavesPinHolesInLargerColour) {
    // What the footprint is for: the same wall mapped pixel by pixel into 1920 x 1080.
    const std::vector<uint16_t> ref = ReferenceMap(RayCast(Scene::Plane), kColourFull, Realistic());
    EXPECT_GT(PinHoles(ref, 1920, 1080), 5000u);
}

TEST(Registration, IdentityGeometryIsAnExactCopy) {
    const std::vector<uint16_t> depth = RayCast(Scene::Sphere);
    const std::vector<uint16_t> mapped = Map(depth, kDepthCamera, Extrinsics{}, false);
    std::vector<uint16_t> expected = depth;
    expected[kW * 3 + 7] = 0;  // beyond range carries no distance to map
    EXPECT_EQ(mapped, expected);
}

TEST(Registration, TheNearerOfTwoDepthsLandingOnOnePixelWins) {
    // Colour a quarter the size: four depth pixels share a colour pixel.
    std::vector<uint16_t> depth(size_t{kW} * kH, 3000);
    depth[size_t{241} * kW + 321] = 1000;
    depth[size_t{240} * kW + 320] = 0;
    const Pinhole c = registration::ScaledTo(kDepthCamera, kW / 2, kH / 2);
    const std::vector<uint16_t> mapped = Map(depth, c, Extrinsics{}, false);
    EXPECT_EQ(mapped[size_t{120} * (kW / 2) + 160], 1000);
    EXPECT_EQ(mapped[size_t{120} * (kW / 2) + 161], 3000);
}

TEST(Registration, VectorAndPortableProjectionsAgreeBitForBit) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> any(0, 65535);
    std::vector<uint16_t> depth(kW);
    registration::ProjectionTable table;
    table.Build(kDepthCamera, kColourFull, Realistic(), true);
    auto a = std::make_unique<registration::ProjectedRow>();
    auto b = std::make_unique<registration::ProjectedRow>();
    for (uint32_t v = 0; v < kH; v += 7) {
        for (auto& d : depth) {
            d = static_cast<uint16_t>(any(rng) % 4 == 0 ? any(rng) : any(rng) % 8000);
        }
        depth[0] = 0;
        depth[1] = 65535;
        depth[2] = 1;  // in front of the colour camera only just, or behind it
        registration::ProjectRowPortable(table, v, depth.data(), *a);
        registration::ProjectRow(table, v, depth.data(), *b);
        for (uint32_t u = 0; u < kW; ++u) {
            ASSERT_EQ(a->z[u], b->z[u]) << u << "," << v;
            if (a->z[u] != 0) {
                ASSERT_EQ(a->x0[u], b->x0[u]);
                ASSERT_EQ(a->x1[u], b->x1[u]);
                ASSERT_EQ(a->y0[u], b->y0[u]);
                ASSERT_EQ(a->y1[u], b->y1[u]);
                ASSERT_EQ(a->shape[u], b->shape[u]);
                ASSERT_EQ(a->offset[u], b->offset[u]);
            }
        }
        ASSERT_EQ(a->bottom, b->bottom) << v;
    }
    std::printf("projection path: %s\n", registration::ProjectRowTargetName());
}

// A depth frame for any depth camera: a turned wall, a nearer block, a fronto-parallel
// patch (neighbours at one depth tie on shared colour pixels), holes and beyond-range pixels.
std::vector<uint16_t> Blocks(const Pinhole& d, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint16_t> depth(size_t{d.width} * d.height);
    for (uint32_t v = 0; v < d.height; ++v) {
        for (uint32_t u = 0; u < d.width; ++u) {
            uint16_t z = static_cast<uint16_t>(1800 + 400 * u / d.width + 100 * v / d.height);
            if (u > d.width / 4 && u < d.width / 2 && v > d.height / 3) {
                z = 900;
            } else if (u > d.width * 2 / 3 && v < d.height / 2) {
                z = 1500;
            }
            const uint32_t r = rng() % 200;
            depth[size_t{v} * d.width + u] = r == 0 ? 0 : r == 1 ? 65535 : z;
        }
    }
    return depth;
}

// The run-time paths (projection, scatter and colour fetch) map every geometry bit for bit
// as the portable loops do, depth alone, with IR and colour on depth: colour larger and
// smaller than depth (the identity fetches the first and last colour pixels), a
// colour camera turned upside down (rows fill from the bottom), footprints too large for
// the vector window, and the border footprints that fall back to plain code. The outputs
// start dirty: every pixel is written.
TEST(Registration, EveryPathMapsAsThePortableLoopsBitForBit) {
    const double pi = std::acos(-1.0);
    const Extrinsics upsideDown{
        {std::cos(pi), -std::sin(pi), 0, std::sin(pi), std::cos(pi), 0, 0, 0, 1}, {3.0, -2.0, 0.5}};
    const struct {
        Pinhole depth;
        Pinhole colour;
        Extrinsics extrinsics;
    } cases[] = {
        {kDepthCamera, kColourFull, Realistic()},
        {kDepthCamera, registration::ScaledTo(kColourFull, 640, 360), Realistic()},
        {kDepthCamera, registration::ScaledTo(kColourFull, 1280, 720), upsideDown},
        {kDepthCamera, kDepthCamera, Extrinsics{}},
        {registration::ScaledTo(kDepthCamera, 160, 120), kColourFull, Realistic()},
        {registration::ScaledTo(kDepthCamera, 320, 240), kColourFull, Extrinsics{}},
    };
    auto row = std::make_unique<registration::ProjectedRow>();
    uint32_t seed = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.depth.width << "x" << c.depth.height << " -> "
                                        << c.colour.width << "x" << c.colour.height);
        registration::ProjectionTable table;
        table.Build(c.depth, c.colour, c.extrinsics, true);
        std::vector<uint16_t> depth = Blocks(c.depth, seed++);
        depth.front() = depth.back() = 2000;  // the corners land (the identity's first and last)
        std::vector<uint16_t> ir(depth.size());
        for (size_t i = 0; i < ir.size(); ++i) {
            ir[i] = static_cast<uint16_t>(i * 7919);  // a different value for every pixel
        }
        const size_t pixels = size_t{c.colour.width} * c.colour.height;
        std::vector<uint16_t> expected(pixels, 7), expectedIr(pixels, 7);
        std::vector<uint16_t> alone(pixels, 7);
        registration::MapDepthToColour(table, depth.data(), ir.data(), expected.data(),
                                       expectedIr.data(), *row, true);
        registration::MapDepthToColour(table, depth.data(), nullptr, alone.data(), nullptr, *row,
                                       true);
        ASSERT_EQ(alone, expected) << "IR changes nothing of the depth";
        ASSERT_GT(std::count(expected.begin(), expected.end(), 0), 0);
        ASSERT_GT(std::count_if(expected.begin(), expected.end(), [](uint16_t z) { return z; }),
                  static_cast<std::ptrdiff_t>(pixels / 4));
        // Colour on depth from the same geometry: every colour pixel tells where it was.
        registration::ProjectionTable nearest;
        nearest.Build(c.depth, c.colour, c.extrinsics, false);
        std::vector<uint8_t> colour(pixels * 3);
        for (size_t i = 0; i < colour.size(); ++i) {
            colour[i] = static_cast<uint8_t>(i * 131 + i / 251);
        }
        std::vector<uint8_t> expectedColour(depth.size() * 3, 7);
        registration::MapColourToDepth(nearest, depth.data(), colour.data(), expectedColour.data(),
                                       *row, true);
        test::ForEachTarget(registration::ProjectRowTargetName, [&] {
            std::vector<uint8_t> onDepth(depth.size() * 3, 7);
            registration::MapColourToDepth(nearest, depth.data(), colour.data(), onDepth.data(),
                                           *row);
            EXPECT_EQ(onDepth, expectedColour);
            std::vector<uint16_t> mapped(pixels, 7), mappedIr(pixels, 7);
            registration::MapDepthToColour(table, depth.data(), nullptr, mapped.data(), nullptr,
                                           *row);
            EXPECT_EQ(mapped, expected);
            std::fill(mapped.begin(), mapped.end(), 7);
            registration::MapDepthToColour(table, depth.data(), ir.data(), mapped.data(),
                                           mappedIr.data(), *row);
            EXPECT_EQ(mapped, expected);
            EXPECT_EQ(mappedIr, expectedIr);
        });
    }
}

// Colour on depth read from an image k times larger through its shrunk view is, on every
// path, what the same mapping gives from that image shrunk (the middle of each k x k cell,
// the rounded mean of the middle two by two for an even k): noise colour, so a sample one
// pixel off or a mean rounded the other way shows. Mapped together with depth onto the
// shrunk geometry from one projection, both come out as they do apart.
TEST(Registration, ColourReadThroughAShrunkViewIsThatOfTheShrunkImage) {
    const Pinhole colourCamera = registration::ScaledTo(kColourFull, 640, 360);
    registration::ProjectionTable nearest;
    nearest.Build(kDepthCamera, colourCamera, Realistic(), false);
    registration::ProjectionTable single;  // what depth onto colour uses: one pixel each
    single.Build(kDepthCamera, colourCamera, Realistic(), true);
    ASSERT_TRUE(single.singlePixel);
    std::vector<uint16_t> depth = Blocks(kDepthCamera, 11);
    depth.front() = depth.back() = 2000;
    auto row = std::make_unique<registration::ProjectedRow>();
    std::mt19937 rng(5);
    for (uint32_t k : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(testing::Message() << "k " << k);
        const uint32_t w = colourCamera.width * k + k - 1;  // a partial cell at the edges
        const uint32_t h = colourCamera.height * k + k - 1;
        std::vector<uint8_t> large(size_t{w} * h * 3);
        for (auto& b : large) {
            b = static_cast<uint8_t>(rng());
        }
        std::vector<uint8_t> shrunk(size_t{colourCamera.width} * colourCamera.height * 3);
        geometry::ShrinkByWhole3(large.data(), w, h, shrunk.data(), k);
        std::vector<uint8_t> expected(depth.size() * 3, 7);
        registration::MapColourToDepth(nearest, depth.data(), shrunk.data(), expected.data(), *row,
                                       true);
        ASSERT_GT(std::count(expected.begin(), expected.end(), 0), 0);
        const registration::ColourView view{large.data(), w, k};
        std::vector<uint8_t> portable(expected.size(), 7);
        registration::MapColourToDepth(nearest, depth.data(), view, portable.data(), *row, true);
        EXPECT_EQ(portable, expected);
        // Depth onto the shrunk geometry from the same projection: the same bytes both ways.
        std::vector<uint16_t> expectedDepth(shrunk.size() / 3, 7);
        registration::MapDepthToColour(single, depth.data(), nullptr, expectedDepth.data(), nullptr,
                                       *row, true);
        std::vector<uint16_t> both(expectedDepth.size(), 7);
        std::fill(portable.begin(), portable.end(), 7);
        registration::MapDepthAndColour(single, depth.data(), view, both.data(), portable.data(),
                                        *row, true);
        EXPECT_EQ(both, expectedDepth);
        EXPECT_EQ(portable, expected);
        test::ForEachTarget(registration::ProjectRowTargetName, [&] {
            std::vector<uint8_t> onDepth(expected.size(), 7);
            registration::MapColourToDepth(nearest, depth.data(), view, onDepth.data(), *row);
            EXPECT_EQ(onDepth, expected);
            std::fill(onDepth.begin(), onDepth.end(), 7);
            std::fill(both.begin(), both.end(), 7);
            registration::MapDepthAndColour(single, depth.data(), view, both.data(), onDepth.data(),
                                            *row);
            EXPECT_EQ(both, expectedDepth);
            EXPECT_EQ(onDepth, expected);
        });
    }
}

// --- through the pre-processing object --------------------------------------------------

std::vector<double> Calibration(const Extrinsics& e) {
    std::vector<double> block(kCalibrationDoubles, 0.0);
    const double depthMatrix[9] = {
        kDepthCamera.fx, 0, kDepthCamera.cx, 0, kDepthCamera.fy, kDepthCamera.cy, 0, 0, 1};
    const double colourMatrix[9] = {
        kColourFull.fx, 0, kColourFull.cx, 0, kColourFull.fy, kColourFull.cy, 0, 0, 1};
    std::copy(depthMatrix, depthMatrix + 9, block.begin());
    std::copy(colourMatrix, colourMatrix + 9, block.begin() + 17);
    std::copy(e.rotation.begin(), e.rotation.end(), block.begin() + 34);
    std::copy(e.translation.begin(), e.translation.end(), block.begin() + 43);
    return block;
}

void Configure(ImgPreProcessImpl& proc, const Extrinsics& e) {
    const std::vector<double> block = Calibration(e);
    ASSERT_EQ(proc.Init(block.data(), "/tmp/Config/"), 0);
    ASSERT_EQ(proc.SetCameraMatrix(0, block.data(), kH, kW), 0);
    // The frame engine gives the colour sides in the other order: either is understood.
    ASSERT_EQ(proc.SetCameraMatrix(1, block.data() + 17, 1920, 1080), 0);
}

// A colour image whose pixels name their own position.
std::vector<uint8_t> PositionImage(uint32_t w, uint32_t h) {
    std::vector<uint8_t> rgb(size_t{w} * h * 3);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(size_t{y} * w + x) * 3];
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(y);
            p[2] = static_cast<uint8_t>((x >> 8) | ((y >> 8) << 4)) | 0x80;
        }
    }
    return rgb;
}

// Both directions at once through the pre-processing object give what the two calls give:
// from one projection where colour is shrunk to a third (one pixel each), each on its own
// where the full-size colour spreads a depth pixel over several; bad arguments are refused.
TEST(Registration, DepthAndShrunkColourTogetherAsApart) {
    ImgPreProcessImpl proc;
    Configure(proc, Realistic());
    std::vector<uint16_t> depth = RayCast(Scene::Sphere);
    std::mt19937 rng(21);
    std::vector<uint8_t> colour(size_t{1920} * 1080 * 3);
    for (auto& b : colour) {
        b = static_cast<uint8_t>(rng());
    }
    ImageDescriptor d{reinterpret_cast<uint8_t*>(depth.data()), kImage16Bit, kW, kH};
    ImageDescriptor c{colour.data(), kImage8BitRgb, 1920, 1080};
    for (uint32_t scale : {3u, 1u}) {
        SCOPED_TRACE(testing::Message() << "scale " << scale);
        const size_t cells = size_t{1920 / scale} * (1080 / scale);
        std::vector<uint8_t> onDepth(size_t{kW} * kH * 3, 7), onDepthApart(onDepth);
        std::vector<uint16_t> onColour(cells, 7), onColourApart(cells, 7);
        ImageDescriptor colourOut{onDepth.data(), kImage8BitRgb, 0, 0};
        ImageDescriptor depthOut{reinterpret_cast<uint8_t*>(onColour.data()), kImage16Bit, 0, 0};
        ASSERT_EQ(proc.MapDepthAndShrunkColour(&d, &c, scale, &depthOut, &colourOut), 0);
        EXPECT_EQ(depthOut.width, 1920 / scale);
        EXPECT_EQ(colourOut.width, kW);
        ImageDescriptor shrunk{colour.data(), kImage8BitRgb, 1920 / scale, 1080 / scale};
        ImageDescriptor apart{onDepthApart.data(), kImage8BitRgb, 0, 0};
        ImageDescriptor apartDepth{reinterpret_cast<uint8_t*>(onColourApart.data()), kImage16Bit, 0,
                                   0};
        ASSERT_EQ(proc.MapShrunkColourToDepth(&d, &c, scale, &apart), 0);
        ASSERT_EQ(proc.MapDepthToColour(&shrunk, &d, &apartDepth), 0);
        EXPECT_EQ(onDepth, onDepthApart);
        EXPECT_EQ(onColour, onColourApart);
        EXPECT_GT(std::count(onColour.begin(), onColour.end(), 0), 0);
    }
    std::vector<uint8_t> out(size_t{1920} * 1080 * 3);
    ImageDescriptor o{out.data(), kImage8BitRgb, 0, 0};
    ImageDescriptor o16{out.data(), kImage16Bit, 0, 0};
    EXPECT_EQ(proc.MapDepthAndShrunkColour(&d, &c, 0, &o16, &o), -1);
    EXPECT_EQ(proc.MapDepthAndShrunkColour(&d, &c, 5, &o16, &o), -1);
    EXPECT_EQ(proc.MapDepthAndShrunkColour(&d, &c, 3, nullptr, &o), -1);
    EXPECT_EQ(proc.MapDepthAndShrunkColour(&d, &d, 3, &o16, &o), -1);  // depth as colour
    EXPECT_EQ(proc.MapShrunkColourToDepth(&d, &c, 0, &o), -1);
}

TEST(Registration, ColourOnDepthTakesTheNearestColourPixelOfEachProjection) {
    ImgPreProcessImpl proc;
    Configure(proc, Realistic());
    std::vector<uint16_t> depth = RayCast(Scene::Sphere);
    const uint32_t cw = 640, ch = 360;  // 1920 x 1080 scaled by 3
    std::vector<uint8_t> colour = PositionImage(cw, ch);
    std::vector<uint8_t> mapped(size_t{kW} * kH * 3, 7);
    ImageDescriptor d{reinterpret_cast<uint8_t*>(depth.data()), kImage16Bit, kW, kH};
    ImageDescriptor c{colour.data(), kImage8BitRgb, cw, ch};
    ImageDescriptor m{mapped.data(), kImage8BitRgb, 0, 0};
    ASSERT_EQ(proc.MapColourToDepth(&d, &c, &m), 0);
    EXPECT_EQ(m.width, kW);
    EXPECT_EQ(m.height, kH);
    const Pinhole cam = registration::ScaledTo(kColourFull, cw, ch);
    uint32_t checked = 0, empty = 0;
    for (uint32_t v = 0; v < kH; ++v) {
        for (uint32_t u = 0; u < kW; ++u) {
            const Landing l = Reference(kDepthCamera, cam, Realistic(), u, v, depth[v * kW + u]);
            const uint8_t* p = &mapped[(size_t{v} * kW + u) * 3];
            const bool atBorder = l.x <= 0 || l.y <= 0 || l.x + 1 >= int(cw) || l.y + 1 >= int(ch);
            if (!l.inside || atBorder) {
                // Outside the colour image, or no depth: black (allowing a rounding at
                // the border).
                if (depth[v * kW + u] == 0 || depth[v * kW + u] == 65535) {
                    EXPECT_EQ(p[0] | p[1] | p[2], 0) << u << "," << v;
                }
                empty += (p[2] & 0x80) == 0;
                continue;
            }
            ASSERT_NE(p[2] & 0x80, 0)
                << u << "," << v << " -> " << l.x << "," << l.y << " d " << depth[v * kW + u];
            const int x = p[0] | ((p[2] & 0x0F) << 8);
            const int y = p[1] | (((p[2] >> 4) & 0x07) << 8);
            ASSERT_LE(std::abs(x - l.x), 1) << u << "," << v;
            ASSERT_LE(std::abs(y - l.y), 1) << u << "," << v;
            ++checked;
        }
    }
    EXPECT_GT(checked, 250000u);
    EXPECT_GE(empty, 2u);
}

TEST(Registration, IrFollowsTheDepthThatWinsAndOneCallServesBoth) {
    ImgPreProcessImpl proc;
    Configure(proc, Realistic());
    std::vector<uint16_t> depth = RayCast(Scene::Step);
    std::vector<uint16_t> ir(depth.size());
    for (size_t i = 0; i < ir.size(); ++i) {
        ir[i] = static_cast<uint16_t>(depth[i] / 2 + i % 7);  // tied to its depth pixel
    }
    std::vector<uint8_t> colour(640 * 360 * 3);
    std::vector<uint16_t> md(640 * 360), mi(640 * 360), mi2(640 * 360), md2(640 * 360);
    ImageDescriptor c{colour.data(), kImage8BitRgb, 640, 360};
    ImageDescriptor d{reinterpret_cast<uint8_t*>(depth.data()), kImage16Bit, kW, kH};
    ImageDescriptor i{reinterpret_cast<uint8_t*>(ir.data()), kImage16Bit, kW, kH};
    ImageDescriptor outD{reinterpret_cast<uint8_t*>(md.data()), kImage16Bit, 0, 0};
    ImageDescriptor outI{reinterpret_cast<uint8_t*>(mi.data()), kImage16Bit, 0, 0};
    ImageDescriptor outI2{reinterpret_cast<uint8_t*>(mi2.data()), kImage16Bit, 0, 0};
    ImageDescriptor outD2{reinterpret_cast<uint8_t*>(md2.data()), kImage16Bit, 0, 0};
    ASSERT_EQ(proc.MapDepthAndIRToColour(&c, &d, &i, &outD, &outI), 0);
    ASSERT_EQ(proc.MapIRToColour(&c, &d, &i, &outI2), 0);
    ASSERT_EQ(proc.MapDepthToColour(&c, &d, &outD2), 0);
    EXPECT_EQ(outD.width, 640u);
    EXPECT_EQ(outI.height, 360u);
    EXPECT_EQ(mi, mi2);
    EXPECT_EQ(md, md2);
    uint32_t filled = 0;
    for (size_t k = 0; k < md.size(); ++k) {
        if (md[k] == 0) {
            ASSERT_EQ(mi[k], 0);
            continue;
        }
        ++filled;
        // The colour camera's depth differs from the depth camera's by the small
        // rotation's share and the 0.25 mm offset: well within 1 %.
        ASSERT_LE(std::abs(int(mi[k]) * 2 - int(md[k])), md[k] / 100 + 14) << k;
    }
    EXPECT_GT(filled, 200000u);
}

TEST(Registration, APointMapsAsTheReferenceDoes) {
    ImgPreProcessImpl proc;
    Configure(proc, Realistic());
    const Pinhole c = registration::ScaledTo(kColourFull, 1280, 720);
    const uint32_t resolution = 1280u | (720u << 16);
    for (auto [u, v, z] :
         {std::tuple{320, 240, 1000}, std::tuple{200, 300, 2500}, std::tuple{400, 100, 800}}) {
        NsDepthVector3 out{};
        const Landing l = Reference(kDepthCamera, c, Realistic(), u, v, static_cast<uint16_t>(z));
        ASSERT_TRUE(l.inside);
        ASSERT_EQ(proc.MapDepthPointToColour(NsDepthVector3{u, v, static_cast<uint16_t>(z)},
                                             resolution, &out),
                  0);
        EXPECT_EQ(+out.depthX, l.x);
        EXPECT_EQ(+out.depthY, l.y);
        EXPECT_EQ(+out.depthZ, l.z);
    }
    NsDepthVector3 out{1, 1, 1};
    EXPECT_EQ(proc.MapDepthPointToColour(NsDepthVector3{320, 240, 0}, resolution, &out), -1);
    EXPECT_EQ(+out.depthX, 0);
    EXPECT_EQ(proc.MapDepthPointToColour(NsDepthVector3{320, 240, 65535}, resolution, &out), -1);
    // Far off the side of the colour image.
    EXPECT_EQ(proc.MapDepthPointToColour(NsDepthVector3{-4000, 240, 500}, resolution, &out), -1);
    EXPECT_EQ(proc.MapDepthPointToColour(NsDepthVector3{320, 240, 1000}, 640, &out), -1);
    EXPECT_EQ(proc.MapDepthPointToColour(NsDepthVector3{320, 240, 1000}, resolution, nullptr), -1);
}

TEST(Registration, AnUnusableCalibrationOrBadDescriptorsMapNothing) {
    ImgPreProcessImpl proc;
    Extrinsics zeros;
    zeros.rotation.fill(0.0);  // an uncalibrated camera sends zeros
    Configure(proc, zeros);
    std::vector<uint16_t> depth = RayCast(Scene::Plane);
    std::vector<uint8_t> colour(640 * 360 * 3);
    std::vector<uint16_t> out(640 * 360, 9);
    ImageDescriptor c{colour.data(), kImage8BitRgb, 640, 360};
    ImageDescriptor d{reinterpret_cast<uint8_t*>(depth.data()), kImage16Bit, kW, kH};
    ImageDescriptor o{reinterpret_cast<uint8_t*>(out.data()), kImage16Bit, 0, 0};
    EXPECT_EQ(proc.MapDepthToColour(&c, &d, &o), -1);
    EXPECT_EQ(out[0], 9);

    Configure(proc, Realistic());
    ASSERT_EQ(proc.MapDepthToColour(&c, &d, &o), 0);  // the new calibration is taken
    ImageDescriptor noData{nullptr, kImage16Bit, 0, 0};
    EXPECT_EQ(proc.MapDepthToColour(&c, &d, &noData), -1);
    EXPECT_EQ(proc.MapDepthToColour(&c, &d, nullptr), -1);
    ImageDescriptor smallIr{reinterpret_cast<uint8_t*>(depth.data()), kImage16Bit, 320, 240};
    EXPECT_EQ(proc.MapIRToColour(&c, &d, &smallIr, &o), -1);
    ImageDescriptor rgbDepth{colour.data(), kImage8BitRgb, 640, 360};
    EXPECT_EQ(proc.MapColourToDepth(&rgbDepth, &c, &o), -1);
    ImageDescriptor hugeColour{colour.data(), kImage16Bit, 1920, 1920};
    EXPECT_EQ(proc.MapDepthToColour(&hugeColour, &d, &o), -1);
}

// --- undistortion -------------------------------------------------------------------------

TEST(Undistortion, SwitchesOffOrAPerfectLensLeaveFramesBitExact) {
    ImgPreProcessImpl proc;
    std::vector<double> block = Calibration(Realistic());
    block[9] = -0.125;  // depth k1
    ASSERT_EQ(proc.Init(block.data(), "/tmp/Config/"), 0);
    ASSERT_EQ(proc.SetCameraMatrix(0, block.data(), kH, kW), 0);
    std::vector<uint16_t> depth = RayCast(Scene::Sphere);
    const std::vector<uint16_t> original = depth;
    ImageDescriptor d{reinterpret_cast<uint8_t*>(depth.data()), kImage16Bit, kW, kH};
    ASSERT_EQ(proc.FilterDepth(&d), 0);
    ASSERT_EQ(proc.FilterIR(&d), 0);
    EXPECT_EQ(depth, original);

    block[9] = 0.0;
    ASSERT_EQ(proc.Init(block.data(), "/tmp/Config/"), 0);
    ASSERT_EQ(proc.SetDepthDistortionCorrectionEnabled(true), 0);
    ASSERT_EQ(proc.FilterDepth(&d), 0);
    EXPECT_EQ(depth, original);
}

TEST(Undistortion, EachCorrectedPixelTakesWhereTheLensPutIt) {
    ImgPreProcessImpl proc;
    std::vector<double> block = Calibration(Realistic());
    const double k[8] = {-0.125, 0.0625, 0.001, -0.002, 0, 0, 0, 0};
    std::copy(k, k + 8, block.begin() + 9);
    ASSERT_EQ(proc.Init(block.data(), "/tmp/Config/"), 0);
    ASSERT_EQ(proc.SetCameraMatrix(0, block.data(), kH, kW), 0);
    ASSERT_EQ(proc.SetIrDistortionCorrectionEnabled(true), 0);
    // IR whose pixels name their index (mod 2^16) and their row's parity in a second image.
    std::vector<uint16_t> ir(size_t{kW} * kH);
    for (size_t i = 0; i < ir.size(); ++i) {
        ir[i] = static_cast<uint16_t>(i);
    }
    ImageDescriptor image{reinterpret_cast<uint8_t*>(ir.data()), kImage16Bit, kW, kH};
    ASSERT_EQ(proc.FilterIR(&image), 0);
    uint32_t checked = 0;
    for (uint32_t v = 0; v < kH; v += 13) {
        for (uint32_t u = 0; u < kW; u += 17) {
            const double x = (u - kDepthCamera.cx) / kDepthCamera.fx;
            const double y = (v - kDepthCamera.cy) / kDepthCamera.fy;
            const double r2 = x * x + y * y;
            const double radial = 1 + k[0] * r2 + k[1] * r2 * r2;
            const double xd = x * radial + 2 * k[2] * x * y + k[3] * (r2 + 2 * x * x);
            const double yd = y * radial + k[2] * (r2 + 2 * y * y) + 2 * k[3] * x * y;
            const long su = std::lround(kDepthCamera.fx * xd + kDepthCamera.cx);
            const long sv = std::lround(kDepthCamera.fy * yd + kDepthCamera.cy);
            if (su < 1 || sv < 1 || su + 1 >= long{kW} || sv + 1 >= long{kH}) {
                continue;
            }
            ++checked;
            const uint16_t got = ir[size_t{v} * kW + u];
            bool near = false;
            for (long dv = -1; dv <= 1; ++dv) {
                for (long du = -1; du <= 1; ++du) {
                    near |= got == static_cast<uint16_t>((sv + dv) * kW + su + du);
                }
            }
            EXPECT_TRUE(near) << u << "," << v;
        }
    }
    EXPECT_GT(checked, 1000u);
    // The principal point stays.
    EXPECT_EQ(ir[size_t{240} * kW + 320], static_cast<uint16_t>(240 * kW + 320));
}

}  // namespace
}  // namespace quorix
