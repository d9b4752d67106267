// The WDR fusion: sorting, transfer bands, the classification tables and the per-pixel
// choice between the ranges' depths.
#include "imaging/WdrFusion.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/Status.h"
#include "log/Log.h"

namespace quorix {

namespace {

constexpr uint32_t kMaxRange = 8;

// What a pixel of a class triple becomes. The 4 x 8 x 4 choice table is indexed by
// near class x 32 + mid class x 4 + far class.
enum Choice : uint8_t {
    kZero,
    kNear,
    kMid,
    kFar,
    kMeanMidFar,
    kMeanMidNear,
    kMeanFarNear,
    kWrong,  // a triple the bands cannot produce: 0, and logged
};

constexpr size_t ChoiceIndex(uint32_t a, uint32_t b, uint32_t c) {
    return a * 32 + b * 4 + c;
}

bool In(uint32_t k, std::initializer_list<uint32_t> set) {
    return std::find(set.begin(), set.end(), k) != set.end();
}

// Three ranges: the near range below its band wins, then the mid range between the bands,
// then the far range above its band; the other triples by their key a·256 + b·16 + c.
Choice ChoiceOfThree(uint32_t a, uint32_t b, uint32_t c) {
    if (a == 1) {
        return kNear;
    }
    if (b == 4) {
        return kMid;
    }
    if (c == 3) {
        return kFar;
    }
    const uint32_t k = a * 256 + b * 16 + c;
    if (In(k, {0, 97, 512, 513, 514, 592, 608, 609, 769, 770, 784, 785, 786, 787, 848, 864, 865})) {
        return kZero;
    }
    if (In(k, {1, 2})) {
        return kFar;
    }
    if (In(k, {16, 32, 80, 96})) {
        return kMid;
    }
    if (k == 768) {
        return kNear;
    }
    if (In(k, {17, 18, 33, 34, 81, 82, 98, 849, 850, 866})) {
        return kMeanMidFar;
    }
    if (In(k, {528, 529, 530, 544, 545, 546, 593, 594, 800, 801, 802})) {
        return kMeanMidNear;
    }
    if (k == 610) {
        return kMeanFarNear;
    }
    return kWrong;
}

// Two ranges, by near class (row) and mid class (column).
constexpr Choice kChoiceOfTwo[4][4] = {
    {kZero, kMid, kMid, kMid},
    {kNear, kNear, kNear, kNear},
    {kNear, kMeanMidNear, kMeanMidNear, kMid},
    {kNear, kZero, kMeanMidNear, kMid},
};

}  // namespace

void SortWdrRanges(WDROutputMode& mode) {
    struct Entry {
        uint32_t range;
        uint8_t count;
    };
    Entry e[3] = {{mode.range1, mode.range1Count},
                  {mode.range2, mode.range2Count},
                  {mode.range3, mode.range3Count}};
    const size_t used = mode.totalRange == 3 ? 3 : 2;
    std::stable_sort(e, e + used, [](const Entry& x, const Entry& y) { return x.range < y.range; });
    mode.range1 = e[0].range;
    mode.range1Count = e[0].count;
    mode.range2 = e[1].range;
    mode.range2Count = e[1].count;
    mode.range3 = e[2].range;
    mode.range3Count = e[2].count;
}

bool WdrTransferBand(uint32_t lowerMax, uint32_t upperMin, uint32_t& low, uint32_t& high) {
    const int64_t overlap = int64_t{lowerMax} - upperMin;
    if (overlap > 200) {
        const uint32_t centre = (lowerMax + upperMin) / 2;
        low = centre - 100;
        high = centre + 100;
        return true;
    }
    if (overlap > 20) {
        low = upperMin + 2;
        high = lowerMax - 2;
        return true;
    }
    return false;
}

int32_t DeriveWdrBands(const WDROutputMode& sorted, const WdrLimits* limits, WdrBands& bands) {
    if (sorted.totalRange != 2 && sorted.totalRange != 3) {
        QLOG_WARN("the WDR total range %u is neither 2 nor 3.\n", sorted.totalRange);
        return kStatusBadParameter;
    }
    const bool three = sorted.totalRange == 3;
    const uint32_t top = three ? sorted.range3 : sorted.range2;
    if (top > kMaxRange || sorted.range1 == sorted.range2 ||
        (three && sorted.range2 == sorted.range3)) {
        // A range above 8 has no table; a range twice would never fill its second store.
        QLOG_WARN("the WDR ranges %u %u %u are not %u different ranges of 0..8.\n", sorted.range1,
                  sorted.range2, sorted.range3, sorted.totalRange);
        return kStatusBadParameter;
    }
    if (limits == nullptr) {
        return 0;
    }
    WdrBands b;
    b.near = limits[0];
    b.mid = limits[1];
    b.far = three ? limits[2] : WdrLimits{};
    if (!WdrTransferBand(b.near.max, b.mid.min, b.low1, b.high1)) {
        QLOG("the WDR near and mid range transfer is too small\n");
        return kStatusBadParameter;
    }
    if (three && !WdrTransferBand(b.mid.max, b.far.min, b.low2, b.high2)) {
        QLOG("the WDR mid and far range transfer is too small\n");
        return kStatusBadParameter;
    }
    bands = b;
    return 0;
}

WdrFusion::WdrFusion() : m_tables(new uint8_t[3 * kTableEntries]()) {
    for (auto& store : m_stores) {
        store.reset(new uint16_t[kStorePixels]());
    }
}

void WdrFusion::SetMode(const WDROutputMode& sorted, const WdrBands& bands) {
    std::lock_guard guard(m_lock);
    m_mode = sorted;
    m_bands = bands;
    m_hasMode = true;
    m_storedPixels.fill(0);
    BuildTables();
}

void WdrFusion::ClearMode() {
    std::lock_guard guard(m_lock);
    m_hasMode = false;
    m_storedPixels.fill(0);
}

void WdrFusion::Restart() {
    std::lock_guard guard(m_lock);
    m_storedPixels.fill(0);
}

void WdrFusion::BuildTables() {
    const WdrBands& b = m_bands;
    const bool three = m_mode.totalRange == 3;
    uint8_t* nearT = m_tables.get();
    uint8_t* midT = nearT + kTableEntries;
    uint8_t* farT = midT + kTableEntries;
    for (uint32_t v = 0; v < kTableEntries; ++v) {
        nearT[v] = v > b.near.max ? 0 : v < b.low1 ? 1 : v <= b.high1 ? 2 : 3;
        if (three) {
            midT[v] = (v < b.mid.min || v > b.mid.max) ? 0
                      : v < b.low1                     ? 1
                      : v <= b.high1                   ? 2
                      : v < b.low2                     ? 4
                      : v <= b.high2                   ? 5
                                                       : 6;
            farT[v] = v < b.far.min ? 0 : v < b.low2 ? 1 : v <= b.high2 ? 2 : 3;
        } else {
            // With two ranges the mid range has no upper limit: above the band is class 3.
            midT[v] = v < b.mid.min ? 0 : v < b.low1 ? 1 : v <= b.high1 ? 2 : 3;
            farT[v] = 0;
        }
    }
    m_choice.fill(kWrong);
    for (uint32_t a = 0; a < 4; ++a) {
        for (uint32_t m = 0; m < 8; ++m) {
            for (uint32_t c = 0; c < 4; ++c) {
                if (three) {
                    m_choice[ChoiceIndex(a, m, c)] = m < 7 ? ChoiceOfThree(a, m, c) : kWrong;
                } else if (m < 4 && c == 0) {
                    m_choice[ChoiceIndex(a, m, c)] = kChoiceOfTwo[a][m];
                }
            }
        }
    }
}

uint32_t WdrFusion::SlotOf(uint32_t range) const {
    if (range == m_mode.range1) {
        return 0;
    }
    if (range == m_mode.range2) {
        return 1;
    }
    if (m_mode.totalRange == 3 && range == m_mode.range3) {
        return 2;
    }
    return 3;
}

WdrFusion::Outcome WdrFusion::Collect(Frame& depth, bool fuse) {
    if (m_warmUp < kWarmUpFrames) {
        ++m_warmUp;
        return Outcome::kIgnored;
    }
    if (!fuse) {
        return Outcome::kIgnored;
    }
    std::lock_guard guard(m_lock);
    const uint32_t slot = m_hasMode ? SlotOf(depth.depthRange) : 3;
    const size_t pixels = depth.dataLen / 2;
    if (slot > 2 || pixels == 0 || pixels > kStorePixels || depth.pFrameData == nullptr) {
        return Outcome::kIgnored;
    }
    memcpy(m_stores[slot].get(), depth.pFrameData, pixels * 2);
    m_storedPixels[slot] = static_cast<uint32_t>(pixels);
    const uint32_t used = m_mode.totalRange == 3 ? 3 : 2;
    for (uint32_t s = 0; s < used; ++s) {
        // A range not yet delivered (or delivered at another size) would fuse in zeros.
        if (m_storedPixels[s] != pixels) {
            return Outcome::kStored;
        }
    }
    FuseLocked(reinterpret_cast<uint16_t*>(depth.pFrameData), pixels);
    return Outcome::kFused;
}

void WdrFusion::Store(uint32_t slot, const uint16_t* depth, size_t pixels) {
    std::lock_guard guard(m_lock);
    if (slot > 2 || pixels > kStorePixels) {
        return;
    }
    memcpy(m_stores[slot].get(), depth, pixels * 2);
    m_storedPixels[slot] = static_cast<uint32_t>(pixels);
}

void WdrFusion::Fuse(uint16_t* out, size_t pixels) const {
    std::lock_guard guard(m_lock);
    FuseLocked(out, std::min<size_t>(pixels, kStorePixels));
}

void WdrFusion::FuseLocked(uint16_t* out, size_t pixels) const {
    const uint8_t* nearT = m_tables.get();
    const uint8_t* midT = nearT + kTableEntries;
    const uint8_t* farT = midT + kTableEntries;
    const uint16_t* n = m_stores[0].get();
    const uint16_t* m = m_stores[1].get();
    const uint16_t* f = m_stores[2].get();
    const bool three = m_mode.totalRange == 3;
    size_t wrong = 0;
    for (size_t i = 0; i < pixels; ++i) {
        const uint32_t nv = n[i];
        const uint32_t mv = m[i];
        const uint32_t fv = three ? f[i] : 0;
        const uint32_t index = nearT[nv] * 32u + midT[mv] * 4u + (three ? farT[fv] : 0u);
        const uint16_t candidates[8] = {0,
                                        static_cast<uint16_t>(nv),
                                        static_cast<uint16_t>(mv),
                                        static_cast<uint16_t>(fv),
                                        static_cast<uint16_t>((mv + fv) >> 1),
                                        static_cast<uint16_t>((mv + nv) >> 1),
                                        static_cast<uint16_t>((fv + nv) >> 1),
                                        0};
        const uint8_t choice = m_choice[index];
        wrong += choice == kWrong ? 1 : 0;
        out[i] = candidates[choice];
    }
    if (wrong != 0) {
        // Once per frame, not per pixel: a wrong table would otherwise flood the log.
        QLOG("the WDR Fusion function is wrong. This shouldn't happen\n");
    }
}

uint8_t WdrFusion::ClassOf(uint32_t table, uint16_t v) const {
    std::lock_guard guard(m_lock);
    return table < 3 ? m_tables[table * kTableEntries + v] : 0;
}

WdrBands WdrFusion::Bands() const {
    std::lock_guard guard(m_lock);
    return m_bands;
}

}  // namespace quorix
