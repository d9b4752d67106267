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
    std::string path;         // stable path the interface is opened by (UsbInterfacePath)
    std::string containerId;  // equal for every interface of one physical device
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};

// An interface's path: its device node, then the USB port path and the ids in lower-case
// hexadecimal, "/dev/video0?usb=1-1.2&id=f5e2:0101". Enumeration and hot-plug events build
// it alike, so one interface has one path whichever reported it, and the vendor filters
// ("f5e2", "0c45") find the ids inside it.
std::string UsbInterfacePath(const std::string& node, const std::string& usbPort, uint16_t vendorId,
                             uint16_t productId);
// The device node an interface path names ("/dev/video0"); the path itself when it names
// no more than a node.
std::string UsbDeviceNode(const std::string& interfacePath);

// The udev rule installed with the library that lets the logged-in user open the cameras'
// video and HID nodes.
inline constexpr const char* kUdevRuleName = "70-quorix.rules";

// Why a device node cannot be opened for reading and writing, as a sentence naming the
// node (and, for a permission error, the udev rule); empty when it can. `error` is the
// errno of the failed attempt.
std::string NodeAccessProblem(const std::string& node, int error);
// Checks the node now: empty when the process may read and write it.
std::string CheckNodeAccess(const std::string& node);
// Why the camera whose video interface is `videoPath` cannot be opened (its video node or
// the HID node of the same device), as found through the process's platform; empty when
// nothing stands in the way.
std::string UsbCameraAccessProblem(const std::string& videoPath);

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
