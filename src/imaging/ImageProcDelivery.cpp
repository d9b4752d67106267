// The frame engine's application side: reading the next frames (synchronised sets or
// single frames), mapping, handing frames out, and the frame callback.
#include <chrono>
#include <cstring>
#include <optional>
#include <utility>

#include "base/Status.h"
#include "imaging/ImageProc.h"
#include "log/Log.h"
#include "model/DataModes.h"

namespace quorix {
namespace {

void ToPublic(const Frame& f, NsFrameSlot& slot) {
    slot.frame.frameIndex = f.frameIndex;
    slot.frame.frameType = f.frameType;
    slot.frame.pixelFormat = static_cast<uint32_t>(f.pixelFormat);
    slot.frame.frameTag = f.frameTag;
    slot.frame.pFrameData = f.pFrameData;
    slot.frame.dataLen = f.dataLen;
    slot.frame.exposureTime = f.exposureTime;
    slot.frame.depthRange = f.depthRange;
    slot.frame.width = f.width;
    slot.frame.height = f.height;
    slot.frame.timestamp = f.timestamp;
    slot.present = 1;
}

// The argument of Flip for an output flip code (1, 2, 3); false when flipping is off.
bool FlipArgument(int32_t code, int32_t& argument) {
    switch (code) {
        case 1:
            argument = kFlipHorizontal;
            return true;
        case 2:
            argument = kFlipVertical;
            return true;
        case 3:
            argument = kFlipBoth;
            return true;
        default:
            return false;
    }
}

uint32_t BytesPerPixel(uint32_t imageType) {
    return imageType == kImage8BitRgb ? 3 : imageType == kImage16Bit ? 2 : 1;
}

// Calls the application. Afterwards only the life token may be looked at: the callback
// may have destroyed the engine.
bool Invoke(NsFrameCallback callback, const NsFrameSet& set, const std::atomic<bool>& alive) {
    callback(&set);
    return alive.load();
}

// Result record of the device-assist processing: byte 0 says what to send (bit 0
// the 25-byte property, bit 1 the 2-byte one), then the two blocks.
constexpr uint32_t kAssistRecordBytes = 28;
constexpr uint32_t kAssistWeightsProperty = 0x0A000001;
constexpr uint32_t kAssistGainProperty = 0x0A000002;

}  // namespace

int32_t ImageProc::ReadNextFrame(uint32_t* readySet) {
    if (!m_streaming.load()) {
        return kStatusNotStreaming;
    }
    if (m_callback.load() != nullptr) {
        return m_failedReads.load() > kMaxFailedReads ? -255 : -1;
    }
    if (const int32_t status = m_deviceStatus.load(); status != 0) {
        return status;
    }
    const int32_t ret = m_synchronize.load()
                            ? ReadSynchronised(nullptr, *m_alive, &m_readersAbandoned)
                            : ReadUnsynchronised(nullptr, *m_alive, &m_readersAbandoned);
    if (ret != 0) {
        return ret;
    }
    uint32_t mask = 0;
    if (m_held[kHeldMappedColour].ready.load()) {
        mask |= NsFrameReadyMappedRGB;
    }
    if (m_held[kHeldMappedDepth].ready.load()) {
        mask |= NsFrameReadyMappedDepth;
    }
    if (m_held[kHeldMappedIR].ready.load()) {
        mask |= NsFrameReadyMappedIR;
    }
    if (m_held[kHeldDepth].ready.load()) {
        if (m_dataMode.load() != kDataModeWdr || m_tofDecode->GetWDRStyle() == 1) {
            mask |= NsFrameReadyDepth;
        } else if (m_held[kHeldDepth].frame.frameType == WDRDepthFrame) {
            m_held[kHeldDepth].ready.store(false);
            m_wdrReady.store(true);
            mask |= NsFrameReadyWDRDepth;
        }
    }
    if (m_held[kHeldIR].ready.load()) {
        mask |= NsFrameReadyIR;
    }
    if (m_held[kHeldColour].ready.load()) {
        mask |= NsFrameReadyRGB;
    }
    if (readySet != nullptr) {
        *readySet |= mask;
    }
    return 0;
}

void ImageProc::AbandonReaders() {
    m_readersAbandoned.store(true);
    m_sync->WakeReaders();
}

int32_t ImageProc::ReadUnsynchronised(NsFrameCallback callback, const std::atomic<bool>& alive,
                                      const std::atomic<bool>* abandon) {
    if (!m_connected.load() || !m_transportConnected.load()) {
        return kStatusFailed;
    }
    const uint8_t kinds = m_sync->WaitSingleFrame(abandon);
    if (kinds == 0) {
        return kStatusFrameTimeout;
    }
    struct Kind {
        uint8_t bit;
        FrameQueue* queue;
        HeldKind held;
        uint32_t bytesPerPixel;
        NsFrameSlot NsFrameSet::*slot;
    };
    const Kind order[] = {
        {kFrameSetDepth, &m_tofDecode->DepthQueue(), kHeldDepth, 2, &NsFrameSet::depth},
        {kFrameSetIR, &m_tofDecode->IRQueue(), kHeldIR, 2, &NsFrameSet::ir},
        {kFrameSetColour, &m_rgbDecode->Queue(), kHeldColour, 3, &NsFrameSet::colour},
    };
    for (const Kind& kind : order) {
        if ((kinds & kind.bit) == 0) {
            continue;
        }
        Frame* frame = kind.queue->TryPop();
        if (frame == nullptr) {
            continue;
        }
        const uint64_t expected = uint64_t{frame->width} * frame->height * kind.bytesPerPixel;
        const bool sound =
            frame->dataLen != 0 && frame->dataLen == expected && frame->dataLen <= frame->capacity;
        if (sound && callback != nullptr) {
            NsFrameSlot& slot = m_callbackSet.*kind.slot;
            ToPublic(*frame, slot);
            if (!Invoke(callback, m_callbackSet, alive)) {
                return kOwnerGone;
            }
            slot.present = 0;
        } else if (sound) {
            Lend(kind.held, frame);
            Held& held = m_held[kind.held];
            if (kind.held == kHeldIR && m_irOutputMode.load() == 2) {
                ConvertIRTo8Bit(held.frame);
            }
            held.ready.store(true);
            continue;
        }
        kind.queue->Release(frame);
    }
    const bool any = m_held[kHeldDepth].ready.load() || m_held[kHeldIR].ready.load() ||
                     m_held[kHeldColour].ready.load();
    return any ? 0 : -11;
}

int32_t ImageProc::ReadSynchronised(NsFrameCallback callback, const std::atomic<bool>& alive,
                                    const std::atomic<bool>* abandon) {
    if (!m_connected.load() || !m_transportConnected.load()) {
        return kStatusFailed;
    }
    for (Held& held : m_held) {
        held.ready.store(false);
    }
    m_wdrReady.store(false);
    SyncSet set;
    if (!m_sync->TakeSynchronizedSet(set, abandon)) {
        return kStatusFrameTimeout;
    }
    for (auto [frame, kind] : {std::pair{set.depth, kHeldDepth}, std::pair{set.ir, kHeldIR},
                               std::pair{set.colour, kHeldColour}}) {
        if (frame != nullptr) {
            Lend(kind, frame);
        }
    }
    const bool mapping =
        m_mapColourToDepth.load() || m_mapDepthToColour.load() || m_mapIRToColour.load();
    if (mapping && set.colourPresent != 0 && set.depthPresent != 0) {
        ProcMapFrame(set.irPresent != 0);
    }
    if (m_model.deviceAssist && set.colourPresent != 0 && m_held[kHeldMappedDepth].ready.load() &&
        (m_assistA.load() || m_assistB.load())) {
        ProcessSpecialOnce();
    }
    if (set.irPresent != 0 && m_irOutputMode.load() == 2) {
        ConvertIRTo8Bit(m_held[kHeldIR].frame);
    }
    const std::pair<uint8_t, HeldKind> present[] = {
        {set.colourPresent, kHeldColour}, {set.depthPresent, kHeldDepth}, {set.irPresent, kHeldIR}};
    if (callback == nullptr) {
        for (const auto& [isPresent, kind] : present) {
            if (isPresent != 0) {
                m_held[kind].ready.store(true);
            }
        }
        return 0;
    }
    NsFrameSlot NsFrameSet::*const slots[kHeldCount] = {
        &NsFrameSet::depth,        &NsFrameSet::ir,          &NsFrameSet::colour,
        &NsFrameSet::mappedColour, &NsFrameSet::mappedDepth, &NsFrameSet::mappedIr};
    m_callbackSet = NsFrameSet{};
    for (const auto& [isPresent, kind] : present) {
        if (isPresent != 0) {
            ToPublic(m_held[kind].frame, m_callbackSet.*slots[kind]);
        }
    }
    for (HeldKind kind : {kHeldMappedColour, kHeldMappedDepth, kHeldMappedIR}) {
        // Mapped frames go to the callback only; the application's GetFrame never sees them.
        if (m_held[kind].ready.exchange(false)) {
            ToPublic(m_held[kind].frame, m_callbackSet.*slots[kind]);
        }
    }
    for (HeldKind kind :
         {kHeldDepth, kHeldIR, kHeldColour, kHeldMappedColour, kHeldMappedDepth, kHeldMappedIR}) {
        NsFrameSlot& slot = m_callbackSet.*slots[kind];
        if (slot.present != 0) {
            FlipSlot(slot.frame);
        }
    }
    if (!Invoke(callback, m_callbackSet, alive)) {
        return kOwnerGone;
    }
    m_callbackSet = NsFrameSet{};
    return 0;
}

int32_t ImageProc::DeliverToCallback(const std::atomic<bool>& alive) {
    const NsFrameCallback callback = m_callback.load();
    if (callback == nullptr) {
        QLOG("not register callback\n");
        return kStatusFailed;
    }
    return m_synchronize.load() ? ReadSynchronised(callback, alive, &m_callbackStopping)
                                : ReadUnsynchronised(callback, alive, &m_callbackStopping);
}

bool ImageProc::RegisterNotify(NsFrameCallback callback) {
    if (callback == nullptr) {
        return false;
    }
    if (m_callbackThread->IsCurrentThread()) {
        // From inside the callback: the thread goes on only if nobody asked it to stop.
        m_callback.store(callback);
        return m_callbackThread->IsRunning();
    }
    if (m_callbackThread->IsRunning()) {
        m_callback.store(callback);
        return true;
    }
    ReapCallbackThread();  // a thread that was asked to stop from inside its callback
    for (Held& held : m_held) {
        held.ready.store(false);
    }
    m_wdrReady.store(false);
    m_callbackStopping.store(false);
    m_callback.store(callback);
    if (m_callbackThread->Start() != 0) {
        m_callback.store(nullptr);  // the previous callback thread is still ending
        return false;
    }
    return true;
}

void ImageProc::ReapCallbackThread() {
    if (!m_callbackThread->IsCurrentThread() && !m_callbackThread->IsRunning() &&
        m_callbackThread->HasThread()) {
        m_callbackThread->Join();
    }
}

bool ImageProc::UnRegisterNotify() {
    m_callbackStopping.store(true);
    if (m_callbackThread->IsCurrentThread()) {
        m_callbackThread->Stop();  // from inside the callback: its thread is only let go
    } else {
        m_callbackThread->StopAndJoin();
    }
    m_callback.store(nullptr);
    return true;
}

void ImageProc::FlipSlot(NsFrame& slot) const {
    int32_t argument = 0;
    if (!m_preProcess || !FlipArgument(m_outputFlip.load(), argument)) {
        return;
    }
    uint32_t type = kImage16Bit;
    if (slot.frameType == RGBFrame || slot.frameType == MappedRGBFrame) {
        type = kImage8BitRgb;
    } else if (slot.pixelFormat == NsPixelGrey8) {
        type = kImage8Bit;
    }
    ImageDescriptor image{static_cast<uint8_t*>(slot.pFrameData), type, slot.width, slot.height};
    m_preProcess->Flip(&image, argument);
}

void ImageProc::ConvertIRTo8Bit(Frame& ir) {
    if (!m_preProcess || ir.pixelFormat == NsPixelGrey8) {
        return;
    }
    const uint32_t pixels = uint32_t{ir.width} * ir.height;
    if (pixels == 0 || uint64_t{pixels} * 2 > ir.capacity) {
        return;
    }
    uint8_t* grey = m_computedFrame.get();
    if (m_preProcess->ConvertIRTo8Bit(ir.height, ir.width, grey,
                                      reinterpret_cast<const uint16_t*>(ir.pFrameData)) != 0) {
        return;
    }
    memcpy(ir.pFrameData, grey, pixels);
    ir.pixelFormat = NsPixelGrey8;
    ir.dataLen = pixels;
}

void ImageProc::ProcMapFrame(bool irPresent) {
    if (!m_preProcess) {
        return;
    }
    std::lock_guard guard(MappingLock());
    const Frame& depth = m_held[kHeldDepth].frame;
    const uint8_t mode = m_dataMode.load();
    if (!DepthFitsDataMode(mode, depth.width, depth.height)) {
        QLOG("m_dataMode %d  w %d  h %d\n", mode, depth.width, depth.height);
        return;
    }
    MapSwitches switches;
    switches.colourOnDepth = m_mapColourToDepth.load();
    switches.depthOnColour = m_mapDepthToColour.load();
    switches.irOnColour = m_mapIRToColour.load();
    switches.ir8Bit = m_irOutputMode.load() == 2;
    const uint32_t made =
        m_mapper->Map(*m_preProcess, depth, irPresent ? &m_held[kHeldIR].frame : nullptr,
                      m_held[kHeldColour].frame, switches, m_held[kHeldMappedColour].frame,
                      m_held[kHeldMappedDepth].frame, m_held[kHeldMappedIR].frame);
    const std::pair<uint32_t, HeldKind> results[] = {{FrameMapper::kMadeColour, kHeldMappedColour},
                                                     {FrameMapper::kMadeDepth, kHeldMappedDepth},
                                                     {FrameMapper::kMadeIR, kHeldMappedIR}};
    for (const auto& [bit, kind] : results) {
        if ((made & bit) != 0) {
            m_held[kind].ready.store(true);
        }
    }
}

bool ImageProc::DepthFitsDataMode(uint8_t mode, uint32_t width, uint32_t height) {
    const std::optional<DataModeFrames> row = FramesOfDataMode(mode);
    if (!row || !row->depth) {
        return false;
    }
    // Rotated sensors deliver the mode's sides the other way round.
    return (width == row->width && height == row->height) ||
           (width == row->height && height == row->width);
}

void ImageProc::ProcessSpecialOnce() {
    if (!m_preProcess) {
        return;
    }
    Frame& mapped = m_held[kHeldMappedDepth].frame;
    Frame& colour = m_held[kHeldColour].frame;
    ImageDescriptor mappedImage{mapped.pFrameData, kImage16Bit, mapped.width, mapped.height};
    ImageDescriptor colourImage{colour.pFrameData, kImage8BitRgb, colour.width, colour.height};
    const bool a = m_assistA.load();
    const bool b = m_assistB.load();
    const int32_t mode = a && b ? 3 : a ? 1 : 2;
    uint8_t result[kAssistRecordBytes] = {};
    if (m_preProcess->ProcessSpecial(&mappedImage, &colourImage, mode, 300, 1200, result) != 0) {
        return;
    }
    if ((result[0] & 1) != 0) {
        m_session->SendProperty(kAssistWeightsProperty, result + 1, 25);
    }
    if ((result[0] & 2) != 0) {
        m_session->SendProperty(kAssistGainProperty, result + 26, 2);
    }
}

FrameQueue& ImageProc::HomeQueue(HeldKind kind) {
    switch (kind) {
        case kHeldDepth:
            return m_tofDecode->DepthQueue();
        case kHeldIR:
            return m_tofDecode->IRQueue();
        default:
            return m_rgbDecode->Queue();
    }
}

void ImageProc::Lend(HeldKind kind, Frame* frame) {
    Frame* const previous = std::exchange(m_lent[kind], frame);
    if (previous != nullptr && previous != frame) {
        HomeQueue(kind).Release(previous);
    }
    m_held[kind].frame = *frame;
}

bool ImageProc::CopyHeld(HeldKind kind, Frame* out) {
    Held& held = m_held[kind];
    if (!held.ready.exchange(false)) {
        return false;
    }
    *out = held.frame;
    return true;
}

int32_t ImageProc::GetFrame(uint32_t frameType, Frame* out) {
    if (out == nullptr) {
        return kStatusNullFrame;
    }
    bool copied = false;
    bool colour = false;
    switch (frameType) {
        case DepthFrame:
            copied = CopyHeld(kHeldDepth, out);
            break;
        case IRFrame:
            copied = CopyHeld(kHeldIR, out);
            break;
        case RGBFrame:
            colour = true;
            copied = CopyHeld(kHeldColour, out);
            break;
        case MappedRGBFrame:
            colour = true;
            copied = m_mapColourToDepth.load() && CopyHeld(kHeldMappedColour, out);
            break;
        case MappedDepthFrame:
            copied = m_mapDepthToColour.load() && CopyHeld(kHeldMappedDepth, out);
            break;
        case MappedIRFrame:
            copied = m_mapIRToColour.load() && CopyHeld(kHeldMappedIR, out);
            break;
        case WDRDepthFrame:
            if (m_wdrReady.exchange(false)) {
                *out = m_held[kHeldDepth].frame;
                copied = true;
            }
            break;
        case 8:
            break;  // never ready
        default:
            QLOG_WARN("frameType:%d is invalid\n", static_cast<int>(frameType));
            break;
    }
    if (!copied) {
        *out = Frame{};
        out->pixelFormat = 0;
        return kStatusNoFrame;
    }
    ApplyOutputGeometry(*out, colour);
    return 0;
}

int32_t ImageProc::GetFrameInfo(Frame* out) const {
    if (out == nullptr) {
        return kStatusNullFrame;
    }
    *out = Frame{};
    if (HasCallback()) {
        return kStatusFailed;
    }
    for (const HeldKind kind : {kHeldDepth, kHeldIR}) {
        if (m_held[kind].frame.dataLen != 0) {
            *out = m_held[kind].frame;
            return 0;
        }
    }
    return kStatusNoFrame;
}

void ImageProc::ApplyOutputGeometry(Frame& out, bool colour) {
    const int32_t rotation = m_outputRotation.load();
    int32_t flip = 0;
    const bool rotate = rotation >= kRotate90Cw && rotation <= kRotate90Ccw;
    const bool flipping = FlipArgument(m_outputFlip.load(), flip);
    if (!m_preProcess || (!rotate && !flipping)) {
        return;
    }
    uint32_t type = colour ? kImage8BitRgb : kImage16Bit;
    if (!colour && out.pixelFormat == NsPixelGrey8) {
        type = kImage8Bit;
    }
    ImageDescriptor image{out.pFrameData, type, out.width, out.height};
    if (rotate) {
        m_preProcess->Rotate(&image, rotation);
        if (uint64_t{image.width} * image.height * BytesPerPixel(type) > out.capacity ||
            image.width > UINT16_MAX || image.height > UINT16_MAX) {
            QLOG("Rotate gave w:%u h:%u, more than the frame holds.\n", image.width, image.height);
            return;
        }
    }
    if (flipping) {
        m_preProcess->Flip(&image, flip);
    }
    out.width = static_cast<uint16_t>(image.width);
    out.height = static_cast<uint16_t>(image.height);
}

}  // namespace quorix
