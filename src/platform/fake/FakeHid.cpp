// Scripted HID interfaces.
#include "platform/fake/FakeHid.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quorix::platform {
namespace {

class FakeHidDevice final : public HidDevice {
public:
    explicit FakeHidDevice(std::shared_ptr<FakeHidEndpoint> endpoint)
        : m_endpoint(std::move(endpoint)) {}
    int32_t Write(const uint8_t* report, size_t size, std::chrono::milliseconds) override {
        return m_endpoint->Write(report, size);
    }
    int32_t Read(uint8_t* report, size_t size, std::chrono::milliseconds timeout) override {
        return m_endpoint->Read(report, size, timeout);
    }

private:
    const std::shared_ptr<FakeHidEndpoint> m_endpoint;
};

}  // namespace

void FakeHidEndpoint::SetResponder(Responder responder) {
    std::lock_guard guard(m_lock);
    m_responder = std::move(responder);
}

void FakeHidEndpoint::Queue(const HidReport& report) {
    {
        std::lock_guard guard(m_lock);
        m_pending.push_back(report);
    }
    m_changed.notify_all();
}

void FakeHidEndpoint::Unplug() {
    {
        std::lock_guard guard(m_lock);
        m_unplugged = true;
        m_pending.clear();
    }
    m_changed.notify_all();
}

std::vector<HidReport> FakeHidEndpoint::Written() {
    std::lock_guard guard(m_lock);
    return m_written;
}

size_t FakeHidEndpoint::Opens() {
    std::lock_guard guard(m_lock);
    return m_opens;
}

bool FakeHidEndpoint::Present() {
    std::lock_guard guard(m_lock);
    return !m_unplugged;
}

void FakeHidEndpoint::CountOpen() {
    std::lock_guard guard(m_lock);
    ++m_opens;
}

int32_t FakeHidEndpoint::Write(const uint8_t* report, size_t size) {
    Responder responder;
    HidReport written(report, report + size);
    {
        std::lock_guard guard(m_lock);
        if (m_unplugged) {
            return -ENODEV;
        }
        m_written.push_back(written);
        responder = m_responder;
    }
    // The responder runs unlocked: it may be a whole simulated camera.
    if (responder) {
        for (const HidReport& reply : responder(written)) {
            Queue(reply);
        }
    }
    return static_cast<int32_t>(size);
}

int32_t FakeHidEndpoint::Read(uint8_t* report, size_t size, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_lock);
    m_changed.wait_for(lock, timeout, [&] { return m_unplugged || !m_pending.empty(); });
    if (m_unplugged) {
        return -ENODEV;
    }
    if (m_pending.empty()) {
        return 0;
    }
    const HidReport next = std::move(m_pending.front());
    m_pending.pop_front();
    const size_t count = std::min(size, next.size());
    memcpy(report, next.data(), count);
    return static_cast<int32_t>(count);
}

void FakeHidPlatform::Add(const std::string& node, std::shared_ptr<FakeHidEndpoint> endpoint) {
    std::lock_guard guard(m_lock);
    m_nodes[node] = std::move(endpoint);
}

void FakeHidPlatform::Remove(const std::string& node) {
    std::lock_guard guard(m_lock);
    m_nodes.erase(node);
}

void FakeHidPlatform::Deny(const std::string& node) {
    std::lock_guard guard(m_lock);
    m_denied.push_back(node);
}

std::unique_ptr<HidDevice> FakeHidPlatform::Open(const std::string& node, int& error) {
    std::lock_guard guard(m_lock);
    if (std::find(m_denied.begin(), m_denied.end(), node) != m_denied.end()) {
        error = EACCES;
        return nullptr;
    }
    const auto it = m_nodes.find(node);
    if (it == m_nodes.end() || !it->second->Present()) {
        error = ENOENT;
        return nullptr;
    }
    it->second->CountOpen();
    error = 0;
    return std::make_unique<FakeHidDevice>(it->second);
}

}  // namespace quorix::platform
