// Printable names of the device records' fields, and one line per device for `list`.
#pragma once

#include <cstdint>
#include <string>

#include <quorix/quorix_api.h>

namespace quorix::cli {

// Model name of a device type; "-" for the 480 x 480 model that has none, "unknown" else.
const char* ModelName(uint32_t deviceType);
// "connected", "opened", ... of an NsConnectStatus.
const char* StatusName(uint32_t status);

// The column titles and one row of the device table. Text fields are read only up to
// their array sizes, so a record without a terminating NUL prints safely.
std::string DeviceTableHeader();
std::string DeviceTableRow(const NsDeviceInfo& device);

// For a present USB camera whose nodes this user may not open: why, as a line to print
// under its row ("cannot be opened: ..."); empty otherwise. Reads the system's USB
// interfaces.
std::string UnopenableLine(const NsDeviceInfo& device);

// The record's URI and alias as strings (bounded like the row).
std::string DeviceUri(const NsDeviceInfo& device);
std::string DeviceAlias(const NsDeviceInfo& device);

}  // namespace quorix::cli
