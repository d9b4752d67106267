// The "Not Support." defaults of every protocol operation.
#include "protocol/BaseProtocol.h"

#include "config/Log.h"

namespace quorix {

// Each default logs under its own qualified name, so the log says what was missing.
#define QUORIX_NOT_SUPPORTED          \
    {                                 \
        QLOG("Not Support.\n");       \
        return kStatusNotSupported;   \
    }

BaseProtocol::~BaseProtocol() = default;

int32_t BaseProtocol::OpenDevice() QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::CloseDevice() QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::StartStream() QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::StopStream() QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetThreshold(uint16_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetThreshold(uint16_t&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetConfidenceBit(uint8_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetConfidenceBit(uint8_t&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetConfidenceWhich(uint8_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetConfidenceWhich(uint8_t&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetTofFrameRate(uint8_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetTofFrameRate(uint8_t&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetSlaveModeEnabled(bool) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetAntiInterferenceEnabled(bool) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetWDRMode(const WDROutputMode&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetWDRMode(WDROutputMode&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetMeasuringStatus(uint8_t, uint8_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetMeasuringStatus(std::array<bool, 10>&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetRegVal(const uint16_t*, const uint16_t*, uint8_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetRegVal(const uint16_t*, uint16_t*, uint8_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetIRS2Enable(uint16_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetGMMGain(const NsGMMGain&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetGMM(const Vector3&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetGMM(GmmBlock&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetMeasuringRange(const NsMeasuringRange&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetMeasuringRange(NsMeasuringRange&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetDataMode(uint8_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetDataMode(uint8_t&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetDepthMode(uint8_t&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetDepthRange(uint32_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetDepthRange(uint32_t&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetPulseCount(const PulseCountRecord&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetPulseCount(PulseCountBlock&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetLDEnable(uint16_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetLDEnable(uint16_t&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetISAEnable(uint8_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetISAEnable(uint8_t&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetTALEnable(uint16_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetTALEnable(uint16_t&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetHTP(const HtpBlock&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetHTP(HtpBlock&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetOffSet(const OffsetRecord&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetOffSet(OffsetRecord&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetCameraIntrinsic(uint8_t, const Matrix3&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetCameraIntrinsic(uint8_t, Matrix3&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetCameraDistortion(uint8_t, const Distortion&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetCameraDistortion(uint8_t, Distortion&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetCameraRotation(const Matrix3&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetCameraRotation(Matrix3&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetCameraTransfer(const Vector3&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetCameraTransfer(Vector3&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetCameraE(const Matrix3&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetCameraE(Matrix3&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetCameraF(const Matrix3&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetCameraF(Matrix3&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetLowPowerModeEnabled(bool) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetWorkMode(const WorkModeRecord&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetWorkMode(WorkModeRecord&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetPCBA(const char*, uint32_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetPCBA(char*, uint32_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetSN(const char*, uint32_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetSN(char*, uint32_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetFWVer(char*, uint32_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetHWVer(char*, uint32_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetFlashType(char*, uint32_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetACCSensitivity(const ImuSensitivity&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetACCSensitivity(ImuSensitivity&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetACCOffset(const ImuOffset&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetACCOffset(ImuOffset&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetACCOffsetTemp(const ImuOffsetTemp&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetACCOffsetTemp(ImuOffsetTemp&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetGyroSensitivity(const ImuSensitivity&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetGyroSensitivity(ImuSensitivity&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetGyroOffset(const ImuOffset&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetGyroOffset(ImuOffset&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetGyroOffsetTemp(const ImuOffsetTemp&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetGyroOffsetTemp(ImuOffsetTemp&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetImuDataMode(int32_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::ReservedOperation() QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetLens(const LensRecord&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetLens(LensRecord&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetPlaneCorrectionParam(uint16_t, const void*, uint32_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetPlaneCorrectionParam(uint16_t&, void*, uint32_t, uint32_t&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::ReadData(uint8_t*, uint32_t&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetRgbExplosureTimeAndGain(float, float) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetRgbExplosureTimeAndGain(float&, float&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetRgbAecEnabled(bool) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetRgbMirrorEnable(bool) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetRgbRotationEnable(bool) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetProperty(uint32_t, const void*, uint32_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetProperty(uint32_t, void*, uint32_t&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetUpgradeIsSupported(uint8_t&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetToUpgradeMode_P(const char*) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetUpgradeState(const TransferState&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetUpgradeState(TransferState&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::RebootCamera() QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetJsonIsSupported(uint8_t&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetToJsonMode_P() QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetJsonPath_P(const char*) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetJsonState(const TransferState&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetJsonState(TransferState&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::IsSupportJSONConfig() QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SendCameraParamsEnable(bool) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetAlias(char*, uint32_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetWDRGMMGain(const void*, uint32_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetWDRGMMGain(void*, uint32_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetWDRThreshold(const void*, uint32_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::GetWDRThreshold(void*, uint32_t) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetConnectStatus(bool) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetTestModeState(uint32_t, const TestModeRecord&) QUORIX_NOT_SUPPORTED
int32_t BaseProtocol::SetSlaveTrigger() QUORIX_NOT_SUPPORTED

#undef QUORIX_NOT_SUPPORTED

}  // namespace quorix
