// The camera command interface as one table: every operation of BaseProtocol in its fixed
// order, with what the rest of the library derives from it. From this list come the
// protocol's virtual operations and their "Not Support." defaults, the position of each
// operation, the routing of the composite USB protocols, and the session's operations that
// pass a call to the camera unchanged. A new plain command is one row here.
//
// X(position, name, (parameters), (arguments), session, usb, tk1a):
// - position: the operation's place in the interface (the destructor is 0); the composite
//   protocols route by it, so the order never changes and new operations go at the end.
// - session: FWD when BaseSession offers the operation under the same name and passes it to
//   the camera unchanged (-255 without a protocol); OWN when the session has rules of its
//   own or does not offer it.
// - usb, tk1a: where UsbProtocol and TK1A_Protocol send the operation: UVC or HID (the inner
//   protocol, unchanged), OWN (a body of the composite's own), NONE (-255, "Not Support.")
//   or FAIL (-1).
#pragma once

// clang-format off
#define QUORIX_PROTOCOL_OPERATIONS(X) \
    X(1, OpenDevice, (), (), OWN, OWN, OWN) \
    X(2, CloseDevice, (), (), OWN, OWN, OWN) \
    X(3, StartStream, (), (), OWN, UVC, UVC) \
    X(4, StopStream, (), (), OWN, UVC, UVC) \
    X(5, SetThreshold, (uint16_t threshold), (threshold), OWN, UVC, UVC) \
    X(6, GetThreshold, (uint16_t& threshold), (threshold), OWN, UVC, UVC) \
    X(7, SetConfidenceBit, (uint8_t bit), (bit), FWD, UVC, UVC) \
    X(8, GetConfidenceBit, (uint8_t& bit), (bit), FWD, UVC, UVC) \
    X(9, SetConfidenceWhich, (uint8_t which), (which), FWD, UVC, UVC) \
    X(10, GetConfidenceWhich, (uint8_t& which), (which), FWD, UVC, UVC) \
    X(11, SetTofFrameRate, (uint8_t fps), (fps), OWN, UVC, UVC) \
    X(12, GetTofFrameRate, (uint8_t& fps), (fps), FWD, UVC, UVC) \
    X(13, SetSlaveModeEnabled, (bool enable), (enable), OWN, UVC, UVC) \
    X(14, SetAntiInterferenceEnabled, (bool enable), (enable), FWD, UVC, UVC) \
    X(15, SetWDRMode, (const WDROutputMode& mode), (mode), OWN, UVC, UVC) \
    X(16, GetWDRMode, (WDROutputMode& mode), (mode), OWN, UVC, UVC) \
    X(17, SetMeasuringStatus, (uint8_t item, uint8_t onOff), (item, onOff), FWD, UVC, UVC) \
    X(18, GetMeasuringStatus, (std::array<bool, 10>& status), (status), FWD, UVC, UVC) \
    /* At most 15 registers per call. */ \
    X(19, SetRegVal, (const uint16_t* addresses, const uint16_t* values, uint8_t count), (addresses, values, count), FWD, UVC, UVC) \
    X(20, GetRegVal, (const uint16_t* addresses, uint16_t* values, uint8_t count), (addresses, values, count), FWD, UVC, UVC) \
    /* Low byte the value, high byte the selector. */ \
    X(21, SetIRS2Enable, (uint16_t value), (value), OWN, UVC, UVC) \
    X(22, SetGMMGain, (const NsGMMGain& gain), (gain), OWN, UVC, HID) \
    X(23, SetGMM, (const Vector3& gmm), (gmm), FWD, UVC, HID) \
    X(24, GetGMM, (GmmBlock& gmm), (gmm), FWD, UVC, HID) \
    X(25, SetMeasuringRange, (const NsMeasuringRange& range), (range), OWN, UVC, UVC) \
    /* The group in range.depthMode selects what is read. */ \
    X(26, GetMeasuringRange, (NsMeasuringRange& range), (range), OWN, UVC, UVC) \
    X(27, SetDataMode, (uint8_t mode), (mode), OWN, UVC, OWN) \
    X(28, GetDataMode, (uint8_t& mode), (mode), OWN, UVC, OWN) \
    X(29, GetDepthMode, (uint8_t& mode), (mode), FWD, UVC, UVC) \
    X(30, SetDepthRange, (uint32_t range), (range), OWN, UVC, UVC) \
    X(31, GetDepthRange, (uint32_t& range), (range), OWN, UVC, UVC) \
    X(32, SetPulseCount, (const PulseCountRecord& record), (record), OWN, UVC, UVC) \
    X(33, GetPulseCount, (PulseCountBlock& record), (record), OWN, UVC, UVC) \
    X(34, SetLDEnable, (uint16_t value), (value), FWD, UVC, UVC) \
    X(35, GetLDEnable, (uint16_t& value), (value), FWD, UVC, UVC) \
    X(36, SetISAEnable, (uint8_t value), (value), FWD, UVC, UVC) \
    X(37, GetISAEnable, (uint8_t& value), (value), FWD, UVC, UVC) \
    X(38, SetTALEnable, (uint16_t value), (value), FWD, UVC, UVC) \
    X(39, GetTALEnable, (uint16_t& value), (value), FWD, UVC, UVC) \
    X(40, SetHTP, (const HtpBlock& htp), (htp), FWD, UVC, UVC) \
    X(41, GetHTP, (HtpBlock& htp), (htp), FWD, UVC, UVC) \
    X(42, SetOffSet, (const OffsetRecord& record), (record), FWD, UVC, UVC) \
    /* Bytes 0 and 1 of the record select what is read. */ \
    X(43, GetOffSet, (OffsetRecord& record), (record), FWD, UVC, UVC) \
    /* Lens 1 depth, 2 colour. */ \
    X(44, SetCameraIntrinsic, (uint8_t lens, const Matrix3& intrinsic), (lens, intrinsic), OWN, UVC, UVC) \
    X(45, GetCameraIntrinsic, (uint8_t lens, Matrix3& intrinsic), (lens, intrinsic), OWN, UVC, UVC) \
    X(46, SetCameraDistortion, (uint8_t lens, const Distortion& distortion), (lens, distortion), OWN, UVC, UVC) \
    X(47, GetCameraDistortion, (uint8_t lens, Distortion& distortion), (lens, distortion), OWN, UVC, UVC) \
    X(48, SetCameraRotation, (const Matrix3& rotation), (rotation), OWN, UVC, UVC) \
    X(49, GetCameraRotation, (Matrix3& rotation), (rotation), OWN, UVC, UVC) \
    X(50, SetCameraTransfer, (const Vector3& translation), (translation), OWN, UVC, UVC) \
    X(51, GetCameraTransfer, (Vector3& translation), (translation), OWN, UVC, UVC) \
    X(52, SetCameraE, (const Matrix3& essential), (essential), FWD, UVC, UVC) \
    X(53, GetCameraE, (Matrix3& essential), (essential), FWD, UVC, UVC) \
    X(54, SetCameraF, (const Matrix3& fundamental), (fundamental), FWD, UVC, UVC) \
    X(55, GetCameraF, (Matrix3& fundamental), (fundamental), FWD, UVC, UVC) \
    X(56, SetLowPowerModeEnabled, (bool enable), (enable), OWN, UVC, UVC) \
    X(57, SetWorkMode, (const WorkModeRecord& mode), (mode), OWN, UVC, UVC) \
    X(58, GetWorkMode, (WorkModeRecord& mode), (mode), FWD, UVC, UVC) \
    /* Texts: `length` bytes are sent; a get writes at most `capacity` bytes, NUL included. */ \
    X(59, SetPCBA, (const char* text, uint32_t length), (text, length), FWD, UVC, UVC) \
    X(60, GetPCBA, (char* text, uint32_t capacity), (text, capacity), FWD, UVC, UVC) \
    X(61, SetSN, (const char* text, uint32_t length), (text, length), FWD, UVC, UVC) \
    X(62, GetSN, (char* text, uint32_t capacity), (text, capacity), FWD, UVC, OWN) \
    X(63, GetFWVer, (char* text, uint32_t capacity), (text, capacity), FWD, UVC, UVC) \
    X(64, GetHWVer, (char* text, uint32_t capacity), (text, capacity), FWD, UVC, UVC) \
    X(65, GetFlashType, (char* text, uint32_t capacity), (text, capacity), FWD, UVC, UVC) \
    X(66, SetACCSensitivity, (const ImuSensitivity& value), (value), FWD, UVC, UVC) \
    X(67, GetACCSensitivity, (ImuSensitivity& value), (value), FWD, UVC, UVC) \
    X(68, SetACCOffset, (const ImuOffset& value), (value), FWD, UVC, UVC) \
    X(69, GetACCOffset, (ImuOffset& value), (value), FWD, UVC, UVC) \
    X(70, SetACCOffsetTemp, (const ImuOffsetTemp& value), (value), FWD, UVC, UVC) \
    X(71, GetACCOffsetTemp, (ImuOffsetTemp& value), (value), FWD, UVC, UVC) \
    X(72, SetGyroSensitivity, (const ImuSensitivity& value), (value), FWD, UVC, UVC) \
    X(73, GetGyroSensitivity, (ImuSensitivity& value), (value), FWD, UVC, UVC) \
    X(74, SetGyroOffset, (const ImuOffset& value), (value), FWD, UVC, UVC) \
    X(75, GetGyroOffset, (ImuOffset& value), (value), FWD, UVC, UVC) \
    X(76, SetGyroOffsetTemp, (const ImuOffsetTemp& value), (value), FWD, UVC, UVC) \
    X(77, GetGyroOffsetTemp, (ImuOffsetTemp& value), (value), FWD, UVC, UVC) \
    X(78, SetImuDataMode, (int32_t mode), (mode), FWD, UVC, UVC) \
    /* Kept for the order; nothing calls it. */ \
    X(79, ReservedOperation, (), (), OWN, UVC, UVC) \
    X(80, SetLens, (const LensRecord& lens), (lens), OWN, UVC, UVC) \
    /* lens.sensor selects what is read. */ \
    X(81, GetLens, (LensRecord& lens), (lens), OWN, UVC, UVC) \
    /* `count` is the block's size in 4-byte units. */ \
    X(82, SetPlaneCorrectionParam, (uint16_t id, const void* block, uint32_t count), (id, block, count), FWD, UVC, UVC) \
    /* `capacity` and `count` in 4-byte units: the block holds capacity x 4 bytes. */ \
    X(83, GetPlaneCorrectionParam, (uint16_t& id, void* block, uint32_t capacity, uint32_t& count), (id, block, capacity, count), FWD, UVC, FAIL) \
    /* `length`: the buffer's capacity in, the frame's length out (0 without a frame). */ \
    X(84, ReadData, (uint8_t* buffer, uint32_t& length), (buffer, length), OWN, UVC, UVC) \
    X(85, SetRgbExplosureTimeAndGain, (float exposure, float gain), (exposure, gain), FWD, NONE, HID) \
    X(86, GetRgbExplosureTimeAndGain, (float& exposure, float& gain), (exposure, gain), FWD, NONE, HID) \
    X(87, SetRgbAecEnabled, (bool enable), (enable), FWD, NONE, HID) \
    X(88, SetRgbMirrorEnable, (bool enable), (enable), OWN, NONE, HID) \
    X(89, SetRgbRotationEnable, (bool enable), (enable), OWN, NONE, HID) \
    X(90, SetProperty, (uint32_t id, const void* data, uint32_t length), (id, data, length), OWN, UVC, OWN) \
    /* `length`: what `data` holds in, what was delivered out. */ \
    X(91, GetProperty, (uint32_t id, void* data, uint32_t& length), (id, data, length), OWN, UVC, OWN) \
    X(92, GetUpgradeIsSupported, (uint8_t& supported), (supported), OWN, HID, HID) \
    X(93, SetToUpgradeMode_P, (const char* path), (path), OWN, NONE, NONE) \
    X(94, SetUpgradeState, (const TransferState& state), (state), OWN, HID, HID) \
    X(95, GetUpgradeState, (TransferState& state), (state), OWN, HID, HID) \
    X(96, RebootCamera, (), (), OWN, HID, HID) \
    X(97, GetJsonIsSupported, (uint8_t& supported), (supported), OWN, HID, NONE) \
    X(98, SetToJsonMode_P, (), (), OWN, NONE, NONE) \
    X(99, SetJsonPath_P, (const char* path), (path), OWN, NONE, NONE) \
    X(100, SetJsonState, (const TransferState& state), (state), OWN, HID, NONE) \
    X(101, GetJsonState, (TransferState& state), (state), OWN, HID, NONE) \
    /* 0 when the camera takes a JSON configuration, else -1. */ \
    X(102, IsSupportJSONConfig, (), (), OWN, UVC, NONE) \
    X(103, SendCameraParamsEnable, (bool enable), (enable), OWN, UVC, NONE) \
    X(104, GetAlias, (char* text, uint32_t capacity), (text, capacity), OWN, UVC, UVC) \
    X(105, SetWDRGMMGain, (const void* record, uint32_t length), (record, length), OWN, UVC, NONE) \
    X(106, GetWDRGMMGain, (void* record, uint32_t length), (record, length), OWN, UVC, NONE) \
    X(107, SetWDRThreshold, (const void* record, uint32_t length), (record, length), OWN, UVC, NONE) \
    X(108, GetWDRThreshold, (void* record, uint32_t length), (record, length), OWN, UVC, NONE) \
    X(109, SetConnectStatus, (bool connected), (connected), OWN, UVC, UVC) \
    X(110, SetTestModeState, (uint32_t mode, const TestModeRecord& record), (mode, record), FWD, UVC, NONE) \
    X(111, SetSlaveTrigger, (), (), FWD, UVC, NONE) \
    /* How the data stream held its framing (network cameras). */ \
    X(112, GetDataStreamHealth, (DataStreamHealth& health), (health), FWD, UVC, UVC) \
    /* A recorder's tap on the data connection (network cameras). */ \
    X(113, SetDataTap, (const DataTap& tap), (tap), FWD, UVC, UVC)
// clang-format on

namespace quorix::detail {
// Takes a row's arguments and does nothing with them: for bodies that only refuse or record.
template <class... Args>
constexpr void Unused(const Args&...) {}
}  // namespace quorix::detail

// QUORIX_IF_FWD(session)(text): `text` for the rows whose session column is FWD, nothing
// for the others.
#define QUORIX_IF_FWD(session) QUORIX_IF_FWD_##session
#define QUORIX_IF_FWD_FWD(...) __VA_ARGS__
#define QUORIX_IF_FWD_OWN(...)
