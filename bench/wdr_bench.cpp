// WDR fusion of one VGA frame (two and three ranges) against memcpy floors: a memcpy of the
// bytes the fusion reads and writes together, and one of the bytes of a single frame.
// "Collect" is what a frame costs in the decoder: its copy into its store and the fusion.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "imaging/WdrFusion.h"

namespace quorix {
namespace {

constexpr size_t kPixels = 640 * 480;
constexpr size_t kFrameBytes = kPixels * 2;

// Depths spread over every class of the bands below, as a scene across the ranges gives.
std::vector<uint16_t> Scene(uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint16_t> out(kPixels);
    for (uint16_t& v : out) {
        v = static_cast<uint16_t>(rng() % 7600);
    }
    return out;
}

WdrFusion& Fusion(uint32_t ranges) {
    static WdrFusion fusion;
    WDROutputMode mode;
    mode.totalRange = ranges;
    mode.range1 = 0;
    mode.range2 = 1;
    mode.range3 = 2;
    const WdrLimits limits[3] = {{1500, 100}, {3500, 1200}, {7000, 3000}};
    WdrBands bands;
    DeriveWdrBands(mode, limits, bands);
    fusion.SetMode(mode, bands);
    for (uint32_t slot = 0; slot < ranges; ++slot) {
        const std::vector<uint16_t> image = Scene(slot + 1);
        fusion.Store(slot, image.data(), image.size());
    }
    return fusion;
}

void Fuse(benchmark::State& state) {
    const auto ranges = static_cast<uint32_t>(state.range(0));
    WdrFusion& fusion = Fusion(ranges);
    std::vector<uint16_t> out(kPixels);
    for (auto _ : state) {
        fusion.Fuse(out.data(), out.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFrameBytes * (ranges + 1)));
    state.SetLabel(WdrFusionTargetName());
}
BENCHMARK(Fuse)->Arg(2)->Arg(3);

void Collect(benchmark::State& state) {
    const auto ranges = static_cast<uint32_t>(state.range(0));
    WdrFusion& fusion = Fusion(ranges);
    Frame warm;
    for (uint32_t i = 0; i < WdrFusion::kWarmUpFrames; ++i) {
        fusion.Collect(warm, true);
    }
    std::vector<uint16_t> image = Scene(ranges);
    const std::vector<uint16_t> source = image;
    Frame frame;
    frame.pFrameData = reinterpret_cast<uint8_t*>(image.data());
    frame.dataLen = static_cast<uint32_t>(kFrameBytes);
    frame.depthRange = ranges - 1;  // the far range's turn
    for (auto _ : state) {
        state.PauseTiming();
        memcpy(image.data(), source.data(), kFrameBytes);
        state.ResumeTiming();
        benchmark::DoNotOptimize(fusion.Collect(frame, true));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Collect)->Arg(2)->Arg(3);

// Floors: the bytes a fusion of n ranges reads and writes, (n + 1) frames, moved by memcpy;
// and one frame.
void Memcpy(benchmark::State& state) {
    const auto frames = static_cast<size_t>(state.range(0));
    const std::vector<uint8_t> src(kFrameBytes * frames, 7);
    std::vector<uint8_t> dst(src.size());
    for (auto _ : state) {
        memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.size()));
}
BENCHMARK(Memcpy)->Arg(1)->Arg(3)->Arg(4);

}  // namespace
}  // namespace quorix

BENCHMARK_MAIN();
