// The HID side of the operating-system seam: one opened HID interface that moves whole
// reports, each way with a time limit. The command framing above it is the transport's.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quorix::platform {

class HidDevice {
public:
    virtual ~HidDevice() = default;
    // Writes one report (byte 0 is the report id). The count written, or -errno; -ETIMEDOUT
    // when the device did not take it within `timeout`.
    virtual int32_t Write(const uint8_t* report, size_t size,
                          std::chrono::milliseconds timeout) = 0;
    // Reads one report into `report` (at most `size` bytes, byte 0 the report id). The count
    // read, 0 when none came within `timeout`, -errno when the device failed (-ENODEV: gone).
    virtual int32_t Read(uint8_t* report, size_t size, std::chrono::milliseconds timeout) = 0;
};

class HidPlatform {
public:
    virtual ~HidPlatform() = default;
    // Opens the HID node `node` ("/dev/hidraw3"); null with `error` (an errno) on failure.
    virtual std::unique_ptr<HidDevice> Open(const std::string& node, int& error) = 0;
};

// The process's HID platform: the operating system's, unless a test installed another.
HidPlatform& Hid();
// Installs `platform` for tests (null restores the operating system's). Call it while no
// camera is open.
void SetHidPlatformForTesting(HidPlatform* platform);

}  // namespace quorix::platform
