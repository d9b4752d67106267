// USB camera discovery logic over the platform seam: the model lookup by USB ids,
// enumeration of cameras (video interface paired with its HID interface by container id),
// the companion lookup, reading a camera's alias, and finding an upgrade-mode HID
// interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/DeviceInfo.h"

namespace quorix {

// One camera found by enumeration.
struct UsbEntry {
    std::string path;           // video-capture interface: the camera's URI
    std::string companionPath;  // its HID interface, empty until paired
    std::string containerId;
    uint32_t deviceType = 0;
    uint32_t interfaceKind = 2;
};

// Device type of a (vendor, product) pair by the model table; 0 when the pair is no camera.
uint32_t UsbModelLookup(uint32_t vendorId, uint32_t productId);

std::vector<UsbEntry> EnumUSBDevice();

// The HID interface path of the camera whose video-capture interface is `videoPath`.
bool FindCompanionPath(const std::string& videoPath, std::string& hidPath);

// Reads the camera's alias (its serial number when it has none) into `alias` (64 bytes)
// over a temporary protocol for `session`. Returns the last status of the protocol (-13
// when its link has none yet), with an empty alias on failure; 0 with an empty alias for
// models that have none to read.
int32_t GetAlias(char (&alias)[64], uint32_t deviceType, const SessionInfo& session);

bool FindHIDDeviceByVIDandPID(std::string& path, uint32_t vendorId, uint32_t productId);

}  // namespace quorix
