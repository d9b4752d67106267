// The simulated camera's frame content: its pixel packings against the host's unpacking,
// its ToF sub-packets against the host's decoder by type, the scene in every depth range,
// the ToF layouts the end-to-end tests do not stream, sub-packet framing, the WDR range
// cycle, status fields, the parameter block, and colour.
#include "sim/FrameBuilder.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "FrameCheck.h"
#include "imaging/DepthDecodeTable.h"
#include "imaging/TofDecode.h"
#include "imgproc/ColourConvert.h"
#include "sim/ColourImage.h"
#include "sim/Noise.h"
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

// Pixels of a decoded scene image of capture `index` that differ from the scene.
size_t WrongDepth(const uint16_t* depth, const uint16_t* table, uint32_t index) {
    size_t wrong = 0;
    for (uint32_t y = 0; y < kSceneHeight; ++y) {
        for (uint32_t x = 0; x < kSceneWidth; ++x) {
            wrong += depth[size_t{y} * kSceneWidth + x] != table[RawDepthCode(x, y, index)];
        }
    }
    return wrong;
}
size_t WrongIr(const uint16_t* ir, uint32_t index) {
    size_t wrong = 0;
    for (uint32_t y = 0; y < kSceneHeight; ++y) {
        for (uint32_t x = 0; x < kSceneWidth; ++x) {
            wrong += ir[size_t{y} * kSceneWidth + x] != RawIrCode(x, y, index);
        }
    }
    return wrong;
}
const uint16_t* Pixels(const Frame& frame) {
    return reinterpret_cast<const uint16_t*>(frame.pFrameData);
}

// The sub-packets of a built frame.
std::vector<SubPacket> PacketsOf(const Bytes& frame) {
    return test::WholeSubPackets(frame.data() + kFrameHeaderBytes,
                                 frame.size() - kFrameHeaderBytes);
}

TEST(RawPacking, PacksPixelsAsTheHostUnpacksThem) {
    // Bits above 11 are dropped.
    const std::tuple<PixelPacking, std::vector<uint16_t>, Bytes> cases[] = {
        {PixelPacking::kRaw12, {0xF123, 0x0ABC}, {0x12, 0xAB, 0xC3}},
        {PixelPacking::kMsb12, {0xABC, 0xF123}, {0xAB, 0xC1, 0x23}},
        {PixelPacking::kY16, {0xABC, 0xF123}, {0xBC, 0x0A, 0x23, 0x01}},
    };
    for (const auto& [packing, values, bytes] : cases) {
        Bytes out(PackedBytes(packing, values.size()));
        PackPixels(packing, values.data(), values.size(), out.data());
        EXPECT_EQ(out, bytes) << static_cast<int>(packing);
    }
    // Every 12-bit value comes back from the host's decoder unchanged.
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

TEST(Scene, EverySurfaceDecodesToADepthInEveryRange) {
    EXPECT_EQ(RawDepthCode(610, 20, 0), 4095);                        // beyond every range
    EXPECT_EQ(RawDepthCode(610, 460, 0), 0);                          // no return
    EXPECT_NE(RawDepthCode(260, 220, 0), RawDepthCode(260, 220, 5));  // the sphere moves
    std::vector<uint16_t> row(kSceneWidth);
    FillDepthRow(0, 0xA5C3F00Fu, row.data());
    EXPECT_EQ(ReadFrameStamp(row.data(), kStampDepthOne), 0xA5C3F00Fu);
    FillIrRow(0, 77, row.data());
    EXPECT_EQ(ReadFrameStamp(row.data(), kStampIrOne), 77u);

    // Floor rows, wall, box face, sphere and the stamp's codes: valid depths, and the stamp's
    // two codes stay apart, so a decoded frame still shows its index.
    const SensorState sensor = DefaultSensor();
    for (uint32_t range = 0; range < 9; ++range) {
        const HostTable t = TableOf(sensor, range);
        for (uint16_t code : {700, 2131, 2450, 1560, 1480, 1900, 1024, 3072}) {
            EXPECT_GT(t.entries[code], 0) << "range " << range << " code " << code;
            EXPECT_LT(t.entries[code], kDepthBeyondRange) << "range " << range << " code " << code;
        }
        EXPECT_EQ(t.entries[4095], kDepthBeyondRange);
        EXPECT_EQ(t.entries[0], 0);
        EXPECT_NE(t.entries[kStampDepthOne], t.entries[kStampDepthZero]);
    }
}

// The default packing is checked end to end; the others decode here with the host's
// unpacking, after a second build that repacks only the rows that move.
TEST(FrameBuilder, EveryOtherPackingDecodesToTheScene) {
    const HostTable table = TableOf(DefaultSensor(), 4);
    for (TofPacking packing : {TofPacking::kRaw12Separate, TofPacking::kMsb12, TofPacking::kY16}) {
        Capture capture;
        capture.settings.packing = packing;
        capture.settings.colour = ColourFormat::kNone;
        capture.dataMode = 2;
        capture.depthRange = 4;
        FrameBuilder builder;
        builder.Build(capture, 0, nullptr, nullptr);
        const Bytes frame = builder.Build(capture, 37, nullptr, nullptr);
        const auto packets = PacketsOf(frame);
        ASSERT_FALSE(packets.empty());
        const uint8_t* payload = frame.data() + kFrameHeaderBytes;
        std::vector<uint16_t> depth(kPixels), ir(kPixels);
        if (packing == TofPacking::kRaw12Separate) {
            ASSERT_EQ(packets.size(), 2u);
            UnpackPixels(RawPacking::kRaw12, payload + packets[0].offset, nullptr, kPixels,
                         &table.lut, depth.data());
            UnpackPixels(RawPacking::kRaw12, payload + packets[1].offset, nullptr, kPixels, nullptr,
                         ir.data());
        } else {
            const RawPacking host =
                packing == TofPacking::kMsb12 ? RawPacking::kMsb12 : RawPacking::kY16;
            DecodeRowSplit(payload + packets[0].offset, host, kSceneHeight,
                           static_cast<uint32_t>(packets[0].length / kSceneHeight), table.lut,
                           depth.data(), ir.data());
        }
        EXPECT_EQ(WrongDepth(depth.data(), table.entries.data(), 37), 0u)
            << static_cast<int>(packing);
        EXPECT_EQ(WrongIr(ir.data(), 37), 0u) << static_cast<int>(packing);
    }
}

// With noise the images are the scene with that capture's noise, the same for the same
// seed; the frame stamp survives; without noise again every row is the scene once more.
TEST(FrameBuilder, NoiseIsTheCapturesOwnAndGoesAwayWhenTurnedOff) {
    Capture capture;
    capture.settings.packing = TofPacking::kRaw12Separate;
    capture.settings.colour = ColourFormat::kNone;
    capture.settings.noise.enabled = true;
    capture.settings.noise.seed = 11;
    capture.dataMode = 2;
    FrameBuilder builder;
    const auto decode = [&](const Bytes& frame, std::vector<uint16_t>& codes,
                            std::vector<uint16_t>& ir) {
        const auto packets = PacketsOf(frame);
        ASSERT_EQ(packets.size(), 2u);
        const uint8_t* payload = frame.data() + kFrameHeaderBytes;
        UnpackPixels(RawPacking::kRaw12, payload + packets[0].offset, nullptr, kPixels, nullptr,
                     codes.data());
        UnpackPixels(RawPacking::kRaw12, payload + packets[1].offset, nullptr, kPixels, nullptr,
                     ir.data());
    };
    std::vector<uint16_t> codes(kPixels), ir(kPixels), want(kPixels), wantIr(kPixels);
    decode(builder.Build(capture, 5, nullptr, nullptr), codes, ir);
    const auto clean = SceneDepthCodes(5);
    const auto cleanIr = SceneIrCodes(5);
    AddDepthNoise(clean.data(), want.data(), kSceneWidth, kSceneHeight, 5, capture.settings.noise);
    AddIrNoise(cleanIr.data(), wantIr.data(), kSceneWidth, kSceneHeight, 5, capture.settings.noise);
    EXPECT_EQ(codes, want);
    EXPECT_EQ(ir, wantIr);
    EXPECT_NE(codes, clean);
    EXPECT_EQ(ReadFrameStamp(codes.data(), kStampDepthOne), 5u);
    FrameBuilder again;
    std::vector<uint16_t> repeat(kPixels), repeatIr(kPixels);
    decode(again.Build(capture, 5, nullptr, nullptr), repeat, repeatIr);
    EXPECT_EQ(repeat, codes);
    capture.settings.noise.seed = 12;
    decode(again.Build(capture, 5, nullptr, nullptr), repeat, repeatIr);
    EXPECT_NE(repeat, codes);
    capture.settings.noise.enabled = false;
    Bytes frame = builder.Build(capture, 6, nullptr, nullptr);
    decode(frame, codes, ir);
    EXPECT_EQ(codes, SceneDepthCodes(6));
    EXPECT_EQ(ir, SceneIrCodes(6));
}

// The noise as the filters' tests rely on it: its spread on flat surfaces follows the
// model, dropouts are about their share, flying pixels only at depth steps, and the
// patches beyond range and without return stay exact.
TEST(Noise, FollowsItsModel) {
    NoiseSettings n;
    n.enabled = true;
    const auto clean = SceneDepthCodes(0);
    std::vector<uint16_t> noisy(kPixels);
    AddDepthNoise(clean.data(), noisy.data(), kSceneWidth, kSceneHeight, 0, n);
    const auto flat = FlatMask(0);
    const auto steps = StepMask(clean, 1);
    double sumRatio = 0;
    size_t measured = 0, dropped = 0, total = 0, farOff = 0;
    for (size_t i = 0; i < kPixels; ++i) {
        const Surface s = SurfaceAt(static_cast<uint32_t>(i % kSceneWidth),
                                    static_cast<uint32_t>(i / kSceneWidth));
        if (i >= kSceneWidth && (s == Surface::kBeyond || s == Surface::kNoReturn)) {
            EXPECT_EQ(noisy[i], clean[i]);
        }
        if (flat[i] == 0) {
            continue;
        }
        ++total;
        if (noisy[i] == 0) {
            ++dropped;
            continue;
        }
        const double sigma = n.sigmaCodes + n.sigmaRelative * clean[i];
        const double z = (noisy[i] - clean[i]) / sigma;
        sumRatio += z * z;
        ++measured;
        farOff += std::fabs(z) > 6 && steps[i] == 0 ? 1 : 0;
    }
    const double spread = std::sqrt(sumRatio / static_cast<double>(measured));
    EXPECT_NEAR(spread, 1.0, 0.05);
    EXPECT_NEAR(static_cast<double>(dropped) / static_cast<double>(total), n.dropoutShare, 0.003);
    EXPECT_EQ(farOff, 0u);  // nothing flies away from a step
    // At steps about flyingShare of the pixels lie well between the two sides.
    size_t atStep = 0, between = 0;
    for (size_t i = kSceneWidth; i + 1 < kPixels; ++i) {
        const bool step = clean[i] > 0 && clean[i] < 4095 && clean[i + 1] > 0 &&
                          clean[i + 1] < 4095 && std::abs(int{clean[i]} - int{clean[i + 1]}) > 300;
        if (step && noisy[i] != 0) {
            ++atStep;
            const int lo = std::min(clean[i], clean[i + 1]) + 80;
            const int hi = std::max(clean[i], clean[i + 1]) - 80;
            between += noisy[i] > lo && noisy[i] < hi ? 1 : 0;
        }
    }
    ASSERT_GT(atStep, 200u);
    EXPECT_GT(between * 4, atStep);
}

// The host's raw-type table seen from the camera's side: every ToF sub-packet the simulator
// sends, in every packing and data mode, is decoded by its type byte alone into the scene.
TEST(FrameBuilder, EveryToFSubPacketDecodesByItsTypeToTheScene) {
    const SimState state = MakeDefaultState(561, "127.0.0.2", "QX", 1);
    const PushedParameters pushed = PushOf(state, 0);
    TofDecode decoder(nullptr, nullptr);
    for (uint32_t group = 0; group < 3; ++group) {
        decoder.SetMeasuringRange(group, pushed.measuringRanges[group]);
    }
    constexpr uint8_t kRange = 4;
    decoder.SetDepthRange(kRange);
    const uint16_t* table = decoder.GetDepthDecodeTab(kRange);
    ASSERT_NE(table, nullptr);
    Frame* depth = decoder.DepthQueue().AllocFrame(kPoolDepth);
    Frame* ir = decoder.IRQueue().AllocFrame(kPoolIR);
    constexpr uint32_t kIndex = 37;
    for (TofPacking packing :
         {TofPacking::kRaw12, TofPacking::kRaw12Separate, TofPacking::kMsb12, TofPacking::kY16}) {
        for (uint8_t dataMode : {0, 1, 2, 11, 12, 13}) {
            SCOPED_TRACE(testing::Message() << "packing " << static_cast<int>(packing)
                                            << ", data mode " << int{dataMode});
            Capture capture;
            capture.settings.packing = packing;
            capture.settings.colour = ColourFormat::kNone;
            capture.dataMode = dataMode;
            capture.depthRange = kRange;
            FrameBuilder builder;
            const Bytes frame = builder.Build(capture, kIndex, nullptr, nullptr);
            uint32_t decoded = 0;
            for (const SubPacket& p : PacketsOf(frame)) {
                SCOPED_TRACE(testing::Message() << "type 0x" << std::hex << int{p.type});
                const uint8_t* packet =
                    frame.data() + kFrameHeaderBytes + p.offset - kSubHeaderBytes;
                uint32_t kinds = 0;
                ASSERT_EQ(decoder.DecodeADI(packet, p.length + kSubHeaderBytes, depth, ir, &kinds),
                          p.length + kSubHeaderBytes);
                if ((kinds & kFrameSetDepth) != 0) {
                    EXPECT_EQ(WrongDepth(Pixels(*depth), table, kIndex), 0u);
                }
                if ((kinds & kFrameSetIR) != 0) {
                    EXPECT_EQ(WrongIr(Pixels(*ir), kIndex), 0u);
                }
                decoded |= kinds;
            }
            const FrameKinds kinds = KindsOfDataMode(dataMode);
            EXPECT_EQ(decoded, (kinds.depth ? kFrameSetDepth : 0) | (kinds.ir ? kFrameSetIR : 0));
        }
    }
    decoder.DepthQueue().Release(depth);
    decoder.IRQueue().Release(ir);
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
        EXPECT_EQ(GetU32(frame.data()), kDataFrameType);
        EXPECT_EQ(GetU32(frame.data() + 4), frame.size() - kFrameHeaderBytes);
        const uint8_t* payload = frame.data() + kFrameHeaderBytes;
        const auto packets = PacketsOf(frame);
        ASSERT_EQ(packets.size(), c.tof.size() + 3) << int{c.dataMode};
        // WDR frames name their range (frame 1 of 3, 7 is range 7); the others the current one.
        const uint8_t range = c.dataMode >= 11 ? 7 : 5;
        for (size_t i = 0; i < c.tof.size(); ++i) {
            EXPECT_EQ(packets[i].type, c.tof[i].first) << int{c.dataMode};
            EXPECT_EQ(packets[i].length, c.tof[i].second);
            EXPECT_EQ(packets[i].range, range);
        }
        const SubPacket& colour = packets[c.tof.size()];
        EXPECT_EQ(+colour.type, '3');
        const SubPacket& statusBlock = packets[c.tof.size() + 1];
        EXPECT_EQ(statusBlock.type, kStatusType);
        EXPECT_EQ(statusBlock.offset - (colour.offset + colour.length), kStatusHeaderBytes);
        EXPECT_EQ(statusBlock.length, kDeviceStatusBytes);
        EXPECT_EQ(payload[statusBlock.offset + 3], 6);
        const SubPacket& pushBlock = packets.back();
        EXPECT_EQ(pushBlock.type, kPushType);
        EXPECT_EQ(Bytes(payload + pushBlock.offset, payload + pushBlock.offset + 3), push);
    }
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

// The fields the session's confirmed settings do not read back (the byte layout is the
// protocol's own test): the sub-mode of data modes 100-102, the colour size of the lens
// record, the frame counter, and bit 5 of the flags, which follows low power.
TEST(FrameBuilder, StatusOfASensor) {
    SensorState sensor = DefaultSensor();
    sensor.dataMode = 101;
    sensor.lens[2] = {2, 1, 0x00, 0x05, 0xD0, 0x02, 30, 2};  // 1280 x 720
    const DeviceStatus status = StatusOf(sensor, 9);
    EXPECT_EQ(status.subMode, 2);
    EXPECT_EQ(status.frameCounter, 9u);
    EXPECT_EQ(status.colourWidth, 1280);
    EXPECT_EQ(status.colourHeight, 720);
    const std::pair<std::array<uint8_t, 5>, uint8_t> modes[] = {{{0x20, 0, 1, 0, 0}, 0x20},
                                                                {{0x20, 0, 1, 1, 1}, 0x00},
                                                                {{0x03, 0, 0, 0, 0}, 0x03},
                                                                {{0x24, 0, 0, 0, 0}, 0x04}};
    for (const auto& [work, flags] : modes) {
        sensor.workMode = work;
        EXPECT_EQ(StatusOf(sensor, 0).statusFlags, flags) << int{work[0]};
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
    EXPECT_EQ(+p.calibration[45], 0.25);  // the translation's last value
    EXPECT_EQ(+p.measuringRanges[1].depthMaxNear, 5754);
    EXPECT_EQ(GetU16(p.depthOffsets[1].data() + 11), 12);  // the mid offset
    EXPECT_EQ(+p.dataModeList[7], 13);
    EXPECT_EQ(+p.wdr.range2, 3u);
    EXPECT_EQ(+p.threshold, 5);
    EXPECT_EQ(+p.colourWidth, 640);
    EXPECT_EQ(p.serialNumber, "QXPUSH");
    EXPECT_EQ(p.firmwareVersion, "20240115_V45");
}

// The colour sub-packet of frame 0 of `capture` (no ToF image) and its payload bytes.
struct ColourPacket {
    Bytes frame;
    SubPacket packet;
    const uint8_t* Data() const { return frame.data() + kFrameHeaderBytes + packet.offset; }
    float Exposure() const {
        float exposure = 0;
        std::memcpy(&exposure, Data() + packet.length - 4, 4);
        return exposure;
    }
};
ColourPacket ColourOf(const Capture& capture) {
    FrameBuilder builder;
    ColourPacket out{builder.Build(capture, 0, nullptr, nullptr), {}};
    const auto packets = PacketsOf(out.frame);
    EXPECT_EQ(packets.size(), 2u);
    out.packet = packets.empty() ? SubPacket{} : packets.back();
    return out;
}

TEST(ColourImage, MjpegIsTypedBySizeAndDecodesToTheTestImage) {
    const std::tuple<uint16_t, uint16_t, uint8_t> cases[] = {
        {1920, 1080, '1'}, {1280, 720, '2'}, {640, 360, '3'}, {640, 480, '4'}, {800, 600, 0x25}};
    tjhandle handle = tjInitDecompress();
    for (const auto& [width, height, type] : cases) {
        Capture capture;
        capture.colourWidth = width;
        capture.colourHeight = height;
        capture.settings.exposure = 0.5f;
        const ColourPacket colour = ColourOf(capture);
        EXPECT_EQ(colour.packet.type, type);
        const auto jpeg = MjpegTestImage(width, height);
        ASSERT_TRUE(jpeg);
        EXPECT_EQ(jpeg, MjpegTestImage(width, height));  // encoded once
        // The untyped form carries no exposure.
        EXPECT_EQ(colour.packet.length, jpeg->size() + (type == 0x25 ? 0 : 4));
        if (type != 0x25) {
            EXPECT_EQ(colour.Exposure(), 0.5f);
        }
        // The host hands the whole payload, exposure included, to the decoder.
        Bytes rgb(size_t{width} * height * 3);
        ASSERT_EQ(tjDecompress2(handle, colour.Data(), colour.packet.length, rgb.data(), width, 0,
                                height, TJPF_RGB, 0),
                  0);
        const Bytes expected = TestImage(width, height);
        double total = 0;
        int worst = 0;
        for (size_t i = 0; i < rgb.size(); ++i) {
            const int error = std::abs(int{rgb[i]} - int{expected[i]});
            total += error;
            worst = std::max(worst, error);
        }
        EXPECT_LT(total / rgb.size(), 2.0) << width;
        // Chroma subsampling at the edges between saturated surfaces (red box, white frame).
        EXPECT_LT(worst, 128) << width;
    }
    tjDestroy(handle);
}

TEST(ColourImage, Nv12CarriesTheTestImageAndTheExposure) {
    Capture capture;
    capture.settings.colour = ColourFormat::kNv12;
    capture.settings.exposure = 0.25f;
    const ColourPacket colour = ColourOf(capture);
    EXPECT_EQ(colour.packet.type, '5');
    ASSERT_EQ(colour.packet.length, kNv12Bytes);
    EXPECT_EQ(colour.Exposure(), 0.25f);
    // The middle of each block converts back to its colour.
    const uint8_t* nv12 = colour.Data();
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
