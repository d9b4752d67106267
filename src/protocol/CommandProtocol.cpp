// The command set every camera link shares.
#include "protocol/CommandProtocol.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "log/Log.h"
#include "protocol/ProtocolLog.h"

namespace quorix {
namespace {

using cmd::Command;
using cmd::Direction;

constexpr auto kWorkModeSettle = std::chrono::milliseconds(100);

void LogRange(const std::source_location& where, const char* label, const NsMeasuringRange& r) {
    LogAtf(log::Level::kInfo, where,
           "mode:%d %s:(%d, %d, %d) near:(%d, %d) mid:(%d, %d) far:(%d, %d)\n", r.depthMode, label,
           r.depthMaxNear, r.depthMaxMid, r.depthMaxFar, r.effectDepthMaxNear, r.effectDepthMaxMid,
           r.effectDepthMaxFar, r.effectDepthMinNear, r.effectDepthMinMid, r.effectDepthMinFar);
}

void LogNine(const std::source_location& where, const char* label, const double* v) {
    LogAtf(log::Level::kInfo, where, "%s%8.6f %8.6f %8.6f\t%8.6f %8.6f %8.6f\t%8.6f %8.6f %8.6f\n",
           label, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
}

template <typename Record>
bool CopyIn(Record& record, const void* data, uint32_t length) {
    if (data == nullptr || length < sizeof record) {
        return false;
    }
    memcpy(&record, data, sizeof record);
    return true;
}

}  // namespace

CommandProtocol::~CommandProtocol() = default;

// --- Helpers ---

int32_t CommandProtocol::Exchange(Command& command, const Where& where) {
    command.received = 0;
    const int32_t result = Transfer(command);
    command.received = std::min(command.received, command.replyCapacity);
    if (result != 0) {
        LogAt(where, "is failed.\n", log::Level::kError);
    }
    return result;
}

int32_t CommandProtocol::Checked(int32_t readStatus, const Command& reply, const Where& where) {
    if (readStatus == kStatusTransferError) {
        LogAtf(log::Level::kError, where, "reply of %u bytes is too short.\n",
               static_cast<unsigned>(reply.received));
    }
    return readStatus;
}

int32_t CommandProtocol::RequestThenFetch(Command request, Command& fetch, const Where& where) {
    const int32_t result = Exchange(request, where);
    return result != 0 ? result : Exchange(fetch, where);
}

bool CommandProtocol::CheckOpened(const Where& where) const {
    if (!IsOpened()) {
        LogAt(where, "device is not opened.\n", log::Level::kWarning);
        return false;
    }
    return true;
}

int32_t CommandProtocol::SetValueOf(cmd::Value item, uint32_t value, const Where& where) {
    if (!CheckOpened(where)) {
        return 0;
    }
    Command command;
    if (cmd::SetValue(item, value, command) != 0) {
        LogAt(where, "value is out of range.\n", log::Level::kWarning);
        return kStatusBadParameter;
    }
    return Exchange(command, where);
}

template <typename T>
int32_t CommandProtocol::GetValueOf(cmd::Value item, T& value, const Where& where, uint32_t seed) {
    if (!CheckOpened(where)) {
        return 0;
    }
    uint32_t read = 0;
    const int32_t result = Run(cmd::GetValue(item, seed), where, [&](const Command& reply) {
        return cmd::ReadValue(item, reply, read);
    });
    if (result == 0) {
        value = static_cast<T>(read);
    }
    return result;
}

int32_t CommandProtocol::SetParams(cmd::CameraParam param, uint8_t lens, const double* values,
                                   const Where& where) {
    const auto frames = cmd::ParamFrames(param, lens);
    if (frames.empty()) {
        QLOG_WARN("lens:%d is invalid.\n", lens);
        return 0;
    }
    for (const cmd::ParamFrame& frame : frames) {
        Command command = cmd::SetParamFrame(frame, values);
        if (const int32_t result = Exchange(command, where); result != 0) {
            return result;
        }
    }
    return 0;
}

int32_t CommandProtocol::GetParams(cmd::CameraParam param, uint8_t lens, double* values,
                                   const Where& where) {
    const auto frames = cmd::ParamFrames(param, lens);
    if (frames.empty()) {
        QLOG_WARN("lens:%d is invalid.\n", lens);
        return 0;
    }
    // The caller's values change only when every frame arrived.
    double read[9] = {};
    for (const cmd::ParamFrame& frame : frames) {
        const int32_t result = Run(cmd::GetParamFrame(frame), where, [&](const Command& reply) {
            return cmd::ReadParamFrame(reply, frame, read);
        });
        if (result != 0) {
            return result;
        }
    }
    memcpy(values, read, cmd::ParamCount(param) * sizeof(double));
    return 0;
}

int32_t CommandProtocol::SetTextOf(cmd::Text item, const char* text, uint32_t length,
                                   const Where& where) {
    Command command;
    if (const int32_t refused = cmd::SetText(item, text, length, command); refused != 0) {
        LogAt(where, "text does not fit a request.\n", log::Level::kWarning);
        return refused;
    }
    return Exchange(command, where);
}

int32_t CommandProtocol::GetTextOf(cmd::Text item, char* text, uint32_t capacity,
                                   const Where& where) {
    if (text == nullptr || capacity == 0) {
        LogAt(where, "text buffer is empty.\n", log::Level::kWarning);
        return kStatusBadParameter;
    }
    return Run(cmd::GetText(item, capacity), where, [&](const Command& reply) {
        cmd::ReadText(reply, text, capacity);
        return 0;
    });
}

int32_t CommandProtocol::SetImuOf(cmd::Imu item, const uint8_t* values, const Where& where) {
    Command command = cmd::SetImu(item, values);
    return Exchange(command, where);
}

int32_t CommandProtocol::GetImuOf(cmd::Imu item, uint8_t* values, const Where& where) {
    return RequestThenRead(cmd::ImuReadRequest(item), cmd::ImuFetch(item), where,
                           [&](const Command& reply) { return cmd::ReadImu(reply, item, values); });
}

// --- Lifecycle and streaming ---

int32_t CommandProtocol::StartStream() {
    if (!CheckOpened(Where::current())) {
        return kStatusNotOpened;
    }
    return Run(cmd::StreamControl(true), Where::current());
}

int32_t CommandProtocol::StopStream() {
    if (!CheckOpened(Where::current())) {
        return kStatusNotOpened;
    }
    return Run(cmd::StreamControl(false), Where::current());
}

int32_t CommandProtocol::SetConnectStatus(bool) {
    return 0;
}

int32_t CommandProtocol::ReservedOperation() {
    return 0;
}

// --- Single values ---

int32_t CommandProtocol::SetThreshold(uint16_t threshold) {
    QLOG("%d\n", threshold);
    return SetValueOf(cmd::Value::Threshold, threshold, Where::current());
}

int32_t CommandProtocol::GetThreshold(uint16_t& threshold) {
    return GetValueOf(cmd::Value::Threshold, threshold, Where::current());
}

int32_t CommandProtocol::SetConfidenceBit(uint8_t bit) {
    return SetValueOf(cmd::Value::ConfidenceBit, bit, Where::current());
}

int32_t CommandProtocol::GetConfidenceBit(uint8_t& bit) {
    return GetValueOf(cmd::Value::ConfidenceBit, bit, Where::current());
}

int32_t CommandProtocol::SetConfidenceWhich(uint8_t which) {
    return SetValueOf(cmd::Value::ConfidenceWhich, which, Where::current());
}

int32_t CommandProtocol::GetConfidenceWhich(uint8_t& which) {
    return GetValueOf(cmd::Value::ConfidenceWhich, which, Where::current());
}

// The frame rate is not among the checked operations: on a closed camera the exchange
// itself fails.
int32_t CommandProtocol::SetTofFrameRate(uint8_t fps) {
    Command command;
    cmd::SetValue(cmd::Value::TofFrameRate, fps, command);
    return Exchange(command, Where::current());
}

int32_t CommandProtocol::GetTofFrameRate(uint8_t& fps) {
    uint32_t read = 0;
    const int32_t result =
        Run(cmd::GetValue(cmd::Value::TofFrameRate), Where::current(), [&](const Command& reply) {
            return cmd::ReadValue(cmd::Value::TofFrameRate, reply, read);
        });
    if (result == 0) {
        fps = static_cast<uint8_t>(read);
    }
    return result;
}

int32_t CommandProtocol::SetSlaveModeEnabled(bool enable) {
    return SetValueOf(cmd::Value::SlaveMode, enable ? 1 : 0, Where::current());
}

int32_t CommandProtocol::SetAntiInterferenceEnabled(bool enable) {
    return SetValueOf(cmd::Value::AntiInterference, enable ? 1 : 0, Where::current());
}

int32_t CommandProtocol::SetDataMode(uint8_t mode) {
    QLOG("%d\n", mode);
    return RunIfOpened(cmd::SetDataMode(mode), Where::current());
}

int32_t CommandProtocol::GetDataMode(uint8_t& mode) {
    const int32_t result = GetValueOf(cmd::Value::DataMode, mode, Where::current());
    if (result == 0 && IsOpened()) {
        QLOG(" %d\n", mode);
    }
    return result;
}

int32_t CommandProtocol::GetDepthMode(uint8_t& mode) {
    QLOG("%d\n", mode);
    return GetValueOf(cmd::Value::DepthMode, mode, Where::current(), mode);
}

int32_t CommandProtocol::SetDepthRange(uint32_t range) {
    QLOG("%d\n", static_cast<int>(range));
    return SetValueOf(cmd::Value::DepthRange, range, Where::current());
}

int32_t CommandProtocol::GetDepthRange(uint32_t& range) {
    QLOG("%d\n", static_cast<int>(range));
    return GetValueOf(cmd::Value::DepthRange, range, Where::current());
}

int32_t CommandProtocol::SetLDEnable(uint16_t value) {
    return SetValueOf(cmd::Value::LDEnable, value, Where::current());
}

int32_t CommandProtocol::GetLDEnable(uint16_t& value) {
    return GetValueOf(cmd::Value::LDEnable, value, Where::current());
}

int32_t CommandProtocol::SetISAEnable(uint8_t value) {
    return SetValueOf(cmd::Value::ISAEnable, value, Where::current());
}

int32_t CommandProtocol::GetISAEnable(uint8_t& value) {
    return GetValueOf(cmd::Value::ISAEnable, value, Where::current());
}

int32_t CommandProtocol::SetTALEnable(uint16_t value) {
    return SetValueOf(cmd::Value::TALEnable, value, Where::current());
}

int32_t CommandProtocol::GetTALEnable(uint16_t& value) {
    return GetValueOf(cmd::Value::TALEnable, value, Where::current());
}

int32_t CommandProtocol::SetImuDataMode(int32_t mode) {
    Command command;
    cmd::SetValue(cmd::Value::ImuDataMode, static_cast<uint8_t>(mode), command);
    return Exchange(command, Where::current());
}

// --- Records of group 0x02 ---

int32_t CommandProtocol::SetWDRMode(const WDROutputMode& mode) {
    return RunIfOpened(cmd::SetWDRMode(mode), Where::current());
}

int32_t CommandProtocol::GetWDRMode(WDROutputMode& mode) {
    return RunIfOpened(cmd::GetWDRMode(), Where::current(),
                       [&](const Command& reply) { return cmd::ReadWDRMode(reply, mode); });
}

int32_t CommandProtocol::SetMeasuringStatus(uint8_t item, uint8_t onOff) {
    if (!CheckOpened(Where::current())) {
        return 0;
    }
    if (onOff >= 2) {
        QLOG("SetMeasuringStatus para wrong\n");
    }
    return Run(cmd::SetMeasuringStatus(item, onOff), Where::current());
}

int32_t CommandProtocol::GetMeasuringStatus(std::array<bool, 10>& status) {
    return RunIfOpened(cmd::GetMeasuringStatus(), Where::current(), [&](const Command& reply) {
        return cmd::ReadMeasuringStatus(reply, status);
    });
}

// --- Registers ---

int32_t CommandProtocol::SetRegVal(const uint16_t* addresses, const uint16_t* values,
                                   uint8_t count) {
    if (!CheckOpened(Where::current())) {
        return 0;
    }
    if (count > cmd::kMaxRegisters || (count > 0 && (addresses == nullptr || values == nullptr))) {
        QLOG_WARN("count:%d is invalid.\n", count);
        return kStatusBadParameter;
    }
    return Run(cmd::SetRegisters(addresses, values, count), Where::current());
}

int32_t CommandProtocol::GetRegVal(const uint16_t* addresses, uint16_t* values, uint8_t count) {
    if (!CheckOpened(Where::current())) {
        return 0;
    }
    if (count > cmd::kMaxRegisters || (count > 0 && (addresses == nullptr || values == nullptr))) {
        QLOG_WARN("count:%d is invalid.\n", count);
        return kStatusBadParameter;
    }
    return RequestThenRead(
        cmd::ReadRegisters(addresses, count, Direction::Set),
        cmd::ReadRegisters(addresses, count, Direction::Get), Where::current(),
        [&](const Command& reply) { return cmd::ReadRegisterValues(reply, values, count); });
}

// --- GMM ---

int32_t CommandProtocol::SetIRS2Enable(uint16_t value) {
    return Run(cmd::SetIRS2Enable(value), Where::current());
}

int32_t CommandProtocol::SetGMMGain(const NsGMMGain& gain) {
    QLOG("%d\n", gain.gain);
    return RunIfOpened(cmd::SetGMMGain(gain), Where::current());
}

int32_t CommandProtocol::SetGMM(const Vector3& gmm) {
    return RunIfOpened(cmd::SetGMM(gmm), Where::current());
}

int32_t CommandProtocol::GetGMM(GmmBlock& gmm) {
    return RunIfOpened(cmd::GetGMM(gmm), Where::current(),
                       [&](const Command& reply) { return cmd::ReadGMM(reply, gmm); });
}

// --- Measuring range, pulse count, blocks ---

int32_t CommandProtocol::SetMeasuringRange(const NsMeasuringRange& range) {
    LogRange(Where::current(), "depthMax", range);
    return Run(cmd::SetMeasuringRange(range), Where::current());
}

int32_t CommandProtocol::GetMeasuringRange(NsMeasuringRange& range) {
    const int32_t result =
        Run(cmd::GetMeasuringRange(range.depthMode), Where::current(),
            [&](const Command& reply) { return cmd::ReadMeasuringRange(reply, range); });
    if (result == 0) {
        LogRange(Where::current(), "depthMax", range);
    }
    return result;
}

int32_t CommandProtocol::SetPulseCount(const PulseCountRecord& record) {
    QLOG("%d\n", record.pulseCount);
    return RunIfOpened(cmd::SetPulseCount(record), Where::current());
}

int32_t CommandProtocol::GetPulseCount(PulseCountBlock& record) {
    return RunIfOpened(cmd::GetPulseCount(), Where::current(),
                       [&](const Command& reply) { return cmd::ReadPulseCount(reply, record); });
}

int32_t CommandProtocol::SetHTP(const HtpBlock& htp) {
    return RunIfOpened(cmd::SetHTP(htp), Where::current());
}

int32_t CommandProtocol::GetHTP(HtpBlock& htp) {
    return RunIfOpened(cmd::GetHTP(htp), Where::current(),
                       [&](const Command& reply) { return cmd::ReadHTP(reply, htp); });
}

int32_t CommandProtocol::SetOffSet(const OffsetRecord& record) {
    if (!CheckOpened(Where::current())) {
        return 0;
    }
    for (uint8_t k = 0; k < 2; ++k) {
        Command command = cmd::SetOffSetFrame(record, k);
        if (const int32_t result = Exchange(command, Where::current()); result != 0) {
            return result;
        }
    }
    return 0;
}

int32_t CommandProtocol::GetOffSet(OffsetRecord& record) {
    OffsetRecord read = record;
    for (uint8_t k = 0; k < 2; ++k) {
        const int32_t result =
            Run(cmd::GetOffSetFrame(record, k), Where::current(),
                [&](const Command& reply) { return cmd::ReadOffSetFrame(reply, k, read); });
        if (result != 0) {
            return result;
        }
    }
    record = read;
    return 0;
}

// --- Camera parameters ---

int32_t CommandProtocol::SetCameraIntrinsic(uint8_t lens, const Matrix3& intrinsic) {
    char label[16];
    snprintf(label, sizeof label, "lens:%d ", lens);
    LogNine(Where::current(), label, intrinsic.data());
    return SetParams(cmd::CameraParam::Intrinsic, lens, intrinsic.data(), Where::current());
}

int32_t CommandProtocol::GetCameraIntrinsic(uint8_t lens, Matrix3& intrinsic) {
    const int32_t result =
        GetParams(cmd::CameraParam::Intrinsic, lens, intrinsic.data(), Where::current());
    if (result == 0) {
        char label[16];
        snprintf(label, sizeof label, "lens:%d ", lens);
        LogNine(Where::current(), label, intrinsic.data());
    }
    return result;
}

int32_t CommandProtocol::SetCameraDistortion(uint8_t lens, const Distortion& distortion) {
    return SetParams(cmd::CameraParam::Distortion, lens, distortion.data(), Where::current());
}

int32_t CommandProtocol::GetCameraDistortion(uint8_t lens, Distortion& distortion) {
    return GetParams(cmd::CameraParam::Distortion, lens, distortion.data(), Where::current());
}

int32_t CommandProtocol::SetCameraRotation(const Matrix3& rotation) {
    LogNine(Where::current(), "", rotation.data());
    return SetParams(cmd::CameraParam::Rotation, 1, rotation.data(), Where::current());
}

int32_t CommandProtocol::GetCameraRotation(Matrix3& rotation) {
    const int32_t result =
        GetParams(cmd::CameraParam::Rotation, 1, rotation.data(), Where::current());
    if (result == 0) {
        LogNine(Where::current(), "", rotation.data());
    }
    return result;
}

int32_t CommandProtocol::SetCameraTransfer(const Vector3& translation) {
    QLOG("Transfer:%08.6f %08.6f %08.6f\n", translation[0], translation[1], translation[2]);
    return SetParams(cmd::CameraParam::Transfer, 1, translation.data(), Where::current());
}

int32_t CommandProtocol::GetCameraTransfer(Vector3& translation) {
    const int32_t result =
        GetParams(cmd::CameraParam::Transfer, 1, translation.data(), Where::current());
    if (result == 0) {
        QLOG("Transfer:%08.6f %08.6f %08.6f\n", translation[0], translation[1], translation[2]);
    }
    return result;
}

int32_t CommandProtocol::SetCameraE(const Matrix3& essential) {
    LogNine(Where::current(), "", essential.data());
    return SetParams(cmd::CameraParam::Essential, 1, essential.data(), Where::current());
}

int32_t CommandProtocol::GetCameraE(Matrix3& essential) {
    const int32_t result =
        GetParams(cmd::CameraParam::Essential, 1, essential.data(), Where::current());
    if (result == 0) {
        LogNine(Where::current(), "", essential.data());
    }
    return result;
}

int32_t CommandProtocol::SetCameraF(const Matrix3& fundamental) {
    LogNine(Where::current(), "", fundamental.data());
    return SetParams(cmd::CameraParam::Fundamental, 1, fundamental.data(), Where::current());
}

int32_t CommandProtocol::GetCameraF(Matrix3& fundamental) {
    const int32_t result =
        GetParams(cmd::CameraParam::Fundamental, 1, fundamental.data(), Where::current());
    if (result == 0) {
        LogNine(Where::current(), "", fundamental.data());
    }
    return result;
}

// --- Work mode ---

int32_t CommandProtocol::SetLowPowerModeEnabled(bool enable) {
    WorkModeRecord mode;
    if (const int32_t result = GetWorkMode(mode); result != 0) {
        return result;
    }
    std::this_thread::sleep_for(kWorkModeSettle);
    mode.mode = cmd::kLowPowerWorkMode;
    mode.flags[1] = enable ? 0 : 1;
    mode.flags[2] = enable ? 0 : 1;
    return SetWorkMode(mode);
}

int32_t CommandProtocol::SetWorkMode(const WorkModeRecord& mode) {
    return Run(cmd::SetWorkMode(mode), Where::current());
}

int32_t CommandProtocol::GetWorkMode(WorkModeRecord& mode) {
    return Run(cmd::GetWorkMode(mode), Where::current(),
               [&](const Command& reply) { return cmd::ReadWorkMode(reply, mode); });
}

int32_t CommandProtocol::RebootCamera() {
    return Run(cmd::RebootCamera(), Where::current());
}

// --- Texts ---

int32_t CommandProtocol::SetPCBA(const char* text, uint32_t length) {
    return SetTextOf(cmd::Text::PCBA, text, length, Where::current());
}

int32_t CommandProtocol::GetPCBA(char* text, uint32_t capacity) {
    return GetTextOf(cmd::Text::PCBA, text, capacity, Where::current());
}

int32_t CommandProtocol::SetSN(const char* text, uint32_t length) {
    return SetTextOf(cmd::Text::SN, text, length, Where::current());
}

int32_t CommandProtocol::GetSN(char* text, uint32_t capacity) {
    const int32_t result = GetTextOf(cmd::Text::SN, text, capacity, Where::current());
    if (result == 0) {
        QLOG("sn:%s.\n", text);
    }
    return result;
}

int32_t CommandProtocol::GetFWVer(char* text, uint32_t capacity) {
    const int32_t result = GetTextOf(cmd::Text::FWVer, text, capacity, Where::current());
    if (result == 0) {
        QLOG("fwVer:%s\n", text);
    }
    return result;
}

int32_t CommandProtocol::GetHWVer(char* text, uint32_t capacity) {
    return GetTextOf(cmd::Text::HWVer, text, capacity, Where::current());
}

int32_t CommandProtocol::GetFlashType(char* text, uint32_t capacity) {
    return GetTextOf(cmd::Text::FlashType, text, capacity, Where::current());
}

int32_t CommandProtocol::GetAlias(char* text, uint32_t capacity) {
    const int32_t result = GetTextOf(cmd::Text::Alias, text, capacity, Where::current());
    if (result == 0) {
        QLOG("alias:%s %d %d\n", text, static_cast<int>(strlen(text)), static_cast<int>(capacity));
    }
    return result;
}

// --- Inertial sensor ---

int32_t CommandProtocol::SetACCSensitivity(const ImuSensitivity& value) {
    return SetImuOf(cmd::Imu::AccSensitivity, value.data(), Where::current());
}

int32_t CommandProtocol::GetACCSensitivity(ImuSensitivity& value) {
    return GetImuOf(cmd::Imu::AccSensitivity, value.data(), Where::current());
}

int32_t CommandProtocol::SetACCOffset(const ImuOffset& value) {
    return SetImuOf(cmd::Imu::AccOffset, value.data(), Where::current());
}

int32_t CommandProtocol::GetACCOffset(ImuOffset& value) {
    return GetImuOf(cmd::Imu::AccOffset, value.data(), Where::current());
}

int32_t CommandProtocol::SetACCOffsetTemp(const ImuOffsetTemp& value) {
    return SetImuOf(cmd::Imu::AccOffsetTemp, value.data(), Where::current());
}

int32_t CommandProtocol::GetACCOffsetTemp(ImuOffsetTemp& value) {
    const int32_t result = GetImuOf(cmd::Imu::AccOffsetTemp, value.data(), Where::current());
    if (result == 0) {
        const auto& v = value;
        QLOG("%d %d %d %d %d %d %d %d %d %d %d\n", v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7],
             v[8], v[9], v[10]);
    }
    return result;
}

int32_t CommandProtocol::SetGyroSensitivity(const ImuSensitivity& value) {
    return SetImuOf(cmd::Imu::GyroSensitivity, value.data(), Where::current());
}

int32_t CommandProtocol::GetGyroSensitivity(ImuSensitivity& value) {
    return GetImuOf(cmd::Imu::GyroSensitivity, value.data(), Where::current());
}

int32_t CommandProtocol::SetGyroOffset(const ImuOffset& value) {
    return SetImuOf(cmd::Imu::GyroOffset, value.data(), Where::current());
}

int32_t CommandProtocol::GetGyroOffset(ImuOffset& value) {
    return GetImuOf(cmd::Imu::GyroOffset, value.data(), Where::current());
}

int32_t CommandProtocol::SetGyroOffsetTemp(const ImuOffsetTemp& value) {
    return SetImuOf(cmd::Imu::GyroOffsetTemp, value.data(), Where::current());
}

int32_t CommandProtocol::GetGyroOffsetTemp(ImuOffsetTemp& value) {
    return GetImuOf(cmd::Imu::GyroOffsetTemp, value.data(), Where::current());
}

// --- Lens ---

int32_t CommandProtocol::SetLens(const LensRecord& lens) {
    return RunIfOpened(cmd::SetLens(lens), Where::current());
}

int32_t CommandProtocol::GetLens(LensRecord& lens) {
    return Run(cmd::GetLens(lens.sensor), Where::current(),
               [&](const Command& reply) { return cmd::ReadLens(reply, lens); });
}

// --- Plane correction ---

int32_t CommandProtocol::SetPlaneCorrectionParam(uint16_t id, const void* block, uint32_t count) {
    if (block == nullptr || count < 1 || count > cmd::kPlaneMaxCount) {
        QLOG_WARN("count:%u is invalid.\n", count);
        return 1;
    }
    const auto* bytes = static_cast<const uint8_t*>(block);
    const uint32_t length = count * 4;
    const uint32_t frames = length / cmd::kPlanePiece + 1;
    QLOG("length:%u  split_num %u\n", length, frames);
    Command header = cmd::PlaneHeader(id, length);
    if (const int32_t result = Exchange(header, Where::current()); result != 0) {
        return result;
    }
    for (uint32_t k = 1; k <= frames; ++k) {
        const uint32_t offset = (k - 1) * cmd::kPlanePiece;
        const uint32_t size = std::min(cmd::kPlanePiece, length - offset);
        if (size == 0) {
            break;  // the block ended on a frame boundary
        }
        Command piece = cmd::PlaneData(k, bytes + offset, size);
        if (const int32_t result = Exchange(piece, Where::current()); result != 0) {
            return result;
        }
    }
    return 0;
}

int32_t CommandProtocol::GetPlaneCorrectionParam(uint16_t& id, void* block, uint32_t capacity,
                                                 uint32_t& count) {
    cmd::PlaneHeaderInfo header;
    int32_t result =
        RequestThenRead(cmd::PlaneRequest(0, Direction::Set), cmd::PlaneRequest(0, Direction::Get),
                        Where::current(),
                        [&](const Command& reply) { return cmd::ReadPlaneHeader(reply, header); });
    if (result != 0) {
        return result;
    }
    // A reply for another frame is a failed exchange, not an empty success: the caller
    // would take a zeroed block for valid correction data.
    if (header.index != 0) {
        QLOG("header frame index %u is not 0.\n", header.index);
        return kStatusTransferError;
    }
    const uint32_t length = header.length;
    const uint32_t entries = length / 4;
    QLOG("length:%u\n", length);
    if (block == nullptr || entries < 1 || entries > cmd::kPlaneMaxCount || entries > capacity ||
        length > static_cast<uint64_t>(capacity) * 4) {
        QLOG_WARN("count:%u does not fit %u.\n", entries, capacity);
        return 1;
    }
    auto* bytes = static_cast<uint8_t*>(block);
    const uint32_t frames = length / cmd::kPlanePiece + 1;
    for (uint32_t k = 1; k <= frames; ++k) {
        const uint32_t offset = (k - 1) * cmd::kPlanePiece;
        const uint32_t size = std::min(cmd::kPlanePiece, length - offset);
        if (size == 0) {
            break;
        }
        uint32_t index = 0;
        result = RequestThenRead(
            cmd::PlaneRequest(k, Direction::Set), cmd::PlaneRequest(k, Direction::Get),
            Where::current(), [&](const Command& reply) {
                const uint8_t* piece = nullptr;
                const int32_t read = cmd::ReadPlanePiece(reply, size, index, piece);
                // Only the awaited frame's bytes reach the block.
                if (read == 0 && index == k) {
                    memcpy(bytes + offset, piece, size);
                }
                return read;
            });
        if (result != 0) {
            return result;
        }
        if (index != k) {
            QLOG("frame index %u, expected %u.\n", index, k);
            return kStatusTransferError;
        }
    }
    id = header.id;
    count = entries;
    return 0;
}

// --- Upgrade and JSON transfer ---

int32_t CommandProtocol::GetUpgradeIsSupported(uint8_t& supported) {
    if (!CheckOpened(Where::current())) {
        return 0;
    }
    return Run(cmd::GetUpgradeIsSupported(), Where::current(),
               [&](const Command& reply) { return cmd::ReadSupported(reply, supported); });
}

int32_t CommandProtocol::SetToUpgradeMode_P(const char* path) {
    if (path == nullptr) {
        QLOG_WARN("path is null.\n");
        return kStatusNullPointer;
    }
    Command command;
    if (cmd::SetToUpgradeMode(HostAddress(), path, command) != 0) {
        QLOG_WARN("file name of %s does not fit.\n", path);
        return kStatusFailed;
    }
    return Exchange(command, Where::current());
}

int32_t CommandProtocol::SetUpgradeState(const TransferState& state) {
    QLOG("param:%d 0x%0x %d\n", static_cast<int>(state.state), state.value1,
         static_cast<int>(state.value2));
    return Run(cmd::SetUpgradeState(state), Where::current());
}

int32_t CommandProtocol::GetUpgradeState(TransferState& state) {
    return Run(cmd::GetUpgradeState(), Where::current(),
               [&](const Command& reply) { return cmd::ReadUpgradeState(reply, state); });
}

int32_t CommandProtocol::GetJsonIsSupported(uint8_t& supported) {
    return Run(cmd::GetJsonIsSupported(), Where::current(),
               [&](const Command& reply) { return cmd::ReadSupported(reply, supported); });
}

int32_t CommandProtocol::SetToJsonMode_P() {
    Command command;
    if (cmd::SetToJsonMode(HostAddress(), command) != 0) {
        QLOG_WARN("host address does not fit.\n");
        return kStatusFailed;
    }
    return Exchange(command, Where::current());
}

int32_t CommandProtocol::SetJsonPath_P(const char* path) {
    if (path == nullptr) {
        QLOG_WARN("path is null.\n");
        return kStatusNullPointer;
    }
    Command command;
    if (cmd::SetJsonPath(HostAddress(), path, command) != 0) {
        QLOG_WARN("file name of %s does not fit.\n", path);
        return kStatusFailed;
    }
    const int32_t result = Exchange(command, Where::current());
    QLOG("%d\n", result);
    return result;
}

int32_t CommandProtocol::SetJsonState(const TransferState& state) {
    QLOG("param:%d 0x%0x %d\n", static_cast<int>(state.state), state.value1,
         static_cast<int>(state.value2));
    return Run(cmd::SetJsonState(state), Where::current());
}

int32_t CommandProtocol::GetJsonState(TransferState& state) {
    return Run(cmd::GetJsonState(), Where::current(),
               [&](const Command& reply) { return cmd::ReadJsonState(reply, state); });
}

int32_t CommandProtocol::IsSupportJSONConfig() {
    bool supported = false;
    const int32_t result =
        Run(cmd::IsSupportJSONConfig(), Where::current(),
            [&](const Command& reply) { return cmd::ReadJSONConfigSupported(reply, supported); });
    return result == 0 && supported ? 0 : -1;
}

int32_t CommandProtocol::SendCameraParamsEnable(bool enable) {
    Command command = cmd::SendCameraParams(enable);
    return Exchange(command, Where::current()) == 0 ? 0 : -1;
}

// --- Test mode and triggering ---

int32_t CommandProtocol::SetTestModeState(uint32_t mode, const TestModeRecord& record) {
    if (!CheckOpened(Where::current())) {
        return 0;
    }
    Command command;
    if (cmd::SetTestModeState(mode, record, command) != 0) {
        QLOG_WARN("mode:%u is invalid.\n", mode);
        return kStatusBadParameter;
    }
    return Exchange(command, Where::current());
}

int32_t CommandProtocol::SetSlaveTrigger() {
    return RunIfOpened(cmd::SetSlaveTrigger(), Where::current());
}

// --- Properties ---

int32_t CommandProtocol::SetRangeOffset(const RangeOffsetRecord& record) {
    NsMeasuringRange view;
    memcpy(&view, record.data(), sizeof view);
    LogRange(Where::current(), "range", view);
    return Run(cmd::SetRangeOffset(record), Where::current());
}

int32_t CommandProtocol::GetRangeOffset(RangeOffsetRecord& record) {
    const int32_t result =
        Run(cmd::GetRangeOffset(record[0]), Where::current(),
            [&](const Command& reply) { return cmd::ReadRangeOffset(reply, record); });
    if (result == 0) {
        NsMeasuringRange view;
        memcpy(&view, record.data(), sizeof view);
        LogRange(Where::current(), "range", view);
    }
    return result;
}

int32_t CommandProtocol::SetList(cmd::List list, const void* data, uint32_t length) {
    Command command;
    if (cmd::SetList(list, static_cast<const uint8_t*>(data), length, command) != 0) {
        QLOG_WARN("list of %u bytes is invalid.\n", length);
        return kStatusBadParameter;
    }
    return Exchange(command, Where::current());
}

int32_t CommandProtocol::GetList(cmd::List list, void* data, uint32_t& length) {
    uint8_t count = 0;
    const int32_t result = RequestThenRead(
        cmd::ListRequest(list, Direction::Set), cmd::ListRequest(list, Direction::Get),
        Where::current(), [&](const Command& reply) {
            count = reply.U8(3);
            return cmd::ReadList(reply, list, static_cast<uint8_t*>(data), length);
        });
    if (result == kStatusFailed || result == kStatusBadParameter) {
        QLOG_WARN("list count %d does not fit %u bytes.\n", count, length);
    }
    return result;
}

int32_t CommandProtocol::SetTalDelay(const TalDelayRecord& record) {
    return RunIfOpened(cmd::SetTalDelay(record), Where::current());
}

int32_t CommandProtocol::GetTalDelay(TalDelayRecord& record) {
    return RunIfOpened(cmd::GetTalDelay(record), Where::current(),
                       [&](const Command& reply) { return cmd::ReadTalDelay(reply, record); });
}

int32_t CommandProtocol::SetDspStatus(const DspStatusRecord& status) {
    Command command;
    if (cmd::SetDspStatus(status, command) != 0) {
        QLOG_WARN("DSPConfig:%u is invalid.\n", status.selector);
        return kStatusBadParameter;
    }
    QLOG("option:%d  DSPConfig:%d  enable:%d\n", status.option, static_cast<int>(status.selector),
         status.value);
    return Exchange(command, Where::current());
}

int32_t CommandProtocol::GetDspStatus(DspStatusRecord& status) {
    Command request;
    Command fetch;
    if (cmd::DspStatusRequest(status, Direction::Set, request) != 0 ||
        cmd::DspStatusRequest(status, Direction::Get, fetch) != 0) {
        QLOG_WARN("DSPConfig:%u is invalid.\n", status.selector);
        return kStatusBadParameter;
    }
    return RequestThenRead(request, fetch, Where::current(), [&](const Command& reply) {
        return cmd::ReadDspStatus(reply, status.selector, status.value);
    });
}

int32_t CommandProtocol::GetHeartBeat() {
    return Run(cmd::HeartBeat(), Where::current());
}

namespace {

struct DeviceText {
    uint32_t id;
    cmd::Text text;
};

constexpr DeviceText kDeviceTexts[] = {
    {property::kDeviceUpgradeFlag, cmd::Text::DeviceUpgradeFlag},
    {property::kDeviceSN, cmd::Text::DeviceSN},
    {property::kDeviceMACAddr, cmd::Text::DeviceMACAddr},
    {property::kDeviceSoftVer, cmd::Text::DeviceSoftVer},
    {property::kDeviceIPAddr, cmd::Text::DeviceIPAddr},
    {property::kDeviceSubnetMask, cmd::Text::DeviceSubnetMask},
};

const DeviceText* FindDeviceText(uint32_t id) {
    for (const DeviceText& entry : kDeviceTexts) {
        if (entry.id == id) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

int32_t CommandProtocol::SetProperty(uint32_t id, const void* data, uint32_t length) {
    if (const DeviceText* text = FindDeviceText(id)) {
        if (!CheckOpened(Where::current())) {
            return 0;
        }
        if (id == property::kDeviceUpgradeFlag) {
            // The camera learns where to fetch its firmware from: this host's address.
            const std::string host = HostAddress();
            return SetTextOf(text->text, host.c_str(), static_cast<uint32_t>(host.size()),
                             Where::current());
        }
        return SetTextOf(text->text, static_cast<const char*>(data), length, Where::current());
    }
    switch (id) {
        case property::kRangeOffset: {
            RangeOffsetRecord record;
            if (!CopyIn(record, data, length)) {
                QLOG_WARN("id:0x%x length:%u is too small.\n", id, length);
                return kStatusBadParameter;
            }
            return SetRangeOffset(record);
        }
        case property::kOutModeList:
            return SetList(cmd::List::DataModes, data, length);
        case property::kDepthRangeList:
            return SetList(cmd::List::DepthRanges, data, length);
        case property::kTalDelay: {
            TalDelayRecord record;
            if (!CopyIn(record, data, length)) {
                QLOG_WARN("id:0x%x length:%u is too small.\n", id, length);
                return kStatusBadParameter;
            }
            return SetTalDelay(record);
        }
        case property::kDspStatus: {
            DspStatusRecord status;
            if (!CopyIn(status, data, length)) {
                QLOG_WARN("id:0x%x length:%u is too small.\n", id, length);
                return kStatusBadParameter;
            }
            return SetDspStatus(status);
        }
        default:
            return kStatusNotSupported;
    }
}

int32_t CommandProtocol::GetProperty(uint32_t id, void* data, uint32_t& length) {
    if (const DeviceText* text = FindDeviceText(id)) {
        if (!CheckOpened(Where::current())) {
            return 0;
        }
        return GetTextOf(text->text, static_cast<char*>(data), length, Where::current());
    }
    switch (id) {
        case property::kRangeOffset: {
            RangeOffsetRecord record;
            if (!CopyIn(record, data, length)) {
                QLOG_WARN("id:0x%x length:%u is too small.\n", id, length);
                return kStatusBadParameter;
            }
            const int32_t result = GetRangeOffset(record);
            if (result == 0) {
                memcpy(data, record.data(), record.size());
                length = static_cast<uint32_t>(record.size());
            }
            return result;
        }
        case property::kOutModeList:
            return GetList(cmd::List::DataModes, data, length);
        case property::kDepthRangeList:
            return GetList(cmd::List::DepthRanges, data, length);
        case property::kTalDelay: {
            TalDelayRecord record;
            if (!CopyIn(record, data, length)) {
                QLOG_WARN("id:0x%x length:%u is too small.\n", id, length);
                return kStatusBadParameter;
            }
            const int32_t result = GetTalDelay(record);
            if (result == 0 && IsOpened()) {
                memcpy(data, record.data(), record.size());
                length = static_cast<uint32_t>(record.size());
            }
            return result;
        }
        case property::kDspStatus: {
            DspStatusRecord status;
            if (!CopyIn(status, data, length)) {
                QLOG_WARN("id:0x%x length:%u is too small.\n", id, length);
                return kStatusBadParameter;
            }
            const int32_t result = GetDspStatus(status);
            if (result == 0) {
                memcpy(data, &status, sizeof status);
                length = sizeof status;
            }
            return result;
        }
        case property::kHeartBeat:
            return GetHeartBeat();
        default:
            return kStatusNotSupported;
    }
}

}  // namespace quorix
