// The pre-processing object's contract: switches, filters that are off pass frames, IR to 8 bits,
// stored settings, refusal of bad descriptors, and honest failure of what is not built.
#include "imgproc/ImgPreProcessImpl.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "log/Log.h"

namespace quorix {
namespace {

using SetFn = int32_t (ImgPreProcess::*)(bool);
using GetFn = int32_t (ImgPreProcess::*)(bool*);

struct SwitchPair {
    const char* name;
    SetFn set;
    GetFn get;
};

const SwitchPair kSwitches[] = {
    {"ir distortion", &ImgPreProcess::SetIrDistortionCorrectionEnabled,
     &ImgPreProcess::GetIrDistortionCorrectionEnabled},
    {"rgb correction", &ImgPreProcess::SetRGBCorrectionEnabled,
     &ImgPreProcess::GetRGBCorrectionEnabled},
    {"rgb distortion", &ImgPreProcess::SetRGBDistortionCorrectionEnabled,
     &ImgPreProcess::GetRGBDistortionCorrectionEnabled},
    {"real depth", &ImgPreProcess::SetComputeRealDepthCorrectionEnabled,
     &ImgPreProcess::GetComputeRealDepthCorrectionEnabled},
    {"depth distortion", &ImgPreProcess::SetDepthDistortionCorrectionEnabled,
     &ImgPreProcess::GetDepthDistortionCorrectionEnabled},
    {"smoothing", &ImgPreProcess::SetSmoothingFilterEnabled,
     &ImgPreProcess::GetSmoothingFilterEnabled},
    {"time", &ImgPreProcess::SetTimeFilterEnabled, &ImgPreProcess::GetTimeFilterEnabled},
    {"spatial", &ImgPreProcess::SetSpatialFilterEnabled, &ImgPreProcess::GetSpatialFilterEnabled},
};

TEST(ImgPreProcessTest, SwitchesStartOffAndKeepWhatIsSetEachOnItsOwn) {
    ImgPreProcessImpl proc;
    for (const auto& s : kSwitches) {
        bool on = true;
        ASSERT_EQ((proc.*s.get)(&on), 0) << s.name;
        EXPECT_FALSE(on) << s.name;
    }
    EXPECT_FALSE(proc.GetOutOfMaxRangeEnabled());
    EXPECT_FALSE(proc.GetTimeFilterOnDepthEnabled());
    for (const auto& s : kSwitches) {
        ASSERT_EQ((proc.*s.set)(true), 0) << s.name;
        for (const auto& other : kSwitches) {
            bool on = false;
            ASSERT_EQ((proc.*other.get)(&on), 0);
            EXPECT_EQ(on, &other == &s) << s.name << " set, " << other.name << " read";
        }
        ASSERT_EQ((proc.*s.set)(false), 0);
    }
    ASSERT_EQ(proc.SetOutOfMaxRangeEnabled(true), 0);
    ASSERT_EQ(proc.SetTimeFilterOnDepthEnabled(true), 0);
    EXPECT_TRUE(proc.GetOutOfMaxRangeEnabled());
    EXPECT_TRUE(proc.GetTimeFilterOnDepthEnabled());
    log::Capture capture;
    EXPECT_NE(proc.GetTimeFilterEnabled(nullptr), 0);
    EXPECT_TRUE(capture.Contains("out pointer is null"));
}

// Depth with the beyond-range mark and IR, through the filters with every switch off
// (valid-depth limits set all the same), and again after a round with every switch on:
// every byte must come out as it went in.
TEST(ImgPreProcessTest, FiltersLeaveFramesByteForByteWithEverySwitchOff) {
    ImgPreProcessImpl proc;
    std::mt19937 gen(5);
    std::vector<uint16_t> depth(640 * 480);
    for (auto& d : depth) {
        d = static_cast<uint16_t>(gen() % 9000);
    }
    for (size_t i = 0; i < depth.size(); i += 7) {
        depth[i] = 65535;
    }
    std::vector<uint16_t> ir(640 * 480);
    for (auto& v : ir) {
        v = static_cast<uint16_t>(gen() % 4096);
    }
    std::vector<uint8_t> colour(640 * 480 * 3, 9);
    const auto depthIn = depth, irIn = ir;
    const auto colourIn = colour;
    const double matrix[9] = {500, 0, 320, 0, 500, 240, 0, 0, 1};
    ASSERT_EQ(proc.SetCameraMatrix(0, matrix, 480, 640), 0);
    for (const bool on : {false, true, false}) {
        for (const auto& s : kSwitches) {
            ASSERT_EQ((proc.*s.set)(on), 0);
        }
        ASSERT_EQ(proc.SetValidDepth(2, 3000, 500), 0);
        if (on) {
            auto copy = depth;
            auto irCopy = ir;
            ImageDescriptor d{reinterpret_cast<uint8_t*>(copy.data()), kImage16Bit, 640, 480};
            ImageDescriptor i{reinterpret_cast<uint8_t*>(irCopy.data()), kImage16Bit, 640, 480};
            ASSERT_EQ(proc.FilterDepth(&d), 0);
            ASSERT_EQ(proc.FilterIR(&i), 0);
            EXPECT_NE(copy, depthIn);
            EXPECT_NE(irCopy, irIn);
            continue;
        }
        ImageDescriptor d{reinterpret_cast<uint8_t*>(depth.data()), kImage16Bit, 640, 480};
        ImageDescriptor i{reinterpret_cast<uint8_t*>(ir.data()), kImage16Bit, 640, 480};
        ImageDescriptor c{colour.data(), kImage8BitRgb, 640, 480};
        ASSERT_EQ(proc.FilterDepth(&d), 0);
        ASSERT_EQ(proc.FilterIR(&i), 0);
        ASSERT_EQ(proc.ProcessColour(&c), 0);
        EXPECT_EQ(depth, depthIn);
        EXPECT_EQ(ir, irIn);
        EXPECT_EQ(colour, colourIn);
        EXPECT_EQ(d.width, 640u);
        EXPECT_EQ(d.height, 480u);
    }
}

TEST(ImgPreProcessTest, IrTo8BitMapsTwelveBitsLinearlyAndSaturatesAbove) {
    ImgPreProcessImpl proc;
    const std::vector<uint16_t> ir = {0, 15, 16, 2048, 4095, 4096, 65535, 100};
    std::vector<uint8_t> out(ir.size());
    ASSERT_EQ(proc.ConvertIRTo8Bit(2, 4, out.data(), ir.data()), 0);
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 0, 1, 128, 255, 255, 255, 6}));
    // In place, as the frame delivery does it on the frame's own buffer.
    std::vector<uint16_t> frame = ir;
    auto* bytes = reinterpret_cast<uint8_t*>(frame.data());
    ASSERT_EQ(proc.ConvertIRTo8Bit(2, 4, bytes, frame.data()), 0);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 8), out);
    log::Capture capture;
    EXPECT_NE(proc.ConvertIRTo8Bit(2, 4, nullptr, ir.data()), 0);
    EXPECT_NE(proc.ConvertIRTo8Bit(0, 4, out.data(), ir.data()), 0);
    EXPECT_EQ(capture.Count("is invalid"), 2u);
}

TEST(ImgPreProcessTest, SettingsAreKeptAndNonsenseRefused) {
    ImgPreProcessImpl proc;
    EXPECT_EQ(proc.GetValidDepth().range, 65535u);
    ASSERT_EQ(proc.SetValidDepth(4, 4000, 300), 0);
    EXPECT_EQ(proc.GetValidDepth().range, 4u);
    EXPECT_EQ(proc.GetValidDepth().maxMm, 4000u);
    EXPECT_EQ(proc.GetValidDepth().minMm, 300u);
    ASSERT_EQ(proc.SetValidDepth(256, 7000, 100), 0);
    EXPECT_EQ(proc.GetValidDepth().range, 256u);
    log::Capture capture;
    EXPECT_NE(proc.SetValidDepth(9, 4000, 300), 0);
    EXPECT_NE(proc.SetValidDepth(1, 300, 4000), 0);
    EXPECT_EQ(proc.GetValidDepth().maxMm, 7000u);
    EXPECT_EQ(capture.Count("range: 9 is invalid"), 1u);
    EXPECT_EQ(capture.Count("is above max"), 1u);

    const double matrix[9] = {500, 0, 320, 0, 500, 240, 0, 0, 1};
    EXPECT_EQ(proc.SetCameraMatrix(0, matrix, 480, 640), 0);
    EXPECT_NE(proc.SetCameraMatrix(2, matrix, 480, 640), 0);
    EXPECT_NE(proc.Init(nullptr, "/tmp/Config/"), 0);
}

// Without a calibration nothing can be mapped; the computed frame is not built; the
// device-assist operation has nothing to send.
TEST(ImgPreProcessTest, WhatCannotWorkFailsAndSaysSo) {
    ImgPreProcessImpl proc;
    log::Capture capture;
    NsDepthVector3 point{10, 20, 1000};
    NsDepthVector3 out{1, 2, 3};
    std::vector<uint8_t> px(640 * 480 * 3);
    ImageDescriptor a{px.data(), kImage8BitRgb, 640, 480};
    ImageDescriptor c = a, d = a, e = a;
    ImageDescriptor depth{px.data(), kImage16Bit, 640, 480};
    uint8_t result[32] = {};
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(proc.MapDepthPointToColour(point, 640 | (480u << 16), &out), -1);
        EXPECT_EQ(out.depthX, 0);
        EXPECT_EQ(out.depthY, 0);
        EXPECT_EQ(out.depthZ, 0);
        EXPECT_EQ(proc.MapDepthToColour(&a, &depth, &c), -1);
        EXPECT_EQ(proc.MapColourToDepth(&depth, &a, &c), -1);
        EXPECT_EQ(proc.MapIRToColour(&a, &depth, &depth, &d), -1);
        EXPECT_EQ(proc.MapDepthAndIRToColour(&a, &depth, &depth, &d, &e), -1);
        EXPECT_EQ(proc.ComputeFrame(&a, 1), -1);
        // The device-assist answer asks nothing to be sent; bad arguments are refused.
        result[0] = 0xFF;
        EXPECT_EQ(proc.ProcessSpecial(&depth, &a, 1, 300, 1200, result), 0);
        EXPECT_EQ(result[0], 0);
        EXPECT_EQ(proc.ProcessSpecial(&depth, &a, 4, 300, 1200, result), -1);
        EXPECT_EQ(proc.ProcessSpecial(&a, &a, 1, 300, 1200, result), -1);
        EXPECT_EQ(proc.ProcessSpecial(&depth, &a, 1, 300, 1200, nullptr), -1);
    }
    EXPECT_EQ(capture.Count("is not available yet"), 1u);
    EXPECT_EQ(capture.Count("no calibration yet"), 10u);
}

// Every image operation against every kind of bad descriptor: refused with a log line,
// the pixels untouched.
TEST(ImgPreProcessTest, BadDescriptorsAreRefusedWithALogLine) {
    ImgPreProcessImpl proc;
    std::vector<uint8_t> px(1920 * 1080 * 3 + 64, 42);
    struct Bad {
        const char* what;
        ImageDescriptor image;
        const char* log;
    };
    const Bad bad[] = {
        {"null data", {nullptr, kImage16Bit, 640, 480}, "image data is null"},
        {"zero width", {px.data(), kImage16Bit, 0, 480}, "is invalid"},
        {"zero height", {px.data(), kImage16Bit, 640, 0}, "is invalid"},
        {"type 0", {px.data(), 0, 640, 480}, "image type: 0 is invalid"},
        {"type 4", {px.data(), 4, 640, 480}, "image type: 4 is invalid"},
        {"too wide", {px.data(), kImage8Bit, 1921, 2}, "is invalid"},
        {"too many bytes", {px.data(), kImage8BitRgb, 1920, 1920}, "is invalid"},
    };
    using Op = std::function<int32_t(ImageDescriptor*)>;
    const std::pair<const char*, Op> ops[] = {
        {"Resize", [&](ImageDescriptor* i) { return proc.Resize(i, 320, 240, 1); }},
        {"Crop", [&](ImageDescriptor* i) { return proc.Crop(i, 0, 0, 1, 1); }},
        {"Rotate", [&](ImageDescriptor* i) { return proc.Rotate(i, kRotate90Cw); }},
        {"Flip", [&](ImageDescriptor* i) { return proc.Flip(i, kFlipBoth); }},
        {"ConvertColour",
         [&](ImageDescriptor* i) { return proc.ConvertColour(i, 1, kColourYUYV, kColourRGB); }},
        {"FilterDepth", [&](ImageDescriptor* i) { return proc.FilterDepth(i); }},
        {"FilterIR", [&](ImageDescriptor* i) { return proc.FilterIR(i); }},
        {"ProcessColour", [&](ImageDescriptor* i) { return proc.ProcessColour(i); }},
    };
    for (const auto& [name, op] : ops) {
        log::Capture capture;
        EXPECT_NE(op(nullptr), 0) << name;
        EXPECT_EQ(capture.Count(std::string(name) + ": image descriptor is null"), 1u) << name;
        for (const auto& b : bad) {
            capture.Clear();
            ImageDescriptor image = b.image;
            EXPECT_NE(op(&image), 0) << name << ", " << b.what;
            EXPECT_TRUE(capture.Contains(b.log)) << name << ", " << b.what;
            EXPECT_EQ(image.width, b.image.width) << name << ", " << b.what;
            EXPECT_EQ(image.height, b.image.height) << name << ", " << b.what;
        }
    }
    EXPECT_EQ(std::count(px.begin(), px.end(), 42), static_cast<std::ptrdiff_t>(px.size()));
}

// Arguments that do not fit the image or the operation.
TEST(ImgPreProcessTest, ArgumentsThatDoNotFitAreRefusedWithALogLine) {
    ImgPreProcessImpl proc;
    std::vector<uint8_t> px(640 * 480 * 3, 42);
    using Op = std::function<int32_t(ImageDescriptor*)>;
    struct Case {
        const char* what;
        uint32_t type, width, height;
        Op op;
        const char* log;
    };
    const Case cases[] = {
        {"crop past the right edge", kImage8Bit, 640, 480,
         [&](ImageDescriptor* i) { return proc.Crop(i, 600, 0, 41, 10); }, "outside the image"},
        {"crop past the bottom", kImage8Bit, 640, 480,
         [&](ImageDescriptor* i) { return proc.Crop(i, 0, 470, 10, 11); }, "outside the image"},
        {"crop wrapping around", kImage8Bit, 640, 480,
         [&](ImageDescriptor* i) { return proc.Crop(i, 10, 0, 0xFFFFFFFFu, 1); },
         "outside the image"},
        {"resize to nothing", kImage16Bit, 640, 480,
         [&](ImageDescriptor* i) { return proc.Resize(i, 0, 480, 1); }, "target size"},
        {"resize beyond the work buffer", kImage8BitRgb, 640, 480,
         [&](ImageDescriptor* i) { return proc.Resize(i, 1920, 1920, 1); }, "target size"},
        {"rotate type 3", kImage16Bit, 640, 480,
         [&](ImageDescriptor* i) { return proc.Rotate(i, 3); }, "rotate type: 3 is invalid"},
        {"flip code 2", kImage16Bit, 640, 480, [&](ImageDescriptor* i) { return proc.Flip(i, 2); },
         "flip code: 2 is invalid"},
        {"YUYV in a 16-bit image", kImage16Bit, 640, 480,
         [&](ImageDescriptor* i) { return proc.ConvertColour(i, 1, kColourYUYV, kColourRGB); },
         "does not hold format"},
        {"YUYV of odd width", kImage8Bit, 639, 480,
         [&](ImageDescriptor* i) { return proc.ConvertColour(i, 1, kColourYUYV, kColourRGB); },
         "does not fit format"},
        {"NV12 of odd height", kImage8Bit, 640, 479,
         [&](ImageDescriptor* i) { return proc.ConvertColour(i, 1, kColourNV12, kColourBGR); },
         "does not fit format"},
        {"output format 5", kImage8Bit, 640, 480,
         [&](ImageDescriptor* i) { return proc.ConvertColour(i, 1, kColourYUYV, 5); },
         "output format: 5 is invalid"},
        {"depth filter on colour", kImage8BitRgb, 640, 480,
         [&](ImageDescriptor* i) { return proc.FilterDepth(i); }, "expected 3"},
    };
    for (const auto& c : cases) {
        log::Capture capture;
        ImageDescriptor image{px.data(), c.type, c.width, c.height};
        EXPECT_NE(c.op(&image), 0) << c.what;
        EXPECT_TRUE(capture.Contains(c.log)) << c.what;
        EXPECT_EQ(image.width, c.width) << c.what;
        EXPECT_EQ(image.height, c.height) << c.what;
        EXPECT_EQ(image.type, c.type) << c.what;
    }
    EXPECT_EQ(std::count(px.begin(), px.end(), 42), static_cast<std::ptrdiff_t>(px.size()));
}

}  // namespace
}  // namespace quorix
