// The network command table as a camera executes it. Each group is one function; the
// sub-command (first payload byte) selects the item. Gets reply with the sub-command in
// byte 0 where the request carries one, so reply byte k sits where request byte k was.
#include "sim/CommandHandler.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "sim/SimWire.h"

namespace quorix::sim {

static_assert(std::endian::native == std::endian::little,
              "doubles are copied to the wire in host order");

void PendingReads::Store(uint8_t group, const uint8_t* payload, size_t length) {
    m_requests[group].assign(payload, payload + length);
}

std::vector<uint8_t> PendingReads::Take(uint8_t group) {
    auto it = m_requests.find(group);
    if (it == m_requests.end()) {
        return {};
    }
    std::vector<uint8_t> request = std::move(it->second);
    m_requests.erase(it);
    return request;
}

namespace {

// Data-mode codes of the 11-byte SetDataMode payload: code, word, three bytes.
struct DataModeRow {
    uint8_t mode;
    uint32_t code;
    uint32_t word;
    uint8_t bytes[3];
};
constexpr DataModeRow kDataModes[] = {
    {0, 0xE0028000, 0x01010F01, {0x0F, 0, 0}},
    {1, 0xE0028001, 0x01010F01, {0x0F, 0, 0}},
    {2, 0xE0028002, 0x01020F01, {0x0F, 0x02, 0x0F}},
    {10, 0xE0028003, 0x01020F01, {0x0F, 0x02, 0x0F}},
    {11, 0xE002800B, 0x01010F01, {0x0F, 0, 0}},
    {12, 0xE002800C, 0x01010F01, {0x0F, 0, 0}},
    {13, 0xE002800D, 0x01010F01, {0x0F, 0, 0}},
};

std::string TextOf(const uint8_t* p, size_t n) {
    const auto* begin = reinterpret_cast<const char*>(p);
    const size_t length = std::min({n, kMaxTextLength, strnlen(begin, n)});
    return std::string(begin, length);
}

// One request being executed.
class Exchange {
public:
    Exchange(SimState& state, SensorState& sensor, PendingReads& pending, bool get,
             const uint8_t* p, size_t n, CommandOutcome& out)
        : m_state(state),
          m_sensor(sensor),
          m_pending(pending),
          m_get(get),
          m_p(p),
          m_n(n),
          m_out(out) {}

    void Run(uint8_t group);

private:
    uint8_t Sub() const { return m_n > 0 ? m_p[0] : 0; }
    // Reply of `size` zero bytes to be filled.
    uint8_t* Reply(size_t size) {
        m_out.payload.assign(size, 0);
        return m_out.payload.data();
    }
    void ReplyBytes(std::initializer_list<uint8_t> bytes) { m_out.payload.assign(bytes); }
    void Unknown() {
        m_out.known = false;
        ++m_sensor.unknownCommands;
    }
    void ReplyText(uint8_t sub, const std::string& text) {
        uint8_t* r = Reply(1 + std::min(text.size(), kMaxTextLength));
        r[0] = sub;
        std::memcpy(r + 1, text.data(), m_out.payload.size() - 1);
    }
    // A request for a two-step get: the read request this connection sent before the get,
    // or, when there is none, the get's own payload.
    std::vector<uint8_t> ReadRequest(uint8_t group) {
        std::vector<uint8_t> request = m_pending.Take(group);
        if (request.empty()) {
            request.assign(m_p, m_p + m_n);
        }
        return request;
    }

    void Settings();                // 0x02
    void Registers();               // 0x04
    void Gmm();                     // 0x05
    void MeasuringRange();          // 0x06
    void DataMode();                // 0x07
    void DepthMode();               // 0x08
    void DepthRange();              // 0x09
    void PulseCount();              // 0x0A
    void U16Item(uint16_t& field);  // 0x0B, 0x0D
    void U8Item(uint8_t& field);    // 0x0C
    // A record sent and returned whole, without a sub-command (0x0E, 0x1A).
    template <size_t N>
    void Block(std::array<uint8_t, N>& field);
    void Offsets();          // 0x0F
    void CameraParams();     // 0x10
    void CameraConfig();     // 0x11
    void WorkMode();         // 0x12
    void Texts();            // 0x13
    void Imu();              // 0x14
    void LensAndLists();     // 0x15
    void PlaneCorrection();  // 0x16
    void DeviceTexts();      // 0x18
    void DspStatus();        // 0x19
    void Stream();           // 0x1B
    void Heartbeat();        // 0x1C
    void Maintenance();      // 0x1D
    void TestMode();         // 0x1E
    void SlaveTrigger();     // 0x1F

    SimState& m_state;
    SensorState& m_sensor;
    PendingReads& m_pending;
    const bool m_get;
    const uint8_t* const m_p;
    const size_t m_n;
    CommandOutcome& m_out;
};

void Exchange::Run(uint8_t group) {
    switch (group) {
        case 0x02:
            return Settings();
        case 0x04:
            return Registers();
        case 0x05:
            return Gmm();
        case 0x06:
            return MeasuringRange();
        case 0x07:
            return DataMode();
        case 0x08:
            return DepthMode();
        case 0x09:
            return DepthRange();
        case 0x0A:
            return PulseCount();
        case 0x0B:
            return U16Item(m_sensor.ldEnable);
        case 0x0C:
            return U8Item(m_sensor.isaEnable);
        case 0x0D:
            return U16Item(m_sensor.talEnable);
        case 0x0E:
            return Block(m_sensor.htp);
        case 0x0F:
            return Offsets();
        case 0x10:
            return CameraParams();
        case 0x11:
            return CameraConfig();
        case 0x12:
            return WorkMode();
        case 0x13:
            return Texts();
        case 0x14:
            return Imu();
        case 0x15:
            return LensAndLists();
        case 0x16:
            return PlaneCorrection();
        case 0x18:
            return DeviceTexts();
        case 0x19:
            return DspStatus();
        case 0x1A:
            return Block(m_sensor.talDelay);
        case 0x1B:
            return Stream();
        case 0x1C:
            return Heartbeat();
        case 0x1D:
            return Maintenance();
        case 0x1E:
            return TestMode();
        case 0x1F:
            return SlaveTrigger();
        default:
            return Unknown();
    }
}

// Threshold (× 10, u16), one-byte switches, WDR output mode and measuring status.
void Exchange::Settings() {
    const uint8_t sub = Sub();
    uint8_t* byteField = nullptr;
    switch (sub) {
        case 0x03:
            byteField = &m_sensor.confidenceBit;
            break;
        case 0x04:
            byteField = &m_sensor.confidenceWhich;
            break;
        case 0x07:
            byteField = &m_sensor.tofFrameRate;
            break;
        case 0x08:
            byteField = &m_sensor.slaveMode;
            break;
        case 0x09:
            byteField = &m_sensor.antiInterference;
            break;
        default:
            break;
    }
    if (byteField != nullptr) {
        if (m_get) {
            ReplyBytes({sub, *byteField});
        } else if (m_n >= 2) {
            *byteField = m_p[1];
        }
        return;
    }
    switch (sub) {
        case 0x01:
            if (m_get) {
                uint8_t* r = Reply(3);
                r[0] = sub;
                PutU16(r + 1, m_sensor.thresholdX10);
            } else if (m_n >= 3) {
                m_sensor.thresholdX10 = GetU16(m_p + 1);
            }
            return;
        case 0x0A:
            if (m_get) {
                uint8_t* r = Reply(8);
                r[0] = sub;
                std::copy(m_sensor.wdrMode.begin(), m_sensor.wdrMode.end(), r + 1);
            } else if (m_n >= 8) {
                std::copy(m_p + 1, m_p + 8, m_sensor.wdrMode.begin());
            }
            return;
        case 0x0F:
            if (m_get) {
                // Item 0 in byte 1 bit 0, items 1..8 in byte 2 bits 0..7, item 9 in byte 3.
                uint8_t* r = Reply(4);
                r[0] = sub;
                const auto& s = m_sensor.measuringStatus;
                r[1] = s[0] ? 1 : 0;
                for (int bit = 0; bit < 8; ++bit) {
                    r[2] = static_cast<uint8_t>(r[2] | ((s[1 + bit] ? 1 : 0) << bit));
                }
                r[3] = s[9] ? 1 : 0;
            } else if (m_n >= 3 && m_p[1] < m_sensor.measuringStatus.size() && m_p[2] <= 1) {
                m_sensor.measuringStatus[m_p[1]] = m_p[2] == 1;
            }
            return;
        default:
            Unknown();
    }
}

// Sub 0x01 writes n (address, value) pairs; sub 0x00 is the read request of n addresses,
// fetched by the get that follows.
void Exchange::Registers() {
    if (!m_get) {
        if (m_n < 2) {
            return;
        }
        const size_t count = m_p[1];
        if (Sub() == 0x00) {
            m_pending.Store(0x04, m_p, m_n);
        } else if (Sub() == 0x01 && m_n >= 2 + 4 * count) {
            for (size_t i = 0; i < count; ++i) {
                const uint16_t address = GetU16(m_p + 2 + 4 * i);
                if (m_sensor.registers.size() < kMaxRegisters ||
                    m_sensor.registers.count(address) != 0) {
                    m_sensor.registers[address] = GetU16(m_p + 4 + 4 * i);
                }
            }
        } else {
            Unknown();
        }
        return;
    }
    const std::vector<uint8_t> request = ReadRequest(0x04);
    size_t count = request.size() >= 2 ? request[1] : 0;
    count = std::min(count, (request.size() - std::min<size_t>(request.size(), 2)) / 2);
    count = std::min(count, (kMaxRequestPayload - 2) / 2);
    uint8_t* r = Reply(2 + 2 * count);
    r[1] = static_cast<uint8_t>(count);
    for (size_t i = 0; i < count; ++i) {
        auto it = m_sensor.registers.find(GetU16(request.data() + 2 + 2 * i));
        PutU16(r + 2 + 2 * i, it == m_sensor.registers.end() ? 0 : it->second);
    }
}

// IRS2 switch (0x00, 0x10), GMM gain (0x01, 0x11 with option 1), GMM doubles (0x02); a
// get of any sub answers the GMM record: the sub, the three doubles, three zero bytes.
void Exchange::Gmm() {
    const uint8_t sub = Sub();
    if (m_get) {
        uint8_t* r = Reply(28);
        r[0] = sub;
        std::copy(m_sensor.gmm.begin(), m_sensor.gmm.end(), r + 1);
        return;
    }
    switch (sub) {
        case 0x00:
        case 0x10:
            if (m_n >= 2) {
                m_sensor.irs2[sub >> 4] = m_p[1];
                m_sensor.irs2Echo = m_p[1];
            }
            return;
        case 0x01:
        case 0x11:
            if (m_n >= 3) {
                m_sensor.gmmGain = GetU16(m_p + 1);
                m_sensor.gmmOption = sub == 0x11 ? 1 : 0;
            }
            return;
        case 0x02:
            if (m_n >= 25) {
                std::copy(m_p + 1, m_p + 25, m_sensor.gmm.begin());
            }
            return;
        default:
            Unknown();
    }
}

// The 19-byte measuring-range record: mode, then nine u16.
void Exchange::MeasuringRange() {
    if (m_n < 1) {
        return Unknown();
    }
    auto& values = m_sensor.measuringRanges[m_p[0]];
    if (m_get) {
        uint8_t* r = Reply(19);
        r[0] = m_p[0];
        for (size_t i = 0; i < values.size(); ++i) {
            PutU16(r + 1 + 2 * i, values[i]);
        }
    } else if (m_n >= 19) {
        for (size_t i = 0; i < values.size(); ++i) {
            values[i] = GetU16(m_p + 1 + 2 * i);
        }
    }
}

// A set must carry one row of the data-mode code table exactly; anything else (eleven
// zero bytes included) leaves the mode as it is.
void Exchange::DataMode() {
    if (m_get) {
        ReplyBytes({m_sensor.dataMode});
        return;
    }
    if (m_n < 11) {
        return Unknown();
    }
    for (const DataModeRow& row : kDataModes) {
        if (GetU32(m_p) == row.code && GetU32(m_p + 4) == row.word &&
            std::equal(row.bytes, row.bytes + 3, m_p + 8)) {
            m_sensor.dataMode = row.mode;
            return;
        }
    }
    Unknown();
}

void Exchange::DepthMode() {
    if (!m_get) {
        return Unknown();
    }
    ReplyBytes({m_sensor.depthMode});
}

void Exchange::DepthRange() {
    if (m_get) {
        ReplyBytes({m_sensor.depthRange});
    } else if (m_n >= 1 && m_p[0] <= 8) {
        m_sensor.depthRange = m_p[0];
    }
}

// Set: the 5-byte pulse-count record (count u16, group, index, reserved). Get: 20 bytes,
// the pulse count of the current depth range, then those of ranges 0..8.
void Exchange::PulseCount() {
    if (m_get) {
        uint8_t* r = Reply(20);
        PutU16(r, m_sensor.pulseCounts[m_sensor.depthRange % 9]);
        for (size_t i = 0; i < m_sensor.pulseCounts.size(); ++i) {
            PutU16(r + 2 + 2 * i, m_sensor.pulseCounts[i]);
        }
    } else if (m_n >= 5 && m_p[2] <= 2 && m_p[3] <= 2) {
        m_sensor.pulseCounts[3 * m_p[2] + m_p[3]] = GetU16(m_p);
    }
}

void Exchange::U16Item(uint16_t& field) {
    if (m_get) {
        PutU16(Reply(2), field);
    } else if (m_n >= 2) {
        field = GetU16(m_p);
    }
}

void Exchange::U8Item(uint8_t& field) {
    if (m_get) {
        ReplyBytes({field});
    } else if (m_n >= 1) {
        field = m_p[0];
    }
}

template <size_t N>
void Exchange::Block(std::array<uint8_t, N>& field) {
    if (m_get) {
        std::copy(field.begin(), field.end(), Reply(N));
    } else if (m_n >= N) {
        std::copy(m_p, m_p + N, field.begin());
    }
}

// Two records share group 0x0F. The depth-offset record: set [mode, 0, 2, 0, nine u16],
// get request [mode, 2]. The offset record in two halves: set frame k is [byte 0, byte 1,
// k, 0, 48 bytes (, last byte)], get request k is [byte 0, k, byte 1]; replies carry the
// half at 4..51 and, in reply 1, the last byte at 52.
void Exchange::Offsets() {
    if (m_n < 2) {
        return Unknown();
    }
    const uint8_t mode = m_p[0];
    if (!m_get) {
        if (m_n >= 22 && m_p[1] == 0x00 && m_p[2] == 0x02 && m_p[3] == 0x00) {
            auto& values = m_sensor.rangeOffsets[mode];
            for (size_t i = 0; i < values.size(); ++i) {
                values[i] = GetU16(m_p + 4 + 2 * i);
            }
        } else if (m_n >= 52 && m_p[2] <= 1) {
            const uint16_t key = static_cast<uint16_t>(mode | (m_p[1] << 8));
            if (m_sensor.offsets.size() >= kMaxOffsetRecords && m_sensor.offsets.count(key) == 0) {
                return;
            }
            auto& record = m_sensor.offsets[key];
            std::copy(m_p + 4, m_p + 52, record.halves.begin() + 48 * m_p[2]);
            if (m_p[2] == 1 && m_n >= 53) {
                record.last = m_p[52];
            }
        } else {
            Unknown();
        }
        return;
    }
    uint8_t* r = Reply(54);
    r[0] = mode;
    if (m_p[1] == 0x02) {
        r[2] = 0x02;
        const auto& values = m_sensor.rangeOffsets[mode];
        for (size_t i = 0; i < values.size(); ++i) {
            PutU16(r + 4 + 2 * i, values[i]);
        }
    } else if (m_p[1] <= 1 && m_n >= 3) {
        const uint8_t half = m_p[1];
        r[1] = m_p[2];
        r[2] = half;
        auto it = m_sensor.offsets.find(static_cast<uint16_t>(mode | (m_p[2] << 8)));
        if (it != m_sensor.offsets.end()) {
            std::copy_n(it->second.halves.begin() + 48 * half, 48, r + 4);
            if (half == 1) {
                r[52] = it->second.last;
            }
        }
    } else {
        m_out.payload.clear();
        Unknown();
    }
}

// Calibration doubles; each sub carries one run of an array, [sub, doubles].
void Exchange::CameraParams() {
    struct Slice {
        uint8_t sub;
        double* data;
        size_t count;
    };
    SensorState& s = m_sensor;
    const Slice slices[] = {
        {0x00, s.depthIntrinsic.data(), 4},   {0x01, s.depthIntrinsic.data() + 4, 5},
        {0x02, s.depthDistortion.data(), 4},  {0x03, s.depthDistortion.data() + 4, 4},
        {0x04, s.colourIntrinsic.data(), 4},  {0x05, s.colourIntrinsic.data() + 4, 5},
        {0x06, s.colourDistortion.data(), 4}, {0x07, s.colourDistortion.data() + 4, 4},
        {0x08, s.rotation.data(), 4},         {0x09, s.rotation.data() + 4, 5},
        {0x0A, s.translation.data(), 3},      {0x0B, s.essential.data(), 4},
        {0x0C, s.essential.data() + 4, 5},    {0x0D, s.fundamental.data(), 4},
        {0x0E, s.fundamental.data() + 4, 5},
    };
    const uint8_t sub = Sub();
    for (const Slice& slice : slices) {
        if (slice.sub != sub || m_n < 1) {
            continue;
        }
        const size_t bytes = 8 * slice.count;
        if (m_get) {
            uint8_t* r = Reply(1 + bytes);
            r[0] = sub;
            std::memcpy(r + 1, slice.data, bytes);
        } else if (m_n >= 1 + bytes) {
            std::memcpy(slice.data, m_p + 1, bytes);
        }
        return;
    }
    Unknown();
}

// 0x80: JSON configuration supported (reply bytes 1 and 2 both 1); 0x00 with 0x02: the
// camera's switch for pushing its parameters in the stream.
void Exchange::CameraConfig() {
    const uint8_t sub = Sub();
    if (m_get && sub == 0x80) {
        uint8_t* r = Reply(64);
        r[0] = sub;
        r[1] = 1;
        r[2] = m_sensor.jsonConfigSupported ? 1 : 0;
    } else if (!m_get && sub == 0x00 && m_n >= 3 && m_p[1] == 0x02) {
        m_sensor.sendCameraParams = m_p[2] == 1;
    } else {
        Unknown();
    }
}

// Set [mode, 0, three flags, 0]; the 1-byte set [0x08] is the reboot. Get: the 5-byte
// record.
void Exchange::WorkMode() {
    if (m_get) {
        std::copy(m_sensor.workMode.begin(), m_sensor.workMode.end(), Reply(5));
    } else if (m_n == 1 && m_p[0] == 0x08) {
        ++m_state.reboots;
        m_out.reboot = true;
        RebootAfterTransfer(m_state);
    } else if (m_n >= 5) {
        m_sensor.workMode = {m_p[0], 0, m_p[2], m_p[3], m_p[4]};
    } else {
        Unknown();
    }
}

void Exchange::Texts() {
    const uint8_t sub = Sub();
    std::string* field = nullptr;
    bool writable = false;
    switch (sub) {
        case 0x01:
            field = &m_state.pcba;
            writable = true;
            break;
        case 0x02:
            field = &m_state.serial;
            writable = true;
            break;
        case 0x03:
            field = &m_state.firmwareVersion;
            break;
        case 0x04:
            field = &m_state.hardwareVersion;
            break;
        case 0x05:
            field = &m_state.flashType;
            break;
        case 0x17:
            field = &m_state.alias;
            break;
        default:
            break;
    }
    if (field == nullptr || (!m_get && !writable)) {
        return Unknown();
    }
    if (m_get) {
        ReplyText(sub, *field);
    } else {
        *field = TextOf(m_p + 1, m_n - 1);
    }
}

// Inertial calibration blocks by sub-command; [0x21, sub] is the read request.
void Exchange::Imu() {
    // Accelerometer items 0x01..0x03, gyroscope items 0x11..0x13.
    auto blockSize = [](uint8_t sub) -> size_t {
        if ((sub & 0xEF) == 0x01) {
            return 36;
        }
        if ((sub & 0xEF) == 0x02) {
            return 15;
        }
        return (sub & 0xEF) == 0x03 ? 11 : 0;
    };
    auto known = [&](uint8_t sub) { return blockSize(sub) != 0; };
    const uint8_t sub = Sub();
    if (!m_get) {
        if (sub == 0x21 && m_n >= 2) {
            m_pending.Store(0x14, m_p, m_n);
        } else if (sub == 0x41 && m_n >= 2) {
            m_sensor.imuDataMode = m_p[1];
        } else if (known(sub) && m_n >= 1 + blockSize(sub)) {
            m_sensor.imu[sub].assign(m_p + 1, m_p + 1 + blockSize(sub));
        } else {
            Unknown();
        }
        return;
    }
    const std::vector<uint8_t> request = ReadRequest(0x14);
    uint8_t item = 0;
    if (request.size() >= 2 && request[0] == 0x21) {
        item = request[1];
    } else if (!request.empty()) {
        item = request[0];
    }
    if (!known(item)) {
        return Unknown();
    }
    std::vector<uint8_t>& block = m_sensor.imu[item];
    block.resize(blockSize(item), 0);
    uint8_t* r = Reply(1 + block.size());
    r[0] = item;
    std::copy(block.begin(), block.end(), r + 1);
}

// Lens records (set: the 8-byte record, its first byte the sensor; get: sensor | 0x10)
// and the two lists (set [0x04, 0, kind, n, entries]; read request [0x14, 0, kind]).
void Exchange::LensAndLists() {
    const uint8_t sub = Sub();
    auto listOf = [&](uint8_t kind) -> std::vector<uint8_t>* {
        if (kind == 0) {
            return &m_sensor.dataModeList;
        }
        return kind == 1 ? &m_sensor.depthRangeList : nullptr;
    };
    if (!m_get) {
        if (sub < m_sensor.lens.size() && m_n >= 8) {
            std::copy(m_p, m_p + 8, m_sensor.lens[sub].begin());
        } else if (sub == 0x04 && m_n >= 4 && listOf(m_p[2]) != nullptr) {
            const size_t limit = m_p[2] == 0 ? kMaxDataModes : kMaxDepthRanges;
            const size_t count = m_p[3];
            if (count <= limit && m_n >= 4 + count) {
                listOf(m_p[2])->assign(m_p + 4, m_p + 4 + count);
            }
        } else if (sub == 0x14 && m_n >= 3) {
            m_pending.Store(0x15, m_p, m_n);
        } else {
            Unknown();
        }
        return;
    }
    if ((sub & 0xF0) == 0x10 && (sub & 0x0F) < m_sensor.lens.size()) {
        const auto& lens = m_sensor.lens[sub & 0x0F];
        uint8_t* r = Reply(64);
        std::copy(lens.begin(), lens.end(), r);
        r[0] = static_cast<uint8_t>(sub & 0x0F);
        return;
    }
    const std::vector<uint8_t> request = ReadRequest(0x15);
    const std::vector<uint8_t>* list =
        request.size() >= 3 && request[0] == 0x14 ? listOf(request[2]) : nullptr;
    if (list == nullptr) {
        return Unknown();
    }
    uint8_t* r = Reply(64);
    r[0] = 0x14;
    r[2] = request[2];
    r[3] = static_cast<uint8_t>(list->size());
    std::copy(list->begin(), list->end(), r + 4);
}

// 64-byte frames with a u32 frame index in bytes 0..3. Writing: frame 0 with byte 4 = 1
// is the header (length L at 9..12, id at 13..14), frames k >= 1 carry 56 bytes each.
// Reading: a frame 0 with byte 4 = 0 is the read request for frame k (k at bytes 5..8,
// 0 for the header), fetched by the get that follows.
void Exchange::PlaneCorrection() {
    constexpr size_t kPiece = 56;
    if (!m_get) {
        if (m_n < 9) {
            return Unknown();
        }
        const uint32_t index = GetU32(m_p);
        if (index == 0 && m_p[4] == 0x01) {
            if (m_n < 15) {
                return Unknown();
            }
            const uint32_t length = GetU32(m_p + 9);
            if (length <= kMaxPlaneBytes) {
                m_sensor.planeCorrection.assign(length, 0);
                m_sensor.planeCorrectionId = GetU16(m_p + 13);
            }
        } else if (index == 0) {
            m_pending.Store(0x16, m_p, m_n);
        } else {
            const size_t offset = kPiece * (static_cast<size_t>(index) - 1);
            const size_t total = m_sensor.planeCorrection.size();
            if (offset < total) {
                const size_t count = std::min({kPiece, total - offset, m_n - 4});
                std::copy_n(m_p + 4, count, m_sensor.planeCorrection.begin() + offset);
            }
        }
        return;
    }
    const std::vector<uint8_t> request = ReadRequest(0x16);
    const uint32_t frame = request.size() >= 9 ? GetU32(request.data() + 5) : 0;
    uint8_t* r = Reply(64);
    PutU32(r, frame);
    if (frame == 0) {
        r[4] = 0x01;
        PutU32(r + 9, static_cast<uint32_t>(m_sensor.planeCorrection.size()));
        PutU16(r + 13, m_sensor.planeCorrectionId);
        return;
    }
    const size_t offset = kPiece * (static_cast<size_t>(frame) - 1);
    const size_t total = m_sensor.planeCorrection.size();
    if (offset < total) {
        std::copy_n(m_sensor.planeCorrection.begin() + offset, std::min(kPiece, total - offset),
                    r + 4);
    }
}

// Device information texts: set subs 0x01..0x06, get subs 0x11..0x16.
void Exchange::DeviceTexts() {
    const uint8_t sub = Sub();
    std::string* fields[] = {&m_state.upgradeFlag,     &m_state.serial,    &m_state.macAddress,
                             &m_state.softwareVersion, &m_state.ipAddress, &m_state.subnetMask};
    const uint8_t item = static_cast<uint8_t>(sub & 0x0F);
    const bool getSub = (sub & 0xF0) == 0x10;
    if (item < 1 || item > 6 || getSub != m_get) {
        return Unknown();
    }
    std::string& field = *fields[item - 1];
    if (m_get) {
        ReplyText(sub, field);
    } else {
        field = TextOf(m_p + 1, m_n - 1);
    }
}

// DSP status: [option, selector word, parameter, value]. Selectors 0..2 keep the value in
// byte 3, selectors 3..8 in byte 4 after a parameter byte. Read words have bit 7 of the
// low byte set; our library reads selectors 1 and 2 that way too. A host that reads them
// with their write word (0x0201, 0x0301) gets what a camera does with it: the frame writes
// byte 3 and also stands as the read request.
void Exchange::DspStatus() {
    struct Selector {
        uint8_t low;  // low byte of the word, without the read bit
        uint8_t high;
        int16_t param;  // -1: selectors whose value is byte 3
    };
    constexpr Selector kSelectors[9] = {
        {0x01, 0x01, -1}, {0x01, 0x02, -1}, {0x01, 0x03, -1}, {0x02, 0x01, 2}, {0x02, 0x01, 3},
        {0x02, 0x01, 4},  {0x02, 0x01, 1},  {0x02, 0x03, 1},  {0x02, 0x02, 1},
    };
    // Selector of a request and whether its word has the read bit; -1 when none matches.
    auto decode = [&](const std::vector<uint8_t>& q, bool& read) -> int {
        if (q.size() < 5) {
            return -1;
        }
        read = (q[1] & 0x80) != 0;
        const uint8_t low = static_cast<uint8_t>(q[1] & 0x7F);
        for (int i = 0; i < 9; ++i) {
            const Selector& sel = kSelectors[i];
            if (sel.low == low && sel.high == q[2] && (sel.param < 0 || sel.param == q[3])) {
                return i;
            }
        }
        return -1;
    };
    const uint8_t option = Sub();
    if (!m_get) {
        const std::vector<uint8_t> request(m_p, m_p + m_n);
        bool read = false;
        const int sel = decode(request, read);
        if (sel < 0) {
            return Unknown();
        }
        if (read || sel == 1 || sel == 2) {
            m_pending.Store(0x19, m_p, m_n);
        }
        if (!read) {
            m_sensor.dsp[option][sel] = kSelectors[sel].param < 0 ? m_p[3] : m_p[4];
        }
        return;
    }
    const std::vector<uint8_t> request = ReadRequest(0x19);
    bool read = false;
    const int sel = decode(request, read);
    if (sel < 0) {
        return Unknown();
    }
    uint8_t* r = Reply(64);
    std::copy_n(request.begin(), 5, r);
    r[kSelectors[sel].param < 0 ? 3 : 4] = m_sensor.dsp[request[0]][sel];
}

void Exchange::Stream() {
    if (m_get || m_n < 1 || Sub() > 1) {
        return Unknown();
    }
    m_sensor.streaming = Sub() == 0x01;
    if (m_sensor.streaming) {
        ++m_sensor.streamStarts;
    }
}

void Exchange::Heartbeat() {
    if (!m_get || Sub() != 0x01) {
        return Unknown();
    }
    ++m_sensor.heartbeats;
    ReplyBytes({0x01});
}

// Upgrade (sub 0x01, 0x02) and JSON transfer (sub 0x03). Frames that share a sub-command
// differ in length: the state records are 10 bytes, the mode switches 38 or 64.
void Exchange::Maintenance() {
    const uint8_t sub = Sub();
    auto transferReply = [&](const TransferState& t, size_t at) {
        uint8_t* r = Reply(10);
        r[0] = sub;
        if (at == 2) {
            r[1] = 0x02;
        }
        r[at] = t.deviceState;
        r[at + 1] = t.parameter;
        r[at + 2] = t.third;
    };
    auto supportReply = [&](bool supported) {
        uint8_t* r = Reply(64);
        r[0] = sub;
        r[1] = 0x01;
        r[2] = supported ? 1 : 0;
    };
    if (m_get) {
        if (sub == 0x01) {
            AdvanceUpgrade(m_state);
            transferReply(m_state.upgradeState, 1);
        } else if (sub == 0x02) {
            supportReply(m_state.upgradeSupported);
        } else if (sub == 0x03 && m_n >= 2 && m_p[1] == 0x01) {
            supportReply(m_state.jsonSupported);
        } else if (sub == 0x03 && m_n >= 2 && m_p[1] == 0x02) {
            AdvanceJson(m_state);
            transferReply(m_state.jsonState, 2);
        } else {
            Unknown();
        }
        return;
    }
    if ((sub == 0x01 || sub == 0x03) && m_n == 10) {
        auto& sent = sub == 0x01 ? m_state.upgradeStateSent : m_state.jsonStateSent;
        std::copy(m_p + 1, m_p + 10, sent.begin());
        uint32_t checksum;
        uint32_t size;
        std::memcpy(&checksum, m_p + 2, 4);
        std::memcpy(&size, m_p + 6, 4);
        (sub == 0x01 ? UpgradeStateSent : JsonStateSent)(m_state, m_p[1], checksum, size);
    } else if (sub == 0x01 && m_n >= 18 && m_p[1] == 0x01) {
        m_state.upgradeHost = TextOf(m_p + 2, 16);
        m_state.upgradeFile = TextOf(m_p + 18, m_n - 18);
        m_state.announce.cameraState = 3;
        BeginUpgrade(m_state);
    } else if (sub == 0x03 && m_n >= 2 && m_p[1] == 0x01) {
        m_state.jsonHost = TextOf(m_p + 2, m_n - 2);
        m_state.announce.cameraState = 3;
        BeginJsonMode(m_state);
    } else if (sub == 0x03 && m_n >= 18 && m_p[1] == 0x04) {
        m_state.jsonHost = TextOf(m_p + 2, 16);
        m_state.jsonFile = TextOf(m_p + 18, m_n - 18);
        BeginJsonFile(m_state);
    } else {
        Unknown();
    }
}

// Sub 0x01: test mode 0 with one byte; sub 0x02: mode 1 with up to four bytes.
void Exchange::TestMode() {
    const uint8_t sub = Sub();
    if (m_get || (sub != 0x01 && sub != 0x02)) {
        return Unknown();
    }
    m_sensor.testMode.fill(0);
    const size_t count = std::min<size_t>(m_n, sub == 0x01 ? 2 : 5);
    std::copy_n(m_p, count, m_sensor.testMode.begin());
}

void Exchange::SlaveTrigger() {
    if (m_get || Sub() != 0x00) {
        return Unknown();
    }
    ++m_sensor.slaveTriggers;
}

}  // namespace

CommandOutcome HandleCommand(SimState& state, uint32_t session, PendingReads& pending,
                             uint8_t commandByte, const uint8_t* payload, size_t length) {
    CommandOutcome out;
    const bool get = (commandByte & kGetBit) != 0;
    out.reply = get;
    if (session >= state.sensors.size()) {
        out.known = false;
        return out;
    }
    length = std::min(length, kMaxRequestPayload);
    Exchange exchange(state, state.sensors[session], pending, get, payload, length, out);
    exchange.Run(static_cast<uint8_t>(commandByte & ~kGetBit));
    if (out.payload.size() > kMaxRequestPayload) {
        out.payload.resize(kMaxRequestPayload);
    }
    if (!get) {
        out.payload.clear();
    }
    return out;
}

}  // namespace quorix::sim
