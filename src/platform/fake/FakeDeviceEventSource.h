// A device event source that tests feed, standing in for udev's monitor.
#pragma once

#include "platform/fake/EventQueue.h"
#include "platform/linux/LinuxUsbPlatform.h"

namespace quorix::platform {

class FakeDeviceEventSource final : public DeviceEventSource {
public:
    void Push(const RawDeviceEvent& event) { m_queue.Push(event); }
    bool Wait(RawDeviceEvent& event, std::chrono::milliseconds timeout) override {
        return m_queue.Wait(event, timeout);
    }
    void Wake() override { m_queue.Wake(); }

private:
    EventQueue<RawDeviceEvent> m_queue;
};

}  // namespace quorix::platform
