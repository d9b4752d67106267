// The WDR fusion: range sorting, transfer bands and the modes they refuse, the
// classification tables at their borders, whole frames of two and three ranges against a
// reference written from the fusion rules, and collection (warm-up, every range first).
#include "imaging/WdrFusion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ForEachTarget.h"
#include "log/Log.h"
#include "support/WdrReference.h"

namespace quorix {
namespace {

WDROutputMode Mode(uint32_t total, uint32_t r1, uint32_t r2, uint32_t r3 = 0) {
    WDROutputMode m;
    m.totalRange = total;
    m.range1 = r1;
    m.range1Count = 1;
    m.range2 = r2;
    m.range2Count = 2;
    m.range3 = r3;
    m.range3Count = total == 3 ? 3 : 0;
    return m;
}

// Near 100..1500, mid 1200..3500, far 3000..7000: bands [1250, 1450] and [3150, 3350].
const WdrLimits kLimits[3] = {{1500, 100}, {3500, 1200}, {7000, 3000}};

TEST(WdrRanges, SortEveryRangeInUseWithItsCount) {
    WDROutputMode m = Mode(3, 2, 1, 0);  // the described sort would leave (1, 2, 0)
    SortWdrRanges(m);
    EXPECT_EQ(+m.range1, 0u);
    EXPECT_EQ(+m.range2, 1u);
    EXPECT_EQ(+m.range3, 2u);
    EXPECT_EQ(+m.range1Count, 3);  // each count stays with its range
    EXPECT_EQ(+m.range2Count, 2);
    EXPECT_EQ(+m.range3Count, 1);

    m = Mode(2, 5, 3, 0);  // with two ranges the third is left alone
    SortWdrRanges(m);
    EXPECT_EQ(+m.range1, 3u);
    EXPECT_EQ(+m.range2, 5u);
    EXPECT_EQ(+m.range3, 0u);
    EXPECT_EQ(+m.range1Count, 2);
}

TEST(WdrRanges, TransferBands) {
    uint32_t low = 0;
    uint32_t high = 0;
    ASSERT_TRUE(WdrTransferBand(1500, 1200, low, high));  // wide: 200 mm round the middle
    EXPECT_EQ(low, 1250u);
    EXPECT_EQ(high, 1450u);
    ASSERT_TRUE(WdrTransferBand(1300, 1150, low, high));  // narrow: the overlap less 2 mm
    EXPECT_EQ(low, 1152u);
    EXPECT_EQ(high, 1298u);
    ASSERT_TRUE(WdrTransferBand(1221, 1200, low, high));  // 21 mm is still enough
    EXPECT_FALSE(WdrTransferBand(1220, 1200, low, high));
    EXPECT_FALSE(WdrTransferBand(1000, 1200, low, high));  // no overlap at all
}

TEST(WdrRanges, ModesThatCannotBeFusedAreRefused) {
    WdrBands bands;
    log::Capture capture;
    EXPECT_EQ(DeriveWdrBands(Mode(1, 0, 2), kLimits, bands), -15);
    EXPECT_EQ(DeriveWdrBands(Mode(4, 0, 2, 3), kLimits, bands), -15);
    EXPECT_EQ(DeriveWdrBands(Mode(2, 0, 9), kLimits, bands), -15);
    EXPECT_EQ(DeriveWdrBands(Mode(2, 2, 2), kLimits, bands), -15);
    EXPECT_EQ(DeriveWdrBands(Mode(3, 0, 2, 2), kLimits, bands), -15);
    // Unknown limits: only the ranges are checked.
    EXPECT_EQ(DeriveWdrBands(Mode(3, 0, 1, 2), nullptr, bands), 0);

    const WdrLimits nearTooShort[3] = {{1210, 100}, {3500, 1200}, {7000, 3000}};
    EXPECT_EQ(DeriveWdrBands(Mode(2, 0, 1), nearTooShort, bands), -15);
    EXPECT_EQ(capture.Count("the WDR near and mid range transfer is too small"), 1u);
    const WdrLimits farTooHigh[3] = {{1500, 100}, {3500, 1200}, {7000, 3495}};
    EXPECT_EQ(DeriveWdrBands(Mode(3, 0, 1, 2), farTooHigh, bands), -15);
    EXPECT_EQ(capture.Count("the WDR mid and far range transfer is too small"), 1u);
    // The same limits are fine for two ranges, where the far range plays no part.
    EXPECT_EQ(DeriveWdrBands(Mode(2, 0, 1), farTooHigh, bands), 0);
    ASSERT_EQ(DeriveWdrBands(Mode(3, 0, 1, 2), kLimits, bands), 0);
    EXPECT_EQ(bands.low1, 1250u);
    EXPECT_EQ(bands.high2, 3350u);
}

// Depths that reach every class: each band's borders and their neighbours, 0, the top of
// the u16 range, and a spread of values between.
std::vector<uint16_t> Depths() {
    std::vector<uint16_t> v = {0,    1,    99,   100,  1199, 1200, 1249, 1250, 1251, 1449,
                               1450, 1451, 1499, 1500, 1501, 2999, 3000, 3149, 3150, 3350,
                               3351, 3499, 3500, 3501, 6999, 7000, 7001, 65535};
    uint32_t x = 12345;
    for (int i = 0; i < 38; ++i) {
        x = x * 1103515245u + 12345u;
        v.push_back(static_cast<uint16_t>((x >> 8) % 7600));
    }
    return v;
}

// Near, mid and far depths: every triple of Depths().
struct Triples {
    std::vector<uint16_t> n, m, f;
};
Triples EveryTriple() {
    const std::vector<uint16_t> d = Depths();
    Triples t;
    for (uint16_t a : d) {
        for (uint16_t b : d) {
            for (uint16_t c : d) {
                t.n.push_back(a);
                t.m.push_back(b);
                t.f.push_back(c);
            }
        }
    }
    return t;
}

class WdrFusionTest : public ::testing::Test {
protected:
    void SetMode(const WDROutputMode& mode) {
        WdrBands bands;
        ASSERT_EQ(DeriveWdrBands(mode, kLimits, bands), 0);
        fusion.SetMode(mode, bands);
    }
    WdrFusion fusion;
    test::WdrReference ref{kLimits[0], kLimits[1], kLimits[2], 1250, 1450, 3150, 3350};
};

TEST_F(WdrFusionTest, TablesClassifyAtTheBandBorders) {
    SetMode(Mode(3, 0, 1, 2));
    struct Case {
        uint32_t table;
        uint16_t v;
        uint8_t cls;
    };
    for (const Case c :
         {Case{0, 1501, 0}, Case{0, 1500, 3}, Case{0, 1451, 3}, Case{0, 1450, 2}, Case{0, 1250, 2},
          Case{0, 1249, 1}, Case{0, 0, 1},    Case{1, 1199, 0}, Case{1, 1200, 1}, Case{1, 1250, 2},
          Case{1, 1451, 4}, Case{1, 3150, 5}, Case{1, 3351, 6}, Case{1, 3500, 6}, Case{1, 3501, 0},
          Case{2, 2999, 0}, Case{2, 3000, 1}, Case{2, 3150, 2}, Case{2, 3350, 2}, Case{2, 3351, 3},
          Case{2, 65535, 3}}) {
        EXPECT_EQ(fusion.ClassOf(c.table, c.v), c.cls) << c.table << " " << c.v;
    }
    // Two ranges: the mid range has no upper limit, everything above its band is class 3.
    SetMode(Mode(2, 0, 1));
    EXPECT_EQ(fusion.ClassOf(1, 3501), 3);
    EXPECT_EQ(fusion.ClassOf(1, 1199), 0);
}

TEST_F(WdrFusionTest, TwoRangesMatchTheReference) {
    SetMode(Mode(2, 0, 1));
    const std::vector<uint16_t> d = Depths();
    std::vector<uint16_t> n, m;
    for (uint16_t a : d) {
        for (uint16_t b : d) {
            n.push_back(a);
            m.push_back(b);
        }
    }
    fusion.Store(0, n.data(), n.size());
    fusion.Store(1, m.data(), m.size());
    std::vector<uint16_t> out(n.size(), 0xBEEF);
    fusion.Fuse(out.data(), out.size());
    size_t wrong = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        wrong += out[i] != ref.Two(n[i], m[i]) ? 1 : 0;
    }
    EXPECT_EQ(wrong, 0u);

    // The edge cases by name: near in its lower band wins even over a mid value of 0;
    // near above its range and mid below its range give 0.
    const uint16_t edgeN[2] = {800, 1600};
    const uint16_t edgeM[2] = {0, 1000};
    fusion.Store(0, edgeN, 2);
    fusion.Store(1, edgeM, 2);
    uint16_t edge[2] = {1, 1};
    fusion.Fuse(edge, 2);
    EXPECT_EQ(edge[0], 800);
    EXPECT_EQ(edge[1], 0);
}

TEST_F(WdrFusionTest, ThreeRangesMatchTheReference) {
    SetMode(Mode(3, 0, 1, 2));
    const auto [n, m, f] = EveryTriple();
    ASSERT_LE(n.size(), size_t{WdrFusion::kStorePixels});
    fusion.Store(0, n.data(), n.size());
    fusion.Store(1, m.data(), m.size());
    fusion.Store(2, f.data(), f.size());
    std::vector<uint16_t> out(n.size(), 0xBEEF);
    fusion.Fuse(out.data(), out.size());
    size_t wrong = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        wrong += out[i] != ref.Three(n[i], m[i], f[i]) ? 1 : 0;
    }
    EXPECT_EQ(wrong, 0u);
}

// Every instruction set fuses every class combination (and band limits above 65535) as the
// portable loops do, at every length a vector tail can leave.
TEST(WdrFusionPaths, EveryPathFusesAsThePortableLoops) {
    const auto [n, m, f] = EveryTriple();
    WdrBands bands;
    ASSERT_EQ(DeriveWdrBands(Mode(3, 0, 1, 2), kLimits, bands), 0);
    WdrBands beyond = bands;
    beyond.far.min = 70000;  // clamps to 65535
    beyond.mid.max = 80000;
    std::vector<uint16_t> expected(n.size()), actual(n.size());
    test::ForEachTarget(WdrFusionTargetName, [&] {
        for (const WdrBands& b : {bands, beyond}) {
            for (const size_t pixels : {n.size(), n.size() - 1, size_t{7}, size_t{33}}) {
                SCOPED_TRACE(pixels);
                std::fill(actual.begin(), actual.end(), 0xBEEF);
                FuseTwoRangesPortable(n.data(), m.data(), expected.data(), pixels, b);
                FuseTwoRanges(n.data(), m.data(), actual.data(), pixels, b);
                EXPECT_TRUE(
                    std::equal(expected.begin(), expected.begin() + pixels, actual.begin()));
                if (pixels < actual.size()) {
                    EXPECT_EQ(actual[pixels], 0xBEEF) << "written past the end";
                }
                FuseThreeRangesPortable(n.data(), m.data(), f.data(), expected.data(), pixels, b);
                FuseThreeRanges(n.data(), m.data(), f.data(), actual.data(), pixels, b);
                EXPECT_TRUE(
                    std::equal(expected.begin(), expected.begin() + pixels, actual.begin()));
            }
        }
    });
}

// A depth frame of `pixels` values, all `value`, in `range`.
struct TestFrame {
    std::vector<uint16_t> pixels;
    Frame frame;
    TestFrame(uint32_t range, uint16_t value, size_t count = 16) : pixels(count, value) {
        frame.pFrameData = reinterpret_cast<uint8_t*>(pixels.data());
        frame.dataLen = static_cast<uint32_t>(count * 2);
        frame.capacity = frame.dataLen;
        frame.depthRange = range;
    }
};

TEST_F(WdrFusionTest, CollectionWarmsUpAndFusesOnlyOnceEveryRangeDelivered) {
    WDROutputMode mode = Mode(3, 4, 2, 6);
    SortWdrRanges(mode);  // near 2, mid 4, far 6
    SetMode(mode);
    using O = WdrFusion::Outcome;
    for (uint32_t i = 0; i < WdrFusion::kWarmUpFrames; ++i) {
        TestFrame t(2, 800);
        EXPECT_EQ(fusion.Collect(t.frame, true), O::kIgnored);
    }
    TestFrame near(2, 800);
    EXPECT_EQ(fusion.Collect(near.frame, false), O::kIgnored);  // style 1: nothing kept
    EXPECT_EQ(fusion.Collect(near.frame, true), O::kStored);
    TestFrame other(5, 800);
    EXPECT_EQ(fusion.Collect(other.frame, true), O::kIgnored);  // not a range in use
    TestFrame mid(4, 2000);
    EXPECT_EQ(fusion.Collect(mid.frame, true), O::kStored);  // far still missing
    EXPECT_EQ(mid.pixels[0], 2000);
    TestFrame farSmall(6, 5000, 8);
    EXPECT_EQ(fusion.Collect(farSmall.frame, true), O::kStored);  // another size
    TestFrame far(6, 5000);
    ASSERT_EQ(fusion.Collect(far.frame, true), O::kFused);
    EXPECT_EQ(far.pixels[0], 800);  // near below its band wins

    // A new mode starts over: the old frames are not fused in.
    SetMode(mode);
    TestFrame again(6, 5000);
    EXPECT_EQ(fusion.Collect(again.frame, true), O::kStored);
    EXPECT_EQ(again.pixels[0], 5000);
    fusion.ClearMode();
    EXPECT_EQ(fusion.Collect(again.frame, true), O::kIgnored);
}

}  // namespace
}  // namespace quorix
