// The video-capture side of the operating-system seam: one opened capture node (its
// format, mmap streaming, and the vendor extension unit that carries commands), and
// beneath it the few kernel calls it is made of, so that tests run the Linux code against
// a user-space stand-in for the driver.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorix::platform {

constexpr uint32_t FourCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}
inline constexpr uint32_t kFourCCMjpeg = FourCC('M', 'J', 'P', 'G');
inline constexpr uint32_t kFourCCH264 = FourCC('H', '2', '6', '4');
inline constexpr uint32_t kFourCCYuyv = FourCC('Y', 'U', 'Y', 'V');

// "MJPG" for kFourCCMjpeg.
std::string FourCCText(uint32_t fourcc);

struct VideoFormat {
    uint32_t fourcc = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t sizeImage = 0;  // the driver's largest sample in this format
};

// A filled buffer lent by the driver until it is requeued.
struct VideoSample {
    uint32_t index = 0;
    const uint8_t* data = nullptr;
    uint32_t bytesUsed = 0;  // never more than the buffer's length
};

// UVC control requests of the extension unit.
inline constexpr uint8_t kUvcSetCur = 0x01;
inline constexpr uint8_t kUvcGetCur = 0x81;
inline constexpr uint8_t kUvcGetLen = 0x85;

// One opened capture node. Not thread-safe except where said: the transport serialises
// control and streaming calls, and one thread dequeues.
class VideoDevice {
public:
    virtual ~VideoDevice() = default;
    // Whether the node captures video (a UVC camera's metadata node does not).
    virtual bool CanCapture() = 0;
    // Asks for `wanted`; `chosen` is what the driver settled on, which may differ (drivers
    // adjust silently). 0 or -errno.
    virtual int32_t SetFormat(const VideoFormat& wanted, VideoFormat& chosen) = 0;
    virtual int32_t GetFormat(VideoFormat& format) = 0;
    // Asks the driver for `count` buffers and maps them; the driver may grant fewer (at
    // least one) or refuse. 0 or -errno.
    virtual int32_t MapBuffers(uint32_t count) = 0;
    // Queues every mapped buffer and starts streaming. 0 or -errno.
    virtual int32_t StreamOn() = 0;
    // Stops streaming; the driver takes every buffer back. 0 or -errno.
    virtual int32_t StreamOff() = 0;
    // Waits up to `timeout` for a filled buffer. 0, -ETIMEDOUT, or -errno (-ENODEV: gone).
    virtual int32_t Dequeue(VideoSample& sample, std::chrono::milliseconds timeout) = 0;
    virtual int32_t Requeue(uint32_t index) = 0;
    // One request to the camera's vendor extension unit (found from its descriptors at the
    // first request). `size` bytes of `data` go out or come back. 0 or -errno.
    virtual int32_t ExtensionQuery(uint8_t selector, uint8_t query, uint8_t* data,
                                   uint16_t size) = 0;
};

// Opens the capture node `node` ("/dev/video0") through the process's kernel calls; null
// with `error` (an errno) on failure.
std::unique_ptr<VideoDevice> OpenVideoDevice(const std::string& node, int& error);

// The kernel calls a capture node is driven by, each returning -errno on failure.
class VideoKernel {
public:
    virtual ~VideoKernel() = default;
    virtual int Open(const std::string& node) = 0;  // a descriptor
    virtual void Close(int fd) = 0;
    virtual int Ioctl(int fd, unsigned long request, void* argument) = 0;  // 0
    virtual void* Map(int fd, size_t length, int64_t offset) = 0;          // null on failure
    virtual void Unmap(void* address, size_t length) = 0;
    // 1 when a buffer is ready, 0 on time-out, -ENODEV when the device is gone.
    virtual int Poll(int fd, std::chrono::milliseconds timeout) = 0;
    // The raw configuration descriptors of the USB device the node belongs to; empty when
    // they cannot be read.
    virtual std::vector<uint8_t> UsbDescriptors(const std::string& node) = 0;
};

// The process's kernel calls: the system's, unless a test installed others.
VideoKernel& Kernel();
// Installs `kernel` for tests (null restores the system's). Call it while no camera is open.
void SetVideoKernelForTesting(VideoKernel* kernel);

// The extension units a USB device's configuration descriptors declare, in order: unit
// id and the control selectors its bitmap offers.
struct ExtensionUnitInfo {
    uint8_t unitId = 0;
    std::vector<uint8_t> selectors;
};
std::vector<ExtensionUnitInfo> ParseExtensionUnits(const std::vector<uint8_t>& descriptors);

}  // namespace quorix::platform
