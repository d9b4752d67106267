// Firmware upgrade and JSON transfer exports: argument checks, the session's maintenance
// operation, the device manager's upgrade flag, and the one mapping of the session's
// statuses to public ones (documented as a table in the public header).
#include <cstring>
#include <string>

#include "api/SessionCall.h"
#include "api/TransferCalls.h"
#include "device/DeviceManager.h"
#include "log/Log.h"
#include "session/BaseSession.h"
#include "upgrade/Maintenance.h"

namespace quorix {
namespace {

constexpr size_t kMaxPathChars = 260;

// However a transfer ends, the flag that keeps opened network cameras from being polled
// (and widens the handle check) goes back to 0.
void WatchTransferEnd(TransferWorker& worker, TransferKind kind) {
    worker.SetEndHook([kind] {
        if (DeviceManager::Exists()) {
            DeviceManager::Instance().EndTransfer(kind);
        }
    });
}

// The flag is raised before the session starts the worker, so a transfer that ends at
// once cannot have its reset overtaken by the raise.
template <typename Op>
int32_t UnderFlag(TransferKind kind, Op&& op) {
    DeviceManager& manager = DeviceManager::Instance();
    manager.SetUpgradeFlag(kind);
    const int32_t ret = op();
    if (ret < 0) {
        manager.EndTransfer(kind);
    }
    return ret;
}

NsReturnStatus UpgradeStatus(int32_t session) {
    switch (session) {
        case 0:
        case 1:
            return NsStatusOk;
        case kUpgradeRefused:
            return NsStatusUpgradeNotReady;
        case kUpgradeFileProblem:
            return NsStatusUpgradeRejected;
        case kModeSwitchFailed:
            return NsStatusTransferError;
        case kUpgradeNotPossible:
            return NsStatusUpgradeUnsupported;
        case NsStatusOpenFailed:
            return NsStatusOpenFailed;
        default:
            return NsStatusOther;
    }
}

NsReturnStatus JsonModeStatus(int32_t session) {
    switch (session) {
        case 0:
            return NsStatusOk;
        case kUpgradeRefused:
            return NsStatusUpgradeNotReady;
        case kJsonRefused:
        case kUpgradeNotPossible:
            return NsStatusUpgradeUnsupported;
        case kModeSwitchFailed:
            return NsStatusTransferError;
        case NsStatusOpenFailed:
            return NsStatusOpenFailed;
        default:
            return NsStatusOther;
    }
}

}  // namespace

NsReturnStatus EnterJsonConfigModeProperty(BaseSession& session, const void* data, uint32_t size) {
    TransferCallback callback = nullptr;
    if (size != sizeof callback) {
        QLOG_WARN("size:%u is not a callback's %u.\n", size,
                  static_cast<uint32_t>(sizeof callback));
        return NsStatusBadParameter;
    }
    memcpy(&callback, data, sizeof callback);
    if (callback == nullptr) {
        QLOG_WARN("callback is NULL.\n");
        return NsStatusNullPointer;
    }
    WatchTransferEnd(JsonCtl::Instance(), TransferKind::kJson);
    return JsonModeStatus(
        UnderFlag(TransferKind::kJson, [&] { return EnterJsonConfigMode(session, callback); }));
}

NsReturnStatus StartUpgradeJsonProperty(BaseSession& session, const void* data, uint32_t size) {
    const char* text = static_cast<const char*>(data);
    const std::string path(text, strnlen(text, size));
    if (path.empty()) {
        QLOG_WARN("the path is empty.\n");
        return NsStatusBadParameter;
    }
    if (path.size() > kMaxPathChars) {
        return NsStatusPathTooLong;
    }
    const int32_t ret = StartUpgradeJson(session, path.c_str());
    return ret == 0 ? NsStatusOk : NsStatusUpgradeNotReady;
}

}  // namespace quorix

using namespace quorix;

extern "C" {

QUORIX_API NsReturnStatus Ns2_StartUpgradeFirmWare(NsDeviceHandle h, uint32_t s, const char* path) {
    if (path == nullptr) {
        QLOG_WARN("pImgPath is NULL.\n");
        return NsStatusNullPointer;
    }
    if (strnlen(path, kMaxPathChars + 1) > kMaxPathChars) {
        return NsStatusPathTooLong;
    }
    return WithSession(__func__, h, s, [&](BaseSession& x) {
        WatchTransferEnd(Upgrade::Instance(), TransferKind::kFirmware);
        return UpgradeStatus(
            UnderFlag(TransferKind::kFirmware, [&] { return StartUpgradeFirmWare(x, path); }));
    });
}

QUORIX_API NsReturnStatus Ns2_SetUpgradeStatusCallback(NsDeviceHandle h, uint32_t s,
                                                       NsUpgradeStatusCallback callback) {
    if (callback == nullptr) {
        QLOG_WARN("callback is NULL.\n");
        return NsStatusNullPointer;
    }
    return WithSession(__func__, h, s, [&](BaseSession&) {
        return InterRet2ExternRet(SetUpgradeStatusCallback(callback));
    });
}

}  // extern "C"
