// The link and identity record of one camera stream (SessionInfo): what a session, its
// protocol and the device list all need to know about the camera they talk to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorix {

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

// One stream (sensor) of a camera. Copies log a link type that names no link.
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

}  // namespace quorix
