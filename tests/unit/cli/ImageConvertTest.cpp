// Tests of depth colouring, IR scaling and colour byte order.
#include "cli/ImageConvert.h"

#include <gtest/gtest.h>

#include <vector>

#include <quorix/quorix_api.h>

namespace quorix::cli {
namespace {

double Lightness(const Rgb& c) {
    return 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b;
}

TEST(ImageConvert, ColourMapRunsFromDarkVioletToBrightYellowGettingLighter) {
    const Rgb low = ColourMap(0.0);
    const Rgb high = ColourMap(1.0);
    EXPECT_NEAR(low.r, 68, 4);  // viridis ends: (68, 1, 84) and (253, 231, 37)
    EXPECT_NEAR(low.g, 1, 4);
    EXPECT_NEAR(low.b, 84, 4);
    EXPECT_NEAR(high.r, 253, 4);
    EXPECT_NEAR(high.g, 231, 4);
    EXPECT_NEAR(high.b, 37, 4);
    // Lightness rises everywhere, so nearer and farther never look alike.
    for (int i = 1; i <= 64; ++i) {
        EXPECT_GT(Lightness(ColourMap(i / 64.0)), Lightness(ColourMap((i - 1) / 64.0))) << i;
    }
    EXPECT_EQ(Lightness(ColourMap(-3.0)), Lightness(low));
    EXPECT_EQ(Lightness(ColourMap(7.0)), Lightness(high));
}

TEST(ImageConvert, DepthSpanIgnoresNoMeasurement) {
    const std::vector<uint16_t> depth = {0, 800, 65535, 1200, 450, 0};
    const DepthSpan span = FindDepthSpan(depth.data(), depth.size());
    EXPECT_EQ(span.min, 450);
    EXPECT_EQ(span.max, 1200);
    EXPECT_EQ(span.valid, 3u);

    const std::vector<uint16_t> none = {0, 65535, 0};
    EXPECT_EQ(FindDepthSpan(none.data(), none.size()).valid, 0u);
}

TEST(ImageConvert, DepthColoursSpanTheMapAndInvalidIsBlack) {
    const std::vector<uint16_t> depth = {1000, 2000, 1500, 0, 65535, 1000};
    const DepthSpan span = FindDepthSpan(depth.data(), depth.size());
    std::vector<uint8_t> rgb(depth.size() * 3, 0x55);
    ColouriseDepth(depth.data(), depth.size(), span, rgb.data());
    auto at = [&](size_t i) { return Rgb{rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]}; };
    auto same = [](Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; };
    EXPECT_TRUE(same(at(0), ColourMap(0.0)));
    EXPECT_TRUE(same(at(1), ColourMap(1.0)));
    EXPECT_GT(Lightness(at(2)), Lightness(at(0)));
    EXPECT_LT(Lightness(at(2)), Lightness(at(1)));
    EXPECT_TRUE(same(at(3), Rgb{}));
    EXPECT_TRUE(same(at(4), Rgb{}));

    // One depth only: every valid pixel gets one colour, without dividing by zero.
    const std::vector<uint16_t> flat = {700, 700, 0};
    std::vector<uint8_t> flatRgb(9);
    ColouriseDepth(flat.data(), flat.size(), FindDepthSpan(flat.data(), flat.size()),
                   flatRgb.data());
    EXPECT_TRUE(same(Rgb{flatRgb[0], flatRgb[1], flatRgb[2]}, ColourMap(0.0)));
}

TEST(ImageConvert, IrStretchKeepsDetailBesideABrightOutlier) {
    // 200 pixels from 100 to 299 and one saturated reflection.
    std::vector<uint16_t> ir;
    for (uint16_t v = 100; v < 300; ++v) {
        ir.push_back(v);
    }
    ir.push_back(65535);
    std::vector<uint8_t> out(ir.size());
    ScaleIrTo8Bit(ir.data(), ir.size(), out.data());
    EXPECT_EQ(out.front(), 0);
    EXPECT_EQ(out.back(), 255);
    EXPECT_GT(out[150], 150);  // scaled by the max it would be 0
    EXPECT_LT(out[50], 90);
    for (size_t i = 1; i + 1 < out.size(); ++i) {
        EXPECT_LE(out[i - 1], out[i]);
    }

    const std::vector<uint16_t> flat(10, 500);
    std::vector<uint8_t> flatOut(flat.size(), 7);
    ScaleIrTo8Bit(flat.data(), flat.size(), flatOut.data());
    EXPECT_EQ(flatOut, std::vector<uint8_t>(flat.size(), 0));
}

TEST(ImageConvert, ColourOrderFollowsThePixelFormat) {
    const std::vector<uint8_t> pixels = {1, 2, 3, 4, 5, 6};
    std::vector<uint8_t> rgb(6);
    ASSERT_TRUE(ColourToRgb(pixels.data(), 2, NsPixelRGB24, rgb.data()));
    EXPECT_EQ(rgb, pixels);
    ASSERT_TRUE(ColourToRgb(pixels.data(), 2, NsPixelBGR24, rgb.data()));
    EXPECT_EQ(rgb, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    std::vector<uint8_t> untouched(6, 9);
    EXPECT_FALSE(ColourToRgb(pixels.data(), 2, NsPixelGrey8, untouched.data()));
    EXPECT_EQ(untouched, std::vector<uint8_t>(6, 9));
}

}  // namespace
}  // namespace quorix::cli
