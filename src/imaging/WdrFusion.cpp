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

namespace {

// The fusion works on masks that are all ones or all zeros, so that every step is a select
// and the loops vectorise; the classes are those of the tables (BuildTables), found by
// comparisons instead of lookups.
inline uint16_t Mask(bool c) {
    return static_cast<uint16_t>(-static_cast<int>(c));
}
inline uint16_t Pick(uint16_t use, uint16_t yes, uint16_t no) {
    return static_cast<uint16_t>((yes & use) | (no & ~use));
}
// The floor of the mean without a wider type.
inline uint16_t Mean(uint16_t a, uint16_t b) {
    return static_cast<uint16_t>((a & b) + ((a ^ b) >> 1));
}
inline uint16_t Clamp16(uint32_t v) {
    return static_cast<uint16_t>(std::min<uint32_t>(v, 65535));
}

}  // namespace

void FuseTwoRangesPortable(const uint16_t* n, const uint16_t* m, uint16_t* out, size_t pixels,
                           const WdrBands& b) {
    const uint16_t nearMax = Clamp16(b.near.max);
    const uint16_t midMin = Clamp16(b.mid.min);
    const uint16_t low = Clamp16(b.low1);
    const uint16_t high = Clamp16(b.high1);
    for (size_t i = 0; i < pixels; ++i) {
        const uint16_t nv = n[i];
        const uint16_t mv = m[i];
        const uint16_t n0 = Mask(nv > nearMax);
        const uint16_t n1 = Mask(nv < low) & ~n0;
        const uint16_t n3 = Mask(nv > high) & ~n0;
        const uint16_t m0 = Mask(mv < midMin);
        const uint16_t m1 = Mask(mv < low) & ~m0;
        const uint16_t m3 = Mask(mv > high) & ~m0;
        uint16_t v = Mean(nv, mv);  // near 2 with mid 1 or 2, near 3 with mid 2
        v = Pick(n3 & m1, 0, v);    // near above the band, mid below it
        v = Pick(m0, nv, v);        // no mid depth
        v = Pick(m3, mv, v);        // mid above the band
        v = Pick(n0, mv & ~m0, v);  // no near depth: mid, if any
        out[i] = Pick(n1, nv, v);   // near below the band wins
    }
}

// Three ranges: near below its band, then mid between the bands, then far above its band
// win; the other class triples (a, b, c) as listed by their key a·256 + b·16 + c, written
// here as unions of classes. Every triple the tables can give is listed, so none is wrong.
void FuseThreeRangesPortable(const uint16_t* n, const uint16_t* m, const uint16_t* f, uint16_t* out,
                             size_t pixels, const WdrBands& b) {
    const uint16_t nearMax = Clamp16(b.near.max);
    const uint16_t midMin = Clamp16(b.mid.min);
    const uint16_t midMax = Clamp16(b.mid.max);
    const uint16_t farMin = Clamp16(b.far.min);
    const uint16_t l1 = Clamp16(b.low1);
    const uint16_t h1 = Clamp16(b.high1);
    const uint16_t l2 = Clamp16(b.low2);
    const uint16_t h2 = Clamp16(b.high2);
    for (size_t i = 0; i < pixels; ++i) {
        const uint16_t nv = n[i];
        const uint16_t mv = m[i];
        const uint16_t fv = f[i];
        const uint16_t a0 = Mask(nv > nearMax);
        const uint16_t a1 = Mask(nv < l1) & ~a0;
        const uint16_t a2 = Mask(nv >= l1 && nv <= h1) & ~a0;
        const uint16_t a3 = Mask(nv > h1) & ~a0;  // not below l1 either, as l1 <= h1
        const uint16_t b0 = Mask(mv < midMin || mv > midMax);
        const uint16_t b1 = Mask(mv < l1) & ~b0;
        const uint16_t b2 = Mask(mv >= l1 && mv <= h1) & ~b0;
        const uint16_t above1 = Mask(mv >= l1 && mv > h1) & ~b0;
        const uint16_t b4 = above1 & Mask(mv < l2);
        const uint16_t b5 = above1 & Mask(mv >= l2 && mv <= h2);
        const uint16_t b6 = above1 & Mask(mv >= l2 && mv > h2);
        const uint16_t c0 = Mask(fv < farMin);
        const uint16_t c1 = Mask(fv < l2) & ~c0;
        const uint16_t c2 = Mask(fv >= l2 && fv <= h2) & ~c0;
        const uint16_t c3 = Mask(fv >= l2 && fv > h2) & ~c0;
        const uint16_t c12 = c1 | c2;

        const uint16_t farOnly = a0 & b0 & c12;                  // keys 1, 2
        const uint16_t midOnly = a0 & (b1 | b2 | b5 | b6) & c0;  // 16, 32, 80, 96
        const uint16_t nearOnly = a3 & b0 & c0;                  // 768
        const uint16_t midFar = (a0 & (b1 | b2 | b5) & c12) | (a0 & b6 & c2) | (a3 & b5 & c12) |
                                (a3 & b6 & c2);                                   // 17 ... 866
        const uint16_t midNear = (a2 & (b1 | b2)) | (a2 & b5 & c12) | (a3 & b2);  // 528 ... 802
        const uint16_t farNear = a2 & b6 & c2;                                    // 610
        uint16_t v = 0;
        v = Pick(farOnly, fv, v);
        v = Pick(midOnly, mv, v);
        v = Pick(nearOnly, nv, v);
        v = Pick(midFar, Mean(mv, fv), v);
        v = Pick(midNear, Mean(mv, nv), v);
        v = Pick(farNear, Mean(fv, nv), v);
        v = Pick(c3, fv, v);
        v = Pick(b4, mv, v);
        out[i] = Pick(a1, nv, v);
    }
}

void WdrFusion::FuseLocked(uint16_t* out, size_t pixels) const {
    if (m_mode.totalRange == 3) {
        FuseThreeRanges(m_stores[0].get(), m_stores[1].get(), m_stores[2].get(), out, pixels,
                        m_bands);
    } else {
        FuseTwoRanges(m_stores[0].get(), m_stores[1].get(), out, pixels, m_bands);
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
