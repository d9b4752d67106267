// TofDecode: the worker thread that turns raw ToF records into 16-bit depth and IR frames
// through one decode table per depth range, hands them to the pre-processing library for
// rotation and filtering, and queues them for the synchroniser.
//
// Threads: the session thread calls the setters while the stream runs; only the TofDecode
// thread decodes. Tables and records are guarded by one lock that is never held while the
// pre-processing library is called; modes and switches are atomics.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "imaging/DepthDecodeTable.h"
#include "imaging/TofUnpack.h"
#include "imaging/WDROutputMode.h"
#include "imaging/WdrFusion.h"
#include "pipeline/Frame.h"
#include "pipeline/FrameQueue.h"
#include "pipeline/Producer.h"
#include "pipeline/StoppableThread.h"
#include "quorix/quorix_api.h"

namespace quorix {

class ImgPreProcess;
struct RawType;

// Measuring-range record of one group of three depth ranges (near, mid, far slots).
using MeasuringRange = NsMeasuringRange;

// Depth-offset record of one group (19 bytes); the near, mid and far offsets are the
// little-endian 16-bit values at bytes 5, 11 and 17.
struct RangeOffset {
    uint8_t bytes[19] = {};

    uint16_t Offset(uint32_t slot) const { return ReadLe16(bytes + 5 + 6 * slot); }
};

// Frame mode kept for depth and IR: width, height, frames per second.
struct TofFrameMode {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t fps = 0;
};

// Raw sub-packet header: type, 24-bit little-endian payload length, depth range of WDR frames.
inline constexpr size_t kRawHeaderBytes = 5;

inline constexpr uint32_t kDepthRangeCount = 9;
inline constexpr uint32_t kWdrPairRange = 256;  // SetValidDepth for the WDR pair
inline constexpr uint8_t kDataModeWdr = 11;

class TofDecode : public StoppableThread {
public:
    // Runs after each depth frame decoded in the WDR data mode (11): the fusion collects
    // the frame there. Set it before Start(); by default nothing happens.
    using WdrCollector = std::function<void(Frame& depth)>;

    // `producer` gives the raw records and is told of queued frames; `preProcess` may be
    // null (rotation and filtering are then skipped). Neither is owned.
    TofDecode(Producer* producer, ImgPreProcess* preProcess);
    ~TofDecode() override;

    // --- settings (session thread) ------------------------------------------------------
    // Stores group g's record and rebuilds the tables of ranges 3g..3g+2.
    int32_t SetMeasuringRange(uint32_t group, const MeasuringRange& record);
    // Stores group g's offsets; the tables are rebuilt by the next SetMeasuringRange.
    int32_t SetRangeOffset(uint32_t group, const RangeOffset& record);
    MeasuringRange GetMeasuringRange(uint32_t range) const;
    // effectDepthMax (or Min) of the range's slot plus its offset, in 16 bits; 0 if invalid.
    uint16_t GetEffectMaxDepth(uint32_t range) const;
    uint16_t GetEffectMinDepth(uint32_t range) const;
    int32_t InitDepthDecodeTab(uint32_t range);
    // The range's table, or null. The storage lives as long as this object; its content
    // changes when the range's measuring range is set again.
    const uint16_t* GetDepthDecodeTab(uint32_t range) const;

    int32_t SetFrameMode(uint32_t frameType, const TofFrameMode& mode);
    TofFrameMode GetFrameMode(uint32_t frameType) const;

    // Leaving a WDR data mode (11-13) sends the current range's limits to the filters again.
    void SetDataMode(uint8_t mode);
    uint8_t GetDataMode() const { return m_dataMode.load(); }
    // Also sends the range's limits to the depth filters, so they follow every change.
    void SetDepthRange(uint32_t range);
    uint32_t GetDepthRange() const { return m_depthRange.load(); }
    // 0, 1 or 2 rotate; anything else (default 0xFFFF) does not.
    void SetRotateType(uint16_t rotateType) { m_rotateType.store(rotateType); }
    uint16_t GetRotateType() const { return m_rotateType.load(); }
    void SetTofDecodeEnabled(bool enabled) { m_decodeEnabled.store(enabled); }
    bool GetTofDecodeEnabled() const { return m_decodeEnabled.load(); }
    // Raised by the session before it changes the data mode: records of the old mode are
    // dropped, and the flag clears itself.
    void SetModeChangePending(bool pending) { m_modeChangePending.store(pending); }
    bool GetModeChangePending() const { return m_modeChangePending.load(); }
    // Appends each delivered depth frame to "decode_buf_<frame index>.bin".
    void SetSaveDecodedDepthEnabled(bool enabled) { m_saveDecoded.store(enabled); }
    // Folder of the saved files (default: the working directory). Set before Start().
    void SetSaveFolder(const std::string& folder) { m_saveFolder = folder; }

    // WDR style: 1 delivers each range frame by itself, 0 fuses them. Only in data mode 11
    // (-1 otherwise); style 0 sends the WDR pair's limits to the filters.
    int32_t SetWDRStyle(uint32_t style);
    uint32_t GetWDRStyle() const { return m_wdrStyle.load(); }
    // Sorts the ranges of `mode` in place (each keeps its frame count), checks it, and
    // stores it: it gives the WDR pair's limits and the fusion's bands and tables. Refused
    // with -15 (nothing stored) when the ranges are not 2 or 3 different ones of 0..8, or
    // when their measuring ranges are known and a transfer band is too small. While they
    // are unknown the bands wait for SetMeasuringRange.
    int32_t SetWDRMode(WDROutputMode& mode);
    // The same sorting and checks without storing anything.
    int32_t CheckWDRMode(WDROutputMode& mode) const;
    WDROutputMode GetWDRMode() const;
    const WdrFusion& Fusion() const { return m_fusion; }
    void SetWdrCollector(WdrCollector collector) { m_wdrCollector = std::move(collector); }
    // Set by the QVGA decoders in the WDR mode; the fusion clears it and then skips the
    // post-processing of the fused frame.
    bool GetSkipPostProcAfterFusion() const { return m_skipPostProcAfterFusion; }
    void SetSkipPostProcAfterFusion(bool skip) { m_skipPostProcAfterFusion = skip; }

    // Sends a range's depth limits (or, for 256, the WDR pair's) to the depth filters:
    // (range, effective max of the far range, effective min of the near range). -1 when a
    // range is above 8 or there is no pre-processing library.
    int32_t SetValidDepth(uint32_t range);
    // Filters the given frames (either may be null); -1 without a pre-processing library.
    int32_t postProcFrame(Frame* depth, Frame* ir);

    // --- decoding (TofDecode thread; public for tests) ----------------------------------
    // Decodes one sub-packet (header and payload, `available` bytes readable) into the
    // frames (null frames are not decoded). Returns the bytes consumed (payload + 5), or 0
    // when nothing was decoded; `decoded` receives the frame-set bits that were filled.
    uint32_t DecodeADI(const uint8_t* packet, size_t available, Frame* depth, Frame* ir,
                       uint32_t* decoded = nullptr);
    // Decodes every image sub-packet of a raw record, walking them by their lengths within
    // the record; a frame kind is filled at most once. Returns the frame-set bits filled.
    uint32_t DecodeRecord(const Frame& raw, Frame* depth, Frame* ir);

    FrameQueue& DepthQueue() { return *m_depthQueue; }
    FrameQueue& IRQueue() { return *m_irQueue; }

protected:
    void Run() override;

private:
    struct SubPacket;
    using DecodeFn = uint32_t (TofDecode::*)(const SubPacket&);
    // The decoder of a row's layout and packing; null when it has none.
    static DecodeFn DecoderOf(const RawType& type);

    // Decoders named after the layouts they read; each returns the frame-set bits filled.
    uint32_t DecodeDepth(const SubPacket& p);           // RAW12, depth or IR
    uint32_t DecodeDepth_(const SubPacket& p);          // MSB12, depth or IR
    uint32_t DecodeDepth__(const SubPacket& p);         // Y16, depth or IR
    uint32_t Decode_DEPTH_ISO_Y12(const SubPacket& p);  // ISO12 depth
    uint32_t DecodeYUYVDepth(const SubPacket& p);       // split depth
    uint32_t DecodeYUYVIR(const SubPacket& p);          // split IR
    uint32_t DecodeY12DepthAndIR(const SubPacket& p);   // RAW12 halves
    uint32_t DecodeYUYVDepthAndIR(const SubPacket& p);  // column split
    uint32_t DecodePairInterleavedDepthAndIR(const SubPacket& p);
    uint32_t DecodeRowSplitDepthAndIR(const SubPacket& p);
    uint32_t DecodeQVGADepth(const SubPacket& p);
    uint32_t DecodeQVGADepthAndIR(const SubPacket& p);
    uint32_t DecodeQVGAY16(const SubPacket& p);

    uint32_t DecodeSingleImage(const SubPacket& p);
    // Decodes a combined payload with decode(lut, depthPixels, irPixels); null outputs are
    // not wanted.
    template <class Decode>
    uint32_t DecodeCombined(const SubPacket& p, const Decode& decode);
    // Runs `use(lut)` under the table lock; false (logged) when the range has no table.
    template <class Use>
    bool WithDepthLut(uint32_t range, const Use& use);
    // Sets size, length, format and range, then rotates the types that rotate.
    bool FinishFrame(const SubPacket& p, Frame& frame, bool depth, uint32_t width,
                     uint32_t height) const;
    bool RotateFrame(Frame& frame, bool logRotation) const;
    bool FillQvgaDepth(const uint8_t* payload, Frame& depth);
    bool ResizeAndDecodeY16(const SubPacket& p, const uint8_t* payload, Frame& frame, bool depth);
    void AfterDecode(const SubPacket& p, uint32_t decoded);
    void CollectWdr(Frame& depth);
    // The effective limits of the mode's ranges (near, mid, far); false while a range in use
    // has no table.
    bool WdrLimitsOf(const WDROutputMode& mode, WdrLimits limits[3]) const;
    // Derives the stored mode's bands again (its ranges' limits may have changed).
    void RederiveWdr();

    // Thread loop pieces.
    bool EnsureFrames();
    void HandOn(const Frame& raw, Frame*& frame, FrameQueue& queue, int32_t poolType, uint8_t kind);
    void SaveDecodedDepth(const Frame& raw, const Frame& depth) const;
    void DropRawRecords();

    struct Slot {
        uint16_t depthMax;
        uint16_t effectDepthMax;
        uint16_t effectDepthMin;
        uint16_t offset;
    };
    Slot SlotLocked(uint32_t range) const;
    uint16_t EffectDepth(uint32_t range, bool max) const;

    Producer* const m_producer;
    ImgPreProcess* const m_preProcess;

    mutable std::mutex m_lock;  // records, tables, frame modes, WDR mode
    std::array<MeasuringRange, 3> m_measuringRanges{};
    std::array<RangeOffset, 3> m_rangeOffsets{};
    std::unique_ptr<uint16_t[]> m_tables;  // kDepthRangeCount tables, allocated once
    std::array<DepthLut, kDepthRangeCount> m_luts{};
    std::array<bool, kDepthRangeCount> m_hasTable{};
    TofFrameMode m_depthFrameMode{};
    TofFrameMode m_irFrameMode{};
    WDROutputMode m_wdrMode{};

    std::atomic<uint8_t> m_dataMode{0};
    std::atomic<uint32_t> m_depthRange{0};
    std::atomic<uint16_t> m_rotateType{0xFFFF};
    std::atomic<bool> m_decodeEnabled{true};
    std::atomic<bool> m_modeChangePending{false};
    std::atomic<bool> m_saveDecoded{false};
    std::atomic<uint32_t> m_wdrStyle{1};
    std::string m_saveFolder;
    WdrCollector m_wdrCollector;
    bool m_skipPostProcAfterFusion = false;  // TofDecode thread only
    WdrFusion m_fusion;

    std::unique_ptr<FrameQueue> m_depthQueue;
    std::unique_ptr<FrameQueue> m_irQueue;
    Frame* m_depthFrame = nullptr;  // frames being filled (TofDecode thread)
    Frame* m_irFrame = nullptr;

    // QVGA work buffers: the image and two validity masks.
    std::unique_ptr<uint16_t[]> m_qvga;
    std::unique_ptr<uint8_t[]> m_qvgaMask;
};

}  // namespace quorix
