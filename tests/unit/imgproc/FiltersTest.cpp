// The depth and IR filters against the simulated scene's ground truth: what each one gains
// on flat surfaces, that depth steps stay sharp, that holes stay holes, that the vector
// and portable forms agree, and how the temporal filter follows a moving scene.
#include "imgproc/Filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <utility>
#include <vector>

#include "../imaging/ForEachTarget.h"
#include "imgproc/ImgPreProcessImpl.h"
#include "sim/Noise.h"
#include "sim/Scene.h"

namespace quorix::filters {
namespace {

constexpr uint32_t kW = sim::kSceneWidth;
constexpr uint32_t kH = sim::kSceneHeight;
constexpr uint16_t kDepthMax = 3175;  // the simulated camera's range 1

using Image = std::vector<uint16_t>;

sim::NoiseSettings Noise(uint64_t seed = 7) {
    sim::NoiseSettings n;
    n.enabled = true;
    n.seed = seed;
    return n;
}

// Capture `k` of the scene, in mm: its truth and a noisy reading of it (noise drawn as
// for capture `noiseIndex`).
struct Frame {
    Image codes;
    Image truth;
    Image noisy;
};
Frame SceneFrame(uint32_t k, uint32_t noiseIndex, const sim::NoiseSettings& noise = Noise()) {
    Frame f;
    f.codes = sim::SceneDepthCodes(k);
    f.truth = sim::CodesToMm(f.codes, kDepthMax);
    Image noisyCodes(f.codes.size());
    sim::AddDepthNoise(f.codes.data(), noisyCodes.data(), kW, kH, noiseIndex, noise);
    f.noisy = sim::CodesToMm(noisyCodes, kDepthMax);
    return f;
}

Image Median(const Image& in) {
    Image out(in.size());
    MedianDepth3x3(in.data(), out.data(), kW, kH);
    return out;
}

Image Spatial(Image image) {
    SpatialWork work;
    SpatialFilter(image.data(), kW, kH, SpatialParams{}, work);
    return image;
}

struct Quality {
    sim::ErrorStats flatBefore, flatAfter, stepBefore, stepAfter;
};

Quality Judge(const Frame& f, const Image& filtered) {
    const auto flat = sim::FlatMask(0);
    const auto step = sim::StepMask(f.codes, 3);
    return {sim::ErrorOver(f.noisy.data(), f.truth.data(), flat),
            sim::ErrorOver(filtered.data(), f.truth.data(), flat),
            sim::ErrorOver(f.noisy.data(), f.truth.data(), step),
            sim::ErrorOver(filtered.data(), f.truth.data(), step)};
}

void Report(const char* name, const Quality& q) {
    std::printf("%s: flat rms %.2f -> %.2f mm, within 3 px of a step rms %.2f -> %.2f mm\n", name,
                q.flatBefore.rms, q.flatAfter.rms, q.stepBefore.rms, q.stepAfter.rms);
}

// The goals: at least half the error on flat surfaces, at most 10 % more near steps, and
// no distance where the truth has none.
void ExpectGoalsMet(const Quality& q) {
    EXPECT_LE(q.flatAfter.rms * 2.0, q.flatBefore.rms);
    EXPECT_LE(q.stepAfter.rms, q.stepBefore.rms * 1.10);
    EXPECT_EQ(q.flatAfter.invented, 0u);
    EXPECT_EQ(q.stepAfter.invented, 0u);
}

// A square hole of side `side` (no return) at (x0, y0).
void Punch(Image& image, uint32_t x0, uint32_t y0, uint32_t side) {
    for (uint32_t y = y0; y < y0 + side; ++y) {
        std::fill_n(image.begin() + y * kW + x0, side, kNoDepth);
    }
}

size_t CountWithDistance(const Image& image, uint32_t x0, uint32_t y0, uint32_t side) {
    size_t n = 0;
    for (uint32_t y = y0; y < y0 + side; ++y) {
        for (uint32_t x = x0; x < x0 + side; ++x) {
            n += HasDistance(image[y * kW + x]) ? 1 : 0;
        }
    }
    return n;
}

TEST(FiltersTest, ValidLimitsMarkWhatLiesOutsideTheRange) {
    Image d = {0, 299, 300, 1000, 4000, 4001, 65535, 1};
    ApplyValidLimits(d.data(), d.size(), 300, 4000);
    EXPECT_EQ(d, (Image{0, 0, 300, 1000, 4000, 65535, 65535, 0}));
}

TEST(FiltersTest, MedianHalvesTheErrorOnPlanesKeepsStepsAndFillsOnlyDropouts) {
    Frame f = SceneFrame(0, 0);
    Punch(f.noisy, 420, 60, 9);   // a hole on the wall larger than the window
    Punch(f.noisy, 100, 100, 2);  // and one of 2x2
    const Image out = Median(f.noisy);
    const Quality q = Judge(f, out);
    Report("median", q);
    ExpectGoalsMet(q);
    // Dropouts on planes are filled where the neighbourhood agrees...
    EXPECT_LT(q.flatAfter.missing * 10, q.flatBefore.missing);
    // ...but the holes stay whole, even their corners.
    EXPECT_EQ(CountWithDistance(out, 420, 60, 9), 0u);
    EXPECT_EQ(CountWithDistance(out, 100, 100, 2), 0u);
    // The patches without return and beyond range stay as they are, the stamp row too.
    EXPECT_EQ(out[460 * kW + 620], kNoDepth);
    EXPECT_EQ(out[20 * kW + 620], kBeyond);
}

TEST(FiltersTest, MedianRulesOnASmallImage) {
    // 3x3 windows with 5, 6 and 9 pixels with distance around a centre without it.
    const Image five = {0, 10, 0, 20, 0, 30, 0, 40, 50};
    const Image six = {0, 10, 0, 20, 0, 30, 60, 40, 50};
    Image out(9);
    MedianDepth3x3Portable(five.data(), out.data(), 3, 3);
    EXPECT_EQ(out[4], 0);  // a minority never fills
    MedianDepth3x3Portable(six.data(), out.data(), 3, 3);
    EXPECT_EQ(out[4], 35);  // two thirds do: the mean of the middle two of 10..60
    // A valid pixel among beyond-range marks keeps its value; beyond stays beyond.
    const Image lonely = {65535, 65535, 65535, 65535, 900, 65535, 65535, 65535, 65535};
    MedianDepth3x3Portable(lonely.data(), out.data(), 3, 3);
    EXPECT_EQ(out, lonely);
    // IR: every value counts; the corner's window is its 2x2 part.
    const Image ir = {9, 1, 5, 2, 100, 6, 3, 4, 7};
    MedianIr3x3Portable(ir.data(), out.data(), 3, 3);
    EXPECT_EQ(out[4], 5);
    EXPECT_EQ(out[0], 5);  // {9, 1, 2, 100}: (2 + 9) / 2
    // Degenerate sizes do not read outside the image.
    const Image row = {5, 0, 7};
    Image rowOut(3);
    MedianDepth3x3(row.data(), rowOut.data(), 3, 1);
    EXPECT_EQ(rowOut, (Image{5, 6, 7}));
    MedianDepth3x3(row.data(), rowOut.data(), 1, 3);
    EXPECT_EQ(rowOut, (Image{5, 6, 7}));
}

TEST(FiltersTest, SpatialHalvesTheErrorOnPlanesAndKeepsStepsSharp) {
    Frame f = SceneFrame(0, 0);
    Punch(f.noisy, 420, 60, 9);
    const Image out = Spatial(f.noisy);
    const Quality q = Judge(f, out);
    Report("spatial", q);
    ExpectGoalsMet(q);
    EXPECT_EQ(CountWithDistance(out, 420, 60, 9), 0u);
    // A clean step of 10 % is left exactly as it is.
    Image step(kW * kH, 2000);
    for (uint32_t y = 0; y < kH; ++y) {
        std::fill_n(step.begin() + y * kW + kW / 2, kW / 2, 2200);
    }
    EXPECT_EQ(Spatial(step), step);
}

TEST(FiltersTest, VectorAndPortableFormsGiveTheSameImages) {
    const Frame f = SceneFrame(3, 3);
    const Image irCodes = sim::SceneIrCodes(3);
    Image ir(irCodes.size());
    sim::AddIrNoise(irCodes.data(), ir.data(), kW, kH, 3, Noise());
    Image depthPortable(f.noisy.size());
    Image irPortable(ir.size());
    MedianDepth3x3Portable(f.noisy.data(), depthPortable.data(), kW, kH);
    MedianIr3x3Portable(ir.data(), irPortable.data(), kW, kH);
    Image spatialPortable = f.noisy;
    SpatialWork work;
    SpatialFilterPortable(spatialPortable.data(), kW, kH, SpatialParams{}, work);
    // Odd sizes leave a tail after the last whole vector.
    const uint32_t oddW = 637;
    const uint32_t oddH = 5;
    Image oddPortable(oddW * oddH);
    MedianDepth3x3Portable(f.noisy.data(), oddPortable.data(), oddW, oddH);
    Image oddSpatialPortable(f.noisy.begin(), f.noisy.begin() + oddW * oddH);
    SpatialFilterPortable(oddSpatialPortable.data(), oddW, oddH, SpatialParams{}, work);
    test::ForEachTarget(&FiltersTargetName, [&] {
        Image out(f.noisy.size());
        MedianDepth3x3(f.noisy.data(), out.data(), kW, kH);
        EXPECT_EQ(out, depthPortable);
        MedianIr3x3(ir.data(), out.data(), kW, kH);
        EXPECT_EQ(out, irPortable);
        Image spatial = f.noisy;
        SpatialFilter(spatial.data(), kW, kH, SpatialParams{}, work);
        EXPECT_EQ(spatial, spatialPortable);
        Image odd(oddW * oddH);
        MedianDepth3x3(f.noisy.data(), odd.data(), oddW, oddH);
        EXPECT_EQ(odd, oddPortable);
        Image oddSpatial(f.noisy.begin(), f.noisy.begin() + oddW * oddH);
        SpatialFilter(oddSpatial.data(), oddW, oddH, SpatialParams{}, work);
        EXPECT_EQ(oddSpatial, oddSpatialPortable);
    });
}

// The medians' rules written out plainly, pixel by pixel: the reference the fast forms
// must match. IR (`depth` false): every value counts.
Image ReferenceMedian(const Image& in, uint32_t w, uint32_t h, bool depth) {
    Image out(in.size());
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            std::vector<uint16_t> values;
            uint32_t inImage = 0;
            for (uint32_t yy = y > 0 ? y - 1 : 0; yy <= std::min(y + 1, h - 1); ++yy) {
                for (uint32_t xx = x > 0 ? x - 1 : 0; xx <= std::min(x + 1, w - 1); ++xx) {
                    ++inImage;
                    if (!depth || HasDistance(in[yy * w + xx])) {
                        values.push_back(in[yy * w + xx]);
                    }
                }
            }
            const size_t n = values.size();
            std::sort(values.begin(), values.end());
            out[y * w + x] = n * 3 < inImage * 2 ? in[y * w + x]
                             : n % 2 == 1        ? values[n / 2]
                                                 : (values[n / 2 - 1] + values[n / 2]) / 2;
        }
    }
    return out;
}

TEST(FiltersTest, MediansFollowTheirRulesInEveryFormAtEverySize) {
    // Gaps of both kinds in every density, and the distances next to the marks (1, 65534),
    // which the fast forms' key mapping must keep apart from them.
    std::mt19937 random(17);
    const uint16_t marks[] = {kNoDepth, kBeyond, 1, 2, 65534, 65533};
    const auto image = [&](uint32_t w, uint32_t h, int gapPercent) {
        Image im(size_t{w} * h);
        for (uint16_t& v : im) {
            const int roll = static_cast<int>(random() % 100);
            v = roll < gapPercent       ? marks[random() % 2]
                : roll < gapPercent + 3 ? marks[2 + random() % 4]
                                        : static_cast<uint16_t>(900 + random() % 200);
        }
        return im;
    };
    // Widths around the vector sizes (a tail, an overlapping last vector, narrower than
    // one), odd and even heights (one output row left at the bottom or none).
    const std::pair<uint32_t, uint32_t> sizes[] = {
        {640, 48}, {637, 7}, {67, 6}, {35, 5}, {34, 4}, {18, 9}, {9, 3}, {3, 3},
        {2, 5},    {5, 2},   {2, 2},  {1, 5},  {5, 1},  {1, 1},  {0, 5}, {5, 0}};
    for (const auto& [w, h] : sizes) {
        for (const int gaps : {1, 20, 45}) {
            SCOPED_TRACE(testing::Message() << w << "x" << h << ", " << gaps << " % gaps");
            const Image in = image(w, h, gaps);
            const Image expected = ReferenceMedian(in, w, h, true);
            const Image expectedIr = ReferenceMedian(in, w, h, false);
            Image out(in.size());
            MedianDepth3x3Portable(in.data(), out.data(), w, h);
            EXPECT_EQ(out, expected);
            MedianIr3x3Portable(in.data(), out.data(), w, h);
            EXPECT_EQ(out, expectedIr);
            test::ForEachTarget(&FiltersTargetName, [&] {
                Image vec(in.size());
                MedianDepth3x3(in.data(), vec.data(), w, h);
                EXPECT_EQ(vec, expected);
                MedianIr3x3(in.data(), vec.data(), w, h);
                EXPECT_EQ(vec, expectedIr);
            });
        }
    }
}

// The spatial filter written out plainly: each column down and up, then each row left to
// right and back, then rounded; pixels without distance stay as they are.
Image ReferenceSpatial(const Image& in, uint32_t w, uint32_t h, const SpatialParams& p) {
    std::vector<float> v(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        v[i] = HasDistance(in[i]) ? static_cast<float>(in[i]) : 0.0f;
    }
    const auto step = [&](float& cur, float neighbour) {
        const float diff = neighbour - cur;
        if (cur > 0 && neighbour > 0 &&
            std::fabs(diff) <= std::max(p.edgeMinMm, p.edgeRelative * cur)) {
            cur = cur + p.alpha * diff;
        }
    };
    for (uint32_t x = 0; x < w; ++x) {
        for (uint32_t y = 1; y < h; ++y) step(v[y * w + x], v[(y - 1) * w + x]);
        for (uint32_t y = h - 1; y-- > 0;) step(v[y * w + x], v[(y + 1) * w + x]);
    }
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 1; x < w; ++x) step(v[y * w + x], v[y * w + x - 1]);
        for (uint32_t x = w - 1; x-- > 0;) step(v[y * w + x], v[y * w + x + 1]);
    }
    Image out = in;
    for (size_t i = 0; i < in.size(); ++i) {
        if (HasDistance(in[i])) {
            out[i] = static_cast<uint16_t>(std::min(v[i] + 0.5f, 65534.0f));
        }
    }
    return out;
}

TEST(FiltersTest, SpatialFollowsItsRecursionInEveryFormAtEverySize) {
    // Heights with whole strips of rows and a shorter last one for every strip height the
    // forms use (16, 32, 64 rows), and widths around the vector sizes.
    std::mt19937 random(23);
    const std::pair<uint32_t, uint32_t> sizes[] = {{70, 150}, {33, 64}, {17, 200}, {640, 40},
                                                   {5, 3},    {1, 70},  {70, 1},   {1, 1}};
    SpatialWork work;
    for (const auto& [w, h] : sizes) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        // Planes with steps and noise, holes of both kinds.
        Image in(size_t{w} * h);
        for (size_t i = 0; i < in.size(); ++i) {
            const uint32_t roll = random() % 100;
            in[i] = roll < 5    ? (roll < 2 ? kNoDepth : kBeyond)
                    : roll < 10 ? static_cast<uint16_t>(3000 + random() % 40)
                                : static_cast<uint16_t>(1000 + (i % w) * 3 + random() % 30);
        }
        // The defaults, a pull taken whole with a fixed threshold, and a light one with a
        // relative threshold only.
        for (const SpatialParams& p : {SpatialParams{}, SpatialParams{1.0f, 40.0f, 0.0f},
                                       SpatialParams{0.2f, 0.0f, 0.05f}}) {
            SCOPED_TRACE(testing::Message() << "alpha " << p.alpha);
            const Image expected = ReferenceSpatial(in, w, h, p);
            Image out = in;
            SpatialFilterPortable(out.data(), w, h, p, work);
            EXPECT_EQ(out, expected);
            test::ForEachTarget(&FiltersTargetName, [&] {
                Image vec = in;
                SpatialFilter(vec.data(), w, h, p, work);
                EXPECT_EQ(vec, expected);
            });
        }
    }
}

TEST(FiltersTest, IrMedianLowersIrNoise) {
    const Image clean = sim::SceneIrCodes(0);
    Image noisy(clean.size());
    sim::AddIrNoise(clean.data(), noisy.data(), kW, kH, 0, Noise());
    Image out(clean.size());
    MedianIr3x3(noisy.data(), out.data(), kW, kH);
    const auto flat = sim::FlatMask(0);
    // IR has a checkerboard of 40-pixel squares: measure away from their borders.
    auto mask = flat;
    for (uint32_t y = 0; y < kH; ++y) {
        for (uint32_t x = 0; x < kW; ++x) {
            const bool border = x % 40 < 2 || x % 40 > 37 || y % 40 < 2 || y % 40 > 37;
            mask[y * kW + x] = flat[y * kW + x] != 0 && !border ? 1 : 0;
        }
    }
    const auto before = sim::ErrorOver(noisy.data(), clean.data(), mask);
    const auto after = sim::ErrorOver(out.data(), clean.data(), mask);
    std::printf("IR median: rms %.2f -> %.2f\n", before.rms, after.rms);
    EXPECT_LE(after.rms * 1.8, before.rms);
}

// Pixel-by-pixel standard deviation over frames `from`..`to` of a static scene.
double FrameToFrameStd(const std::vector<Image>& frames, const std::vector<uint8_t>& mask) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] == 0) {
            continue;
        }
        double mean = 0;
        size_t k = 0;
        for (const Image& f : frames) {
            if (HasDistance(f[i])) {
                mean += f[i];
                ++k;
            }
        }
        if (k < 2) {
            continue;
        }
        mean /= static_cast<double>(k);
        double var = 0;
        for (const Image& f : frames) {
            if (HasDistance(f[i])) {
                var += (f[i] - mean) * (f[i] - mean);
            }
        }
        sum += var / static_cast<double>(k - 1);
        ++n;
    }
    return std::sqrt(sum / static_cast<double>(n));
}

TEST(FiltersTest, TemporalConvergesOnAStillSceneToAThirdOfTheNoise) {
    TemporalFilter filter;
    std::vector<Image> raw;
    std::vector<Image> filtered;
    for (uint32_t k = 0; k < 60; ++k) {
        Frame f = SceneFrame(0, k);  // the same scene, fresh noise each frame
        Image out = f.noisy;
        filter.Apply(out.data(), kW, kH, TemporalParams{});
        if (k >= 30) {
            raw.push_back(f.noisy);
            filtered.push_back(out);
        }
    }
    const auto flat = sim::FlatMask(0);
    const double before = FrameToFrameStd(raw, flat);
    const double after = FrameToFrameStd(filtered, flat);
    std::printf("temporal: frame-to-frame std %.2f -> %.2f mm\n", before, after);
    EXPECT_LE(after * 3.0, before);
    // Converged to the truth, not to something else.
    const Frame truth = SceneFrame(0, 0);
    EXPECT_LT(sim::ErrorOver(filtered.back().data(), truth.truth.data(), flat).rms, before / 2.5);
}

// The temporal filter's rules written out plainly, pixel by pixel and with branches.
struct ReferenceTemporal {
    std::vector<float> average;
    std::vector<uint8_t> missing;
    void Apply(Image& depth, const TemporalParams& p) {
        if (average.size() != depth.size()) {
            average.assign(depth.size(), 0.0f);
            missing.assign(depth.size(), 0);
        }
        for (size_t i = 0; i < depth.size(); ++i) {
            if (HasDistance(depth[i])) {
                const float value = depth[i];
                const float change = value - average[i];
                if (average[i] > 0 &&
                    std::fabs(change) <= std::max(p.resetMinMm, p.resetRelative * value)) {
                    average[i] = average[i] + p.alpha * change;
                } else {
                    average[i] = value;
                }
                missing[i] = 0;
                depth[i] = static_cast<uint16_t>(std::min(average[i] + 0.5f, 65534.0f));
            } else if (average[i] > 0 && missing[i] < p.persistFrames) {
                ++missing[i];
                depth[i] = static_cast<uint16_t>(std::min(average[i] + 0.5f, 65534.0f));
            } else {
                average[i] = 0;
            }
        }
    }
};

TEST(FiltersTest, TemporalFollowsItsRulesFrameByFrameInEveryForm) {
    // Frames that jump, drop out for one to four frames, and come back, at the extremes of
    // the range too; a width that leaves a tail after the last whole vector.
    std::mt19937 random(29);
    const uint32_t w = 61, h = 7;
    TemporalParams p;
    p.persistFrames = 3;
    Image scene(size_t{w} * h);
    for (uint16_t& v : scene) {
        v = static_cast<uint16_t>(500 + random() % 4000);
    }
    scene[0] = 1;
    scene[1] = 65534;
    std::vector<Image> frames(40, scene);
    std::vector<Image> expected;
    ReferenceTemporal reference;
    for (Image& in : frames) {
        for (size_t i = 0; i < in.size(); ++i) {
            const uint32_t roll = random() % 100;
            in[i] = roll < 15 ? (roll < 8 ? kNoDepth : kBeyond)
                    : roll < 20
                        ? static_cast<uint16_t>(std::min(65534u, in[i] + 300u))
                        : static_cast<uint16_t>(std::min<uint32_t>(65534u, in[i] + random() % 20));
        }
        expected.push_back(in);
        reference.Apply(expected.back(), p);
    }
    const auto run = [&](bool portable) {
        TemporalFilter filter;
        for (size_t k = 0; k < frames.size(); ++k) {
            Image out = frames[k];
            if (portable) {
                filter.ApplyPortable(out.data(), w, h, p);
            } else {
                filter.Apply(out.data(), w, h, p);
            }
            ASSERT_EQ(out, expected[k]) << "frame " << k;
        }
    };
    run(true);
    test::ForEachTarget(&FiltersTargetName, [&] { run(false); });
}

TEST(FiltersTest, TemporalLeavesNoTrailBehindAMovingObject) {
    // Clean frames of the moving sphere: wherever the scene changed by more than the
    // reset threshold the output is the new frame itself, from the first frame on.
    TemporalFilter filter;
    size_t trail = 0;
    size_t moved = 0;
    Image previous;
    for (uint32_t k = 0; k < 12; ++k) {
        const Image truth = sim::CodesToMm(sim::SceneDepthCodes(k), kDepthMax);
        Image out = truth;
        filter.Apply(out.data(), kW, kH, TemporalParams{});
        if (k > 0) {
            for (size_t i = kW; i < truth.size(); ++i) {
                if (std::abs(int{truth[i]} - int{previous[i]}) > 100) {
                    ++moved;
                    trail += out[i] != truth[i] ? 1 : 0;
                }
            }
        }
        previous = truth;
    }
    EXPECT_GT(moved, 1000u);
    EXPECT_EQ(trail, 0u);
}

TEST(FiltersTest, TemporalKeepsADroppedPixelForTwoFramesThenLetsGo) {
    TemporalFilter filter;
    TemporalParams p;
    Image px = {1000, 2000};
    filter.Apply(px.data(), 2, 1, p);
    for (uint16_t expected : {1000, 1000, 0, 0}) {
        px = {0, 2000};
        filter.Apply(px.data(), 2, 1, p);
        EXPECT_EQ(px[0], expected);
    }
    // A new size starts afresh: nothing is carried over.
    Image other = {0, 0, 0};
    filter.Apply(other.data(), 3, 1, p);
    EXPECT_EQ(other, (Image{0, 0, 0}));
    p.persistFrames = 0;
    Image again = {1000, 2000, 3000};
    filter.Apply(again.data(), 3, 1, p);
    again = {0, 2000, 3000};
    filter.Apply(again.data(), 3, 1, p);
    EXPECT_EQ(again[0], 0);
}

TEST(FiltersTest, PlanarTableTurnsRadialDistanceIntoZ) {
    PlanarTable table;
    table.Build(500, 500, 320, 240, 640, 480);
    ASSERT_TRUE(table.Fits(640, 480));
    EXPECT_FALSE(table.Fits(640, 360));
    Image d(640 * 480, 1000);
    d[1] = 0;
    d[2] = 65535;
    table.Apply(d.data());
    EXPECT_EQ(d[0], 781);  // 1000 / sqrt(1 + 0.64^2 + 0.48^2)
    EXPECT_EQ(d[1], 0);
    EXPECT_EQ(d[2], 65535);
    // A wide lens: 1 mm at the corner would round to 0 (no distance); it stays 1.
    table.Build(100, 100, 320, 240, 640, 480);
    Image one(640 * 480, 1);
    table.Apply(one.data());
    EXPECT_EQ(one[0], 1);
    EXPECT_EQ(d[240 * 640 + 320], 1000);  // on the axis the ray is Z
}

// Through the pre-processing object, as the frame engine calls it.
struct Proc {
    ImgPreProcessImpl proc;
    void Depth(Image& image, uint32_t w = kW, uint32_t h = kH) {
        ImageDescriptor d{reinterpret_cast<uint8_t*>(image.data()), kImage16Bit, w, h};
        ASSERT_EQ(proc.FilterDepth(&d), 0);
    }
};

TEST(FiltersTest, TemporalHistoryEndsOnARangeChangeAStopAndASizeChange) {
    Proc p;
    ASSERT_EQ(p.proc.SetTimeFilterEnabled(true), 0);
    ASSERT_EQ(p.proc.SetValidDepth(1, 3000, 100), 0);
    const Image first(kW * kH, 1000);
    const Image second(kW * kH, 1010);  // within the reset threshold: averaged
    Image out = first;
    p.Depth(out);
    out = second;
    p.Depth(out);
    EXPECT_NE(out, second);
    using Step = std::function<void()>;
    const std::pair<const char*, Step> resets[] = {
        {"range change", [&] { ASSERT_EQ(p.proc.SetValidDepth(4, 5000, 100), 0); }},
        {"reset", [&] { ASSERT_EQ(p.proc.ResetFilters(), 0); }},
        {"switched off and on",
         [&] {
             ASSERT_EQ(p.proc.SetTimeFilterEnabled(false), 0);
             ASSERT_EQ(p.proc.SetTimeFilterEnabled(true), 0);
         }},
        {"size change",
         [&] {
             Image small(kW * 360, 1500);
             p.Depth(small, kW, 360);
         }},
    };
    for (const auto& [name, reset] : resets) {
        out = first;
        p.Depth(out);
        reset();
        out = second;
        p.Depth(out);
        EXPECT_EQ(out, second) << name;
    }
    // The same range again is no change.
    out = first;
    p.Depth(out);
    ASSERT_EQ(p.proc.SetValidDepth(4, 5000, 100), 0);
    out = second;
    p.Depth(out);
    EXPECT_NE(out, second);
}

TEST(FiltersTest, ValidLimitsApplyOnlyWithADepthFilterOn) {
    Proc p;
    ASSERT_EQ(p.proc.SetValidDepth(1, 3000, 500), 0);
    Image row(kW * kH, 1000);
    row[kW * 100 + 5] = 400;
    row[kW * 100 + 600] = 3100;
    Image out = row;
    p.Depth(out);
    EXPECT_EQ(out, row);
    ASSERT_EQ(p.proc.SetSpatialFilterEnabled(true), 0);
    p.Depth(out);
    EXPECT_EQ(out[kW * 100 + 5], 0);
    EXPECT_EQ(out[kW * 100 + 600], 65535);
    EXPECT_EQ(out[kW * 200], 1000);
    // A range whose limits are not known yet (all zero) limits nothing.
    ASSERT_EQ(p.proc.SetValidDepth(2, 0, 0), 0);
    out = row;
    p.Depth(out);
    EXPECT_EQ(out[kW * 100 + 600], 3100);
    EXPECT_EQ(out[kW * 200], 1000);
}

TEST(FiltersTest, RealDepthCorrectionNeedsTheDepthMatrix) {
    Proc p;
    ASSERT_EQ(p.proc.SetComputeRealDepthCorrectionEnabled(true), 0);
    Image d(kW * kH, 1000);
    Image out = d;
    p.Depth(out);
    EXPECT_EQ(out, d);  // no matrix yet: nothing to correct with
    const double matrix[9] = {500, 0, 320, 0, 500, 240, 0, 0, 1};
    ASSERT_EQ(p.proc.SetCameraMatrix(0, matrix, 480, 640), 0);
    p.Depth(out);
    EXPECT_EQ(out[0], 781);
    EXPECT_EQ(out[240 * kW + 320], 1000);
}

}  // namespace
}  // namespace quorix::filters
