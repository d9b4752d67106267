// A scripted USB platform for tests: tests add and remove interfaces, queue events and
// set what each camera answers when asked for its alias or serial number.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
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
    // What ReadCameraText answers for the camera whose video path is `videoPath`;
    // status non-zero makes the read fail.
    void SetCameraText(const std::string& videoPath, CameraText which, const std::string& text,
                       int32_t status = 0);
    size_t TextReads() const;

    std::vector<UsbInterface> VideoInterfaces() override;
    std::vector<UsbInterface> HidInterfaces() override;
    bool WaitForEvent(UsbEvent& event, std::chrono::milliseconds timeout) override;
    void Wake() override;
    int32_t ReadCameraText(const SessionInfo& session, uint32_t deviceType, CameraText which,
                           char* text, size_t capacity) override;

private:
    struct Text {
        std::string text;
        int32_t status = 0;
    };
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<UsbInterface> m_video;
    std::vector<UsbInterface> m_hid;
    std::deque<UsbEvent> m_events;
    std::map<std::pair<std::string, CameraText>, Text> m_texts;
    uint64_t m_wakes = 0;
    size_t m_textReads = 0;
};

}  // namespace quorix::platform
