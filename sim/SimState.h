// The state a simulated network camera keeps: identity and maintenance fields shared by the
// whole camera, and per sensor (one per session) the settings, calibration and records
// that the command connection of that session reads and writes. Multi-byte records are kept
// as the camera holds them on the wire, so a get returns exactly what a set stored.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/Noise.h"
#include "sim/SimUpgrade.h"

namespace quorix::sim {

inline constexpr uint32_t kMaxSessions = 8;
inline constexpr size_t kMaxTextLength = 63;     // texts of the 0x13 and 0x18 groups
inline constexpr size_t kMaxDataModes = 32;      // entries of the data-mode list
inline constexpr size_t kMaxDepthRanges = 9;     // entries of the depth-range list
inline constexpr size_t kMaxRegisters = 4096;    // distinct register addresses kept
inline constexpr size_t kMaxOffsetRecords = 64;  // distinct offset-record keys kept
inline constexpr uint32_t kMaxPlaneBytes = 1228800;

// The camera kind codes of the announcement and the device types they stand for. The
// simulator keeps its own list instead of the library's model table, so that the tests check
// the library against it rather than against itself.
struct ModelInfo {
    uint32_t deviceType;
    uint8_t kindCode;
    const char* name;
};
inline constexpr std::array<ModelInfo, 5> kModels{{
    {440, 1, "TK4A"},
    {442, 2, "TK4Alite"},
    {561, 4, "TK5P"},
    {562, 9, "TK5E"},
    {563, 10, "TK5Pro_ADI"},
}};
// The model of a device type, or null for a type that no network camera has.
const ModelInfo* FindModel(uint32_t deviceType);
// The model of a name ("TK5P") or a device-type number ("561"); null when neither.
const ModelInfo* ParseModel(const std::string& text);

// Fields of the UDP announcement that do not come from the rest of the state. Everything
// is settable so a test can announce odd or invalid packets.
struct AnnounceState {
    bool enabled = true;
    uint32_t intervalMs = 200;
    uint8_t header = 0xAA;
    std::optional<uint8_t> bcc;  // unset: XOR of the other 88 bytes
    uint8_t len = 89;
    uint8_t tof = 1;                  // sessions announced
    uint8_t rgb = 1;                  // sessions with a colour sensor
    std::optional<std::string> ip;    // unset: the camera's own address
    std::optional<uint8_t> kindCode;  // unset: the code of the device type
    uint8_t cameraState = 0;          // 0 ready, 1 busy, 2 going away, 3 upgrade mode, 4
    std::string peerIp;               // host last served; filled on connection
    size_t datagramLength = 89;       // shorter cuts the packet, longer pads with zeros
};

// How the data stream of every session is made. Everything here is the simulator's own
// choice (a real camera fixes it in firmware); the frame rate is the sensors' ToF frame
// rate of group 0x02 and the colour size their colour lens record (sensor 2).
enum class TofPacking : uint8_t {
    kRaw12,          // depth 0x21, IR 0x22, both in one 0x23
    kRaw12Separate,  // as kRaw12, but both kinds as 0x21 and 0x22 in one frame
    kMsb12,          // 0x51, 0x52, both row-split in 0x53
    kY16,            // 0x61, 0x62, both row-split in 0x63
};
enum class ColourFormat : uint8_t {
    kNone,
    kMjpeg,         // typed by size: '1' 1920x1080, '2' 1280x720, '3' 640x360, '4' 640x480
    kMjpegUntyped,  // 0x25, any size, no exposure value
    kNv12,          // '5', always 640x480
};
// The device status block (0x2C) in every frame, and how soon it shows a change.
enum class StatusEcho : uint8_t {
    kOff,     // no status blocks
    kPrompt,  // the state of the frame's own capture
    kLate,    // the state of `statusLateFrames` captures earlier
    kNever,   // the state of the stream's first capture, for as long as it runs
};
// The pushed parameter block (0x2E), sent only after the host enabled it.
enum class ParamPush : uint8_t {
    kPrompt,  // in the first frames sent after the stream starts
    kLate,    // the same, `pushLateMs` after the start
    kNever,
};
struct StreamSettings {
    TofPacking packing = TofPacking::kRaw12;
    ColourFormat colour = ColourFormat::kMjpeg;
    float exposure = 0.015625f;  // appended to typed colour payloads
    StatusEcho status = StatusEcho::kPrompt;
    uint32_t statusLateFrames = 10;  // at most kMaxStatusLateFrames
    ParamPush push = ParamPush::kPrompt;
    uint32_t pushLateMs = 1500;
    uint32_t pushFrames = 3;  // frames that carry the block
    bool silent = false;      // a fault: captures are skipped and nothing is sent
    NoiseSettings noise;      // sensor noise on depth and IR (sim/Noise.h)
};
inline constexpr uint32_t kMaxStatusLateFrames = 1000;

// Per sensor: what the command connection of one session sets and gets.
struct SensorState {
    bool streaming = false;
    uint32_t streamStarts = 0;

    // Group 0x02.
    uint16_t thresholdX10 = 50;  // the camera holds threshold × 10
    uint8_t confidenceBit = 0;
    uint8_t confidenceWhich = 0;
    uint8_t tofFrameRate = 30;
    uint8_t slaveMode = 0;
    uint8_t antiInterference = 0;
    // Total range count, range 1, count 1, range 2, count 2, range 3, count 3.
    std::array<uint8_t, 7> wdrMode{2, 0, 1, 3, 1, 0, 0};
    std::array<bool, 10> measuringStatus{};

    // Group 0x04.
    std::map<uint16_t, uint16_t> registers;

    // Group 0x05.
    std::array<uint8_t, 2> irs2{};  // selector 0 (sub 0x00) and 1 (sub 0x10)
    uint8_t irs2Echo = 0;           // the value of the last IRS2 set, either selector
    uint16_t gmmGain = 200;
    uint8_t gmmOption = 0;
    std::array<uint8_t, 24> gmm{};  // three doubles

    // Group 0x06: nine u16 per range group (mode byte 0..255), in the order of the
    // measuring-range record: depth max, effective max, effective min, each near/mid/far.
    std::array<std::array<uint16_t, 9>, 256> measuringRanges{};

    // Groups 0x07 to 0x0E.
    uint8_t dataMode = 0;
    uint8_t depthMode = 0;
    uint8_t depthRange = 0;
    std::array<uint16_t, 9> pulseCounts{};  // per depth range 3 × group + index
    uint16_t ldEnable = 1;
    uint8_t isaEnable = 0;
    uint16_t talEnable = 0;
    std::array<uint8_t, 37> htp{};

    // Group 0x0F: the depth-offset record's nine u16 per mode byte, and the offset
    // records keyed by their first two bytes (two 48-byte halves and a last byte).
    std::array<std::array<uint16_t, 9>, 256> rangeOffsets{};
    struct OffsetRecord {
        std::array<uint8_t, 96> halves{};
        uint8_t last = 0;
    };
    std::map<uint16_t, OffsetRecord> offsets;

    // Group 0x10 (doubles).
    std::array<double, 9> depthIntrinsic{};
    std::array<double, 9> colourIntrinsic{};
    std::array<double, 8> depthDistortion{};
    std::array<double, 8> colourDistortion{};
    std::array<double, 9> rotation{};
    std::array<double, 3> translation{};
    std::array<double, 9> essential{};
    std::array<double, 9> fundamental{};

    // Group 0x11.
    bool jsonConfigSupported = true;
    bool sendCameraParams = false;

    // Group 0x12: mode, a byte kept 0, three flags.
    std::array<uint8_t, 5> workMode{};

    // Group 0x14, by sub-command (0x01, 0x02, 0x03, 0x11, 0x12, 0x13).
    std::map<uint8_t, std::vector<uint8_t>> imu;
    uint8_t imuDataMode = 0;

    // Group 0x15: lens records by sensor byte 0..3 (sensor, 1, width, height, fps, 2).
    std::array<std::array<uint8_t, 8>, 4> lens{};
    std::vector<uint8_t> dataModeList{0, 1, 2, 10, 11, 12, 13};
    std::vector<uint8_t> depthRangeList{0, 1, 2, 3, 4, 5, 6, 7, 8};

    // Group 0x16.
    std::vector<uint8_t> planeCorrection;  // the whole block, L bytes
    uint16_t planeCorrectionId = 0;

    // Group 0x19: value per option byte and selector 0..8.
    std::array<std::array<uint8_t, 9>, 256> dsp{};

    // Group 0x1A: double, u16, u8.
    std::array<uint8_t, 11> talDelay{};

    // Groups 0x1C, 0x1E, 0x1F.
    uint32_t heartbeats = 0;
    std::array<uint8_t, 5> testMode{};  // sub (0x01 or 0x02), then up to four bytes
    uint32_t slaveTriggers = 0;

    uint32_t unknownCommands = 0;
};

// Three values a camera reports while it is upgraded or takes a JSON file.
struct TransferState {
    uint8_t deviceState = 0;
    uint8_t parameter = 1;
    uint8_t third = 0;
};

struct SimState {
    uint32_t deviceType = 561;
    std::string address = "127.0.0.2";

    // Texts (group 0x13, group 0x18 and the announcement share serial and alias).
    std::string serial = "QXSIM0001";
    std::string alias;
    std::string pcba = "PCBA-SIM-01";
    std::string firmwareVersion = "20240115_V45";
    std::string hardwareVersion = "HW_V1.0";
    std::string flashType = "NOR";
    std::string upgradeFlag;
    std::string macAddress = "02:00:00:00:00:02";
    std::string softwareVersion = "20240115_V45";
    std::string ipAddress = "127.0.0.2";
    std::string subnetMask = "255.0.0.0";

    // Group 0x1D.
    bool upgradeSupported = true;
    bool jsonSupported = true;
    std::string upgradeHost;
    std::string upgradeFile;
    std::string jsonHost;
    std::string jsonFile;
    std::array<uint8_t, 9> upgradeStateSent{};  // last SetUpgradeState: byte, u32, u32
    std::array<uint8_t, 9> jsonStateSent{};
    TransferState upgradeState;
    TransferState jsonState;
    std::string transferFolder;  // stands in for the host the camera fetches files from
    TransferProgress upgradeProgress;
    TransferProgress jsonProgress;
    std::string jsonConfig;  // the last JSON file applied
    ModeRequest modeRequest = ModeRequest::kNone;

    uint32_t reboots = 0;

    AnnounceState announce;
    StreamSettings stream;
    std::vector<SensorState> sensors;
};

// A camera of the given type and address with `sessions` sensors, every field at its
// default (measuring ranges, calibration, lens records, texts derived from the address).
SimState MakeDefaultState(uint32_t deviceType, const std::string& address,
                          const std::string& serial, uint32_t sessions);

}  // namespace quorix::sim
