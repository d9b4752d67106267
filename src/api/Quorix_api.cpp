// First-generation exports: one current device addressed by its list index. This file holds
// the current device and the functions with behaviour of their own; the plain twins of the
// second generation are in Quorix_api_settings.cpp.
#include <atomic>

#include "api/CurrentDevice.h"
#include "log/Log.h"
#include "quorix/quorix_api.h"

namespace quorix {
namespace {

// Atomic so that an open or close on one thread never hands another a torn handle.
std::atomic<NsDeviceHandle> g_current{nullptr};

// Colour resolution code of a frame-mode record: by width first, then by height.
uint32_t ResolutionCodeOf(const NsFrameMode& mode) {
    if (mode.resolutionWidth == 1920) {
        return NsRGBResolution1920x1080;
    }
    if (mode.resolutionWidth == 1280) {
        return NsRGBResolution1280x720;
    }
    if (mode.resolutionHeight == 480) {
        return NsRGBResolution640x480;
    }
    if (mode.resolutionHeight == 360) {
        return NsRGBResolution640x360;
    }
    return NsRGBResolution1920x1080;
}

// The camera identity texts travel as public properties 11 to 14.
NsReturnStatus SetIdentity(uint32_t id, const void* data, uint32_t size) {
    return Ns2_SetProperty(CurrentDevice(), kCurrentSession, id, data, size);
}

NsReturnStatus GetIdentity(uint32_t id, void* data, uint32_t capacity) {
    uint32_t size = capacity;
    return Ns2_GetProperty(CurrentDevice(), kCurrentSession, id, data, &size);
}

// One body for both inertial readings: nothing is read and the call succeeds.
NsReturnStatus ImuNotRead() {
    return NsStatusOk;
}

}  // namespace

NsDeviceHandle CurrentDevice() {
    return g_current.load();
}

}  // namespace quorix

using namespace quorix;

extern "C" {

QUORIX_API NsReturnStatus NsInitialize(void) {
    return Ns2_Initialize();
}
QUORIX_API NsReturnStatus NsShutdown(void) {
    return Ns2_Shutdown();
}

// Only a successful open replaces the current device: after a failed one the previous
// device stays reachable. The previous device stays open either way.
QUORIX_API NsReturnStatus NsOpenDevice(uint32_t index) {
    NsDeviceInfo record{};
    if (const NsReturnStatus ret = Ns2_GetDeviceInfo(&record, index); ret != NsStatusOk) {
        return ret;
    }
    record.uri[sizeof record.uri - 1] = '\0';
    NsDeviceHandle opened = nullptr;
    const NsReturnStatus ret = Ns2_OpenDevice(record.uri, &opened);
    if (ret == NsStatusOk) {
        g_current.store(opened);
    }
    return ret;
}

QUORIX_API NsReturnStatus NsCloseDevice(uint32_t) {
    // Taken out in one step, so two closing threads never close the same handle.
    NsDeviceHandle handle = g_current.exchange(nullptr);
    if (handle == nullptr) {
        return NsStatusBadHandle;
    }
    return Ns2_CloseDevice(&handle);
}

QUORIX_API NsReturnStatus NsStartFrame(uint32_t) {
    return Ns2_StartStream(CurrentDevice(), kCurrentSession);
}

QUORIX_API NsReturnStatus NsStopFrame(uint32_t) {
    return Ns2_StopStream(CurrentDevice(), kCurrentSession);
}

// The ready set is the call's own: the caller asks NsGetFrame for each kind.
QUORIX_API NsReturnStatus NsReadNextFrame(uint32_t) {
    uint32_t ready = 0;
    return Ns2_ReadNextFrame(CurrentDevice(), kCurrentSession, &ready);
}

QUORIX_API NsReturnStatus NsSetFrameMode(uint32_t, uint32_t, const NsFrameMode* mode) {
    if (mode == nullptr) {
        QLOG_WARN("pFrameMode is NULL.\n");
        return NsStatusNullPointer;
    }
    return Ns2_SetRGBResolution(CurrentDevice(), kCurrentSession, ResolutionCodeOf(*mode));
}

QUORIX_API NsReturnStatus NsSetPulseCount(uint16_t pulseCount) {
    return Ns2_SetPulseCount(CurrentDevice(), kCurrentSession, pulseCount);
}

QUORIX_API NsReturnStatus NsSetFilter(uint32_t, int32_t filter, uint8_t enable) {
    QLOG_WARN("is invalid\n");
    switch (filter) {
        case 0:
            return Ns2_SetComputeRealDepthCorrectionEnabled(CurrentDevice(), kCurrentSession,
                                                            enable);
        case 1:
            return Ns2_SetSmoothingFilterEnabled(CurrentDevice(), kCurrentSession, enable);
        default:
            return NsStatusOk;
    }
}

QUORIX_API NsReturnStatus NsGetFilter(uint32_t, int32_t filter, uint8_t* enabled) {
    QLOG_WARN("is invalid\n");
    switch (filter) {
        case 0:
            return Ns2_GetComputeRealDepthCorrectionEnabled(CurrentDevice(), kCurrentSession,
                                                            enabled);
        case 1:
            return Ns2_GetSmoothingFilterEnabled(CurrentDevice(), kCurrentSession, enabled);
        default:
            return NsStatusOk;
    }
}

QUORIX_API NsReturnStatus NsSetAudioRecordEnabled(uint32_t, uint8_t) {
    QLOG_WARN("is invalid\n");
    return NsStatusOk;
}

QUORIX_API NsReturnStatus NsGetImu(uint32_t, void*, uint32_t) {
    return ImuNotRead();
}
QUORIX_API NsReturnStatus NsGetImuWithParams(uint32_t, void*, uint32_t, const void*, uint32_t) {
    return ImuNotRead();
}

QUORIX_API NsReturnStatus NsSetWDRFusionThreshold(uint32_t, uint16_t threshold) {
    return Ns2_SetWDRFusionThreshold(CurrentDevice(), kCurrentSession, threshold);
}

QUORIX_API NsReturnStatus NsSetDeviceUpgradeFlag(uint32_t, const void* data, uint32_t size) {
    return SetIdentity(NS_PROPERTY_UPGRADE_FLAG, data, size);
}
QUORIX_API NsReturnStatus NsGetDeviceUpgradeFlag(uint32_t, void* data, uint32_t capacity) {
    return GetIdentity(NS_PROPERTY_UPGRADE_FLAG, data, capacity);
}
QUORIX_API NsReturnStatus NsSetDeviceSN(uint32_t, const void* data, uint32_t size) {
    return SetIdentity(NS_PROPERTY_DEVICE_SN, data, size);
}
QUORIX_API NsReturnStatus NsGetDeviceSN(uint32_t, void* data, uint32_t capacity) {
    return GetIdentity(NS_PROPERTY_DEVICE_SN, data, capacity);
}
QUORIX_API NsReturnStatus NsSetDeviceMACAddr(uint32_t, const void* data, uint32_t size) {
    return SetIdentity(NS_PROPERTY_MAC_ADDRESS, data, size);
}
QUORIX_API NsReturnStatus NsGetDeviceMACAddr(uint32_t, void* data, uint32_t capacity) {
    return GetIdentity(NS_PROPERTY_MAC_ADDRESS, data, capacity);
}
QUORIX_API NsReturnStatus NsSetDeviceSoftVer(uint32_t, const void* data, uint32_t size) {
    return SetIdentity(NS_PROPERTY_SOFTWARE_VERSION, data, size);
}
QUORIX_API NsReturnStatus NsGetDeviceSoftVer(uint32_t, void* data, uint32_t capacity) {
    return GetIdentity(NS_PROPERTY_SOFTWARE_VERSION, data, capacity);
}

}  // extern "C"
