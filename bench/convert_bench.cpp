// A VGA depth frame into a point cloud: the frame conversion as the export runs it (the
// path chosen at run time), the plain loop over the separable rays, and a memcpy floor that
// reads and writes as many bytes as the conversion does (2 bytes read and 12 written per
// pixel: 7 bytes copied per pixel; the rays are 9 KB).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "imaging/Conversion.h"

namespace quorix {
namespace {

constexpr uint32_t kWidth = 640;
constexpr uint32_t kHeight = 480;
constexpr size_t kPixels = size_t{kWidth} * kHeight;
constexpr size_t kBytesMoved = kPixels * (2 + 12);

struct Scene {
    Scene() : depth(kPixels), columns(kWidth), rows(kHeight), world(kPixels) {
        std::mt19937 rng(5);
        for (uint16_t& d : depth) {
            const uint32_t r = rng();
            d = r % 10 == 0 ? 0 : static_cast<uint16_t>(300 + r % 6000);  // some holes
        }
        for (uint32_t u = 0; u < kWidth; ++u) {
            columns[u] = (u - 319.5) / 520.5;
        }
        for (uint32_t v = 0; v < kHeight; ++v) {
            rows[v] = (v - 239.5) / 521.25;
        }
    }
    std::vector<uint16_t> depth;
    std::vector<double> columns;
    std::vector<double> rows;
    std::vector<NsVector3f> world;
};

void Finish(benchmark::State& state, const char* label) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytesMoved));
    state.SetLabel(label);
}

void Convert(benchmark::State& state) {
    Scene s;
    const RayTableView table{s.columns.data(), s.rows.data(), kWidth, kHeight};
    for (auto _ : state) {
        benchmark::DoNotOptimize(ConvertDepthFrameToWorld(table, s.depth.data(), kWidth, kHeight,
                                                          kPixels * 2, s.world.data()));
        benchmark::ClobberMemory();
    }
    Finish(state, DepthToWorldTargetName());
}
BENCHMARK(Convert);

void ScalarLoop(benchmark::State& state) {
    Scene s;
    for (auto _ : state) {
        for (uint32_t v = 0; v < kHeight; ++v) {
            const size_t at = size_t{v} * kWidth;
            DepthRowToWorldPortable(s.depth.data() + at, s.columns.data(), s.rows[v], kWidth,
                                    s.world.data() + at);
        }
        benchmark::DoNotOptimize(s.world.data());
        benchmark::ClobberMemory();
    }
    Finish(state, "portable");
}
BENCHMARK(ScalarLoop);

void MemcpyFloor(benchmark::State& state) {
    const size_t bytes = kBytesMoved / 2;
    std::vector<uint8_t> src(bytes, 1);
    std::vector<uint8_t> dst(bytes);
    for (auto _ : state) {
        memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    Finish(state, "memcpy");
}
BENCHMARK(MemcpyFloor);

}  // namespace
}  // namespace quorix

BENCHMARK_MAIN();
