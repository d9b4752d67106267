// DXCtl: the UVC side of a USB camera. It captures the camera's video stream (raw ToF data
// travels as video samples) and hands the newest sample to the session's reader through
// ReadData; and it carries commands as 64-byte controls of the camera's vendor extension
// unit, the control selector being the command id.
//
// One object per device path, shared by every protocol of that camera (the registry below),
// so a temporary protocol and a session's meet on the same object and the same lock.
//
// Threads: a capture thread, from StartStream to StopStream, dequeues samples and keeps the
// newest one lent from the driver; ReadData (the session's reader) copies it out. SetCmd
// from any thread, serialised by the command lock. Open, close, start and stop from the
// control path, serialised by the state lock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/VideoDevice.h"
#include "transport/IO.h"

namespace quorix {

// What a protocol opens the capture with.
struct CaptureRequest {
    uint32_t width = 0;
    uint32_t height = 0;
    std::string path;      // the video interface's path
    uint8_t encoding = 0;  // 0 MJPG, 1 H264, 2 YUY2; anything else MJPG
};

class DXCtl final : public IO {
public:
    static constexpr std::chrono::milliseconds kReadWait{350};
    static constexpr std::chrono::milliseconds kDequeueWait{100};
    static constexpr uint32_t kBuffers = 4;
    static constexpr uint16_t kBlockBytes = 64;
    // SetCmd modes.
    static constexpr int32_t kSet = 0;
    static constexpr int32_t kGet = 1;

    // The fourcc and bytes per pixel of an encoding byte of the open request.
    static uint32_t FourCCOf(uint8_t encoding);
    static uint32_t BytesPerPixelOf(uint8_t encoding);

    // The shared object of a device path, created on first use; it lives as long as the
    // process, as do its channels' handles while they are open.
    static std::shared_ptr<DXCtl> ForPath(const std::string& path);

    explicit DXCtl(std::string path);
    ~DXCtl() override;
    DXCtl(const DXCtl&) = delete;
    DXCtl& operator=(const DXCtl&) = delete;

    // Opens the capture node and chooses the format by fourcc and size. 0; 1 when it was
    // open already (nothing is touched); -13 when the node cannot be opened or does not
    // capture. A format the driver does not offer as asked is refused with a log line: the
    // channel opens for commands, and every ReadData fails.
    int32_t Open(const CaptureRequest& request);
    // Open with the size and encoding of the last request (640 x 480 MJPG before any).
    int32_t OpenDevice(const char* path) override;
    // Stops capture and releases the node; 0.
    int32_t CloseDevice() override;
    // Starts streaming and the capture thread: 0, -13 when closed, -255 on a driver refusal.
    int32_t StartStream() override;
    // Stops the capture thread and streaming: 0, -13 when closed.
    int32_t StopStream() override;
    // `mode` 0 sets (the first `requestLength` bytes in a 64-byte block), 1 gets (the block's
    // first `replyLength` bytes back). 0; -13 when not connected; -104 when the exchange fails.
    int32_t SetCmd(uint32_t cmd, uint8_t* data, int32_t replyLength, int32_t requestLength,
                   int32_t mode, uint32_t& received) override;
    // Waits up to 350 ms for a sample newer than the last one read and copies it. 0 with
    // its length; -255 on time-out, without a format, when the camera is gone, or when the
    // sample is larger than `length` (nothing is copied then).
    int32_t ReadData(uint8_t* buffer, uint32_t& length) override;
    // Hot-plug: commands refuse while it is false.
    int32_t SetConnectStatus(bool connected) override;

    bool IsConnected() const { return m_connected.load(); }
    bool IsStreaming() const { return m_streaming.load(); }
    // Width x height x bytes per pixel of the chosen format; 0 when it was refused.
    uint32_t FrameSize() const { return m_frameSize.load(); }
    const std::string& Path() const { return m_path; }

private:
    void StopCapture();
    void CaptureLoop();

    const std::string m_path;
    std::mutex m_stateLock;    // open, close, start, stop
    std::mutex m_commandLock;  // one extension-unit exchange at a time; guards m_device's use
    std::unique_ptr<platform::VideoDevice> m_device;
    CaptureRequest m_request;
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_streaming{false};
    std::atomic<uint32_t> m_frameSize{0};
    bool m_mapped = false;

    // The newest sample, lent from the driver until a newer one replaces it.
    std::mutex m_sampleLock;
    std::condition_variable m_sampleReady;
    platform::VideoSample m_held;
    bool m_holding = false;
    uint64_t m_sequence = 0;
    uint64_t m_readSequence = 0;
    bool m_lost = false;  // the device failed under the capture thread
    std::atomic<bool> m_run{false};
    std::thread m_capture;
};

}  // namespace quorix
