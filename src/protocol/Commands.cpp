// Request builders and reply readers of the camera command vocabulary.
#include "protocol/Commands.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace quorix::cmd {
namespace {

Command Make(uint8_t id, Direction direction, size_t requestLength, size_t replyCapacity) {
    Command c;
    c.id = id;
    c.direction = direction;
    c.requestLength = static_cast<uint8_t>(std::min(requestLength, kMaxRequest));
    c.replyCapacity = static_cast<uint16_t>(std::min(replyCapacity, kBufferSize));
    return c;
}

Command Make(uint8_t id, Direction direction, size_t requestLength, size_t replyCapacity,
             std::initializer_list<uint8_t> head) {
    Command c = Make(id, direction, requestLength, replyCapacity);
    std::copy(head.begin(), head.end(), c.data.begin());
    return c;
}

template <typename Record>
Command MakeFromRecord(uint8_t id, Direction direction, size_t requestLength, size_t replyCapacity,
                       const Record& record) {
    Command c = Make(id, direction, requestLength, replyCapacity);
    c.Put(0, &record, sizeof record);
    return c;
}

// Copies `size` reply bytes from `at` to `out`, or refuses when the reply ends before them.
int32_t Take(const Command& reply, size_t at, void* out, size_t size) {
    if (!reply.Holds(at + size)) {
        return kStatusTransferError;
    }
    reply.Get(at, out, size);
    return 0;
}

// --- Single values ---

struct ValueRow {
    uint8_t id;
    int16_t sub;        // -1: the value is the payload's first byte
    uint8_t width;      // bytes
    uint8_t scale;      // a set sends value x scale
    uint8_t setLength;  // 0: no set
    uint8_t getRequest;
    uint8_t getCapacity;  // 0: no get
};

constexpr ValueRow kValues[] = {
    /* Threshold */ {0x02, 0x01, 2, 10, 3, 3, 3},
    /* ConfidenceBit */ {0x02, 0x03, 1, 1, 2, 2, 2},
    /* ConfidenceWhich */ {0x02, 0x04, 1, 1, 2, 2, 2},
    /* TofFrameRate */ {0x02, 0x07, 1, 1, 2, 2, 2},
    /* SlaveMode */ {0x02, 0x08, 1, 1, 2, 0, 0},
    /* AntiInterference */ {0x02, 0x09, 1, 1, 2, 0, 0},
    /* LDEnable */ {0x0B, -1, 2, 1, 2, 2, 2},
    /* ISAEnable */ {0x0C, -1, 1, 1, 1, 1, 1},
    /* TALEnable */ {0x0D, -1, 2, 1, 2, 2, 2},
    /* DepthRange */ {0x09, -1, 1, 1, 1, 0, 1},
    /* DataMode */ {0x07, -1, 1, 1, 0, 0, 1},
    /* DepthMode */ {0x08, -1, 1, 1, 0, 1, 1},
    /* ImuDataMode */ {0x14, 0x41, 1, 1, 2, 0, 0},
};
static_assert(std::size(kValues) == static_cast<size_t>(Value::ImuDataMode) + 1);

const ValueRow& RowOf(Value item) {
    return kValues[static_cast<size_t>(item)];
}
size_t ValueAt(const ValueRow& row) {
    return row.sub < 0 ? 0 : 1;
}

void PutValue(Command& c, const ValueRow& row, uint32_t value) {
    if (row.sub >= 0) {
        c.PutU8(0, static_cast<uint8_t>(row.sub));
    }
    if (row.width == 1) {
        c.PutU8(ValueAt(row), static_cast<uint8_t>(value));
    } else {
        c.PutU16(ValueAt(row), static_cast<uint16_t>(value));
    }
}

// --- Data modes ---

struct DataModeRow {
    uint8_t mode;
    uint32_t code;
    uint32_t word;
    uint8_t tail[3];
};

constexpr DataModeRow kDataModes[] = {
    {0, 0xE0028000, 0x01010F01, {0x0F, 0x00, 0x00}},
    {1, 0xE0028001, 0x01010F01, {0x0F, 0x00, 0x00}},
    {2, 0xE0028002, 0x01020F01, {0x0F, 0x02, 0x0F}},
    {10, 0xE0028003, 0x01020F01, {0x0F, 0x02, 0x0F}},
    {11, 0xE002800B, 0x01010F01, {0x0F, 0x00, 0x00}},
    {12, 0xE002800C, 0x01010F01, {0x0F, 0x00, 0x00}},
    {13, 0xE002800D, 0x01010F01, {0x0F, 0x00, 0x00}},
};

// --- Camera parameters ---

constexpr ParamFrame kDepthIntrinsic[] = {{0x00, 0, 4}, {0x01, 4, 5}};
constexpr ParamFrame kColourIntrinsic[] = {{0x04, 0, 4}, {0x05, 4, 5}};
constexpr ParamFrame kDepthDistortion[] = {{0x02, 0, 4}, {0x03, 4, 4}};
constexpr ParamFrame kColourDistortion[] = {{0x06, 0, 4}, {0x07, 4, 4}};
constexpr ParamFrame kRotation[] = {{0x08, 0, 4}, {0x09, 4, 5}};
constexpr ParamFrame kTransfer[] = {{0x0A, 0, 3}};
constexpr ParamFrame kEssential[] = {{0x0B, 0, 4}, {0x0C, 4, 5}};
constexpr ParamFrame kFundamental[] = {{0x0D, 0, 4}, {0x0E, 4, 5}};

// --- Texts ---

struct TextRow {
    uint8_t id;
    int16_t setSub;  // -1: read only
    uint8_t getSub;
};

constexpr TextRow kTexts[] = {
    /* PCBA */ {0x13, 0x01, 0x01},
    /* SN */ {0x13, 0x02, 0x02},
    /* FWVer */ {0x13, -1, 0x03},
    /* HWVer */ {0x13, -1, 0x04},
    /* FlashType */ {0x13, -1, 0x05},
    /* Alias */ {0x13, -1, 0x17},
    /* DeviceUpgradeFlag */ {0x18, 0x01, 0x11},
    /* DeviceSN */ {0x18, 0x02, 0x12},
    /* DeviceMACAddr */ {0x18, 0x03, 0x13},
    /* DeviceSoftVer */ {0x18, 0x04, 0x14},
    /* DeviceIPAddr */ {0x18, 0x05, 0x15},
    /* DeviceSubnetMask */ {0x18, 0x06, 0x16},
};
static_assert(std::size(kTexts) == static_cast<size_t>(Text::DeviceSubnetMask) + 1);

// --- Inertial sensor ---

struct ImuRow {
    uint8_t sub;
    uint8_t size;
    uint8_t readRequestLength;
};

constexpr uint8_t kImuReadRequest = 0x21;
constexpr ImuRow kImu[] = {
    /* AccSensitivity */ {0x01, 36, 2},
    /* AccOffset */ {0x02, 15, 3},
    /* AccOffsetTemp */ {0x03, 11, 2},
    /* GyroSensitivity */ {0x11, 36, 2},
    /* GyroOffset */ {0x12, 15, 3},
    /* GyroOffsetTemp */ {0x13, 11, 2},
};
static_assert(std::size(kImu) == static_cast<size_t>(Imu::GyroOffsetTemp) + 1);

const ImuRow& RowOf(Imu item) {
    return kImu[static_cast<size_t>(item)];
}

// --- Lists ---

struct ListRow {
    uint8_t selector;
    uint8_t maxEntries;
};

constexpr ListRow kLists[] = {{0x00, 32}, {0x01, 9}};
const ListRow& RowOf(List list) {
    return kLists[static_cast<size_t>(list)];
}

constexpr size_t kListCountAt = 3;

// --- DSP status ---

struct DspRow {
    uint16_t setWord;
    uint16_t getWord;
    int16_t parameter;  // -1: the value sits at byte 3, else the parameter does
};

// A read word is the write word with bit 7 of its low byte set. Selectors 1 and 2 read
// that way too (0x0281, 0x0381): with their write word a camera cannot tell the read
// request from a write, and would store the request's zero byte as the new value.
constexpr DspRow kDsp[] = {
    {0x0101, 0x0181, -1}, {0x0201, 0x0281, -1}, {0x0301, 0x0381, -1},
    {0x0102, 0x0182, 2},  {0x0102, 0x0182, 3},  {0x0102, 0x0182, 4},
    {0x0102, 0x0182, 1},  {0x0302, 0x0382, 1},  {0x0202, 0x0282, 1},
};
static_assert(std::size(kDsp) == kMaxDspSelector + 1);

// --- Transfers ---

constexpr uint8_t kUpgradeSub = 0x01;
constexpr uint8_t kJsonSub = 0x03;
constexpr size_t kHostAt = 2;
constexpr size_t kHostRoom = 16;  // 15 characters and a NUL
constexpr size_t kNameAt = 18;

Command SetTransferState(uint8_t sub, const TransferState& state) {
    Command c =
        Make(kTransferGroup, Direction::Set, 10, 10, {sub, static_cast<uint8_t>(state.state)});
    c.PutU32(2, state.value1);
    c.PutU32(6, state.value2);
    return c;
}

// The three state bytes from `at`.
int32_t ReadTransferState(const Command& reply, size_t at, TransferState& state) {
    if (!reply.Holds(at + 3)) {
        return kStatusTransferError;
    }
    state.state = reply.U8(at);
    state.value1 = reply.U8(at + 1);
    state.value2 = reply.U8(at + 2);
    return 0;
}

// The host address at byte 2 and the file name of `path` at byte 18, after `head`.
int32_t HostAndFile(std::initializer_list<uint8_t> head, size_t length, size_t nameRoom,
                    std::string_view host, std::string_view path, Command& out) {
    const std::string name = FileNameOf(path);
    if (host.size() >= kHostRoom || name.empty() || name.size() > nameRoom) {
        return kStatusFailed;
    }
    out = Make(kTransferGroup, Direction::Set, length, length, head);
    out.Put(kHostAt, host.data(), host.size());
    out.Put(kNameAt, name.data(), name.size());
    return 0;
}

}  // namespace

// --- Command ---

void Command::Put(size_t at, const void* bytes, size_t size) {
    if (at <= data.size() && size <= data.size() - at && size > 0) {
        memcpy(data.data() + at, bytes, size);
    }
}

void Command::Get(size_t at, void* bytes, size_t size) const {
    if (at <= data.size() && size <= data.size() - at) {
        memcpy(bytes, data.data() + at, size);
    } else {
        memset(bytes, 0, size);
    }
}

void Command::PutU16(size_t at, uint16_t v) {
    const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    Put(at, b, 2);
}

void Command::PutU32(size_t at, uint32_t v) {
    const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                          static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    Put(at, b, 4);
}

uint16_t Command::U16(size_t at) const {
    return static_cast<uint16_t>(U8(at) | (U8(at + 1) << 8));
}

uint32_t Command::U32(size_t at) const {
    return static_cast<uint32_t>(U16(at)) | (static_cast<uint32_t>(U16(at + 2)) << 16);
}

double Command::F64(size_t at) const {
    double v = 0;
    Get(at, &v, sizeof v);
    return v;
}

// --- Single values ---

int32_t SetValue(Value item, uint32_t value, Command& out) {
    const ValueRow& row = RowOf(item);
    const uint64_t scaled = static_cast<uint64_t>(value) * row.scale;
    const uint64_t limit = row.width == 1 ? 0xFF : 0xFFFF;
    if (row.setLength == 0 || scaled > limit) {
        return kStatusBadParameter;
    }
    out = Make(row.id, Direction::Set, row.setLength, row.setLength);
    PutValue(out, row, static_cast<uint32_t>(scaled));
    return 0;
}

Command GetValue(Value item, uint32_t seed) {
    const ValueRow& row = RowOf(item);
    Command c = Make(row.id, Direction::Get, row.getRequest, row.getCapacity);
    PutValue(c, row, seed);
    return c;
}

int32_t ReadValue(Value item, const Command& reply, uint32_t& value) {
    const ValueRow& row = RowOf(item);
    if (!reply.Holds(ValueAt(row) + row.width)) {
        return kStatusTransferError;
    }
    value = row.width == 1 ? reply.U8(ValueAt(row)) : reply.U16(ValueAt(row));
    return 0;
}

Command StreamControl(bool start) {
    return Make(0x1B, Direction::Set, 1, 1, {static_cast<uint8_t>(start ? 0x01 : 0x00)});
}

// --- Group 0x02 records ---

Command SetWDRMode(const WDROutputMode& mode) {
    const bool three = mode.totalRange != 2;
    return Make(0x02, Direction::Set, 8, 8,
                {0x0A, static_cast<uint8_t>(mode.totalRange), static_cast<uint8_t>(mode.range1),
                 mode.range1Count, static_cast<uint8_t>(mode.range2), mode.range2Count,
                 static_cast<uint8_t>(three ? mode.range3 : 0),
                 static_cast<uint8_t>(three ? mode.range3Count : 0)});
}

Command GetWDRMode() {
    return Make(0x02, Direction::Get, 8, 8, {0x0A});
}

int32_t ReadWDRMode(const Command& reply, WDROutputMode& mode) {
    if (!reply.Holds(8)) {
        return kStatusTransferError;
    }
    mode.totalRange = reply.U8(1);
    mode.range1 = reply.U8(2);
    mode.range1Count = reply.U8(3);
    mode.range2 = reply.U8(4);
    mode.range2Count = reply.U8(5);
    mode.range3 = reply.U8(6);
    mode.range3Count = reply.U8(7);
    return 0;
}

Command SetMeasuringStatus(uint8_t item, uint8_t onOff) {
    return Make(0x02, Direction::Set, 3, 3, {0x0F, item, onOff});
}

Command GetMeasuringStatus() {
    return Make(0x02, Direction::Get, 4, 4, {0x0F});
}

int32_t ReadMeasuringStatus(const Command& reply, std::array<bool, 10>& status) {
    if (!reply.Holds(4)) {
        return kStatusTransferError;
    }
    status[0] = (reply.U8(1) & 0x01) != 0;
    for (int bit = 0; bit < 8; ++bit) {
        status[1 + bit] = (reply.U8(2) >> bit & 0x01) != 0;
    }
    status[9] = (reply.U8(3) & 0x01) != 0;
    return 0;
}

// --- Registers ---

Command SetRegisters(const uint16_t* addresses, const uint16_t* values, uint8_t count) {
    count = std::min(count, kMaxRegisters);
    Command c = Make(0x04, Direction::Set, 4u * count + 2, 4u * count + 2, {0x01, count});
    for (size_t i = 0; i < count; ++i) {
        c.PutU16(2 + 4 * i, addresses[i]);
        c.PutU16(4 + 4 * i, values[i]);
    }
    return c;
}

Command ReadRegisters(const uint16_t* addresses, uint8_t count, Direction direction) {
    count = std::min(count, kMaxRegisters);
    Command c = Make(0x04, direction, 2u * count + 2, 2u * count + 2, {0x00, count});
    for (size_t i = 0; i < count; ++i) {
        c.PutU16(2 + 2 * i, addresses[i]);
    }
    return c;
}

int32_t ReadRegisterValues(const Command& reply, uint16_t* values, uint8_t count) {
    count = std::min(count, kMaxRegisters);
    if (!reply.Holds(2 + 2u * count)) {
        return kStatusTransferError;
    }
    for (size_t i = 0; i < count; ++i) {
        values[i] = reply.U16(2 + 2 * i);
    }
    return 0;
}

// --- GMM ---

Command SetIRS2Enable(uint16_t value) {
    const uint8_t sub = (value >> 8) == 1 ? 0x10 : 0x00;
    return Make(0x05, Direction::Set, 2, 2, {sub, static_cast<uint8_t>(value & 0xFF)});
}

Command SetGMMGain(const NsGMMGain& gain) {
    Command c =
        Make(0x05, Direction::Set, 3, 3, {gain.option == 1 ? uint8_t{0x11} : uint8_t{0x01}});
    c.PutU16(1, gain.gain);
    return c;
}

Command SetGMM(const Vector3& gmm) {
    Command c = Make(0x05, Direction::Set, 25, 25, {0x02});
    for (size_t i = 0; i < gmm.size(); ++i) {
        c.PutF64(1 + 8 * i, gmm[i]);
    }
    return c;
}

Command GetGMM(const GmmBlock& gmm) {
    return MakeFromRecord(0x05, Direction::Get, gmm.size(), gmm.size(), gmm);
}

int32_t ReadGMM(const Command& reply, GmmBlock& gmm) {
    return Take(reply, 0, gmm.data(), gmm.size());
}

// --- Ranges, modes, pulse counts ---

Command SetMeasuringRange(const NsMeasuringRange& range) {
    return MakeFromRecord(0x06, Direction::Set, sizeof range, sizeof range, range);
}

Command GetMeasuringRange(uint8_t group) {
    return Make(0x06, Direction::Get, 1, sizeof(NsMeasuringRange), {group});
}

int32_t ReadMeasuringRange(const Command& reply, NsMeasuringRange& range) {
    auto* bytes = reinterpret_cast<uint8_t*>(&range);
    return Take(reply, 1, bytes + 1, sizeof range - 1);
}

Command SetDataMode(uint8_t mode) {
    Command c = Make(0x07, Direction::Set, 11, 64);
    for (const DataModeRow& row : kDataModes) {
        if (row.mode == mode) {
            c.PutU32(0, row.code);
            c.PutU32(4, row.word);
            c.Put(8, row.tail, sizeof row.tail);
        }
    }
    return c;
}

Command SetPulseCount(const PulseCountRecord& record) {
    return MakeFromRecord(0x0A, Direction::Set, sizeof record, sizeof record, record);
}

Command GetPulseCount() {
    return Make(0x0A, Direction::Get, 0, std::tuple_size_v<PulseCountBlock>);
}

int32_t ReadPulseCount(const Command& reply, PulseCountBlock& record) {
    return Take(reply, 0, record.data(), record.size());
}

Command SetHTP(const HtpBlock& htp) {
    return MakeFromRecord(0x0E, Direction::Set, htp.size(), htp.size(), htp);
}

Command GetHTP(const HtpBlock& htp) {
    return MakeFromRecord(0x0E, Direction::Get, 1, htp.size(), htp);
}

int32_t ReadHTP(const Command& reply, HtpBlock& htp) {
    return Take(reply, 0, htp.data(), htp.size());
}

// --- Offsets ---

namespace {
constexpr size_t kOffsetHalf = 48;
constexpr size_t kOffsetHalvesAt = 2;
constexpr size_t kOffsetFrameDataAt = 4;
constexpr size_t kOffsetLastAt = 52;
}  // namespace

Command SetOffSetFrame(const OffsetRecord& record, uint8_t k) {
    k = std::min<uint8_t>(k, 1);
    Command c = Make(0x0F, Direction::Set, k == 0 ? 52 : 54, k == 0 ? 52 : 54,
                     {record[0], record[1], k, 0x00});
    c.Put(kOffsetFrameDataAt, record.data() + kOffsetHalvesAt + kOffsetHalf * k, kOffsetHalf);
    if (k == 1) {
        c.PutU8(kOffsetLastAt, record.back());
    }
    return c;
}

Command GetOffSetFrame(const OffsetRecord& record, uint8_t k) {
    return Make(0x0F, Direction::Get, 3, 54, {record[0], std::min<uint8_t>(k, 1), record[1]});
}

int32_t ReadOffSetFrame(const Command& reply, uint8_t k, OffsetRecord& record) {
    k = std::min<uint8_t>(k, 1);
    if (!reply.Holds(k == 0 ? kOffsetFrameDataAt + kOffsetHalf : kOffsetLastAt + 1)) {
        return kStatusTransferError;
    }
    reply.Get(kOffsetFrameDataAt, record.data() + kOffsetHalvesAt + kOffsetHalf * k, kOffsetHalf);
    if (k == 1) {
        record.back() = reply.U8(kOffsetLastAt);
    }
    return 0;
}

Command SetRangeOffset(const RangeOffsetRecord& record) {
    Command c = Make(0x0F, Direction::Set, 54, 54, {record[0], 0x00, 0x02, 0x00});
    c.Put(4, record.data() + 1, record.size() - 1);
    return c;
}

Command GetRangeOffset(uint8_t group) {
    return Make(0x0F, Direction::Get, 54, 54, {group, 0x02});
}

int32_t ReadRangeOffset(const Command& reply, RangeOffsetRecord& record) {
    if (!reply.Holds(4 + record.size() - 1)) {
        return kStatusTransferError;
    }
    record[0] = reply.U8(0);
    reply.Get(4, record.data() + 1, record.size() - 1);
    return 0;
}

// --- Camera parameters ---

std::span<const ParamFrame> ParamFrames(CameraParam param, uint8_t lens) {
    const bool depth = lens == 1;
    const bool colour = lens == 2;
    switch (param) {
        case CameraParam::Intrinsic:
            return depth    ? kDepthIntrinsic
                   : colour ? kColourIntrinsic
                            : std::span<const ParamFrame>{};
        case CameraParam::Distortion:
            return depth    ? kDepthDistortion
                   : colour ? kColourDistortion
                            : std::span<const ParamFrame>{};
        case CameraParam::Rotation:
            return kRotation;
        case CameraParam::Transfer:
            return kTransfer;
        case CameraParam::Essential:
            return kEssential;
        case CameraParam::Fundamental:
            return kFundamental;
    }
    return {};
}

size_t ParamCount(CameraParam param) {
    switch (param) {
        case CameraParam::Distortion:
            return 8;
        case CameraParam::Transfer:
            return 3;
        default:
            return 9;
    }
}

Command SetParamFrame(const ParamFrame& frame, const double* values) {
    Command c = Make(0x10, Direction::Set, 1 + 8u * frame.count, 1 + 8u * frame.count, {frame.sub});
    for (size_t i = 0; i < frame.count; ++i) {
        c.PutF64(1 + 8 * i, values[frame.first + i]);
    }
    return c;
}

Command GetParamFrame(const ParamFrame& frame) {
    return Make(0x10, Direction::Get, 1, 1 + 8u * frame.count, {frame.sub});
}

int32_t ReadParamFrame(const Command& reply, const ParamFrame& frame, double* values) {
    return Take(reply, 1, values + frame.first, 8u * frame.count);
}

// --- Group 0x11 ---

Command IsSupportJSONConfig() {
    return Make(0x11, Direction::Get, 2, 64, {0x80, 0x01});
}

int32_t ReadJSONConfigSupported(const Command& reply, bool& supported) {
    if (!reply.Holds(3)) {
        return kStatusTransferError;
    }
    supported = reply.U8(1) == 1 && reply.U8(2) == 1;
    return 0;
}

Command SendCameraParams(bool enable) {
    return Make(0x11, Direction::Set, 64, 64, {0x00, 0x02, static_cast<uint8_t>(enable ? 1 : 0)});
}

// --- Group 0x12 ---

Command SetWorkMode(const WorkModeRecord& mode) {
    return Make(
        0x12, Direction::Set, 6, 6,
        {mode.mode, 0x00, static_cast<uint8_t>(mode.flags[0] != 0),
         static_cast<uint8_t>(mode.flags[1] != 0), static_cast<uint8_t>(mode.flags[2] != 0)});
}

Command GetWorkMode(const WorkModeRecord& mode) {
    return MakeFromRecord(0x12, Direction::Get, sizeof mode, sizeof mode, mode);
}

int32_t ReadWorkMode(const Command& reply, WorkModeRecord& mode) {
    return Take(reply, 0, &mode, sizeof mode);
}

Command RebootCamera() {
    return Make(0x12, Direction::Set, 1, 1, {0x08});
}

// --- Texts ---

int32_t SetText(Text item, const char* text, uint32_t length, Command& out) {
    const TextRow& row = kTexts[static_cast<size_t>(item)];
    if (row.setSub < 0 || (text == nullptr && length > 0)) {
        return kStatusBadParameter;
    }
    if (length + 1 > kMaxRequest) {
        return kStatusFailed;  // the wire would cut it
    }
    out = Make(row.id, Direction::Set, length + 1, length + 1, {static_cast<uint8_t>(row.setSub)});
    out.Put(1, text, length);
    return 0;
}

Command GetText(Text item, uint32_t capacity) {
    const TextRow& row = kTexts[static_cast<size_t>(item)];
    return Make(row.id, Direction::Get, 1, static_cast<size_t>(capacity) + 1, {row.getSub});
}

void ReadText(const Command& reply, char* text, uint32_t capacity) {
    if (text == nullptr || capacity == 0) {
        return;
    }
    // The reply is the sub-command and the text, without a NUL.
    const size_t arrived = reply.received > 0 ? reply.received - 1u : 0;
    const size_t n = std::min<size_t>(capacity - 1, arrived);
    reply.Get(1, text, n);
    text[n] = '\0';
}

// --- Inertial sensor ---

size_t ImuSize(Imu item) {
    return RowOf(item).size;
}

Command SetImu(Imu item, const uint8_t* values) {
    const ImuRow& row = RowOf(item);
    Command c = Make(0x14, Direction::Set, row.size + 1u, row.size + 1u, {row.sub});
    c.Put(1, values, row.size);
    return c;
}

Command ImuReadRequest(Imu item) {
    const ImuRow& row = RowOf(item);
    return Make(0x14, Direction::Set, row.readRequestLength, row.readRequestLength,
                {kImuReadRequest, row.sub});
}

Command ImuFetch(Imu item) {
    const ImuRow& row = RowOf(item);
    return Make(0x14, Direction::Get, row.size + 1u, row.size + 1u, {kImuReadRequest, row.sub});
}

int32_t ReadImu(const Command& reply, Imu item, uint8_t* values) {
    return Take(reply, 1, values, RowOf(item).size);
}

// --- Lens ---

Command SetLens(const LensRecord& lens) {
    return MakeFromRecord(0x15, Direction::Set, sizeof lens, sizeof lens, lens);
}

Command GetLens(uint8_t sensor) {
    return Make(0x15, Direction::Get, 1, 64, {static_cast<uint8_t>(sensor | 0x10)});
}

int32_t ReadLens(const Command& reply, LensRecord& lens) {
    auto* bytes = reinterpret_cast<uint8_t*>(&lens);
    return Take(reply, 1, bytes + 1, sizeof lens - 1);
}

// --- Lists ---

size_t ListMaxEntries(List list) {
    return RowOf(list).maxEntries;
}

int32_t SetList(List list, const uint8_t* data, uint32_t length, Command& out) {
    const ListRow& row = RowOf(list);
    if (data == nullptr || length < 1 || data[0] > row.maxEntries || data[0] + 1u > length) {
        return kStatusBadParameter;
    }
    out = Make(0x15, Direction::Set, 64, 64, {0x04, 0x00, row.selector, data[0]});
    out.Put(kListCountAt + 1, data + 1, data[0]);
    return 0;
}

Command ListRequest(List list, Direction direction) {
    return Make(0x15, direction, 64, 64, {0x14, 0x00, RowOf(list).selector});
}

int32_t ReadList(const Command& reply, List list, uint8_t* data, uint32_t& length) {
    if (!reply.Holds(kListCountAt + 1)) {
        return kStatusTransferError;
    }
    const uint8_t count = reply.U8(kListCountAt);
    if (count > RowOf(list).maxEntries) {
        return kStatusFailed;
    }
    if (!reply.Holds(kListCountAt + 1u + count)) {
        return kStatusTransferError;
    }
    if (data == nullptr || count + 1u > length) {
        return kStatusBadParameter;
    }
    data[0] = count;
    reply.Get(kListCountAt + 1, data + 1, count);
    length = count + 1u;
    return 0;
}

// --- Plane correction ---

Command PlaneHeader(uint16_t id, uint32_t length) {
    Command c = Make(0x16, Direction::Set, 64, 64);
    c.PutU8(4, 0x01);
    c.PutU32(9, length);
    c.PutU16(13, id);
    return c;
}

Command PlaneData(uint32_t index, const uint8_t* bytes, size_t size) {
    Command c = Make(0x16, Direction::Set, 64, 64);
    c.PutU32(0, index);
    c.Put(4, bytes, std::min<size_t>(size, kPlanePiece));
    return c;
}

Command PlaneRequest(uint32_t index, Direction direction) {
    Command c = Make(0x16, direction, 64, 64);
    c.PutU32(5, index);  // byte 4 stays 0: a read
    return c;
}

int32_t ReadPlaneHeader(const Command& reply, PlaneHeaderInfo& header) {
    if (!reply.Holds(15)) {
        return kStatusTransferError;
    }
    header.index = reply.U32(0);
    header.length = reply.U32(9);
    header.id = reply.U16(13);
    return 0;
}

int32_t ReadPlanePiece(const Command& reply, size_t size, uint32_t& index, const uint8_t*& bytes) {
    if (size > kPlanePiece || !reply.Holds(4 + size)) {
        return kStatusTransferError;
    }
    index = reply.U32(0);
    bytes = reply.data.data() + 4;
    return 0;
}

// --- DSP status ---

int32_t SetDspStatus(const DspStatusRecord& status, Command& out) {
    if (status.selector > kMaxDspSelector) {
        return kStatusBadParameter;
    }
    const DspRow& row = kDsp[status.selector];
    out = Make(0x19, Direction::Set, 64, 64, {status.option});
    out.PutU16(1, row.setWord);
    if (row.parameter < 0) {
        out.PutU8(3, status.value);
    } else {
        out.PutU8(3, static_cast<uint8_t>(row.parameter));
        out.PutU8(4, status.value);
    }
    return 0;
}

int32_t DspStatusRequest(const DspStatusRecord& status, Direction direction, Command& out) {
    if (status.selector > kMaxDspSelector) {
        return kStatusBadParameter;
    }
    const DspRow& row = kDsp[status.selector];
    out = Make(0x19, direction, 64, 64, {status.option});
    out.PutU16(1, row.getWord);
    if (row.parameter >= 0) {
        out.PutU8(3, static_cast<uint8_t>(row.parameter));
    }
    return 0;
}

int32_t ReadDspStatus(const Command& reply, uint32_t selector, uint8_t& value) {
    if (selector > kMaxDspSelector) {
        return kStatusBadParameter;
    }
    const size_t at = kDsp[selector].parameter < 0 ? 3 : 4;
    return Take(reply, at, &value, 1);
}

// --- Small groups ---

Command SetTalDelay(const TalDelayRecord& record) {
    return MakeFromRecord(0x1A, Direction::Set, record.size(), record.size(), record);
}

Command GetTalDelay(const TalDelayRecord& record) {
    return MakeFromRecord(0x1A, Direction::Get, record.size(), record.size(), record);
}

int32_t ReadTalDelay(const Command& reply, TalDelayRecord& record) {
    return Take(reply, 0, record.data(), record.size());
}

Command HeartBeat() {
    return Make(0x1C, Direction::Get, 1, 1, {0x01});
}

int32_t SetTestModeState(uint32_t mode, const TestModeRecord& record, Command& out) {
    if (mode > 1) {
        return kStatusBadParameter;
    }
    out = Make(0x1E, Direction::Set, 5, 5,
               {mode == 0 ? uint8_t{0x01} : uint8_t{0x02}, static_cast<uint8_t>(record[0])});
    if (mode == 1 && record[0] == 1) {
        for (size_t i = 1; i < record.size(); ++i) {
            out.PutU8(1 + i, static_cast<uint8_t>(record[i]));
        }
    }
    return 0;
}

Command SetSlaveTrigger() {
    return Make(0x1F, Direction::Set, 1, 1, {0x00});
}

// --- Transfers ---

Command GetUpgradeIsSupported() {
    return Make(kTransferGroup, Direction::Get, 64, 64, {0x02, 0x01});
}

Command GetJsonIsSupported() {
    return Make(kTransferGroup, Direction::Get, 64, 64, {kJsonSub, 0x01});
}

int32_t ReadSupported(const Command& reply, uint8_t& supported) {
    return Take(reply, 2, &supported, 1);
}

std::string FileNameOf(std::string_view path) {
    std::string name(path);
    std::replace(name.begin(), name.end(), '/', '\\');
    const size_t last = name.rfind('\\');
    return last == std::string::npos ? name : name.substr(last + 1);
}

int32_t SetToUpgradeMode(std::string_view host, std::string_view path, Command& out) {
    return HostAndFile({kUpgradeSub, 0x01}, 64, kUpgradeNameRoom, host, path, out);
}

int32_t SetToJsonMode(std::string_view host, Command& out) {
    if (host.size() >= kHostRoom) {
        return kStatusFailed;
    }
    out = Make(kTransferGroup, Direction::Set, 38, 38, {kJsonSub, 0x01});
    out.Put(kHostAt, host.data(), host.size());
    return 0;
}

int32_t SetJsonPath(std::string_view host, std::string_view path, Command& out) {
    return HostAndFile({kJsonSub, 0x04}, 38, kJsonNameRoom, host, path, out);
}

Command SetUpgradeState(const TransferState& state) {
    return SetTransferState(kUpgradeSub, state);
}

Command GetUpgradeState() {
    return Make(kTransferGroup, Direction::Get, 10, 10, {kUpgradeSub});
}

int32_t ReadUpgradeState(const Command& reply, TransferState& state) {
    return ReadTransferState(reply, 1, state);
}

Command SetJsonState(const TransferState& state) {
    return SetTransferState(kJsonSub, state);
}

Command GetJsonState() {
    return Make(kTransferGroup, Direction::Get, 10, 10, {kJsonSub, 0x02});
}

int32_t ReadJsonState(const Command& reply, TransferState& state) {
    return ReadTransferState(reply, 2, state);
}

// --- USB-only commands ---

Command SetTecentMode(uint8_t mode) {
    return Make(0x17, Direction::Set, 2, 2, {0x01, static_cast<uint8_t>(mode - 99)});
}

Command GetTecentMode() {
    return Make(0x17, Direction::Get, 2, 2, {0x01});
}

int32_t ReadTecentMode(const Command& reply, uint8_t& mode) {
    if (!reply.Holds(2)) {
        return kStatusTransferError;
    }
    mode = static_cast<uint8_t>(reply.U8(1) + 99);
    return 0;
}

int32_t SetRgbWeightMatrix(const uint8_t* data, uint32_t length, Command& out) {
    if ((data == nullptr && length > 0) || length + 2 > kMaxRequest) {
        return kStatusBadParameter;
    }
    out = Make(0x15, Direction::Set, length + 2, length + 2, {0x03, 0x01});
    out.Put(2, data, length);
    return 0;
}

Command SetRgbAecEnabled(bool enable) {
    return Make(0x15, Direction::Set, 3, 3, {0x03, 0x02, static_cast<uint8_t>(enable ? 0 : 1)});
}

Command SetRgbExposure(float time, float gain) {
    Command c = Make(0x15, Direction::Set, 10, 10, {0x03, 0x03});
    c.Put(2, &time, sizeof time);
    c.Put(6, &gain, sizeof gain);
    return c;
}

Command GetRgbExposure() {
    return Make(0x15, Direction::Get, 10, 10, {0x03, 0x03});
}

int32_t ReadRgbExposure(const Command& reply, float& time, float& gain) {
    if (!reply.Holds(10)) {
        return kStatusTransferError;
    }
    reply.Get(2, &time, sizeof time);
    reply.Get(6, &gain, sizeof gain);
    return 0;
}

Command SetDataModeByte(uint8_t mode) {
    return Make(0x07, Direction::Set, 1, 1, {mode});
}

Command SetWdrRecord(uint8_t group, const void* record) {
    Command c = Make(group, Direction::Set, kWdrRecordBytes, kWdrRecordBytes);
    c.Put(0, record, kWdrRecordBytes);
    return c;
}

Command GetWdrRecord(uint8_t group) {
    return Make(group, Direction::Get, kWdrReplyBytes, kWdrReplyBytes);
}

Command SetPsensor(uint8_t id, uint8_t item, const uint8_t* value, size_t size) {
    Command c = Make(0x13, Direction::Set, kMaxRequest, kMaxRequest, {0x06, id, item});
    c.Put(3, value, std::min(size, kMaxRequest - 3));
    return c;
}

Command PsensorRequest(uint8_t id, uint8_t item, Direction direction) {
    return direction == Direction::Set
               ? Make(0x13, Direction::Set, 3, 3, {kPsensorGet, id, item})
               : Make(0x13, Direction::Get, kMaxRequest, kMaxRequest, {kPsensorGet, id, item});
}

}  // namespace quorix::cmd
