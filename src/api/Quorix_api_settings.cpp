// First-generation twins: each is its second-generation function on the current device's
// session 0, with the device index ignored (an unused first argument).
#include <cstdint>

#include "api/CurrentDevice.h"
#include "log/Log.h"
#include "quorix/quorix_api.h"

using namespace quorix;

extern "C" {

// ---- Frames, properties and frame delivery ----------------------------------------------

QUORIX_API NsReturnStatus NsGetFrame(uint32_t, uint32_t frameType, NsFrame* frame) {
    return Ns2_GetFrame(CurrentDevice(), kCurrentSession, frameType, frame);
}
QUORIX_API NsReturnStatus NsGetFrameMode(uint32_t, uint32_t frameType, NsFrameMode* mode) {
    return Ns2_GetFrameMode(CurrentDevice(), kCurrentSession, frameType, mode);
}
QUORIX_API NsReturnStatus NsRegisterNotify(uint32_t, NsFrameCallback callback) {
    return Ns2_RegisterNotify(CurrentDevice(), kCurrentSession, callback);
}
QUORIX_API NsReturnStatus NsUnRegisterNotify(uint32_t) {
    return Ns2_UnRegisterNotify(CurrentDevice(), kCurrentSession);
}
QUORIX_API NsReturnStatus NsSetDepthFrameEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetDepthFrameEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsSetIrFrameEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetIrFrameEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsSetRgbFrameEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetRgbFrameEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsConvertDepthFrameToWorldVector(uint32_t, const NsFrame* depthFrame,
                                                           NsVector3f* world) {
    return Ns2_ConvertDepthFrameToWorldVector(CurrentDevice(), kCurrentSession, depthFrame, world);
}
QUORIX_API NsReturnStatus NsGetProperty(uint32_t, uint32_t id, void* data, uint32_t* size) {
    return Ns2_GetProperty(CurrentDevice(), kCurrentSession, id, data, size);
}
QUORIX_API NsReturnStatus NsSetProperty(uint32_t, uint32_t id, const void* data, uint32_t size) {
    return Ns2_SetProperty(CurrentDevice(), kCurrentSession, id, data, size);
}

// ---- Depth sensor settings --------------------------------------------------------------

QUORIX_API NsReturnStatus NsSetDepthRange(uint32_t, uint32_t range) {
    return Ns2_SetDepthRange(CurrentDevice(), kCurrentSession, range);
}
QUORIX_API NsReturnStatus NsGetDepthRange(uint32_t, uint32_t* range) {
    return Ns2_GetDepthRange(CurrentDevice(), kCurrentSession, range);
}
QUORIX_API NsReturnStatus NsSetThreshold(uint32_t, uint16_t threshold) {
    return Ns2_SetThreshold(CurrentDevice(), kCurrentSession, threshold);
}
QUORIX_API NsReturnStatus NsGetThreshold(uint32_t, uint16_t* threshold) {
    return Ns2_GetThreshold(CurrentDevice(), kCurrentSession, threshold);
}
QUORIX_API NsReturnStatus NsGetPulseCount(uint32_t, uint16_t* pulseCount) {
    return Ns2_GetPulseCount(CurrentDevice(), kCurrentSession, pulseCount);
}

// Data modes are byte codes: a value beyond a byte is refused, never cut to another mode.
QUORIX_API NsReturnStatus NsSetDataMode(uint32_t, uint32_t dataMode) {
    if (dataMode > UINT8_MAX) {
        QLOG_WARN("dataMode:%u is invalid.\n", dataMode);
        return NsStatusBadParameter;
    }
    return Ns2_SetDataMode(CurrentDevice(), kCurrentSession, static_cast<uint8_t>(dataMode));
}
QUORIX_API NsReturnStatus NsSetConfidenceBit(uint32_t, uint8_t bit) {
    return Ns2_SetConfidenceBit(CurrentDevice(), kCurrentSession, bit);
}
QUORIX_API NsReturnStatus NsGetConfidenceBit(uint32_t, uint8_t* bit) {
    return Ns2_GetConfidenceBit(CurrentDevice(), kCurrentSession, bit);
}
QUORIX_API NsReturnStatus NsSetConfidenceWhich(uint32_t, uint8_t which) {
    return Ns2_SetConfidenceWhich(CurrentDevice(), kCurrentSession, which);
}
QUORIX_API NsReturnStatus NsGetConfidenceWhich(uint32_t, uint8_t* which) {
    return Ns2_GetConfidenceWhich(CurrentDevice(), kCurrentSession, which);
}
QUORIX_API NsReturnStatus NsSetWDROutputMode(uint32_t, const NsWDROutputMode* mode) {
    return Ns2_SetWDROutputMode(CurrentDevice(), kCurrentSession, mode);
}
QUORIX_API NsReturnStatus NsGetWDROutputMode(uint32_t, NsWDROutputMode* mode) {
    return Ns2_GetWDROutputMode(CurrentDevice(), kCurrentSession, mode);
}
QUORIX_API NsReturnStatus NsSetWDRStyle(uint32_t, uint32_t style) {
    return Ns2_SetWDRStyle(CurrentDevice(), kCurrentSession, style);
}
QUORIX_API NsReturnStatus NsGetGMMGain(uint32_t, uint16_t* gain) {
    return Ns2_GetGMMGain(CurrentDevice(), kCurrentSession, gain);
}

// The record is the call's own copy before the camera is asked.
QUORIX_API NsReturnStatus NsSetGMMGain(uint32_t, const NsGMMGain* gain) {
    if (gain == nullptr) {
        return Ns2_SetGMMGain(CurrentDevice(), kCurrentSession, nullptr);
    }
    const NsGMMGain copy = *gain;
    return Ns2_SetGMMGain(CurrentDevice(), kCurrentSession, &copy);
}
QUORIX_API NsReturnStatus NsSetLowPowerModeEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetLowPowerModeEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsSetSlaveModeEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetSlaveModeEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsSetAntiInterferenceEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetAntiInterferenceEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsSetSynchronizeEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetSynchronizeEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsGetSynchronizeEnabled(uint32_t, uint8_t* enabled) {
    return Ns2_GetSynchronizeEnabled(CurrentDevice(), kCurrentSession, enabled);
}
QUORIX_API NsReturnStatus NsSetTofAecEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetTofAecEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsSetSaveRawBufferEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetSaveRawBufferEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsSetRangeValue(uint32_t, uint32_t value1, uint32_t value2,
                                          uint32_t value3) {
    return Ns2_SetRangeValue(CurrentDevice(), kCurrentSession, value1, value2, value3);
}

// ---- Filters and mapping of this library ------------------------------------------------

QUORIX_API NsReturnStatus NsSetRealDepthCorrectionEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetRealDepthCorrectionEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsSetComputeRealDepthCorrectionEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetComputeRealDepthCorrectionEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsGetComputeRealDepthCorrectionEnabled(uint32_t, uint8_t* enabled) {
    return Ns2_GetComputeRealDepthCorrectionEnabled(CurrentDevice(), kCurrentSession, enabled);
}
QUORIX_API NsReturnStatus NsSetSmoothingFilterEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetSmoothingFilterEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsGetSmoothingFilterEnabled(uint32_t, uint8_t* enabled) {
    return Ns2_GetSmoothingFilterEnabled(CurrentDevice(), kCurrentSession, enabled);
}
QUORIX_API NsReturnStatus NsSetDepthDistortionCorrectionEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetDepthDistortionCorrectionEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsGetDepthDistortionCorrectionEnabled(uint32_t, uint8_t* enabled) {
    return Ns2_GetDepthDistortionCorrectionEnabled(CurrentDevice(), kCurrentSession, enabled);
}
QUORIX_API NsReturnStatus NsSetIrDistortionCorrectionEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetIrDistortionCorrectionEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsGetIrDistortionCorrectionEnabled(uint32_t, uint8_t* enabled) {
    return Ns2_GetIrDistortionCorrectionEnabled(CurrentDevice(), kCurrentSession, enabled);
}
QUORIX_API NsReturnStatus NsSetRGBDistortionCorrectionEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetRGBDistortionCorrectionEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsGetRGBDistortionCorrectionEnabled(uint32_t, uint8_t* enabled) {
    return Ns2_GetRGBDistortionCorrectionEnabled(CurrentDevice(), kCurrentSession, enabled);
}
QUORIX_API NsReturnStatus NsSetRGBCorrectionEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetRGBCorrectionEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsGetRGBCorrectionEnabled(uint32_t, uint8_t* enabled) {
    return Ns2_GetRGBCorrectionEnabled(CurrentDevice(), kCurrentSession, enabled);
}
QUORIX_API NsReturnStatus NsSetMapperEnabledDepthToRGB(uint32_t, uint8_t enable) {
    return Ns2_SetMapperEnabledDepthToRGB(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsGetMapperEnabledDepthToRGB(uint32_t, uint8_t* enabled) {
    return Ns2_GetMapperEnabledDepthToRGB(CurrentDevice(), kCurrentSession, enabled);
}
QUORIX_API NsReturnStatus NsSetMapperEnabledRGBToDepth(uint32_t, uint8_t enable) {
    return Ns2_SetMapperEnabledRGBToDepth(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsGetMapperEnabledRGBToDepth(uint32_t, uint8_t* enabled) {
    return Ns2_GetMapperEnabledRGBToDepth(CurrentDevice(), kCurrentSession, enabled);
}
QUORIX_API NsReturnStatus NsSetMapperEnabledRGBToIR(uint32_t, uint8_t enable) {
    return Ns2_SetMapperEnabledRGBToIR(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsGetMapperEnabledRGBToIR(uint32_t, uint8_t* enabled) {
    return Ns2_GetMapperEnabledRGBToIR(CurrentDevice(), kCurrentSession, enabled);
}
QUORIX_API NsReturnStatus NsSetTimeFilterEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetTimeFilterEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsGetTimeFilterEnabled(uint32_t, uint8_t* enabled) {
    return Ns2_GetTimeFilterEnabled(CurrentDevice(), kCurrentSession, enabled);
}
QUORIX_API NsReturnStatus NsSetSpatialFilterEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetSpatialFilterEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsGetSpatialFilterEnabled(uint32_t, uint8_t* enabled) {
    return Ns2_GetSpatialFilterEnabled(CurrentDevice(), kCurrentSession, enabled);
}
QUORIX_API NsReturnStatus NsSetColorPixelFormat(uint32_t, int32_t format) {
    return Ns2_SetColorPixelFormat(CurrentDevice(), kCurrentSession, format);
}
QUORIX_API NsReturnStatus NsSetImageMirror(uint32_t, uint32_t mirror) {
    return Ns2_SetImageMirror(CurrentDevice(), kCurrentSession, mirror);
}
QUORIX_API NsReturnStatus NsSetImageRotation(uint32_t, uint32_t rotation) {
    return Ns2_SetImageRotation(CurrentDevice(), kCurrentSession, rotation);
}

// ---- Colour sensor ----------------------------------------------------------------------

QUORIX_API NsReturnStatus NsSetRgbAecEnabled(uint32_t, uint8_t enable) {
    return Ns2_SetRgbAecEnabled(CurrentDevice(), kCurrentSession, enable);
}
QUORIX_API NsReturnStatus NsSetRgbExplosureTimeAndGain(uint32_t, float exposureTime, float gain) {
    return Ns2_SetRgbExplosureTimeAndGain(CurrentDevice(), kCurrentSession, exposureTime, gain);
}
QUORIX_API NsReturnStatus NsGetRgbExplosureTimeAndGain(uint32_t, float* exposureTime, float* gain) {
    return Ns2_GetRgbExplosureTimeAndGain(CurrentDevice(), kCurrentSession, exposureTime, gain);
}
QUORIX_API NsReturnStatus NsSetResolution(uint32_t, uint32_t code) {
    return Ns2_SetRGBResolution(CurrentDevice(), kCurrentSession, code);
}
QUORIX_API NsReturnStatus NsGetResolution(uint32_t, uint16_t* code) {
    return Ns2_GetRGBResolution(CurrentDevice(), kCurrentSession, code);
}

// ---- Registers, plane correction and calibration ----------------------------------------

QUORIX_API NsReturnStatus NsSetRegVal(uint32_t, const uint16_t* addresses, const uint16_t* values,
                                      uint8_t count) {
    return Ns2_SetRegVal(CurrentDevice(), kCurrentSession, addresses, values, count);
}
QUORIX_API NsReturnStatus NsGetRegVal(uint32_t, const uint16_t* addresses, uint16_t* values,
                                      uint8_t count) {
    return Ns2_GetRegVal(CurrentDevice(), kCurrentSession, addresses, values, count);
}
QUORIX_API NsReturnStatus NsSetPlaneCorrectionParam(uint32_t, uint16_t id, const void* block,
                                                    uint32_t count) {
    return Ns2_SetPlaneCorrectionParam(CurrentDevice(), kCurrentSession, id, block, count);
}
QUORIX_API NsReturnStatus NsGetPlaneCorrectionParam(uint32_t, uint16_t* id, void* block,
                                                    uint32_t capacity, uint32_t* count) {
    return Ns2_GetPlaneCorrectionParam(CurrentDevice(), kCurrentSession, id, block, capacity,
                                       count);
}
QUORIX_API NsReturnStatus NsGetCameraParameters(uint32_t, int32_t sensorType,
                                                NsCameraParameters* out) {
    return Ns2_GetCameraParameters(CurrentDevice(), kCurrentSession, sensorType, out);
}
QUORIX_API NsReturnStatus NsGetCameraExtrinsicParameters(uint32_t,
                                                         NsCameraExtrinsicParameters* out) {
    return Ns2_GetCameraExtrinsicParameters(CurrentDevice(), kCurrentSession, out);
}
QUORIX_API NsReturnStatus NsGetMeasuringRange(uint32_t, int32_t range, NsMeasuringRange* out) {
    return Ns2_GetMeasuringRange(CurrentDevice(), kCurrentSession, range, out);
}

}  // extern "C"
