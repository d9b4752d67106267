// The stand-in capture driver.
#include "platform/fake/FakeVideo.h"

#include <linux/uvcvideo.h>
#include <linux/videodev2.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quorix::platform {
namespace {

constexpr uint32_t kMaxBuffers = 8;
constexpr int64_t kOffsetStep = 4096;
constexpr uint16_t kBlock = 64;

}  // namespace

FakeVideoNode::FakeVideoNode(Config config) : m_config(std::move(config)) {
    if (!m_config.formats.empty()) {
        m_format = m_config.formats.front();
    }
}

std::vector<uint8_t> FakeVideoNode::Descriptors(uint8_t unitId,
                                                const std::vector<uint8_t>& selectors) {
    std::vector<uint8_t> d = {9, 0x04, 0, 0, 0, 0x0E, 0x01, 0, 0};  // video-control interface
    uint8_t bitmap[2] = {};
    for (uint8_t s : selectors) {
        if (s >= 1 && s <= 16) {
            bitmap[(s - 1) / 8] |= static_cast<uint8_t>(1u << ((s - 1) % 8));
        }
    }
    const std::vector<uint8_t> head = {27, 0x24, 0x06, unitId};
    d.insert(d.end(), head.begin(), head.end());
    d.insert(d.end(), 16, 0xFF);  // the GUID
    const std::vector<uint8_t> tail = {
        static_cast<uint8_t>(selectors.size()), 1, 1, 2, bitmap[0], bitmap[1], 0};
    d.insert(d.end(), tail.begin(), tail.end());
    return d;
}

void FakeVideoNode::SetControlHandler(ControlHandler handler) {
    std::lock_guard guard(m_lock);
    m_handler = std::move(handler);
}

bool FakeVideoNode::Deliver(const uint8_t* bytes, size_t size) {
    {
        std::lock_guard guard(m_lock);
        if (m_unplugged || !m_streaming || m_queued.empty()) {
            return false;
        }
        const uint32_t index = m_queued.front();
        m_queued.pop_front();
        Buffer& b = m_buffers[index];
        const size_t count = std::min(size, b.memory.size());
        memcpy(b.memory.data(), bytes, count);
        b.bytesUsed = static_cast<uint32_t>(count);
        b.bad = count < size;
        m_done.push_back(index);
    }
    m_changed.notify_all();
    return true;
}

void FakeVideoNode::ClaimNextBytesUsed(uint32_t bytes) {
    std::lock_guard guard(m_lock);
    m_claim = bytes;
}

void FakeVideoNode::Unplug() {
    {
        std::lock_guard guard(m_lock);
        m_unplugged = true;
    }
    m_changed.notify_all();
}

bool FakeVideoNode::Streaming() {
    std::lock_guard guard(m_lock);
    return m_streaming;
}

size_t FakeVideoNode::QueuedBuffers() {
    std::lock_guard guard(m_lock);
    return m_queued.size();
}

size_t FakeVideoNode::MappedBuffers() {
    std::lock_guard guard(m_lock);
    return m_buffers.size();
}

VideoFormat FakeVideoNode::Format() {
    std::lock_guard guard(m_lock);
    return m_format;
}

size_t FakeVideoNode::Opens() {
    std::lock_guard guard(m_lock);
    return m_opens;
}

bool FakeVideoNode::Present() {
    std::lock_guard guard(m_lock);
    return !m_unplugged;
}

void FakeVideoNode::CountOpen() {
    std::lock_guard guard(m_lock);
    ++m_opens;
}

int FakeVideoNode::ControlQuery(void* argument) {
    auto* q = static_cast<uvc_xu_control_query*>(argument);
    ControlHandler handler;
    {
        std::lock_guard guard(m_lock);
        if (q->unit != m_config.unitId) {
            return -ENOENT;
        }
        handler = m_handler;
    }
    if (handler) {
        return handler(q->selector, q->query, q->data, q->size);  // unlocked: may be a camera
    }
    std::lock_guard guard(m_lock);
    std::vector<uint8_t>& block = m_controls[q->selector];
    block.resize(kBlock);
    switch (q->query) {
        case kUvcGetLen:
            if (q->size < 2) {
                return -EINVAL;
            }
            q->data[0] = kBlock & 0xFF;
            q->data[1] = kBlock >> 8;
            return 0;
        case kUvcSetCur:
        case kUvcGetCur:
            if (q->size != kBlock) {
                return -EINVAL;  // uvcvideo refuses a size other than the control's
            }
            if (q->query == kUvcSetCur) {
                memcpy(block.data(), q->data, kBlock);
            } else {
                memcpy(q->data, block.data(), kBlock);
            }
            return 0;
        default:
            return -EINVAL;
    }
}

void FakeVideoNode::SetStreamObserver(std::function<void(bool)> observer) {
    std::lock_guard guard(m_lock);
    m_observer = std::move(observer);
}

int FakeVideoNode::Ioctl(unsigned long request, void* argument) {
    if (request == UVCIOC_CTRL_QUERY) {
        if (!Present()) {
            return -ENODEV;
        }
        return ControlQuery(argument);
    }
    const int result = DriverIoctl(request, argument);
    if (result == 0 && (request == VIDIOC_STREAMON || request == VIDIOC_STREAMOFF)) {
        std::function<void(bool)> observer;
        {
            std::lock_guard guard(m_lock);
            observer = m_observer;
        }
        if (observer) {
            observer(request == VIDIOC_STREAMON);  // unlocked: it may deliver at once
        }
    }
    return result;
}

int FakeVideoNode::DriverIoctl(unsigned long request, void* argument) {
    std::lock_guard guard(m_lock);
    if (m_unplugged) {
        return -ENODEV;
    }
    switch (request) {
        case VIDIOC_QUERYCAP: {
            auto* caps = static_cast<v4l2_capability*>(argument);
            *caps = {};
            caps->device_caps = m_config.capture ? V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING
                                                 : V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
            caps->capabilities = caps->device_caps | V4L2_CAP_DEVICE_CAPS;
            return 0;
        }
        case VIDIOC_S_FMT: {
            auto* f = static_cast<v4l2_format*>(argument);
            if (!m_config.capture || m_config.formats.empty()) {
                return -EINVAL;
            }
            if (!m_buffers.empty()) {
                return -EBUSY;
            }
            // A driver settles on the nearest format it has: here the exact one, else the
            // first of the same fourcc, else its default.
            const VideoFormat* pick = &m_config.formats.front();
            const VideoFormat* sameFourcc = nullptr;
            for (const VideoFormat& c : m_config.formats) {
                if (c.fourcc == f->fmt.pix.pixelformat && sameFourcc == nullptr) {
                    sameFourcc = &c;
                }
                if (c.fourcc == f->fmt.pix.pixelformat && c.width == f->fmt.pix.width &&
                    c.height == f->fmt.pix.height) {
                    sameFourcc = &c;
                    break;
                }
            }
            m_format = sameFourcc != nullptr ? *sameFourcc : *pick;
            [[fallthrough]];
        }
        case VIDIOC_G_FMT: {
            auto* f = static_cast<v4l2_format*>(argument);
            f->fmt.pix.pixelformat = m_format.fourcc;
            f->fmt.pix.width = m_format.width;
            f->fmt.pix.height = m_format.height;
            f->fmt.pix.sizeimage = m_format.sizeImage;
            return 0;
        }
        case VIDIOC_REQBUFS: {
            auto* r = static_cast<v4l2_requestbuffers*>(argument);
            if (m_streaming) {
                return -EBUSY;
            }
            m_buffers.clear();
            m_queued.clear();
            m_done.clear();
            r->count = std::min(r->count, kMaxBuffers);
            m_buffers.resize(r->count);
            for (Buffer& b : m_buffers) {
                b.memory.assign(std::max<uint32_t>(m_format.sizeImage, 1), 0);
            }
            return 0;
        }
        case VIDIOC_QUERYBUF: {
            auto* b = static_cast<v4l2_buffer*>(argument);
            if (b->index >= m_buffers.size()) {
                return -EINVAL;
            }
            b->length = static_cast<uint32_t>(m_buffers[b->index].memory.size());
            b->m.offset = static_cast<uint32_t>(b->index * kOffsetStep);
            return 0;
        }
        case VIDIOC_QBUF: {
            auto* b = static_cast<v4l2_buffer*>(argument);
            if (b->index >= m_buffers.size() ||
                std::find(m_queued.begin(), m_queued.end(), b->index) != m_queued.end()) {
                return -EINVAL;
            }
            m_queued.push_back(b->index);
            return 0;
        }
        case VIDIOC_DQBUF: {
            auto* b = static_cast<v4l2_buffer*>(argument);
            if (m_done.empty()) {
                return -EAGAIN;
            }
            b->index = m_done.front();
            m_done.pop_front();
            const Buffer& buffer = m_buffers[b->index];
            b->bytesused = m_claim != 0 ? m_claim : buffer.bytesUsed;
            b->flags = buffer.bad ? V4L2_BUF_FLAG_ERROR : 0;
            m_claim = 0;
            return 0;
        }
        case VIDIOC_STREAMON:
            if (m_buffers.empty()) {
                return -EINVAL;
            }
            m_streaming = true;
            return 0;
        case VIDIOC_STREAMOFF:
            m_streaming = false;
            m_queued.clear();
            m_done.clear();
            return 0;
        default:
            return -ENOTTY;
    }
}

void* FakeVideoNode::Map(size_t length, int64_t offset) {
    std::lock_guard guard(m_lock);
    const auto index = static_cast<size_t>(offset / kOffsetStep);
    if (m_unplugged || offset % kOffsetStep != 0 || index >= m_buffers.size() ||
        length > m_buffers[index].memory.size()) {
        return nullptr;
    }
    return m_buffers[index].memory.data();
}

int FakeVideoNode::Poll(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_lock);
    m_changed.wait_for(lock, timeout, [&] { return m_unplugged || !m_done.empty(); });
    if (m_unplugged) {
        return -ENODEV;
    }
    return m_done.empty() ? 0 : 1;
}

void FakeVideoKernel::Add(const std::string& node, std::shared_ptr<FakeVideoNode> device) {
    std::lock_guard guard(m_lock);
    m_nodes[node] = std::move(device);
}

void FakeVideoKernel::Remove(const std::string& node) {
    std::lock_guard guard(m_lock);
    m_nodes.erase(node);
}

void FakeVideoKernel::Deny(const std::string& node) {
    std::lock_guard guard(m_lock);
    m_denied.push_back(node);
}

size_t FakeVideoKernel::OpenDescriptors() {
    std::lock_guard guard(m_lock);
    return m_open.size();
}

int FakeVideoKernel::Open(const std::string& node) {
    std::lock_guard guard(m_lock);
    if (std::find(m_denied.begin(), m_denied.end(), node) != m_denied.end()) {
        return -EACCES;
    }
    const auto it = m_nodes.find(node);
    if (it == m_nodes.end() || !it->second->Present()) {
        return -ENOENT;
    }
    it->second->CountOpen();
    const int fd = m_next++;
    m_open[fd] = it->second;
    return fd;
}

void FakeVideoKernel::Close(int fd) {
    std::lock_guard guard(m_lock);
    m_open.erase(fd);
}

std::shared_ptr<FakeVideoNode> FakeVideoKernel::Find(int fd) {
    std::lock_guard guard(m_lock);
    const auto it = m_open.find(fd);
    return it == m_open.end() ? nullptr : it->second;
}

int FakeVideoKernel::Ioctl(int fd, unsigned long request, void* argument) {
    const auto node = Find(fd);
    return node ? node->Ioctl(request, argument) : -EBADF;
}

void* FakeVideoKernel::Map(int fd, size_t length, int64_t offset) {
    const auto node = Find(fd);
    return node ? node->Map(length, offset) : nullptr;
}

// The stand-in's memory belongs to its buffers: nothing to unmap.
void FakeVideoKernel::Unmap(void*, size_t) {}

int FakeVideoKernel::Poll(int fd, std::chrono::milliseconds timeout) {
    const auto node = Find(fd);
    return node ? node->Poll(timeout) : -EBADF;
}

std::vector<uint8_t> FakeVideoKernel::UsbDescriptors(const std::string& node) {
    std::lock_guard guard(m_lock);
    const auto it = m_nodes.find(node);
    return it == m_nodes.end() ? std::vector<uint8_t>() : it->second->UsbDescriptors();
}

}  // namespace quorix::platform
