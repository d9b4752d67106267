// Per-model construction of device records.
#include "device/DeviceInfo.h"

#include <cstring>

#include "config/Log.h"
#include "device/BaseDevice.h"

namespace quorix {
namespace {

struct ModelRow {
    uint32_t deviceType;
    uint32_t status;
    uint32_t linkType;
    uint32_t colourWidth;
    uint32_t colourHeight;
    uint8_t colourFormat;
    uint32_t featureFlags;
    std::vector<uint32_t> dataModes;
    uint16_t finalField;
};

const std::vector<ModelRow>& UsbModelRows() {
    static const std::vector<ModelRow> rows = {
        {TK1A, 0, kLinkUsb, 1920, 1080, 0, 1, {100, 101, 102}, 0},
        {TK2A, 0, kLinkUsb, 1920, 1080, 0, 0, {200, 201, 2, 5, 6}, 65535},
        {TKS1, 0, kLinkUsb, 1920, 1080, 0, 0, {200, 201, 2, 5, 6}, 65535},
        {TK2B, 0, kLinkUsb, 1920, 1080, 0, 7, {10}, 0},
        {TK5U, 0, kLinkUsb, 1920, 1080, 0, 0, {200, 201, 2, 5, 6}, 65535},
        {TK3A, 0, kLinkUsb, 1920, 1080, 0, 25, {0, 1, 2, 5, 6, 7, 10, 11, 12}, 65535},
        {TK_MIPI, 2, kLinkMipi, 0, 0, 0, 1, {200, 201, 2}, 65535},
        {TK4Aliteusb, 0, kLinkUsb, 1920, 1080, 0, 0, {200, 201, 2, 5, 6}, 65535},
        {NsDeviceType444, 0, kLinkUsb, 480, 480, 2, 0, {200}, 65535},
    };
    return rows;
}

}  // namespace

NsDeviceInfo DeviceIdentity::Snapshot() const {
    NsDeviceInfo out;
    memset(&out, 0, sizeof out);
    out.SessionCount = static_cast<uint32_t>(sessionCount);
    out.devicetype = deviceType;
    memcpy(out.uri, uri, sizeof out.uri);
    memcpy(out.reserved, reserved, sizeof out.reserved);
    memcpy(out.alias, alias, sizeof out.alias);
    out.status = status;
    return out;
}

bool IsNetworkDeviceType(uint32_t deviceType) {
    return NetworkModelName(deviceType) != nullptr;
}

const char* NetworkModelName(uint32_t deviceType) {
    switch (deviceType) {
        case TK4A: return "TK4A";
        case TK4Alite: return "TK4Alite";
        case TK5P: return "TK5P";
        case TK5E: return "TK5E";
        case TK5Pro_ADI: return "TK5Pro_ADI";
        default: return nullptr;
    }
}

DeviceInfo::DeviceInfo(uint32_t type) {
    deviceType = type;
    if (IsNetworkDeviceType(type)) {
        status = Connected;  // sessions come from the announcement
        return;
    }
    for (const ModelRow& row : UsbModelRows()) {
        if (row.deviceType != type) {
            continue;
        }
        status = row.status;
        SessionInfo s;
        s.linkType = row.linkType;
        if (row.linkType == kLinkUsb) {
            s.usb.colourWidth = row.colourWidth;
            s.usb.colourHeight = row.colourHeight;
            s.usb.colourFormat = row.colourFormat;
        }
        s.featureFlags = row.featureFlags;
        s.dataModes = row.dataModes;
        s.deviceType = type;
        s.finalField = row.finalField;
        sessions.push_back(std::move(s));
        sessionCount = 1;
        if (type == TK_MIPI) {
            QLOG("TK_MIPI\n");
            QLOG("%p %p\n", static_cast<void*>(sessions.data()),
                 static_cast<void*>(sessions[0].dataModes.data()));
        }
        return;
    }
    QLOG("devicetype:%d is invalid %s,%s\n", static_cast<int>(type), uri, alias);
}

DeviceInfo::~DeviceInfo() = default;

}  // namespace quorix
