// A scripted USB platform for tests: tests add and remove interfaces and queue events.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/UsbPlatform.h"

namespace quorix::platform {

class FakeUsbPlatform final : public UsbPlatform {
public:
    // A camera: its video and HID interfaces share a container id.
    void AddCamera(const std::string& videoPath, const std::string& hidPath,
                   const std::string& containerId, uint16_t vendorId, uint16_t productId);
    void RemoveInterface(const std::string& path);
    // Queues an event as the operating system would report it.
    void PushEvent(const UsbEvent& event);

    std::vector<UsbInterface> VideoInterfaces() override;
    std::vector<UsbInterface> HidInterfaces() override;
    bool WaitForEvent(UsbEvent& event, std::chrono::milliseconds timeout) override;
    void Wake() override;

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<UsbInterface> m_video;
    std::vector<UsbInterface> m_hid;
    std::deque<UsbEvent> m_events;
    uint64_t m_wakes = 0;
};

}  // namespace quorix::platform
