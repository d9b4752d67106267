// The simulated camera's frame content: pixel packings against hand-computed bytes and the
// host's unpacking, the scene's landmarks in every depth range, whole frames decoded with
// the host's tables, sub-packet framing, status and parameter blocks, and colour.
#include "sim/FrameBuilder.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cmath>
#include <cstring>

#include "FrameCheck.h"
#include "imaging/DepthDecodeTable.h"
#include "imgproc/ColourConvert.h"
#include "sim/ColourImage.h"
#include "sim/CommandHandler.h"
#include "sim/RawPacking.h"

namespace quorix::sim {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kPixels = size_t{kSceneWidth} * kSceneHeight;

struct HostTable {
    std::vector<uint16_t> entries = std::vector<uint16_t>(kDepthTableEntries);
    DepthLut lut;
};

HostTable TableOf(const SensorState& sensor, uint32_t range) {
    const RangeLimits l = LimitsOfRange(sensor, range);
    HostTable table;
    EXPECT_TRUE(BuildDepthDecodeTable({l.depthMax, l.effectDepthMax, l.effectDepthMin, l.offset},
                                      table.entries.data(), &table.lut));
    return table;
}

SensorState DefaultSensor() {
    return MakeDefaultState(561, "127.0.0.2", "QX", 1).sensors[0];
}

TEST(RawPacking, PacksPixelsAsTheHostUnpacksThem) {
    struct Case {
        PixelPacking packing;
        std::vector<uint16_t> values;
        Bytes bytes;
    };
    const Case cases[] = {
        {PixelPacking::kRaw12, {0xABC, 0x123}, {0xAB, 0x12, 0x3C}},
        {PixelPacking::kRaw12, {0xFFF, 0x001}, {0xFF, 0x00, 0x1F}},
        {PixelPacking::kRaw12, {0xF123, 0x0ABC}, {0x12, 0xAB, 0xC3}},  // bits 12+ dropped
        {PixelPacking::kMsb12, {0xABC, 0x123}, {0xAB, 0xC1, 0x23}},
        {PixelPacking::kMsb12, {0x001, 0xFFF}, {0x00, 0x1F, 0xFF}},
        {PixelPacking::kY16, {0xABC, 0xF123}, {0xBC, 0x0A, 0x23, 0x01}},
    };
    for (const Case& c : cases) {
        Bytes out(PackedBytes(c.packing, c.values.size()));
        PackPixels(c.packing, c.values.data(), c.values.size(), out.data());
        EXPECT_EQ(out, c.bytes) << static_cast<int>(c.packing) << " " << c.values[0];
    }
    // A whole row of every 12-bit pattern comes back from the host's decoder unchanged.
    const std::pair<PixelPacking, RawPacking> pairs[] = {{PixelPacking::kRaw12, RawPacking::kRaw12},
                                                         {PixelPacking::kMsb12, RawPacking::kMsb12},
                                                         {PixelPacking::kY16, RawPacking::kY16}};
    std::vector<uint16_t> values(4096);
    for (size_t i = 0; i < values.size(); ++i) {
        values[i] = static_cast<uint16_t>((i * 2654435761u) >> 20 & 0xFFF);
    }
    for (const auto& [ours, host] : pairs) {
        Bytes packed(PackedBytes(ours, values.size()));
        PackPixels(ours, values.data(), values.size(), packed.data());
        std::vector<uint16_t> back(values.size());
        UnpackPixels(host, packed.data(), nullptr, values.size(), nullptr, back.data());
        EXPECT_EQ(back, values) << static_cast<int>(ours);
    }
}

TEST(Scene, LandmarksHoldTheirCodesAndStayMeaningfulInEveryRange) {
    struct Landmark {
        uint32_t x, y, frame;
        uint16_t code;
    };
    const Landmark landmarks[] = {
        {610, 20, 0, 4095},   // beyond every range
        {610, 460, 0, 0},     // no return
        {300, 479, 0, 700},   // nearest floor row
        {300, 320, 0, 2131},  // farthest floor row
        {300, 10, 0, 2450},   // wall
        {100, 200, 0, 1560},  // box face
        {260, 220, 0, 1480},  // sphere centre at frame 0
        {280, 220, 5, 1480},  // ... which moves 4 pixels a frame
        {260, 220, 5, 1498},  // sqrt(70^2 - 20^2) = 67 -> 1900 - 6 * 67
    };
    for (const Landmark& l : landmarks) {
        EXPECT_EQ(RawDepthCode(l.x, l.y, l.frame), l.code) << l.x << "," << l.y << "@" << l.frame;
    }
    EXPECT_EQ(RawIrCode(610, 20, 0), 4095);
    EXPECT_EQ(RawIrCode(41, 3, 0), 400 + 1600 + (123 + 15) % 256);

    std::vector<uint16_t> row(kSceneWidth);
    FillDepthRow(0, 0xA5C3F00Fu, row.data());
    EXPECT_EQ(ReadFrameStamp(row.data(), kStampDepthOne), 0xA5C3F00Fu);
    FillIrRow(0, 77, row.data());
    EXPECT_EQ(ReadFrameStamp(row.data(), kStampIrOne), 77u);

    // Every surface decodes to a valid depth in all nine ranges, and the stamp's two codes
    // stay apart, so a decoded frame still shows its index.
    const SensorState sensor = DefaultSensor();
    for (uint32_t range = 0; range < 9; ++range) {
        const HostTable t = TableOf(sensor, range);
        for (uint16_t code : {700, 2131, 2300, 2619, 1500, 1659, 1480, 1900, 1024, 3072}) {
            EXPECT_GT(t.entries[code], 0) << "range " << range << " code " << code;
            EXPECT_LT(t.entries[code], kDepthBeyondRange) << "range " << range << " code " << code;
        }
        EXPECT_EQ(t.entries[4095], kDepthBeyondRange);
        EXPECT_EQ(t.entries[0], 0);
        EXPECT_NE(t.entries[kStampDepthOne], t.entries[kStampDepthZero]);
    }
}

// Unpacks the depth and IR images of a frame the way the host does.
void DecodeTof(const Bytes& frame, TofPacking packing, const DepthLut& lut,
               std::vector<uint16_t>& depth, std::vector<uint16_t>& ir) {
    const uint8_t* payload = frame.data() + kFrameHeaderBytes;
    const auto packets = test::WholeSubPackets(payload, frame.size() - kFrameHeaderBytes);
    ASSERT_EQ(packets.size(), packing == TofPacking::kRaw12Separate ? 2u : 1u);
    const uint8_t* first = payload + packets[0].offset;
    switch (packing) {
        case TofPacking::kRaw12:
            UnpackPixels(RawPacking::kRaw12, first, nullptr, kPixels, &lut, depth.data());
            UnpackPixels(RawPacking::kRaw12, first + kPixels * 3 / 2, nullptr, kPixels, nullptr,
                         ir.data());
            break;
        case TofPacking::kRaw12Separate:
            UnpackPixels(RawPacking::kRaw12, first, nullptr, kPixels, &lut, depth.data());
            UnpackPixels(RawPacking::kRaw12, payload + packets[1].offset, nullptr, kPixels, nullptr,
                         ir.data());
            break;
        case TofPacking::kMsb12:
            DecodeRowSplit(first, RawPacking::kMsb12, kSceneHeight, 1920, lut, depth.data(),
                           ir.data());
            break;
        case TofPacking::kY16:
            DecodeRowSplit(first, RawPacking::kY16, kSceneHeight, 2560, lut, depth.data(),
                           ir.data());
            break;
    }
}

TEST(FrameBuilder, EveryDecodedPixelIsPredictedByTheSceneAndTheHostTable) {
    const SensorState sensor = DefaultSensor();
    const HostTable table = TableOf(sensor, 4);
    for (TofPacking packing :
         {TofPacking::kRaw12, TofPacking::kRaw12Separate, TofPacking::kMsb12, TofPacking::kY16}) {
        Capture capture;
        capture.settings.packing = packing;
        capture.settings.colour = ColourFormat::kNone;
        capture.dataMode = 2;
        capture.depthRange = 4;
        FrameBuilder builder;
        builder.Build(capture, 0, nullptr, nullptr);
        // The second build only repacks the rows that move; the rest must still be right.
        const Bytes frame = builder.Build(capture, 37, nullptr, nullptr);
        std::vector<uint16_t> depth(kPixels), ir(kPixels);
        DecodeTof(frame, packing, table.lut, depth, ir);
        size_t wrongDepth = 0, wrongIr = 0;
        for (uint32_t y = 0; y < kSceneHeight; ++y) {
            for (uint32_t x = 0; x < kSceneWidth; ++x) {
                const size_t i = size_t{y} * kSceneWidth + x;
                wrongDepth += depth[i] != table.entries[RawDepthCode(x, y, 37)];
                wrongIr += ir[i] != RawIrCode(x, y, 37);
            }
        }
        EXPECT_EQ(wrongDepth, 0u) << static_cast<int>(packing);
        EXPECT_EQ(wrongIr, 0u) << static_cast<int>(packing);
    }
}

TEST(FrameBuilder, DataModeAndPackingChooseTheSubPackets) {
    struct Case {
        uint8_t dataMode;
        TofPacking packing;
        std::vector<std::pair<uint8_t, size_t>> tof;  // type, length
    };
    const Case cases[] = {
        {0, TofPacking::kRaw12, {{0x21, 460800}}},
        {1, TofPacking::kRaw12, {{0x22, 460800}}},
        {2, TofPacking::kRaw12, {{0x23, 921600}}},
        {2, TofPacking::kRaw12Separate, {{0x21, 460800}, {0x22, 460800}}},
        {10, TofPacking::kMsb12, {{0x53, 921600}}},
        {0, TofPacking::kY16, {{0x61, 614400}}},
        {2, TofPacking::kY16, {{0x63, 1228800}}},
        {11, TofPacking::kMsb12, {{0x5C, 460800}}},
        {12, TofPacking::kY16, {{0x6D, 614400}}},
        {13, TofPacking::kRaw12Separate, {{0x6F, 460800}, {0x70, 460800}}},
    };
    DeviceStatus status;
    status.depthRange = 6;
    const Bytes push{1, 2, 3};
    for (const Case& c : cases) {
        Capture capture;
        capture.settings.packing = c.packing;
        capture.dataMode = c.dataMode;
        capture.depthRange = 5;
        capture.wdrMode = {2, 3, 1, 7, 1, 0, 0};
        FrameBuilder builder;
        const Bytes frame = builder.Build(capture, 1, &status, &push);
        ASSERT_GT(frame.size(), kFrameHeaderBytes);
        EXPECT_EQ(GetU32(frame.data()), kDataFrameType);
        EXPECT_EQ(GetU32(frame.data() + 4), frame.size() - kFrameHeaderBytes);
        const uint8_t* payload = frame.data() + kFrameHeaderBytes;
        const auto packets = test::WholeSubPackets(payload, frame.size() - kFrameHeaderBytes);
        ASSERT_EQ(packets.size(), c.tof.size() + 3) << int{c.dataMode};
        // WDR frames name their range (frame 1 of 3, 7 is range 7); the others the current one.
        const uint8_t range = c.dataMode >= 11 ? 7 : 5;
        for (size_t i = 0; i < c.tof.size(); ++i) {
            EXPECT_EQ(packets[i].type, c.tof[i].first) << int{c.dataMode};
            EXPECT_EQ(packets[i].length, c.tof[i].second);
            EXPECT_EQ(packets[i].range, range);
        }
        const SubPacket& colour = packets[c.tof.size()];
        EXPECT_EQ(colour.type, '3');
        float exposure = 0;
        std::memcpy(&exposure, payload + colour.offset + colour.length - 4, 4);
        EXPECT_EQ(exposure, capture.settings.exposure);
        const SubPacket& statusBlock = packets[c.tof.size() + 1];
        EXPECT_EQ(statusBlock.type, kStatusType);
        EXPECT_EQ(statusBlock.offset - (colour.offset + colour.length), kStatusHeaderBytes);
        EXPECT_EQ(statusBlock.length, kDeviceStatusBytes);
        EXPECT_EQ(payload[statusBlock.offset + 3], 6);
        const SubPacket& pushBlock = packets.back();
        EXPECT_EQ(pushBlock.type, kPushType);
        EXPECT_EQ(Bytes(payload + pushBlock.offset, payload + pushBlock.offset + 3), push);
    }
    // A length running past the end is reported.
    const Bytes cut{0x21, 0x10, 0, 0, 0, 1, 2};
    bool whole = true;
    EXPECT_TRUE(ListSubPackets(cut.data(), cut.size(), &whole).empty());
    EXPECT_FALSE(whole);
}

TEST(FrameBuilder, WdrFramesTakeTheRangesInTurn) {
    Capture capture;
    capture.dataMode = 13;
    capture.depthRange = 2;
    capture.wdrMode = {2, 0, 1, 3, 2, 8, 5};  // two ranges: 0 once, 3 twice
    std::vector<uint8_t> seen;
    for (uint32_t k = 0; k < 6; ++k) {
        seen.push_back(DepthRangeOfFrame(capture, k));
    }
    EXPECT_EQ(seen, (std::vector<uint8_t>{0, 3, 3, 0, 3, 3}));
    capture.wdrMode = {3, 1, 1, 4, 0, 7, 2};
    EXPECT_EQ(DepthRangeOfFrame(capture, 2), 7);
    capture.wdrMode = {2, 1, 0, 4, 0, 0, 0};  // no counts: the current range
    EXPECT_EQ(DepthRangeOfFrame(capture, 3), 2);
}

TEST(FrameBuilder, StatusBlockEchoesWhatTheCommandsSet) {
    SimState state = MakeDefaultState(561, "127.0.0.2", "QX", 1);
    PendingReads pending;
    const std::pair<uint8_t, Bytes> sets[] = {
        {0x02, {0x01, 75, 0}},                          // threshold 7.5
        {0x09, {4}},                                    // depth range 4
        {0x0A, {0xE8, 0x03, 1, 1, 0}},                  // pulse count 1000, range 4
        {0x05, {0x11, 0x2C, 0x01}},                     // GMM gain 300
        {0x05, {0x10, 0x01}},                           // IRS2
        {0x02, {0x08, 1}},                              // slave mode
        {0x12, {0x20, 0, 1, 0, 0}},                     // low power
        {0x15, {2, 1, 0x00, 0x05, 0xD0, 0x02, 30, 2}},  // colour lens 1280x720
        {0x02, {0x0A, 3, 1, 2, 4, 3, 7, 1}},            // WDR mode
        {0x07, {0x0D, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0, 0}},  // data mode 13
    };
    for (const auto& [command, payload] : sets) {
        HandleCommand(state, 0, pending, command, payload.data(), payload.size());
    }
    // clang-format off
    const Bytes expected{
        0x20, 1, 13, 4, 1, 3, 1, 2, 4, 3, 7, 1, 0, 0, 0, 0,   // flags .. WDR, sub-mode
        9, 0, 0, 0, 5, 0xE8, 0x03, 0x2C, 0x01, 75, 0,         // counter, n, pulse, gain, threshold
        0x00, 0x05, 0xD0, 0x02, 0};                           // colour size, reserved
    // clang-format on
    EXPECT_EQ(EncodeDeviceStatus(StatusOf(state.sensors[0], 9)), expected);
    const Capture capture = CaptureOf(state, 0);
    EXPECT_EQ(capture.colourWidth, 1280);
    EXPECT_EQ(capture.colourHeight, 720);

    // Bit 5 follows low power; the other bits are the work mode.
    const std::pair<std::array<uint8_t, 5>, uint8_t> modes[] = {
        {{0x20, 0, 1, 1, 1}, 0x00}, {{0x03, 0, 0, 0, 0}, 0x03}, {{0x24, 0, 0, 0, 0}, 0x04}};
    for (const auto& [work, flags] : modes) {
        state.sensors[0].workMode = work;
        EXPECT_EQ(StatusOf(state.sensors[0], 0).statusFlags, flags) << int{work[0]};
    }
}

TEST(FrameBuilder, PushedBlockCarriesTheSensorsParameters) {
    SimState state = MakeDefaultState(561, "127.0.0.2", "QXPUSH", 1);
    state.sensors[0].rangeOffsets[1][5] = 12;
    const Bytes block = EncodeInitParams(PushOf(state, 0));
    InitParamBlocks blocks;
    ASSERT_EQ(DecodeInitParams(block.data(), block.size(), blocks), 0);
    PushedParameters p;
    ASSERT_TRUE(ReadPushedParameters(blocks, p));
    EXPECT_EQ(p.calibration[45], 0.25);  // the translation's last value
    EXPECT_EQ(p.measuringRanges[1].depthMaxNear, 5754);
    EXPECT_EQ(GetU16(p.depthOffsets[1].data() + 11), 12);  // the mid offset
    EXPECT_EQ(p.dataModeList[7], 13);
    EXPECT_EQ(p.wdr.range2, 3u);
    EXPECT_EQ(p.threshold, 5);
    EXPECT_EQ(p.colourWidth, 640);
    EXPECT_EQ(p.serialNumber, "QXPUSH");
    EXPECT_EQ(p.firmwareVersion, "20240115_V45");
}

// Frame 0 of `capture` (depth and colour, nothing else) and its colour sub-packet.
std::pair<Bytes, SubPacket> ColourFrame(const Capture& capture) {
    FrameBuilder builder;
    Bytes frame = builder.Build(capture, 0, nullptr, nullptr);
    const auto packets =
        test::WholeSubPackets(frame.data() + kFrameHeaderBytes, frame.size() - kFrameHeaderBytes);
    EXPECT_EQ(packets.size(), 2u);
    return {std::move(frame), packets.empty() ? SubPacket{} : packets.back()};
}

TEST(ColourImage, MjpegDecodesBackToTheTestImageAtEverySize) {
    struct Case {
        uint16_t width, height;
        uint8_t type;
    };
    const Case cases[] = {
        {1920, 1080, '1'}, {1280, 720, '2'}, {640, 360, '3'}, {640, 480, '4'}, {800, 600, 0x25}};
    tjhandle handle = tjInitDecompress();
    ASSERT_NE(handle, nullptr);
    for (const Case& c : cases) {
        Capture capture;
        capture.colourWidth = c.width;
        capture.colourHeight = c.height;
        const auto [frame, colour] = ColourFrame(capture);
        const uint8_t* payload = frame.data() + kFrameHeaderBytes;
        EXPECT_EQ(colour.type, c.type);
        const auto jpeg = MjpegTestImage(c.width, c.height);
        ASSERT_TRUE(jpeg);
        EXPECT_EQ(jpeg, MjpegTestImage(c.width, c.height));  // encoded once
        EXPECT_EQ(colour.length, jpeg->size() + (c.type == 0x25 ? 0 : 4));

        // The host hands the whole payload, exposure included, to the decoder.
        int width = 0, height = 0, subsampling = 0, colourspace = 0;
        ASSERT_EQ(tjDecompressHeader3(handle, payload + colour.offset, colour.length, &width,
                                      &height, &subsampling, &colourspace),
                  0);
        ASSERT_EQ(width, c.width);
        ASSERT_EQ(height, c.height);
        Bytes rgb(size_t{c.width} * c.height * 3);
        ASSERT_EQ(tjDecompress2(handle, payload + colour.offset, colour.length, rgb.data(), width,
                                0, height, TJPF_RGB, 0),
                  0);
        const Bytes expected = TestImage(c.width, c.height);
        double total = 0;
        int worst = 0;
        for (size_t i = 0; i < rgb.size(); ++i) {
            const int error = std::abs(int{rgb[i]} - int{expected[i]});
            total += error;
            worst = std::max(worst, error);
        }
        EXPECT_LT(total / rgb.size(), 2.0) << c.width;
        EXPECT_LT(worst, 96) << c.width;  // chroma subsampling at the block edges
    }
    tjDestroy(handle);
}

TEST(ColourImage, Nv12CarriesTheTestImageAndTheExposure) {
    Capture capture;
    capture.settings.colour = ColourFormat::kNv12;
    capture.settings.exposure = 0.25f;
    const auto [frame, colour] = ColourFrame(capture);
    const uint8_t* payload = frame.data() + kFrameHeaderBytes;
    EXPECT_EQ(colour.type, '5');
    ASSERT_EQ(colour.length, kNv12Bytes);
    float exposure = 0;
    std::memcpy(&exposure, payload + colour.offset + kNv12Bytes - 4, 4);
    EXPECT_EQ(exposure, 0.25f);
    // The middle of each block converts back to its colour.
    const uint8_t* nv12 = payload + colour.offset;
    for (uint32_t x : {120u, 280u, 440u, 600u}) {
        const uint32_t y = 180;
        uint8_t rgb[3];
        const uint8_t* uv = nv12 + kNv12Width * kNv12Height + (y / 2) * kNv12Width + (x & ~1u);
        colour::YuvToRgbPixel(nv12[y * kNv12Width + x], uv[0], uv[1], rgb, false);
        uint8_t expected[3];
        TestImagePixel(x, y, kNv12Width, kNv12Height, expected);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(rgb[k], expected[k], 3) << x << " channel " << k;
        }
    }
}

}  // namespace
}  // namespace quorix::sim
