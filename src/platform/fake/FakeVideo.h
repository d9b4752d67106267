// A user-space stand-in for a V4L2 capture driver with a vendor extension unit: tests and
// the simulated USB camera run the Linux capture code against it. Samples arrive when the
// owner delivers them; control requests go to a handler the owner sets.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/VideoDevice.h"

namespace quorix::platform {

class FakeVideoNode {
public:
    struct Config {
        bool capture = true;               // false: a metadata node
        std::vector<VideoFormat> formats;  // what S_FMT can settle on, first is the default
        uint8_t unitId = 4;                // the extension unit's id
        std::vector<uint8_t> descriptors;  // empty: none readable (the unit is probed)
    };
    // One request to the extension unit; 0 or -errno. The default handler answers GET_LEN
    // with 64 and GET_CUR with the last SET_CUR block of the selector.
    using ControlHandler =
        std::function<int(uint8_t selector, uint8_t query, uint8_t* data, uint16_t size)>;

    explicit FakeVideoNode(Config config);

    // Descriptors of one video-control interface holding one extension unit.
    static std::vector<uint8_t> Descriptors(uint8_t unitId, const std::vector<uint8_t>& selectors);

    void SetControlHandler(ControlHandler handler);
    // Told when the host starts (true) or stops (false) streaming.
    void SetStreamObserver(std::function<void(bool)> observer);
    // Fills the oldest buffer the host queued (cut to its length and marked bad when the
    // sample does not fit, as a driver does); false when none is queued and it is dropped.
    bool Deliver(const uint8_t* bytes, size_t size);
    // The next dequeued buffer claims `bytes` used, whatever was delivered (a faulty driver).
    void ClaimNextBytesUsed(uint32_t bytes);
    // Every call fails with -ENODEV from now on; a waiting poll returns at once.
    void Unplug();
    bool Streaming();
    // Buffers the host has queued and not yet got back.
    size_t QueuedBuffers();
    size_t MappedBuffers();
    VideoFormat Format();
    size_t Opens();

    // The driver side, called through FakeVideoKernel.
    int Ioctl(unsigned long request, void* argument);
    void* Map(size_t length, int64_t offset);
    int Poll(std::chrono::milliseconds timeout);
    const std::vector<uint8_t>& UsbDescriptors() const { return m_config.descriptors; }
    bool Present();
    void CountOpen();

private:
    struct Buffer {
        std::vector<uint8_t> memory;
        uint32_t bytesUsed = 0;
        bool bad = false;
    };
    int ControlQuery(void* argument);
    int DriverIoctl(unsigned long request, void* argument);

    const Config m_config;
    std::mutex m_lock;
    std::condition_variable m_changed;
    ControlHandler m_handler;
    std::function<void(bool)> m_observer;
    std::map<uint8_t, std::vector<uint8_t>> m_controls;  // the default handler's blocks
    VideoFormat m_format;
    std::vector<Buffer> m_buffers;
    std::deque<uint32_t> m_queued;
    std::deque<uint32_t> m_done;
    bool m_streaming = false;
    bool m_unplugged = false;
    uint32_t m_claim = 0;
    size_t m_opens = 0;
};

class FakeVideoKernel final : public VideoKernel {
public:
    void Add(const std::string& node, std::shared_ptr<FakeVideoNode> device);
    void Remove(const std::string& node);
    // Nodes that Open refuses with EACCES, as a node without the udev rule would be.
    void Deny(const std::string& node);
    // Descriptors open now.
    size_t OpenDescriptors();

    int Open(const std::string& node) override;
    void Close(int fd) override;
    int Ioctl(int fd, unsigned long request, void* argument) override;
    void* Map(int fd, size_t length, int64_t offset) override;
    void Unmap(void* address, size_t length) override;
    int Poll(int fd, std::chrono::milliseconds timeout) override;
    std::vector<uint8_t> UsbDescriptors(const std::string& node) override;

private:
    std::shared_ptr<FakeVideoNode> Find(int fd);

    std::mutex m_lock;
    std::map<std::string, std::shared_ptr<FakeVideoNode>> m_nodes;
    std::map<int, std::shared_ptr<FakeVideoNode>> m_open;
    std::vector<std::string> m_denied;
    int m_next = 100;
};

}  // namespace quorix::platform
