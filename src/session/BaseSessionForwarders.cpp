// Session operations without rules of their own: the ones passed to the camera's protocol
// unchanged, the switches of the session's frame engine, and the mapper and filter
// switches of the pre-processing library.
#include <utility>

#include "config/Log.h"
#include "protocol/BaseProtocol.h"
#include "session/BaseSession.h"

namespace quorix {
namespace {

// Calls the protocol's operation, or reports -255 when the device type has no protocol.
template <class Op, class... Args>
int32_t Forward(const std::unique_ptr<BaseProtocol>& protocol, Op op, Args&&... args) {
    return protocol ? (protocol.get()->*op)(std::forward<Args>(args)...) : kStatusNotSupported;
}

// A switch of the pre-processing library, -255 without one.
template <class Op>
int32_t SetFilter(ImgPreProcess* pre, Op op, bool enabled) {
    return pre != nullptr ? (pre->*op)(enabled) : kStatusNotSupported;
}

template <class Op>
int32_t GetFilter(ImgPreProcess* pre, Op op, bool& enabled) {
    if (pre == nullptr) {
        return kStatusNotSupported;
    }
    bool value = false;
    const int32_t ret = (pre->*op)(&value);
    enabled = value;
    return ret;
}

// A mapper switch of the engine: mapping needs the pre-processing library (-255 without).
int32_t SetMapper(ImageProc& engine, void (ImageProc::*set)(bool), bool enabled) {
    if (engine.PreProcess() == nullptr) {
        return kStatusNotSupported;
    }
    (engine.*set)(enabled);
    return 0;
}

int32_t GetMapper(const ImageProc& engine, bool (ImageProc::*get)() const, bool& enabled) {
    if (engine.PreProcess() == nullptr) {
        return kStatusNotSupported;
    }
    enabled = (engine.*get)();
    return 0;
}

}  // namespace

// --- forwarded unchanged --------------------------------------------------------------------

int32_t BaseSession::SetConfidenceBit(uint8_t bit) {
    return Forward(m_protocol, &BaseProtocol::SetConfidenceBit, bit);
}
int32_t BaseSession::GetConfidenceBit(uint8_t& bit) {
    return Forward(m_protocol, &BaseProtocol::GetConfidenceBit, bit);
}
int32_t BaseSession::SetConfidenceWhich(uint8_t which) {
    return Forward(m_protocol, &BaseProtocol::SetConfidenceWhich, which);
}
int32_t BaseSession::GetConfidenceWhich(uint8_t& which) {
    return Forward(m_protocol, &BaseProtocol::GetConfidenceWhich, which);
}
int32_t BaseSession::SetTofFrameRate(uint8_t fps) {
    return Forward(m_protocol, &BaseProtocol::SetTofFrameRate, fps);
}
int32_t BaseSession::GetTofFrameRate(uint8_t& fps) {
    return Forward(m_protocol, &BaseProtocol::GetTofFrameRate, fps);
}
int32_t BaseSession::SetAntiInterferenceEnabled(bool enabled) {
    return Forward(m_protocol, &BaseProtocol::SetAntiInterferenceEnabled, enabled);
}
int32_t BaseSession::SetMeasuringStatus(uint8_t item, uint8_t onOff) {
    return Forward(m_protocol, &BaseProtocol::SetMeasuringStatus, item, onOff);
}
int32_t BaseSession::GetMeasuringStatus(std::array<bool, 10>& status) {
    return Forward(m_protocol, &BaseProtocol::GetMeasuringStatus, status);
}
int32_t BaseSession::SetRegVal(const uint16_t* addresses, const uint16_t* values, uint8_t count) {
    return Forward(m_protocol, &BaseProtocol::SetRegVal, addresses, values, count);
}
int32_t BaseSession::GetRegVal(const uint16_t* addresses, uint16_t* values, uint8_t count) {
    return Forward(m_protocol, &BaseProtocol::GetRegVal, addresses, values, count);
}
int32_t BaseSession::SetGMM(const Vector3& gmm) {
    return Forward(m_protocol, &BaseProtocol::SetGMM, gmm);
}
int32_t BaseSession::GetGMM(GmmBlock& gmm) {
    return Forward(m_protocol, &BaseProtocol::GetGMM, gmm);
}
int32_t BaseSession::GetDepthMode(uint8_t& mode) {
    return Forward(m_protocol, &BaseProtocol::GetDepthMode, mode);
}
int32_t BaseSession::SetLDEnable(uint16_t value) {
    return Forward(m_protocol, &BaseProtocol::SetLDEnable, value);
}
int32_t BaseSession::GetLDEnable(uint16_t& value) {
    return Forward(m_protocol, &BaseProtocol::GetLDEnable, value);
}
int32_t BaseSession::SetISAEnable(uint8_t value) {
    return Forward(m_protocol, &BaseProtocol::SetISAEnable, value);
}
int32_t BaseSession::GetISAEnable(uint8_t& value) {
    return Forward(m_protocol, &BaseProtocol::GetISAEnable, value);
}
int32_t BaseSession::SetTALEnable(uint16_t value) {
    return Forward(m_protocol, &BaseProtocol::SetTALEnable, value);
}
int32_t BaseSession::GetTALEnable(uint16_t& value) {
    return Forward(m_protocol, &BaseProtocol::GetTALEnable, value);
}
int32_t BaseSession::SetHTP(const HtpBlock& htp) {
    return Forward(m_protocol, &BaseProtocol::SetHTP, htp);
}
int32_t BaseSession::GetHTP(HtpBlock& htp) {
    return Forward(m_protocol, &BaseProtocol::GetHTP, htp);
}
int32_t BaseSession::SetOffSet(const OffsetRecord& record) {
    return Forward(m_protocol, &BaseProtocol::SetOffSet, record);
}
int32_t BaseSession::GetOffSet(OffsetRecord& record) {
    return Forward(m_protocol, &BaseProtocol::GetOffSet, record);
}
int32_t BaseSession::SetCameraE(const Matrix3& essential) {
    return Forward(m_protocol, &BaseProtocol::SetCameraE, essential);
}
int32_t BaseSession::GetCameraE(Matrix3& essential) {
    return Forward(m_protocol, &BaseProtocol::GetCameraE, essential);
}
int32_t BaseSession::SetCameraF(const Matrix3& fundamental) {
    return Forward(m_protocol, &BaseProtocol::SetCameraF, fundamental);
}
int32_t BaseSession::GetCameraF(Matrix3& fundamental) {
    return Forward(m_protocol, &BaseProtocol::GetCameraF, fundamental);
}
int32_t BaseSession::GetWorkMode(WorkModeRecord& mode) {
    return Forward(m_protocol, &BaseProtocol::GetWorkMode, mode);
}
int32_t BaseSession::SetPCBA(const char* text, uint32_t length) {
    return Forward(m_protocol, &BaseProtocol::SetPCBA, text, length);
}
int32_t BaseSession::GetPCBA(char* text, uint32_t capacity) {
    return Forward(m_protocol, &BaseProtocol::GetPCBA, text, capacity);
}
int32_t BaseSession::SetSN(const char* text, uint32_t length) {
    return Forward(m_protocol, &BaseProtocol::SetSN, text, length);
}
int32_t BaseSession::GetSN(char* buffer, uint32_t capacity) {
    return Forward(m_protocol, &BaseProtocol::GetSN, buffer, capacity);
}
int32_t BaseSession::GetFWVer(char* text, uint32_t capacity) {
    return Forward(m_protocol, &BaseProtocol::GetFWVer, text, capacity);
}
int32_t BaseSession::GetHWVer(char* text, uint32_t capacity) {
    return Forward(m_protocol, &BaseProtocol::GetHWVer, text, capacity);
}
int32_t BaseSession::GetFlashType(char* text, uint32_t capacity) {
    return Forward(m_protocol, &BaseProtocol::GetFlashType, text, capacity);
}
int32_t BaseSession::SetACCSensitivity(const ImuSensitivity& value) {
    return Forward(m_protocol, &BaseProtocol::SetACCSensitivity, value);
}
int32_t BaseSession::GetACCSensitivity(ImuSensitivity& value) {
    return Forward(m_protocol, &BaseProtocol::GetACCSensitivity, value);
}
int32_t BaseSession::SetACCOffset(const ImuOffset& value) {
    return Forward(m_protocol, &BaseProtocol::SetACCOffset, value);
}
int32_t BaseSession::GetACCOffset(ImuOffset& value) {
    return Forward(m_protocol, &BaseProtocol::GetACCOffset, value);
}
int32_t BaseSession::SetACCOffsetTemp(const ImuOffsetTemp& value) {
    return Forward(m_protocol, &BaseProtocol::SetACCOffsetTemp, value);
}
int32_t BaseSession::GetACCOffsetTemp(ImuOffsetTemp& value) {
    return Forward(m_protocol, &BaseProtocol::GetACCOffsetTemp, value);
}
int32_t BaseSession::SetGyroSensitivity(const ImuSensitivity& value) {
    return Forward(m_protocol, &BaseProtocol::SetGyroSensitivity, value);
}
int32_t BaseSession::GetGyroSensitivity(ImuSensitivity& value) {
    return Forward(m_protocol, &BaseProtocol::GetGyroSensitivity, value);
}
int32_t BaseSession::SetGyroOffset(const ImuOffset& value) {
    return Forward(m_protocol, &BaseProtocol::SetGyroOffset, value);
}
int32_t BaseSession::GetGyroOffset(ImuOffset& value) {
    return Forward(m_protocol, &BaseProtocol::GetGyroOffset, value);
}
int32_t BaseSession::SetGyroOffsetTemp(const ImuOffsetTemp& value) {
    return Forward(m_protocol, &BaseProtocol::SetGyroOffsetTemp, value);
}
int32_t BaseSession::GetGyroOffsetTemp(ImuOffsetTemp& value) {
    return Forward(m_protocol, &BaseProtocol::GetGyroOffsetTemp, value);
}
int32_t BaseSession::SetImuDataMode(int32_t mode) {
    return Forward(m_protocol, &BaseProtocol::SetImuDataMode, mode);
}
int32_t BaseSession::SetPlaneCorrectionParam(uint16_t id, const void* block, uint32_t count) {
    return Forward(m_protocol, &BaseProtocol::SetPlaneCorrectionParam, id, block, count);
}
int32_t BaseSession::GetPlaneCorrectionParam(uint16_t& id, void* block, uint32_t capacity,
                                             uint32_t& count) {
    return Forward(m_protocol, &BaseProtocol::GetPlaneCorrectionParam, id, block, capacity, count);
}
int32_t BaseSession::SetRgbExplosureTimeAndGain(float exposure, float gain) {
    return Forward(m_protocol, &BaseProtocol::SetRgbExplosureTimeAndGain, exposure, gain);
}
int32_t BaseSession::GetRgbExplosureTimeAndGain(float& exposure, float& gain) {
    return Forward(m_protocol, &BaseProtocol::GetRgbExplosureTimeAndGain, exposure, gain);
}
int32_t BaseSession::SetRgbAecEnabled(bool enabled) {
    return Forward(m_protocol, &BaseProtocol::SetRgbAecEnabled, enabled);
}
int32_t BaseSession::SetTestModeState(uint32_t mode, const TestModeRecord& record) {
    return Forward(m_protocol, &BaseProtocol::SetTestModeState, mode, record);
}
int32_t BaseSession::SetSlaveTrigger() {
    return Forward(m_protocol, &BaseProtocol::SetSlaveTrigger);
}

// --- switches of the frame engine -----------------------------------------------------------

int32_t BaseSession::SetColorPixelFormat(int32_t format) {
    m_imageProc.Rgb().SetOutputFormat(static_cast<uint32_t>(format));
    return 0;
}

int32_t BaseSession::GetColorPixelFormat() {
    return static_cast<int32_t>(m_imageProc.Rgb().GetOutputFormat());
}

int32_t BaseSession::SetIRPixelFormat(int32_t format) {
    m_imageProc.SetIROutputMode(static_cast<uint32_t>(format));
    return 0;
}

int32_t BaseSession::SetImageMirror(uint32_t mirror) {
    m_imageProc.SetOutputFlip(static_cast<int32_t>(mirror));
    return 0;
}

int32_t BaseSession::SetImageRotation(uint32_t rotation) {
    m_imageRotation = static_cast<int32_t>(rotation);
    m_imageProc.SetOutputRotation(static_cast<int32_t>(rotation));
    return 0;
}

int32_t BaseSession::SetTofAecEnabled(bool enabled) {
    m_tofAec = enabled;
    return 0;
}

int32_t BaseSession::SetRawDepthCut(bool enabled) {
    m_rawDepthCut = enabled;
    return 0;
}

int32_t BaseSession::SetSaveRawBufferEnabled(bool enabled) {
    m_imageProc.SetSaveRawBufferEnabled(enabled);
    return 0;
}

int32_t BaseSession::SetWDRStyle(uint32_t style) {
    if (m_dataMode.load() != kDataModeWdr) {
        return -1;
    }
    // Style 0 (fusion) also gives the depth filters the WDR pair's limits.
    return m_imageProc.Tof().SetWDRStyle(style);
}

int32_t BaseSession::SetRangeValue(uint32_t, uint32_t, uint32_t) {
    return 0;
}

int32_t BaseSession::SetSaveComputeDepthTab() {
    return 0;
}

// --- mapping and filters --------------------------------------------------------------------

int32_t BaseSession::SetMapperEnabledDepthToRGB(bool enabled) {
    return SetMapper(m_imageProc, &ImageProc::SetMapperEnabledColourToDepth, enabled);
}
int32_t BaseSession::GetMapperEnabledDepthToRGB(bool& enabled) {
    return GetMapper(m_imageProc, &ImageProc::GetMapperEnabledColourToDepth, enabled);
}
int32_t BaseSession::SetMapperEnabledRGBToDepth(bool enabled) {
    return SetMapper(m_imageProc, &ImageProc::SetMapperEnabledDepthToColour, enabled);
}
int32_t BaseSession::GetMapperEnabledRGBToDepth(bool& enabled) {
    return GetMapper(m_imageProc, &ImageProc::GetMapperEnabledDepthToColour, enabled);
}
int32_t BaseSession::SetMapperEnabledRGBToIR(bool enabled) {
    return SetMapper(m_imageProc, &ImageProc::SetMapperEnabledIRToColour, enabled);
}
int32_t BaseSession::GetMapperEnabledRGBToIR(bool& enabled) {
    return GetMapper(m_imageProc, &ImageProc::GetMapperEnabledIRToColour, enabled);
}

int32_t BaseSession::SetComputeRealDepthCorrectionEnabled(bool enabled) {
    return SetFilter(PreProcessor(), &ImgPreProcess::SetComputeRealDepthCorrectionEnabled, enabled);
}
int32_t BaseSession::GetComputeRealDepthCorrectionEnabled(bool& enabled) {
    return GetFilter(PreProcessor(), &ImgPreProcess::GetComputeRealDepthCorrectionEnabled, enabled);
}
int32_t BaseSession::SetSmoothingFilterEnabled(bool enabled) {
    return SetFilter(PreProcessor(), &ImgPreProcess::SetSmoothingFilterEnabled, enabled);
}
int32_t BaseSession::GetSmoothingFilterEnabled(bool& enabled) {
    return GetFilter(PreProcessor(), &ImgPreProcess::GetSmoothingFilterEnabled, enabled);
}
int32_t BaseSession::SetDepthDistortionCorrectionEnabled(bool enabled) {
    return SetFilter(PreProcessor(), &ImgPreProcess::SetDepthDistortionCorrectionEnabled, enabled);
}
int32_t BaseSession::GetDepthDistortionCorrectionEnabled(bool& enabled) {
    return GetFilter(PreProcessor(), &ImgPreProcess::GetDepthDistortionCorrectionEnabled, enabled);
}
int32_t BaseSession::SetIrDistortionCorrectionEnabled(bool enabled) {
    return SetFilter(PreProcessor(), &ImgPreProcess::SetIrDistortionCorrectionEnabled, enabled);
}
int32_t BaseSession::GetIrDistortionCorrectionEnabled(bool& enabled) {
    return GetFilter(PreProcessor(), &ImgPreProcess::GetIrDistortionCorrectionEnabled, enabled);
}
int32_t BaseSession::SetRGBDistortionCorrectionEnabled(bool enabled) {
    return SetFilter(PreProcessor(), &ImgPreProcess::SetRGBDistortionCorrectionEnabled, enabled);
}
int32_t BaseSession::GetRGBDistortionCorrectionEnabled(bool& enabled) {
    return GetFilter(PreProcessor(), &ImgPreProcess::GetRGBDistortionCorrectionEnabled, enabled);
}
int32_t BaseSession::SetRGBCorrectionEnabled(bool enabled) {
    return SetFilter(PreProcessor(), &ImgPreProcess::SetRGBCorrectionEnabled, enabled);
}
int32_t BaseSession::GetRGBCorrectionEnabled(bool& enabled) {
    return GetFilter(PreProcessor(), &ImgPreProcess::GetRGBCorrectionEnabled, enabled);
}
int32_t BaseSession::SetTimeFilterEnabled(bool enabled) {
    return SetFilter(PreProcessor(), &ImgPreProcess::SetTimeFilterEnabled, enabled);
}
int32_t BaseSession::GetTimeFilterEnabled(bool& enabled) {
    return GetFilter(PreProcessor(), &ImgPreProcess::GetTimeFilterEnabled, enabled);
}
int32_t BaseSession::SetSpatialFilterEnabled(bool enabled) {
    return SetFilter(PreProcessor(), &ImgPreProcess::SetSpatialFilterEnabled, enabled);
}
int32_t BaseSession::GetSpatialFilterEnabled(bool& enabled) {
    return GetFilter(PreProcessor(), &ImgPreProcess::GetSpatialFilterEnabled, enabled);
}

}  // namespace quorix
