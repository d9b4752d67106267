// Copying session records.
#include "model/SessionInfo.h"

#include "log/Log.h"

namespace quorix {
namespace {

void LogIfInvalidLink(uint32_t linkType) {
    if (linkType != kLinkUsb && linkType != kLinkNetwork && linkType != kLinkMipi) {
        QLOG_WARN("linkType:%d is invalid.\n", static_cast<int>(linkType));
    }
}

}  // namespace

SessionInfo::SessionInfo(const SessionInfo& other)
    : linkType(other.linkType),
      usb(other.usb),
      net(other.net),
      featureFlags(other.featureFlags),
      dataModes(other.dataModes),
      deviceType(other.deviceType),
      finalField(other.finalField) {
    LogIfInvalidLink(linkType);
}

SessionInfo& SessionInfo::operator=(const SessionInfo& other) {
    if (this != &other) {
        linkType = other.linkType;
        usb = other.usb;
        net = other.net;
        featureFlags = other.featureFlags;
        dataModes = other.dataModes;
        deviceType = other.deviceType;
        finalField = other.finalField;
        LogIfInvalidLink(linkType);
    }
    return *this;
}

}  // namespace quorix
