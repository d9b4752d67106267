// Removable drives on the operating-system seam: the mount points of removable block
// devices, each with the USB device it belongs to, so a transfer writes only to the drive
// of the camera it talks to (never to a stick of the user's that came up meanwhile).
#pragma once

#include <string>
#include <vector>

namespace quorix::platform {

struct RemovableDrive {
    std::string root;       // the mount point
    std::string usbDevice;  // sysfs path of the USB device holding the drive; empty: unknown
};

class DrivePlatform {
public:
    virtual ~DrivePlatform() = default;
    virtual std::vector<RemovableDrive> Drives() = 0;
};

// The drives of a mount table (/proc/self/mountinfo text) whose block devices sysfs under
// `sysRoot` marks removable; `sysRoot` is "/sys" on a live system, a folder in tests.
std::vector<RemovableDrive> RemovableDrivesOf(const std::string& mountinfo,
                                              const std::string& sysRoot);

// The process's drives: the operating system's, unless a test installed another.
DrivePlatform& Drives();
// Installs `platform` for tests (null restores the operating system's).
void SetDrivePlatformForTesting(DrivePlatform* platform);

}  // namespace quorix::platform
