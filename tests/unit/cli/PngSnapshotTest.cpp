// Tests of PNG writing and of the snapshot images, read back with libpng.
#include "cli/PngFile.h"
#include "cli/Snapshot.h"

#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <vector>

#include "PngReader.h"
#include "TestFrame.h"
#include "support/TempDir.h"

namespace quorix::cli {
namespace {

using test::MakeFrame;
using test::PngImage;
using test::ReadPng;
using test::TempDir;

TEST(PngFile, SixteenBitSamplesAndTextComeBackUnchanged) {
    TempDir dir;
    const std::vector<uint16_t> samples = {0, 1, 0x1234, 0xFFFF, 0x8001, 4000};
    std::string error;
    ASSERT_TRUE(WritePng(dir / "g16.png", 3, 2, PngFormat::kGrey16, samples.data(),
                         {{"Unit", "mm"}, {"Note", ""}}, error))
        << error;
    const PngImage image = ReadPng(dir / "g16.png");
    ASSERT_TRUE(image.ok);
    EXPECT_EQ(image.width, 3u);
    EXPECT_EQ(image.height, 2u);
    EXPECT_EQ(image.bitDepth, 16);
    EXPECT_EQ(image.colourType, PNG_COLOR_TYPE_GRAY);
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(image.Sample16(i), samples[i]) << i;
    }
    EXPECT_EQ(image.texts.at("Unit"), "mm");
    EXPECT_EQ(image.texts.at("Note"), "");
}

TEST(PngFile, RefusedWritesLeaveNoFile) {
    TempDir dir;
    const std::vector<uint8_t> pixel = {0};
    std::string error;
    EXPECT_FALSE(WritePng(dir / "key.png", 1, 1, PngFormat::kGrey8, pixel.data(),
                          {{std::string(80, 'k'), "v"}}, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "key.png"));
    EXPECT_FALSE(WritePng(dir / "empty.png", 0, 1, PngFormat::kGrey8, pixel.data(), {}, error));
    EXPECT_FALSE(std::filesystem::exists(dir / "empty.png"));
    error.clear();
    EXPECT_FALSE(
        WritePng(dir / "no/such/folder.png", 1, 1, PngFormat::kGrey8, pixel.data(), {}, error));
    EXPECT_NE(error.find("folder.png"), std::string::npos);
}

TEST(Snapshot, WritesDepthIrAndColourImages) {
    TempDir dir;
    // 4 x 2 frames. Depth has both markers of "no measurement".
    std::vector<uint16_t> depth = {0, 500, 1000, 1500, 2000, 2500, 3000, 65535};
    std::vector<uint16_t> ir = {100, 200, 300, 400, 500, 600, 700, 800};
    std::vector<uint8_t> bgr(8 * 3);
    for (size_t i = 0; i < 8; ++i) {
        bgr[3 * i] = static_cast<uint8_t>(i);            // blue
        bgr[3 * i + 1] = 100;                            // green
        bgr[3 * i + 2] = static_cast<uint8_t>(200 + i);  // red
    }
    const NsFrame depthFrame = MakeFrame(DepthFrame, NsPixelDepth16, 4, 2, depth.data(), 16);
    const NsFrame irFrame = MakeFrame(IRFrame, NsPixelGrey16, 4, 2, ir.data(), 16);
    const NsFrame colourFrame = MakeFrame(RGBFrame, NsPixelBGR24, 4, 2, bgr.data(), 24);
    const std::string folder = dir / "shots/one";  // created on the way

    SnapshotResult result;
    ASSERT_TRUE(WriteSnapshot({&depthFrame, &irFrame, &colourFrame}, folder, result))
        << result.error;
    EXPECT_EQ(result.depth.min, 500);
    EXPECT_EQ(result.depth.max, 3000);
    ASSERT_EQ(result.files.size(), 4u);

    const PngImage colourised = ReadPng(folder + "/" + kDepthColourFile);
    ASSERT_TRUE(colourised.ok);
    EXPECT_EQ(colourised.colourType, PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(colourised.texts.at(kDepthMinKey), "500");
    EXPECT_EQ(colourised.texts.at(kDepthMaxKey), "3000");
    const Rgb nearest = ColourMap(0.0);
    EXPECT_EQ(colourised.pixels[3], nearest.r);  // pixel 1 holds the minimum
    EXPECT_EQ(colourised.pixels[5], nearest.b);
    EXPECT_EQ(colourised.pixels[0] | colourised.pixels[1] | colourised.pixels[2], 0);

    const PngImage raw = ReadPng(folder + "/" + kDepthRawFile);
    ASSERT_EQ(raw.bitDepth, 16);
    for (size_t i = 0; i < depth.size(); ++i) {
        EXPECT_EQ(raw.Sample16(i), depth[i]) << i;
    }

    const PngImage irImage = ReadPng(folder + "/" + kIrFile);
    EXPECT_EQ(irImage.bitDepth, 8);
    EXPECT_EQ(irImage.pixels.front(), 0);
    EXPECT_EQ(irImage.pixels.back(), 255);

    const PngImage colour = ReadPng(folder + "/" + kColourFile);
    ASSERT_EQ(colour.pixels.size(), 24u);
    EXPECT_EQ(colour.pixels[3 * 5], 205);  // red first
    EXPECT_EQ(colour.pixels[3 * 5 + 1], 100);
    EXPECT_EQ(colour.pixels[3 * 5 + 2], 5);
}

TEST(Snapshot, EightBitIrAndRgbColourPassThrough) {
    TempDir dir;
    std::vector<uint8_t> ir = {9, 8, 7, 6};
    std::vector<uint8_t> rgb = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const NsFrame irFrame = MakeFrame(IRFrame, NsPixelGrey8, 2, 2, ir.data(), 4);
    const NsFrame colourFrame = MakeFrame(RGBFrame, NsPixelRGB24, 2, 2, rgb.data(), 12);
    SnapshotResult result;
    ASSERT_TRUE(WriteSnapshot({nullptr, &irFrame, &colourFrame}, dir.Path(), result))
        << result.error;
    EXPECT_EQ(result.files.size(), 2u);
    EXPECT_EQ(ReadPng(dir / kIrFile).pixels, ir);
    EXPECT_EQ(ReadPng(dir / kColourFile).pixels, rgb);
    EXPECT_FALSE(std::filesystem::exists(dir / kDepthColourFile));
}

TEST(Snapshot, DepthWithoutValidPixelsHasNoSpanText) {
    TempDir dir;
    std::vector<uint16_t> depth = {0, 65535};
    const NsFrame depthFrame = MakeFrame(DepthFrame, NsPixelDepth16, 2, 1, depth.data(), 4);
    SnapshotResult result;
    ASSERT_TRUE(WriteSnapshot({&depthFrame, nullptr, nullptr}, dir.Path(), result));
    EXPECT_EQ(result.depth.valid, 0u);
    EXPECT_EQ(ReadPng(dir / kDepthColourFile).texts.count(kDepthMinKey), 0u);
}

TEST(Snapshot, FaultyFramesWriteNothing) {
    std::vector<uint16_t> data(64, 1000);
    const NsFrame good = MakeFrame(DepthFrame, NsPixelDepth16, 4, 4, data.data(), 32);
    struct Case {
        const char* what;
        NsFrame ir;
    };
    const Case cases[] = {
        {"short data", MakeFrame(IRFrame, NsPixelGrey16, 4, 4, data.data(), 31)},
        {"no data", MakeFrame(IRFrame, NsPixelGrey16, 4, 4, nullptr, 32)},
        {"zero size", MakeFrame(IRFrame, NsPixelGrey16, 0, 4, data.data(), 32)},
        {"colour format for IR", MakeFrame(IRFrame, NsPixelRGB24, 4, 4, data.data(), 128)},
        {"unknown format", MakeFrame(IRFrame, 17, 4, 4, data.data(), 128)},
    };
    for (const Case& c : cases) {
        TempDir dir;
        SnapshotResult result;
        EXPECT_FALSE(WriteSnapshot({&good, &c.ir, nullptr}, dir / "out", result)) << c.what;
        EXPECT_NE(result.error.find("IR frame"), std::string::npos) << c.what;
        EXPECT_FALSE(std::filesystem::exists(dir / "out")) << c.what;
    }
    SnapshotResult result;
    EXPECT_FALSE(WriteSnapshot({}, "/nonexistent", result));
}

}  // namespace
}  // namespace quorix::cli
