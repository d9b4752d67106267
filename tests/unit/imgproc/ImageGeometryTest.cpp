// Rotate, Flip, Resize and Crop through the pre-processing interface: hand-checked small
// patterns, round trips on non-square images of every pixel size, and concurrent use.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

#include "imgproc/ImageGeometry.h"
#include "imgproc/ImgPreProcess.h"
#include "unit/imaging/ForEachTarget.h"

namespace quorix {
namespace {

std::vector<uint8_t> Pattern(size_t bytes, uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> v(bytes);
    for (auto& b : v) {
        b = static_cast<uint8_t>(gen());
    }
    return v;
}

uint32_t BytesOf(uint32_t type) {
    return type == kImage8Bit ? 1 : (type == kImage16Bit ? 2 : 3);
}

// 3 x 2, one byte per pixel:  1 2 3
//                             4 5 6
const std::vector<uint8_t> kSmall = {1, 2, 3, 4, 5, 6};

struct SmallCase {
    int32_t op;  // rotate type, or flip code + 10
    uint32_t width, height;
    std::vector<uint8_t> expected;
};

TEST(ImageGeometryTest, SmallPatternTurnsAndMirrorsAsDrawn) {
    const SmallCase cases[] = {
        {kRotate90Cw, 2, 3, {4, 1, 5, 2, 6, 3}},
        {kRotate180, 3, 2, {6, 5, 4, 3, 2, 1}},
        {kRotate90Ccw, 2, 3, {3, 6, 2, 5, 1, 4}},
        {10 + kFlipHorizontal, 3, 2, {3, 2, 1, 6, 5, 4}},
        {10 + kFlipVertical, 3, 2, {4, 5, 6, 1, 2, 3}},
        {10 + kFlipBoth, 3, 2, {6, 5, 4, 3, 2, 1}},
    };
    auto proc = Get_APIImgPreProcess();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.op);
        std::vector<uint8_t> px = kSmall;
        ImageDescriptor image{px.data(), kImage8Bit, 3, 2};
        ASSERT_EQ(c.op >= 9 ? proc->Flip(&image, c.op - 10) : proc->Rotate(&image, c.op), 0);
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        EXPECT_EQ(px, c.expected);
    }
}

TEST(ImageGeometryTest, QuarterTurnMovesWholeMultiBytePixels) {
    // 2 x 1 of 16-bit values 0x0201, 0x0403 turned clockwise: a column, first pixel on top.
    std::vector<uint8_t> px = {1, 2, 3, 4};
    ImageDescriptor image{px.data(), kImage16Bit, 2, 1};
    ASSERT_EQ(Get_APIImgPreProcess()->Rotate(&image, kRotate90Cw), 0);
    EXPECT_EQ(image.width, 1u);
    EXPECT_EQ(image.height, 2u);
    EXPECT_EQ(px, (std::vector<uint8_t>{1, 2, 3, 4}));
    // 2 x 1 RGB counter-clockwise: the right pixel goes on top.
    std::vector<uint8_t> rgb = {1, 2, 3, 4, 5, 6};
    ImageDescriptor colour{rgb.data(), kImage8BitRgb, 2, 1};
    ASSERT_EQ(Get_APIImgPreProcess()->Rotate(&colour, kRotate90Ccw), 0);
    EXPECT_EQ(rgb, (std::vector<uint8_t>{4, 5, 6, 1, 2, 3}));
}

// Sizes cross the 32-pixel tiles of the quarter turn and are never square.
const uint32_t kSizes[][2] = {{7, 5}, {33, 65}, {640, 480}, {360, 640}, {1920, 1080}};
const uint32_t kTypes[] = {kImage8Bit, kImage16Bit, kImage8BitRgb};

TEST(ImageGeometryTest, TurnsAndFlipsUndoThemselves) {
    auto proc = Get_APIImgPreProcess();
    for (const uint32_t type : kTypes) {
        for (const auto& size : kSizes) {
            SCOPED_TRACE(testing::Message() << "type " << type << " " << size[0] << "x" << size[1]);
            const auto original = Pattern(size_t{size[0]} * size[1] * BytesOf(type), size[0]);
            std::vector<uint8_t> px = original;
            ImageDescriptor image{px.data(), type, size[0], size[1]};
            const int32_t undo[][2] = {
                {kRotate90Cw, kRotate90Ccw}, {kRotate90Ccw, kRotate90Cw}, {kRotate180, kRotate180}};
            for (const auto& pair : undo) {
                ASSERT_EQ(proc->Rotate(&image, pair[0]), 0);
                if (pair[0] != kRotate180) {
                    EXPECT_EQ(image.width, size[1]);
                    EXPECT_NE(px, original);
                }
                ASSERT_EQ(proc->Rotate(&image, pair[1]), 0);
                EXPECT_EQ(image.width, size[0]);
                EXPECT_EQ(image.height, size[1]);
                ASSERT_EQ(px, original) << "rotate " << pair[0];
            }
            for (int i = 0; i < 4; ++i) {
                ASSERT_EQ(proc->Rotate(&image, kRotate90Cw), 0);
            }
            ASSERT_EQ(px, original) << "four quarter turns";
            for (const int32_t code : {kFlipHorizontal, kFlipVertical, kFlipBoth}) {
                ASSERT_EQ(proc->Flip(&image, code), 0);
                ASSERT_EQ(proc->Flip(&image, code), 0);
                ASSERT_EQ(px, original) << "flip " << code;
            }
        }
    }
}

TEST(ImageGeometryTest, ResizeOfAConstantImageStaysConstant) {
    auto proc = Get_APIImgPreProcess();
    const uint32_t steps[][2] = {{1920, 1080}, {640, 360},  {1920, 1080}, {1280, 720},
                                 {640, 360},   {1280, 720}, {7, 3},       {1920, 1080}};
    std::vector<uint8_t> px(1920 * 1080 * 3);
    for (size_t i = 0; i < px.size(); i += 3) {
        px[i] = 200, px[i + 1] = 17, px[i + 2] = 255;
    }
    ImageDescriptor colour{px.data(), kImage8BitRgb, 1920, 1080};
    for (const auto& s : steps) {
        ASSERT_EQ(proc->Resize(&colour, s[0], s[1], 1), 0);
        ASSERT_EQ(colour.width, s[0]);
        ASSERT_EQ(colour.height, s[1]);
        for (size_t i = 0; i < size_t{s[0]} * s[1] * 3; i += 3) {
            ASSERT_TRUE(px[i] == 200 && px[i + 1] == 17 && px[i + 2] == 255) << i;
        }
    }
    std::vector<uint16_t> depth(640 * 480, 1234);
    ImageDescriptor d{reinterpret_cast<uint8_t*>(depth.data()), kImage16Bit, 320, 240};
    ASSERT_EQ(proc->Resize(&d, 640, 480, 1), 0);
    EXPECT_EQ(std::count(depth.begin(), depth.end(), 1234), 640 * 480);
}

TEST(ImageGeometryTest, NearestResizeRepeatsAndPicksPixelsAsDrawn) {
    auto proc = Get_APIImgPreProcess();
    // 2 x 2 grey doubled: each pixel becomes a 2 x 2 block.
    std::vector<uint8_t> px = {1, 2, 3, 4};
    px.resize(16);
    ImageDescriptor grey{px.data(), kImage8Bit, 2, 2};
    ASSERT_EQ(proc->Resize(&grey, 4, 4, 1), 0);
    EXPECT_EQ(px, (std::vector<uint8_t>{1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));
    // Halved: every second pixel of every second row, from the first.
    ASSERT_EQ(proc->Resize(&grey, 2, 2, 1), 0);
    px.resize(4);
    EXPECT_EQ(px, (std::vector<uint8_t>{1, 2, 3, 4}));
    // 16-bit QVGA to VGA: pixel (x, y) of the result is pixel (x / 2, y / 2) of the source;
    // 65535 (beyond range) is copied, never blended.
    std::vector<uint16_t> depth(640 * 480);
    std::iota(depth.begin(), depth.begin() + 320 * 240, uint16_t{1});
    depth[5] = 65535;
    const std::vector<uint16_t> qvga(depth.begin(), depth.begin() + 320 * 240);
    ImageDescriptor d{reinterpret_cast<uint8_t*>(depth.data()), kImage16Bit, 320, 240};
    ASSERT_EQ(proc->Resize(&d, 640, 480, 1), 0);
    for (uint32_t y = 0; y < 480; ++y) {
        for (uint32_t x = 0; x < 640; ++x) {
            ASSERT_EQ(depth[y * 640 + x], qvga[(y / 2) * 320 + x / 2]) << x << "," << y;
        }
    }
}

TEST(ImageGeometryTest, NearestEnlargementByAnyRatioTakesEachRowsOwnSourceRow) {
    // Rows repeat irregularly (5 rows to 13, 7 columns to 20): each result row is still the
    // source row y * 5 / 13, also where it repeats the row above and where it does not.
    std::vector<uint8_t> src(7 * 5 * 3);
    std::iota(src.begin(), src.end(), uint8_t{1});
    std::vector<uint8_t> out(20 * 13 * 3, 0);
    auto work = std::make_unique<geometry::ResizeWork>();
    geometry::ResizeNearest(src.data(), 7, 5, out.data(), 20, 13, 3, *work);
    for (uint32_t y = 0; y < 13; ++y) {
        for (uint32_t x = 0; x < 20; ++x) {
            for (uint32_t c = 0; c < 3; ++c) {
                ASSERT_EQ(out[(y * 20 + x) * 3 + c], src[((y * 5 / 13) * 7 + x * 7 / 20) * 3 + c])
                    << x << "," << y;
            }
        }
    }
}

TEST(ImageGeometryTest, BilinearResizeBlendsNeighboursByDistance) {
    auto proc = Get_APIImgPreProcess();
    // Two RGB pixels stretched to four: centres at -0.25, 0.25, 0.75, 1.25 of the source.
    std::vector<uint8_t> px(12);
    const uint8_t right[3] = {200, 100, 50};
    std::copy(right, right + 3, px.begin() + 3);
    ImageDescriptor image{px.data(), kImage8BitRgb, 2, 1};
    ASSERT_EQ(proc->Resize(&image, 4, 1, 1), 0);
    EXPECT_EQ(px, (std::vector<uint8_t>{0, 0, 0, 50, 25, 13, 150, 75, 38, 200, 100, 50}));
    // Shrinking 3 x 3 to 1 x 1 takes the centre pixel.
    std::vector<uint8_t> nine(27);
    std::iota(nine.begin(), nine.end(), uint8_t{0});
    ImageDescriptor square{nine.data(), kImage8BitRgb, 3, 3};
    ASSERT_EQ(proc->Resize(&square, 1, 1, 1), 0);
    EXPECT_EQ(nine[0], 12);
    EXPECT_EQ(nine[1], 13);
    EXPECT_EQ(nine[2], 14);
}

TEST(ImageGeometryTest, CropKeepsTheWindowRowsPacked) {
    auto proc = Get_APIImgPreProcess();
    std::vector<uint8_t> px(12);  // 4 x 3: 0..11
    std::iota(px.begin(), px.end(), uint8_t{0});
    ImageDescriptor grey{px.data(), kImage8Bit, 4, 3};
    ASSERT_EQ(proc->Crop(&grey, 1, 1, 2, 2), 0);
    EXPECT_EQ(grey.width, 2u);
    EXPECT_EQ(grey.height, 2u);
    EXPECT_EQ(std::vector<uint8_t>(px.begin(), px.begin() + 4),
              (std::vector<uint8_t>{5, 6, 9, 10}));
    // A colour window: whole three-byte pixels move.
    std::vector<uint8_t> rgb(4 * 2 * 3);
    std::iota(rgb.begin(), rgb.end(), uint8_t{0});
    ImageDescriptor colour{rgb.data(), kImage8BitRgb, 4, 2};
    ASSERT_EQ(proc->Crop(&colour, 2, 1, 2, 1), 0);
    EXPECT_EQ(std::vector<uint8_t>(rgb.begin(), rgb.begin() + 6),
              (std::vector<uint8_t>{18, 19, 20, 21, 22, 23}));
}

// The depth decoder turns frames while the colour decoder resizes: both go through the
// one work buffer and must not see each other's pixels.
TEST(ImageGeometryTest, ConcurrentCallersDoNotShareTheWorkBuffer) {
    auto proc = Get_APIImgPreProcess();
    const auto depthOriginal = Pattern(640 * 480 * 2, 1);
    std::vector<uint8_t> colourBuffer(1920 * 1080 * 3, 77);
    std::thread depthThread([&] {
        std::vector<uint8_t> px = depthOriginal;
        ImageDescriptor image{px.data(), kImage16Bit, 640, 480};
        for (int i = 0; i < 40; ++i) {
            ASSERT_EQ(proc->Rotate(&image, kRotate90Cw), 0);
            ASSERT_EQ(proc->Rotate(&image, kRotate90Ccw), 0);
            ASSERT_EQ(px, depthOriginal);
        }
    });
    ImageDescriptor colour{colourBuffer.data(), kImage8BitRgb, 1920, 1080};
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(proc->Resize(&colour, 640, 360, 1), 0);
        ASSERT_EQ(proc->Resize(&colour, 1920, 1080, 1), 0);
    }
    depthThread.join();
    EXPECT_EQ(std::count(colourBuffer.begin(), colourBuffer.end(), 77),
              static_cast<std::ptrdiff_t>(colourBuffer.size()));
}

// The frame engine shrinks colour by a whole factor for mapping: reading only the middle of
// each cell must give what the full bilinear resize gives (within its rounding).
TEST(ImageGeometryTest, WholeFactorShrinkMatchesBilinear) {
    std::mt19937 rng(3);
    const uint32_t w = 1920, h = 1080;
    std::vector<uint8_t> src(size_t{w} * h * 3);
    for (auto& b : src) {
        b = static_cast<uint8_t>(rng());
    }
    auto work = std::make_unique<geometry::ResizeWork>();
    for (uint32_t k : {1u, 2u, 3u}) {
        std::vector<uint8_t> fast(size_t{w / k} * (h / k) * 3);
        std::vector<uint8_t> full(fast.size());
        geometry::ShrinkByWhole3(src.data(), w, h, fast.data(), k);
        geometry::ResizeBilinear3(src.data(), w, h, full.data(), w / k, h / k, *work);
        int worst = 0;
        for (size_t i = 0; i < fast.size(); ++i) {
            worst = std::max(worst, std::abs(int(fast[i]) - int(full[i])));
        }
        EXPECT_LE(worst, 1) << "k " << k;
    }
}

// Mapped depth and IR are enlarged by whole factors: every pixel size and factor, on each
// instruction set and the plain loop, gives what nearest resizing gives, at widths that
// leave a part of a vector over and one too narrow for any.
TEST(ImageGeometryTest, WholeFactorEnlargementIsNearestResizing) {
    std::mt19937 rng(9);
    auto work = std::make_unique<geometry::ResizeWork>();
    for (uint32_t bytes : {1u, 2u, 3u}) {
        for (uint32_t k : {1u, 2u, 3u, 4u}) {
            for (auto [w, h] : {std::pair{37u, 5u}, std::pair{640u, 3u}, std::pair{3u, 2u}}) {
                SCOPED_TRACE(testing::Message()
                             << bytes << " bytes, k " << k << ", " << w << "x" << h);
                std::vector<uint8_t> src(size_t{w} * h * bytes);
                for (auto& b : src) {
                    b = static_cast<uint8_t>(rng());
                }
                std::vector<uint8_t> expected(src.size() * k * k);
                geometry::ResizeNearest(src.data(), w, h, expected.data(), w * k, h * k, bytes,
                                        *work);
                std::vector<uint8_t> plain(expected.size(), 7);
                geometry::EnlargeByWhole(src.data(), w, h, plain.data(), bytes, k, true);
                EXPECT_EQ(plain, expected);
                test::ForEachTarget(geometry::WidenRowTargetName, [&] {
                    std::vector<uint8_t> fast(expected.size(), 7);
                    geometry::EnlargeByWhole(src.data(), w, h, fast.data(), bytes, k);
                    EXPECT_EQ(fast, expected);
                });
            }
        }
    }
}

}  // namespace
}  // namespace quorix
