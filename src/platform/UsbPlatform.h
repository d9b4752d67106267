// The USB side of the operating-system seam: which camera interfaces are present, how
// they pair up into cameras, and their arrival and removal. Paths and ids only: talking
// to a camera is the protocols' business. The discovery logic above it is platform-free.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace quorix::platform {

// One present interface (video-capture or HID) of a USB device.
struct UsbInterface {
    std::string path;         // stable path the interface is opened by
    std::string containerId;  // equal for every interface of one physical device
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};

enum class UsbInterfaceClass { kVideo, kHid };

// An interface arrived or left.
struct UsbEvent {
    bool arrival = true;
    UsbInterfaceClass interfaceClass = UsbInterfaceClass::kVideo;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::string path;
};

class UsbPlatform {
public:
    virtual ~UsbPlatform() = default;

    virtual std::vector<UsbInterface> VideoInterfaces() = 0;
    virtual std::vector<UsbInterface> HidInterfaces() = 0;
    // Waits up to `timeout` for the next event; false when none came or Wake() was called.
    virtual bool WaitForEvent(UsbEvent& event, std::chrono::milliseconds timeout) = 0;
    // Ends a waiting WaitForEvent at once.
    virtual void Wake() = 0;
};

// The process's USB platform: the operating system's, unless a test installed another.
UsbPlatform& Usb();
// Installs `platform` for tests (null restores the operating system's). Not thread-safe:
// call it while no discovery runs.
void SetUsbPlatformForTesting(UsbPlatform* platform);

}  // namespace quorix::platform
