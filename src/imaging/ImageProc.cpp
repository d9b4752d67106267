// The frame engine: construction and settings, the reader thread and its sub-packet
// walk, the pushed parameters, and the thread stop order.
#include "imaging/ImageProc.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>

#include "base/Status.h"
#include "imaging/RawDump.h"
#include "imaging/RawTypes.h"
#include "log/Log.h"
#include "model/DataModes.h"
#include "platform/Clock.h"
#include "protocol/DeviceStatus.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kHeaderBytes = 5;
constexpr uint32_t kStatusHeaderBytes = 3;  // type 0x2C: type and a 16-bit length
constexpr uint8_t kStatusType = 0x2C;
constexpr uint8_t kBareDepthType = 0xA0;
constexpr uint32_t kBareDepthBytes = 460800;
constexpr uint8_t kFirstImageType = 0x21;
constexpr uint8_t kLastImageType = 0x9C;

uint32_t Le24(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16;
}

void PutLe24(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
}

// Receive time: second, minute, hour, millisecond as four u16, lowest first.
uint64_t ReceiveTime() {
    const platform::LocalTime t = platform::LocalTimeNow();
    return static_cast<uint64_t>(t.second) | static_cast<uint64_t>(t.minute) << 16 |
           static_cast<uint64_t>(t.hour) << 32 | static_cast<uint64_t>(t.millisecond) << 48;
}

}  // namespace

std::mutex& MappingLock() {
    static std::mutex lock;
    return lock;
}

// --- the Callback thread ------------------------------------------------------------------

ImageProc::CallbackThread::CallbackThread(ImageProc& owner)
    : StoppableThread("Callback"), m_owner(owner) {}

ImageProc::CallbackThread::~CallbackThread() {
    Stop();
    Join();
}

void ImageProc::CallbackThread::Run() {
    // Held here so it outlives the engine when the callback destroys it.
    const std::shared_ptr<std::atomic<bool>> alive = m_owner.m_alive;
    while (IsRunning()) {
        const int32_t ret = m_owner.DeliverToCallback(*alive);
        if (ret == kOwnerGone) {
            return;  // the engine is gone: nothing of it may be touched
        }
        if (ret == -1) {
            WaitForStop(10ms);  // not connected, or no callback: do not spin
        }
    }
}

void ImageProc::CallbackThread::OnStopRequested() {
    m_owner.m_callbackStopping.store(true);
    m_owner.m_sync->WakeReaders();
}

// --- construction ------------------------------------------------------------------------

ImageProc::Buffer ImageProc::ZeroedBuffer(size_t bytes) {
    // calloc: the pages of these large buffers are zero without being written.
    return Buffer(static_cast<uint8_t*>(std::calloc(bytes, 1)));
}

ImageProc::ImageProc(SessionContext* session) : ImageProc(session, Get_APIImgPreProcess()) {}

ImageProc::ImageProc(SessionContext* session, std::unique_ptr<ImgPreProcess> preProcess)
    : StoppableThread("ImageProc"),
      m_session(session),
      m_model(TraitsOf(session->DeviceType())),
      m_preProcess(std::move(preProcess)),
      m_rawTofQueue(std::make_unique<FrameQueue>(kPoolRawTof, kRawQueueFrames)),
      m_rawColourQueue(std::make_unique<FrameQueue>(kPoolRawColour, kRawQueueFrames)),
      m_rgbDecode(std::make_unique<RgbDecode>(this, m_preProcess.get())),
      m_tofDecode(std::make_unique<TofDecode>(this, m_preProcess.get())),
      m_sync(std::make_unique<Sync>(&m_tofDecode->DepthQueue(), &m_tofDecode->IRQueue(),
                                    &m_rgbDecode->Queue())),
      m_readBuffer(ZeroedBuffer(kReadBufferBytes)),
      m_callbackThread(std::make_unique<CallbackThread>(*this)) {
    m_rawTof = m_rawTofQueue->AllocFrame(kPoolRawTof);
    m_rawColour = m_rawColourQueue->AllocFrame(kPoolRawColour);
    QLOG("isEnable:%d\n", m_synchronize.load() ? 1 : 0);
    m_sync->Reset();
    if (m_model.deviceAssist) {
        m_assistA.store(true);
        if (m_preProcess) {
            static constexpr uint32_t kWords[] = {0x00030006, 0x00040002, 0x00050005, 0x00050000,
                                                  0x00020002};
            uint8_t record[kSensorConfigBytes] = {};
            for (size_t i = 0; i < std::size(kWords); ++i) {
                for (size_t b = 0; b < 4; ++b) {
                    record[4 * i + b] = static_cast<uint8_t>(kWords[i] >> (8 * b));
                }
            }
            m_preProcess->SetSensorConfig(record);
            m_preProcess->SetSensorFlag(1);
        }
    }
    m_mapper = std::make_unique<FrameMapper>();
    m_computedFrame = ZeroedBuffer(kHeldImageBytes);
    static constexpr uint32_t kTypes[kHeldCount] = {
        DepthFrame, IRFrame, RGBFrame, MappedRGBFrame, MappedDepthFrame, MappedIRFrame};
    for (uint32_t k = 0; k < kHeldCount; ++k) {
        m_held[k].frame.frameType = kTypes[k];
        if (k < m_lent.size()) {
            continue;  // delivered in lent pool frames
        }
        const uint32_t bytes = k == kHeldMappedColour ? kHeldColourBytes : kHeldImageBytes;
        m_heldBuffers[k] = ZeroedBuffer(bytes);
        m_held[k].frame.pFrameData = m_heldBuffers[k].get();
        m_held[k].frame.capacity = bytes;
    }
    QLOG("\n");
}

ImageProc::~ImageProc() {
    m_alive->store(false);
    StopCallback();
    RequestStop();
    JoinThreads();
    for (HeldKind kind : {kHeldDepth, kHeldIR, kHeldColour}) {
        HomeQueue(kind).Release(std::exchange(m_lent[kind], nullptr));
    }
    m_rawTofQueue->Release(m_rawTof);
    m_rawColourQueue->Release(m_rawColour);
}

void ImageProc::StopCallback() {
    m_callbackStopping.store(true);
    m_callbackThread->StopAndJoin();  // from the Callback thread itself it only lets go
}

void ImageProc::RequestStop() {
    m_decodersStopping.store(true);
    m_sync->Stop();
    m_tofDecode->Stop();
    m_rgbDecode->Stop();
    Stop();
    // The decoders may be waiting for raw records: no wait may begin or last from now on.
    m_rawTofQueue->Close();
    m_rawColourQueue->Close();
}

void ImageProc::JoinThreads() {
    m_sync->Join();
    m_tofDecode->Join();
    m_rgbDecode->Join();
    Join();
}

// --- settings ----------------------------------------------------------------------------

int32_t ImageProc::ApplySettings() {
    const ImageSettings s = m_session->CurrentImageSettings();
    const bool startSync = !m_sync->IsRunning();
    if (startSync) {
        // Named before any decoder runs, so no decoder announces a frame to a missing event.
        char serial[64] = {};
        m_session->SerialNumber(serial, 63);
        serial[63] = '\0';
        m_sync->CreateEvents(serial);
    }
    const uint16_t rotation = s.rotation >= 0 && s.rotation <= 2 ? static_cast<uint16_t>(s.rotation)
                                                                 : RgbDecode::kNoRotation;
    m_rgbDecode->SetMode(s.colourMode.width, s.colourMode.height, s.colourMode.fps);
    m_rgbDecode->SetRotation(rotation);
    if (!m_rgbDecode->HasThread()) {
        m_rgbDecode->Start();
    }

    m_tofDecode->SetRotateType(rotation);
    for (uint32_t g = 0; g < 3; ++g) {
        m_tofDecode->SetRangeOffset(g, s.rangeOffsets[g]);
    }
    for (uint32_t g = 0; g < 3; ++g) {
        m_tofDecode->SetMeasuringRange(g, s.measuringRanges[g]);
    }
    m_tofDecode->SetFrameMode(kPoolDepth, s.depthMode);
    m_tofDecode->SetFrameMode(kPoolIR, s.irMode);

    if (m_preProcess) {
        m_preProcess->Init(s.calibration.data(), s.configFolder.c_str());
    }
    ApplyColourMatrix(s);
    SetDataMode(s.dataMode);
    if (!m_tofDecode->HasThread()) {
        m_tofDecode->Start();
    }

    if (startSync) {
        m_sync->Start();
    }
    return 0;
}

void ImageProc::ApplyColourMatrix(const ImageSettings& s) {
    if (!m_preProcess) {
        return;
    }
    double m[9];
    memcpy(m, s.ColourMatrix(), sizeof m);
    const uint32_t w = s.colourMode.width;
    const uint32_t h = s.colourMode.height;
    double scale = 1.0;
    if (w == 1280 && h == 720) {
        scale = 2.0 / 3.0;
    } else if ((w == 640 && h == 480) || (w == 640 && h == 360)) {
        scale = 1.0 / 3.0;
    }
    auto scaleFocusAndCentre = [&m](double f) {
        m[0] *= f;  // fx
        m[2] *= f;  // cx
        m[4] *= f;  // fy
        m[5] *= f;  // cy
    };
    if (std::abs(scale - 1.0) > 1e-6) {
        scaleFocusAndCentre(scale);
    }
    const bool upright = s.rotation == 0 || s.rotation == 2;
    if (w == 640 && h == 480) {
        // The 4:3 mode is the middle of the 16:9 image, scaled up.
        (upright ? m[5] : m[2]) -= 80.0;
        scaleFocusAndCentre(4.0 / 3.0);
    }
    m_preProcess->SetCameraMatrix(1, m, upright ? h : w, upright ? w : h);
}

int32_t ImageProc::SetDataMode(uint8_t mode) {
    m_dataMode.store(mode);
    m_tofDecode->SetDataMode(mode);  // leaving a WDR mode sends the range's limits again
    QLOG("m_dataMode:%d\n", mode);
    const ImageSettings s = m_session->CurrentImageSettings();
    if (mode == 100 || mode == 101) {
        m_rgbDecode->SetMode(s.colourMode.width, s.colourMode.height, s.colourMode.fps);
        ApplyColourMatrix(s);
    }
    if (!m_preProcess) {
        return kStatusFailed;
    }
    double m[9];
    memcpy(m, s.DepthMatrix(), sizeof m);
    const std::optional<DataModeFrames> frames = FramesOfDataMode(mode);
    const bool narrow = frames && frames->height == 360;  // 640 x 360 depth
    uint32_t a = 640;
    uint32_t b = 480;
    if (s.rotation == 0 || s.rotation == 2) {
        a = narrow ? 360 : 480;
        b = 640;
        if (narrow) {
            m[2] -= 60.0;
        }
    } else {
        b = narrow ? 360 : 480;
        if (narrow) {
            m[5] -= 60.0;
        }
    }
    m_preProcess->SetCameraMatrix(0, m, a, b);
    return 0;
}

void ImageProc::SetSynchronizeEnabled(bool enabled) {
    const bool was = m_synchronize.exchange(enabled);
    QLOG("bEnabled:%d\n", was ? 1 : 0);
    QLOG("isEnable:%d\n", enabled ? 1 : 0);
    m_sync->SetEnabled(enabled);  // off to on empties the ring
}

void ImageProc::SetConnectStatus(bool connected) {
    QLOG("isConnect:%d\n", connected ? 1 : 0);
    m_transportConnected.store(connected);
}

void ImageProc::SetStreamSwitches(bool on) {
    m_failedReads.store(0);
    m_streaming.store(on);
    if (on && !m_connected.exchange(true)) {
        m_reconnected.store(true);
    } else if (!on) {
        m_connected.store(false);
    }
    if (on) {
        DropRawBacklog();  // records of an earlier stream are never decoded into this one
    }
    m_rgbDecode->SetDecodeEnabled(on);
    m_tofDecode->SetTofDecodeEnabled(on);
    m_sync->SetStreamOn(on);
}

void ImageProc::SetDecodingEnabled(bool on) {
    // While decoding is off the reader hands nothing on, and what waited is dropped here
    // before decoding resumes. The decoders take no record while they are off: one that
    // took the first record arriving after the switch would drop it as backlog.
    if (on) {
        DropRawBacklog();
    }
    m_decodingOn.store(on);
    m_rgbDecode->SetDecodeEnabled(on);
    m_tofDecode->SetTofDecodeEnabled(on);
}

void ImageProc::DropRawBacklog() {
    for (FrameQueue* queue : {m_rawTofQueue.get(), m_rawColourQueue.get()}) {
        while (Frame* frame = queue->TryPop()) {
            queue->Release(frame);
        }
    }
}

void ImageProc::SetColourMode(uint32_t width, uint32_t height, uint32_t fps) {
    m_rgbDecode->SetMode(width, height, fps);
    ApplyColourMatrix(m_session->CurrentImageSettings());
}

int32_t ImageProc::SetFrameEnabled(uint32_t kind, bool enabled) {
    if (kind >= m_frameEnabled.size()) {
        QLOG_WARN("kind:%d is invalid.\n", static_cast<int>(kind));
        return kStatusFailed;
    }
    m_frameEnabled[kind].store(enabled);
    return 0;
}

bool ImageProc::GetFrameEnabled(uint32_t kind) const {
    return kind < m_frameEnabled.size() && m_frameEnabled[kind].load();
}

void ImageProc::SetWaitTime(uint16_t milliseconds) {
    for (FrameQueue* queue :
         {m_rawTofQueue.get(), m_rawColourQueue.get(), &m_tofDecode->DepthQueue(),
          &m_tofDecode->IRQueue(), &m_rgbDecode->Queue()}) {
        queue->SetTimeout(milliseconds);
    }
    m_sync->SetWaitTimeOfReadNextFrame(milliseconds);
}

void ImageProc::SetSaveRawBufferEnabled(bool enabled) {
    m_savedBuffers.store(0);
    m_savedColour.store(0);
    m_saveRaw.store(enabled);
    m_saveRawColour.store(enabled);
    m_tofDecode->SetSaveDecodedDepthEnabled(enabled);
}

void ImageProc::SetSaveFolder(const std::string& folder) {
    m_saveFolder = folder;
    m_tofDecode->SetSaveFolder(folder);
}

// --- pushed parameters --------------------------------------------------------------------

int32_t ImageProc::DecodeDeviceInitParams(const uint8_t* payload, size_t length) {
    if (payload != nullptr && length >= kHeaderBytes && m_initParamsReceived.load()) {
        return 0;  // the first complete set counts
    }
    std::lock_guard guard(m_initParamsLock);
    const int32_t ret = DecodeInitParams(payload, length, m_initParams);  // logs its faults
    if (ret != 0) {
        return ret;
    }
    m_initParamsReceived.store(true);
    QLOG("m_bReceiveInitCameraParams TRUE\n");
    return 0;
}

bool ImageProc::CopyInitParams(InitParamBlocks& out) const {
    std::lock_guard guard(m_initParamsLock);
    if (!m_initParamsReceived.load()) {
        return false;
    }
    out = m_initParams;
    return true;
}

void ImageProc::ResetInitParams() {
    std::lock_guard guard(m_initParamsLock);
    m_initParamsReceived.store(false);
    m_initParams = InitParamBlocks{};
}

// --- Producer -----------------------------------------------------------------------------

void ImageProc::SetSingleFrameReady(uint8_t mask) {
    m_sync->SetSingleFrameReady(mask);
}

int32_t ImageProc::GetRawTofFrame(Frame*& frame) {
    frame = m_decodersStopping.load() ? nullptr : m_rawTofQueue->Pop();
    return frame != nullptr ? 0 : -1;
}

int32_t ImageProc::GetRawRgbFrame(Frame*& frame) {
    frame = m_decodersStopping.load() ? nullptr : m_rawColourQueue->Pop();
    if (frame == nullptr) {
        return kStatusFailed;
    }
    if (m_saveRawColour.load()) {
        AppendRawDump(DumpFailure::kLog, m_saveFolder, frame->pFrameData,
                      std::min(frame->dataLen, frame->capacity), "raw_rgb_%d.bin",
                      static_cast<int>(frame->frameIndex));
        if (m_savedColour.fetch_add(1) + 1 >= kSavedBuffers) {
            m_saveRawColour.store(false);
        }
    }
    return 0;
}

void ImageProc::ReleaseRawTofFrame(Frame* frame) {
    m_rawTofQueue->Release(frame);
}

void ImageProc::ReleaseRawRgbFrame(Frame* frame) {
    m_rawColourQueue->Release(frame);
}

// --- the reader ---------------------------------------------------------------------------

void ImageProc::Run() {
    while (IsRunning()) {
        if (!m_session->HasTransport() || !m_streaming.load()) {
            WaitForStop(10ms);
            continue;
        }
        if (!m_connected.load()) {
            WaitForStop(30ms);
            continue;
        }
        if (m_model.quietOnFailure && m_failedReads.load() > kMaxFailedReads) {
            WaitForStop(30ms);
            continue;
        }
        std::lock_guard guard(m_session->TransportLock());
        uint32_t length = kReadBufferBytes;
        const int32_t ret = m_session->ReadTransport(m_readBuffer.get(), length);
        if (ret < 0 || length == 0 || length > kReadBufferBytes) {
            if (length > kReadBufferBytes) {
                QLOG("read of %u bytes passes the buffer of %u.\n", length, kReadBufferBytes);
            }
            m_failedReads.fetch_add(1);
            WaitForStop(10ms);
            continue;
        }
        m_failedReads.store(0);
        ProcessData(length);
    }
}

void ImageProc::ResetRecord(Frame*& record, FrameQueue& queue, int32_t poolType, uint32_t& used) {
    // The pool clears what was written; the reader is the only one taking from raw pools,
    // so the record given back is there to be taken again.
    used = 0;
    queue.Release(record);
    record = queue.AllocFrame(poolType);
}

void ImageProc::ProcessData(uint32_t length) {
    if (m_rawTof == nullptr) {
        m_rawTof = m_rawTofQueue->AllocFrame(kPoolRawTof);
        if (m_rawTof == nullptr) {
            QLOG_WARN("mPtrRawTof:%p is NULL.\n", static_cast<void*>(m_rawTof));
            return;
        }
    }
    if (m_rawColour == nullptr) {
        m_rawColour = m_rawColourQueue->AllocFrame(kPoolRawColour);
    }
    uint8_t mask = 0;
    uint8_t imu = 0;
    bool lengthOk = true;
    const uint8_t* buffer = m_readBuffer.get();
    if (length == kBareDepthBytes && m_model.bareDepthBuffers) {
        MarkWritten(*m_rawTof, kHeaderBytes + kBareDepthBytes);
        uint8_t* record = m_rawTof->pFrameData;
        record[0] = kBareDepthType;
        PutLe24(record + 1, kBareDepthBytes);
        record[4] = 0;
        memcpy(record + kHeaderBytes, buffer, kBareDepthBytes);
        m_rawTofUsed = kHeaderBytes + kBareDepthBytes;
        mask = kFrameSetDepth;
    } else {
        lengthOk = WalkSubPackets(length, mask, imu);
    }
    if (m_saveRaw.load()) {
        SaveRawBuffer(length);
    }

    if (lengthOk && m_session->IsFirstStatus()) {
        m_session->SetFirstStatus(false);
        m_session->SetDeviceSync(false);
        QLOG("set DeviceSync false only once\n");
    }
    if (m_reconnected.exchange(false) || !m_transportConnected.load()) {
        m_dropCount = kReconnectDrops;
    }
    if (m_dropCount >= 1) {
        --m_dropCount;
        ResetRecord(m_rawTof, *m_rawTofQueue, kPoolRawTof, m_rawTofUsed);
        ResetRecord(m_rawColour, *m_rawColourQueue, kPoolRawColour, m_rawColourUsed);
        return;
    }
    const uint64_t timestamp = ReceiveTime();
    if (mask == 0) {
        QLOG("Has no frame\n");
    } else {
        m_frameCounter.fetch_add(1);
        if (!lengthOk) {
            QLOG_ERROR("RawBuffer len error\n");
        } else {
            DeliverRecords(mask, imu, timestamp);
        }
    }
    // Whatever was not handed on is cleared: a record never carries sub-packets of an
    // earlier buffer into a later capture.
    if (m_rawTofUsed != 0) {
        ResetRecord(m_rawTof, *m_rawTofQueue, kPoolRawTof, m_rawTofUsed);
    }
    if (m_rawColourUsed != 0) {
        ResetRecord(m_rawColour, *m_rawColourQueue, kPoolRawColour, m_rawColourUsed);
    }
}

bool ImageProc::WalkSubPackets(uint32_t length, uint8_t& mask, uint8_t& imu) {
    const uint8_t* buffer = m_readBuffer.get();
    uint32_t offset = 0;
    while (offset < length) {
        const uint32_t unused = length - offset;
        if (unused < kHeaderBytes) {
            QLOG("bufferSize:%d  unUsed:%d   RAWDATAHEADER:%d   <\n", static_cast<int>(length),
                 static_cast<int>(unused), static_cast<int>(kHeaderBytes));
            return false;
        }
        const uint8_t* packet = buffer + offset;
        const uint8_t type = packet[0];
        const uint32_t header = type == kStatusType ? kStatusHeaderBytes : kHeaderBytes;
        const uint32_t payload = type == kStatusType ? ReadLe16(packet + 1) : Le24(packet + 1);
        if (payload > unused - header) {
            QLOG("bufferSize:%d typeId:%d dataLenth.lenth:%d   unUsed:%d   > %d\n",
                 static_cast<int>(length), type, static_cast<int>(payload),
                 static_cast<int>(unused), static_cast<int>(unused - header));
            return false;
        }
        // What the walk does not know ends it, without an error.
        const RawTypeRows rows = RawTypesOf(type);
        if (type < kFirstImageType || type > kLastImageType || !rows.Listed()) {
            return true;
        }
        const RawType* row = rows.Accepting(payload);
        if (row == nullptr) {
            if (rows.first->content == RawContent::kImuNumber) {
                QLOG("imu bufferSize:%d typeId:0x%x lenth:%d unUsed:%d\n", static_cast<int>(length),
                     type, static_cast<int>(payload), static_cast<int>(unused));
            } else if (rows.first->content == RawContent::kStatusBlock) {
                QLOG_ERROR("error bufferSize:%d typeId:0x%x lenth:%d unUsed:%d\n\n",
                           static_cast<int>(length), type, static_cast<int>(payload),
                           static_cast<int>(unused));
            } else {
                QLOG("bufferSize:%d typeId:0x%x lenth:%d unUsed:%d\n", static_cast<int>(length),
                     type, static_cast<int>(payload), static_cast<int>(unused));
            }
            return true;
        }
        if (IsWanted(*row)) {
            TakeSubPacket(*row, packet, header, payload, mask, imu);
        }
        offset += header + payload;
    }
    return true;
}

bool ImageProc::IsWanted(const RawType& row) const {
    if (row.Has(kRawUngated)) {
        return true;
    }
    switch (row.content) {
        case RawContent::kDepth:
            return m_frameEnabled[0].load();
        case RawContent::kIR:
            return m_frameEnabled[1].load();
        case RawContent::kDepthAndIR:
            return m_frameEnabled[0].load() || m_frameEnabled[1].load();
        case RawContent::kColour:
            return m_frameEnabled[2].load();
        case RawContent::kImuNumber:
            return m_frameEnabled[3].load();
        default:
            return true;
    }
}

void ImageProc::TakeSubPacket(const RawType& row, const uint8_t* packet, uint32_t header,
                              uint32_t payload, uint8_t& mask, uint8_t& imu) {
    const uint8_t* data = packet + header;
    switch (row.content) {
        case RawContent::kDepth:
        case RawContent::kIR:
        case RawContent::kDepthAndIR:
            if (AppendToTof(packet, payload, row)) {
                mask |= row.FrameBits();
                if (row.IsQvgaDepth() && m_saveRaw.load()) {
                    SaveQvgaDepth(data, payload);
                }
            }
            break;
        case RawContent::kColour:
            if (CopyToColour(packet, payload)) {
                mask |= row.FrameBits();
            }
            break;
        case RawContent::kImuNumber:
            imu = data[0];
            break;
        case RawContent::kPadding:
            break;
        case RawContent::kStatusBlock:
            HandDeviceStatus(data, payload);
            break;
        case RawContent::kInitParams:
            DecodeDeviceInitParams(data, payload);
            break;
        case RawContent::kJsonState:
            HandJsonState(data, payload);
            break;
        case RawContent::kStatusByte:
            m_deviceStatus.store(static_cast<int8_t>(data[0]));
            break;
    }
}

bool ImageProc::AppendToTof(const uint8_t* packet, uint32_t payload, const RawType& row) {
    const uint64_t need = uint64_t{kHeaderBytes} + payload;
    if (m_rawTofUsed + need > m_rawTof->capacity) {
        QLOG_WARN(
            "typeId:0x%x lenth:%u does not fit the raw record (%u of %u bytes used), dropped.\n",
            packet[0], payload, m_rawTofUsed, m_rawTof->capacity);
        return false;
    }
    MarkWritten(*m_rawTof, m_rawTofUsed + need);
    uint8_t* out = m_rawTof->pFrameData + m_rawTofUsed;
    out[0] = row.recordType != 0 ? row.recordType : packet[0];
    PutLe24(out + 1, payload);
    out[4] = packet[4];
    const uint8_t* in = packet + kHeaderBytes;
    if (row.Has(kRawSplitsRows)) {
        // Row r's first half goes to row r of the first half of the payload, its second
        // half to row r of the second half.
        const uint32_t half = kRawSplitRowBytes / 2;
        for (uint32_t r = 0; r < payload / kRawSplitRowBytes; ++r) {
            memcpy(out + kHeaderBytes + r * half, in + r * kRawSplitRowBytes, half);
            memcpy(out + kHeaderBytes + payload / 2 + r * half, in + r * kRawSplitRowBytes + half,
                   half);
        }
    } else {
        memcpy(out + kHeaderBytes, in, payload);
    }
    m_rawTofUsed += static_cast<uint32_t>(need);
    return true;
}

bool ImageProc::CopyToColour(const uint8_t* packet, uint32_t payload) {
    if (m_rawColour == nullptr) {
        QLOG("mPtrFramePool:%p is invliad.\n", static_cast<void*>(m_rawColourQueue->Pool()));
        return false;
    }
    const uint64_t need = uint64_t{kHeaderBytes} + payload;
    if (need > m_rawColour->capacity) {
        QLOG_WARN("typeId:0x%x lenth:%u does not fit the raw colour record of %u bytes, dropped.\n",
                  packet[0], payload, m_rawColour->capacity);
        return false;
    }
    MarkWritten(*m_rawColour, need);
    memcpy(m_rawColour->pFrameData, packet, need);
    m_rawColourUsed = static_cast<uint32_t>(need);
    return true;
}

void ImageProc::HandDeviceStatus(const uint8_t* payload, uint32_t length) {
    m_session->StoreDeviceStatus(payload, length);
    if (m_session->IsFirstStatus()) {
        m_session->SetFirstStatus(false);
        m_session->SetDeviceSync(true);
    }
}

void ImageProc::HandJsonState(const uint8_t* payload, uint32_t length) {
    if (length < 1) {
        return;
    }
    m_session->StoreJsonState(payload[0]);
    if (payload[0] >= 2 && length >= 3) {
        m_session->StoreJsonResult(payload[1], payload[2]);
        if (payload[1] == 0) {
            QLOG_ERROR("Json config error:%d.\n", payload[2]);
        }
    }
}

void ImageProc::SaveQvgaDepth(const uint8_t* payload, uint32_t length) const {
    AppendRawDump(DumpFailure::kLog, m_saveFolder, payload, length, "raw_Depth_%d.bin",
                  static_cast<int>(m_frameCounter.load()));
}

void ImageProc::SaveRawBuffer(uint32_t length) {
    AppendRawDump(DumpFailure::kLog, m_saveFolder, m_readBuffer.get(), length, "raw_buf_%d.bin",
                  static_cast<int>(m_frameCounter.load()));
    if (m_savedBuffers.fetch_add(1) + 1 >= kSavedBuffers) {
        m_saveRaw.store(false);
    }
}

void ImageProc::DeliverRecords(uint8_t mask, uint8_t imu, uint64_t timestamp) {
    const bool connected = m_connected.load();
    const uint32_t counter = m_frameCounter.load();
    const bool started = connected && counter >= kFirstDeliveredFrame && m_decodingOn.load();
    auto hand = [&](Frame*& record, uint32_t& used, FrameQueue& queue, int32_t poolType,
                    uint8_t bits) {
        if (used == 0 || !started || (mask & bits) == 0) {
            return;  // cleared by the caller
        }
        record->dataLen = used;
        record->frameIndex = counter;
        record->frameTag = imu;
        record->frameSet = mask;
        record->timestamp = timestamp;
        queue.Push(record);
        used = 0;
        record = queue.AllocFrame(poolType);
    };
    hand(m_rawTof, m_rawTofUsed, *m_rawTofQueue, kPoolRawTof, kFrameSetDepth | kFrameSetIR);
    hand(m_rawColour, m_rawColourUsed, *m_rawColourQueue, kPoolRawColour, kFrameSetColour);
}

}  // namespace quorix
