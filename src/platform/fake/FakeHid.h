// Scripted HID interfaces for tests and the simulated USB camera: each endpoint answers
// the reports written to it through a responder, and can be unplugged.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/HidDevice.h"

namespace quorix::platform {

using HidReport = std::vector<uint8_t>;

class FakeHidEndpoint {
public:
    // The replies to one written report, queued for reading in order.
    using Responder = std::function<std::vector<HidReport>(const HidReport& written)>;

    void SetResponder(Responder responder);
    // Queues a report for reading as if the device had sent it.
    void Queue(const HidReport& report);
    // Reads and writes fail with -ENODEV from now on; a waiting read returns at once.
    void Unplug();
    // Every report written so far.
    std::vector<HidReport> Written();
    size_t Opens();

    int32_t Write(const uint8_t* report, size_t size);
    int32_t Read(uint8_t* report, size_t size, std::chrono::milliseconds timeout);
    bool Present();
    void CountOpen();

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    Responder m_responder;
    std::deque<HidReport> m_pending;
    std::vector<HidReport> m_written;
    bool m_unplugged = false;
    size_t m_opens = 0;
};

class FakeHidPlatform final : public HidPlatform {
public:
    void Add(const std::string& node, std::shared_ptr<FakeHidEndpoint> endpoint);
    void Remove(const std::string& node);
    // Nodes that Open refuses with EACCES, as a node without the udev rule would be.
    void Deny(const std::string& node);

    std::unique_ptr<HidDevice> Open(const std::string& node, int& error) override;

private:
    std::mutex m_lock;
    std::map<std::string, std::shared_ptr<FakeHidEndpoint>> m_nodes;
    std::vector<std::string> m_denied;
};

}  // namespace quorix::platform
