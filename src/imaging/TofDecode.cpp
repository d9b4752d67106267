// The ToF decoder thread: type dispatch, per-layout decoders, post-processing hand-over and
// the loop that takes raw records and queues depth and IR frames.
#include "imaging/TofDecode.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "base/Status.h"
#include "imaging/RawDump.h"
#include "imaging/RawTypes.h"
#include "imgproc/ImgPreProcess.h"
#include "log/Log.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;

constexpr uint8_t kDepthBit = kFrameSetDepth;
constexpr uint8_t kIRBit = kFrameSetIR;
constexpr uint8_t kBothBits = kDepthBit | kIRBit;

constexpr size_t kVgaPixels = size_t{kTofWidth} * 480;
constexpr size_t kQvgaBytes = kQvgaPixels * 2;

// RAW12 and ISO12 depth log the size Rotate gave.
bool LogsRotation(const RawType& t) {
    return t.packing == RawPacking::kRaw12 || t.packing == RawPacking::kIso12;
}

// QVGA millimetre depth is never filtered here.
bool IsPostProcessed(const RawType& t) {
    return t.layout != RawLayout::kQvgaMm && t.layout != RawLayout::kQvgaMmAndIR;
}

uint32_t ReadLe24(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16);
}

uint16_t* Pixels(Frame& frame) {
    return reinterpret_cast<uint16_t*>(frame.pFrameData);
}

// True when the frame holds `pixels` 16-bit pixels; the bytes about to be written are
// marked so the pool zeroes them on release even when the decode fails half-way.
bool HasRoom(Frame& frame, size_t pixels) {
    if (frame.pFrameData != nullptr && frame.capacity >= pixels * 2) {
        MarkWritten(frame, pixels * 2);
        return true;
    }
    QLOG_WARN("frame buffer of %u bytes cannot hold %zu pixels.\n", frame.capacity, pixels);
    return false;
}

}  // namespace

struct TofDecode::SubPacket {
    const RawType* info;
    const uint8_t* payload;
    uint32_t length;
    uint8_t mode;         // data mode while decoding
    uint32_t frameRange;  // written to the frames
    uint32_t tableRange;  // picks the decode table
    Frame* depth;         // null: not decoded from this sub-packet
    Frame* ir;
};

// The decoders keep the names of the layouts they read.
TofDecode::DecodeFn TofDecode::DecoderOf(const RawType& t) {
    switch (t.layout) {
        case RawLayout::kSingle:
            switch (t.packing) {
                case RawPacking::kRaw12:
                    return &TofDecode::DecodeDepth;
                case RawPacking::kMsb12:
                    return &TofDecode::DecodeDepth_;
                case RawPacking::kY16:
                    return &TofDecode::DecodeDepth__;
                case RawPacking::kIso12:
                    return &TofDecode::Decode_DEPTH_ISO_Y12;
                case RawPacking::kSplit:
                    return t.content == RawContent::kIR ? &TofDecode::DecodeYUYVIR
                                                        : &TofDecode::DecodeYUYVDepth;
            }
            break;
        case RawLayout::kHalves:
            return &TofDecode::DecodeY12DepthAndIR;
        case RawLayout::kRowSplit:
            return &TofDecode::DecodeRowSplitDepthAndIR;
        case RawLayout::kColumnSplit:
            return &TofDecode::DecodeYUYVDepthAndIR;
        case RawLayout::kPairInterleave:
            return &TofDecode::DecodePairInterleavedDepthAndIR;
        case RawLayout::kQvgaMm:
            return &TofDecode::DecodeQVGADepth;
        case RawLayout::kQvgaMmAndIR:
            return &TofDecode::DecodeQVGADepthAndIR;
        case RawLayout::kQvgaY16:
            return &TofDecode::DecodeQVGAY16;
        case RawLayout::kNone:
            break;
    }
    return nullptr;
}

TofDecode::TofDecode(Producer* producer, ImgPreProcess* preProcess)
    : StoppableThread("TofDecode"),
      m_producer(producer),
      m_preProcess(preProcess),
      m_tables(std::make_unique<uint16_t[]>(kDepthRangeCount * kDepthTableEntries)),
      m_depthQueue(std::make_unique<FrameQueue>(kPoolDepth, kDepthFrames)),
      m_irQueue(std::make_unique<FrameQueue>(kPoolIR, kIRFrames)),
      m_qvga(std::make_unique<uint16_t[]>(kQvgaPixels)),
      m_qvgaMask(std::make_unique<uint8_t[]>(2 * kQvgaPixels)) {
    m_depthFrame = m_depthQueue->AllocFrame(kPoolDepth);
    m_irFrame = m_irQueue->AllocFrame(kPoolIR);
    QLOG("\n");
}

TofDecode::~TofDecode() {
    Stop();
    Join();
    m_depthQueue->Release(m_depthFrame);
    m_irQueue->Release(m_irFrame);
}

// --- records and tables -------------------------------------------------------------------

TofDecode::Slot TofDecode::SlotLocked(uint32_t range) const {
    const MeasuringRange& r = m_measuringRanges[range / 3];
    const uint32_t slot = range % 3;
    Slot s{};
    s.depthMax = slot == 0 ? r.depthMaxNear : slot == 1 ? r.depthMaxMid : r.depthMaxFar;
    s.effectDepthMax = slot == 0   ? r.effectDepthMaxNear
                       : slot == 1 ? r.effectDepthMaxMid
                                   : r.effectDepthMaxFar;
    s.effectDepthMin = slot == 0   ? r.effectDepthMinNear
                       : slot == 1 ? r.effectDepthMinMid
                                   : r.effectDepthMinFar;
    s.offset = m_rangeOffsets[range / 3].Offset(slot);
    return s;
}

int32_t TofDecode::SetMeasuringRange(uint32_t group, const MeasuringRange& record) {
    if (group > 2) {
        QLOG_WARN("group:%u is invalid.\n", group);
        return kStatusFailed;
    }
    {
        std::lock_guard guard(m_lock);
        m_measuringRanges[group] = record;
    }
    for (uint32_t r = 3 * group; r < 3 * group + 3; ++r) {
        InitDepthDecodeTab(r);
    }
    RederiveWdr();
    // The filters' limits come from these records: a range set before them is sent again.
    if (const uint32_t range = m_depthRange.load(); range / 3 == group) {
        SetValidDepth(range);
    }
    return 0;
}

int32_t TofDecode::SetRangeOffset(uint32_t group, const RangeOffset& record) {
    if (group > 2) {
        QLOG_WARN("group:%u is invalid.\n", group);
        return kStatusFailed;
    }
    std::lock_guard guard(m_lock);
    m_rangeOffsets[group] = record;
    return 0;
}

MeasuringRange TofDecode::GetMeasuringRange(uint32_t range) const {
    if (range >= kDepthRangeCount) {
        QLOG_WARN("depthRange:%d is invalid.\n", static_cast<int>(range));
        return MeasuringRange{};
    }
    std::lock_guard guard(m_lock);
    return m_measuringRanges[range / 3];
}

uint16_t TofDecode::EffectDepth(uint32_t range, bool max) const {
    if (range >= kDepthRangeCount) {
        QLOG_WARN("depthRange:%d is invalid.\n", static_cast<int>(range));
        return 0;
    }
    std::lock_guard guard(m_lock);
    const Slot s = SlotLocked(range);
    return static_cast<uint16_t>((max ? s.effectDepthMax : s.effectDepthMin) + s.offset);
}

uint16_t TofDecode::GetEffectMaxDepth(uint32_t range) const {
    return EffectDepth(range, true);
}

uint16_t TofDecode::GetEffectMinDepth(uint32_t range) const {
    return EffectDepth(range, false);
}

int32_t TofDecode::InitDepthDecodeTab(uint32_t range) {
    if (range >= kDepthRangeCount) {
        QLOG_WARN("range:%d is invalid.\n", static_cast<int>(range));
        return kStatusFailed;
    }
    std::lock_guard guard(m_lock);
    const Slot s = SlotLocked(range);
    if (s.depthMax == 0) {
        QLOG_WARN("depthMax:%d is invalid.\n", s.depthMax);
        return kStatusFailed;
    }
    const DepthRangeLimits limits{s.depthMax, s.effectDepthMax, s.effectDepthMin, s.offset};
    BuildDepthDecodeTable(limits, m_tables.get() + range * kDepthTableEntries, &m_luts[range]);
    m_hasTable[range] = true;
    return 0;
}

const uint16_t* TofDecode::GetDepthDecodeTab(uint32_t range) const {
    if (range >= kDepthRangeCount) {
        QLOG_WARN("range:%d is invalid.\n", static_cast<int>(range));
        return nullptr;
    }
    std::lock_guard guard(m_lock);
    return m_hasTable[range] ? m_luts[range].table : nullptr;
}

int32_t TofDecode::SetFrameMode(uint32_t frameType, const TofFrameMode& mode) {
    std::lock_guard guard(m_lock);
    if (frameType == kPoolDepth) {
        m_depthFrameMode = mode;
    } else if (frameType == kPoolIR) {
        m_irFrameMode = mode;
    } else {
        QLOG_WARN("frameType:%d is invalid.\n", static_cast<int>(frameType));
        return kStatusFailed;
    }
    return 0;
}

TofFrameMode TofDecode::GetFrameMode(uint32_t frameType) const {
    std::lock_guard guard(m_lock);
    return frameType == kPoolIR ? m_irFrameMode : m_depthFrameMode;
}

void TofDecode::SetDataMode(uint8_t mode) {
    const uint8_t old = m_dataMode.exchange(mode);
    if (old >= 11 && old <= 13 && old != mode) {
        SetValidDepth(m_depthRange.load());
    }
    if (mode == kDataModeWdr && old != mode) {
        m_fusion.Restart();  // frames kept from an earlier WDR stream are not fused in
    }
    if (old != mode && m_preProcess != nullptr) {
        m_preProcess->ResetFilters();  // the time filter's history is of the old mode
    }
}

void TofDecode::SetDepthRange(uint32_t range) {
    m_depthRange.store(range);
    SetValidDepth(range);
}

int32_t TofDecode::SetWDRStyle(uint32_t style) {
    if (m_dataMode.load() != kDataModeWdr) {
        return kStatusFailed;
    }
    m_wdrStyle.store(style);
    if (style == 0) {
        SetValidDepth(kWdrPairRange);
    }
    return 0;
}

int32_t TofDecode::CheckWDRMode(WDROutputMode& mode) const {
    SortWdrRanges(mode);
    WdrLimits limits[3];
    WdrBands bands;
    return DeriveWdrBands(mode, WdrLimitsOf(mode, limits) ? limits : nullptr, bands);
}

int32_t TofDecode::SetWDRMode(WDROutputMode& mode) {
    if (const int32_t refused = CheckWDRMode(mode); refused != 0) {
        return refused;
    }
    {
        std::lock_guard guard(m_lock);
        m_wdrMode = mode;
    }
    SetValidDepth(kWdrPairRange);
    RederiveWdr();
    return 0;
}

bool TofDecode::WdrLimitsOf(const WDROutputMode& mode, WdrLimits limits[3]) const {
    const uint32_t ranges[3] = {mode.range1, mode.range2, mode.range3};
    const uint32_t used = mode.totalRange == 3 ? 3 : 2;
    for (uint32_t i = 0; i < used; ++i) {
        if (ranges[i] >= kDepthRangeCount) {
            return false;
        }
        {
            std::lock_guard guard(m_lock);
            if (!m_hasTable[ranges[i]]) {
                return false;
            }
        }
        limits[i] = {GetEffectMaxDepth(ranges[i]), GetEffectMinDepth(ranges[i])};
    }
    return true;
}

void TofDecode::RederiveWdr() {
    const WDROutputMode mode = GetWDRMode();
    if (mode.totalRange != 2 && mode.totalRange != 3) {
        return;
    }
    WdrLimits limits[3];
    WdrBands bands;
    if (!WdrLimitsOf(mode, limits)) {
        m_fusion.ClearMode();
        return;
    }
    if (DeriveWdrBands(mode, limits, bands) != 0) {
        // The camera's measuring ranges changed under a mode that was accepted: fusing
        // with an empty band would be wrong, so nothing is fused until a new mode.
        m_fusion.ClearMode();
        return;
    }
    m_fusion.SetMode(mode, bands);
}

WDROutputMode TofDecode::GetWDRMode() const {
    std::lock_guard guard(m_lock);
    return m_wdrMode;
}

int32_t TofDecode::SetValidDepth(uint32_t range) {
    uint32_t nearRange = range;
    uint32_t farRange = range;
    if (range == kWdrPairRange) {
        const WDROutputMode mode = GetWDRMode();
        nearRange = mode.range1;
        farRange = mode.totalRange == 3 ? mode.range3 : mode.range2;
    }
    if (farRange >= kDepthRangeCount || nearRange >= kDepthRangeCount || m_preProcess == nullptr) {
        return kStatusFailed;
    }
    return m_preProcess->SetValidDepth(range, GetEffectMaxDepth(farRange),
                                       GetEffectMinDepth(nearRange));
}

int32_t TofDecode::postProcFrame(Frame* depth, Frame* ir) {
    if (m_preProcess == nullptr) {
        return kStatusFailed;
    }
    if (ir != nullptr) {
        ImageDescriptor desc{ir->pFrameData, kImage16Bit, ir->width, ir->height};
        m_preProcess->FilterIR(&desc);
    }
    if (depth != nullptr) {
        const uint8_t mode = m_dataMode.load();
        const uint32_t rows = (mode == 5 || mode == 7) ? 360 : 480;
        if (depth->width != rows && depth->height != rows) {
            QLOG("m_dataMode %d  w %d  h %d\n", mode, depth->width, depth->height);
        } else {
            ImageDescriptor desc{depth->pFrameData, kImage16Bit, depth->width, depth->height};
            m_preProcess->FilterDepth(&desc);
        }
    }
    return 0;
}

// --- decoding -----------------------------------------------------------------------------

uint32_t TofDecode::DecodeADI(const uint8_t* packet, size_t available, Frame* depth, Frame* ir,
                              uint32_t* decoded) {
    if (decoded != nullptr) {
        *decoded = 0;
    }
    if (packet == nullptr || available < kRawHeaderBytes) {
        QLOG_WARN("raw buffer of %zu bytes holds no header.\n", packet == nullptr ? 0 : available);
        return 0;
    }
    const uint8_t typeId = packet[0];
    const uint32_t length = ReadLe24(packet + 1);
    const RawType* info = RawTypesOf(typeId).Decoded();
    const DecodeFn decode = info != nullptr ? DecoderOf(*info) : nullptr;
    if (decode == nullptr || info->length != length) {
        QLOG_WARN("typeId:0x%x dataLenth:%d is invalid.\n", typeId, static_cast<int>(length));
        return 0;
    }
    if (length > available - kRawHeaderBytes) {
        QLOG("typeId:0x%x dataLenth:%d is beyond the %zu bytes received.\n", typeId,
             static_cast<int>(length), available - kRawHeaderBytes);
        return 0;
    }
    // One reading of the range: the frame is marked with the range whose table decodes it.
    const uint32_t currentRange = m_depthRange.load();
    SubPacket p{info,
                packet + kRawHeaderBytes,
                length,
                m_dataMode.load(),
                currentRange,
                0,
                (info->FrameBits() & kDepthBit) != 0 ? depth : nullptr,
                (info->FrameBits() & kIRBit) != 0 ? ir : nullptr};
    if (p.depth == nullptr && p.ir == nullptr) {
        return 0;
    }
    if (info->Has(kRawWdrCapable) && (p.mode == 11 || p.mode == 13)) {
        p.frameRange = packet[4];
        if (m_wdrStyle.load() == 1) {
            SetValidDepth(p.frameRange);
        }
    }
    // The label and the table always agree: a frame taken in another range than the
    // current one (data mode 13 too) is decoded with that range's table.
    p.tableRange = p.frameRange;
    const uint32_t kinds = (this->*decode)(p);
    if (kinds == 0) {
        return 0;
    }
    AfterDecode(p, kinds);
    if (decoded != nullptr) {
        *decoded = kinds;
    }
    return length + kRawHeaderBytes;
}

uint32_t TofDecode::DecodeRecord(const Frame& raw, Frame* depth, Frame* ir) {
    if (raw.pFrameData == nullptr) {
        return 0;
    }
    const size_t limit = std::min(raw.dataLen, raw.capacity);
    uint32_t decoded = 0;
    size_t offset = 0;
    while (limit - offset >= kRawHeaderBytes) {
        const uint8_t* packet = raw.pFrameData + offset;
        const uint32_t length = ReadLe24(packet + 1);
        if (length == 0) {
            // No sub-packet is empty: what follows is not sub-packets.
            QLOG("typeId:0x%x has no payload, the rest of the record is skipped.\n", packet[0]);
            break;
        }
        if (length > limit - offset - kRawHeaderBytes) {
            QLOG("typeId:0x%x dataLenth:%d passes the end of the record (%zu bytes left).\n",
                 packet[0], static_cast<int>(length), limit - offset - kRawHeaderBytes);
            break;
        }
        const RawType* info = RawTypesOf(packet[0]).Decoded();
        const uint32_t wanted = info != nullptr ? (info->FrameBits() & ~decoded) : kBothBits;
        if (wanted == 0) {
            QLOG("typeId:0x%x repeats a frame of this record, skipped.\n", packet[0]);
        } else {
            uint32_t kinds = 0;
            DecodeADI(packet, limit - offset, (wanted & kDepthBit) != 0 ? depth : nullptr,
                      (wanted & kIRBit) != 0 ? ir : nullptr, &kinds);
            decoded |= kinds;
        }
        offset += kRawHeaderBytes + length;
    }
    return decoded;
}

template <class Use>
bool TofDecode::WithDepthLut(uint32_t range, const Use& use) {
    std::lock_guard guard(m_lock);
    if (range >= kDepthRangeCount || !m_hasTable[range]) {
        QLOG_WARN("decodeDepthTab is null.\n");
        return false;
    }
    use(m_luts[range]);
    return true;
}

bool TofDecode::RotateFrame(Frame& frame, bool logRotation) const {
    const uint16_t rotateType = m_rotateType.load();
    if (m_preProcess == nullptr || rotateType > 2) {
        return true;
    }
    ImageDescriptor desc{frame.pFrameData, kImage16Bit, frame.width, frame.height};
    m_preProcess->Rotate(&desc, rotateType);
    if (desc.width > 0xFFFF || desc.height > 0xFFFF ||
        size_t{desc.width} * desc.height * 2 > frame.capacity) {
        QLOG("Rotate gave w:%u h:%u, more than the frame holds.\n", desc.width, desc.height);
        return false;
    }
    frame.width = static_cast<uint16_t>(desc.width);
    frame.height = static_cast<uint16_t>(desc.height);
    frame.dataLen = uint32_t{frame.width} * frame.height * 2;
    if (logRotation) {
        QLOG("m_rotatetype:%d w:%d h:%d\n", rotateType, frame.width, frame.height);
    }
    return true;
}

bool TofDecode::FinishFrame(const SubPacket& p, Frame& frame, bool depth, uint32_t width,
                            uint32_t height) const {
    frame.width = static_cast<uint16_t>(width);
    frame.height = static_cast<uint16_t>(height);
    frame.dataLen = width * height * 2;
    frame.pixelFormat = depth ? 0 : 1;
    frame.depthRange = p.frameRange;
    if (!p.info->Has(kRawRotates)) {
        return true;
    }
    return RotateFrame(frame, depth && LogsRotation(*p.info));
}

uint32_t TofDecode::DecodeSingleImage(const SubPacket& p) {
    const RawType& t = *p.info;
    const bool depth = t.content == RawContent::kDepth;
    Frame* frame = depth ? p.depth : p.ir;
    const size_t pixels = size_t{kTofWidth} * t.rows;
    if (frame == nullptr || !HasRoom(*frame, pixels)) {
        return 0;
    }
    uint16_t* out = Pixels(*frame);
    const uint8_t* second = t.packing == RawPacking::kSplit ? p.payload + p.length / 2 : nullptr;
    if (depth) {
        const bool ok = WithDepthLut(p.tableRange, [&](const DepthLut& lut) {
            UnpackPixels(t.packing, p.payload, second, pixels, &lut, out);
        });
        if (!ok) {
            return 0;
        }
    } else {
        UnpackPixels(t.packing, p.payload, second, pixels, nullptr, out);
    }
    if (!FinishFrame(p, *frame, depth, kTofWidth, t.rows)) {
        return 0;
    }
    return depth ? kDepthBit : kIRBit;
}

uint32_t TofDecode::DecodeDepth(const SubPacket& p) {
    return DecodeSingleImage(p);
}
uint32_t TofDecode::DecodeDepth_(const SubPacket& p) {
    return DecodeSingleImage(p);
}
uint32_t TofDecode::DecodeDepth__(const SubPacket& p) {
    return DecodeSingleImage(p);
}
uint32_t TofDecode::Decode_DEPTH_ISO_Y12(const SubPacket& p) {
    return DecodeSingleImage(p);
}
uint32_t TofDecode::DecodeYUYVDepth(const SubPacket& p) {
    return DecodeSingleImage(p);
}
uint32_t TofDecode::DecodeYUYVIR(const SubPacket& p) {
    return DecodeSingleImage(p);
}

template <class Decode>
uint32_t TofDecode::DecodeCombined(const SubPacket& p, const Decode& decode) {
    const size_t pixels = size_t{kTofWidth} * p.info->rows;
    Frame* depth = p.depth != nullptr && HasRoom(*p.depth, pixels) ? p.depth : nullptr;
    Frame* ir = p.ir != nullptr && HasRoom(*p.ir, pixels) ? p.ir : nullptr;
    if (depth == nullptr && ir == nullptr) {
        return 0;
    }
    uint16_t* depthOut = depth != nullptr ? Pixels(*depth) : nullptr;
    uint16_t* irOut = ir != nullptr ? Pixels(*ir) : nullptr;
    if (depth != nullptr) {
        // A missing table fails the whole sub-packet, IR included.
        if (!WithDepthLut(p.tableRange,
                          [&](const DepthLut& lut) { decode(lut, depthOut, irOut); })) {
            return 0;
        }
    } else {
        decode(DepthLut{}, nullptr, irOut);
    }
    uint32_t kinds = 0;
    if (depth != nullptr && FinishFrame(p, *depth, true, kTofWidth, p.info->rows)) {
        kinds |= kDepthBit;
    }
    if (ir != nullptr && FinishFrame(p, *ir, false, kTofWidth, p.info->rows)) {
        kinds |= kIRBit;
    }
    return kinds;
}

uint32_t TofDecode::DecodeY12DepthAndIR(const SubPacket& p) {
    const size_t pixels = size_t{kTofWidth} * p.info->rows;
    return DecodeCombined(p, [&](const DepthLut& lut, uint16_t* depth, uint16_t* ir) {
        if (depth != nullptr) {
            UnpackPixels(p.info->packing, p.payload, nullptr, pixels, &lut, depth);
        }
        if (ir != nullptr) {
            UnpackPixels(p.info->packing, p.payload + p.length / 2, nullptr, pixels, nullptr, ir);
        }
    });
}

uint32_t TofDecode::DecodeYUYVDepthAndIR(const SubPacket& p) {
    return DecodeCombined(p, [&](const DepthLut& lut, uint16_t* depth, uint16_t* ir) {
        DecodeColumnSplit(p.payload, p.length, lut, depth, ir);
    });
}

uint32_t TofDecode::DecodePairInterleavedDepthAndIR(const SubPacket& p) {
    return DecodeCombined(p, [&](const DepthLut& lut, uint16_t* depth, uint16_t* ir) {
        DecodePairInterleaved(p.payload, p.length, lut, depth, ir);
    });
}

uint32_t TofDecode::DecodeRowSplitDepthAndIR(const SubPacket& p) {
    return DecodeCombined(p, [&](const DepthLut& lut, uint16_t* depth, uint16_t* ir) {
        DecodeRowSplit(p.payload, p.info->packing, p.info->rows, p.info->rowBytes, lut, depth, ir);
    });
}

bool TofDecode::FillQvgaDepth(const uint8_t* payload, Frame& depth) {
    if (!HasRoom(depth, kVgaPixels)) {
        return false;
    }
    for (size_t i = 0; i < kQvgaPixels; ++i) {
        m_qvga[i] = ReadLe16(payload + 2 * i);
    }
    FillHoles(m_qvga.get(), kQvgaWidth, kQvgaHeight, m_qvgaMask.get(),
              m_qvgaMask.get() + kQvgaPixels);
    DoubleImage(m_qvga.get(), kQvgaWidth, kQvgaHeight, Pixels(depth));
    return true;
}

uint32_t TofDecode::DecodeQVGADepth(const SubPacket& p) {
    if (p.depth == nullptr || !FillQvgaDepth(p.payload, *p.depth)) {
        return 0;
    }
    return FinishFrame(p, *p.depth, true, kTofWidth, 480) ? kDepthBit : 0;
}

uint32_t TofDecode::DecodeQVGADepthAndIR(const SubPacket& p) {
    uint32_t kinds = 0;
    if (p.depth != nullptr && FillQvgaDepth(p.payload, *p.depth) &&
        FinishFrame(p, *p.depth, true, kTofWidth, 480)) {
        kinds |= kDepthBit;
    }
    if (p.ir != nullptr && HasRoom(*p.ir, kVgaPixels)) {
        memcpy(p.ir->pFrameData, p.payload + kQvgaBytes, kVgaPixels * 2);
        if (FinishFrame(p, *p.ir, false, kTofWidth, 480)) {
            kinds |= kIRBit;
        }
    }
    return kinds;
}

bool TofDecode::ResizeAndDecodeY16(const SubPacket& p, const uint8_t* payload, Frame& frame,
                                   bool depth) {
    if (!HasRoom(frame, kVgaPixels)) {
        return false;
    }
    memcpy(frame.pFrameData, payload, kQvgaBytes);
    ImageDescriptor desc{frame.pFrameData, kImage16Bit, kQvgaWidth, kQvgaHeight};
    if (m_preProcess != nullptr) {
        m_preProcess->Resize(&desc, kTofWidth, 480, 1);
    }
    const size_t pixels = size_t{desc.width} * desc.height;
    if (desc.width > 0xFFFF || desc.height > 0xFFFF || pixels * 2 > frame.capacity) {
        QLOG("Resize gave w:%u h:%u, more than the frame holds.\n", desc.width, desc.height);
        return false;
    }
    // Y16 decoding in place: each word is read before it is overwritten.
    if (depth) {
        const bool ok = WithDepthLut(p.tableRange, [&](const DepthLut& lut) {
            UnpackPixels(RawPacking::kY16, frame.pFrameData, nullptr, pixels, &lut, Pixels(frame));
        });
        if (!ok) {
            return false;
        }
    } else {
        UnpackPixels(RawPacking::kY16, frame.pFrameData, nullptr, pixels, nullptr, Pixels(frame));
    }
    return FinishFrame(p, frame, depth, desc.width, desc.height);
}

uint32_t TofDecode::DecodeQVGAY16(const SubPacket& p) {
    uint32_t kinds = 0;
    if (p.depth != nullptr) {
        if (!ResizeAndDecodeY16(p, p.payload, *p.depth, true)) {
            return 0;
        }
        kinds |= kDepthBit;
    }
    if (p.ir != nullptr && ResizeAndDecodeY16(p, p.payload + kQvgaBytes, *p.ir, false)) {
        kinds |= kIRBit;
    }
    return kinds;
}

void TofDecode::CollectWdr(Frame& depth) {
    const bool fuse = m_wdrStyle.load() == 0;
    if (m_fusion.Collect(depth, fuse) == WdrFusion::Outcome::kFused) {
        depth.frameType = WDRDepthFrame;
        if (m_skipPostProcAfterFusion) {
            m_skipPostProcAfterFusion = false;
        } else {
            postProcFrame(&depth, nullptr);
        }
    }
    if (m_wdrCollector) {
        m_wdrCollector(depth);
    }
}

void TofDecode::AfterDecode(const SubPacket& p, uint32_t decoded) {
    Frame* depth = (decoded & kDepthBit) != 0 ? p.depth : nullptr;
    Frame* ir = (decoded & kIRBit) != 0 ? p.ir : nullptr;
    if (!IsPostProcessed(*p.info)) {
        if (p.mode == kDataModeWdr && depth != nullptr) {
            if (p.info->layout == RawLayout::kQvgaMm) {
                m_skipPostProcAfterFusion = true;
            }
            CollectWdr(*depth);
        }
        return;
    }
    if (p.mode != kDataModeWdr) {
        postProcFrame(depth, ir);
        return;
    }
    if (depth == nullptr) {
        postProcFrame(nullptr, ir);
        return;
    }
    if (m_wdrStyle.load() == 1) {
        postProcFrame(depth, ir);
    }
    CollectWdr(*depth);
}

// --- thread loop --------------------------------------------------------------------------

bool TofDecode::EnsureFrames() {
    if (m_depthFrame == nullptr) {
        m_depthFrame = m_depthQueue->AllocFrame(kPoolDepth);
    }
    if (m_irFrame == nullptr) {
        m_irFrame = m_irQueue->AllocFrame(kPoolIR);
    }
    return m_depthFrame != nullptr && m_irFrame != nullptr;
}

void TofDecode::SaveDecodedDepth(const Frame& raw, const Frame& depth) const {
    AppendRawDump(DumpFailure::kLog, m_saveFolder, depth.pFrameData,
                  std::min(depth.dataLen, depth.capacity), "decode_buf_%d.bin",
                  static_cast<int>(raw.frameIndex));
}

void TofDecode::HandOn(const Frame& raw, Frame*& frame, FrameQueue& queue, int32_t poolType,
                       uint8_t kind) {
    frame->frameIndex = raw.frameIndex;
    frame->frameTag = raw.frameTag;
    frame->frameSet = raw.frameSet;
    frame->timestamp = raw.timestamp;
    queue.Push(frame);
    m_producer->SetSingleFrameReady(kind);
    frame = queue.AllocFrame(poolType);
}

void TofDecode::DropRawRecords() {
    if (!m_decodeEnabled.load()) {
        // Off: nothing is taken. The producer drops what waits when decoding resumes; a
        // record taken here could be the first one after that, and would be lost.
        m_modeChangePending.store(false);
        WaitForStop(1ms);
        return;
    }
    // A mode change: the one record of the old mode that may wait is dropped.
    Frame* raw = nullptr;
    const bool took = IsRunning() && m_producer->GetRawTofFrame(raw) == 0 && raw != nullptr;
    if (took) {
        m_producer->ReleaseRawTofFrame(raw);
    }
    m_modeChangePending.store(false);
    if (!took) {
        WaitForStop(1ms);  // a source that answers at once must not make this spin
    }
}

void TofDecode::Run() {
    while (IsRunning()) {
        if (!m_decodeEnabled.load() || m_modeChangePending.load()) {
            DropRawRecords();
            continue;
        }
        if (!EnsureFrames()) {
            WaitForStop(5ms);  // every frame is lent out; try again shortly
            continue;
        }
        Frame* raw = nullptr;
        if (m_producer->GetRawTofFrame(raw) != 0 || raw == nullptr) {
            WaitForStop(1ms);
            continue;
        }
        m_depthFrame->frameType = kPoolDepth;
        // Only frames that were decoded from this record, and that it announces, go on.
        const uint32_t handOn = DecodeRecord(*raw, m_depthFrame, m_irFrame) & raw->frameSet;
        if ((handOn & kDepthBit) != 0) {
            if (m_saveDecoded.load()) {
                SaveDecodedDepth(*raw, *m_depthFrame);
            }
            HandOn(*raw, m_depthFrame, *m_depthQueue, kPoolDepth, kDepthBit);
        }
        if ((handOn & kIRBit) != 0) {
            m_irFrame->frameType = kPoolIR;
            HandOn(*raw, m_irFrame, *m_irQueue, kPoolIR, kIRBit);
        }
        m_producer->ReleaseRawTofFrame(raw);
    }
}

}  // namespace quorix
