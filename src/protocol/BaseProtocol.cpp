// The "Not Support." defaults of every protocol operation, and the protocols' log helpers.
#include "protocol/BaseProtocol.h"

#include <cstdarg>
#include <cstdio>

#include "config/Log.h"
#include "protocol/ProtocolLog.h"

namespace quorix {

void LogAt(const std::source_location& where, const char* text) {
    const log::detail::FunctionName name(where.function_name());
    log::Write("[%s:%d:%s]:%s", log::detail::BaseName(where.file_name()),
               static_cast<int>(where.line()), name.c_str(), text);
}

void LogAtf(const std::source_location& where, const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    LogAt(where, text);
}

namespace {

// Logs under the calling operation's qualified name, so the log says what was missing.
int32_t NotSupported(const std::source_location& where = std::source_location::current()) {
    LogAt(where, "Not Support.\n");
    return kStatusNotSupported;
}

}  // namespace

BaseProtocol::~BaseProtocol() = default;

// clang-format off
int32_t BaseProtocol::OpenDevice() { return NotSupported(); }
int32_t BaseProtocol::CloseDevice() { return NotSupported(); }
int32_t BaseProtocol::StartStream() { return NotSupported(); }
int32_t BaseProtocol::StopStream() { return NotSupported(); }
int32_t BaseProtocol::SetThreshold(uint16_t) { return NotSupported(); }
int32_t BaseProtocol::GetThreshold(uint16_t&) { return NotSupported(); }
int32_t BaseProtocol::SetConfidenceBit(uint8_t) { return NotSupported(); }
int32_t BaseProtocol::GetConfidenceBit(uint8_t&) { return NotSupported(); }
int32_t BaseProtocol::SetConfidenceWhich(uint8_t) { return NotSupported(); }
int32_t BaseProtocol::GetConfidenceWhich(uint8_t&) { return NotSupported(); }
int32_t BaseProtocol::SetTofFrameRate(uint8_t) { return NotSupported(); }
int32_t BaseProtocol::GetTofFrameRate(uint8_t&) { return NotSupported(); }
int32_t BaseProtocol::SetSlaveModeEnabled(bool) { return NotSupported(); }
int32_t BaseProtocol::SetAntiInterferenceEnabled(bool) { return NotSupported(); }
int32_t BaseProtocol::SetWDRMode(const WDROutputMode&) { return NotSupported(); }
int32_t BaseProtocol::GetWDRMode(WDROutputMode&) { return NotSupported(); }
int32_t BaseProtocol::SetMeasuringStatus(uint8_t, uint8_t) { return NotSupported(); }
int32_t BaseProtocol::GetMeasuringStatus(std::array<bool, 10>&) { return NotSupported(); }
int32_t BaseProtocol::SetRegVal(const uint16_t*, const uint16_t*, uint8_t) { return NotSupported(); }
int32_t BaseProtocol::GetRegVal(const uint16_t*, uint16_t*, uint8_t) { return NotSupported(); }
int32_t BaseProtocol::SetIRS2Enable(uint16_t) { return NotSupported(); }
int32_t BaseProtocol::SetGMMGain(const NsGMMGain&) { return NotSupported(); }
int32_t BaseProtocol::SetGMM(const Vector3&) { return NotSupported(); }
int32_t BaseProtocol::GetGMM(GmmBlock&) { return NotSupported(); }
int32_t BaseProtocol::SetMeasuringRange(const NsMeasuringRange&) { return NotSupported(); }
int32_t BaseProtocol::GetMeasuringRange(NsMeasuringRange&) { return NotSupported(); }
int32_t BaseProtocol::SetDataMode(uint8_t) { return NotSupported(); }
int32_t BaseProtocol::GetDataMode(uint8_t&) { return NotSupported(); }
int32_t BaseProtocol::GetDepthMode(uint8_t&) { return NotSupported(); }
int32_t BaseProtocol::SetDepthRange(uint32_t) { return NotSupported(); }
int32_t BaseProtocol::GetDepthRange(uint32_t&) { return NotSupported(); }
int32_t BaseProtocol::SetPulseCount(const PulseCountRecord&) { return NotSupported(); }
int32_t BaseProtocol::GetPulseCount(PulseCountBlock&) { return NotSupported(); }
int32_t BaseProtocol::SetLDEnable(uint16_t) { return NotSupported(); }
int32_t BaseProtocol::GetLDEnable(uint16_t&) { return NotSupported(); }
int32_t BaseProtocol::SetISAEnable(uint8_t) { return NotSupported(); }
int32_t BaseProtocol::GetISAEnable(uint8_t&) { return NotSupported(); }
int32_t BaseProtocol::SetTALEnable(uint16_t) { return NotSupported(); }
int32_t BaseProtocol::GetTALEnable(uint16_t&) { return NotSupported(); }
int32_t BaseProtocol::SetHTP(const HtpBlock&) { return NotSupported(); }
int32_t BaseProtocol::GetHTP(HtpBlock&) { return NotSupported(); }
int32_t BaseProtocol::SetOffSet(const OffsetRecord&) { return NotSupported(); }
int32_t BaseProtocol::GetOffSet(OffsetRecord&) { return NotSupported(); }
int32_t BaseProtocol::SetCameraIntrinsic(uint8_t, const Matrix3&) { return NotSupported(); }
int32_t BaseProtocol::GetCameraIntrinsic(uint8_t, Matrix3&) { return NotSupported(); }
int32_t BaseProtocol::SetCameraDistortion(uint8_t, const Distortion&) { return NotSupported(); }
int32_t BaseProtocol::GetCameraDistortion(uint8_t, Distortion&) { return NotSupported(); }
int32_t BaseProtocol::SetCameraRotation(const Matrix3&) { return NotSupported(); }
int32_t BaseProtocol::GetCameraRotation(Matrix3&) { return NotSupported(); }
int32_t BaseProtocol::SetCameraTransfer(const Vector3&) { return NotSupported(); }
int32_t BaseProtocol::GetCameraTransfer(Vector3&) { return NotSupported(); }
int32_t BaseProtocol::SetCameraE(const Matrix3&) { return NotSupported(); }
int32_t BaseProtocol::GetCameraE(Matrix3&) { return NotSupported(); }
int32_t BaseProtocol::SetCameraF(const Matrix3&) { return NotSupported(); }
int32_t BaseProtocol::GetCameraF(Matrix3&) { return NotSupported(); }
int32_t BaseProtocol::SetLowPowerModeEnabled(bool) { return NotSupported(); }
int32_t BaseProtocol::SetWorkMode(const WorkModeRecord&) { return NotSupported(); }
int32_t BaseProtocol::GetWorkMode(WorkModeRecord&) { return NotSupported(); }
int32_t BaseProtocol::SetPCBA(const char*, uint32_t) { return NotSupported(); }
int32_t BaseProtocol::GetPCBA(char*, uint32_t) { return NotSupported(); }
int32_t BaseProtocol::SetSN(const char*, uint32_t) { return NotSupported(); }
int32_t BaseProtocol::GetSN(char*, uint32_t) { return NotSupported(); }
int32_t BaseProtocol::GetFWVer(char*, uint32_t) { return NotSupported(); }
int32_t BaseProtocol::GetHWVer(char*, uint32_t) { return NotSupported(); }
int32_t BaseProtocol::GetFlashType(char*, uint32_t) { return NotSupported(); }
int32_t BaseProtocol::SetACCSensitivity(const ImuSensitivity&) { return NotSupported(); }
int32_t BaseProtocol::GetACCSensitivity(ImuSensitivity&) { return NotSupported(); }
int32_t BaseProtocol::SetACCOffset(const ImuOffset&) { return NotSupported(); }
int32_t BaseProtocol::GetACCOffset(ImuOffset&) { return NotSupported(); }
int32_t BaseProtocol::SetACCOffsetTemp(const ImuOffsetTemp&) { return NotSupported(); }
int32_t BaseProtocol::GetACCOffsetTemp(ImuOffsetTemp&) { return NotSupported(); }
int32_t BaseProtocol::SetGyroSensitivity(const ImuSensitivity&) { return NotSupported(); }
int32_t BaseProtocol::GetGyroSensitivity(ImuSensitivity&) { return NotSupported(); }
int32_t BaseProtocol::SetGyroOffset(const ImuOffset&) { return NotSupported(); }
int32_t BaseProtocol::GetGyroOffset(ImuOffset&) { return NotSupported(); }
int32_t BaseProtocol::SetGyroOffsetTemp(const ImuOffsetTemp&) { return NotSupported(); }
int32_t BaseProtocol::GetGyroOffsetTemp(ImuOffsetTemp&) { return NotSupported(); }
int32_t BaseProtocol::SetImuDataMode(int32_t) { return NotSupported(); }
int32_t BaseProtocol::ReservedOperation() { return NotSupported(); }
int32_t BaseProtocol::SetLens(const LensRecord&) { return NotSupported(); }
int32_t BaseProtocol::GetLens(LensRecord&) { return NotSupported(); }
int32_t BaseProtocol::SetPlaneCorrectionParam(uint16_t, const void*, uint32_t) { return NotSupported(); }
int32_t BaseProtocol::GetPlaneCorrectionParam(uint16_t&, void*, uint32_t, uint32_t&) { return NotSupported(); }
int32_t BaseProtocol::ReadData(uint8_t*, uint32_t&) { return NotSupported(); }
int32_t BaseProtocol::SetRgbExplosureTimeAndGain(float, float) { return NotSupported(); }
int32_t BaseProtocol::GetRgbExplosureTimeAndGain(float&, float&) { return NotSupported(); }
int32_t BaseProtocol::SetRgbAecEnabled(bool) { return NotSupported(); }
int32_t BaseProtocol::SetRgbMirrorEnable(bool) { return NotSupported(); }
int32_t BaseProtocol::SetRgbRotationEnable(bool) { return NotSupported(); }
int32_t BaseProtocol::SetProperty(uint32_t, const void*, uint32_t) { return NotSupported(); }
int32_t BaseProtocol::GetProperty(uint32_t, void*, uint32_t&) { return NotSupported(); }
int32_t BaseProtocol::GetUpgradeIsSupported(uint8_t&) { return NotSupported(); }
int32_t BaseProtocol::SetToUpgradeMode_P(const char*) { return NotSupported(); }
int32_t BaseProtocol::SetUpgradeState(const TransferState&) { return NotSupported(); }
int32_t BaseProtocol::GetUpgradeState(TransferState&) { return NotSupported(); }
int32_t BaseProtocol::RebootCamera() { return NotSupported(); }
int32_t BaseProtocol::GetJsonIsSupported(uint8_t&) { return NotSupported(); }
int32_t BaseProtocol::SetToJsonMode_P() { return NotSupported(); }
int32_t BaseProtocol::SetJsonPath_P(const char*) { return NotSupported(); }
int32_t BaseProtocol::SetJsonState(const TransferState&) { return NotSupported(); }
int32_t BaseProtocol::GetJsonState(TransferState&) { return NotSupported(); }
int32_t BaseProtocol::IsSupportJSONConfig() { return NotSupported(); }
int32_t BaseProtocol::SendCameraParamsEnable(bool) { return NotSupported(); }
int32_t BaseProtocol::GetAlias(char*, uint32_t) { return NotSupported(); }
int32_t BaseProtocol::SetWDRGMMGain(const void*, uint32_t) { return NotSupported(); }
int32_t BaseProtocol::GetWDRGMMGain(void*, uint32_t) { return NotSupported(); }
int32_t BaseProtocol::SetWDRThreshold(const void*, uint32_t) { return NotSupported(); }
int32_t BaseProtocol::GetWDRThreshold(void*, uint32_t) { return NotSupported(); }
int32_t BaseProtocol::SetConnectStatus(bool) { return NotSupported(); }
int32_t BaseProtocol::SetTestModeState(uint32_t, const TestModeRecord&) { return NotSupported(); }
int32_t BaseProtocol::SetSlaveTrigger() { return NotSupported(); }
// clang-format on

}  // namespace quorix
