// YUYV/NV12 to RGB/BGR: known colours, byte order, in-place work, and every instruction
// set giving the portable path's bytes.
#include "imgproc/ColourConvert.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "imgproc/ImgPreProcess.h"

namespace quorix {
namespace {

struct Rgb {
    uint8_t r, g, b;
};

struct Yuv {
    uint8_t y, u, v;
};

// BT.601 limited range, the encoder's side, in floating point.
Yuv Encode(Rgb c) {
    const double r = c.r / 255.0, g = c.g / 255.0, b = c.b / 255.0;
    return Yuv{static_cast<uint8_t>(std::lround(16 + 65.481 * r + 128.553 * g + 24.966 * b)),
               static_cast<uint8_t>(std::lround(128 - 37.797 * r - 74.203 * g + 112.0 * b)),
               static_cast<uint8_t>(std::lround(128 + 112.0 * r - 93.786 * g - 18.214 * b))};
}

const Rgb kColours[] = {{255, 0, 0},     {0, 255, 0}, {0, 0, 255},   {128, 128, 128},
                        {255, 255, 255}, {0, 0, 0},   {255, 255, 0}, {40, 200, 90}};

std::vector<uint8_t> Random(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<uint8_t> v(n);
    for (auto& b : v) {
        b = static_cast<uint8_t>(byte(gen));
    }
    return v;
}

void ExpectPixelNear(const uint8_t* px, Rgb want, bool bgr) {
    const int r = px[bgr ? 2 : 0], g = px[1], b = px[bgr ? 0 : 2];
    EXPECT_NEAR(r, want.r, 2);
    EXPECT_NEAR(g, want.g, 2);
    EXPECT_NEAR(b, want.b, 2);
}

// A 64 x 4 frame of one colour per format through the public conversion, in both orders.
TEST(ColourConvertTest, KnownColoursComeBackWithinTwoInBothFormatsAndOrders) {
    auto proc = Get_APIImgPreProcess();
    constexpr uint32_t w = 64, h = 4;
    std::vector<uint8_t> buffer(w * h * 3);
    for (const Rgb c : kColours) {
        const Yuv yuv = Encode(c);
        for (const int32_t out : {kColourRGB, kColourBGR}) {
            SCOPED_TRACE(testing::Message()
                         << int(c.r) << "," << int(c.g) << "," << int(c.b) << " out " << out);
            for (size_t i = 0; i < w * h; i += 2) {
                const uint8_t group[4] = {yuv.y, yuv.u, yuv.y, yuv.v};
                std::copy(group, group + 4, buffer.begin() + 2 * i);
            }
            ImageDescriptor yuyv{buffer.data(), kImage8Bit, w, h};
            ASSERT_EQ(proc->ConvertColour(&yuyv, 1, kColourYUYV, out), 0);
            EXPECT_EQ(yuyv.type, uint32_t{kImage8BitRgb});
            for (size_t i = 0; i < w * h; ++i) {
                ExpectPixelNear(&buffer[3 * i], c, out == kColourBGR);
            }

            std::fill(buffer.begin(), buffer.begin() + w * h, yuv.y);
            for (size_t i = 0; i < w * h / 2; i += 2) {
                buffer[w * h + i] = yuv.u;
                buffer[w * h + i + 1] = yuv.v;
            }
            ImageDescriptor nv12{buffer.data(), kImage8Bit, w, h};
            ASSERT_EQ(proc->ConvertColour(&nv12, 1, kColourNV12, out), 0);
            for (size_t i = 0; i < w * h; ++i) {
                ExpectPixelNear(&buffer[3 * i], c, out == kColourBGR);
            }
        }
    }
}

// Greys carry no chroma, so each byte is the luma stretched from 16..235 to 0..255, rounded
// to nearest (the colours above allow 2 either way; this holds the rounding itself).
TEST(ColourConvertTest, GreysAreStretchedAndRoundedToNearest) {
    for (int y = 0; y < 256; ++y) {
        uint8_t px[3];
        colour::YuvToRgbPixel(static_cast<uint8_t>(y), 128, 128, px, false);
        const long want = std::clamp(std::lround((y - 16) * 255.0 / 219.0), 0L, 255L);
        ASSERT_EQ(px[0], want) << y;
        ASSERT_EQ(px[1], want) << y;
        ASSERT_EQ(px[2], want) << y;
    }
}

// NV12 chroma is shared by 2 x 2 pixels: each quad gets its own colour.
TEST(ColourConvertTest, Nv12TakesEachQuadsChromaFromItsOwnPair) {
    constexpr uint32_t w = 4, h = 4;
    const Rgb quads[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    std::vector<uint8_t> frame(w * h * 3);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const Yuv c = Encode(quads[(y / 2) * 2 + x / 2]);
            frame[y * w + x] = c.y;
            frame[w * h + (y / 2) * w + (x & ~1u)] = c.u;
            frame[w * h + (y / 2) * w + (x & ~1u) + 1] = c.v;
        }
    }
    std::vector<uint8_t> out(w * h * 3);
    colour::Nv12ToRgb(frame.data(), frame.data() + w * h, out.data(), w, h, false);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            SCOPED_TRACE(testing::Message() << "x " << x << " y " << y);
            ExpectPixelNear(&out[3 * (y * w + x)], quads[(y / 2) * 2 + x / 2], false);
        }
    }
}

TEST(ColourConvertTest, RgbAndBgrSwapEachOtherAndSameFormatLeavesBytes) {
    auto proc = Get_APIImgPreProcess();
    std::vector<uint8_t> px = {1, 2, 3, 4, 5, 6};
    ImageDescriptor image{px.data(), kImage8BitRgb, 2, 1};
    ASSERT_EQ(proc->ConvertColour(&image, 1, kColourRGB, kColourBGR), 0);
    EXPECT_EQ(px, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    ASSERT_EQ(proc->ConvertColour(&image, 1, kColourBGR, kColourBGR), 0);
    EXPECT_EQ(px, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    ASSERT_EQ(proc->ConvertColour(&image, 1, kColourBGR, kColourRGB), 0);
    EXPECT_EQ(px, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
}

// Sizes that leave tails for every vector width, and a full frame.
const size_t kPixelCounts[] = {2, 6, 14, 30, 62, 126, 1000, 640 * 480};
const uint32_t kNv12Sizes[][2] = {{2, 2}, {18, 4}, {62, 6}, {130, 2}, {640, 480}};

class PerTargetTest : public testing::Test {
protected:
    void TearDown() override { hwy::SetSupportedTargetsForTest(0); }
};

TEST_F(PerTargetTest, EveryInstructionSetGivesThePortableBytes) {
    const std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
    ASSERT_FALSE(targets.empty());
    for (const int64_t target : targets) {
        hwy::SetSupportedTargetsForTest(target);
        SCOPED_TRACE(hwy::TargetName(target));
        EXPECT_STREQ(colour::ActiveTargetName(), hwy::TargetName(target));
        for (const bool bgr : {false, true}) {
            for (const size_t pixels : kPixelCounts) {
                const auto src = Random(pixels * 2, static_cast<uint32_t>(pixels));
                std::vector<uint8_t> simd(pixels * 3), portable(pixels * 3);
                colour::YuyvToRgb(src.data(), simd.data(), pixels, bgr);
                colour::YuyvToRgbPortable(src.data(), portable.data(), pixels, bgr);
                ASSERT_EQ(simd, portable) << "YUYV pixels " << pixels;
            }
            for (const auto& size : kNv12Sizes) {
                const uint32_t w = size[0], h = size[1];
                const auto src = Random(w * h * 3 / 2, w * 31 + h);
                std::vector<uint8_t> simd(w * h * 3), portable(w * h * 3);
                colour::Nv12ToRgb(src.data(), src.data() + w * h, simd.data(), w, h, bgr);
                colour::Nv12ToRgbPortable(src.data(), src.data() + w * h, portable.data(), w, h,
                                          bgr);
                ASSERT_EQ(simd, portable) << "NV12 " << w << "x" << h;
            }
        }
    }
}

TEST(ColourConvertTest, InPlaceConversionEqualsConversionIntoAnotherBuffer) {
    for (const size_t pixels : kPixelCounts) {
        const auto src = Random(pixels * 2, static_cast<uint32_t>(pixels) + 7);
        std::vector<uint8_t> apart(pixels * 3);
        colour::YuyvToRgbPortable(src.data(), apart.data(), pixels, true);
        std::vector<uint8_t> inPlace(pixels * 3);
        std::copy(src.begin(), src.end(), inPlace.begin());
        colour::YuyvToRgb(inPlace.data(), inPlace.data(), pixels, true);
        ASSERT_EQ(inPlace, apart) << "pixels " << pixels;
    }
    // NV12 in place through the public operation (it goes through the work buffer).
    constexpr uint32_t w = 640, h = 480;
    const auto src = Random(w * h * 3 / 2, 99);
    std::vector<uint8_t> apart(w * h * 3);
    colour::Nv12ToRgbPortable(src.data(), src.data() + w * h, apart.data(), w, h, false);
    std::vector<uint8_t> frame(w * h * 3);
    std::copy(src.begin(), src.end(), frame.begin());
    ImageDescriptor image{frame.data(), kImage8Bit, w, h};
    ASSERT_EQ(Get_APIImgPreProcess()->ConvertColour(&image, 1, kColourNV12, kColourRGB), 0);
    EXPECT_EQ(frame, apart);
}

}  // namespace
}  // namespace quorix
