// Capture nodes on Linux through V4L2 ioctls and mmap streaming; commands through the
// uvcvideo driver's extension-unit query. The kernel calls sit behind VideoKernel, so the
// same code runs against a stand-in driver in tests.
#include <fcntl.h>
#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/VideoDevice.h"

namespace quorix::platform {
namespace {

constexpr uint8_t kCsInterface = 0x24;
constexpr uint8_t kInterfaceDescriptor = 0x04;
constexpr uint8_t kClassVideo = 0x0E;
constexpr uint8_t kSubclassControl = 0x01;
// The camera's control blocks are 64 bytes: a unit answering GET_LEN with that is ours.
constexpr uint16_t kCameraBlock = 64;
// Without descriptors, the unit ids probed, and the selector asked (a command every camera
// answers).
constexpr uint8_t kProbeLastUnit = 31;
constexpr uint8_t kProbeSelector = 0x02;

class SystemKernel final : public VideoKernel {
public:
    int Open(const std::string& node) override {
        const int fd = open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        return fd >= 0 ? fd : -errno;
    }
    void Close(int fd) override { close(fd); }
    int Ioctl(int fd, unsigned long request, void* argument) override {
        int result = 0;
        do {
            result = ioctl(fd, request, argument);
        } while (result < 0 && errno == EINTR);
        return result < 0 ? -errno : 0;
    }
    void* Map(int fd, size_t length, int64_t offset) override {
        void* address = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
        return address == MAP_FAILED ? nullptr : address;
    }
    void Unmap(void* address, size_t length) override { munmap(address, length); }
    int Poll(int fd, std::chrono::milliseconds timeout) override {
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(timeout.count()));
        if (ready < 0) {
            return errno == EINTR ? 0 : -errno;
        }
        if (ready == 0) {
            return 0;
        }
        return (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 ? -ENODEV : 1;
    }
    std::vector<uint8_t> UsbDescriptors(const std::string& node) override {
        const std::string name = std::filesystem::path(node).filename().string();
        std::ifstream in("/sys/class/video4linux/" + name + "/device/../descriptors",
                         std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

VideoKernel* g_kernelOverride = nullptr;

class LinuxVideoDevice final : public VideoDevice {
public:
    LinuxVideoDevice(VideoKernel& kernel, std::string node, int fd)
        : m_kernel(kernel), m_node(std::move(node)), m_fd(fd) {}
    ~LinuxVideoDevice() override {
        if (m_streaming) {
            StreamOff();
        }
        Unmap();
        m_kernel.Close(m_fd);
    }

    bool CanCapture() override {
        v4l2_capability caps{};
        if (m_kernel.Ioctl(m_fd, VIDIOC_QUERYCAP, &caps) != 0) {
            return false;
        }
        const uint32_t which =
            (caps.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? caps.device_caps : caps.capabilities;
        return (which & V4L2_CAP_VIDEO_CAPTURE) != 0 && (which & V4L2_CAP_STREAMING) != 0;
    }

    int32_t SetFormat(const VideoFormat& wanted, VideoFormat& chosen) override {
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        format.fmt.pix.width = wanted.width;
        format.fmt.pix.height = wanted.height;
        format.fmt.pix.pixelformat = wanted.fourcc;
        format.fmt.pix.field = V4L2_FIELD_ANY;
        if (const int result = m_kernel.Ioctl(m_fd, VIDIOC_S_FMT, &format); result != 0) {
            return result;
        }
        chosen = FromPix(format.fmt.pix);
        return 0;
    }

    int32_t GetFormat(VideoFormat& current) override {
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (const int result = m_kernel.Ioctl(m_fd, VIDIOC_G_FMT, &format); result != 0) {
            return result;
        }
        current = FromPix(format.fmt.pix);
        return 0;
    }

    int32_t MapBuffers(uint32_t count) override {
        Unmap();
        v4l2_requestbuffers request{};
        request.count = count;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        if (const int result = m_kernel.Ioctl(m_fd, VIDIOC_REQBUFS, &request); result != 0) {
            return result;
        }
        if (request.count == 0) {
            return -ENOMEM;
        }
        for (uint32_t i = 0; i < request.count; ++i) {
            v4l2_buffer buffer{};
            buffer.index = i;
            buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buffer.memory = V4L2_MEMORY_MMAP;
            if (const int result = m_kernel.Ioctl(m_fd, VIDIOC_QUERYBUF, &buffer); result != 0) {
                Unmap();
                return result;
            }
            void* address = m_kernel.Map(m_fd, buffer.length, buffer.m.offset);
            if (address == nullptr || buffer.length == 0) {
                Unmap();
                return -ENOMEM;
            }
            m_buffers.push_back({static_cast<uint8_t*>(address), buffer.length});
        }
        return 0;
    }

    int32_t StreamOn() override {
        if (m_buffers.empty()) {
            return -EINVAL;
        }
        for (uint32_t i = 0; i < m_buffers.size(); ++i) {
            if (const int result = Requeue(i); result != 0) {
                return result;
            }
        }
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        const int result = m_kernel.Ioctl(m_fd, VIDIOC_STREAMON, &type);
        m_streaming = result == 0;
        return result;
    }

    int32_t StreamOff() override {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        m_streaming = false;
        return m_kernel.Ioctl(m_fd, VIDIOC_STREAMOFF, &type);
    }

    int32_t Dequeue(VideoSample& sample, std::chrono::milliseconds timeout) override {
        const int ready = m_kernel.Poll(m_fd, timeout);
        if (ready < 0) {
            return ready;
        }
        if (ready == 0) {
            return -ETIMEDOUT;
        }
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        if (const int result = m_kernel.Ioctl(m_fd, VIDIOC_DQBUF, &buffer); result != 0) {
            return result == -EAGAIN ? -ETIMEDOUT : result;
        }
        if (buffer.index >= m_buffers.size()) {
            return -EIO;  // not a buffer of ours: nothing to read and nothing to give back
        }
        // A sample that claims more than its buffer holds, or that the driver marked bad, is
        // given back unread.
        if (buffer.bytesused > m_buffers[buffer.index].length ||
            (buffer.flags & V4L2_BUF_FLAG_ERROR) != 0) {
            Requeue(buffer.index);
            return -EMSGSIZE;
        }
        sample.index = buffer.index;
        sample.data = m_buffers[buffer.index].address;
        sample.bytesUsed = buffer.bytesused;
        return 0;
    }

    int32_t Requeue(uint32_t index) override {
        if (index >= m_buffers.size()) {
            return -EINVAL;
        }
        v4l2_buffer buffer{};
        buffer.index = index;
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        return m_kernel.Ioctl(m_fd, VIDIOC_QBUF, &buffer);
    }

    int32_t ExtensionQuery(uint8_t selector, uint8_t query, uint8_t* data, uint16_t size) override {
        if (m_unit == 0) {
            m_unit = FindUnit();
            if (m_unit == 0) {
                return -ENOENT;
            }
        }
        return Query(m_unit, selector, query, data, size);
    }

private:
    struct Mapped {
        uint8_t* address;
        uint32_t length;
    };

    static VideoFormat FromPix(const v4l2_pix_format& pix) {
        return {pix.pixelformat, pix.width, pix.height, pix.sizeimage};
    }

    void Unmap() {
        for (const Mapped& m : m_buffers) {
            m_kernel.Unmap(m.address, m.length);
        }
        if (!m_buffers.empty()) {
            m_buffers.clear();
            v4l2_requestbuffers release{};
            release.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            release.memory = V4L2_MEMORY_MMAP;
            m_kernel.Ioctl(m_fd, VIDIOC_REQBUFS, &release);
        }
    }

    int Query(uint8_t unit, uint8_t selector, uint8_t query, uint8_t* data, uint16_t size) {
        uvc_xu_control_query request{};
        request.unit = unit;
        request.selector = selector;
        request.query = query;
        request.size = size;
        request.data = data;
        return m_kernel.Ioctl(m_fd, UVCIOC_CTRL_QUERY, &request);
    }

    bool AnswersWithBlock(uint8_t unit, uint8_t selector) {
        uint8_t length[2] = {};
        return Query(unit, selector, kUvcGetLen, length, sizeof length) == 0 &&
               (length[0] | length[1] << 8) == kCameraBlock;
    }

    // The unit's GUID tells nothing here, so the unit is the one whose declared controls
    // answer with the camera's 64-byte block; without descriptors the ids are probed.
    uint8_t FindUnit() {
        const std::vector<ExtensionUnitInfo> units =
            ParseExtensionUnits(m_kernel.UsbDescriptors(m_node));
        for (const ExtensionUnitInfo& unit : units) {
            if (!unit.selectors.empty() && AnswersWithBlock(unit.unitId, unit.selectors.front())) {
                return unit.unitId;
            }
        }
        if (units.empty()) {
            for (uint8_t id = 1; id <= kProbeLastUnit; ++id) {
                if (AnswersWithBlock(id, kProbeSelector)) {
                    return id;
                }
            }
        }
        return 0;
    }

    VideoKernel& m_kernel;
    const std::string m_node;
    const int m_fd;
    std::vector<Mapped> m_buffers;
    bool m_streaming = false;
    uint8_t m_unit = 0;
};

}  // namespace

std::string FourCCText(uint32_t fourcc) {
    std::string text(4, ' ');
    for (size_t i = 0; i < 4; ++i) {
        const char c = static_cast<char>((fourcc >> (8 * i)) & 0xFF);
        text[i] = c >= 0x20 && c < 0x7F ? c : '?';
    }
    return text;
}

std::vector<ExtensionUnitInfo> ParseExtensionUnits(const std::vector<uint8_t>& d) {
    std::vector<ExtensionUnitInfo> units;
    bool inVideoControl = false;
    for (size_t at = 0; at + 2 <= d.size();) {
        const size_t length = d[at];
        if (length < 2 || at + length > d.size()) {
            break;  // a truncated or broken descriptor ends the walk
        }
        const uint8_t type = d[at + 1];
        if (type == kInterfaceDescriptor && length >= 7) {
            inVideoControl = d[at + 5] == kClassVideo && d[at + 6] == kSubclassControl;
        } else if (type == kCsInterface && inVideoControl && length >= 24 &&
                   d[at + 2] == UVC_VC_EXTENSION_UNIT) {
            // bUnitID, guid[16], bNumControls, bNrInPins, baSourceID[p], bControlSize,
            // bmControls[n], iExtension.
            ExtensionUnitInfo unit{d[at + 3], {}};
            const size_t pins = d[at + 21];
            const size_t sizeAt = at + 22 + pins;
            if (sizeAt < at + length) {
                const size_t controlSize = d[sizeAt];
                for (size_t byte = 0; byte < controlSize && sizeAt + 1 + byte < at + length;
                     ++byte) {
                    for (int bit = 0; bit < 8; ++bit) {
                        if ((d[sizeAt + 1 + byte] >> bit & 1) != 0) {
                            unit.selectors.push_back(static_cast<uint8_t>(byte * 8 + bit + 1));
                        }
                    }
                }
            }
            units.push_back(std::move(unit));
        }
        at += length;
    }
    return units;
}

VideoKernel& Kernel() {
    static SystemKernel system;
    return g_kernelOverride != nullptr ? *g_kernelOverride : system;
}

void SetVideoKernelForTesting(VideoKernel* kernel) {
    g_kernelOverride = kernel;
}

std::unique_ptr<VideoDevice> OpenVideoDevice(const std::string& node, int& error) {
    VideoKernel& kernel = Kernel();
    const int fd = kernel.Open(node);
    if (fd < 0) {
        error = -fd;
        return nullptr;
    }
    error = 0;
    return std::make_unique<LinuxVideoDevice>(kernel, node, fd);
}

}  // namespace quorix::platform
