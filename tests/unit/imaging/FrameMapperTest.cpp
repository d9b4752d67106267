// The mapped frames of one set, byte for byte, against the mapping done the plain way in
// the test: colour shrunk by k (the middle of each k x k cell), depth and IR mapped onto
// that shrunk geometry and each pixel enlarged k times, colour read from the shrunk image;
// for every colour scale, with and without IR, on the simulator's scene and calibration.
#include "imaging/FrameMapper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "imgproc/ImageGeometry.h"
#include "imgproc/ImgPreProcess.h"
#include "sim/ColourImage.h"
#include "sim/Scene.h"
#include "sim/SimState.h"

namespace quorix {
namespace {

constexpr uint32_t kDepthW = sim::kSceneWidth;
constexpr uint32_t kDepthH = sim::kSceneHeight;

struct Scene {
    std::vector<uint16_t> depth = std::vector<uint16_t>(kDepthW * kDepthH);
    std::vector<uint16_t> ir = std::vector<uint16_t>(kDepthW * kDepthH);
    std::vector<uint8_t> colour;
};

// Frame 7 of the simulated scene, its codes turned into millimetres of depth range 0, and
// its colour image at width x height.
Scene MakeScene(const sim::SensorState& sensor, uint32_t width, uint32_t height) {
    Scene s;
    const uint32_t fullScale = sim::LimitsOfRange(sensor, 0).depthMax;
    std::vector<uint16_t> row(kDepthW);
    for (uint32_t y = 0; y < kDepthH; ++y) {
        sim::FillDepthRow(y, 7, row.data());
        for (uint32_t x = 0; x < kDepthW; ++x) {
            s.depth[y * kDepthW + x] = static_cast<uint16_t>(row[x] * fullScale / 4096);
        }
        sim::FillIrRow(y, 7, &s.ir[y * kDepthW]);
    }
    s.colour = sim::TestImage(width, height);
    return s;
}

// A pre-processor with the simulator's calibration, colour at width x height.
std::unique_ptr<ImgPreProcess> Configured(const sim::SensorState& sensor, uint32_t width,
                                          uint32_t height) {
    std::vector<double> block;
    for (const auto* part : {&sensor.depthIntrinsic, &sensor.colourIntrinsic}) {
        block.insert(block.end(), part->begin(), part->end());
        const auto& distortion =
            part == &sensor.depthIntrinsic ? sensor.depthDistortion : sensor.colourDistortion;
        block.insert(block.end(), distortion.begin(), distortion.end());
    }
    block.insert(block.end(), sensor.rotation.begin(), sensor.rotation.end());
    block.insert(block.end(), sensor.translation.begin(), sensor.translation.end());
    auto pre = Get_APIImgPreProcess();
    EXPECT_EQ(pre->Init(block.data(), "/tmp/Config/"), 0);
    EXPECT_EQ(pre->SetCameraMatrix(0, sensor.depthIntrinsic.data(), kDepthH, kDepthW), 0);
    std::array<double, 9> colour = sensor.colourIntrinsic;
    const double scale = width / 1920.0;  // calibrated at the sensor's 1920 x 1080
    for (int i : {0, 2, 4, 5}) {
        colour[i] *= scale;
    }
    EXPECT_EQ(pre->SetCameraMatrix(1, colour.data(), height, width), 0);
    return pre;
}

// Each pixel of a w x h image repeated k times across and down.
std::vector<uint8_t> Enlarged(const uint8_t* src, uint32_t w, uint32_t h, uint32_t bytes,
                              uint32_t k) {
    std::vector<uint8_t> out(size_t{w} * h * bytes * k * k);
    for (uint32_t y = 0; y < h * k; ++y) {
        for (uint32_t x = 0; x < w * k; ++x) {
            std::copy_n(src + (size_t{y / k} * w + x / k) * bytes, bytes,
                        &out[(size_t{y} * w * k + x) * bytes]);
        }
    }
    return out;
}

struct Mapped {
    std::vector<uint8_t> colour, depth, ir;
};

Mapped Reference(ImgPreProcess& pre, Scene& s, uint32_t w, uint32_t h, uint32_t k, bool withIr,
                 const MapSwitches& on) {
    std::vector<uint8_t> shrunk(size_t{w / k} * (h / k) * 3);
    geometry::ShrinkByWhole3(s.colour.data(), w, h, shrunk.data(), k);
    ImageDescriptor colour{shrunk.data(), kImage8BitRgb, w / k, h / k};
    ImageDescriptor depth{reinterpret_cast<uint8_t*>(s.depth.data()), kImage16Bit, kDepthW,
                          kDepthH};
    ImageDescriptor ir{reinterpret_cast<uint8_t*>(s.ir.data()), kImage16Bit, kDepthW, kDepthH};
    const size_t cells = size_t{w / k} * (h / k);
    std::vector<uint8_t> depthWork(cells * 2), irWork(cells * 2);
    ImageDescriptor depthOut{depthWork.data(), kImage16Bit, 0, 0};
    ImageDescriptor irOut{irWork.data(), kImage16Bit, 0, 0};
    Mapped m;
    if (on.colourOnDepth) {
        m.colour.resize(size_t{kDepthW} * kDepthH * 3);
        ImageDescriptor out{m.colour.data(), kImage8BitRgb, 0, 0};
        EXPECT_EQ(pre.MapColourToDepth(&depth, &colour, &out), 0);
    }
    const bool irToo = on.irOnColour && withIr;
    if (on.depthOnColour && irToo) {
        EXPECT_EQ(pre.MapDepthAndIRToColour(&colour, &depth, &ir, &depthOut, &irOut), 0);
    } else if (on.depthOnColour) {
        EXPECT_EQ(pre.MapDepthToColour(&colour, &depth, &depthOut), 0);
    } else if (irToo) {
        EXPECT_EQ(pre.MapIRToColour(&colour, &depth, &ir, &irOut), 0);
    }
    if (on.depthOnColour) {
        m.depth = Enlarged(depthWork.data(), w / k, h / k, 2, k);
    }
    if (irToo && on.ir8Bit) {
        std::vector<uint8_t> grey(cells);
        EXPECT_EQ(pre.ConvertIRTo8Bit(h / k, w / k, grey.data(),
                                      reinterpret_cast<const uint16_t*>(irWork.data())),
                  0);
        m.ir = Enlarged(grey.data(), w / k, h / k, 1, k);
    } else if (irToo) {
        m.ir = Enlarged(irWork.data(), w / k, h / k, 2, k);
    }
    return m;
}

Frame FrameOver(void* data, uint32_t width, uint32_t height, uint32_t bytes) {
    Frame f;
    f.pFrameData = static_cast<uint8_t*>(data);
    f.width = static_cast<uint16_t>(width);
    f.height = static_cast<uint16_t>(height);
    f.dataLen = f.capacity = width * height * bytes;
    return f;
}

std::vector<uint8_t> Contents(const Frame& f) {
    return {f.pFrameData, f.pFrameData + f.dataLen};
}

struct Size {
    uint32_t width, height, k;
};

class FrameMapperAtScale : public ::testing::TestWithParam<Size> {};

TEST_P(FrameMapperAtScale, MappedFramesAreThoseOfThePlainMapping) {
    const auto [w, h, k] = GetParam();
    ASSERT_EQ(FrameMapper::ColourScale(w, h), k);
    const sim::SensorState sensor = sim::MakeDefaultState(561, "127.0.0.1", "QX", 1).sensors[0];
    Scene s = MakeScene(sensor, w, h);
    const std::vector<uint8_t> colourBefore = s.colour;
    auto pre = Configured(sensor, w, h);
    FrameMapper mapper;
    struct Case {
        bool withIr;
        MapSwitches on;
    };
    const Case cases[] = {
        {false, {true, true, true, false}},  {true, {true, true, true, false}},
        {true, {false, false, true, false}}, {true, {false, true, true, true}},
        {true, {true, false, false, false}},
    };
    std::vector<uint8_t> colourOut(FrameMapper::kMappedColourBytes);
    std::vector<uint8_t> depthOut(FrameMapper::kWorkImageBytes);
    std::vector<uint8_t> irOut(FrameMapper::kWorkImageBytes);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "ir " << c.withIr << " switches " << c.on.colourOnDepth
                                        << c.on.depthOnColour << c.on.irOnColour << c.on.ir8Bit);
        const Frame depth = FrameOver(s.depth.data(), kDepthW, kDepthH, 2);
        const Frame ir = FrameOver(s.ir.data(), kDepthW, kDepthH, 2);
        const Frame colour = FrameOver(s.colour.data(), w, h, 3);
        Frame outColour = FrameOver(colourOut.data(), 0, 0, 0);
        Frame outDepth = FrameOver(depthOut.data(), 0, 0, 0);
        Frame outIr = FrameOver(irOut.data(), 0, 0, 0);
        outColour.capacity = static_cast<uint32_t>(colourOut.size());
        outDepth.capacity = outIr.capacity = static_cast<uint32_t>(depthOut.size());
        const uint32_t made = mapper.Map(*pre, depth, c.withIr ? &ir : nullptr, colour, c.on,
                                         outColour, outDepth, outIr);
        const Mapped expected = Reference(*pre, s, w, h, k, c.withIr, c.on);
        EXPECT_EQ((made & FrameMapper::kMadeColour) != 0, !expected.colour.empty());
        EXPECT_EQ((made & FrameMapper::kMadeDepth) != 0, !expected.depth.empty());
        EXPECT_EQ((made & FrameMapper::kMadeIR) != 0, !expected.ir.empty());
        if ((made & FrameMapper::kMadeColour) != 0) {
            EXPECT_TRUE(Contents(outColour) == expected.colour);
            EXPECT_EQ(+outColour.width, kDepthW);
        }
        if ((made & FrameMapper::kMadeDepth) != 0) {
            // Not vacuous: the scene covers most of the colour camera's view.
            const size_t filled =
                expected.depth.size() / 2 -
                std::count(reinterpret_cast<const uint16_t*>(expected.depth.data()),
                           reinterpret_cast<const uint16_t*>(expected.depth.data()) +
                               expected.depth.size() / 2,
                           uint16_t{0});
            EXPECT_GT(filled, expected.depth.size() / 4);
            EXPECT_TRUE(Contents(outDepth) == expected.depth);
            EXPECT_EQ(+outDepth.width, w);
            EXPECT_EQ(+outDepth.height, h);
        }
        if ((made & FrameMapper::kMadeIR) != 0) {
            EXPECT_TRUE(Contents(outIr) == expected.ir);
            EXPECT_EQ(+outIr.pixelFormat, c.on.ir8Bit ? +NsPixelGrey8 : +ir.pixelFormat);
        }
        EXPECT_TRUE(s.colour == colourBefore) << "the delivered colour frame was written";
    }
}

INSTANTIATE_TEST_SUITE_P(ColourScales, FrameMapperAtScale,
                         ::testing::Values(Size{640, 360, 1}, Size{1280, 720, 2},
                                           Size{1920, 1080, 3}));

}  // namespace
}  // namespace quorix
