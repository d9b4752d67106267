// The ToF decoder: every image type of the type table through its layout, QVGA resizing,
// refused lengths and types, the decode tables of the nine ranges, the walk over a record's
// sub-packets, WDR ranges and styles, rotation and filtering, and the thread that takes
// raw records and queues frames. The packings themselves are proven in TofUnpackTest.
#include "imaging/TofDecode.h"

#include <gtest/gtest.h>

#include <chrono>

#include "FakePreProcess.h"
#include "FakeProducer.h"
#include "TofTestData.h"
#include "imaging/RawTypes.h"
#include "log/Log.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace quorix {
namespace {

using namespace test;
using namespace std::chrono_literals;

constexpr uint32_t D = kFrameSetDepth;
constexpr uint32_t I = kFrameSetIR;
constexpr size_t kVga = size_t{kTofWidth} * 480;

// Range 0 maps raw i to depth i + 7 (offset 7) between 100 and 3029; range 8 has no table.
const MeasuringRange kGroups[3] = {
    {1, 4096, 5000, 7500, 3000, 4800, 7400, 100, 300, 500},
    {2, 1500, 3000, 6000, 1485, 2800, 5900, 50, 200, 400},
    {3, 2000, 4000, 0, 1900, 3900, 7000, 100, 200, 300},
};

Pixels Row(const Pixels& image, uint32_t r) {
    return Pixels(image.begin() + r * kTofWidth, image.begin() + (r + 1) * kTofWidth);
}

// Combined payloads built from depth and IR pixels by the layout definitions, inverted.
Bytes RowSplitPayload(RawPacking packing, const Pixels& depth, const Pixels& ir, uint32_t rows) {
    Bytes out;
    for (uint32_t r = 0; r < rows; ++r) {
        out = Join({out, Pack(packing, Row(depth, r)), Pack(packing, Row(ir, r))});
    }
    return out;
}

Bytes ColumnSplitPayload(const Pixels& depth, const Pixels& ir) {
    const Bytes a = Pack(RawPacking::kSplit, depth);
    const Bytes b = Pack(RawPacking::kSplit, ir);
    Bytes out;
    for (size_t k = 0; k < a.size() / 480; ++k) {
        out.insert(out.end(), a.begin() + k * 480, a.begin() + (k + 1) * 480);
        out.insert(out.end(), b.begin() + k * 480, b.begin() + (k + 1) * 480);
    }
    return out;
}

Bytes PairInterleavedPayload(const Pixels& depth, const Pixels& ir) {
    const Bytes copy = RowSplitPayload(RawPacking::kRaw12, depth, ir, 360);
    Bytes a(copy.size() / 2);
    Bytes b(copy.size() / 2);
    for (size_t j = 0; j < copy.size() / 4; ++j) {
        a[2 * j] = copy[4 * j];
        b[2 * j] = copy[4 * j + 1];
        a[2 * j + 1] = copy[4 * j + 2];
        b[2 * j + 1] = copy[4 * j + 3];
    }
    return Join({a, b});
}

// A RAW12 sub-packet of a whole 640x480 image.
Bytes Raw12(uint8_t type, const Pixels& image, uint8_t range = 0) {
    return SubPacket(type, Pack(RawPacking::kRaw12, image), range);
}

// What a test checks of a decoded frame besides its pixels.
struct Shape {
    uint32_t width, height, dataLen;
    int32_t pixelFormat;
    bool operator==(const Shape&) const = default;
};
Shape ShapeOf(const Frame& f) {
    return {f.width, f.height, f.dataLen, f.pixelFormat};
}
void PrintTo(const Shape& s, std::ostream* os) {
    *os << s.width << "x" << s.height << " " << s.dataLen << " bytes, format " << s.pixelFormat;
}

Pixels Image(const Frame* f) {
    const auto* p = reinterpret_cast<const uint16_t*>(f->pFrameData);
    return Pixels(p, p + size_t{f->width} * f->height);
}

void Configure(TofDecode& decoder) {
    RangeOffset offsets;
    offsets.bytes[5] = 7;  // near slot of group 0
    decoder.SetRangeOffset(0, offsets);
    for (uint32_t g = 0; g < 3; ++g) {
        decoder.SetMeasuringRange(g, kGroups[g]);
    }
}

class TofDecodeTest : public ::testing::Test {
protected:
    void Make(ImgPreProcess* preProcess) {
        decoder = std::make_unique<TofDecode>(&producer, preProcess);
        Configure(*decoder);
        depth = decoder->DepthQueue().AllocFrame(kPoolDepth);
        ir = decoder->IRQueue().AllocFrame(kPoolIR);
    }
    void TearDown() override {
        if (decoder) {
            decoder->DepthQueue().Release(depth);
            decoder->IRQueue().Release(ir);
        }
    }
    uint32_t Decode(const Bytes& packet, uint32_t* kinds = nullptr) {
        return decoder->DecodeADI(packet.data(), packet.size(), depth, ir, kinds);
    }
    Pixels Expected(const Pixels& raw, uint32_t range) const {
        return Lookup(raw, decoder->GetDepthDecodeTab(range));
    }

    FakeProducer producer{kPoolRawTof, kRawTofFrames};
    FakePreProcess pre;
    std::unique_ptr<TofDecode> decoder;
    Frame* depth = nullptr;
    Frame* ir = nullptr;
};

Bytes Words(const Pixels& p) {
    Bytes out;
    for (uint16_t v : p) {
        out.push_back(static_cast<uint8_t>(v & 0xFF));
        out.push_back(static_cast<uint8_t>(v >> 8));
    }
    return out;
}

// A QVGA depth image in millimetres with one hole that has eight valid neighbours, and the
// VGA image the hole fill and the doubling (proven in TofUnpackTest) make of it.
Pixels QvgaMillimetres() {
    Pixels qvga(kQvgaPixels);
    for (size_t i = 0; i < qvga.size(); ++i) {
        qvga[i] = static_cast<uint16_t>(1000 + i % kQvgaWidth + i / kQvgaWidth);
    }
    qvga[5 * kQvgaWidth + 5] = 0;
    return qvga;
}
Pixels FilledAndDoubled(Pixels qvga) {
    std::vector<uint8_t> masks(2 * kQvgaPixels);
    FillHoles(qvga.data(), kQvgaWidth, kQvgaHeight, masks.data(), masks.data() + kQvgaPixels);
    Pixels doubled(kVga);
    DoubleImage(qvga.data(), kQvgaWidth, kQvgaHeight, doubled.data());
    return doubled;
}

// A payload of a type's layout, built from known pixels by the layout's definition, and the
// frames the decoder has to make of it.
struct Built {
    Bytes payload;
    Shape shape;  // of either frame, pixel format aside
    Pixels depth;
    Pixels ir;
};

Built Build(const RawType& t, const uint16_t* table) {
    const bool depthOnly = t.content == RawContent::kDepth;
    Built b;
    switch (t.layout) {
        case RawLayout::kSingle:
        case RawLayout::kHalves:
        case RawLayout::kRowSplit:
        case RawLayout::kColumnSplit:
        case RawLayout::kPairInterleave: {
            const size_t pixels = size_t{kTofWidth} * t.rows;
            const Pixels depthRaw = SomeValues(pixels, t.id);
            const Pixels irRaw = SomeValues(pixels, t.id + 1000);
            b.shape = {kTofWidth, t.rows, static_cast<uint32_t>(pixels * 2), 0};
            b.depth = Lookup(depthRaw, table);
            b.ir = irRaw;
            if (t.layout == RawLayout::kSingle) {
                b.payload = Pack(t.packing, depthOnly ? depthRaw : irRaw);
            } else if (t.layout == RawLayout::kHalves) {
                b.payload = Join({Pack(t.packing, depthRaw), Pack(t.packing, irRaw)});
            } else if (t.layout == RawLayout::kRowSplit) {
                b.payload = RowSplitPayload(t.packing, depthRaw, irRaw, t.rows);
            } else if (t.layout == RawLayout::kColumnSplit) {
                b.payload = ColumnSplitPayload(depthRaw, irRaw);
            } else {
                b.payload = PairInterleavedPayload(depthRaw, irRaw);
            }
            break;
        }
        case RawLayout::kQvgaMm:
        case RawLayout::kQvgaMmAndIR: {
            const Pixels qvga = QvgaMillimetres();
            b.shape = {kTofWidth, 480, 614400, 0};
            b.depth = FilledAndDoubled(qvga);
            b.payload = Words(qvga);
            if (t.layout == RawLayout::kQvgaMmAndIR) {
                // VGA IR words are copied as they are, top bits included.
                b.ir.resize(kVga);
                for (size_t i = 0; i < b.ir.size(); ++i) {
                    b.ir[i] = static_cast<uint16_t>(i * 7919);
                }
                b.payload = Join({b.payload, Words(b.ir)});
            }
            break;
        }
        case RawLayout::kQvgaY16: {
            // Without pre-processing nothing resizes: the frames stay QVGA.
            const Pixels depthRaw = SomeValues(kQvgaPixels, t.id);
            const Pixels irRaw = SomeValues(kQvgaPixels, t.id + 1000);
            b.shape = {kQvgaWidth, kQvgaHeight, 153600, 0};
            b.depth = Lookup(depthRaw, table);
            b.ir = irRaw;
            b.payload = Pack(RawPacking::kY16, depthRaw);
            if (!depthOnly) {
                b.payload = Join({b.payload, Pack(RawPacking::kY16, irRaw)});
            }
            break;
        }
        case RawLayout::kNone:
            break;
    }
    return b;
}

// Every ToF image row of the type table through the real decoder, pixel for pixel against the
// packer; the payload's size also proves the row's length. A row whose layout the decoder
// does not handle fails here, as does a layout added without a way to build it.
TEST_F(TofDecodeTest, EveryImageTypeDecodesItsLayoutPixelForPixel) {
    Make(nullptr);
    decoder->SetDepthRange(1);
    size_t decodedTypes = 0;
    for (const RawType& t : AllRawTypes()) {
        if (!t.IsToFImage() || t.recordType != 0) {
            continue;  // a re-typed image is decoded as the type it becomes
        }
        SCOPED_TRACE(testing::Message() << "type 0x" << std::hex << int{t.id});
        if (t.layout == RawLayout::kNone) {
            // Taken into the raw record, dropped by the decoder as unknown (on purpose).
            EXPECT_EQ(t.id, 0x75) << "an image type without a layout";
            continue;
        }
        const Built b = Build(t, decoder->GetDepthDecodeTab(1));
        ASSERT_FALSE(b.payload.empty()) << "a layout this test cannot build";
        ASSERT_EQ(b.payload.size(), t.length);
        uint32_t kinds = 0;
        ASSERT_EQ(Decode(SubPacket(t.id, b.payload), &kinds), t.length + 5);
        EXPECT_EQ(kinds, t.FrameBits());
        if ((kinds & D) != 0) {
            EXPECT_EQ(ShapeOf(*depth), b.shape);
            EXPECT_EQ(depth->depthRange, 1u);
            EXPECT_TRUE(Image(depth) == b.depth);
        }
        if ((kinds & I) != 0) {
            EXPECT_EQ(ShapeOf(*ir), (Shape{b.shape.width, b.shape.height, b.shape.dataLen, 1}));
            EXPECT_TRUE(Image(ir) == b.ir);
        }
        ++decodedTypes;
    }
    EXPECT_GT(decodedTypes, 0u);
}

TEST_F(TofDecodeTest, QvgaY16IsResizedToVgaThenDecodedInPlace) {
    const Pixels depthRaw = SomeValues(kQvgaPixels, 1);
    const Pixels irRaw = SomeValues(kQvgaPixels, 2);
    Make(&pre);
    decoder->SetRotateType(1);  // Y16 layouts are never rotated
    auto upscaled = [](const Pixels& q) {
        Pixels out(kVga);
        for (uint32_t y = 0; y < 480; ++y) {
            for (uint32_t x = 0; x < kTofWidth; ++x) {
                out[y * kTofWidth + x] = q[(y / 2) * kQvgaWidth + x / 2];
            }
        }
        return out;
    };
    uint32_t kinds = 0;
    ASSERT_EQ(Decode(SubPacket(0x91, Pack(RawPacking::kY16, depthRaw)), &kinds), 153605u);
    EXPECT_EQ(kinds, D);
    EXPECT_EQ(ShapeOf(*depth), (Shape{640, 480, 614400, 0}));
    // Pack puts noise in the top 4 bits, which the decoder drops after resizing.
    EXPECT_TRUE(Image(depth) == Expected(upscaled(depthRaw), 0));
    const Bytes both = Join({Pack(RawPacking::kY16, depthRaw), Pack(RawPacking::kY16, irRaw)});
    ASSERT_EQ(Decode(SubPacket(0x93, both), &kinds), 307205u);
    EXPECT_EQ(kinds, D | I);
    EXPECT_TRUE(Image(depth) == Expected(upscaled(depthRaw), 0));
    EXPECT_TRUE(Image(ir) == upscaled(irRaw));
    EXPECT_TRUE(pre.rotations.empty());
}

TEST_F(TofDecodeTest, WrongLengthsAndUnknownTypesAreDropped) {
    Make(nullptr);
    decoder->SetDataMode(kDataModeWdr);
    struct Case {
        uint8_t type;
        uint32_t length;
    };
    for (const Case c : {Case{0x21, 460801}, Case{0x21, 460799}, Case{0x23, 460800},
                         Case{0x75, 768000}, Case{0x99, 16}, Case{0x00, 0}}) {
        log::Capture capture;
        uint32_t kinds = 99;
        EXPECT_EQ(Decode(SubPacket(c.type, Bytes(c.length, 0x11), 0), &kinds), 0u);
        EXPECT_EQ(kinds, 0u);
        char line[64];
        snprintf(line, sizeof line, "typeId:0x%x dataLenth:%u is invalid.", c.type, c.length);
        EXPECT_TRUE(capture.Contains(line)) << line;
    }
    // A header whose length passes what was received, and a buffer shorter than a header.
    Bytes cut = SubPacket(0x21, Bytes(460800, 0));
    cut.resize(1000);
    EXPECT_EQ(Decode(cut), 0u);
    EXPECT_EQ(decoder->DecodeADI(cut.data(), 4, depth, ir), 0u);
    EXPECT_EQ(decoder->DecodeADI(nullptr, 0, depth, ir), 0u);
}

TEST_F(TofDecodeTest, TablesRecordsAndTheirInvalidRanges) {
    Make(nullptr);
    // The offset of range 0 is in its table and its limits.
    EXPECT_EQ(decoder->GetDepthDecodeTab(0)[100], 107);
    EXPECT_EQ(decoder->GetEffectMaxDepth(0), 3007);
    EXPECT_EQ(decoder->GetEffectMinDepth(0), 107);
    EXPECT_EQ(decoder->GetEffectMaxDepth(5), 5900);
    EXPECT_EQ(+decoder->GetMeasuringRange(4).depthMaxMid, 3000);

    log::Capture capture;
    EXPECT_EQ(decoder->GetDepthDecodeTab(9), nullptr);
    EXPECT_TRUE(capture.Contains("range:9 is invalid."));
    EXPECT_EQ(decoder->GetEffectMaxDepth(9), 0);
    EXPECT_EQ(decoder->GetEffectMinDepth(12), 0);
    EXPECT_EQ(+decoder->GetMeasuringRange(9).depthMaxNear, 0);
    EXPECT_TRUE(capture.Contains("depthRange:9 is invalid."));
    EXPECT_EQ(decoder->SetMeasuringRange(3, kGroups[0]), -1);
    EXPECT_EQ(decoder->SetFrameMode(2, {640, 480, 30}), -1);

    // depthMax 0: no table for range 8, so a depth frame of that range is dropped (a
    // combined one with its IR); IR alone needs no table.
    EXPECT_EQ(decoder->GetDepthDecodeTab(8), nullptr);
    EXPECT_EQ(decoder->InitDepthDecodeTab(8), -1);
    EXPECT_TRUE(capture.Contains("depthMax:0 is invalid."));
    decoder->SetDepthRange(8);
    const Pixels raw = SomeValues(kVga, 4);
    EXPECT_EQ(Decode(Raw12(0x21, raw)), 0u);
    EXPECT_TRUE(capture.Contains("decodeDepthTab is null."));
    EXPECT_EQ(Decode(SubPacket(
                  0x23, Join({Pack(RawPacking::kRaw12, raw), Pack(RawPacking::kRaw12, raw)}))),
              0u);
    EXPECT_EQ(Decode(Raw12(0x22, raw)), 460805u);

    // A later record with depthMax 0 keeps the table built before.
    MeasuringRange zeroed = kGroups[0];
    zeroed.depthMaxNear = 0;
    decoder->SetMeasuringRange(0, zeroed);
    ASSERT_NE(decoder->GetDepthDecodeTab(0), nullptr);
    EXPECT_EQ(decoder->GetDepthDecodeTab(0)[100], 107);
}

TEST_F(TofDecodeTest, ARecordHasEveryImageSubPacketDecodedOnce) {
    Make(nullptr);
    const Pixels d1 = SomeValues(kVga, 11);
    const Pixels i1 = SomeValues(kVga, 13);
    const Bytes depth1 = Raw12(0x21, d1);
    const Bytes ir1 = Raw12(0x22, i1);
    Frame* raw = producer.Record(Bytes(1, 0));
    auto load = [&](const Bytes& record) {
        memcpy(raw->pFrameData, record.data(), record.size());
        raw->dataLen = static_cast<uint32_t>(record.size());
    };

    load(Join({depth1, ir1}));
    EXPECT_EQ(decoder->DecodeRecord(*raw, depth, ir), D | I);
    EXPECT_TRUE(Image(depth) == Expected(d1, 0));
    EXPECT_TRUE(Image(ir) == i1);
    {
        // The first depth wins; the repeated kind is skipped with a line.
        log::Capture capture;
        load(Join({depth1, Raw12(0x21, SomeValues(kVga, 12))}));
        EXPECT_EQ(decoder->DecodeRecord(*raw, depth, ir), D);
        EXPECT_TRUE(Image(depth) == Expected(d1, 0));
        EXPECT_TRUE(capture.Contains("typeId:0x21 repeats a frame of this record, skipped."));
    }
    {
        // A sub-packet that passes the record's end stops the walk after what came before.
        log::Capture capture;
        load(Join({depth1, ir1}));
        raw->dataLen -= 1;
        EXPECT_EQ(decoder->DecodeRecord(*raw, depth, ir), D);
        EXPECT_TRUE(capture.Contains("typeId:0x22 dataLenth:460800 passes the end"));
        // A length larger than the buffer's capacity reads no further than the capacity;
        // the zeros after the two sub-packets end the walk.
        raw->dataLen = raw->capacity + 100;
        EXPECT_EQ(decoder->DecodeRecord(*raw, depth, ir), D | I);
        EXPECT_TRUE(capture.Contains("typeId:0x0 has no payload"));
    }
    // An unknown sub-packet is passed over by its length.
    load(Join({SubPacket(0x99, Bytes(10, 0)), ir1}));
    EXPECT_EQ(decoder->DecodeRecord(*raw, depth, ir), I);
    producer.raw.Release(raw);
}

TEST_F(TofDecodeTest, WdrTypesTakeTheirRangeFromTheHeaderInWdrModes) {
    Make(&pre);
    decoder->SetDepthRange(1);
    const Pixels raw = SomeValues(kVga, 21);
    struct Case {
        uint8_t mode;
        uint8_t type;
        uint32_t frameRange;
        uint32_t tableRange;
    };
    // Modes 11 and 13 decode with the header's range, and the frame says so.
    for (const Case c :
         {Case{11, 0x6F, 4, 4}, Case{13, 0x6F, 4, 4}, Case{0, 0x6F, 1, 1}, Case{11, 0x21, 1, 1}}) {
        decoder->SetDataMode(c.mode);
        pre.validDepths.clear();
        ASSERT_EQ(Decode(Raw12(c.type, raw, 4)), 460805u);
        EXPECT_EQ(depth->depthRange, c.frameRange) << int{c.mode};
        EXPECT_TRUE(Image(depth) == Expected(raw, c.tableRange)) << int{c.mode};
        // WDR style 1: the frame's own limits go to the filters.
        using Limits = std::vector<FakePreProcess::ValidDepth>;
        EXPECT_EQ(pre.validDepths, (c.frameRange == 4 ? Limits{{4, 2800, 200}} : Limits{}));
    }
    // A header range above 8 has no table.
    decoder->SetDataMode(11);
    log::Capture capture;
    EXPECT_EQ(Decode(Raw12(0x6F, raw, 9)), 0u);
    EXPECT_TRUE(capture.Contains("decodeDepthTab is null."));
}

TEST_F(TofDecodeTest, RotationWritesBackTheRotatedSize) {
    Make(&pre);
    const Pixels raw = SomeValues(kVga, 31);
    decoder->SetRotateType(1);
    {
        log::Capture capture;
        ASSERT_EQ(Decode(Raw12(0x21, raw)), 460805u);
        EXPECT_EQ(ShapeOf(*depth), (Shape{480, 640, 614400, 0}));
        EXPECT_TRUE(capture.Contains("m_rotatetype:1 w:480 h:640"));
    }
    {
        // MSB12 rotates without the line; Y16 does not rotate.
        log::Capture capture;
        ASSERT_EQ(Decode(SubPacket(0x51, Pack(RawPacking::kMsb12, raw))), 460805u);
        EXPECT_EQ(depth->width, 480);
        EXPECT_FALSE(capture.Contains("m_rotatetype"));
        ASSERT_EQ(Decode(SubPacket(0x61, Pack(RawPacking::kY16, raw))), 614405u);
        EXPECT_EQ(depth->width, 640);
    }
    EXPECT_EQ(pre.rotations, (std::vector<int32_t>{1, 1}));
    decoder->SetRotateType(0xFFFF);
    ASSERT_EQ(Decode(Raw12(0x21, raw)), 460805u);
    EXPECT_EQ(depth->width, 640);
    EXPECT_EQ(pre.rotations.size(), 2u);
}

TEST_F(TofDecodeTest, PostProcessingFollowsModeAndSize) {
    Make(&pre);
    const Pixels vga = SomeValues(kVga, 41);
    const Bytes rows360 = Pack(RawPacking::kRaw12, SomeValues(kTofWidth * 360, 42));
    using Sizes = std::vector<FakePreProcess::Size>;

    Decode(Raw12(0x21, vga));
    Decode(Raw12(0x22, vga));
    EXPECT_EQ(pre.filteredDepth, (Sizes{{640, 480}}));
    EXPECT_EQ(pre.filteredIR, (Sizes{{640, 480}}));
    {
        // Outside modes 5 and 7 a depth frame needs 480 rows or columns.
        log::Capture capture;
        Decode(SubPacket(0x27, rows360));
        EXPECT_EQ(pre.filteredDepth.size(), 1u);
        EXPECT_TRUE(capture.Contains("m_dataMode 0  w 640  h 360"));
        decoder->SetDataMode(5);
        Decode(SubPacket(0x27, rows360));
        EXPECT_EQ(pre.filteredDepth.size(), 2u);
    }
    // QVGA millimetre depth is never filtered here.
    decoder->SetDataMode(0);
    Decode(SubPacket(0x72, Bytes(153600, 0)));
    EXPECT_EQ(pre.filteredDepth.size(), 2u);

    TofDecode bare(&producer, nullptr);
    EXPECT_EQ(bare.postProcFrame(depth, ir), -1);
}

TEST_F(TofDecodeTest, WdrModeFiltersByStyleAndCollectsDepth) {
    Make(&pre);
    std::vector<uint32_t> collected;
    decoder->SetWdrCollector([&](Frame& f) { collected.push_back(f.depthRange); });
    const Pixels vga = SomeValues(kVga, 51);

    EXPECT_EQ(decoder->SetWDRStyle(0), -1);  // only in data mode 11
    decoder->SetDataMode(kDataModeWdr);
    WDROutputMode mode;
    mode.totalRange = 3;
    mode.range1 = 0;
    mode.range2 = 1;
    mode.range3 = 2;
    decoder->SetWDRMode(mode);

    // Style 1: each range frame is filtered by itself, then collected.
    Decode(Raw12(0x6F, vga, 1));
    EXPECT_EQ(pre.filteredDepth.size(), 1u);
    EXPECT_EQ(collected, (std::vector<uint32_t>{1}));

    // Style 0 sends the pair's limits (far = range3, near = range1), and depth goes
    // unfiltered to the fusion.
    pre.validDepths.clear();
    EXPECT_EQ(decoder->SetWDRStyle(0), 0);
    EXPECT_EQ(pre.validDepths, (std::vector<FakePreProcess::ValidDepth>{{256, 7400, 107}}));
    Decode(Raw12(0x6F, vga, 2));
    Decode(SubPacket(0x71, Join({Pack(RawPacking::kRaw12, vga), Pack(RawPacking::kRaw12, vga)})));
    EXPECT_EQ(pre.filteredDepth.size(), 1u);
    EXPECT_TRUE(pre.filteredIR.empty());
    EXPECT_EQ(collected, (std::vector<uint32_t>{1, 2, 0}));
    // IR alone is filtered as usual and not collected.
    Decode(Raw12(0x70, vga, 2));
    EXPECT_EQ(pre.filteredIR.size(), 1u);
    EXPECT_EQ(collected.size(), 3u);
    // QVGA depth marks the fused frame to skip post-processing and is collected.
    EXPECT_FALSE(decoder->GetSkipPostProcAfterFusion());
    Decode(SubPacket(0x74, Bytes(153600, 0), 0));
    EXPECT_TRUE(decoder->GetSkipPostProcAfterFusion());
    EXPECT_EQ(collected.size(), 4u);
    EXPECT_EQ(pre.filteredDepth.size(), 1u);
}

TEST_F(TofDecodeTest, WdrStyle0FusesOnceEachRangeArrivedIntoType9) {
    Make(&pre);
    decoder->SetDataMode(kDataModeWdr);
    WDROutputMode mode;
    mode.totalRange = 2;
    mode.range1 = 1;  // stored sorted: near 0, mid 1
    mode.range1Count = 1;
    mode.range2 = 0;
    mode.range2Count = 1;
    ASSERT_EQ(decoder->SetWDRMode(mode), 0);
    EXPECT_EQ(mode.range1, 0u);
    EXPECT_EQ(+decoder->GetWDRMode().range2, 1u);
    ASSERT_EQ(decoder->SetWDRStyle(0), 0);
    // Near raw 500 decodes to 507 mm, below the near/mid band: the fused pixel is near's.
    const Pixels flat(kVga, 500);
    auto decodeIn = [&](uint8_t range) {
        depth->frameType = kPoolDepth;
        return Decode(Raw12(0x6F, flat, range));
    };
    for (uint32_t i = 0; i < WdrFusion::kWarmUpFrames; ++i) {
        ASSERT_NE(decodeIn(0), 0u);
    }
    decodeIn(1);  // the mid range alone: nothing to fuse with yet
    EXPECT_EQ(+depth->frameType, uint32_t{kPoolDepth});
    EXPECT_TRUE(pre.filteredDepth.empty());
    decodeIn(0);
    EXPECT_EQ(+depth->frameType, uint32_t{WDRDepthFrame});
    EXPECT_TRUE(Image(depth) == Pixels(kVga, 507));
    EXPECT_EQ(pre.filteredDepth.size(), 1u);  // the fused frame is filtered
    // QVGA millimetre depth asks for the fused frame to skip the filters, once.
    Decode(SubPacket(0x74, Bytes(153600, 0), 1));
    EXPECT_EQ(+depth->frameType, uint32_t{WDRDepthFrame});
    EXPECT_FALSE(decoder->GetSkipPostProcAfterFusion());
    EXPECT_EQ(pre.filteredDepth.size(), 1u);

    // A mode with a band too small is refused and the stored one stays.
    mode.range1 = 0;
    mode.range2 = 3;  // near max 3007, range 3 from 50 mm: a wide overlap
    EXPECT_EQ(decoder->SetWDRMode(mode), 0);
    const MeasuringRange tight = {1, 4096, 5000, 7500, 2000, 4800, 7400, 100, 1990, 500};
    decoder->SetMeasuringRange(0, tight);  // near max 2007, range 1 from 1990: 17 mm
    mode.range2 = 1;
    log::Capture capture;
    EXPECT_EQ(decoder->SetWDRMode(mode), -15);
    EXPECT_EQ(capture.Count("the WDR near and mid range transfer is too small"), 1u);
    EXPECT_EQ(+decoder->GetWDRMode().range2, 3u);
}

TEST_F(TofDecodeTest, ValidDepthLimits) {
    Make(&pre);
    // The measuring ranges of the current range's group (range 0) send its limits.
    EXPECT_EQ(pre.validDepths, (std::vector<FakePreProcess::ValidDepth>{{0, 3007, 107}}));
    pre.validDepths.clear();
    EXPECT_EQ(decoder->SetValidDepth(9), -1);
    WDROutputMode mode;
    mode.totalRange = 2;  // two ranges: 2 and 0, stored sorted
    mode.range1 = 2;
    mode.range1Count = 1;
    mode.range2 = 0;
    mode.range2Count = 1;
    EXPECT_EQ(decoder->SetWDRMode(mode), 0);  // sends the pair's limits at once
    EXPECT_EQ(pre.validDepths, (std::vector<FakePreProcess::ValidDepth>{{256, 7400, 107}}));
    mode.range2 = 12;
    EXPECT_EQ(decoder->SetWDRMode(mode), -15);            // refused: no table for range 12
    EXPECT_EQ(decoder->SetValidDepth(kWdrPairRange), 0);  // the accepted mode stays
    EXPECT_EQ(pre.validDepths.size(), 2u);

    // Every depth range change sends that range's limits, and leaving a WDR mode sends the
    // current range again; other data mode changes send nothing. Every change of the data
    // mode, and only a change, ends the filters' history.
    decoder->SetDepthRange(3);
    EXPECT_EQ(pre.validDepths.back(), (FakePreProcess::ValidDepth{3, 1485, 50}));
    const uint32_t resets = pre.filterResets;
    decoder->SetDataMode(12);
    decoder->SetDataMode(12);
    decoder->SetDataMode(0);
    decoder->SetDataMode(2);
    EXPECT_EQ(pre.filterResets, resets + 3);
    EXPECT_EQ(pre.validDepths.size(), 4u);
    EXPECT_EQ(pre.validDepths.back(), (FakePreProcess::ValidDepth{3, 1485, 50}));

    TofDecode bare(&producer, nullptr);
    EXPECT_EQ(bare.SetValidDepth(0), -1);
}

// --- the thread ----------------------------------------------------------------------------

// Waits for a frame; the bound only keeps a broken decoder from hanging the test.
Frame* PopWithin(FrameQueue& queue) {
    Frame* frame = nullptr;
    WaitFor([&] { return (frame = queue.Pop()) != nullptr; }, 10s);
    return frame;
}

// Queues a record of a depth and an IR sub-packet that announces `frameSet`.
void FeedRecord(FakeProducer& producer, uint32_t index, uint32_t frameSet) {
    Frame* f = producer.Record(
        Join({Raw12(0x21, SomeValues(kVga, 61)), Raw12(0x22, SomeValues(kVga, 62))}));
    f->frameIndex = index;
    f->frameTag = 9;
    f->frameSet = frameSet;
    f->timestamp = 0x0004000300020001ull;
    producer.raw.Push(f);
}

// A pending mode change drops the record of the old mode; then records are decoded into the
// queues with their fields, announced, saved, and only the kinds they announce go on.
TEST(TofDecodeThread, DecodesAnnouncedKindsIntoQueuesAfterAModeChangeDrop) {
    TempDir dir;
    FakeProducer producer(kPoolRawTof, kRawTofFrames);
    TofDecode decoder(&producer, nullptr);
    Configure(decoder);
    decoder.SetSaveFolder(dir.Path());
    decoder.SetSaveDecodedDepthEnabled(true);
    decoder.SetModeChangePending(true);
    FeedRecord(producer, 41, D | I);
    decoder.Start();
    EXPECT_TRUE(WaitFor([&] { return !decoder.GetModeChangePending(); }, 10s));
    FeedRecord(producer, 42, D | I);

    Frame* depth = PopWithin(decoder.DepthQueue());
    Frame* ir = PopWithin(decoder.IRQueue());
    ASSERT_NE(depth, nullptr);
    ASSERT_NE(ir, nullptr);
    EXPECT_EQ(depth->frameType, 0u);
    EXPECT_EQ(ir->frameType, 1u);
    for (const Frame* f : {depth, ir}) {
        EXPECT_EQ(f->frameIndex, 42u);
        EXPECT_EQ(f->frameTag, 9);
        EXPECT_EQ(f->frameSet, D | I);
        EXPECT_EQ(f->timestamp, 0x0004000300020001ull);
    }
    EXPECT_TRUE(WaitFor([&] { return producer.Ready().size() == 2; }, 10s));
    EXPECT_EQ(producer.Ready(), (std::vector<uint8_t>{1, 2}));
    EXPECT_TRUE(WaitFor([&] { return producer.RawOut() == 0; }, 10s));
    const std::string saved = ReadFile(dir / "decode_buf_42.bin");
    EXPECT_EQ(saved.size(), 614400u);
    EXPECT_EQ(memcmp(saved.data(), depth->pFrameData, saved.size()), 0);

    FeedRecord(producer, 43, D);
    Frame* next = PopWithin(decoder.DepthQueue());
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->frameIndex, 43u);
    EXPECT_EQ(decoder.IRQueue().Size(), 0u);

    decoder.DepthQueue().Release(depth);
    decoder.DepthQueue().Release(next);
    decoder.IRQueue().Release(ir);
    // Stop is prompt: the raw queue's wait is cut short and the join needs no time-out.
    decoder.Stop();
    producer.raw.Interrupt();
    EXPECT_EQ(decoder.Join(), 0);
}

}  // namespace
}  // namespace quorix
