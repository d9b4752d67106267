// The camera command vocabulary, written once: pure functions that build each request
// (command id, direction, lengths, payload) and read each reply. The network, HID and UVC
// protocols differ only in framing and in a few lengths and directions; they take a
// Command from here, adjust what their link does differently, and hand it to their
// transport, which copies the reply over the same buffer and says how many bytes it copied.
//
// Payloads are little-endian; byte 0 of most payloads is the sub-command that selects the
// item within the command's group. Builders that can refuse their input return 0 or a
// status (-15 out of range, -1 a text that does not fit) and leave `out` alone on refusal.
// Readers that take fixed fields return 0, or kShortReply when the reply did not reach the
// last of them (what lies beyond the reply is the request's own bytes); they write nothing
// to their outputs on refusal.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/Status.h"
#include "protocol/ProtocolTypes.h"

namespace quorix::cmd {

// Request payloads never exceed 64 bytes; a reply payload's length is one byte.
inline constexpr size_t kMaxRequest = 64;
inline constexpr size_t kBufferSize = 256;

enum class Direction : uint8_t { Set, Get };

// One exchange: the request goes out of `data`, a get's reply comes back over it.
struct Command {
    uint8_t id = 0;
    Direction direction = Direction::Set;
    uint8_t requestLength = 0;
    uint16_t replyCapacity = 0;
    // Reply bytes that arrived over `data`, as the transport reported them (0 until then).
    uint16_t received = 0;
    std::array<uint8_t, kBufferSize> data{};

    bool IsGet() const { return direction == Direction::Get; }
    // Whether the reply reached `bytes` bytes.
    bool Holds(size_t bytes) const { return received >= bytes; }

    // Little-endian field access; what would run past the buffer is ignored (reads as 0).
    void Put(size_t at, const void* bytes, size_t size);
    void Get(size_t at, void* bytes, size_t size) const;
    void PutU8(size_t at, uint8_t v) { Put(at, &v, 1); }
    void PutU16(size_t at, uint16_t v);
    void PutU32(size_t at, uint32_t v);
    void PutF64(size_t at, double v) { Put(at, &v, sizeof v); }
    uint8_t U8(size_t at) const { return at < data.size() ? data[at] : 0; }
    uint16_t U16(size_t at) const;
    uint32_t U32(size_t at) const;
    double F64(size_t at) const;
};

// --- Single values: a table of where each lives ------------------------------------------

enum class Value : uint8_t {
    Threshold,  // sent x 10, read back as the camera holds it
    ConfidenceBit,
    ConfidenceWhich,
    TofFrameRate,
    SlaveMode,
    AntiInterference,
    LDEnable,
    ISAEnable,
    TALEnable,
    DepthRange,
    DataMode,     // get only (sets use SetDataMode)
    DepthMode,    // get only
    ImuDataMode,  // set only
};

// A set of the value; -15 when it does not fit its field.
int32_t SetValue(Value item, uint32_t value, Command& out);
// A get of the value; `seed` goes where the value will come back (GetDepthMode sends the
// caller's byte).
Command GetValue(Value item, uint32_t seed = 0);
[[nodiscard]] int32_t ReadValue(Value item, const Command& reply, uint32_t& value);

Command StreamControl(bool start);

// --- Group 0x02 records --------------------------------------------------------------------

Command SetWDRMode(const WDROutputMode& mode);
Command GetWDRMode();
[[nodiscard]] int32_t ReadWDRMode(const Command& reply, WDROutputMode& mode);

Command SetMeasuringStatus(uint8_t item, uint8_t onOff);
Command GetMeasuringStatus();
[[nodiscard]] int32_t ReadMeasuringStatus(const Command& reply, std::array<bool, 10>& status);

// --- Registers (group 0x04); at most kMaxRegisters per exchange -------------------------

inline constexpr uint8_t kMaxRegisters = 15;
Command SetRegisters(const uint16_t* addresses, const uint16_t* values, uint8_t count);
// The read request, sent as a set and then again as the get that fetches the values.
Command ReadRegisters(const uint16_t* addresses, uint8_t count, Direction direction);
[[nodiscard]] int32_t ReadRegisterValues(const Command& reply, uint16_t* values, uint8_t count);

// --- GMM (group 0x05) ------------------------------------------------------------------------

Command SetIRS2Enable(uint16_t value);
Command SetGMMGain(const NsGMMGain& gain);
Command SetGMM(const Vector3& gmm);
Command GetGMM(const GmmBlock& gmm);
[[nodiscard]] int32_t ReadGMM(const Command& reply, GmmBlock& gmm);

// --- Ranges, modes, pulse counts -----------------------------------------------------------

Command SetMeasuringRange(const NsMeasuringRange& range);
Command GetMeasuringRange(uint8_t group);
// The group byte stays the caller's; the nine values come from the reply.
[[nodiscard]] int32_t ReadMeasuringRange(const Command& reply, NsMeasuringRange& range);

// Data modes without a code send eleven zero bytes.
Command SetDataMode(uint8_t mode);

Command SetPulseCount(const PulseCountRecord& record);
Command GetPulseCount();
[[nodiscard]] int32_t ReadPulseCount(const Command& reply, PulseCountBlock& record);

Command SetHTP(const HtpBlock& htp);
Command GetHTP(const HtpBlock& htp);
[[nodiscard]] int32_t ReadHTP(const Command& reply, HtpBlock& htp);

// --- Offsets (group 0x0F) ------------------------------------------------------------------

// The offset record travels in two frames, k = 0 and 1.
Command SetOffSetFrame(const OffsetRecord& record, uint8_t k);
Command GetOffSetFrame(const OffsetRecord& record, uint8_t k);
[[nodiscard]] int32_t ReadOffSetFrame(const Command& reply, uint8_t k, OffsetRecord& record);

Command SetRangeOffset(const RangeOffsetRecord& record);
Command GetRangeOffset(uint8_t group);
[[nodiscard]] int32_t ReadRangeOffset(const Command& reply, RangeOffsetRecord& record);

// --- Camera parameters (group 0x10): each set of values travels in one or two frames ----

enum class CameraParam : uint8_t {
    Intrinsic,
    Distortion,
    Rotation,
    Transfer,
    Essential,
    Fundamental
};
struct ParamFrame {
    uint8_t sub;
    uint8_t first;  // index of the first value it carries
    uint8_t count;  // values it carries
};
// The frames of one parameter; empty for a lens other than 1 (depth) or 2 (colour).
std::span<const ParamFrame> ParamFrames(CameraParam param, uint8_t lens);
size_t ParamCount(CameraParam param);
Command SetParamFrame(const ParamFrame& frame, const double* values);
Command GetParamFrame(const ParamFrame& frame);
[[nodiscard]] int32_t ReadParamFrame(const Command& reply, const ParamFrame& frame, double* values);

// --- Group 0x11: JSON configuration and parameter push ------------------------------------

Command IsSupportJSONConfig();
[[nodiscard]] int32_t ReadJSONConfigSupported(const Command& reply, bool& supported);
Command SendCameraParams(bool enable);

// --- Group 0x12: work mode ----------------------------------------------------------------

inline constexpr uint8_t kLowPowerWorkMode = 0x20;
Command SetWorkMode(const WorkModeRecord& mode);
Command GetWorkMode(const WorkModeRecord& mode);
[[nodiscard]] int32_t ReadWorkMode(const Command& reply, WorkModeRecord& mode);
Command RebootCamera();

// --- Texts (groups 0x13 and 0x18) ---------------------------------------------------------

enum class Text : uint8_t {
    PCBA,
    SN,
    FWVer,
    HWVer,
    FlashType,
    Alias,
    DeviceUpgradeFlag,
    DeviceSN,
    DeviceMACAddr,
    DeviceSoftVer,
    DeviceIPAddr,
    DeviceSubnetMask
};
// The sub-command and `length` bytes of text; -1 when they exceed a request, -15 for a
// text that has no set.
int32_t SetText(Text item, const char* text, uint32_t length, Command& out);
// Room for `capacity` bytes of text after the sub-command, as far as a reply reaches.
Command GetText(Text item, uint32_t capacity);
// Copies the text that arrived after the sub-command (at most capacity - 1 characters; none
// from a reply without one) and ends it with a NUL.
void ReadText(const Command& reply, char* text, uint32_t capacity);

// --- Inertial sensor calibration (group 0x14): two-step gets -----------------------------

enum class Imu : uint8_t {
    AccSensitivity,
    AccOffset,
    AccOffsetTemp,
    GyroSensitivity,
    GyroOffset,
    GyroOffsetTemp
};
size_t ImuSize(Imu item);
Command SetImu(Imu item, const uint8_t* values);
// The read request (a set), and the get that fetches what it asked for.
Command ImuReadRequest(Imu item);
Command ImuFetch(Imu item);
[[nodiscard]] int32_t ReadImu(const Command& reply, Imu item, uint8_t* values);

// --- Lens (group 0x15) ---------------------------------------------------------------------

Command SetLens(const LensRecord& lens);
Command GetLens(uint8_t sensor);
// The sensor byte stays the caller's.
[[nodiscard]] int32_t ReadLens(const Command& reply, LensRecord& lens);

// --- Lists (group 0x15, property data: a count byte and the entries) ----------------------

enum class List : uint8_t { DataModes, DepthRanges };
size_t ListMaxEntries(List list);
// -15 when the count exceeds the list or `length`.
int32_t SetList(List list, const uint8_t* data, uint32_t length, Command& out);
// The read request, sent as a set and then again as the get that fetches the list.
Command ListRequest(List list, Direction direction);
// Writes count and entries to `data` and their size to `length`; -15 when they do not fit
// the caller's `length`, -1 when the camera's count exceeds the list, kShortReply when
// fewer entries arrived than the count claims.
[[nodiscard]] int32_t ReadList(const Command& reply, List list, uint8_t* data, uint32_t& length);

// --- Plane correction (group 0x16, 64-byte frames) ----------------------------------------

inline constexpr uint32_t kPlaneMaxCount = 307200;  // 4-byte units
inline constexpr uint32_t kPlanePiece = 56;         // bytes per data frame
Command PlaneHeader(uint16_t id, uint32_t length);
Command PlaneData(uint32_t index, const uint8_t* bytes, size_t size);
// Read request of frame `index` (0 the header), sent as a set and then as the get.
Command PlaneRequest(uint32_t index, Direction direction);
struct PlaneHeaderInfo {
    uint32_t index = 0;   // 0 for the header
    uint32_t length = 0;  // bytes of the block
    uint16_t id = 0;
};
[[nodiscard]] int32_t ReadPlaneHeader(const Command& reply, PlaneHeaderInfo& header);
// The frame index of a data frame and where its first `size` bytes lie in the reply.
[[nodiscard]] int32_t ReadPlanePiece(const Command& reply, size_t size, uint32_t& index,
                                     const uint8_t*& bytes);

// --- DSP status (group 0x19) ---------------------------------------------------------------

inline constexpr uint32_t kMaxDspSelector = 8;
// -15 for a selector above 8.
int32_t SetDspStatus(const DspStatusRecord& status, Command& out);
// The read request, sent as a set and then again as the get; -15 for a bad selector.
int32_t DspStatusRequest(const DspStatusRecord& status, Direction direction, Command& out);
// -15 for a bad selector.
[[nodiscard]] int32_t ReadDspStatus(const Command& reply, uint32_t selector, uint8_t& value);

// --- Small groups --------------------------------------------------------------------------

Command SetTalDelay(const TalDelayRecord& record);
Command GetTalDelay(const TalDelayRecord& record);
[[nodiscard]] int32_t ReadTalDelay(const Command& reply, TalDelayRecord& record);
Command HeartBeat();
// -15 for a mode other than 0 and 1.
int32_t SetTestModeState(uint32_t mode, const TestModeRecord& record, Command& out);
Command SetSlaveTrigger();

// --- Firmware upgrade and JSON transfer (group 0x1D; the HID link uses 0x18) -------------

inline constexpr uint8_t kTransferGroup = 0x1D;
inline constexpr size_t kUpgradeNameRoom = 46;  // bytes 18..63
inline constexpr size_t kJsonNameRoom = 20;     // bytes 18..37
Command GetUpgradeIsSupported();
Command GetJsonIsSupported();
[[nodiscard]] int32_t ReadSupported(const Command& reply, uint8_t& supported);
// The file name of `path`: forward slashes count as backslashes, the text after the last.
std::string FileNameOf(std::string_view path);
// -1 when the host address or the file name does not fit (or the name is empty).
int32_t SetToUpgradeMode(std::string_view host, std::string_view path, Command& out);
int32_t SetToJsonMode(std::string_view host, Command& out);
int32_t SetJsonPath(std::string_view host, std::string_view path, Command& out);
Command SetUpgradeState(const TransferState& state);
Command GetUpgradeState();
[[nodiscard]] int32_t ReadUpgradeState(const Command& reply, TransferState& state);
Command SetJsonState(const TransferState& state);
Command GetJsonState();
[[nodiscard]] int32_t ReadJsonState(const Command& reply, TransferState& state);

// --- USB-only commands ---------------------------------------------------------------------

// The TK1A's data modes 100 to 102 travel as 1 to 3 (group 0x17).
Command SetTecentMode(uint8_t mode);
Command GetTecentMode();
// The camera's byte plus 99 (modulo 256).
[[nodiscard]] int32_t ReadTecentMode(const Command& reply, uint8_t& mode);
// Colour sensor (group 0x15, sub-command 0x03). -15 when the matrix does not fit a request.
int32_t SetRgbWeightMatrix(const uint8_t* data, uint32_t length, Command& out);
Command SetRgbAecEnabled(bool enable);
// Time and gain travel as the bit patterns of 32-bit floats.
Command SetRgbExposure(float time, float gain);
Command GetRgbExposure();
[[nodiscard]] int32_t ReadRgbExposure(const Command& reply, float& time, float& gain);
// The UVC link's data mode: the mode byte alone.
Command SetDataModeByte(uint8_t mode);
// WDR gain and threshold records (groups 0x1B and 0x1C): a 32-bit value and a byte.
inline constexpr uint32_t kWdrRecordBytes = 5;
inline constexpr uint32_t kWdrReplyBytes = 6;
Command SetWdrRecord(uint8_t group, const void* record);
Command GetWdrRecord(uint8_t group);
inline constexpr uint8_t kWdrGmmGainGroup = 0x1B;
// Proximity sensors (UVC only): group 0x13, sub-command 0x06 sets and 0x16 asks; `id`
// selects the sensor, `item` what is set or read (0 the reading, 1 name, 2 enable,
// 3 threshold, 4 pulse width, 5 gain, 6 time).
inline constexpr uint8_t kPsensorGet = 0x16;
Command SetPsensor(uint8_t id, uint8_t item, const uint8_t* value, size_t size);
// The read request (a set) and the get that fetches it; the answer starts at byte 3.
Command PsensorRequest(uint8_t id, uint8_t item, Direction direction);
inline constexpr uint8_t kWdrThresholdGroup = 0x1C;

}  // namespace quorix::cmd
