// The depth and IR filters on VGA frames of the noisy simulated scene: first their quality
// against the scene's truth (error on flat surfaces, error within 3 pixels of a depth step,
// depth invented in holes, the temporal filter's frame-to-frame spread), then their speed,
// through the run-time (vector) path and the portable path, beside OpenCV's nearest
// equivalents in the same binary (cv::medianBlur on 16-bit, cv::bilateralFilter on float).
// OpenCV is used here only, never by the library. The machine's load is printed before and
// after, since ratios within one run are what can be compared on a shared machine.
//
// --e2e SECONDS: instead, streams a noisy simulated camera (127.0.103.3) through the C
// interface with every depth filter on and counts the sets that did not arrive;
// --e2e-off SECONDS the same with every filter off, for comparison.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "imgproc/Filters.h"
#include "imgproc/ImgPreProcessImpl.h"
#include "quorix/quorix_api.h"
#include "sim/Noise.h"
#include "sim/Scene.h"
#include "sim/SimCamera.h"

#ifdef QUORIX_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace quorix {
namespace {

using Image = std::vector<uint16_t>;
constexpr uint32_t kW = sim::kSceneWidth;
constexpr uint32_t kH = sim::kSceneHeight;
constexpr uint16_t kDepthMax = 3175;  // the simulated camera's range 1

sim::NoiseSettings Noise() {
    sim::NoiseSettings n;
    n.enabled = true;
    n.seed = 7;
    return n;
}

struct Scene {
    Scene() {
        codes = sim::SceneDepthCodes(0);
        truth = sim::CodesToMm(codes, kDepthMax);
        noisy = Noisy(0);
        flat = sim::FlatMask(0);
        steps = sim::StepMask(codes, 3);
        const Image irClean = sim::SceneIrCodes(0);
        ir.resize(irClean.size());
        sim::AddIrNoise(irClean.data(), ir.data(), kW, kH, 0, Noise());
    }
    // The still scene with the noise of capture `k`.
    Image Noisy(uint32_t k) const {
        Image noisyCodes(codes.size());
        sim::AddDepthNoise(codes.data(), noisyCodes.data(), kW, kH, k, Noise());
        return sim::CodesToMm(noisyCodes, kDepthMax);
    }
    Image codes, truth, noisy, ir;
    std::vector<uint8_t> flat, steps;
};

const Scene& TheScene() {
    static const Scene scene;
    return scene;
}

std::string Load() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

// --- quality --------------------------------------------------------------------------

void QualityRow(const char* name, const Image& out) {
    const Scene& s = TheScene();
    const auto flatBefore = sim::ErrorOver(s.noisy.data(), s.truth.data(), s.flat);
    const auto flatAfter = sim::ErrorOver(out.data(), s.truth.data(), s.flat);
    const auto stepBefore = sim::ErrorOver(s.noisy.data(), s.truth.data(), s.steps);
    const auto stepAfter = sim::ErrorOver(out.data(), s.truth.data(), s.steps);
    std::printf("| %-34s | %6.2f -> %6.2f (%4.2fx) | %6.2f -> %6.2f (%+5.1f %%) | %7zu | %5zu |\n",
                name, flatBefore.rms, flatAfter.rms, flatBefore.rms / flatAfter.rms, stepBefore.rms,
                stepAfter.rms, 100.0 * (stepAfter.rms / stepBefore.rms - 1.0), flatAfter.missing,
                flatAfter.invented + stepAfter.invented);
}

#ifdef QUORIX_BENCH_OPENCV
cv::Mat AsMat(Image& image) {
    return cv::Mat(static_cast<int>(kH), static_cast<int>(kW), CV_16UC1, image.data());
}

// The bilateral filter on float depth; holes (0) become 0 again afterwards.
constexpr int kBilateralDiameter = 5;
constexpr double kBilateralSigmaColour = 30.0;  // mm
constexpr double kBilateralSigmaSpace = 2.0;    // pixels

void Bilateral(const cv::Mat& depthF, cv::Mat& out) {
    cv::bilateralFilter(depthF, out, kBilateralDiameter, kBilateralSigmaColour,
                        kBilateralSigmaSpace);
}
#endif

void PrintQuality() {
    const Scene& s = TheScene();
    std::printf(
        "\nQuality on the noisy VGA scene (mm, against the truth; flat: %zu pixels, "
        "within 3 px of a step: %zu pixels)\n",
        static_cast<size_t>(std::count(s.flat.begin(), s.flat.end(), 1)),
        static_cast<size_t>(std::count(s.steps.begin(), s.steps.end(), 1)));
    std::printf("| %-34s | %-26s | %-29s | %-7s | %-5s |\n", "filter", "flat rms before -> after",
                "step rms before -> after", "flat no", "made");
    std::printf("|%s|%s|%s|%s|%s|\n", std::string(36, '-').c_str(), std::string(28, '-').c_str(),
                std::string(31, '-').c_str(), std::string(9, '-').c_str(),
                std::string(7, '-').c_str());
    QualityRow("none", s.noisy);
    Image out(s.noisy.size());
    filters::MedianDepth3x3(s.noisy.data(), out.data(), kW, kH);
    QualityRow("smoothing (3x3 median, ours)", out);
    Image spatial = s.noisy;
    filters::SpatialWork work;
    filters::SpatialFilter(spatial.data(), kW, kH, filters::SpatialParams{}, work);
    QualityRow("spatial (ours)", spatial);
    Image both = out;
    filters::SpatialFilter(both.data(), kW, kH, filters::SpatialParams{}, work);
    QualityRow("smoothing + spatial (ours)", both);
#ifdef QUORIX_BENCH_OPENCV
    Image noisy = s.noisy;
    Image cvOut(s.noisy.size());
    cv::Mat dst = AsMat(cvOut);
    cv::medianBlur(AsMat(noisy), dst, 3);
    QualityRow("cv::medianBlur 3x3 (16-bit)", cvOut);
    cv::Mat depthF, filteredF;
    AsMat(noisy).convertTo(depthF, CV_32F);
    Bilateral(depthF, filteredF);
    Image bilateral(s.noisy.size());
    for (size_t i = 0; i < bilateral.size(); ++i) {
        const float v = filteredF.at<float>(static_cast<int>(i));
        bilateral[i] =
            filters::HasDistance(s.noisy[i]) ? static_cast<uint16_t>(v + 0.5f) : s.noisy[i];
    }
    QualityRow("cv::bilateralFilter d5 (float)", bilateral);
#endif
    // Temporal: the spread of each flat pixel over 30 frames of the still scene, after 30
    // frames to settle.
    filters::TemporalFilter temporal;
    std::vector<Image> raw, filtered;
    for (uint32_t k = 0; k < 60; ++k) {
        Image frame = s.Noisy(k);
        Image f = frame;
        temporal.Apply(f.data(), kW, kH, filters::TemporalParams{});
        if (k >= 30) {
            raw.push_back(frame);
            filtered.push_back(f);
        }
    }
    const auto spread = [&](const std::vector<Image>& frames) {
        double sum = 0;
        size_t n = 0;
        for (size_t i = 0; i < s.flat.size(); ++i) {
            if (s.flat[i] == 0) {
                continue;
            }
            double mean = 0, sq = 0;
            size_t k = 0;
            for (const Image& f : frames) {
                if (filters::HasDistance(f[i])) {
                    mean += f[i];
                    sq += static_cast<double>(f[i]) * f[i];
                    ++k;
                }
            }
            if (k > 1) {
                mean /= static_cast<double>(k);
                sum += (sq - static_cast<double>(k) * mean * mean) / static_cast<double>(k - 1);
                ++n;
            }
        }
        return std::sqrt(sum / static_cast<double>(n));
    };
    const double before = spread(raw);
    const double after = spread(filtered);
    std::printf(
        "\nTemporal filter, still scene, frame-to-frame std on flat pixels: %.2f -> %.2f "
        "mm (%.2fx)\n\n",
        before, after, before / after);
}

// --- speed ----------------------------------------------------------------------------

void Median(benchmark::State& state, bool portable) {
    const Scene& s = TheScene();
    Image out(s.noisy.size());
    for (auto _ : state) {
        (portable ? filters::MedianDepth3x3Portable : filters::MedianDepth3x3)(s.noisy.data(),
                                                                               out.data(), kW, kH);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(portable ? "portable" : filters::FiltersTargetName());
}
BENCHMARK_CAPTURE(Median, vector, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Median, portable, true)->Unit(benchmark::kMicrosecond);

void IrMedian(benchmark::State& state, bool portable) {
    const Scene& s = TheScene();
    Image out(s.ir.size());
    for (auto _ : state) {
        (portable ? filters::MedianIr3x3Portable : filters::MedianIr3x3)(s.ir.data(), out.data(),
                                                                         kW, kH);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(portable ? "portable" : filters::FiltersTargetName());
}
BENCHMARK_CAPTURE(IrMedian, vector, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(IrMedian, portable, true)->Unit(benchmark::kMicrosecond);

void Spatial(benchmark::State& state, bool portable) {
    const Scene& s = TheScene();
    Image image = s.noisy;
    filters::SpatialWork work;
    for (auto _ : state) {
        std::memcpy(image.data(), s.noisy.data(), image.size() * 2);
        (portable ? filters::SpatialFilterPortable : filters::SpatialFilter)(
            image.data(), kW, kH, filters::SpatialParams{}, work);
        benchmark::DoNotOptimize(image.data());
    }
    state.SetLabel(portable ? "portable" : filters::FiltersTargetName());
}
BENCHMARK_CAPTURE(Spatial, vector, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Spatial, portable, true)->Unit(benchmark::kMicrosecond);

void Temporal(benchmark::State& state, bool portable) {
    const Scene& s = TheScene();
    Image image = s.noisy;
    filters::TemporalFilter temporal;
    for (auto _ : state) {
        std::memcpy(image.data(), s.noisy.data(), image.size() * 2);
        (temporal.*
         (portable ? &filters::TemporalFilter::ApplyPortable : &filters::TemporalFilter::Apply))(
            image.data(), kW, kH, filters::TemporalParams{});
        benchmark::DoNotOptimize(image.data());
    }
    state.SetLabel(portable ? "portable" : filters::FiltersTargetName());
}
BENCHMARK_CAPTURE(Temporal, vector, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Temporal, portable, true)->Unit(benchmark::kMicrosecond);

void RealDepth(benchmark::State& state) {
    const Scene& s = TheScene();
    Image image = s.noisy;
    filters::PlanarTable table;
    table.Build(520.5, 521.25, 319.5, 239.5, kW, kH);
    for (auto _ : state) {
        std::memcpy(image.data(), s.noisy.data(), image.size() * 2);
        table.Apply(image.data());
        benchmark::DoNotOptimize(image.data());
    }
}
BENCHMARK(RealDepth)->Unit(benchmark::kMicrosecond);

void Copy(benchmark::State& state) {  // the floor under the in-place filters' copies
    const Scene& s = TheScene();
    Image image = s.noisy;
    for (auto _ : state) {
        std::memcpy(image.data(), s.noisy.data(), image.size() * 2);
        benchmark::DoNotOptimize(image.data());
    }
}
BENCHMARK(Copy)->Unit(benchmark::kMicrosecond);

// FilterDepth as the decoder calls it, every depth filter on (real depth, smoothing,
// spatial, temporal, valid limits).
void AllDepthFilters(benchmark::State& state) {
    const Scene& s = TheScene();
    ImgPreProcessImpl proc;
    const double matrix[9] = {520.5, 0, 319.5, 0, 521.25, 239.5, 0, 0, 1};
    proc.SetCameraMatrix(0, matrix, kH, kW);
    proc.SetValidDepth(1, 3000, 100);
    proc.SetComputeRealDepthCorrectionEnabled(true);
    proc.SetSmoothingFilterEnabled(true);
    proc.SetSpatialFilterEnabled(true);
    proc.SetTimeFilterEnabled(true);
    Image image = s.noisy;
    for (auto _ : state) {
        std::memcpy(image.data(), s.noisy.data(), image.size() * 2);
        ImageDescriptor d{reinterpret_cast<uint8_t*>(image.data()), kImage16Bit, kW, kH};
        proc.FilterDepth(&d);
        benchmark::DoNotOptimize(image.data());
    }
}
BENCHMARK(AllDepthFilters)->Unit(benchmark::kMicrosecond);

#ifdef QUORIX_BENCH_OPENCV
// Argument: OpenCV's threads (0: its default, here one per core).
void CvThreads(benchmark::State& state) {
    static const int defaultThreads = cv::getNumThreads();
    cv::setNumThreads(state.range(0) == 0 ? defaultThreads : static_cast<int>(state.range(0)));
}

void CvMedianBlur16(benchmark::State& state) {
    CvThreads(state);
    const Scene& s = TheScene();
    Image in = s.noisy;
    Image out(in.size());
    cv::Mat src = AsMat(in);
    cv::Mat dst = AsMat(out);
    for (auto _ : state) {
        cv::medianBlur(src, dst, 3);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel("threads " + std::to_string(cv::getNumThreads()));
}
BENCHMARK(CvMedianBlur16)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond)->UseRealTime();

void CvBilateralFloat(benchmark::State& state) {
    CvThreads(state);
    const Scene& s = TheScene();
    Image in = s.noisy;
    cv::Mat depthF, out;
    AsMat(in).convertTo(depthF, CV_32F);
    for (auto _ : state) {
        Bilateral(depthF, out);
        benchmark::DoNotOptimize(out.data);
    }
    state.SetLabel("threads " + std::to_string(cv::getNumThreads()));
}
BENCHMARK(CvBilateralFloat)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond)->UseRealTime();
#endif

// --- end to end -----------------------------------------------------------------------

int EndToEnd(double seconds, bool filtersOn) {
    sim::SimConfig config;
    config.address = "127.0.103.3";
    config.serial = "QXFBENCH";
    sim::SimCamera camera(config);
    camera.UpdateState([](sim::SimState& st) {
        st.sensors[0].dataMode = 2;
        st.stream.noise = Noise();
    });
    if (camera.Start() != 0 || Ns2_Initialize() != NsStatusOk) {
        std::fprintf(stderr, "the simulated camera or the library did not start\n");
        return 1;
    }
    NsDeviceHandle h = nullptr;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Ns2_OpenDevice("TK5P:QXFBENCH", &h) != NsStatusOk) {
        if (std::chrono::steady_clock::now() > until) {
            std::fprintf(stderr, "the simulated camera was not found\n");
            Ns2_Shutdown();
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const uint8_t on = filtersOn ? 1 : 0;
    Ns2_SetComputeRealDepthCorrectionEnabled(h, 0, on);
    Ns2_SetSmoothingFilterEnabled(h, 0, on);
    Ns2_SetSpatialFilterEnabled(h, 0, on);
    Ns2_SetTimeFilterEnabled(h, 0, on);
    Ns2_StartStream(h, 0);
    uint32_t sets = 0, lost = 0, last = 0;
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        uint32_t ready = 0;
        if (Ns2_ReadNextFrame(h, 0, &ready) != NsStatusOk || (ready & NsFrameReadyDepth) == 0) {
            continue;
        }
        NsFrame f{};
        if (Ns2_GetFrame(h, 0, DepthFrame, &f) != NsStatusOk) {
            continue;
        }
        if (sets > 0 && f.frameIndex > last + 1) {
            lost += f.frameIndex - last - 1;
        }
        last = f.frameIndex;
        ++sets;
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Ns2_StopStream(h, 0);
    Ns2_CloseDevice(&h);
    Ns2_Shutdown();
    std::printf(
        "end to end, every depth filter %s, noisy VGA depth and IR at 30 fps: %u sets in "
        "%.1f s (%.1f per second), %u lost; load %s\n",
        filtersOn ? "on" : "off", sets, elapsed, sets / elapsed, lost, Load().c_str());
    return lost == 0 ? 0 : 1;
}

}  // namespace
}  // namespace quorix

int main(int argc, char** argv) {
    if (argc == 3 && std::strncmp(argv[1], "--e2e", 5) == 0) {
        return quorix::EndToEnd(std::atof(argv[2]), std::strcmp(argv[1], "--e2e-off") != 0);
    }
    std::printf("load before: %s; filters' vector path: %s\n", quorix::Load().c_str(),
                quorix::filters::FiltersTargetName());
    quorix::PrintQuality();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("load after: %s\n", quorix::Load().c_str());
    return 0;
}
