// A scripted USB platform for tests: tests add and remove interfaces and queue events.
#pragma once

#include <mutex>

#include "platform/UsbPlatform.h"
#include "platform/fake/EventQueue.h"

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
    std::vector<UsbInterface> m_video;
    std::vector<UsbInterface> m_hid;
    EventQueue<UsbEvent> m_events;
};

}  // namespace quorix::platform
