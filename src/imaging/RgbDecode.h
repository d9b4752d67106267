// RgbDecode: the "RgbDecode" worker that turns raw colour records (MJPEG, NV12, H.264)
// into 24-bit RGB or BGR frames of the colour mode's size and queues them for Sync and
// the reader.
//
// Threads: the worker alone decodes (DecodeRGB, PostDecode, Step); the setters are called
// by the session's thread between frames and take effect on the next record.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "imgproc/ImgPreProcess.h"
#include "pipeline/Frame.h"
#include "pipeline/FrameQueue.h"
#include "pipeline/Producer.h"
#include "pipeline/StoppableThread.h"

namespace quorix {

class RgbDecode : public StoppableThread {
public:
    // Decode kinds of the last record.
    static constexpr int32_t kKindMjpeg = 0;
    static constexpr int32_t kKindH264 = 1;
    static constexpr int32_t kKindOther = -1;
    // Rotation setting that means "do not rotate".
    static constexpr uint16_t kNoRotation = 0xFFFF;
    // Bad records written to "%03d_raw.bin" per process.
    static constexpr int kMaxDumps = 10;
    // A camera streaming another size than the mode has every frame refused: the line is
    // logged for the first refusal and then once per this many, not 30 times a second.
    static constexpr uint32_t kRefusalLogInterval = 300;

    struct Mode {
        uint32_t width = 1280;
        uint32_t height = 720;
        uint32_t fps = 30;
    };

    // Neither pointer is owned; `preProcess` may be null (the steps that need it are then
    // skipped). `frameCount` sizes the colour pool.
    RgbDecode(Producer* producer, ImgPreProcess* preProcess,
              uint32_t frameCount = kColourFrames);
    ~RgbDecode() override;

    void SetMode(uint32_t width, uint32_t height, uint32_t fps);
    Mode GetMode() const;
    // 3 RGB, 4 BGR; any other value makes the worker drop every record.
    void SetOutputFormat(uint32_t format) { m_outputFormat.store(format); }
    uint32_t GetOutputFormat() const { return m_outputFormat.load(); }
    // 0, 1 or 2 turn the image a quarter turn; anything else leaves it.
    void SetRotation(uint16_t rotation) { m_rotation.store(rotation); }
    void SetDecodeEnabled(bool enabled) { m_decodeEnabled.store(enabled); }
    void SetModeChangePending(bool pending) { m_modeChangePending.store(pending); }
    int32_t DecodeType() const { return m_decodeType.load(); }

    // The colour frames decoded so far (frame type 3).
    FrameQueue& Queue() { return *m_queue; }

    // Decodes one raw colour record (type byte, 24-bit length, one byte, payload) into
    // `frame`, setting its size and exposure; frame.dataLen is 0 when nothing was decoded.
    void DecodeRGB(const Frame& raw, Frame& frame);
    // Decompresses `size` bytes of JPEG into `destination` (`capacity` bytes) in the output
    // byte order. The image must be width x height. 0 or -1, with the failure logged.
    int32_t Mjpeg2Rgb_new(const uint8_t* jpeg, uint32_t width, uint32_t height, uint32_t size,
                          uint8_t* destination, uint32_t capacity);
    // Rotation, the 640x360 to 640x480 crop and scale, and the colour processing of a
    // decoded frame.
    void PostDecode(Frame& frame);

    // One round of the worker's loop (it repeats this while running); tests drive it
    // directly.
    void Step();

protected:
    void Run() override;

private:
    bool EnsureDecompressor();
    void DecodeNv12(const uint8_t* payload, uint32_t size, Frame& frame);
    void HandOffH264(Frame& frame);
    bool SetFrameSize(Frame& frame, uint32_t width, uint32_t height) const;
    void Rotate(Frame& frame);
    void CropToFourThree(Frame& frame, bool rotated, const Mode& mode);
    static void DumpBadRecord(const Frame& raw);
    void Deliver(const Frame& raw);
    void Renew();
    // Whether a frame of width x height passes the mode once post-decoded (turned or not;
    // 640x360 is cropped to a 4:3 mode when the pre-processing interface can).
    bool Accepts(const Mode& mode, uint32_t width, uint32_t height, bool afterPostDecode) const;
    // True when the record is MJPEG whose type byte names a size the mode refuses: it is
    // refused without spending a decode on it.
    bool RefusedUndecoded(const Frame& raw);
    void LogRefusal(const Mode& mode, uint32_t width, uint32_t height);

    Producer* const m_producer;
    ImgPreProcess* const m_preProcess;
    std::unique_ptr<FrameQueue> m_queue;
    Frame* m_decodedFrame = nullptr;
    // Where a quarter turn is built before it goes back into the frame.
    std::unique_ptr<uint8_t[]> m_rotateBuffer;
    void* m_decompressor = nullptr;  // TurboJPEG handle, kept for the decoder's life

    mutable std::mutex m_modeLock;
    Mode m_mode;
    std::atomic<uint32_t> m_outputFormat{4};
    std::atomic<uint16_t> m_rotation{kNoRotation};
    std::atomic<int32_t> m_decodeType{kKindOther};
    std::atomic<bool> m_decodeEnabled{true};
    std::atomic<bool> m_modeChangePending{false};
    std::atomic<uint32_t> m_refusals{0};  // since the last delivered frame or mode change
};

}  // namespace quorix
