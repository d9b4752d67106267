// The one place that proves each packing bit-exact: hand-checked bytes, then every packing
// on every compiled instruction set against the decode table of every range (the vector
// paths evaluate the table's closed form); the decode table's edges; QVGA hole fill and
// doubling on hand-checked patterns.
#include "imaging/TofUnpack.h"

#include <gtest/gtest.h>

#include <random>

#include "ForEachTarget.h"
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
        {1500, 1485, 100, 0},     {1500, 1500, 0, 0},
        {4096, 3000, 100, 7},     {3000, 2800, 200, 40},
        {5000, 4800, 300, 0},     {7500, 7400, 500, 65500},
        {12000, 11000, 800, 12},  {65535, 65535, 0, 0},
        {65535, 60000, 65535, 3}, {1, 0, 0, 0},
        {1000, 0, 2000, 0},       {333, 200, 100, 65535},
    };
    std::mt19937 rng(7);
    for (int i = 0; i < 40; ++i) {
        ranges.push_back(
            {static_cast<uint16_t>(1 + rng() % 65535), static_cast<uint16_t>(rng() % 65536),
             static_cast<uint16_t>(rng() % 65536), static_cast<uint16_t>(rng() % 65536)});
    }
    return ranges;
}

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

    // depthMax 4096 maps raw i to depth i; limits 1.01 x 3000 = 3030 and 0.99 x 100 = 99.
    const Table t = Build({4096, 3000, 100, 7});
    EXPECT_EQ(t.entries[99], 0);
    EXPECT_EQ(t.entries[100], 107);
    EXPECT_EQ(t.entries[3029], 3036);
    EXPECT_EQ(t.entries[3030], 65535);
    // The offset wraps around in 16 bits.
    EXPECT_EQ(Build({4096, 3000, 0, 65530}).entries[10], 4);
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
        test::ForEachTarget(UnpackTargetName, [&] {
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
    test::ForEachTarget(UnpackTargetName, [&] {
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
