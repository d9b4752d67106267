// The command vocabulary below the wire: inputs refused before sending, and reply readers
// facing short or overstated replies. Request bytes are pinned against the simulator by the
// network cross-check.
#include "protocol/Commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace quorix::cmd {
namespace {

using Bytes = std::vector<uint8_t>;

// A reply as a transport leaves it: `bytes` arrived over the buffer.
Command Reply(const Bytes& bytes) {
    Command c;
    std::copy(bytes.begin(), bytes.end(), c.data.begin());
    c.received = static_cast<uint16_t>(bytes.size());
    return c;
}

constexpr Direction G = Direction::Get;

// Bits 1 and 8 of byte 2 and bit 0 of bytes 1 and 3 are cross-checked; the others are noise.
TEST(CommandsTest, MeasuringStatusIgnoresTheOtherBits) {
    std::array<bool, 10> status{};
    EXPECT_EQ(ReadMeasuringStatus(Reply({0x0F, 0xFE, 0x7E, 0xFE}), status), 0);
    EXPECT_EQ(status, (std::array<bool, 10>{false, false, true, true, true, true, true, true, false,
                                            false}));
}

TEST(CommandsTest, ValuesThatDoNotFitAreRefused) {
    Command c;
    c.id = 0x77;
    EXPECT_EQ(SetValue(Value::Threshold, 6553, c), 0);
    EXPECT_EQ(c.U16(1), 65530);
    c.id = 0x77;
    EXPECT_EQ(SetValue(Value::Threshold, 6554, c), kStatusBadParameter);
    EXPECT_EQ(c.id, 0x77);  // left alone
    EXPECT_EQ(SetValue(Value::DepthRange, 256, c), kStatusBadParameter);
    EXPECT_EQ(SetValue(Value::DataMode, 1, c), kStatusBadParameter);  // get only

    uint8_t dsp = 0;
    EXPECT_EQ(ReadDspStatus(Reply({7, 0x82, 0x01, 0x03, 0x01}), 9, dsp), kStatusBadParameter);
}

TEST(CommandsTest, TextsAreBoundedAndTakeWhatArrived) {
    Command c;
    EXPECT_EQ(SetText(Text::FWVer, "1", 1, c), kStatusBadParameter);  // read only

    // Bytes past the reply are left from before (here: an earlier, longer text).
    Command reply = Reply({0x17, 'A', 'B', 'C', 'D', 'E'});
    char one[1] = {'?'};
    ReadText(reply, one, 1);
    EXPECT_EQ(one[0], '\0');
    const struct {
        uint16_t received;
        const char* text;
    } rows[] = {{6, "ABCDE"}, {3, "AB"}, {1, ""}, {0, ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.received);
        reply.received = row.received;
        char out[16];
        memset(out, '?', sizeof out);
        ReadText(reply, out, sizeof out);
        EXPECT_STREQ(out, row.text);
        EXPECT_EQ(out[strlen(row.text) + 1], '?');  // nothing written past the NUL
    }
}

TEST(CommandsTest, ListsAreBoundedByTheListAndTheCaller) {
    Command reply = Reply({0x14, 0, 0, 3, 0, 1, 2});
    uint8_t data[33] = {};
    uint32_t length = sizeof data;
    EXPECT_EQ(ReadList(reply, List::DataModes, data, length), 0);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(data[0], 3);
    EXPECT_EQ(data[3], 2);

    length = 3;  // too small for a count and three entries
    EXPECT_EQ(ReadList(reply, List::DataModes, data, length), kStatusBadParameter);
    EXPECT_EQ(length, 3u);

    reply.data[3] = 10;  // more ranges than there are
    reply.received = 64;
    length = 64;
    EXPECT_EQ(ReadList(reply, List::DepthRanges, data, length), kStatusFailed);

    const uint8_t tooMany[] = {33};
    Command c;
    EXPECT_EQ(SetList(List::DataModes, tooMany, sizeof tooMany, c), kStatusBadParameter);
    const uint8_t shortData[] = {3, 0};
    EXPECT_EQ(SetList(List::DataModes, shortData, sizeof shortData, c), kStatusBadParameter);
}

// What a reader did with a reply: its status and whether its output changed.
struct Outcome {
    int32_t status;
    bool changed;
};

// Runs `read` on a copy of `initial` (a record without padding bytes).
template <typename T, typename Read>
Outcome Into(const T& initial, Read read) {
    T out = initial;
    const int32_t status = read(out);
    return {status, memcmp(&out, &initial, sizeof out) != 0};
}

using Read = std::function<Outcome(const Command&)>;

// A reader of one record `T`, run on a copy of `initial`.
template <typename T>
Read Of(int32_t (*read)(const Command&, T&), T initial = T{}) {
    return [read, initial](const Command& r) {
        return Into(initial, [&](T& out) { return read(r, out); });
    };
}

TEST(CommandsTest, ShortRepliesAreRefusedAndWriteNothing) {
    struct ShortCase {
        const char* name;
        Command get;   // the request whose reply is read
        size_t needs;  // reply bytes the reader takes
        Read read;
    };
    auto value = [](Value item) -> Read {
        return [item](const Command& r) {
            return Into(uint32_t{7}, [&](uint32_t& v) { return ReadValue(item, r, v); });
        };
    };
    auto dsp = [](uint32_t selector) -> Read {
        return [selector](const Command& r) {
            return Into(uint8_t{0}, [&](uint8_t& v) { return ReadDspStatus(r, selector, v); });
        };
    };
    auto plane = [](size_t size) -> Read {
        return [size](const Command& r) {
            uint32_t index = 0;
            const uint8_t* bytes = nullptr;
            const int32_t status = ReadPlanePiece(r, size, index, bytes);
            return Outcome{status, index != 0 || bytes != nullptr};
        };
    };
    const ParamFrame intrinsic = ParamFrames(CameraParam::Intrinsic, 1)[1];
    const uint16_t addresses[2] = {1, 2};
    DspStatusRecord dspRecord{0, 4, 0};
    Command dspGet;
    ASSERT_EQ(DspStatusRequest(dspRecord, G, dspGet), 0);

    const ShortCase cases[] = {
        {"threshold", GetValue(Value::Threshold), 3, value(Value::Threshold)},
        {"confidence bit", GetValue(Value::ConfidenceBit), 2, value(Value::ConfidenceBit)},
        {"ISA, a bare byte", GetValue(Value::ISAEnable), 1, value(Value::ISAEnable)},
        {"LD, a bare u16", GetValue(Value::LDEnable), 2, value(Value::LDEnable)},
        {"WDR mode", GetWDRMode(), 8, Of<WDROutputMode>(ReadWDRMode)},
        {"measuring status", GetMeasuringStatus(), 4,
         Of<std::array<bool, 10>>(ReadMeasuringStatus)},
        {"measuring range", GetMeasuringRange(1), 19, Of<NsMeasuringRange>(ReadMeasuringRange)},
        {"calibration intrinsic, second frame", GetParamFrame(intrinsic), 41,
         [&](const Command& r) {
             return Into(Matrix3{},
                         [&](Matrix3& m) { return ReadParamFrame(r, intrinsic, m.data()); });
         }},
        {"registers, two-step", ReadRegisters(addresses, 2, G), 6,
         [](const Command& r) {
             return Into(std::array<uint16_t, 2>{}, [&](std::array<uint16_t, 2>& v) {
                 return ReadRegisterValues(r, v.data(), 2);
             });
         }},
        {"inertial offset, two-step", ImuFetch(Imu::AccOffset), 16,
         [](const Command& r) {
             return Into(ImuOffset{},
                         [&](ImuOffset& v) { return ReadImu(r, Imu::AccOffset, v.data()); });
         }},
        {"GMM", GetGMM(GmmBlock{}), 28, Of<GmmBlock>(ReadGMM)},
        {"pulse counts", GetPulseCount(), 20, Of<PulseCountBlock>(ReadPulseCount)},
        {"HTP", GetHTP(HtpBlock{}), 37, Of<HtpBlock>(ReadHTP)},
        {"offset frame 0", GetOffSetFrame(OffsetRecord{}, 0), 52,
         [](const Command& r) {
             return Into(OffsetRecord{}, [&](OffsetRecord& o) { return ReadOffSetFrame(r, 0, o); });
         }},
        {"offset frame 1 with its last byte", GetOffSetFrame(OffsetRecord{}, 1), 53,
         [](const Command& r) {
             return Into(OffsetRecord{}, [&](OffsetRecord& o) { return ReadOffSetFrame(r, 1, o); });
         }},
        {"range offset", GetRangeOffset(1), 22, Of<RangeOffsetRecord>(ReadRangeOffset)},
        {"JSON config", IsSupportJSONConfig(), 3, Of<bool>(ReadJSONConfigSupported, true)},
        {"work mode", GetWorkMode(WorkModeRecord{}), 5, Of<WorkModeRecord>(ReadWorkMode)},
        {"lens", GetLens(1), 8, Of<LensRecord>(ReadLens)},
        {"plane header", PlaneRequest(0, G), 15,
         [](const Command& r) {
             PlaneHeaderInfo h;
             const int32_t status = ReadPlaneHeader(r, h);
             return Outcome{status, h.index != 0 || h.length != 0 || h.id != 0};
         }},
        {"plane piece, whole", PlaneRequest(1, G), 60, plane(56)},
        {"plane piece, last", PlaneRequest(3, G), 12, plane(8)},
        {"DSP value at 3", dspGet, 4, dsp(0)},
        {"DSP value at 4", dspGet, 5, dsp(4)},
        {"TAL delay", GetTalDelay(TalDelayRecord{}), 11, Of<TalDelayRecord>(ReadTalDelay)},
        {"upgrade supported", GetUpgradeIsSupported(), 3, Of<uint8_t>(ReadSupported)},
        {"upgrade state", GetUpgradeState(), 4, Of<TransferState>(ReadUpgradeState)},
        {"JSON state", GetJsonState(), 5, Of<TransferState>(ReadJsonState)},
    };
    for (const ShortCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_LE(c.needs, c.get.replyCapacity);  // a whole reply fits the request's room
        // Every byte past the reply is set, as stale request bytes would be.
        Command reply = c.get;
        std::fill(reply.data.begin(), reply.data.end(), 0xA5);
        for (const size_t received : {size_t{0}, c.needs - 1}) {
            reply.received = static_cast<uint16_t>(received);
            const Outcome refused = c.read(reply);
            EXPECT_EQ(refused.status, kStatusTransferError) << received;
            EXPECT_FALSE(refused.changed) << received;
        }
        reply.received = static_cast<uint16_t>(c.needs);
        const Outcome read = c.read(reply);
        EXPECT_EQ(read.status, 0);
        EXPECT_TRUE(read.changed);
    }
}

TEST(CommandsTest, AListWhoseCountOverstatesWhatArrivedIsRefused) {
    Command reply = Reply({0x14, 0, 0, 3, 7, 8, 9});
    const struct {
        uint16_t received;
        int32_t status;
    } rows[] = {{7, 0},
                {6, kStatusTransferError},
                {4, kStatusTransferError},
                {3, kStatusTransferError},
                {0, kStatusTransferError}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.received);
        reply.received = row.received;
        uint8_t data[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
        uint32_t length = sizeof data;
        EXPECT_EQ(ReadList(reply, List::DataModes, data, length), row.status);
        if (row.status == 0) {
            EXPECT_EQ(length, 4u);
            EXPECT_EQ(data[3], 9);
        } else {
            EXPECT_EQ(length, sizeof data);
            EXPECT_EQ(data[0], 0xEE);
        }
    }
    // An empty list needs its count byte only.
    reply = Reply({0x14, 0, 0, 0});
    uint8_t data[1] = {0xEE};
    uint32_t length = 1;
    EXPECT_EQ(ReadList(reply, List::DepthRanges, data, length), 0);
    EXPECT_EQ(data[0], 0);
}

TEST(CommandsTest, FileNamesAndTheirRoom) {
    EXPECT_EQ(FileNameOf("fw.img"), "fw.img");
    EXPECT_EQ(FileNameOf("dir/"), "");

    // An empty file name or a host address without room for its end is refused.
    Command c;
    EXPECT_EQ(SetToUpgradeMode("1.2.3.4", "/tmp/", c), kStatusFailed);
    EXPECT_EQ(SetToJsonMode("1234567890123456", c), kStatusFailed);
}

TEST(CommandsTest, FieldAccessStaysInsideTheBuffer) {
    Command c;
    const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    c.Put(kBufferSize - 4, bytes, sizeof bytes);  // would run past the end: ignored
    EXPECT_EQ(c.U32(kBufferSize - 4), 0u);
    EXPECT_EQ(c.U32(kBufferSize - 2), 0u);
    EXPECT_EQ(c.F64(kBufferSize), 0.0);
}

}  // namespace
}  // namespace quorix::cmd
