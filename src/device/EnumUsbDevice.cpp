// USB camera discovery logic; the platform supplies interfaces, ids and container ids.
#include "device/EnumUsbDevice.h"

#include <cstring>
#include <memory>

#include "log/Log.h"
#include "platform/UsbPlatform.h"
#include "protocol/BaseProtocol.h"
#include "session/ProtocolFactory.h"

namespace quorix {
namespace {

// A camera without a protocol for its link cannot be asked anything.
constexpr int32_t kStatusNoChannel = -13;

}  // namespace

uint32_t UsbModelLookup(uint32_t vendorId, uint32_t productId) {
    const ModelTraits* model = FindModelByUsbIds(vendorId, productId);
    return model != nullptr ? model->deviceType : 0;
}

std::vector<UsbEntry> EnumUSBDevice() {
    QLOG("--in\n");
    std::vector<UsbEntry> entries;
    for (const platform::UsbInterface& video : platform::Usb().VideoInterfaces()) {
        if (video.vendorId != kVendorQuorix && video.vendorId != kVendorSecondary) {
            continue;
        }
        QLOG("DevicePath:%s\n", video.path.c_str());
        const uint32_t type = UsbModelLookup(video.vendorId, video.productId);
        if (type != 0) {
            entries.push_back({video.path, {}, video.containerId, type, 2});
        }
    }
    for (const platform::UsbInterface& hid : platform::Usb().HidInterfaces()) {
        if (hid.vendorId != kVendorQuorix || UsbModelLookup(hid.vendorId, hid.productId) == 0) {
            continue;
        }
        for (UsbEntry& entry : entries) {
            if (entry.containerId == hid.containerId) {
                QLOG("usb baseContainerID :%s ,hid baseContainerID :%s\n",
                     entry.containerId.c_str(), hid.containerId.c_str());
                entry.companionPath = hid.path;
            }
        }
    }
    QLOG("--out %d\n", static_cast<int>(entries.size()));
    return entries;
}

bool FindCompanionPath(const std::string& videoPath, std::string& hidPath) {
    std::string container;
    bool found = false;
    for (const platform::UsbInterface& video : platform::Usb().VideoInterfaces()) {
        if (video.vendorId == kVendorQuorix && video.path == videoPath) {
            container = video.containerId;
            found = true;
            break;
        }
    }
    if (!found) {
        return false;
    }
    for (const platform::UsbInterface& hid : platform::Usb().HidInterfaces()) {
        if (hid.vendorId == kVendorQuorix && hid.containerId == container) {
            hidPath = hid.path;
            return true;
        }
    }
    return false;
}

int32_t GetAlias(char (&alias)[64], uint32_t deviceType, const SessionInfo& session) {
    memset(alias, 0, sizeof alias);
    const ModelTraits& model = TraitsOf(deviceType);
    if (!model.readsAlias) {
        if (model.linkType != kLinkNetwork) {
            QLOG_WARN("devicetype:%d is invalid.\n", static_cast<int>(deviceType));
        }
        return 0;
    }
    // The camera is asked over a protocol of its own, opened for this read only.
    const std::unique_ptr<BaseProtocol> protocol = CreateProtocol(session);
    if (!protocol) {
        return kStatusNoChannel;
    }
    int32_t ret = protocol->OpenDevice();
    if (ret != 0) {
        return ret;  // nothing opened, so nothing to close
    }
    ret = protocol->GetAlias(alias, sizeof alias - 1);
    if (ret != 0 || alias[0] == '\0') {
        memset(alias, 0, sizeof alias);
        ret = protocol->GetSN(alias, sizeof alias - 1);
    }
    protocol->CloseDevice();
    if (ret != 0) {
        memset(alias, 0, sizeof alias);  // half an answer names no camera
    }
    return ret;
}

bool FindHIDDeviceByVIDandPID(std::string& path, uint32_t vendorId, uint32_t productId) {
    for (const platform::UsbInterface& hid : platform::Usb().HidInterfaces()) {
        if (hid.vendorId != kVendorQuorix) {
            continue;
        }
        QLOG("DevicePath:%s\n", hid.path.c_str());
        if (hid.vendorId == vendorId && hid.productId == productId) {
            path = hid.path;
            return true;
        }
    }
    return false;
}

}  // namespace quorix
