// Second-generation exports: the library frame (initialise, shut down, version) and the
// fixed-result functions.
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "api/Handles.h"
#include "api/PrivateExports.h"
#include "api/SessionCall.h"
#include "api/Status.h"
#include "config/Config.h"
#include "device/BaseDevice.h"
#include "device/DeviceManager.h"
#include "device/EnumSocketDevice.h"
#include "log/Log.h"
#include "pipeline/Frame.h"
#include "platform/HidDevice.h"
#include "platform/RemovableDrives.h"
#include "platform/UsbPlatform.h"
#include "platform/VideoDevice.h"
#include "quorix/quorix_api.h"
#include "session/BaseSession.h"
#include "upgrade/TransferWorkers.h"

namespace quorix {
namespace {

constexpr char kSdkVersion[] = "3.4.4";

// Initialise and shut down are called from one application thread by contract; the lock
// makes a careless second thread wait instead of corrupting the state.
std::mutex g_lifecycleLock;
bool g_initialised = false;

}  // namespace
}  // namespace quorix

using namespace quorix;

extern "C" {

QUORIX_API NsReturnStatus Ns2_Initialize(void) {
    return Firewall(__func__, [] {
        std::lock_guard guard(g_lifecycleLock);
        if (g_initialised) {
            QLOG("ReInitialized,do not call Ns2_Shutdown\n");
            return NsStatusReinitialised;
        }
        Config& config = ConfigHolder::Instance();
        log::Initialize(config.logToConsole);
        QLOG("-----------------------------------------------------\n");
        QLOG("Version: %s\n", kSdkVersion);
        DeviceManager::Instance().Start();
        g_initialised = true;
        return NsStatusOk;
    });
}

QUORIX_API NsReturnStatus Ns2_Shutdown(void) {
    return Firewall(__func__, [] {
        std::lock_guard guard(g_lifecycleLock);
        if (!g_initialised) {
            QLOG("do not call Ns2_Initialize\n");
            return NsStatusNotInitialised;
        }
        if (DeviceManager::Exists()) {
            DeviceManager& manager = DeviceManager::Instance();
            manager.Stop();
            manager.Join();
        }
        Upgrade::Destroy();
        JsonCtl::Destroy();
        // Every handle dies at once; each device ends when the calls inside it have left.
        std::vector<std::shared_ptr<BaseDevice>> opened = ForgetAllDevices();
        DeviceManager::Destroy();
        for (auto& device : opened) {
            RetireDevice(std::move(device));
        }
        QLOG("=====================================================\n");
        log::Shutdown();
        ConfigHolder::Destroy();
        g_initialised = false;
        return NsStatusOk;
    });
}

QUORIX_API NsReturnStatus NsPrivate_SetUsbPlatforms(void* usb, void* videoKernel, void* hid,
                                                    void* drives) {
    return Firewall(__func__, [&] {
        std::lock_guard guard(g_lifecycleLock);
        if (g_initialised) {
            return NsStatusFailed;  // discovery and open cameras use the platform now
        }
        platform::SetUsbPlatformForTesting(static_cast<platform::UsbPlatform*>(usb));
        platform::SetVideoKernelForTesting(static_cast<platform::VideoKernel*>(videoKernel));
        platform::SetHidPlatformForTesting(static_cast<platform::HidPlatform*>(hid));
        platform::SetDrivePlatformForTesting(static_cast<platform::DrivePlatform*>(drives));
        return NsStatusOk;
    });
}

QUORIX_API NsReturnStatus Ns2_GetSDKVersion(char* buffer) {
    if (buffer == nullptr) {
        QLOG_WARN("buffer is NULL.\n");
        return NsStatusNullPointer;
    }
    memcpy(buffer, kSdkVersion, sizeof kSdkVersion - 1);  // no terminating NUL
    return NsStatusOk;
}

QUORIX_API NsReturnStatus Ns2_GetDiscoveryState(NsDiscoveryState* state) {
    if (state == nullptr) {
        QLOG_WARN("state is NULL.\n");
        return NsStatusNullPointer;
    }
    return Firewall(__func__, [&] {
        *state = NsDiscoveryState{};
        state->port = DiscoveryPort();
        std::lock_guard guard(g_lifecycleLock);
        if (!g_initialised || !DeviceManager::Exists()) {
            state->status = NsDiscoveryOff;
            return NsStatusOk;
        }
        const ListenState listen = DeviceManager::Instance().DiscoveryState();
        state->status = listen.status;
        state->port = listen.port;
        state->systemError = listen.systemError;
        snprintf(state->message, sizeof state->message, "%s", listen.message.c_str());
        return NsStatusOk;
    });
}

// ---- device list and hot-plug ---------------------------------------------------------------

QUORIX_API NsReturnStatus Ns2_GetDeviceCount(uint32_t* count) {
    if (count == nullptr) {
        QLOG_WARN("count is NULL.\n");
        return NsStatusNullPointer;
    }
    return Firewall(__func__, [&] {
        *count = DeviceManager::Instance().GetCameraCount();
        return NsStatusOk;
    });
}

// The first generation exports the very same function.
QUORIX_API NsReturnStatus NsGetDeviceCount(uint32_t* count)
    __attribute__((alias("Ns2_GetDeviceCount")));

QUORIX_API NsReturnStatus Ns2_GetDeviceListInfo(NsDeviceInfo* list, uint32_t count) {
    return Firewall(__func__, [&] {
        return InterRet2ExternRet(DeviceManager::Instance().GetDeviceInfoList(list, count));
    });
}

QUORIX_API NsReturnStatus Ns2_GetDeviceInfo(NsDeviceInfo* record, uint32_t index) {
    return Firewall(__func__, [&] {
        return InterRet2ExternRet(DeviceManager::Instance().GetDeviceInfo(record, index));
    });
}

QUORIX_API NsReturnStatus Ns2_SetHotPlugStatusCallback(NsHotPlugCallback callback) {
    return Firewall(__func__, [&] {
        DeviceManager::Instance().SetHotPlugCallback(callback);
        return NsStatusOk;
    });
}

QUORIX_API NsReturnStatus Ns2_SetHotPlugStatusCallback_(NsHotPlugCallbackEx callback,
                                                        void* context) {
    return Firewall(__func__, [&] {
        DeviceManager::Instance().SetHotPlugCallbackEx(callback, context);
        return NsStatusOk;
    });
}

// ---- open and close ----------------------------------------------------------------------

// The "already opened" check and the open happen under one lock, so two threads opening
// the same camera never share a device.
static std::mutex g_openLock;

static NsReturnStatus OpenBy(const char* key, NsDeviceHandle* handle, bool byAlias) {
    if (handle == nullptr) {
        QLOG_WARN("handle is NULL.\n");
        return NsStatusNullPointer;
    }
    return Firewall(byAlias ? "Ns2_OpenDeviceByAlias" : "Ns2_OpenDevice", [&] {
        std::lock_guard guard(g_openLock);
        DeviceManager& manager = DeviceManager::Instance();
        const bool opened =
            byAlias ? manager.checkOpenedByAlias(key) : manager.checkOpenedByURI(key);
        if (opened) {
            return NsStatusAlreadyOpened;
        }
        std::shared_ptr<BaseDevice> device =
            byAlias ? manager.OpenDeviceByAlias(key) : manager.OpenDevice(key);
        if (!device) {
            *handle = nullptr;
            return NsStatusOpenFailed;
        }
        *handle = NewHandle(std::move(device));
        return NsStatusOk;
    });
}

QUORIX_API NsReturnStatus Ns2_OpenDevice(const char* uri, NsDeviceHandle* handle) {
    return OpenBy(uri, handle, false);
}

QUORIX_API NsReturnStatus Ns2_OpenDeviceByAlias(const char* alias, NsDeviceHandle* handle) {
    return OpenBy(alias, handle, true);
}

QUORIX_API NsReturnStatus Ns2_CloseDevice(NsDeviceHandle* handle) {
    if (handle == nullptr) {
        QLOG_WARN("handle is NULL.\n");
        return NsStatusNullPointer;
    }
    return Firewall(__func__, [&] {
        if (*handle == nullptr) {
            return NsStatusBadHandle;
        }
        std::shared_ptr<BaseDevice> device;
        {
            std::lock_guard guard(g_openLock);
            if (!TakeHandle(*handle, &device)) {
                QLOG("handle %p is not open.\n", *handle);
                *handle = nullptr;
                return NsStatusBadHandle;
            }
        }
        *handle = nullptr;
        // After a shutdown the handle holds no device: asking for the manager would start a
        // new one, with its discovery, only to release nothing.
        if (device) {
            // Outside the open lock: ending the device waits for its callback thread, which
            // may itself be inside an open or a close.
            DeviceManager::Instance().ReleaseDevice(device.get());
            RetireDevice(std::move(device));
        }
        return NsStatusOk;
    });
}

// ---- stream and frames -------------------------------------------------------------------

QUORIX_API NsReturnStatus Ns2_StartStream(NsDeviceHandle h, uint32_t s) {
    return WithSession(__func__, h, s,
                       [](BaseSession& x) { return InterRet2ExternRet(x.StartStream()); });
}

QUORIX_API NsReturnStatus Ns2_StopStream(NsDeviceHandle h, uint32_t s) {
    return WithSession(__func__, h, s,
                       [](BaseSession& x) { return InterRet2ExternRet(x.StopStream()); });
}

QUORIX_API NsReturnStatus Ns2_ReadNextFrame(NsDeviceHandle h, uint32_t s, uint32_t* readySet) {
    if (readySet == nullptr) {
        QLOG_WARN("readySet is NULL.\n");
        return NsStatusNullPointer;
    }
    return WithSession(__func__, h, s, [&](BaseSession& x) {
        return InterRet2ExternRet(x.ReadNextFrame(readySet));
    });
}

QUORIX_API NsReturnStatus Ns2_GetFrame(NsDeviceHandle h, uint32_t s, uint32_t frameType,
                                       NsFrame* frame) {
    if (frame == nullptr) {
        QLOG_WARN("pFrame is NULL.\n");
        return NsStatusNullFrame;
    }
    return WithSession(__func__, h, s, [&](BaseSession& x) {
        Frame internal;
        internal.pixelFormat = 0;
        const int32_t ret = x.GetFrame(frameType, &internal);
        // Written in every case, with the zeroed values on failure.
        frame->frameIndex = internal.frameIndex;
        frame->frameType = internal.frameType;
        frame->pixelFormat = static_cast<uint32_t>(internal.pixelFormat);
        frame->frameTag = internal.frameTag;
        frame->pFrameData = internal.pFrameData;
        frame->dataLen = internal.dataLen;
        frame->exposureTime = internal.exposureTime;
        frame->depthRange = internal.depthRange;
        frame->width = internal.width;
        frame->height = internal.height;
        frame->timestamp = internal.timestamp;
        return InterRet2ExternRet(ret);
    });
}

QUORIX_API NsReturnStatus Ns2_GetFrameMode(NsDeviceHandle h, uint32_t s, uint32_t frameType,
                                           NsFrameMode* mode) {
    if (mode == nullptr) {
        QLOG_WARN("pFrameMode is NULL.\n");
        return NsStatusNullPointer;
    }
    return WithSession(__func__, h, s, [&](BaseSession& x) -> NsReturnStatus {
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t fps = 0;
        x.GetFrameMode(frameType, &width, &height, &fps);
        uint32_t format;
        if (frameType == DepthFrame || frameType == IRFrame) {
            format = frameType;
        } else if (frameType == RGBFrame) {
            format = static_cast<uint32_t>(x.GetColorPixelFormat());
        } else {
            return NsStatusBadFrameType;
        }
        mode->pixelFormat = format;
        mode->resolutionWidth = width;
        mode->resolutionHeight = height;
        mode->fps = fps;
        return NsStatusOk;
    });
}

QUORIX_API NsReturnStatus Ns2_SetWaitTimeOfReadNextFrame(NsDeviceHandle h, uint32_t s,
                                                         uint16_t milliseconds) {
    return WithSession(__func__, h, s, [&](BaseSession& x) {
        return ZeroOrOther(x.SetWaitTimeOfReadNextFrame(milliseconds));
    });
}

QUORIX_API NsReturnStatus Ns2_RegisterNotify(NsDeviceHandle h, uint32_t s,
                                             NsFrameCallback callback) {
    return WithSession(__func__, h, s,
                       [&](BaseSession& x) { return TrueOrOther(x.RegisterNotify(callback)); });
}

QUORIX_API NsReturnStatus Ns2_UnRegisterNotify(NsDeviceHandle h, uint32_t s) {
    return WithSession(__func__, h, s,
                       [](BaseSession& x) { return TrueOrOther(x.UnRegisterNotify()); });
}

QUORIX_API NsReturnStatus Ns2_SetDepthFrameEnabled(NsDeviceHandle h, uint32_t s, uint8_t enable) {
    return WithSession(__func__, h, s, [&](BaseSession& x) {
        return InterRet2ExternRet(x.SetDepthFrameEnabled(enable != 0));
    });
}

QUORIX_API NsReturnStatus Ns2_SetIrFrameEnabled(NsDeviceHandle h, uint32_t s, uint8_t enable) {
    return WithSession(__func__, h, s, [&](BaseSession& x) {
        return InterRet2ExternRet(x.SetIrFrameEnabled(enable != 0));
    });
}

QUORIX_API NsReturnStatus Ns2_SetRgbFrameEnabled(NsDeviceHandle h, uint32_t s, uint8_t enable) {
    return WithSession(__func__, h, s, [&](BaseSession& x) {
        return InterRet2ExternRet(x.SetRgbFrameEnabled(enable != 0));
    });
}

// ---- fixed results -----------------------------------------------------------------------

// One body: the handle check and nothing else. The camera identity is reached through the
// device properties instead.
static NsReturnStatus HandleCheckOnly(NsDeviceHandle handle, uint32_t sessionIndex) {
    return Firewall("HandleCheckOnly", [&] { return FindSession(handle, sessionIndex, nullptr); });
}

QUORIX_API NsReturnStatus Ns2_GetDeviceSN(NsDeviceHandle h, uint32_t s, void*, uint32_t) {
    return HandleCheckOnly(h, s);
}
QUORIX_API NsReturnStatus Ns2_SetDeviceSN(NsDeviceHandle h, uint32_t s, const void*, uint32_t) {
    return HandleCheckOnly(h, s);
}
QUORIX_API NsReturnStatus Ns2_GetDeviceMACAddr(NsDeviceHandle h, uint32_t s, void*, uint32_t) {
    return HandleCheckOnly(h, s);
}
QUORIX_API NsReturnStatus Ns2_SetDeviceMACAddr(NsDeviceHandle h, uint32_t s, const void*,
                                               uint32_t) {
    return HandleCheckOnly(h, s);
}
QUORIX_API NsReturnStatus Ns2_GetDeviceSoftVer(NsDeviceHandle h, uint32_t s, void*, uint32_t) {
    return HandleCheckOnly(h, s);
}
QUORIX_API NsReturnStatus Ns2_SetDeviceSoftVer(NsDeviceHandle h, uint32_t s, const void*,
                                               uint32_t) {
    return HandleCheckOnly(h, s);
}
QUORIX_API NsReturnStatus Ns2_GetDeviceUpgradeFlag(NsDeviceHandle h, uint32_t s, void*, uint32_t) {
    return HandleCheckOnly(h, s);
}
QUORIX_API NsReturnStatus Ns2_SetDeviceUpgradeFlag(NsDeviceHandle h, uint32_t s, const void*,
                                                   uint32_t) {
    return HandleCheckOnly(h, s);
}
QUORIX_API NsReturnStatus Ns2_SetWDRFusionThreshold(NsDeviceHandle h, uint32_t s, uint16_t) {
    return HandleCheckOnly(h, s);
}

// One body for every mapping function of both generations: mapping is switched per
// session now, and these entry points only remain for existing applications.
static NsReturnStatus MappingNotSupported() {
    return NsStatusOther;
}

QUORIX_API NsReturnStatus Ns2_MappingInitialize(void) {
    return MappingNotSupported();
}
QUORIX_API NsReturnStatus Ns2_MappingShutdown(void) {
    return MappingNotSupported();
}
QUORIX_API NsReturnStatus Ns2_SetMapping(NsDeviceHandle, uint32_t, uint8_t) {
    return MappingNotSupported();
}
QUORIX_API NsReturnStatus NsMappingInitialize(void) {
    return MappingNotSupported();
}
QUORIX_API NsReturnStatus NsMappingShutdown(void) {
    return MappingNotSupported();
}
QUORIX_API NsReturnStatus NsSetMapping(uint32_t, uint8_t) {
    return MappingNotSupported();
}

}  // extern "C"
