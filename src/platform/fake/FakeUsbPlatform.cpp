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
    m_events.Push(event);
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
    return m_events.Wait(event, timeout);
}

void FakeUsbPlatform::Wake() {
    m_events.Wake();
}

}  // namespace quorix::platform
