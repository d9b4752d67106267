#include "imaging/TofUnpack.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <random>
#include <string>

#include "TofTestData.h"
#include "imaging/DepthDecodeTable.h"

namespace quorix {
namespace {

using namespace test;

struct Table {
    std::vector<uint16_t> entries = std::vector<uint16_t>(kDepthTableEntries);
    DepthLut lut;
};

Table Build(const DepthRangeLimits& limits) {
    Table t;
    EXPECT_TRUE(BuildDepthDecodeTable(limits, t.entries.data(), &t.lut));
    return t;
}

// Typical camera ranges, extremes and odd ones (upper limit below the lower, offsets that
// wrap), then random ones.
std::vector<DepthRangeLimits> Ranges() {
    std::vector<DepthRangeLimits> ranges = {
        {1500, 1485, 100, 0},      {1500, 1500, 0, 0},         {4096, 3000, 100, 7},
        {3000, 2800, 200, 40},     {5000, 4800, 300, 0},       {7500, 7400, 500, 65500},
        {12000, 11000, 800, 12},   {65535, 65535, 0, 0},       {65535, 60000, 65535, 3},
        {1, 0, 0, 0},              {1000, 0, 2000, 0},         {333, 200, 100, 65535},
    };
    std::mt19937 rng(7);
    for (int i = 0; i < 40; ++i) {
        ranges.push_back({static_cast<uint16_t>(1 + rng() % 65535),
                          static_cast<uint16_t>(rng() % 65536),
                          static_cast<uint16_t>(rng() % 65536),
                          static_cast<uint16_t>(rng() % 65536)});
    }
    return ranges;
}

// Every instruction set compiled in and supported here, each made the dispatch choice in turn.
class EachTarget {
public:
    template <class Body>
    static void Run(const Body& body) {
        for (const int64_t target : hwy::SupportedAndGeneratedTargets()) {
            hwy::SetSupportedTargetsForTest(target);
            SCOPED_TRACE(hwy::TargetName(target));
            const std::string expected =
                (target == HWY_EMU128 || target == HWY_SCALAR) ? "portable"
                                                               : hwy::TargetName(target);
            EXPECT_EQ(UnpackTargetName(), expected);
            body();
        }
        hwy::SetSupportedTargetsForTest(0);
    }
};

TEST(DepthDecodeTable, EdgeValues) {
    // Raw 0 is invalid (0) in every range with a positive upper limit.
    for (const DepthRangeLimits& r : Ranges()) {
        if (r.effectDepthMax > 0) {
            EXPECT_EQ(Build(r).entries[0], 0) << r.depthMax;
        }
    }
    // Raw 4095 of depthMax 1500 is depth 1500: beyond the range when 1.01 x 1485 = 1499
    // is at most 1500, a depth when the limit is 1515.
    EXPECT_EQ(Build({1500, 1485, 100, 0}).entries[4095], 65535);
    EXPECT_EQ(Build({1500, 1500, 0, 0}).entries[4095], 1500);
    EXPECT_EQ(Build({1500, 1500, 0, 9}).entries[4095], 1509);

    // depthMax 0 gives no table.
    uint16_t entries[kDepthTableEntries] = {};
    DepthLut lut;
    EXPECT_FALSE(BuildDepthDecodeTable({0, 1000, 10, 0}, entries, &lut));
    EXPECT_EQ(lut.table, nullptr);
}

TEST(DepthDecodeTable, LimitsAndOffsetOnAUnitScale) {
    // depthMax 4096 maps raw i to depth i; limits 1.01 x 3000 = 3030 and 0.99 x 100 = 99.
    const Table t = Build({4096, 3000, 100, 7});
    EXPECT_EQ(t.entries[99], 0);
    EXPECT_EQ(t.entries[100], 107);
    EXPECT_EQ(t.entries[3029], 3036);
    EXPECT_EQ(t.entries[3030], 65535);
    // The offset wraps around in 16 bits.
    EXPECT_EQ(Build({4096, 3000, 0, 65530}).entries[10], 4);
}

TEST(DepthDecodeTable, ClosedFormEqualsTheTableForEveryValueOfEveryRange) {
    for (const DepthRangeLimits& r : Ranges()) {
        const Table t = Build(r);
        for (uint16_t raw = 0; raw < kDepthTableEntries; ++raw) {
            ASSERT_EQ(EvaluateDepthCurve(t.lut, raw), t.entries[raw])
                << "depthMax " << r.depthMax << " max " << r.effectDepthMax << " min "
                << r.effectDepthMin << " offset " << r.offset << " raw " << raw;
        }
    }
}

TEST(UnpackPixels, HandCheckedBytes) {
    const uint8_t bytes[] = {0xAB, 0xCD, 0xEF};
    const uint8_t second[] = {0x78, 0x9A, 0xBC};
    const uint8_t y16[] = {0x34, 0xF2, 0xFF, 0x0F};
    struct Case {
        RawPacking packing;
        const uint8_t* src;
        size_t pixels;
        Pixels expected;
    };
    const uint8_t first[] = {0x12, 0x34, 0x56};
    for (const Case& c : {Case{RawPacking::kRaw12, bytes, 2, {0xABF, 0xCDE}},
                          Case{RawPacking::kMsb12, bytes, 2, {0xABC, 0xDEF}},
                          Case{RawPacking::kIso12, bytes, 2, {0xABE, 0xCDF}},
                          Case{RawPacking::kY16, y16, 2, {0x234, 0xFFF}},
                          Case{RawPacking::kSplit, first, 4, {0x124, 0x783, 0x9AC, 0x56B}}}) {
        Pixels out(c.pixels);
        UnpackPixelsPortable(c.packing, c.src, second, c.pixels, nullptr, out.data());
        EXPECT_EQ(out, c.expected) << static_cast<int>(c.packing);
        EachTarget::Run([&] {
            Pixels fast(c.pixels);
            UnpackPixels(c.packing, c.src, second, c.pixels, nullptr, fast.data());
            EXPECT_EQ(fast, c.expected) << static_cast<int>(c.packing);
        });
    }
}

// Every packing, every compiled instruction set, every range, all 4096 raw values: depth
// equals the table's entry and IR the raw value. Lengths below, around and well above one
// vector exercise the padded tail.
TEST(UnpackPixels, EveryPathEqualsTheTable) {
    const std::vector<DepthRangeLimits> ranges = Ranges();
    std::vector<Table> tables;
    for (const DepthRangeLimits& r : ranges) {
        tables.push_back(Build(r));
    }
    const RawPacking packings[] = {RawPacking::kRaw12, RawPacking::kMsb12, RawPacking::kIso12,
                                   RawPacking::kY16, RawPacking::kSplit};
    EachTarget::Run([&] {
        for (const RawPacking packing : packings) {
            for (const size_t count : {size_t{4}, size_t{36}, size_t{644}, size_t{8228}}) {
                const Pixels raw = SomeValues(count, static_cast<uint32_t>(count));
                const Bytes payload = Pack(packing, raw);
                const uint8_t* second = payload.data() + payload.size() / 2;
                Pixels out(count);
                UnpackPixels(packing, payload.data(), second, count, nullptr, out.data());
                ASSERT_EQ(out, raw) << static_cast<int>(packing) << " IR " << count;
                if (count < 4096) {
                    continue;
                }
                for (const Table& t : tables) {
                    UnpackPixels(packing, payload.data(), second, count, &t.lut, out.data());
                    ASSERT_EQ(out, Lookup(raw, t.entries.data()))
                        << static_cast<int>(packing) << " depthMax " << t.lut.scale * 4096;
                    Pixels portable(count);
                    UnpackPixelsPortable(packing, payload.data(), second, count, &t.lut,
                                         portable.data());
                    ASSERT_EQ(portable, out);
                }
            }
        }
    });
}

// The re-arrangements of combined payloads, as their definitions state them, on a copy.
Bytes RowSplitCopy(const Bytes& payload, size_t rows, size_t rowBytes) {
    Bytes out(payload.size());
    const size_t half = rowBytes / 2;
    for (size_t r = 0; r < rows; ++r) {
        std::copy_n(payload.begin() + r * rowBytes, half, out.begin() + r * half);
        std::copy_n(payload.begin() + r * rowBytes + half, half,
                    out.begin() + payload.size() / 2 + r * half);
    }
    return out;
}

Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (uint8_t& b : out) {
        b = static_cast<uint8_t>(rng());
    }
    return out;
}

struct Decoded {
    Pixels depth = Pixels(kTofWidth * 480);
    Pixels ir = Pixels(kTofWidth * 480);
};

TEST(Layouts, RowSplitMatchesTheLiteralRearrangement) {
    const Table t = Build({5000, 4800, 300, 11});
    struct Case {
        RawPacking packing;
        uint32_t rows;
        uint32_t rowBytes;
    };
    for (const Case c : {Case{RawPacking::kMsb12, 480, 1920}, Case{RawPacking::kMsb12, 360, 1920},
                         Case{RawPacking::kY16, 480, 2560}, Case{RawPacking::kY16, 360, 2560}}) {
        const Bytes payload = RandomBytes(size_t{c.rows} * c.rowBytes, c.rows + c.rowBytes);
        const Bytes copy = RowSplitCopy(payload, c.rows, c.rowBytes);
        const size_t pixels = size_t{kTofWidth} * c.rows;
        Decoded expected;
        UnpackPixelsPortable(c.packing, copy.data(), nullptr, pixels, &t.lut,
                             expected.depth.data());
        UnpackPixelsPortable(c.packing, copy.data() + copy.size() / 2, nullptr, pixels, nullptr,
                             expected.ir.data());
        Decoded out;
        DecodeRowSplit(payload.data(), c.packing, c.rows, c.rowBytes, t.lut, out.depth.data(),
                       out.ir.data());
        EXPECT_EQ(out.depth, expected.depth) << c.rows << "x" << c.rowBytes;
        EXPECT_EQ(out.ir, expected.ir) << c.rows << "x" << c.rowBytes;
    }
}

TEST(Layouts, ColumnSplitMatchesTheLiteralRearrangement) {
    const Table t = Build({7500, 7400, 500, 0});
    const Bytes payload = RandomBytes(921600, 3);
    Bytes a;
    Bytes b;
    for (size_t row = 0; row < payload.size() / 960; ++row) {
        a.insert(a.end(), payload.begin() + row * 960, payload.begin() + row * 960 + 480);
        b.insert(b.end(), payload.begin() + row * 960 + 480, payload.begin() + row * 960 + 960);
    }
    Decoded expected;
    UnpackPixelsPortable(RawPacking::kSplit, a.data(), a.data() + a.size() / 2, kTofWidth * 480,
                         &t.lut, expected.depth.data());
    UnpackPixelsPortable(RawPacking::kSplit, b.data(), b.data() + b.size() / 2, kTofWidth * 480,
                         nullptr, expected.ir.data());
    Decoded out;
    DecodeColumnSplit(payload.data(), payload.size(), t.lut, out.depth.data(), out.ir.data());
    EXPECT_EQ(out.depth, expected.depth);
    EXPECT_EQ(out.ir, expected.ir);
}

TEST(Layouts, PairInterleaveMatchesTheLiteralRearrangement) {
    const Table t = Build({3000, 2800, 200, 40});
    const Bytes payload = RandomBytes(691200, 5);
    const size_t half = payload.size() / 2;
    Bytes interleaved(payload.size());
    for (size_t j = 0; j < payload.size() / 4; ++j) {
        interleaved[4 * j] = payload[2 * j];
        interleaved[4 * j + 1] = payload[half + 2 * j];
        interleaved[4 * j + 2] = payload[2 * j + 1];
        interleaved[4 * j + 3] = payload[half + 2 * j + 1];
    }
    const Bytes copy = RowSplitCopy(interleaved, 360, 1920);
    Decoded expected;
    UnpackPixelsPortable(RawPacking::kRaw12, copy.data(), nullptr, kTofWidth * 360, &t.lut,
                         expected.depth.data());
    UnpackPixelsPortable(RawPacking::kRaw12, copy.data() + half, nullptr, kTofWidth * 360,
                         nullptr, expected.ir.data());
    Decoded out;
    DecodePairInterleaved(payload.data(), payload.size(), t.lut, out.depth.data(),
                          out.ir.data());
    EXPECT_EQ(out.depth, expected.depth);
    EXPECT_EQ(out.ir, expected.ir);
}

struct HoleCase {
    const char* name;
    uint32_t width;
    uint32_t height;
    Pixels before;
    Pixels after;
};

TEST(Qvga, HoleFillOnHandCheckedPatterns) {
    const HoleCase cases[] = {
        // Three valid diagonals: the last examined (bottom-left) wins; top is not looked at.
        {"diagonals", 3, 3, {5, 9, 6, 0, 0, 0, 7, 0, 0}, {5, 9, 6, 0, 7, 0, 7, 0, 0}},
        // Two diagonals, then top (invalid) and left: left wins, right is not looked at.
        {"left", 3, 3, {5, 0, 0, 3, 0, 4, 0, 0, 8}, {5, 0, 0, 3, 3, 4, 0, 0, 8}},
        // Only two valid neighbours: stays a hole.
        {"two", 3, 3, {5, 0, 0, 0, 0, 0, 0, 0, 8}, {5, 0, 0, 0, 0, 0, 0, 0, 8}},
        // The second pass fills (2,1) from (1,1), which the first pass filled; a pixel filled
        // in a pass does not count as valid within that pass.
        {"two passes",
         5,
         3,
         {1, 2, 0, 0, 0, 6, 0, 0, 0, 0, 3, 5, 0, 0, 0},
         {1, 2, 0, 0, 0, 6, 2, 2, 0, 0, 3, 5, 0, 0, 0}},
    };
    for (const HoleCase& c : cases) {
        Pixels image = c.before;
        std::vector<uint8_t> mask(image.size());
        std::vector<uint8_t> copy(image.size());
        FillHoles(image.data(), c.width, c.height, mask.data(), copy.data());
        EXPECT_EQ(image, c.after) << c.name;
    }
}

TEST(Qvga, DoublingInterpolatesCloseNeighboursAndRepeatsTheRest) {
    // (0,0): 320 with right 322 and below 318, both within 320/32 = 10: interpolated.
    // (1,0): below is 0; (0,1), (1,1): last row: repeated.
    const Pixels close = {320, 322, 318, 0};
    Pixels out(16);
    DoubleImage(close.data(), 2, 2, out.data());
    EXPECT_EQ(out, (Pixels{320, 321, 322, 322,  //
                           319, 320, 322, 322,  //
                           318, 318, 0, 0,      //
                           318, 318, 0, 0}));
    // 100 and 103 differ by 3, not less than 100/32 = 3: repeated.
    const Pixels far = {100, 102, 103, 1};
    DoubleImage(far.data(), 2, 2, out.data());
    EXPECT_EQ(out, (Pixels{100, 100, 102, 102,  //
                           100, 100, 102, 102,  //
                           103, 103, 1, 1,      //
                           103, 103, 1, 1}));
}

}  // namespace
}  // namespace quorix
