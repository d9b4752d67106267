// Scripted USB platform for the discovery tests.
#include "platform/fake/FakeUsbPlatform.h"

#include <algorithm>

namespace quorix::platform {

void FakeUsbPlatform::AddCamera(const std::string& videoPath, const std::string& hidPath,
                                const std::string& containerId, uint16_t vendorId,
                                uint16_t productId) {
    std::lock_guard guard(m_lock);
    m_video.push_back({videoPath, containerId, vendorId, productId});
    if (!hidPath.empty()) {
        m_hid.push_back({hidPath, containerId, vendorId, productId});
    }
}

void FakeUsbPlatform::RemoveInterface(const std::string& path) {
    std::lock_guard guard(m_lock);
    auto match = [&](const UsbInterface& i) { return i.path == path; };
    m_video.erase(std::remove_if(m_video.begin(), m_video.end(), match), m_video.end());
    m_hid.erase(std::remove_if(m_hid.begin(), m_hid.end(), match), m_hid.end());
}

void FakeUsbPlatform::PushEvent(const UsbEvent& event) {
    {
        std::lock_guard guard(m_lock);
        m_events.push_back(event);
    }
    m_changed.notify_all();
}

std::vector<UsbInterface> FakeUsbPlatform::VideoInterfaces() {
    std::lock_guard guard(m_lock);
    return m_video;
}

std::vector<UsbInterface> FakeUsbPlatform::HidInterfaces() {
    std::lock_guard guard(m_lock);
    return m_hid;
}

bool FakeUsbPlatform::WaitForEvent(UsbEvent& event, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_lock);
    const uint64_t wakes = m_wakes;
    m_changed.wait_for(lock, timeout, [&] { return !m_events.empty() || m_wakes != wakes; });
    if (m_events.empty()) {
        return false;
    }
    event = m_events.front();
    m_events.pop_front();
    return true;
}

void FakeUsbPlatform::Wake() {
    {
        std::lock_guard guard(m_lock);
        ++m_wakes;
    }
    m_changed.notify_all();
}

}  // namespace quorix::platform
