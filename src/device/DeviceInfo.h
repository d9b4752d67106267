// Device identity: the per-session link records (SessionInfo), the device record the
// manager keeps for every camera it has seen (DeviceInfo), and the per-model tables.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "quorix/quorix_api.h"

namespace quorix {

class BaseDevice;

enum LinkType : uint32_t { kLinkUsb = 1, kLinkNetwork = 2, kLinkMipi = 3 };

inline constexpr size_t kUsbPathBytes = 260;

// Link data of a USB session: the video-capture interface and its HID companion.
struct UsbLink {
    char path[kUsbPathBytes] = {};
    char companionPath[kUsbPathBytes] = {};
    uint32_t interfaceKind = 0;  // 2 for every USB camera
    uint32_t colourWidth = 0;
    uint32_t colourHeight = 0;
    uint8_t colourFormat = 0;
};

// Link data of a network session.
struct NetworkLink {
    uint8_t ip[4] = {};
    uint16_t commandPort = 0;
    uint16_t dataPort = 0;
};

// One stream (sensor) of a camera.
struct SessionInfo {
    SessionInfo() = default;
    SessionInfo(const SessionInfo& other);
    SessionInfo& operator=(const SessionInfo& other);
    SessionInfo(SessionInfo&&) = default;
    SessionInfo& operator=(SessionInfo&&) = default;

    uint32_t linkType = 0;
    UsbLink usb;
    NetworkLink net;
    uint32_t featureFlags = 0;  // bit 0: a colour sensor is present
    std::vector<uint32_t> dataModes;
    uint32_t deviceType = 0;
    uint16_t finalField = 65535;
};

inline constexpr uint32_t kFeatureColour = 1u << 0;

// The identity part of a device record: the public NsDeviceInfo fields and the sessions.
// BaseDevice keeps a copy of it.
struct DeviceIdentity {
    std::vector<SessionInfo> sessions;
    int32_t sessionCount = 0;
    uint32_t deviceType = 0;
    char uri[256] = {};
    uint8_t reserved[50] = {};
    char alias[64] = {};
    uint32_t status = ConnectUNKNOWN;

    // The 382-byte public record, fields copied as they stand.
    NsDeviceInfo Snapshot() const;
};

// A hot-plug event of a record: the one waiting to be reported, or the last one reported.
// The values are the public event codes.
enum class HotPlugEvent : int32_t { kNone = -1, kAdded = 0, kRemoved = 1 };

// A device record of the manager's list: identity plus the manager's state of the camera.
struct DeviceInfo : DeviceIdentity {
    // Fills the record from the per-model table of `deviceType`.
    explicit DeviceInfo(uint32_t deviceType);
    virtual ~DeviceInfo();

    DeviceInfo(const DeviceInfo&) = delete;
    DeviceInfo& operator=(const DeviceInfo&) = delete;

    // While opened (network records keep it between opens); shared with the handle and
    // with every call in flight on it.
    std::shared_ptr<BaseDevice> device;
    int32_t missCount = 0;                        // failed keep-alive polls, at most 3
    HotPlugEvent pending = HotPlugEvent::kNone;   // the event waiting to be reported
    HotPlugEvent notified = HotPlugEvent::kNone;  // the last event reported

    // Counted and listed exactly when not Unconnected and no event waits.
    bool IsReported() const { return status != Unconnected && pending == HotPlugEvent::kNone; }
};

// Device types 561, 562, 563, 440 and 442 are network cameras.
bool IsNetworkDeviceType(uint32_t deviceType);
// "TK4A", "TK4Alite", "TK5P", "TK5E", "TK5Pro_ADI" for network types; null otherwise.
const char* NetworkModelName(uint32_t deviceType);

// Copies a C string into a fixed field, always NUL-terminated, the rest zeroed.
template <size_t N>
void CopyText(char (&field)[N], const char* text);

}  // namespace quorix

#include <cstring>

template <size_t N>
void quorix::CopyText(char (&field)[N], const char* text) {
    memset(field, 0, N);
    if (text != nullptr) {
        memcpy(field, text, strnlen(text, N - 1));
    }
}
