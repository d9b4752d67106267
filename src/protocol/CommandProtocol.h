// CommandProtocol: the command set every camera link shares, written once over the
// vocabulary of Commands.h. Each operation becomes one or more exchanges handed to
// Transfer, which a link implements with its own framing (TCP frames, HID reports,
// extension-unit controls); the links override only the operations whose form differs.
// The camera keeps its own settings: nothing is cached here.
#pragma once

#include <cstdint>
#include <memory>
#include <source_location>
#include <string>

#include "protocol/BaseProtocol.h"
#include "protocol/Commands.h"

namespace quorix {

class CommandProtocol : public BaseProtocol {
public:
    ~CommandProtocol() override;

    int32_t StartStream() override;
    int32_t StopStream() override;
    int32_t SetThreshold(uint16_t threshold) override;
    int32_t GetThreshold(uint16_t& threshold) override;
    int32_t SetConfidenceBit(uint8_t bit) override;
    int32_t GetConfidenceBit(uint8_t& bit) override;
    int32_t SetConfidenceWhich(uint8_t which) override;
    int32_t GetConfidenceWhich(uint8_t& which) override;
    int32_t SetTofFrameRate(uint8_t fps) override;
    int32_t GetTofFrameRate(uint8_t& fps) override;
    int32_t SetSlaveModeEnabled(bool enable) override;
    int32_t SetAntiInterferenceEnabled(bool enable) override;
    int32_t SetWDRMode(const WDROutputMode& mode) override;
    int32_t GetWDRMode(WDROutputMode& mode) override;
    int32_t SetMeasuringStatus(uint8_t item, uint8_t onOff) override;
    int32_t GetMeasuringStatus(std::array<bool, 10>& status) override;
    int32_t SetRegVal(const uint16_t* addresses, const uint16_t* values, uint8_t count) override;
    int32_t GetRegVal(const uint16_t* addresses, uint16_t* values, uint8_t count) override;
    int32_t SetIRS2Enable(uint16_t value) override;
    int32_t SetGMMGain(const NsGMMGain& gain) override;
    int32_t SetGMM(const Vector3& gmm) override;
    int32_t GetGMM(GmmBlock& gmm) override;
    int32_t SetMeasuringRange(const NsMeasuringRange& range) override;
    int32_t GetMeasuringRange(NsMeasuringRange& range) override;
    int32_t SetDataMode(uint8_t mode) override;
    int32_t GetDataMode(uint8_t& mode) override;
    int32_t GetDepthMode(uint8_t& mode) override;
    int32_t SetDepthRange(uint32_t range) override;
    int32_t GetDepthRange(uint32_t& range) override;
    int32_t SetPulseCount(const PulseCountRecord& record) override;
    int32_t GetPulseCount(PulseCountBlock& record) override;
    int32_t SetLDEnable(uint16_t value) override;
    int32_t GetLDEnable(uint16_t& value) override;
    int32_t SetISAEnable(uint8_t value) override;
    int32_t GetISAEnable(uint8_t& value) override;
    int32_t SetTALEnable(uint16_t value) override;
    int32_t GetTALEnable(uint16_t& value) override;
    int32_t SetHTP(const HtpBlock& htp) override;
    int32_t GetHTP(HtpBlock& htp) override;
    int32_t SetOffSet(const OffsetRecord& record) override;
    int32_t GetOffSet(OffsetRecord& record) override;
    int32_t SetCameraIntrinsic(uint8_t lens, const Matrix3& intrinsic) override;
    int32_t GetCameraIntrinsic(uint8_t lens, Matrix3& intrinsic) override;
    int32_t SetCameraDistortion(uint8_t lens, const Distortion& distortion) override;
    int32_t GetCameraDistortion(uint8_t lens, Distortion& distortion) override;
    int32_t SetCameraRotation(const Matrix3& rotation) override;
    int32_t GetCameraRotation(Matrix3& rotation) override;
    int32_t SetCameraTransfer(const Vector3& translation) override;
    int32_t GetCameraTransfer(Vector3& translation) override;
    int32_t SetCameraE(const Matrix3& essential) override;
    int32_t GetCameraE(Matrix3& essential) override;
    int32_t SetCameraF(const Matrix3& fundamental) override;
    int32_t GetCameraF(Matrix3& fundamental) override;
    int32_t SetLowPowerModeEnabled(bool enable) override;
    int32_t SetWorkMode(const WorkModeRecord& mode) override;
    int32_t GetWorkMode(WorkModeRecord& mode) override;
    int32_t SetPCBA(const char* text, uint32_t length) override;
    int32_t GetPCBA(char* text, uint32_t capacity) override;
    int32_t SetSN(const char* text, uint32_t length) override;
    int32_t GetSN(char* text, uint32_t capacity) override;
    int32_t GetFWVer(char* text, uint32_t capacity) override;
    int32_t GetHWVer(char* text, uint32_t capacity) override;
    int32_t GetFlashType(char* text, uint32_t capacity) override;
    int32_t SetACCSensitivity(const ImuSensitivity& value) override;
    int32_t GetACCSensitivity(ImuSensitivity& value) override;
    int32_t SetACCOffset(const ImuOffset& value) override;
    int32_t GetACCOffset(ImuOffset& value) override;
    int32_t SetACCOffsetTemp(const ImuOffsetTemp& value) override;
    int32_t GetACCOffsetTemp(ImuOffsetTemp& value) override;
    int32_t SetGyroSensitivity(const ImuSensitivity& value) override;
    int32_t GetGyroSensitivity(ImuSensitivity& value) override;
    int32_t SetGyroOffset(const ImuOffset& value) override;
    int32_t GetGyroOffset(ImuOffset& value) override;
    int32_t SetGyroOffsetTemp(const ImuOffsetTemp& value) override;
    int32_t GetGyroOffsetTemp(ImuOffsetTemp& value) override;
    int32_t SetImuDataMode(int32_t mode) override;
    int32_t ReservedOperation() override;
    int32_t SetLens(const LensRecord& lens) override;
    int32_t GetLens(LensRecord& lens) override;
    int32_t SetPlaneCorrectionParam(uint16_t id, const void* block, uint32_t count) override;
    int32_t GetPlaneCorrectionParam(uint16_t& id, void* block, uint32_t capacity,
                                    uint32_t& count) override;
    int32_t SetProperty(uint32_t id, const void* data, uint32_t length) override;
    int32_t GetProperty(uint32_t id, void* data, uint32_t& length) override;
    int32_t GetUpgradeIsSupported(uint8_t& supported) override;
    int32_t SetToUpgradeMode_P(const char* path) override;
    int32_t SetUpgradeState(const TransferState& state) override;
    int32_t GetUpgradeState(TransferState& state) override;
    int32_t RebootCamera() override;
    int32_t GetJsonIsSupported(uint8_t& supported) override;
    int32_t SetToJsonMode_P() override;
    int32_t SetJsonPath_P(const char* path) override;
    int32_t SetJsonState(const TransferState& state) override;
    int32_t GetJsonState(TransferState& state) override;
    int32_t IsSupportJSONConfig() override;
    int32_t SendCameraParamsEnable(bool enable) override;
    int32_t GetAlias(char* text, uint32_t capacity) override;
    int32_t SetConnectStatus(bool connected) override;
    int32_t SetTestModeState(uint32_t mode, const TestModeRecord& record) override;
    int32_t SetSlaveTrigger() override;

protected:
    using Where = std::source_location;

    struct NoRead {
        int32_t operator()(const cmd::Command&) const { return 0; }
    };

    // The link's exchange: sends the command in its framing and, for a get, copies the reply
    // over its data, setting `received`. 0 or a failure status.
    virtual int32_t Transfer(cmd::Command& command) = 0;
    // The host's address as the camera sees it, for the transfer commands; empty when the
    // link has none.
    virtual std::string HostAddress() { return {}; }

    // One exchange; logs "is failed." under the operation's name when it fails. Sets the
    // command's `received` to the reply bytes that arrived.
    int32_t Exchange(cmd::Command& command, const Where& where);
    // Passes a reader's status on; a reply too short for it is logged under the
    // operation's name.
    static int32_t Checked(int32_t readStatus, const cmd::Command& reply, const Where& where);
    // One exchange; a reply that arrived goes to `read`, whose status is the result.
    template <typename Read = NoRead>
    int32_t Run(cmd::Command command, const Where& where, Read read = {}) {
        const int32_t result = Exchange(command, where);
        return result != 0 ? result : Checked(read(command), command, where);
    }
    // As Run, but only while opened: "device is not opened." and 0 otherwise.
    template <typename Read = NoRead>
    int32_t RunIfOpened(cmd::Command command, const Where& where, Read read = {}) {
        return CheckOpened(where) ? Run(command, where, read) : 0;
    }
    // Two exchanges: the read request (a set), then the fetch (a get).
    int32_t RequestThenFetch(cmd::Command request, cmd::Command& fetch, const Where& where);
    // As RequestThenFetch; the fetched reply goes to `read`, whose status is the result.
    template <typename Read>
    int32_t RequestThenRead(cmd::Command request, cmd::Command fetch, const Where& where,
                            Read read) {
        const int32_t result = RequestThenFetch(request, fetch, where);
        return result != 0 ? result : Checked(read(fetch), fetch, where);
    }
    // False, with "device is not opened." under the operation's name, while closed.
    bool CheckOpened(const Where& where) const;

    int32_t SetValueOf(cmd::Value item, uint32_t value, const Where& where);
    template <typename T>
    int32_t GetValueOf(cmd::Value item, T& value, const Where& where, uint32_t seed = 0);
    int32_t SetParams(cmd::CameraParam param, uint8_t lens, const double* values,
                      const Where& where);
    int32_t GetParams(cmd::CameraParam param, uint8_t lens, double* values, const Where& where);
    int32_t SetTextOf(cmd::Text item, const char* text, uint32_t length, const Where& where);
    int32_t GetTextOf(cmd::Text item, char* text, uint32_t capacity, const Where& where);
    int32_t SetImuOf(cmd::Imu item, const uint8_t* values, const Where& where);
    int32_t GetImuOf(cmd::Imu item, uint8_t* values, const Where& where);

    // Properties that have no interface operation of their own.
    int32_t SetRangeOffset(const RangeOffsetRecord& record);
    int32_t GetRangeOffset(RangeOffsetRecord& record);
    int32_t SetList(cmd::List list, const void* data, uint32_t length);
    int32_t GetList(cmd::List list, void* data, uint32_t& length);
    int32_t SetTalDelay(const TalDelayRecord& record);
    int32_t GetTalDelay(TalDelayRecord& record);
    int32_t SetDspStatus(const DspStatusRecord& status);
    int32_t GetDspStatus(DspStatusRecord& status);
    int32_t GetHeartBeat();
};

}  // namespace quorix
