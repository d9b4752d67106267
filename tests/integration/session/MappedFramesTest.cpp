// Mapped frames end to end against the simulator: for each colour size (scale 1, 2, 3)
// and mapper switches, the mapped frames' sizes, formats, indexes and ready bits through
// polling; the delivered colour frame left exactly as decoded; 8-bit mapped IR; output
// rotation and mirror; and a mapped set through the frame callback.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "log/Log.h"
#include "quorix/quorix_api.h"
#include "sim/ColourImage.h"
#include "sim/SimCamera.h"
#include "support/DeviceList.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;

struct ColourSize {
    uint16_t width;
    uint16_t height;
};

// The colour lens record of a size.
std::array<uint8_t, 8> Lens(ColourSize s) {
    return {2,
            1,
            static_cast<uint8_t>(s.width & 0xFF),
            static_cast<uint8_t>(s.width >> 8),
            static_cast<uint8_t>(s.height & 0xFF),
            static_cast<uint8_t>(s.height >> 8),
            30,
            2};
}

class MappedFrames : public ::testing::Test {
protected:
    void SetUp() override {
        log::SetDataHomeForTesting(m_home.Path());
        ASSERT_EQ(Ns2_Initialize(), NsStatusOk);
    }
    void TearDown() override {
        if (m_handle != nullptr) {
            Ns2_CloseDevice(&m_handle);
        }
        EXPECT_EQ(Ns2_Shutdown(), NsStatusOk);
        m_camera.reset();
        log::SetDataHomeForTesting("");
    }

    void Open(const std::string& address, const std::string& serial, ColourSize colour) {
        sim::SimConfig config;
        config.address = address;
        config.serial = serial;
        m_camera = std::make_unique<sim::SimCamera>(config);
        m_camera->UpdateState([&](sim::SimState& s) {
            s.sensors[0].dataMode = 2;  // depth and IR
            const auto lens = Lens(colour);
            std::copy(lens.begin(), lens.end(), s.sensors[0].lens[2].begin());
        });
        ASSERT_EQ(m_camera->Start(), 0);
        const std::string uri = "TK5P:" + serial;
        ASSERT_TRUE(test::WaitFor([&] { return test::IsListed(uri); }, 10s)) << uri;
        ASSERT_EQ(Ns2_OpenDevice(uri.c_str(), &m_handle), NsStatusOk);
    }

    void Switches(bool colourOnDepth, bool depthOnColour, bool irOnColour) {
        ASSERT_EQ(Ns2_SetMapperEnabledDepthToRGB(m_handle, 0, colourOnDepth), NsStatusOk);
        ASSERT_EQ(Ns2_SetMapperEnabledRGBToDepth(m_handle, 0, depthOnColour), NsStatusOk);
        ASSERT_EQ(Ns2_SetMapperEnabledRGBToIR(m_handle, 0, irOnColour), NsStatusOk);
    }

    // Reads until a set holding depth, IR and colour arrives; its ready bits.
    uint32_t ReadFullSet() {
        for (int i = 0; i < 100; ++i) {
            uint32_t ready = 0;
            const uint32_t all = NsFrameReadyDepth | NsFrameReadyIR | NsFrameReadyRGB;
            if (Ns2_ReadNextFrame(m_handle, 0, &ready) == NsStatusOk && (ready & all) == all) {
                return ready;
            }
        }
        ADD_FAILURE() << "no full set in 100 reads";
        return 0;
    }

    test::TempDir m_home;
    std::unique_ptr<sim::SimCamera> m_camera;
    NsDeviceHandle m_handle = nullptr;
};

void ExpectColourAsDecoded(const NsFrame& f) {
    const auto jpeg = sim::MjpegTestImage(f.width, f.height);
    ASSERT_NE(jpeg, nullptr);
    std::vector<uint8_t> direct(static_cast<size_t>(f.width) * f.height * 3);
    tjhandle tj = tjInitDecompress();
    ASSERT_EQ(
        tjDecompress2(tj, jpeg->data(), static_cast<unsigned long>(jpeg->size()), direct.data(),
                      f.width, 0, f.height, f.pixelFormat == NsPixelRGB24 ? TJPF_RGB : TJPF_BGR, 0),
        0);
    tjDestroy(tj);
    ASSERT_EQ(+f.dataLen, direct.size());
    EXPECT_EQ(memcmp(f.pFrameData, direct.data(), direct.size()), 0)
        << "the delivered colour frame was changed by the mapping";
}

// Share of pixels holding a value, of a 16-bit image.
double Filled(const NsFrame& f) {
    const auto* px = static_cast<const uint16_t*>(f.pFrameData);
    size_t n = 0;
    for (size_t i = 0; i < size_t{f.width} * f.height; ++i) {
        n += px[i] != 0;
    }
    return static_cast<double>(n) / (size_t{f.width} * f.height);
}

// The simulator paints each still surface of its scene where its colour camera sees it,
// so colour on depth shows each surface's colour at its depth pixels: the box face red,
// the floor green, the wall blue; the patch without return has no depth and stays black.
void ExpectColoursOnTheirObjects(const NsFrame& onDepth) {
    const auto* px = static_cast<const uint8_t*>(onDepth.pFrameData);
    const bool bgr = onDepth.pixelFormat == NsPixelBGR24;
    auto rgbAt = [&](uint32_t x, uint32_t y) {
        const uint8_t* p = px + (size_t{y} * onDepth.width + x) * 3;
        return std::array<int, 3>{bgr ? p[2] : p[0], p[1], bgr ? p[0] : p[2]};
    };
    for (auto [x, y] : {std::pair{70u, 190u}, std::pair{120u, 240u}, std::pair{170u, 300u}}) {
        const auto c = rgbAt(x, y);
        EXPECT_TRUE(c[0] > 170 && c[1] < 90 && c[2] < 90)
            << "box at " << x << "," << y << ": " << c[0] << " " << c[1] << " " << c[2];
    }
    for (auto [x, y] : {std::pair{100u, 350u}, std::pair{330u, 420u}, std::pair{560u, 380u}}) {
        const auto c = rgbAt(x, y);
        EXPECT_TRUE(c[1] > c[0] + 60 && c[1] > c[2] + 60)
            << "floor at " << x << "," << y << ": " << c[0] << " " << c[1] << " " << c[2];
    }
    for (auto [x, y] : {std::pair{300u, 60u}, std::pair{250u, 120u}, std::pair{520u, 280u}}) {
        const auto c = rgbAt(x, y);
        EXPECT_TRUE(c[2] > 170 && c[2] > c[0] + 60)
            << "wall at " << x << "," << y << ": " << c[0] << " " << c[1] << " " << c[2];
    }
    const auto none = rgbAt(620, 460);
    EXPECT_EQ(none[0] + none[1] + none[2], 0);
}

struct SizeCase {
    ColourSize colour;
    const char* address;
};

class MappedFramesAtSize : public MappedFrames, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(MappedFramesAtSize, EachSwitchBringsItsFrameAtItsSize) {
    const SizeCase& c = GetParam();
    Open(c.address, std::string("QX-MAP-") + std::to_string(c.colour.width), c.colour);
    Switches(true, true, true);
    ASSERT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);
    const uint32_t ready = ReadFullSet();
    const uint32_t mapped = NsFrameReadyMappedRGB | NsFrameReadyMappedDepth | NsFrameReadyMappedIR;
    ASSERT_EQ(ready & mapped, mapped) << std::hex << ready;

    NsFrame depth{}, colour{}, ir{}, onDepth{}, onColour{}, irOnColour{};
    ASSERT_EQ(Ns2_GetFrame(m_handle, 0, DepthFrame, &depth), NsStatusOk);
    ASSERT_EQ(Ns2_GetFrame(m_handle, 0, RGBFrame, &colour), NsStatusOk);
    ASSERT_EQ(Ns2_GetFrame(m_handle, 0, IRFrame, &ir), NsStatusOk);
    ASSERT_EQ(Ns2_GetFrame(m_handle, 0, MappedRGBFrame, &onDepth), NsStatusOk);
    ASSERT_EQ(Ns2_GetFrame(m_handle, 0, MappedDepthFrame, &onColour), NsStatusOk);
    ASSERT_EQ(Ns2_GetFrame(m_handle, 0, MappedIRFrame, &irOnColour), NsStatusOk);
    EXPECT_EQ(+colour.width, c.colour.width);
    ExpectColourAsDecoded(colour);

    EXPECT_EQ(+onDepth.frameType, +MappedRGBFrame);
    EXPECT_EQ(+onDepth.width, +depth.width);
    EXPECT_EQ(+onDepth.height, +depth.height);
    EXPECT_EQ(+onDepth.dataLen, depth.width * depth.height * 3u);
    EXPECT_EQ(+onDepth.pixelFormat, +colour.pixelFormat);
    EXPECT_EQ(+onDepth.frameIndex, +colour.frameIndex);

    for (const NsFrame* f : {&onColour, &irOnColour}) {
        EXPECT_EQ(+f->width, c.colour.width);
        EXPECT_EQ(+f->height, c.colour.height);
        EXPECT_EQ(+f->dataLen, c.colour.width * c.colour.height * 2u);
    }
    EXPECT_EQ(+onColour.frameType, +MappedDepthFrame);
    EXPECT_EQ(+onColour.pixelFormat, +depth.pixelFormat);
    EXPECT_EQ(+onColour.frameIndex, +depth.frameIndex);
    EXPECT_EQ(+onColour.depthRange, +depth.depthRange);
    EXPECT_EQ(+irOnColour.frameType, +MappedIRFrame);
    EXPECT_EQ(+irOnColour.pixelFormat, +ir.pixelFormat);
    EXPECT_EQ(+irOnColour.frameIndex, +ir.frameIndex);
    // The scene fills most of the colour camera's view with depth.
    EXPECT_GT(Filled(onColour), 0.5);
    EXPECT_GT(Filled(irOnColour), 0.5);

    ExpectColoursOnTheirObjects(onDepth);

    // Handed out once per read.
    EXPECT_EQ(Ns2_GetFrame(m_handle, 0, MappedDepthFrame, &onColour), NsStatusBadFrameType);
}

INSTANTIATE_TEST_SUITE_P(ColourScales, MappedFramesAtSize,
                         ::testing::Values(SizeCase{{640, 360}, "127.0.99.2"},
                                           SizeCase{{1280, 720}, "127.0.99.3"},
                                           SizeCase{{1920, 1080}, "127.0.99.4"}));

TEST_F(MappedFrames, OnlyTheSwitchedOnMappingsAreReadyAndFetchable) {
    Open("127.0.99.5", "QX-MAP-SW", ColourSize{640, 360});
    ASSERT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);
    struct Combination {
        bool colourOnDepth, depthOnColour, irOnColour;
        uint32_t mask;
    };
    const Combination combinations[] = {
        {false, false, false, 0},
        {true, false, false, NsFrameReadyMappedRGB},
        {false, true, false, NsFrameReadyMappedDepth},
        {false, false, true, NsFrameReadyMappedIR},
        {false, true, true, NsFrameReadyMappedDepth | NsFrameReadyMappedIR},
    };
    const uint32_t mappedBits =
        NsFrameReadyMappedRGB | NsFrameReadyMappedDepth | NsFrameReadyMappedIR;
    for (const Combination& k : combinations) {
        Switches(k.colourOnDepth, k.depthOnColour, k.irOnColour);
        ReadFullSet();  // a set that may have been mapped under the previous switches
        const uint32_t ready = ReadFullSet();
        EXPECT_EQ(ready & mappedBits, k.mask) << std::hex << ready;
        const std::pair<uint32_t, uint32_t> types[] = {{MappedRGBFrame, NsFrameReadyMappedRGB},
                                                       {MappedDepthFrame, NsFrameReadyMappedDepth},
                                                       {MappedIRFrame, NsFrameReadyMappedIR}};
        for (const auto& [type, bit] : types) {
            NsFrame f{};
            EXPECT_EQ(Ns2_GetFrame(m_handle, 0, type, &f),
                      (k.mask & bit) != 0 ? NsStatusOk : NsStatusBadFrameType)
                << "type " << type << " mask " << k.mask;
        }
    }
    // A mapped frame made ready is not handed out once its switch is off again.
    Switches(true, false, false);
    ReadFullSet();
    ASSERT_NE(ReadFullSet() & NsFrameReadyMappedRGB, 0u);
    Switches(false, false, false);
    NsFrame f{};
    EXPECT_EQ(Ns2_GetFrame(m_handle, 0, MappedRGBFrame, &f), NsStatusBadFrameType);
}

TEST_F(MappedFrames, MappedIrIsEightBitInIrOutputModeTwo) {
    Open("127.0.99.6", "QX-MAP-IR8", ColourSize{1280, 720});
    Switches(false, false, true);
    ASSERT_EQ(Ns2_SetIRPixelFormat(m_handle, 0, 2), NsStatusOk);
    ASSERT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);
    ASSERT_NE(ReadFullSet() & NsFrameReadyMappedIR, 0u);
    NsFrame f{};
    ASSERT_EQ(Ns2_GetFrame(m_handle, 0, MappedIRFrame, &f), NsStatusOk);
    EXPECT_EQ(+f.pixelFormat, +NsPixelGrey8);
    EXPECT_EQ(+f.width, 1280);
    EXPECT_EQ(+f.height, 720);
    EXPECT_EQ(+f.dataLen, 1280u * 720u);
}

// A fetched mapped frame's pixels, and its size.
struct Pixels {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bytesPerPixel = 0;
    std::vector<uint8_t> data;
};

Pixels Fetch(NsDeviceHandle h, uint32_t type, uint32_t bytesPerPixel) {
    NsFrame f{};
    EXPECT_EQ(Ns2_GetFrame(h, 0, type, &f), NsStatusOk) << "type " << type;
    Pixels p{f.width, f.height, bytesPerPixel, {}};
    EXPECT_EQ(+f.dataLen, size_t{f.width} * f.height * bytesPerPixel) << "type " << type;
    if (f.pFrameData != nullptr) {
        const auto* bytes = static_cast<const uint8_t*>(f.pFrameData);
        p.data.assign(bytes, bytes + size_t{f.width} * f.height * bytesPerPixel);
    }
    return p;
}

// Share of the pixels of `turned` that match pixel at(x, y) of `upright`: colour exactly,
// depth within 1 % (both empty counts as a match). The scene's sphere moves between sets,
// so a few per cent differ even when the frames are turned right.
template <class At>
double ShareAsExpected(const Pixels& upright, const Pixels& turned, At at) {
    size_t same = 0;
    const size_t b = upright.bytesPerPixel;
    for (uint32_t y = 0; y < turned.height; ++y) {
        for (uint32_t x = 0; x < turned.width; ++x) {
            const auto [sx, sy] = at(x, y);
            const uint8_t* p = &turned.data[(size_t{y} * turned.width + x) * b];
            const uint8_t* q = &upright.data[(size_t{sy} * upright.width + sx) * b];
            if (b != 2) {
                same += memcmp(p, q, b) == 0;
                continue;
            }
            const int a = p[0] | (p[1] << 8);
            const int c = q[0] | (q[1] << 8);
            same += std::abs(a - c) <= c / 100;
        }
    }
    return static_cast<double>(same) / (size_t{turned.width} * turned.height);
}

// Mapped frames turn and mirror as the others do: a quarter turn clockwise then a
// horizontal mirror transposes them, a half turn then both mirrors gives them back
// unchanged, for the depth on colour and the colour on depth alike.
TEST_F(MappedFrames, OutputRotationAndMirrorApplyToMappedFrames) {
    Open("127.0.104.1", "QX-MAP-ROT", ColourSize{640, 360});
    Switches(true, true, false);
    ASSERT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);
    const uint32_t both = NsFrameReadyMappedRGB | NsFrameReadyMappedDepth;
    ASSERT_EQ(ReadFullSet() & both, both);
    const Pixels depthUpright = Fetch(m_handle, MappedDepthFrame, 2);
    const Pixels colourUpright = Fetch(m_handle, MappedRGBFrame, 3);
    ASSERT_EQ(depthUpright.width, 640u);
    ASSERT_EQ(depthUpright.height, 360u);
    ASSERT_EQ(colourUpright.height, 480u);

    ASSERT_EQ(Ns2_SetImageRotation(m_handle, 0, 0), NsStatusOk);  // quarter turn clockwise
    ASSERT_EQ(Ns2_SetImageMirror(m_handle, 0, 1), NsStatusOk);    // horizontal
    ASSERT_EQ(ReadFullSet() & both, both);
    const Pixels depthTurned = Fetch(m_handle, MappedDepthFrame, 2);
    const Pixels colourTurned = Fetch(m_handle, MappedRGBFrame, 3);
    EXPECT_EQ(depthTurned.width, 360u);
    EXPECT_EQ(depthTurned.height, 640u);
    EXPECT_EQ(colourTurned.width, 480u);
    EXPECT_EQ(colourTurned.height, 640u);
    const auto transposed = [](uint32_t x, uint32_t y) { return std::pair{y, x}; };
    if (depthTurned.width == 360 && colourTurned.width == 480) {
        EXPECT_GT(ShareAsExpected(depthUpright, depthTurned, transposed), 0.9);
        EXPECT_GT(ShareAsExpected(colourUpright, colourTurned, transposed), 0.9);
    }

    ASSERT_EQ(Ns2_SetImageRotation(m_handle, 0, 1), NsStatusOk);  // half turn
    ASSERT_EQ(Ns2_SetImageMirror(m_handle, 0, 3), NsStatusOk);    // both ways
    ASSERT_EQ(ReadFullSet() & both, both);
    const Pixels depthBack = Fetch(m_handle, MappedDepthFrame, 2);
    const Pixels colourBack = Fetch(m_handle, MappedRGBFrame, 3);
    ASSERT_EQ(depthBack.width, 640u);
    ASSERT_EQ(colourBack.width, 640u);
    const auto same = [](uint32_t x, uint32_t y) { return std::pair{x, y}; };
    EXPECT_GT(ShareAsExpected(depthUpright, depthBack, same), 0.9);
    EXPECT_GT(ShareAsExpected(colourUpright, colourBack, same), 0.9);
    // A half turn alone is not the identity: what matched above was turned back.
    ASSERT_EQ(Ns2_SetImageMirror(m_handle, 0, 0), NsStatusOk);
    ASSERT_EQ(ReadFullSet() & both, both);
    EXPECT_LT(ShareAsExpected(depthUpright, Fetch(m_handle, MappedDepthFrame, 2), same), 0.5);
}

struct Delivered {
    std::mutex lock;
    std::condition_variable changed;
    bool seen = false;
    NsFrame mappedColour{}, mappedDepth{}, mappedIr{}, depth{};
    std::vector<uint16_t> mappedDepthPixels;
} g_delivered;

void OnFrames(const NsFrameSet* set) {
    std::lock_guard guard(g_delivered.lock);
    if (g_delivered.seen || !set->mappedColour.present || !set->mappedDepth.present ||
        !set->mappedIr.present || !set->depth.present) {
        return;
    }
    g_delivered.mappedColour = set->mappedColour.frame;
    g_delivered.mappedDepth = set->mappedDepth.frame;
    g_delivered.mappedIr = set->mappedIr.frame;
    g_delivered.depth = set->depth.frame;
    const auto* px = static_cast<const uint16_t*>(set->mappedDepth.frame.pFrameData);
    g_delivered.mappedDepthPixels.assign(
        px, px + size_t{set->mappedDepth.frame.width} * set->mappedDepth.frame.height);
    g_delivered.seen = true;
    g_delivered.changed.notify_all();
}

TEST_F(MappedFrames, TheCallbackGetsTheMappedSlots) {
    Open("127.0.99.7", "QX-MAP-CB", ColourSize{1920, 1080});
    Switches(true, true, true);
    ASSERT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);
    ASSERT_EQ(Ns2_RegisterNotify(m_handle, 0, OnFrames), NsStatusOk);
    {
        std::unique_lock guard(g_delivered.lock);
        ASSERT_TRUE(g_delivered.changed.wait_for(guard, 20s, [] { return g_delivered.seen; }));
    }
    ASSERT_EQ(Ns2_UnRegisterNotify(m_handle, 0), NsStatusOk);
    std::lock_guard guard(g_delivered.lock);
    EXPECT_EQ(+g_delivered.mappedColour.width, +g_delivered.depth.width);
    EXPECT_EQ(+g_delivered.mappedColour.dataLen,
              g_delivered.depth.width * g_delivered.depth.height * 3u);
    EXPECT_EQ(+g_delivered.mappedDepth.width, 1920);
    EXPECT_EQ(+g_delivered.mappedDepth.height, 1080);
    EXPECT_EQ(+g_delivered.mappedIr.width, 1920);
    EXPECT_EQ(+g_delivered.mappedDepth.frameIndex, +g_delivered.depth.frameIndex);
    size_t filled = 0;
    for (uint16_t v : g_delivered.mappedDepthPixels) {
        filled += v != 0;
    }
    EXPECT_GT(filled, g_delivered.mappedDepthPixels.size() / 2);
}

}  // namespace
}  // namespace quorix
