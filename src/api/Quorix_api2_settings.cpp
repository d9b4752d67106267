// Second-generation exports for settings, calibration parameters and properties. Each is
// the handle check, one session operation and its result form: T (translated), Z (0 or
// -255) or a fixed 0; the few that compute something of their own say so.
#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>

#include "api/SessionCall.h"
#include "api/TransferCalls.h"
#include "log/Log.h"
#include "pipeline/Frame.h"
#include "protocol/ProtocolTypes.h"
#include "quorix/quorix_api.h"
#include "session/BaseSession.h"

namespace quorix {
namespace {

using SetSwitchOp = int32_t (BaseSession::*)(bool);
using GetSwitchOp = int32_t (BaseSession::*)(bool&);
using Form = NsReturnStatus (*)(int32_t);

// Result form T on `op`'s internal status.
template <typename Op>
NsReturnStatus Translated(const char* name, NsDeviceHandle h, uint32_t s, Op&& op) {
    return WithSession(name, h, s, [&](BaseSession& x) { return InterRet2ExternRet(op(x)); });
}

// A value read into a local first and handed out only on success; -12 for a null target.
template <typename T, typename Op>
NsReturnStatus GetValue(const char* name, NsDeviceHandle h, uint32_t s, T* out, Op&& op) {
    if (out == nullptr) {
        QLOG_WARN("%s: value is NULL.\n", name);
        return NsStatusNullPointer;
    }
    return WithSession(name, h, s, [&](BaseSession& x) {
        T value{};
        const int32_t ret = op(x, value);
        if (ret == 0) {
            *out = value;
        }
        return InterRet2ExternRet(ret);
    });
}

NsReturnStatus SetSwitch(const char* name, NsDeviceHandle h, uint32_t s, uint8_t enable,
                         SetSwitchOp op, Form form) {
    return WithSession(name, h, s, [&](BaseSession& x) { return form((x.*op)(enable != 0)); });
}

// Switch readings of form Z.
NsReturnStatus GetSwitch(const char* name, NsDeviceHandle h, uint32_t s, uint8_t* enabled,
                         GetSwitchOp op) {
    if (enabled == nullptr) {
        QLOG_WARN("%s: value is NULL.\n", name);
        return NsStatusNullPointer;
    }
    return WithSession(name, h, s, [&](BaseSession& x) {
        bool value = false;
        const int32_t ret = (x.*op)(value);
        if (ret == 0) {
            *enabled = value ? 1 : 0;
        }
        return ZeroOrOther(ret);
    });
}

// --- property reading and writing (internal status; -6/-7/-15 of this layer) ---------------

constexpr int32_t kNoReading = NsStatusNoPropertyGet;
constexpr int32_t kNoWriting = NsStatusNoPropertySet;
constexpr int32_t kBadSize = NsStatusBadParameter;

// A fixed-size property read: the caller's bytes go in first (some records select what is
// read by their first bytes), the record comes back whole. A smaller buffer gets nothing.
template <typename Record, typename Op>
int32_t ReadRecord(void* data, uint32_t& size, Op&& op) {
    static_assert(std::is_trivially_copyable_v<Record>);
    if (size < sizeof(Record)) {
        QLOG("size:%u is less than %u.\n", size, static_cast<uint32_t>(sizeof(Record)));
        return kBadSize;
    }
    Record record;
    memcpy(static_cast<void*>(&record), data, sizeof record);
    const int32_t ret = op(record);
    if (ret == 0) {
        memcpy(data, static_cast<const void*>(&record), sizeof record);
        size = sizeof record;
    }
    return ret;
}

// A fixed-size property write: exactly the record's size.
template <typename Record, typename Op>
int32_t WriteRecord(const void* data, uint32_t size, Op&& op) {
    static_assert(std::is_trivially_copyable_v<Record>);
    if (size != sizeof(Record)) {
        QLOG("size:%u is not %u.\n", size, static_cast<uint32_t>(sizeof(Record)));
        return kBadSize;
    }
    Record record;
    memcpy(static_cast<void*>(&record), data, sizeof record);
    return op(record);
}

// Public property ids read and written as one fixed-size record by one session operation
// each: X(id, record, getter, setter). A read needs at least the record's size, a write
// exactly that.
#define QUORIX_RECORD_PROPERTIES(X)                                                              \
    X(NS_PROPERTY_HTP, HtpBlock, GetHTP, SetHTP)                                                 \
    X(NS_PROPERTY_OFFSET, OffsetRecord, GetOffSet, SetOffSet)                                    \
    X(NS_PROPERTY_MEASURING_RANGE, NsMeasuringRange, GetCameraMeasuringRange, SetMeasuringRange) \
    X(NS_PROPERTY_DATA_MODE, uint8_t, GetDataMode, SetDataMode)                                  \
    X(NS_PROPERTY_LD_ENABLE, uint16_t, GetLDEnable, SetLDEnable)                                 \
    X(NS_PROPERTY_ISA_ENABLE, uint8_t, GetISAEnable, SetISAEnable)                               \
    X(NS_PROPERTY_TAL_ENABLE, uint16_t, GetTALEnable, SetTALEnable)                              \
    X(NS_PROPERTY_WORK_MODE, WorkModeRecord, GetWorkMode, SetWorkMode)                           \
    X(NS_PROPERTY_GYRO_SENSITIVITY, ImuSensitivity, GetGyroSensitivity, SetGyroSensitivity)      \
    X(NS_PROPERTY_LENS, LensRecord, GetLens, SetLens)                                            \
    X(NS_PROPERTY_ACC_OFFSET, ImuOffset, GetACCOffset, SetACCOffset)                             \
    X(NS_PROPERTY_GYRO_OFFSET, ImuOffset, GetGyroOffset, SetGyroOffset)                          \
    X(NS_PROPERTY_ACC_OFFSET_TEMP, ImuOffsetTemp, GetACCOffsetTemp, SetACCOffsetTemp)

#define QUORIX_READ_RECORD_CASE(id, Record, Get, Set) \
    case id:                                          \
        return ReadRecord<Record>(data, size, [&](Record& v) { return x.Get(v); });
#define QUORIX_WRITE_RECORD_CASE(id, Record, Get, Set) \
    case id:                                           \
        return WriteRecord<Record>(data, size, [&](const Record& v) { return x.Set(v); });

// The internal id behind public ids 9 to 19; 0 for none.
uint32_t DeviceProperty(uint32_t id) {
    switch (id) {
        case 9:
            return property::kOutModeList;
        case 10:
            return property::kDepthRangeList;
        default:
            return id >= 11 && id <= 19 ? property::kDeviceUpgradeFlag + (id - 11) : 0;
    }
}

bool IsProximityProperty(uint32_t id) {
    return id >= property::kPsensorData && id <= property::kPsensorLast;
}

// The frame information, as the public frame record.
int32_t ReadFrameInfo(BaseSession& x, void* data, uint32_t& size) {
    if (size < sizeof(NsFrame)) {
        QLOG("size:%u is less than %u.\n", size, static_cast<uint32_t>(sizeof(NsFrame)));
        return kBadSize;
    }
    Frame frame;
    uint32_t internal = sizeof frame;
    const int32_t ret = x.GetProperty(property::kFrameInfo, &frame, &internal);
    NsFrame out{};
    if (ret == 0) {
        out.frameIndex = frame.frameIndex;
        out.frameType = frame.frameType;
        out.pixelFormat = static_cast<uint32_t>(frame.pixelFormat);
        out.frameTag = frame.frameTag;
        out.pFrameData = frame.pFrameData;
        out.dataLen = frame.dataLen;
        out.exposureTime = frame.exposureTime;
        out.depthRange = frame.depthRange;
        out.width = frame.width;
        out.height = frame.height;
        out.timestamp = frame.timestamp;
    }
    memcpy(data, &out, sizeof out);
    size = sizeof out;
    return ret;
}

int32_t ReadProperty(BaseSession& x, uint32_t id, void* data, uint32_t& size) {
    if (const uint32_t device = DeviceProperty(id); device != 0) {
        return x.GetProperty(device, data, &size);
    }
    if (id == property::kRangeOffset || id == property::kTalDelay || IsProximityProperty(id)) {
        return x.GetProperty(id, data, &size);
    }
    char* text = static_cast<char*>(data);
    switch (id) {
        QUORIX_RECORD_PROPERTIES(QUORIX_READ_RECORD_CASE)
        case NS_PROPERTY_PULSE_COUNT:
            return ReadRecord<uint16_t>(data, size, [&](uint16_t& v) {
                const int32_t count = x.GetPulseCount();
                v = static_cast<uint16_t>(count);
                return count < 0 ? count : 0;
            });
        case NS_PROPERTY_SERIAL_NUMBER:
            return x.GetSN(text, size);
        case NS_PROPERTY_FIRMWARE_VERSION:
            return x.GetFWVer(text, size);
        case NS_PROPERTY_HARDWARE_VERSION:
            return x.GetHWVer(text, size);
        case NS_PROPERTY_FRAME_INFO:
            return ReadFrameInfo(x, data, size);
        case NS_PROPERTY_CAMERA_PARAMETERS:
            return x.ReadCameraParameterRecord(data, size);
        case NS_PROPERTY_PCBA:
            return x.GetPCBA(text, size);
        case NS_PROPERTY_IRS2:
            return ReadRecord<std::array<uint8_t, 2>>(data, size,
                                                      [&](auto& v) { return x.GetIRS2Record(v); });
        case NS_PROPERTY_GMM_GAIN:
            return ReadRecord<uint16_t>(data, size, [&](uint16_t& v) { return x.GetGMMGain(v); });
        case NS_PROPERTY_GMM:
            return ReadRecord<std::array<uint8_t, 24>>(data, size,
                                                       [&](auto& v) { return x.GetGMMValues(v); });
        case NS_PROPERTY_ACC_SENSITIVITY:
            return ReadRecord<ImuSensitivity>(
                data, size, [&](ImuSensitivity& v) { return x.GetACCSensitivity(v); });
        case NS_PROPERTY_PULSE_TIME:
            return ReadRecord<float>(data, size, [&](float& v) {
                v = x.GetPulseCountTime();
                return 0;
            });
        case NS_PROPERTY_PULSE_COUNT_RECORD:
            return ReadRecord<PulseCountBlock>(
                data, size, [&](PulseCountBlock& v) { return x.GetPulseCountGet(v); });
        case NS_PROPERTY_GYRO_OFFSET_TEMP:
            return ReadRecord<ImuOffsetTemp>(
                data, size, [&](ImuOffsetTemp& v) { return x.GetGyroOffsetTemp(v); });
        case NS_PROPERTY_FLASH_TYPE:
            return x.GetFlashType(text, size);
        case NS_PROPERTY_STREAM_HEALTH:
            return ReadRecord<NsStreamHealth>(data, size, [&](NsStreamHealth& v) {
                DataStreamHealth health;
                const int32_t ret = x.GetDataStreamHealth(health);
                v.framingLosses = health.framingLosses;
                v.reconnections = health.reconnections;
                return ret;
            });
        case NS_PROPERTY_MEASURING_STATUS:
            return ReadRecord<std::array<uint8_t, 10>>(data, size, [&](auto& v) {
                std::array<bool, 10> status{};
                const int32_t ret = x.GetMeasuringStatus(status);
                std::copy(status.begin(), status.end(), v.begin());
                return ret;
            });
        default:
            return kNoReading;
    }
}

int32_t WriteProperty(BaseSession& x, uint32_t id, const void* data, uint32_t size) {
    switch (id) {
        case NS_PROPERTY_SOFTWARE_VERSION:
            // The software version only: writing the same text as the IP address could
            // leave a network camera unreachable.
            return x.SetProperty(property::kDeviceSoftVer, data, size);
        case NS_PROPERTY_UPGRADE_SUPPORTED:
            return kNoWriting;
        case NS_PROPERTY_DATA_TAP:
            return WriteRecord<NsDataTap>(data, size, [&](const NsDataTap& v) {
                return x.SetDataTap(DataTap{v.callback, v.context});
            });
        default:
            break;
    }
    if (const uint32_t device = DeviceProperty(id); device != 0) {
        return x.SetProperty(device, data, size);
    }
    if (id == property::kRangeOffset || id == property::kTalDelay || IsProximityProperty(id)) {
        return x.SetProperty(id, data, size);
    }
    const char* text = static_cast<const char*>(data);
    switch (id) {
        QUORIX_RECORD_PROPERTIES(QUORIX_WRITE_RECORD_CASE)
        case NS_PROPERTY_JSON_TRANSFER:
            return StartUpgradeJsonProperty(x, data, size);
        case NS_PROPERTY_JSON_CONFIG_MODE:
            return EnterJsonConfigModeProperty(x, data, size);
        case NS_PROPERTY_PULSE_COUNT:
            return WriteRecord<uint16_t>(data, size,
                                         [&](uint16_t v) { return x.SetPulseCount(v); });
        case NS_PROPERTY_THRESHOLD:
            return WriteRecord<uint16_t>(data, size, [&](uint16_t v) { return x.SetThreshold(v); });
        case NS_PROPERTY_NONE:
            return 0;
        case NS_PROPERTY_SERIAL_NUMBER:
            return x.SetSN(text, size);
        case NS_PROPERTY_DATA_MODE_BYTE:  // the older id of the data mode
            return WriteRecord<uint8_t>(data, size, [&](uint8_t v) { return x.SetDataMode(v); });
        case NS_PROPERTY_CAMERA_PARAMETERS:
            return x.WriteCameraParameterRecord(data, size);
        case NS_PROPERTY_PCBA:
            return x.SetPCBA(text, size);
        case NS_PROPERTY_IRS2:
            return WriteRecord<uint16_t>(data, size,
                                         [&](uint16_t v) { return x.SetIRS2Enable(v); });
        case NS_PROPERTY_GMM_GAIN:
            return WriteRecord<NsGMMGain>(data, size,
                                          [&](const NsGMMGain& v) { return x.SetGMMGain(v); });
        case NS_PROPERTY_GMM:
            return WriteRecord<Vector3>(data, size, [&](const Vector3& v) { return x.SetGMM(v); });
        case NS_PROPERTY_ACC_SENSITIVITY:
            return WriteRecord<ImuSensitivity>(data, size, [&](const ImuSensitivity& v) {
                const int32_t ignored = x.SetACCSensitivity(v);
                (void)ignored;  // the camera's answer to this one is not reported
                return 0;
            });
        case NS_PROPERTY_IMU_DATA_MODE:
            return WriteRecord<int32_t>(data, size, [&](int32_t v) { return x.SetImuDataMode(v); });
        case NS_PROPERTY_PULSE_COUNT_RECORD:
            return WriteRecord<PulseCountRecord>(
                data, size, [&](const PulseCountRecord& v) { return x.SetPulseCountConfig(v); });
        case NS_PROPERTY_GYRO_OFFSET_TEMP:
            return WriteRecord<ImuOffsetTemp>(data, size, [&](const ImuOffsetTemp& v) {
                const int32_t ignored = x.SetGyroOffsetTemp(v);
                (void)ignored;  // the camera's answer to this one is not reported
                return 0;
            });
        case NS_PROPERTY_MEASURING_STATUS:
            return WriteRecord<std::array<uint8_t, 2>>(
                data, size, [&](const auto& v) { return x.SetMeasuringStatus(v[0], v[1]); });
        default:
            return kNoWriting;
    }
}

}  // namespace
}  // namespace quorix

using namespace quorix;

extern "C" {

// ---- plain exports: one session operation each, written as tables ---------------------------
//
// Ns2_Set<Name>(handle, session, value) and Ns2_Get<Name>(handle, session, &value): the
// session's Set<Name> / Get<Name>, the result translated; a get writes only on success and
// gives -12 for a null target.
#define QUORIX_VALUE_EXPORTS(X) \
    X(Threshold, uint16_t)      \
    X(DataMode, uint8_t)        \
    X(TofFrameRate, uint8_t)    \
    X(ConfidenceBit, uint8_t)   \
    X(ConfidenceWhich, uint8_t)

// Switches of the pre-processing library and the mappers: Ns2_Set<Name>(handle, session,
// u8) and Ns2_Get<Name>(handle, session, u8*), both 0 or -255.
#define QUORIX_FILTER_SWITCH_EXPORTS(X)  \
    X(ComputeRealDepthCorrectionEnabled) \
    X(SmoothingFilterEnabled)            \
    X(DepthDistortionCorrectionEnabled)  \
    X(IrDistortionCorrectionEnabled)     \
    X(RGBDistortionCorrectionEnabled)    \
    X(RGBCorrectionEnabled)              \
    X(MapperEnabledDepthToRGB)           \
    X(MapperEnabledRGBToDepth)           \
    X(MapperEnabledRGBToIR)              \
    X(TimeFilterEnabled)                 \
    X(SpatialFilterEnabled)

// Switches without a reading: Ns2_Set<Name>(handle, session, u8) -> the session's
// Set<Operation>(enable != 0), with the result form given.
#define QUORIX_SET_SWITCH_EXPORTS(X)                                                     \
    X(LowPowerModeEnabled, LowPowerModeEnabled, InterRet2ExternRet)                      \
    X(SlaveModeEnabled, SlaveModeEnabled, InterRet2ExternRet)                            \
    X(AntiInterferenceEnabled, AntiInterferenceEnabled, InterRet2ExternRet)              \
    X(SynchronizeEnabled, SynchronizeEnabled, InterRet2ExternRet)                        \
    X(RealDepthCorrectionEnabled, ComputeRealDepthCorrectionEnabled, InterRet2ExternRet) \
    X(FromLocal, FromLocal, ZeroOrOther)                                                 \
    X(RawDepthCut, RawDepthCut, ZeroOrOther)                                             \
    X(TofAecEnabled, TofAecEnabled, InterRet2ExternRet)                                  \
    X(RgbAecEnabled, RgbAecEnabled, InterRet2ExternRet)

#define QUORIX_VALUE_EXPORT(Name, Type)                                                        \
    QUORIX_API NsReturnStatus Ns2_Set##Name(NsDeviceHandle h, uint32_t s, Type value) {        \
        return Translated(__func__, h, s, [&](BaseSession& x) { return x.Set##Name(value); }); \
    }                                                                                          \
    QUORIX_API NsReturnStatus Ns2_Get##Name(NsDeviceHandle h, uint32_t s, Type* value) {       \
        return GetValue(__func__, h, s, value,                                                 \
                        [](BaseSession& x, Type& v) { return x.Get##Name(v); });               \
    }
QUORIX_VALUE_EXPORTS(QUORIX_VALUE_EXPORT)
#undef QUORIX_VALUE_EXPORT

#define QUORIX_FILTER_SWITCH_EXPORT(Name)                                                     \
    QUORIX_API NsReturnStatus Ns2_Set##Name(NsDeviceHandle h, uint32_t s, uint8_t enable) {   \
        return SetSwitch(__func__, h, s, enable, &BaseSession::Set##Name, ZeroOrOther);       \
    }                                                                                         \
    QUORIX_API NsReturnStatus Ns2_Get##Name(NsDeviceHandle h, uint32_t s, uint8_t* enabled) { \
        return GetSwitch(__func__, h, s, enabled, &BaseSession::Get##Name);                   \
    }
QUORIX_FILTER_SWITCH_EXPORTS(QUORIX_FILTER_SWITCH_EXPORT)
#undef QUORIX_FILTER_SWITCH_EXPORT

#define QUORIX_SET_SWITCH_EXPORT(Name, Operation, Form)                                     \
    QUORIX_API NsReturnStatus Ns2_Set##Name(NsDeviceHandle h, uint32_t s, uint8_t enable) { \
        return SetSwitch(__func__, h, s, enable, &BaseSession::Set##Operation, Form);       \
    }
QUORIX_SET_SWITCH_EXPORTS(QUORIX_SET_SWITCH_EXPORT)
#undef QUORIX_SET_SWITCH_EXPORT

// ---- settings forwarded to the session -----------------------------------------------------

QUORIX_API NsReturnStatus Ns2_SetDepthRange(NsDeviceHandle h, uint32_t s, uint32_t range) {
    return Translated(__func__, h, s, [&](BaseSession& x) { return x.SetDepthRange(range); });
}

QUORIX_API NsReturnStatus Ns2_GetDepthRange(NsDeviceHandle h, uint32_t s, uint32_t* range) {
    if (range == nullptr) {
        QLOG_WARN("range is NULL.\n");
        return NsStatusNullPointer;
    }
    return WithSession(__func__, h, s, [&](BaseSession& x) -> NsReturnStatus {
        uint32_t value = 0;
        if (x.GetDepthRange(value) != 0) {
            return NsStatusOpenFailed;
        }
        *range = value;
        return NsStatusOk;
    });
}

QUORIX_API NsReturnStatus Ns2_SetPulseCount(NsDeviceHandle h, uint32_t s, uint16_t count) {
    return Translated(__func__, h, s, [&](BaseSession& x) { return x.SetPulseCount(count); });
}

QUORIX_API NsReturnStatus Ns2_GetPulseCount(NsDeviceHandle h, uint32_t s, uint16_t* count) {
    return GetValue(__func__, h, s, count, [](BaseSession& x, uint16_t& v) {
        const int32_t ret = x.GetPulseCount();
        v = static_cast<uint16_t>(ret);
        return ret < 0 ? ret : 0;
    });
}

QUORIX_API NsReturnStatus Ns2_SetWDROutputMode(NsDeviceHandle h, uint32_t s,
                                               const NsWDROutputMode* mode) {
    if (mode == nullptr) {
        QLOG_WARN("mode is NULL.\n");
        return NsStatusNullPointer;
    }
    const WDROutputMode internal{mode->totalRange,  mode->range1, mode->range1Count, mode->range2,
                                 mode->range2Count, mode->range3, mode->range3Count};
    return Translated(__func__, h, s, [&](BaseSession& x) { return x.SetWDROutputMode(internal); });
}

QUORIX_API NsReturnStatus Ns2_GetWDROutputMode(NsDeviceHandle h, uint32_t s,
                                               NsWDROutputMode* mode) {
    return GetValue(__func__, h, s, mode, [](BaseSession& x, NsWDROutputMode& v) {
        WDROutputMode w;
        const int32_t ret = x.GetWDROutputMode(w);
        v = NsWDROutputMode{w.totalRange,  w.range1, w.range1Count, w.range2,
                            w.range2Count, w.range3, w.range3Count};
        return ret;
    });
}

QUORIX_API NsReturnStatus Ns2_SetWDRStyle(NsDeviceHandle h, uint32_t s, uint32_t style) {
    return Translated(__func__, h, s, [&](BaseSession& x) { return x.SetWDRStyle(style); });
}

QUORIX_API NsReturnStatus Ns2_SetGMMGain(NsDeviceHandle h, uint32_t s, const NsGMMGain* gain) {
    if (gain == nullptr) {
        QLOG_WARN("gain is NULL.\n");
        return NsStatusNullPointer;
    }
    const NsGMMGain local{gain->gain, gain->option};
    return Translated(__func__, h, s, [&](BaseSession& x) { return x.SetGMMGain(local); });
}

QUORIX_API NsReturnStatus Ns2_GetGMMGain(NsDeviceHandle h, uint32_t s, uint16_t* gain) {
    return GetValue(__func__, h, s, gain,
                    [](BaseSession& x, uint16_t& v) { return x.GetGMMGain(v); });
}

QUORIX_API NsReturnStatus Ns2_SetStandByEnabled(NsDeviceHandle h, uint32_t s, uint8_t enable) {
    return Ns2_SetLowPowerModeEnabled(h, s, enable);
}

QUORIX_API NsReturnStatus Ns2_SetSlaveTrigger(NsDeviceHandle h, uint32_t s) {
    return Translated(__func__, h, s, [](BaseSession& x) { return x.SetSlaveTrigger(); });
}

QUORIX_API NsReturnStatus Ns2_GetSynchronizeEnabled(NsDeviceHandle h, uint32_t s,
                                                    uint8_t* enabled) {
    return GetValue(__func__, h, s, enabled, [](BaseSession& x, uint8_t& v) {
        v = x.GetSynchronizeEnabled() ? 1 : 0;
        return 0;
    });
}

// ---- switches of the frame delivery ----------------------------------------------------------

QUORIX_API NsReturnStatus Ns2_SetColorPixelFormat(NsDeviceHandle h, uint32_t s, int32_t format) {
    return WithSession(__func__, h, s, [&](BaseSession& x) -> NsReturnStatus {
        if (format < NsPixelRGB24 || format > NsPixelBGR24) {
            return NsStatusBadParameter;
        }
        return InterRet2ExternRet(x.SetColorPixelFormat(format));
    });
}

QUORIX_API NsReturnStatus Ns2_SetIRPixelFormat(NsDeviceHandle h, uint32_t s, int32_t format) {
    return WithSession(__func__, h, s, [&](BaseSession& x) -> NsReturnStatus {
        if (format < NsPixelDepth16 || format > NsPixelGrey8) {
            return NsStatusBadParameter;
        }
        return InterRet2ExternRet(x.SetIRPixelFormat(format));
    });
}

QUORIX_API NsReturnStatus Ns2_SetImageMirror(NsDeviceHandle h, uint32_t s, uint32_t mirror) {
    return Translated(__func__, h, s, [&](BaseSession& x) { return x.SetImageMirror(mirror); });
}

QUORIX_API NsReturnStatus Ns2_SetImageRotation(NsDeviceHandle h, uint32_t s, uint32_t rotation) {
    return Translated(__func__, h, s, [&](BaseSession& x) { return x.SetImageRotation(rotation); });
}

QUORIX_API NsReturnStatus Ns2_SetSaveRawBufferEnabled(NsDeviceHandle h, uint32_t s,
                                                      uint8_t enable) {
    return WithSession(__func__, h, s, [&](BaseSession& x) {
        x.SetSaveRawBufferEnabled(enable != 0);
        return NsStatusOk;
    });
}

QUORIX_API NsReturnStatus Ns2_SetSaveComputeDepthTab(NsDeviceHandle h, uint32_t s) {
    return WithSession(__func__, h, s,
                       [](BaseSession& x) { return ZeroOrOther(x.SetSaveComputeDepthTab()); });
}

QUORIX_API NsReturnStatus Ns2_SetRangeValue(NsDeviceHandle h, uint32_t s, uint32_t value1,
                                            uint32_t value2, uint32_t value3) {
    return WithSession(__func__, h, s, [&](BaseSession& x) {
        x.SetRangeValue(value1, value2, value3);
        return NsStatusOk;
    });
}

// ---- colour sensor -------------------------------------------------------------------------

QUORIX_API NsReturnStatus Ns2_SetRGBResolution(NsDeviceHandle h, uint32_t s, uint32_t code) {
    return Translated(__func__, h, s, [&](BaseSession& x) { return x.SetColourResolution(code); });
}

QUORIX_API NsReturnStatus Ns2_GetRGBResolution(NsDeviceHandle h, uint32_t s, uint16_t* code) {
    if (code == nullptr) {
        QLOG_WARN("code is NULL.\n");
        return NsStatusNullPointer;
    }
    return Translated(__func__, h, s, [&](BaseSession& x) { return x.GetColourResolution(*code); });
}

QUORIX_API NsReturnStatus Ns2_SetRgbExplosureTimeAndGain(NsDeviceHandle h, uint32_t s,
                                                         float exposureTime, float gain) {
    return Translated(__func__, h, s, [&](BaseSession& x) {
        return x.SetRgbExplosureTimeAndGain(exposureTime, gain);
    });
}

QUORIX_API NsReturnStatus Ns2_GetRgbExplosureTimeAndGain(NsDeviceHandle h, uint32_t s,
                                                         float* exposureTime, float* gain) {
    if (exposureTime == nullptr || gain == nullptr) {
        QLOG_WARN("exposureTime or gain is NULL.\n");
        return NsStatusNullPointer;
    }
    return Translated(__func__, h, s, [&](BaseSession& x) {
        return x.GetRgbExplosureTimeAndGain(*exposureTime, *gain);
    });
}

// ---- registers, plane correction, test mode ------------------------------------------------

QUORIX_API NsReturnStatus Ns2_SetRegVal(NsDeviceHandle h, uint32_t s, const uint16_t* addresses,
                                        const uint16_t* values, uint8_t count) {
    return Translated(__func__, h, s,
                      [&](BaseSession& x) { return x.SetRegVal(addresses, values, count); });
}

QUORIX_API NsReturnStatus Ns2_GetRegVal(NsDeviceHandle h, uint32_t s, const uint16_t* addresses,
                                        uint16_t* values, uint8_t count) {
    return Translated(__func__, h, s,
                      [&](BaseSession& x) { return x.GetRegVal(addresses, values, count); });
}

QUORIX_API NsReturnStatus Ns2_SetPlaneCorrectionParam(NsDeviceHandle h, uint32_t s, uint16_t id,
                                                      const void* block, uint32_t count) {
    if (block == nullptr && count != 0) {
        QLOG_WARN("block is NULL.\n");
        return NsStatusNullPointer;
    }
    return Translated(__func__, h, s,
                      [&](BaseSession& x) { return x.SetPlaneCorrectionParam(id, block, count); });
}

QUORIX_API NsReturnStatus Ns2_GetPlaneCorrectionParam(NsDeviceHandle h, uint32_t s, uint16_t* id,
                                                      void* block, uint32_t capacity,
                                                      uint32_t* count) {
    if (id == nullptr || block == nullptr || count == nullptr) {
        QLOG_WARN("id, block or count is NULL.\n");
        return NsStatusNullPointer;
    }
    return Translated(__func__, h, s, [&](BaseSession& x) {
        return x.GetPlaneCorrectionParam(*id, block, capacity, *count);
    });
}

QUORIX_API NsReturnStatus Ns2_SetTestModeState(NsDeviceHandle h, uint32_t s, uint32_t mode,
                                               const uint32_t values[4]) {
    if (values == nullptr) {
        QLOG_WARN("values is NULL.\n");
        return NsStatusNullPointer;
    }
    const TestModeRecord record{values[0], values[1], values[2], values[3]};
    return Translated(__func__, h, s,
                      [&](BaseSession& x) { return x.SetTestModeState(mode, record); });
}

// ---- calibration ---------------------------------------------------------------------------

QUORIX_API NsReturnStatus Ns2_GetCameraParameters(NsDeviceHandle h, uint32_t s, int32_t sensorType,
                                                  NsCameraParameters* out) {
    return WithSession(__func__, h, s, [&](BaseSession& x) -> NsReturnStatus {
        if (out == nullptr) {
            return NsStatusNullPointer;
        }
        if (sensorType != 1 && sensorType != 2) {
            return NsStatusBadSensorType;
        }
        return InterRet2ExternRet(x.GetCameraParameters(static_cast<uint32_t>(sensorType), *out));
    });
}

QUORIX_API NsReturnStatus Ns2_GetCameraExtrinsicParameters(NsDeviceHandle h, uint32_t s,
                                                           NsCameraExtrinsicParameters* out) {
    return WithSession(__func__, h, s, [&](BaseSession& x) -> NsReturnStatus {
        if (out == nullptr) {
            return NsStatusNullPointer;
        }
        return InterRet2ExternRet(x.GetCameraExtrinsics(*out));
    });
}

QUORIX_API NsReturnStatus Ns2_GetMeasuringRange(NsDeviceHandle h, uint32_t s, int32_t range,
                                                NsMeasuringRange* out) {
    return WithSession(__func__, h, s, [&](BaseSession& x) -> NsReturnStatus {
        if (out == nullptr) {
            return NsStatusNullPointer;
        }
        NsMeasuringRange local{};
        local.depthMode = range >= 0 && range <= 8 ? static_cast<uint8_t>(range / 3) : 0;
        const int32_t ret = x.GetMeasuringRange(local);
        *out = local;
        return InterRet2ExternRet(ret);
    });
}

// ---- identity and DSP ----------------------------------------------------------------------

QUORIX_API NsReturnStatus Ns2_GetSerialNumber(NsDeviceHandle h, uint32_t s, char* buffer,
                                              uint32_t length) {
    return WithSession(__func__, h, s, [&](BaseSession&) {
        uint32_t size = length;
        return Ns2_GetProperty(h, s, NS_PROPERTY_SERIAL_NUMBER, buffer, &size);
    });
}

QUORIX_API NsReturnStatus Ns2_GetFirmwareVersionNumber(NsDeviceHandle h, uint32_t s, char* buffer,
                                                       uint32_t length) {
    return WithSession(__func__, h, s, [&](BaseSession&) {
        uint32_t size = length;
        return Ns2_GetProperty(h, s, NS_PROPERTY_FIRMWARE_VERSION, buffer, &size);
    });
}

QUORIX_API NsReturnStatus Ns2_SetDSPEnabled(NsDeviceHandle h, uint32_t s, int8_t enable) {
    return Translated(__func__, h, s, [&](BaseSession& x) { return x.SetDSPEnabled(enable != 0); });
}

QUORIX_API NsReturnStatus Ns2_GetDSPEnabled(NsDeviceHandle h, uint32_t s, uint8_t* enabled) {
    if (enabled == nullptr) {
        QLOG_WARN("enabled is NULL.\n");
        return NsStatusNullPointer;
    }
    return Translated(__func__, h, s, [&](BaseSession& x) {
        bool on = false;
        const int32_t ret = x.GetDSPEnabled(on);
        *enabled = on ? 1 : 0;
        return ret;
    });
}

// ---- WDR values ----------------------------------------------------------------------------

// Three u16 (one per WDR range) and a byte.
static constexpr uint32_t kWdrValuesBytes = 7;

static NsReturnStatus SetWdrValues(const char* name, NsDeviceHandle h, uint32_t s, uint32_t id,
                                   const void* values) {
    if (values == nullptr) {
        QLOG_WARN("%s: values is NULL.\n", name);
        return NsStatusNullPointer;
    }
    return Translated(name, h, s,
                      [&](BaseSession& x) { return x.SetProperty(id, values, kWdrValuesBytes); });
}

static NsReturnStatus GetWdrValues(const char* name, NsDeviceHandle h, uint32_t s, uint32_t id,
                                   void* values) {
    if (values == nullptr) {
        QLOG_WARN("%s: values is NULL.\n", name);
        return NsStatusNullPointer;
    }
    return Translated(name, h, s, [&](BaseSession& x) {
        uint32_t size = kWdrValuesBytes;
        return x.GetProperty(id, values, &size);
    });
}

QUORIX_API NsReturnStatus Ns2_SetWDRPulseCount(NsDeviceHandle h, uint32_t s, const void* values) {
    return SetWdrValues(__func__, h, s, property::kWDRSetting, values);
}
QUORIX_API NsReturnStatus Ns2_GetWDRPulseCount(NsDeviceHandle h, uint32_t s, void* values) {
    return GetWdrValues(__func__, h, s, property::kWDRSetting, values);
}
QUORIX_API NsReturnStatus Ns2_SetWDRThreshold(NsDeviceHandle h, uint32_t s, const void* values) {
    return SetWdrValues(__func__, h, s, property::kWDRThreshold, values);
}
QUORIX_API NsReturnStatus Ns2_GetWDRThreshold(NsDeviceHandle h, uint32_t s, void* values) {
    return GetWdrValues(__func__, h, s, property::kWDRThreshold, values);
}
QUORIX_API NsReturnStatus Ns2_SetWDRMMGain(NsDeviceHandle h, uint32_t s, const void* values) {
    return SetWdrValues(__func__, h, s, property::kWDRGMMGain, values);
}
QUORIX_API NsReturnStatus Ns2_GetWDRMMGain(NsDeviceHandle h, uint32_t s, void* values) {
    return GetWdrValues(__func__, h, s, property::kWDRGMMGain, values);
}

// ---- properties ----------------------------------------------------------------------------

QUORIX_API NsReturnStatus Ns2_GetProperty(NsDeviceHandle h, uint32_t s, uint32_t id, void* data,
                                          uint32_t* size) {
    return WithSession(__func__, h, s, [&](BaseSession& x) -> NsReturnStatus {
        if (data == nullptr || size == nullptr) {
            return NsStatusNullProperty;
        }
        return InterRet2ExternRet(ReadProperty(x, id, data, *size));
    });
}

QUORIX_API NsReturnStatus Ns2_SetProperty(NsDeviceHandle h, uint32_t s, uint32_t id,
                                          const void* data, uint32_t size) {
    return WithSession(__func__, h, s, [&](BaseSession& x) -> NsReturnStatus {
        if (data == nullptr) {
            return NsStatusNullProperty;
        }
        return InterRet2ExternRet(WriteProperty(x, id, data, size));
    });
}

}  // extern "C"
