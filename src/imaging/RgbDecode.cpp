// Colour decoding: MJPEG through TurboJPEG straight into the pool frame, NV12 and H.264
// through the pre-processing interface, then rotation and the 4:3 crop.
#include "imaging/RgbDecode.h"

#include <turbojpeg.h>
#include <algorithm>
#include <chrono>
#include <cstring>

#include "base/Status.h"
#include "imaging/RawDump.h"
#include "log/Log.h"

namespace quorix {

namespace {

constexpr uint32_t kRecordHeader = 5;  // type byte, 24-bit length, one further byte
constexpr uint32_t kNv12Width = 640;
constexpr uint32_t kNv12Height = 480;
constexpr uint32_t kNv12Bytes = kNv12Width * kNv12Height * 3 / 2;

// Frame size that a type byte names; {0, 0} when it names none.
struct Size {
    uint32_t width;
    uint32_t height;
};
Size SizeOfType(uint8_t type) {
    switch (type) {
        case '1':
            return {1920, 1080};
        case '2':
            return {1280, 720};
        case '3':
            return {640, 360};
        case '4':
            return {640, 480};
        case '5':
            return {kNv12Width, kNv12Height};
        default:
            return {0, 0};
    }
}

bool CarriesExposure(uint8_t type) {
    return type >= '1' && type <= '5';
}

int32_t KindOf(const uint8_t* p, uint32_t size) {
    if (size >= 2 && p[0] == 0xFF && p[1] == 0xD8) {
        return RgbDecode::kKindMjpeg;
    }
    if ((size >= 3 && p[0] == 0 && p[1] == 0 && p[2] == 1) ||
        (size >= 4 && p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 1)) {
        return RgbDecode::kKindH264;
    }
    return RgbDecode::kKindOther;
}

uint64_t Rgb24Bytes(uint32_t width, uint32_t height) {
    return static_cast<uint64_t>(width) * height * 3;
}

ImageDescriptor ColourDescriptor(Frame& frame) {
    return ImageDescriptor{frame.pFrameData, kImage8BitRgb, frame.width, frame.height};
}

}  // namespace

RgbDecode::RgbDecode(Producer* producer, ImgPreProcess* preProcess, uint32_t frameCount)
    : StoppableThread("RgbDecode"),
      m_producer(producer),
      m_preProcess(preProcess),
      m_queue(std::make_unique<FrameQueue>(kPoolColour, frameCount)),
      m_rotateBuffer(std::make_unique_for_overwrite<uint8_t[]>(kColourBytes)) {
    m_decodedFrame = m_queue->AllocFrame(kPoolColour);
}

RgbDecode::~RgbDecode() {
    Stop();
    Join();
    m_queue->Release(m_decodedFrame);
    if (m_decompressor != nullptr) {
        tjDestroy(m_decompressor);
    }
}

void RgbDecode::SetMode(uint32_t width, uint32_t height, uint32_t fps) {
    {
        std::lock_guard guard(m_modeLock);
        m_mode = Mode{width, height, fps};
    }
    m_refusals.store(0);
    QLOG("fps:%d h:%d, w:%d\n", fps, height, width);
}

RgbDecode::Mode RgbDecode::GetMode() const {
    std::lock_guard guard(m_modeLock);
    return m_mode;
}

bool RgbDecode::SetFrameSize(Frame& frame, uint32_t width, uint32_t height) const {
    if (width == 0 || height == 0 || width > UINT16_MAX || height > UINT16_MAX ||
        Rgb24Bytes(width, height) > frame.capacity) {
        QLOG_WARN("%ux%u does not fit a frame of %u bytes\n", width, height, frame.capacity);
        return false;
    }
    frame.width = static_cast<uint16_t>(width);
    frame.height = static_cast<uint16_t>(height);
    MarkWritten(frame, Rgb24Bytes(width, height));  // every path fills up to this size
    return true;
}

void RgbDecode::DecodeRGB(const Frame& raw, Frame& frame) {
    frame.dataLen = 0;
    frame.exposureTime = 0.0f;
    if (raw.pFrameData == nullptr || raw.dataLen < kRecordHeader || raw.dataLen > raw.capacity) {
        QLOG_WARN("raw colour record of %u bytes is invalid\n", raw.dataLen);
        return;
    }
    const uint8_t* data = raw.pFrameData;
    const uint8_t type = data[0];
    const uint32_t size = data[1] | (data[2] << 8) | (data[3] << 16);
    if (size > raw.dataLen - kRecordHeader) {
        QLOG_WARN("type:0x%x length:%u does not fit a record of %u bytes\n", type, size,
                  raw.dataLen);
        return;
    }
    const uint8_t* payload = data + kRecordHeader;
    if (CarriesExposure(type) && size >= 4) {
        float exposure = 0.0f;  // little-endian, as the host
        memcpy(&exposure, payload + size - 4, sizeof exposure);
        frame.exposureTime = exposure * 1000.0f;
    }

    const int32_t kind = KindOf(payload, size);
    m_decodeType.store(kind);
    if (kind == kKindMjpeg) {
        Size named = SizeOfType(type);
        if (named.width == 0) {
            const Mode mode = GetMode();
            named = {mode.width, mode.height};
        }
        if (SetFrameSize(frame, named.width, named.height) &&
            Mjpeg2Rgb_new(payload, frame.width, frame.height, size, frame.pFrameData,
                          frame.capacity) == 0) {
            frame.dataLen = static_cast<uint32_t>(Rgb24Bytes(frame.width, frame.height));
        }
    } else if (kind == kKindH264) {
        HandOffH264(frame);
    } else if (type == '5') {
        DecodeNv12(payload, size, frame);
    } else {
        QLOG("err m_DecodeType: %d, data_size: %d\n", kind, raw.dataLen);
        DumpBadRecord(raw);
    }
}

bool RgbDecode::EnsureDecompressor() {
    if (m_decompressor == nullptr) {
        m_decompressor = tjInitDecompress();
        if (m_decompressor == nullptr) {
            QLOG_ERROR("ERROR in turbo decode while %s:\n%s\n", "initializing decompressor",
                       tjGetErrorStr2(nullptr));
            return false;
        }
    }
    return true;
}

int32_t RgbDecode::Mjpeg2Rgb_new(const uint8_t* jpeg, uint32_t width, uint32_t height,
                                 uint32_t size, uint8_t* destination, uint32_t capacity) {
    if (jpeg == nullptr || destination == nullptr || !EnsureDecompressor()) {
        return kStatusFailed;
    }
    int imageWidth = 0;
    int imageHeight = 0;
    int subsampling = 0;
    int colourSpace = 0;
    if (tjDecompressHeader3(m_decompressor, jpeg, size, &imageWidth, &imageHeight, &subsampling,
                            &colourSpace) != 0) {
        QLOG_ERROR("ERROR in turbo decode while %s:\n%s\n", "reading JPEG header",
                   tjGetErrorStr2(m_decompressor));
        return kStatusFailed;
    }
    if (static_cast<uint32_t>(imageWidth) != width ||
        static_cast<uint32_t>(imageHeight) != height || Rgb24Bytes(width, height) > capacity) {
        QLOG_ERROR("ERROR in turbo decode while %s:\n%s\n", "width or height is not right",
                   tjGetErrorStr2(m_decompressor));
        return kStatusFailed;
    }
    const int format = m_outputFormat.load() == kColourRGB ? TJPF_RGB : TJPF_BGR;
    if (tjDecompress2(m_decompressor, jpeg, size, destination, imageWidth, 0, imageHeight, format,
                      0) != 0) {
        QLOG_ERROR("ERROR in turbo decode while %s:\n%s\n", "decompressing JPEG image",
                   tjGetErrorStr2(m_decompressor));
        return kStatusFailed;
    }
    return 0;
}

void RgbDecode::DecodeNv12(const uint8_t* payload, uint32_t size, Frame& frame) {
    if (!SetFrameSize(frame, kNv12Width, kNv12Height) || m_preProcess == nullptr) {
        return;
    }
    if (size < kNv12Bytes) {
        QLOG("NV12 payload of %u bytes is short of %u\n", size, kNv12Bytes);
        return;
    }
    memcpy(frame.pFrameData, payload, kNv12Bytes);
    ImageDescriptor image{frame.pFrameData, kImage8Bit, frame.width, frame.height};
    const int32_t out = m_outputFormat.load() == kColourBGR ? kColourBGR : kColourRGB;
    if (m_preProcess->ConvertColour(&image, 1, kColourNV12, out) == 0) {
        frame.dataLen = static_cast<uint32_t>(Rgb24Bytes(frame.width, frame.height));
    }
}

// The bitstream is not decoded here: the pre-processing interface gets the frame at the
// colour mode's size, and the frame counts as decoded only if it reports success.
void RgbDecode::HandOffH264(Frame& frame) {
    const Mode mode = GetMode();
    if (m_preProcess == nullptr || !SetFrameSize(frame, mode.width, mode.height)) {
        return;
    }
    ImageDescriptor image = ColourDescriptor(frame);
    if (m_preProcess->ConvertColour(&image, 1, frame.pixelFormat,
                                    static_cast<int32_t>(m_outputFormat.load())) == 0) {
        frame.dataLen = static_cast<uint32_t>(Rgb24Bytes(frame.width, frame.height));
    }
}

void RgbDecode::DumpBadRecord(const Frame& raw) {
    static std::atomic<int> dumped{0};
    const int n = dumped.fetch_add(1);
    if (n >= kMaxDumps) {
        return;
    }
    // Written unasked, so a working directory that cannot take it stays out of the log.
    AppendRawDump(DumpFailure::kIgnore, {}, raw.pFrameData, std::min(raw.dataLen, raw.capacity),
                  "%03d_raw.bin", n);
}

// A quarter turn: source pixel (x, y) goes to column y, row width - 1 - x.
void RgbDecode::Rotate(Frame& frame) {
    const uint32_t w = frame.width;
    const uint32_t h = frame.height;
    const uint8_t* src = frame.pFrameData;
    uint8_t* dst = m_rotateBuffer.get();
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* row = src + static_cast<size_t>(y) * w * 3;
        for (uint32_t x = 0; x < w; ++x) {
            memcpy(dst + (static_cast<size_t>(w - 1 - x) * h + y) * 3, row + x * 3, 3);
        }
    }
    memcpy(frame.pFrameData, dst, frame.dataLen);
    frame.width = static_cast<uint16_t>(h);
    frame.height = static_cast<uint16_t>(w);
}

// A 16:9 640x360 image (360x640 turned) becomes the 4:3 mode: its central 480x360 part
// scaled up.
void RgbDecode::CropToFourThree(Frame& frame, bool rotated, const Mode& mode) {
    ImageDescriptor image = ColourDescriptor(frame);
    const uint32_t cropW = rotated ? 360 : 480;
    const uint32_t cropH = rotated ? 480 : 360;
    const uint32_t outW = rotated ? mode.height : mode.width;
    const uint32_t outH = rotated ? mode.width : mode.height;
    if (Rgb24Bytes(outW, outH) > frame.capacity || outW > UINT16_MAX || outH > UINT16_MAX) {
        return;
    }
    if (m_preProcess->Crop(&image, rotated ? 0 : 80, rotated ? 80 : 0, cropW, cropH) != 0) {
        return;
    }
    frame.width = static_cast<uint16_t>(cropW);
    frame.height = static_cast<uint16_t>(cropH);
    image = ColourDescriptor(frame);
    MarkWritten(frame, Rgb24Bytes(outW, outH));
    if (m_preProcess->Resize(&image, outW, outH, 1) != 0 || image.width != outW ||
        image.height != outH) {
        return;
    }
    frame.width = static_cast<uint16_t>(outW);
    frame.height = static_cast<uint16_t>(outH);
}

void RgbDecode::PostDecode(Frame& frame) {
    if (frame.dataLen == 0 || frame.dataLen != Rgb24Bytes(frame.width, frame.height) ||
        frame.dataLen > kColourBytes) {  // the turn is built in a buffer of that size
        return;
    }
    const uint16_t rotation = m_rotation.load();
    const bool rotated = rotation <= 2;
    if (rotated) {
        Rotate(frame);
    }
    const uint32_t format = m_outputFormat.load();
    if (m_preProcess == nullptr || (format != kColourRGB && format != kColourBGR)) {
        return;
    }
    const Mode mode = GetMode();
    const bool wide = rotated ? (frame.width == 360 && frame.height == 640)
                              : (frame.width == 640 && frame.height == 360);
    if (mode.height == 480 && wide) {
        CropToFourThree(frame, rotated, mode);
    }
    frame.dataLen = static_cast<uint32_t>(Rgb24Bytes(frame.width, frame.height));
    ImageDescriptor image = ColourDescriptor(frame);
    m_preProcess->ProcessColour(&image);
}

void RgbDecode::Run() {
    while (IsRunning()) {
        Step();
    }
}

void RgbDecode::Renew() {
    m_decodedFrame = m_queue->AllocFrame(kPoolColour);
}

void RgbDecode::Deliver(const Frame& raw) {
    Frame& frame = *m_decodedFrame;
    frame.pixelFormat = static_cast<int32_t>(m_outputFormat.load());
    frame.dataLen = static_cast<uint32_t>(Rgb24Bytes(frame.width, frame.height));
    frame.frameIndex = raw.frameIndex;
    frame.frameTag = raw.frameTag;
    frame.frameSet = raw.frameSet;
    frame.timestamp = raw.timestamp;
    frame.frameType = kPoolColour;
    m_queue->Push(m_decodedFrame);
    m_producer->SetSingleFrameReady(static_cast<uint8_t>(kFrameSetColour));
    Renew();
}

bool RgbDecode::Accepts(const Mode& mode, uint32_t width, uint32_t height,
                        bool afterPostDecode) const {
    const bool wide = (width == 640 && height == 360) || (width == 360 && height == 640);
    if (!afterPostDecode && wide && mode.height == 480 && m_preProcess != nullptr) {
        return true;  // cropped and scaled to the mode
    }
    return (mode.height == height || mode.height == width) &&
           (mode.width == width || mode.width == height);
}

bool RgbDecode::RefusedUndecoded(const Frame& raw) {
    if (raw.pFrameData == nullptr || raw.dataLen < kRecordHeader + 2 ||
        raw.dataLen > raw.capacity) {
        return false;  // DecodeRGB reports it
    }
    const Size named = SizeOfType(raw.pFrameData[0]);
    const uint8_t* payload = raw.pFrameData + kRecordHeader;
    if (named.width == 0 || KindOf(payload, raw.dataLen - kRecordHeader) != kKindMjpeg) {
        return false;
    }
    const Mode mode = GetMode();
    if (Accepts(mode, named.width, named.height, false)) {
        return false;
    }
    LogRefusal(mode, named.width, named.height);
    return true;
}

void RgbDecode::LogRefusal(const Mode& mode, uint32_t width, uint32_t height) {
    const uint32_t n = m_refusals.fetch_add(1) + 1;
    if (n == 1 || n % kRefusalLogInterval == 0) {
        QLOG(
            "DecodedRGB frame resolution does not match we want. framemode %d, %d ; decoded "
            "%d ,%d\n",
            mode.width, mode.height, width, height);
    }
}

void RgbDecode::Step() {
    using std::chrono::milliseconds;
    if (m_producer == nullptr) {
        WaitForStop(milliseconds(10));
        return;
    }
    Frame* raw = nullptr;
    if (!m_decodeEnabled.load()) {
        // Off: nothing is taken. The producer drops what waits when decoding resumes; a
        // record taken here could be the first one after that, and would be lost.
        m_modeChangePending.store(false);
        WaitForStop(milliseconds(1));
        return;
    }
    if (m_modeChangePending.load()) {
        // A mode change: the one record of the old mode that may wait is dropped.
        if (m_producer->GetRawRgbFrame(raw) == 0 && raw != nullptr) {
            m_producer->ReleaseRawRgbFrame(raw);
        }
        m_modeChangePending.store(false);
        return;
    }
    if (m_producer->GetRawRgbFrame(raw) != 0 || raw == nullptr) {
        WaitForStop(milliseconds(10));
        return;
    }
    const uint32_t format = m_outputFormat.load();
    if (format != kColourRGB && format != kColourBGR) {
        m_producer->ReleaseRawRgbFrame(raw);
        WaitForStop(milliseconds(10));
        return;
    }
    if (m_decodedFrame == nullptr) {
        QLOG_WARN("DecodeRGB mPtrDecodedFrame is NULL.\n");
        m_producer->ReleaseRawRgbFrame(raw);
        Renew();
        WaitForStop(milliseconds(10));
        return;
    }
    if (RefusedUndecoded(*raw)) {
        m_producer->ReleaseRawRgbFrame(raw);
        return;
    }
    Frame& frame = *m_decodedFrame;
    DecodeRGB(*raw, frame);
    if (frame.dataLen == 0) {
        QLOG_ERROR("DecodeRGB is failed.\n");
        m_producer->ReleaseRawRgbFrame(raw);
        return;
    }
    PostDecode(frame);
    const Mode mode = GetMode();
    if (Accepts(mode, frame.width, frame.height, true)) {
        m_refusals.store(0);
        Deliver(*raw);
    } else {
        LogRefusal(mode, frame.width, frame.height);
        m_queue->Release(m_decodedFrame);
        Renew();
    }
    m_producer->ReleaseRawRgbFrame(raw);
}

}  // namespace quorix
