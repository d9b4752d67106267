// BaseProtocol: one camera's command set behind one interface, whatever the link. A
// session owns one and never sees the link. Every operation returns 0 or a negative
// status; the default body of each logs "Not Support." and returns -255, so a concrete
// class implements only what its camera offers. The virtual operations keep one fixed
// order (the composite USB protocols route by it).
//
// A protocol has no lock of its own: its transport serialises command exchanges, and
// ReadData is called by the session's reader thread only.
#pragma once

#include <atomic>
#include <cstdint>

#include "protocol/ProtocolTypes.h"

namespace quorix {

inline constexpr int32_t kStatusNotSupported = -255;

class BaseProtocol {
public:
    BaseProtocol() = default;
    BaseProtocol(const BaseProtocol&) = delete;
    BaseProtocol& operator=(const BaseProtocol&) = delete;

    /* 0 */ virtual ~BaseProtocol();
    /* 1 */ virtual int32_t OpenDevice();
    /* 2 */ virtual int32_t CloseDevice();
    /* 3 */ virtual int32_t StartStream();
    /* 4 */ virtual int32_t StopStream();
    /* 5 */ virtual int32_t SetThreshold(uint16_t threshold);
    /* 6 */ virtual int32_t GetThreshold(uint16_t& threshold);
    /* 7 */ virtual int32_t SetConfidenceBit(uint8_t bit);
    /* 8 */ virtual int32_t GetConfidenceBit(uint8_t& bit);
    /* 9 */ virtual int32_t SetConfidenceWhich(uint8_t which);
    /* 10 */ virtual int32_t GetConfidenceWhich(uint8_t& which);
    /* 11 */ virtual int32_t SetTofFrameRate(uint8_t fps);
    /* 12 */ virtual int32_t GetTofFrameRate(uint8_t& fps);
    /* 13 */ virtual int32_t SetSlaveModeEnabled(bool enable);
    /* 14 */ virtual int32_t SetAntiInterferenceEnabled(bool enable);
    /* 15 */ virtual int32_t SetWDRMode(const WDROutputMode& mode);
    /* 16 */ virtual int32_t GetWDRMode(WDROutputMode& mode);
    /* 17 */ virtual int32_t SetMeasuringStatus(uint8_t item, uint8_t onOff);
    /* 18 */ virtual int32_t GetMeasuringStatus(std::array<bool, 10>& status);
    // At most 15 registers per call.
    /* 19 */ virtual int32_t SetRegVal(const uint16_t* addresses, const uint16_t* values,
                                       uint8_t count);
    /* 20 */ virtual int32_t GetRegVal(const uint16_t* addresses, uint16_t* values, uint8_t count);
    // Low byte the value, high byte the selector.
    /* 21 */ virtual int32_t SetIRS2Enable(uint16_t value);
    /* 22 */ virtual int32_t SetGMMGain(const NsGMMGain& gain);
    /* 23 */ virtual int32_t SetGMM(const Vector3& gmm);
    /* 24 */ virtual int32_t GetGMM(GmmBlock& gmm);
    /* 25 */ virtual int32_t SetMeasuringRange(const NsMeasuringRange& range);
    // The group in range.depthMode selects what is read.
    /* 26 */ virtual int32_t GetMeasuringRange(NsMeasuringRange& range);
    /* 27 */ virtual int32_t SetDataMode(uint8_t mode);
    /* 28 */ virtual int32_t GetDataMode(uint8_t& mode);
    /* 29 */ virtual int32_t GetDepthMode(uint8_t& mode);
    /* 30 */ virtual int32_t SetDepthRange(uint32_t range);
    /* 31 */ virtual int32_t GetDepthRange(uint32_t& range);
    /* 32 */ virtual int32_t SetPulseCount(const PulseCountRecord& record);
    /* 33 */ virtual int32_t GetPulseCount(PulseCountBlock& record);
    /* 34 */ virtual int32_t SetLDEnable(uint16_t value);
    /* 35 */ virtual int32_t GetLDEnable(uint16_t& value);
    /* 36 */ virtual int32_t SetISAEnable(uint8_t value);
    /* 37 */ virtual int32_t GetISAEnable(uint8_t& value);
    /* 38 */ virtual int32_t SetTALEnable(uint16_t value);
    /* 39 */ virtual int32_t GetTALEnable(uint16_t& value);
    /* 40 */ virtual int32_t SetHTP(const HtpBlock& htp);
    /* 41 */ virtual int32_t GetHTP(HtpBlock& htp);
    /* 42 */ virtual int32_t SetOffSet(const OffsetRecord& record);
    // Bytes 0 and 1 of the record select what is read.
    /* 43 */ virtual int32_t GetOffSet(OffsetRecord& record);
    // Lens 1 depth, 2 colour.
    /* 44 */ virtual int32_t SetCameraIntrinsic(uint8_t lens, const Matrix3& intrinsic);
    /* 45 */ virtual int32_t GetCameraIntrinsic(uint8_t lens, Matrix3& intrinsic);
    /* 46 */ virtual int32_t SetCameraDistortion(uint8_t lens, const Distortion& distortion);
    /* 47 */ virtual int32_t GetCameraDistortion(uint8_t lens, Distortion& distortion);
    /* 48 */ virtual int32_t SetCameraRotation(const Matrix3& rotation);
    /* 49 */ virtual int32_t GetCameraRotation(Matrix3& rotation);
    /* 50 */ virtual int32_t SetCameraTransfer(const Vector3& translation);
    /* 51 */ virtual int32_t GetCameraTransfer(Vector3& translation);
    /* 52 */ virtual int32_t SetCameraE(const Matrix3& essential);
    /* 53 */ virtual int32_t GetCameraE(Matrix3& essential);
    /* 54 */ virtual int32_t SetCameraF(const Matrix3& fundamental);
    /* 55 */ virtual int32_t GetCameraF(Matrix3& fundamental);
    /* 56 */ virtual int32_t SetLowPowerModeEnabled(bool enable);
    /* 57 */ virtual int32_t SetWorkMode(const WorkModeRecord& mode);
    /* 58 */ virtual int32_t GetWorkMode(WorkModeRecord& mode);
    // Texts: `length` bytes are sent; a get writes at most `capacity` bytes, NUL included.
    /* 59 */ virtual int32_t SetPCBA(const char* text, uint32_t length);
    /* 60 */ virtual int32_t GetPCBA(char* text, uint32_t capacity);
    /* 61 */ virtual int32_t SetSN(const char* text, uint32_t length);
    /* 62 */ virtual int32_t GetSN(char* text, uint32_t capacity);
    /* 63 */ virtual int32_t GetFWVer(char* text, uint32_t capacity);
    /* 64 */ virtual int32_t GetHWVer(char* text, uint32_t capacity);
    /* 65 */ virtual int32_t GetFlashType(char* text, uint32_t capacity);
    /* 66 */ virtual int32_t SetACCSensitivity(const ImuSensitivity& value);
    /* 67 */ virtual int32_t GetACCSensitivity(ImuSensitivity& value);
    /* 68 */ virtual int32_t SetACCOffset(const ImuOffset& value);
    /* 69 */ virtual int32_t GetACCOffset(ImuOffset& value);
    /* 70 */ virtual int32_t SetACCOffsetTemp(const ImuOffsetTemp& value);
    /* 71 */ virtual int32_t GetACCOffsetTemp(ImuOffsetTemp& value);
    /* 72 */ virtual int32_t SetGyroSensitivity(const ImuSensitivity& value);
    /* 73 */ virtual int32_t GetGyroSensitivity(ImuSensitivity& value);
    /* 74 */ virtual int32_t SetGyroOffset(const ImuOffset& value);
    /* 75 */ virtual int32_t GetGyroOffset(ImuOffset& value);
    /* 76 */ virtual int32_t SetGyroOffsetTemp(const ImuOffsetTemp& value);
    /* 77 */ virtual int32_t GetGyroOffsetTemp(ImuOffsetTemp& value);
    /* 78 */ virtual int32_t SetImuDataMode(int32_t mode);
    // Kept for the order; nothing calls it.
    /* 79 */ virtual int32_t ReservedOperation();
    /* 80 */ virtual int32_t SetLens(const LensRecord& lens);
    // lens.sensor selects what is read.
    /* 81 */ virtual int32_t GetLens(LensRecord& lens);
    // `count` is the block's size in 4-byte units.
    /* 82 */ virtual int32_t SetPlaneCorrectionParam(uint16_t id, const void* block,
                                                     uint32_t count);
    // `capacity` and `count` in 4-byte units: the block holds capacity x 4 bytes.
    /* 83 */ virtual int32_t GetPlaneCorrectionParam(uint16_t& id, void* block, uint32_t capacity,
                                                     uint32_t& count);
    // `length`: the buffer's capacity in, the frame's length out (0 without a frame).
    /* 84 */ virtual int32_t ReadData(uint8_t* buffer, uint32_t& length);
    /* 85 */ virtual int32_t SetRgbExplosureTimeAndGain(float exposure, float gain);
    /* 86 */ virtual int32_t GetRgbExplosureTimeAndGain(float& exposure, float& gain);
    /* 87 */ virtual int32_t SetRgbAecEnabled(bool enable);
    /* 88 */ virtual int32_t SetRgbMirrorEnable(bool enable);
    /* 89 */ virtual int32_t SetRgbRotationEnable(bool enable);
    /* 90 */ virtual int32_t SetProperty(uint32_t id, const void* data, uint32_t length);
    // `length`: what `data` holds in, what was delivered out.
    /* 91 */ virtual int32_t GetProperty(uint32_t id, void* data, uint32_t& length);
    /* 92 */ virtual int32_t GetUpgradeIsSupported(uint8_t& supported);
    /* 93 */ virtual int32_t SetToUpgradeMode_P(const char* path);
    /* 94 */ virtual int32_t SetUpgradeState(const TransferState& state);
    /* 95 */ virtual int32_t GetUpgradeState(TransferState& state);
    /* 96 */ virtual int32_t RebootCamera();
    /* 97 */ virtual int32_t GetJsonIsSupported(uint8_t& supported);
    /* 98 */ virtual int32_t SetToJsonMode_P();
    /* 99 */ virtual int32_t SetJsonPath_P(const char* path);
    /* 100 */ virtual int32_t SetJsonState(const TransferState& state);
    /* 101 */ virtual int32_t GetJsonState(TransferState& state);
    // 0 when the camera takes a JSON configuration, else -1.
    /* 102 */ virtual int32_t IsSupportJSONConfig();
    /* 103 */ virtual int32_t SendCameraParamsEnable(bool enable);
    /* 104 */ virtual int32_t GetAlias(char* text, uint32_t capacity);
    /* 105 */ virtual int32_t SetWDRGMMGain(const void* record, uint32_t length);
    /* 106 */ virtual int32_t GetWDRGMMGain(void* record, uint32_t length);
    /* 107 */ virtual int32_t SetWDRThreshold(const void* record, uint32_t length);
    /* 108 */ virtual int32_t GetWDRThreshold(void* record, uint32_t length);
    /* 109 */ virtual int32_t SetConnectStatus(bool connected);
    /* 110 */ virtual int32_t SetTestModeState(uint32_t mode, const TestModeRecord& record);
    /* 111 */ virtual int32_t SetSlaveTrigger();

    bool IsOpened() const { return m_opened.load(std::memory_order_acquire); }

protected:
    // Set by a successful OpenDevice, cleared by CloseDevice; read from any thread.
    std::atomic<bool> m_opened{false};
};

}  // namespace quorix
