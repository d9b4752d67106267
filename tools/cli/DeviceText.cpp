// Names and table lines of the device records.
#include "cli/DeviceText.h"

#include <cstdio>

#include "cli/InfoText.h"
#include "model/ModelTraits.h"
#include "platform/UsbPlatform.h"

namespace quorix::cli {

namespace {

std::string Row(const char* uri, const char* alias, const char* type, const char* sessions,
                const char* status) {
    char line[512];
    std::snprintf(line, sizeof(line), "%-32s %-20s %-18s %-8s %s", uri, alias, type, sessions,
                  status);
    return line;
}

struct Name {
    uint32_t value;
    const char* name;
};

constexpr Name kStates[] = {
    {Unconnected, "unconnected"},  {Connected, "connected"},      {Opened, "opened"},
    {UpgradeMode, "upgrade mode"}, {NsConnectStatus5, "state 5"},
};

template <size_t N>
const char* Lookup(const Name (&names)[N], uint32_t value) {
    for (const Name& n : names) {
        if (n.value == value) {
            return n.name;
        }
    }
    return "unknown";
}

}  // namespace

const char* ModelName(uint32_t deviceType) {
    const ModelTraits* model = FindModel(deviceType);
    if (model == nullptr) {
        return "unknown";
    }
    return model->name != nullptr ? model->name : "-";
}

const char* StatusName(uint32_t status) {
    return Lookup(kStates, status);
}

std::string DeviceTableHeader() {
    return Row("URI", "ALIAS", "TYPE", "SESSIONS", "STATUS");
}

std::string DeviceTableRow(const NsDeviceInfo& device) {
    char type[32];
    std::snprintf(type, sizeof(type), "%u %s", device.devicetype, ModelName(device.devicetype));
    const std::string sessions = std::to_string(device.SessionCount);
    return Row(DeviceUri(device).c_str(), DeviceAlias(device).c_str(), type, sessions.c_str(),
               StatusName(device.status));
}

std::string UnopenableLine(const NsDeviceInfo& device) {
    const ModelTraits* model = FindModel(device.devicetype);
    if (device.status != Connected || model == nullptr || model->linkType != kLinkUsb) {
        return {};
    }
    const std::string problem = platform::UsbCameraAccessProblem(DeviceUri(device));
    return problem.empty() ? std::string() : "    cannot be opened: " + problem;
}

std::string DeviceUri(const NsDeviceInfo& device) {
    return BoundedText(device.uri, sizeof device.uri);
}
std::string DeviceAlias(const NsDeviceInfo& device) {
    return BoundedText(device.alias, sizeof device.alias);
}

}  // namespace quorix::cli
