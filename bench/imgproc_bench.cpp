// Speed of the image pre-processing hot paths: YUYV 640x480 to RGB (ours against a
// plain per-pixel floating-point loop), Resize, Rotate, and memcpy floors to read them by.
#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imgproc/ColourConvert.h"
#include "imgproc/ImgPreProcess.h"

namespace quorix {
namespace {

constexpr uint32_t kWidth = 640;
constexpr uint32_t kHeight = 480;
constexpr size_t kPixels = size_t{kWidth} * kHeight;

std::vector<uint8_t> RandomBytes(size_t n) {
    std::mt19937 gen(1);
    std::vector<uint8_t> v(n);
    for (auto& b : v) {
        b = static_cast<uint8_t>(gen());
    }
    return v;
}

// A smooth YUYV scene inside the legal ranges (Y 16-235, U and V 16-240), as a camera
// delivers: random bytes would punish the branches of the float loop's clamping.
std::vector<uint8_t> YuyvScene() {
    std::vector<uint8_t> v(kPixels * 2);
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; x += 2) {
            uint8_t* group = &v[(size_t{y} * kWidth + x) * 2];
            group[0] = static_cast<uint8_t>(16 + x * 219 / kWidth);
            group[1] = static_cast<uint8_t>(16 + y * 224 / kHeight);
            group[2] = static_cast<uint8_t>(16 + (x + 1) * 219 / kWidth);
            group[3] = static_cast<uint8_t>(240 - (x + y) * 224 / (kWidth + kHeight));
        }
    }
    return v;
}

// The straightforward way: each pixel on its own, in floating point.
void YuyvToRgbFloat(const uint8_t* src, uint8_t* dst, size_t pixels) {
    for (size_t i = 0; i < pixels; ++i) {
        const size_t pair = (2 * i) & ~size_t{3};
        const float y = 1.164f * (static_cast<float>(src[2 * i]) - 16.0f);
        const float u = static_cast<float>(src[pair + 1]) - 128.0f;
        const float v = static_cast<float>(src[pair + 3]) - 128.0f;
        const float rgb[3] = {y + 1.596f * v, y - 0.392f * u - 0.813f * v, y + 2.017f * u};
        for (int c = 0; c < 3; ++c) {
            dst[3 * i + c] = static_cast<uint8_t>(std::clamp(rgb[c] + 0.5f, 0.0f, 255.0f));
        }
    }
}

using Converter = void (*)(const uint8_t* src, uint8_t* dst, size_t pixels);

// One 640x480 YUYV frame to RGB with `convert`, into a separate buffer.
void YuyvToRgb(benchmark::State& state, Converter convert) {
    const auto src = YuyvScene();
    std::vector<uint8_t> dst(kPixels * 3);
    for (auto _ : state) {
        convert(src.data(), dst.data(), kPixels);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}

void Portable(const uint8_t* src, uint8_t* dst, size_t pixels) {
    colour::YuyvToRgbPortable(src, dst, pixels, false);
}

void Simd(const uint8_t* src, uint8_t* dst, size_t pixels) {
    colour::YuyvToRgb(src, dst, pixels, false);
}

BENCHMARK_CAPTURE(YuyvToRgb, FloatLoop, &YuyvToRgbFloat);
BENCHMARK_CAPTURE(YuyvToRgb, Portable, &Portable);

// The SIMD path on one instruction set (0: the best the CPU has; the others are
// registered per set in main).
void YuyvToRgbOn(benchmark::State& state, int64_t target) {
    hwy::SetSupportedTargetsForTest(target);
    YuyvToRgb(state, &Simd);
    state.SetLabel(colour::ActiveTargetName());
    hwy::SetSupportedTargetsForTest(0);
}
BENCHMARK_CAPTURE(YuyvToRgbOn, SimdBest, int64_t{0});

// The whole operation as the colour decoder calls it, in place; each round first copies
// a fresh YUYV frame in (measured alone by BM_Memcpy_Yuyv640x480).
void BM_ConvertColour_YuyvInPlaceWithRefill(benchmark::State& state) {
    auto proc = Get_APIImgPreProcess();
    const auto src = YuyvScene();
    std::vector<uint8_t> frame(kPixels * 3);
    for (auto _ : state) {
        std::memcpy(frame.data(), src.data(), src.size());
        ImageDescriptor image{frame.data(), kImage8Bit, kWidth, kHeight};
        benchmark::DoNotOptimize(proc->ConvertColour(&image, 1, kColourYUYV, kColourRGB));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ConvertColour_YuyvInPlaceWithRefill);

void Memcpy(benchmark::State& state, size_t bytes) {
    const auto src = RandomBytes(bytes);
    std::vector<uint8_t> dst(bytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK_CAPTURE(Memcpy, Yuyv640x480, kPixels * 2);
BENCHMARK_CAPTURE(Memcpy, Rgb640x480, kPixels * 3);
BENCHMARK_CAPTURE(Memcpy, Rgb1920x1080, size_t{1920} * 1080 * 3);

// The mapping step's round trip: 1080p colour to a third and back (bilinear).
void BM_Resize_Rgb1080pToThirdAndBack(benchmark::State& state) {
    auto proc = Get_APIImgPreProcess();
    auto frame = RandomBytes(size_t{1920} * 1080 * 3);
    ImageDescriptor image{frame.data(), kImage8BitRgb, 1920, 1080};
    for (auto _ : state) {
        proc->Resize(&image, 640, 360, 1);
        proc->Resize(&image, 1920, 1080, 1);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Resize_Rgb1080pToThirdAndBack);

// QVGA depth doubled to VGA (nearest), after halving it back each round.
void BM_Resize_DepthVgaToQvgaAndBack(benchmark::State& state) {
    auto proc = Get_APIImgPreProcess();
    auto frame = RandomBytes(kPixels * 2);
    ImageDescriptor image{frame.data(), kImage16Bit, kWidth, kHeight};
    for (auto _ : state) {
        proc->Resize(&image, 320, 240, 1);
        proc->Resize(&image, kWidth, kHeight, 1);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Resize_DepthVgaToQvgaAndBack);

void Rotate(benchmark::State& state, uint32_t type, uint32_t width, uint32_t height,
            int32_t rotateType) {
    auto proc = Get_APIImgPreProcess();
    const size_t bytes = size_t{width} * height * (type == kImage16Bit ? 2 : 3);
    auto frame = RandomBytes(bytes);
    ImageDescriptor image{frame.data(), type, width, height};
    for (auto _ : state) {
        proc->Rotate(&image, rotateType);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK_CAPTURE(Rotate, Depth640x480Quarter, kImage16Bit, kWidth, kHeight, kRotate90Cw);
BENCHMARK_CAPTURE(Rotate, Depth640x480Half, kImage16Bit, kWidth, kHeight, kRotate180);
BENCHMARK_CAPTURE(Rotate, Rgb1280x720Quarter, kImage8BitRgb, 1280, 720, kRotate90Cw);

}  // namespace
}  // namespace quorix

int main(int argc, char** argv) {
    // The SIMD path once more on each instruction set this CPU and build offer.
    for (const int64_t target : hwy::SupportedAndGeneratedTargets()) {
        benchmark::RegisterBenchmark(
            (std::string("YuyvToRgb/Simd") + hwy::TargetName(target)).c_str(),
            [target](benchmark::State& state) { quorix::YuyvToRgbOn(state, target); });
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
