// Registration of a 640x480 depth frame (a turned wall and a sphere, realistic extrinsics):
// depth into 1920x1080 colour through the run-time path and the portable path, against
// OpenCV's registerDepth in the same binary and a clear of the output as the floor;
// colour fetched onto depth against the point-cloud conversion of the same frame; the
// point cloud against OpenCV's depthTo3d and a write of its output as the floor. OpenCV is
// used here only, never by the library.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/Conversion.h"
#include "imgproc/ImageGeometry.h"
#include "imgproc/Registration.h"

#ifdef QUORIX_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/rgbd.hpp>
#endif

namespace quorix {
namespace {

using registration::Extrinsics;
using registration::Pinhole;

constexpr uint32_t kW = 640;
constexpr uint32_t kH = 480;
const Pinhole kDepth{520.5, 521.25, 319.5, 239.5, kW, kH};
const Pinhole kColour{1380.0, 1381.5, 959.5, 539.5, 1920, 1080};

Extrinsics Realistic() {
    const double a = 0.01;
    return Extrinsics{{std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a), 0, 0, 0, 1},
                      {-25.0, 0.5, 0.25}};
}

struct Scene {
    Scene() : depth(size_t{kW} * kH) {
        for (uint32_t v = 0; v < kH; ++v) {
            for (uint32_t u = 0; u < kW; ++u) {
                const double rx = (u - kDepth.cx) / kDepth.fx;
                const double ry = (v - kDepth.cy) / kDepth.fy;
                double z = 2000 + 300 * rx;
                const double a = rx * rx + ry * ry + 1;
                const double disc = 3000.0 * 3000 - 4 * a * (1500.0 * 1500 - 300.0 * 300);
                if (disc >= 0) {
                    z = (3000 - std::sqrt(disc)) / (2 * a);
                }
                depth[size_t{v} * kW + u] = static_cast<uint16_t>(std::lround(z));
            }
        }
    }
    std::vector<uint16_t> depth;
};

void DepthToColour(benchmark::State& state, bool portable, const Pinhole& colour = kColour) {
    Scene s;
    registration::ProjectionTable table;
    table.Build(kDepth, colour, Realistic(), true);
    std::vector<uint16_t> out(size_t{colour.width} * colour.height);
    auto row = std::make_unique<registration::ProjectedRow>();
    for (auto _ : state) {
        registration::MapDepthToColour(table, s.depth.data(), nullptr, out.data(), nullptr, *row,
                                       portable);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(portable ? "portable" : registration::ProjectRowTargetName());
}
void DepthToColourRunTime(benchmark::State& state) {
    DepthToColour(state, false);
}
void DepthToColourPortable(benchmark::State& state) {
    DepthToColour(state, true);
}
BENCHMARK(DepthToColourRunTime)->Unit(benchmark::kMicrosecond);
BENCHMARK(DepthToColourPortable)->Unit(benchmark::kMicrosecond);
// Into 640x360, as the frame engine maps 1920x1080 colour (then enlarged by 3).
void DepthToColourScaledByThree(benchmark::State& state) {
    DepthToColour(state, false, registration::ScaledTo(kColour, 640, 360));
}
BENCHMARK(DepthToColourScaledByThree)->Unit(benchmark::kMicrosecond);

void ClearOutputFloor(benchmark::State& state) {
    std::vector<uint16_t> out(size_t{kColour.width} * kColour.height);
    for (auto _ : state) {
        std::memset(out.data(), 0, out.size() * 2);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(ClearOutputFloor)->Unit(benchmark::kMicrosecond);

// Colour (640x360, the 1920x1080 frame scaled by 3 as the frame engine maps it) onto depth.
void ColourToDepth(benchmark::State& state) {
    Scene s;
    const Pinhole colour = registration::ScaledTo(kColour, 640, 360);
    registration::ProjectionTable table;
    table.Build(kDepth, colour, Realistic(), false);
    std::vector<uint8_t> rgb(size_t{colour.width} * colour.height * 3, 77);
    std::vector<uint8_t> out(size_t{kW} * kH * 3);
    auto row = std::make_unique<registration::ProjectedRow>();
    for (auto _ : state) {
        registration::MapColourToDepth(table, s.depth.data(), rgb.data(), out.data(), *row);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(registration::ProjectRowTargetName());
}
BENCHMARK(ColourToDepth)->Unit(benchmark::kMicrosecond);

void PointCloud(benchmark::State& state) {
    Scene s;
    std::vector<double> columns(kW);
    std::vector<double> rows(kH);
    for (uint32_t u = 0; u < kW; ++u) {
        columns[u] = (u - kDepth.cx) / kDepth.fx;
    }
    for (uint32_t v = 0; v < kH; ++v) {
        rows[v] = (v - kDepth.cy) / kDepth.fy;
    }
    std::vector<NsVector3f> world(size_t{kW} * kH);
    const RayTableView view{columns.data(), rows.data(), kW, kH};
    for (auto _ : state) {
        benchmark::DoNotOptimize(ConvertDepthFrameToWorld(view, s.depth.data(), kW, kH,
                                                          s.depth.size() * 2, world.data()));
        benchmark::ClobberMemory();
    }
    state.SetLabel(DepthToWorldTargetName());
}
BENCHMARK(PointCloud)->Unit(benchmark::kMicrosecond);

// What the point cloud cannot go below: writing its 12 bytes a pixel.
void PointCloudWriteFloor(benchmark::State& state) {
    std::vector<NsVector3f> world(size_t{kW} * kH);
    for (auto _ : state) {
        std::memset(world.data(), 0, world.size() * sizeof(NsVector3f));
        benchmark::DoNotOptimize(world.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(PointCloudWriteFloor)->Unit(benchmark::kMicrosecond);

// The frame engine's steps around a 1920x1080 mapping: colour onto depth read through the
// frame's view shrunk by 3 (no shrunk copy; compare ColourToDepth, which reads a 640x360
// image), and mapped depth enlarged back by 3 against writing the same 4 MB (its floor).
void ColourToDepthThroughShrunkView(benchmark::State& state) {
    Scene s;
    const Pinhole colour = registration::ScaledTo(kColour, 640, 360);
    registration::ProjectionTable table;
    table.Build(kDepth, colour, Realistic(), false);
    std::vector<uint8_t> rgb(size_t{1920} * 1080 * 3, 77);
    std::vector<uint8_t> out(size_t{kW} * kH * 3);
    auto row = std::make_unique<registration::ProjectedRow>();
    const registration::ColourView view{rgb.data(), 1920, 3};
    for (auto _ : state) {
        registration::MapColourToDepth(table, s.depth.data(), view, out.data(), *row);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(registration::ProjectRowTargetName());
}
BENCHMARK(ColourToDepthThroughShrunkView)->Unit(benchmark::kMicrosecond);

// Both directions of the 1080p mapping from one projection, as the frame engine maps them.
void DepthAndColourThroughShrunkView(benchmark::State& state) {
    Scene s;
    const Pinhole colour = registration::ScaledTo(kColour, 640, 360);
    registration::ProjectionTable table;
    table.Build(kDepth, colour, Realistic(), true);
    std::vector<uint8_t> rgb(size_t{1920} * 1080 * 3, 77);
    std::vector<uint8_t> out(size_t{kW} * kH * 3);
    std::vector<uint16_t> mapped(size_t{colour.width} * colour.height);
    auto row = std::make_unique<registration::ProjectedRow>();
    const registration::ColourView view{rgb.data(), 1920, 3};
    for (auto _ : state) {
        registration::MapDepthAndColour(table, s.depth.data(), view, mapped.data(), out.data(),
                                        *row);
        benchmark::DoNotOptimize(out.data());
        benchmark::DoNotOptimize(mapped.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(registration::ProjectRowTargetName());
}
BENCHMARK(DepthAndColourThroughShrunkView)->Unit(benchmark::kMicrosecond);

void ShrinkColourByThree(benchmark::State& state) {
    std::vector<uint8_t> colour(size_t{1920} * 1080 * 3, 90);
    std::vector<uint8_t> scaled(size_t{640} * 360 * 3);
    for (auto _ : state) {
        geometry::ShrinkByWhole3(colour.data(), 1920, 1080, scaled.data(), 3);
        benchmark::DoNotOptimize(scaled.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(ShrinkColourByThree)->Unit(benchmark::kMicrosecond);

void EnlargeMappedDepthByThree(benchmark::State& state, bool portable) {
    std::vector<uint8_t> mapped(size_t{640} * 360 * 2, 7);
    std::vector<uint8_t> full(size_t{1920} * 1080 * 2);
    for (auto _ : state) {
        geometry::EnlargeByWhole(mapped.data(), 640, 360, full.data(), 2, 3, portable);
        benchmark::DoNotOptimize(full.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(portable ? "portable" : geometry::WidenRowTargetName());
}
BENCHMARK_CAPTURE(EnlargeMappedDepthByThree, RunTime, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(EnlargeMappedDepthByThree, Portable, true)->Unit(benchmark::kMicrosecond);

void EnlargeWriteFloor(benchmark::State& state) {
    std::vector<uint8_t> full(size_t{1920} * 1080 * 2);
    for (auto _ : state) {
        std::memset(full.data(), 0, full.size());
        benchmark::DoNotOptimize(full.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(EnlargeWriteFloor)->Unit(benchmark::kMicrosecond);

#ifdef QUORIX_BENCH_OPENCV

cv::Mat Matrix(const Pinhole& c) {
    return (cv::Mat_<double>(3, 3) << c.fx, 0, c.cx, 0, c.fy, c.cy, 0, 0, 1);
}

void OpenCvRegisterDepth(benchmark::State& state) {
    Scene s;
    const Extrinsics e = Realistic();
    const auto& r = e.rotation;
    // OpenCV takes 16-bit depth in millimetres and the transform in metres.
    cv::Mat rt =
        (cv::Mat_<double>(4, 4) << r[0], r[1], r[2], e.translation[0] / 1000, r[3], r[4], r[5],
         e.translation[1] / 1000, r[6], r[7], r[8], e.translation[2] / 1000, 0, 0, 0, 1);
    const cv::Mat depth(kH, kW, CV_16UC1, s.depth.data());
    cv::Mat out;
    for (auto _ : state) {
        cv::rgbd::registerDepth(Matrix(kDepth), Matrix(kColour), cv::Mat(), rt, depth,
                                cv::Size(1920, 1080), out, false);
        benchmark::DoNotOptimize(out.data);
        benchmark::ClobberMemory();
    }
    state.SetLabel("OpenCV " CV_VERSION);
}
BENCHMARK(OpenCvRegisterDepth)->Unit(benchmark::kMicrosecond);

void OpenCvDepthTo3d(benchmark::State& state) {
    Scene s;
    const cv::Mat depth(kH, kW, CV_16UC1, s.depth.data());
    cv::Mat points;
    for (auto _ : state) {
        cv::rgbd::depthTo3d(depth, Matrix(kDepth), points);
        benchmark::DoNotOptimize(points.data);
        benchmark::ClobberMemory();
    }
    state.SetLabel("OpenCV " CV_VERSION);
}
BENCHMARK(OpenCvDepthTo3d)->Unit(benchmark::kMicrosecond);

#endif

}  // namespace
}  // namespace quorix

BENCHMARK_MAIN();
