// WdrFusion: the wide-dynamic-range fusion of TofDecode. In data mode 11 the camera takes
// its depth frames in two or three ranges in turn; the latest frame of each range is kept,
// and once every range in use has delivered one, the frames are fused pixel by pixel into
// one depth frame, using transfer bands where neighbouring ranges overlap.
//
// Threads: SetMode runs on the session's thread, Collect on the TofDecode thread; one lock
// guards the tables and the stores (a mode change never meets a fusion half-way).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "imaging/WDROutputMode.h"
#include "pipeline/Frame.h"

namespace quorix {

// The effective depths of one range (millimetres, offsets included).
struct WdrLimits {
    uint32_t max = 0;
    uint32_t min = 0;
};

// What a mode's classification is derived from: the limits of the sorted ranges and the
// two transfer bands [low, high] (near/mid, and mid/far with three ranges).
struct WdrBands {
    WdrLimits near;
    WdrLimits mid;
    WdrLimits far;
    uint32_t low1 = 0;
    uint32_t high1 = 0;
    uint32_t low2 = 0;
    uint32_t high2 = 0;
};

// Sorts the ranges in use (two or three) ascending; each range keeps its frame count.
void SortWdrRanges(WDROutputMode& mode);

// The band where a lower range (effective max `lowerMax`) hands over to an upper one
// (effective min `upperMin`): 200 mm around the middle of a wide overlap, the overlap less
// 2 mm at either end for a narrow one. False when they overlap by 20 mm or less.
bool WdrTransferBand(uint32_t lowerMax, uint32_t upperMin, uint32_t& low, uint32_t& high);

// Checks a sorted mode: two or three ranges, each 0..8 and all different. With `limits`
// (near, mid, far; null while the camera's measuring ranges are unknown) the bands are
// derived into `bands` too. 0, or -15 with a log line naming what is wrong.
int32_t DeriveWdrBands(const WDROutputMode& sorted, const WdrLimits* limits, WdrBands& bands);

// The per-pixel fusion of the near and mid stores (and the far one) into `out`, by the
// bands `b`: the portable loops, and the path the processor offers, chosen at run time,
// which gives the same values.
void FuseTwoRangesPortable(const uint16_t* n, const uint16_t* m, uint16_t* out, size_t pixels,
                           const WdrBands& b);
void FuseThreeRangesPortable(const uint16_t* n, const uint16_t* m, const uint16_t* f, uint16_t* out,
                             size_t pixels, const WdrBands& b);
void FuseTwoRanges(const uint16_t* n, const uint16_t* m, uint16_t* out, size_t pixels,
                   const WdrBands& b);
void FuseThreeRanges(const uint16_t* n, const uint16_t* m, const uint16_t* f, uint16_t* out,
                     size_t pixels, const WdrBands& b);
// Which instruction set the fusion uses ("portable" without vectors).
const char* WdrFusionTargetName();

class WdrFusion {
public:
    // Depth frames that only start the stream up and are never collected.
    static constexpr uint32_t kWarmUpFrames = 5;
    static constexpr uint32_t kStorePixels = 640 * 480;
    static constexpr uint32_t kTableEntries = 65536;

    enum class Outcome {
        kIgnored,  // warm-up, fusion off, no mode, or a range that is not in use
        kStored,   // kept; some range in use has not delivered a frame yet
        kFused,    // the frame now holds the fused depth
    };

    WdrFusion();

    // Takes a sorted mode with its derived bands and builds the classification tables (the
    // fusion finds the same classes by comparisons, which vectorise where lookups do not).
    // Every stored frame is forgotten: fusion starts again once each range has delivered.
    void SetMode(const WDROutputMode& sorted, const WdrBands& bands);
    // No mode: nothing is collected until the next SetMode.
    void ClearMode();
    // Forgets the stored frames (the stream's ranges start over).
    void Restart();

    // After each depth frame of data mode 11. `fuse` false (style 1) only counts the
    // warm-up. Otherwise the frame goes to its range's store, and once every range in use
    // holds a frame of the frame's size, the fused depth is written into `depth`.
    Outcome Collect(Frame& depth, bool fuse);

    // Fuses the stores into `out` (`pixels` values). Public for tests and the benchmark.
    void Fuse(uint16_t* out, size_t pixels) const;
    // Copies `pixels` values into a range's store (0 near, 1 mid, 2 far) as if collected.
    void Store(uint32_t slot, const uint16_t* depth, size_t pixels);

    // The class of depth v in the near (0), mid (1) or far (2) table of the current mode.
    uint8_t ClassOf(uint32_t table, uint16_t v) const;
    WdrBands Bands() const;

private:
    void BuildTables();
    void FuseLocked(uint16_t* out, size_t pixels) const;
    uint32_t SlotOf(uint32_t range) const;

    mutable std::mutex m_lock;
    WDROutputMode m_mode{};
    WdrBands m_bands{};
    bool m_hasMode = false;
    uint32_t m_warmUp = 0;                // TofDecode thread only
    std::unique_ptr<uint8_t[]> m_tables;  // near, mid, far: kTableEntries classes each
    std::array<std::unique_ptr<uint16_t[]>, 3> m_stores;
    std::array<uint32_t, 3> m_storedPixels{};  // 0 until the range delivered
};

}  // namespace quorix
