// DeviceDetect: the USB arrival watcher. Its thread turns the platform's interface events
// into arrival messages for the device manager.
#pragma once

#include <cstdint>
#include <string>

#include "pipeline/StoppableThread.h"

namespace quorix {

// An interface of a camera arrived or left.
struct ArrivalMessage {
    uint32_t event = 0;          // 0 arrival, 1 removal
    uint32_t interfaceKind = 0;  // 0 camera video interface, 1 upgrade-mode HID interface
    uint32_t vendorId = 0;
    uint32_t productId = 0;
    std::string path;
};

class DeviceDetect final : public StoppableThread {
public:
    class Notifier {
    public:
        virtual ~Notifier() = default;
        virtual bool OnMessage(const ArrivalMessage& message) = 0;
    };

    DeviceDetect();
    ~DeviceDetect() override;

    void SetNotifier(Notifier* notifier) { m_notifier = notifier; }

protected:
    void Run() override;
    void OnStopRequested() override;

private:
    Notifier* m_notifier = nullptr;
};

}  // namespace quorix
