// The Linux USB platform: cameras' interfaces found by reading sysfs, their arrival and
// removal taken from udev events. Both sit behind small seams so that tests point the
// enumeration at a sysfs tree they build and feed the events themselves.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/UsbPlatform.h"

namespace quorix::platform {

// A device event as udev reports it.
struct RawDeviceEvent {
    std::string action;     // "add", "remove" (others are ignored)
    std::string subsystem;  // "video4linux", "hidraw"
    std::string devnode;    // "/dev/video0"
    std::string devpath;    // below /sys: "/devices/.../1-1/1-1:1.0/video4linux/video0"
    std::map<std::string, std::string> properties;  // ID_VENDOR_ID, ID_V4L_CAPABILITIES, ...
};

// Where device events come from: a udev monitor, or a test.
class DeviceEventSource {
public:
    virtual ~DeviceEventSource() = default;
    // Waits up to `timeout` for the next event; false when none came or Wake() was called.
    virtual bool Wait(RawDeviceEvent& event, std::chrono::milliseconds timeout) = 0;
    virtual void Wake() = 0;
};

// Video4linux and hidraw events from udev's netlink monitor. The monitor is made on the
// first Wait, on the thread that waits; without udev no event ever comes.
std::unique_ptr<DeviceEventSource> MakeUdevEventSource();

class LinuxUsbPlatform final : public UsbPlatform {
public:
    // `root` is prefixed to every file read ("/sys/class/...", "/run/udev/data/...") and to
    // every device node: empty for the running system, a built tree's folder in tests.
    LinuxUsbPlatform(std::string root, std::unique_ptr<DeviceEventSource> events);

    std::vector<UsbInterface> VideoInterfaces() override;
    std::vector<UsbInterface> HidInterfaces() override;
    bool WaitForEvent(UsbEvent& event, std::chrono::milliseconds timeout) override;
    void Wake() override;

    // The platform event of a udev event; nothing when it is none of a USB video-capture
    // or hidraw interface.
    std::optional<UsbEvent> Translate(const RawDeviceEvent& raw);

private:
    std::vector<UsbInterface> Enumerate(UsbInterfaceClass kind);
    void Remember(const std::string& node, const UsbInterface& interface);

    const std::string m_root;
    const std::unique_ptr<DeviceEventSource> m_events;
    std::mutex m_lock;
    std::map<std::string, UsbInterface> m_seen;  // the interface last seen at each node
};

}  // namespace quorix::platform
