// The session's firmware and JSON maintenance entry points.
#include "upgrade/Maintenance.h"

#include "log/Log.h"
#include "model/ModelTraits.h"
#include "protocol/BaseProtocol.h"
#include "session/BaseSession.h"
#include "upgrade/FirmwareImage.h"

namespace quorix {
namespace {

constexpr int32_t kNotOpen = -13;

// Network models that take the file over the network; the transfer workers follow only
// these (a TK4A would be switched into its mode and then never followed).
bool SwitchesOverNetwork(uint32_t deviceType) {
    return deviceType == 442 || (deviceType >= 561 && deviceType <= 563);
}

// A camera the workers can follow: a network model of the list above, or a USB camera,
// which comes back in its transfer mode as an upgrade-mode HID device with a drive.
bool CanFollow(uint32_t deviceType) {
    return SwitchesOverNetwork(deviceType) || !IsNetworkDeviceType(deviceType);
}

// The switch of a USB camera: the stream stops first (the camera leaves its video mode),
// then the state record (1, 0, 0) asks for the mode. Its status decides.
int32_t SwitchUsbCamera(BaseSession& session, BaseProtocol& protocol,
                        int32_t (BaseProtocol::*setState)(const TransferState&)) {
    if (const int32_t stopped = session.StopStream(); stopped != 0) {
        QLOG("StopStream ret:%d\n", static_cast<int>(stopped));
    }
    return (protocol.*setState)(TransferState{1, 0, 0});
}

}  // namespace

int32_t CheckFirmwareVersion(BaseSession& session, const char* path, uint32_t& fileSize,
                             uint32_t& checksum) {
    char version[64] = {};
    if (session.GetFWVer(version, sizeof version - 1) != 0) {
        version[0] = '\0';
    }
    return CheckFirmwareImage(version, session.GetDeviceType(), path, fileSize, checksum);
}

int32_t StartUpgradeFirmWare(BaseSession& session, const char* path) {
    BaseProtocol* protocol = session.Protocol();
    if (protocol == nullptr) {
        return kNotOpen;
    }
    const uint32_t type = session.GetDeviceType();
    uint32_t size = 0;
    uint32_t checksum = 0;
    const int32_t checked = CheckFirmwareVersion(session, path, size, checksum);
    if (checked < 0) {
        QLOG("check firmware file failed\n");
        return checked;
    }
    uint8_t supported = 255;
    if (protocol->GetUpgradeIsSupported(supported) != 0 || supported != 1) {
        QLOG("upgrade supported:%d\n", supported);
        return kUpgradeRefused;
    }
    if (!CanFollow(type)) {
        QLOG("devicetype:%d cannot be upgraded this way.\n", static_cast<int>(type));
        return kUpgradeNotPossible;
    }
    Upgrade& upgrade = Upgrade::Instance();
    if (!upgrade.HasCallback()) {
        QLOG("no upgrade status callback.\n");
        return kUpgradeNotPossible;
    }
    if (upgrade.Busy()) {
        QLOG("a transfer is running, status:%d\n", static_cast<int>(upgrade.Status()));
        return kUpgradeRefused;
    }
    if (!SwitchesOverNetwork(type)) {
        if (const int32_t ret = SwitchUsbCamera(session, *protocol, &BaseProtocol::SetUpgradeState);
            ret != 0) {
            QLOG("SetUpgradeState ret:%d\n", static_cast<int>(ret));
            return kModeSwitchFailed;
        }
        upgrade.SetImage(path, size, checksum);
        upgrade.SetSessionInfo(session.GetSessionInfo());
        QLOG("Upgrade Ready\n");
        upgrade.SetStatus(1);
        return checked;
    }
    if (protocol->SetToUpgradeMode_P(path) != 0) {
        return kModeSwitchFailed;
    }
    // The camera is in upgrade mode now: whatever the stop answers, the upgrader must
    // follow it.
    if (const int32_t stopped = session.StopStream(); stopped != 0) {
        QLOG("StopStream ret:%d\n", static_cast<int>(stopped));
    }
    // The switch is not answered: a read on the same connection makes sure the camera took
    // it before the upgrader's own connection asks for the transfer's state.
    TransferState taken;
    if (const int32_t read = protocol->GetUpgradeState(taken); read != 0) {
        QLOG("GetUpgradeState ret:%d\n", static_cast<int>(read));
    }
    upgrade.SetImage(path, size, checksum);
    upgrade.SetSessionInfo(session.GetSessionInfo());
    QLOG("Upgrade Ready\n");
    upgrade.SetStatus(1);
    return checked;
}

int32_t SetUpgradeStatusCallback(TransferCallback callback) {
    Upgrade::Instance().SetCallback(callback);
    return 0;
}

int32_t EnterJsonConfigMode(BaseSession& session, TransferCallback callback) {
    BaseProtocol* protocol = session.Protocol();
    if (protocol == nullptr) {
        return kNotOpen;
    }
    uint8_t supported = 255;
    if (protocol->GetJsonIsSupported(supported) != 0 || supported != 1) {
        QLOG("The current device is not support Json config:%d.\n", supported);
        return kJsonRefused;
    }
    const uint32_t type = session.GetDeviceType();
    if (!CanFollow(type)) {
        QLOG("devicetype:%d cannot take a JSON file this way.\n", static_cast<int>(type));
        return kUpgradeNotPossible;
    }
    JsonCtl& json = JsonCtl::Instance();
    if (json.Busy()) {
        QLOG("a transfer is running, status:%d\n", static_cast<int>(json.Status()));
        return kUpgradeRefused;
    }
    if (!SwitchesOverNetwork(type)) {
        if (SwitchUsbCamera(session, *protocol, &BaseProtocol::SetJsonState) != 0) {
            QLOG("SetJsonState is failed.\n");
            return kModeSwitchFailed;
        }
    } else {
        if (protocol->SetToJsonMode_P() != 0) {
            QLOG("SetJsonState is failed.\n");
            return kModeSwitchFailed;
        }
        if (const int32_t stopped = session.StopStream(); stopped != 0) {
            QLOG("StopStream ret:%d\n", static_cast<int>(stopped));
        }
        TransferState taken;
        if (const int32_t read = protocol->GetJsonState(taken); read != 0) {
            QLOG("GetJsonState ret:%d\n", static_cast<int>(read));
        }
    }
    json.SetCallback(callback);
    json.SetSessionInfo(session.GetSessionInfo());
    json.SetStatus(1);
    return 0;
}

int32_t StartUpgradeJson(BaseSession&, const char* path) {
    JsonCtl& json = JsonCtl::Instance();
    if (const uint32_t status = json.Status(); status != 3) {
        QLOG("Status:%d.\n", static_cast<int>(status));
        return kJsonRefused;
    }
    return json.SetJsonPath(path);
}

}  // namespace quorix
