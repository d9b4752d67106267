// Construction of device records from the model table.
#include "device/DeviceInfo.h"

#include <cstring>

#include "device/BaseDevice.h"
#include "log/Log.h"

namespace quorix {

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

DeviceInfo::DeviceInfo(uint32_t type) {
    deviceType = type;
    const ModelTraits* model = FindModel(type);
    if (model == nullptr) {
        QLOG_WARN("devicetype:%d is invalid %s,%s\n", static_cast<int>(type), uri, alias);
        return;
    }
    status = model->recordStatus;
    if (model->linkType == kLinkNetwork) {
        return;  // sessions come from the announcement
    }
    SessionInfo s;
    s.linkType = model->linkType;
    if (model->linkType == kLinkUsb) {
        s.usb.colourWidth = model->recordColour.width;
        s.usb.colourHeight = model->recordColour.height;
        s.usb.colourFormat = model->recordColourFormat;
    }
    s.featureFlags = model->featureFlags;
    s.dataModes.assign(model->dataModes.begin(), model->dataModes.end());
    s.deviceType = type;
    s.finalField = model->finalField;
    sessions.push_back(std::move(s));
    sessionCount = 1;
    if (model->linkType == kLinkMipi) {
        QLOG("TK_MIPI\n");
        QLOG("%p %p\n", static_cast<void*>(sessions.data()),
             static_cast<void*>(sessions[0].dataModes.data()));
    }
}

DeviceInfo::~DeviceInfo() = default;

}  // namespace quorix
