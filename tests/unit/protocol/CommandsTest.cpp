// The command vocabulary byte for byte: one request of every shape, and the reply readers.
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

Bytes Payload(const Command& c) {
    return Bytes(c.data.begin(), c.data.begin() + c.requestLength);
}

Bytes Le(double v) {
    Bytes out(8);
    memcpy(out.data(), &v, 8);
    return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

Bytes Padded(Bytes head, size_t size) {
    head.resize(size, 0);
    return head;
}

// A reply as a transport leaves it: `bytes` arrived over the buffer.
Command Reply(const Bytes& bytes) {
    Command c;
    std::copy(bytes.begin(), bytes.end(), c.data.begin());
    c.received = static_cast<uint16_t>(bytes.size());
    return c;
}

struct Case {
    const char* name;
    Command command;
    uint8_t id;
    Direction direction;
    uint8_t requestLength;
    uint16_t replyCapacity;
    Bytes payload;
};

constexpr Direction S = Direction::Set;
constexpr Direction G = Direction::Get;

TEST(CommandsTest, EveryShapeIsByteExact) {
    const uint16_t addresses[] = {0x1234, 0xABCD};
    const uint16_t values[] = {0x0001, 0xFFFE};
    NsMeasuringRange range{};
    range.depthMode = 1;
    range.depthMaxNear = 0x0102;
    range.effectDepthMinFar = 0x0A0B;
    OffsetRecord offset{};
    for (size_t i = 0; i < offset.size(); ++i) {
        offset[i] = static_cast<uint8_t>(i);
    }
    RangeOffsetRecord rangeOffset{};
    rangeOffset[0] = 2;
    rangeOffset[5] = 0x33;
    rangeOffset[18] = 0x44;
    HtpBlock htp{};
    htp[0] = 0x5A;
    htp[36] = 0xA5;
    TalDelayRecord tal{};
    tal[0] = 1;
    tal[10] = 9;
    ImuOffsetTemp imuTemp{};
    imuTemp[10] = 0x77;
    const double params[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const uint8_t planeBytes[56] = {0xCC, 0xDD};
    const uint8_t modes[] = {3, 0, 1, 2};
    WDROutputMode three{3, 1, 2, 4, 5, 7, 8};
    WDROutputMode two{2, 1, 2, 4, 5, 7, 8};

    auto value = [](Value item, uint32_t v) {
        Command c;
        EXPECT_EQ(SetValue(item, v, c), 0);
        return c;
    };
    auto text = [](Text item, const char* t) {
        Command c;
        EXPECT_EQ(SetText(item, t, static_cast<uint32_t>(strlen(t)), c), 0);
        return c;
    };
    auto dsp = [](uint32_t selector, bool set) {
        Command c;
        const DspStatusRecord r{0x07, selector, 0x01};
        EXPECT_EQ(set ? SetDspStatus(r, c) : DspStatusRequest(r, G, c), 0);
        return c;
    };
    auto testMode = [](uint32_t mode, TestModeRecord r) {
        Command c;
        EXPECT_EQ(SetTestModeState(mode, r, c), 0);
        return c;
    };
    auto list = [&](List l) {
        Command c;
        EXPECT_EQ(SetList(l, modes, sizeof modes, c), 0);
        return c;
    };
    auto transfer = [](int which) {
        Command c;
        const int32_t r = which == 0   ? SetToUpgradeMode("10.0.0.5", "C:/fw/dir\\image.bin", c)
                          : which == 1 ? SetToJsonMode("10.0.0.5", c)
                                       : SetJsonPath("10.0.0.5", "/a/b/config.json", c);
        EXPECT_EQ(r, 0);
        return c;
    };
    const Bytes host = Padded({'1', '0', '.', '0', '.', '0', '.', '5'}, 16);
    const auto intrinsic = ParamFrames(CameraParam::Intrinsic, 2);
    const auto transferParam = ParamFrames(CameraParam::Transfer, 1);

    const Case cases[] = {
        {"threshold x 10", value(Value::Threshold, 25), 0x02, S, 3, 3, {0x01, 0xFA, 0x00}},
        {"threshold get", GetValue(Value::Threshold), 0x02, G, 3, 3, {0x01, 0x00, 0x00}},
        {"confidence bit", value(Value::ConfidenceBit, 5), 0x02, S, 2, 2, {0x03, 0x05}},
        {"confidence which get", GetValue(Value::ConfidenceWhich), 0x02, G, 2, 2, {0x04, 0}},
        {"frame rate", value(Value::TofFrameRate, 30), 0x02, S, 2, 2, {0x07, 30}},
        {"slave mode", value(Value::SlaveMode, 1), 0x02, S, 2, 2, {0x08, 0x01}},
        {"anti-interference", value(Value::AntiInterference, 0), 0x02, S, 2, 2, {0x09, 0x00}},
        {"LD u16", value(Value::LDEnable, 0x1234), 0x0B, S, 2, 2, {0x34, 0x12}},
        {"ISA", value(Value::ISAEnable, 7), 0x0C, S, 1, 1, {0x07}},
        {"TAL get", GetValue(Value::TALEnable), 0x0D, G, 2, 2, {0, 0}},
        {"depth range", value(Value::DepthRange, 4), 0x09, S, 1, 1, {0x04}},
        {"depth range get", GetValue(Value::DepthRange), 0x09, G, 0, 1, {}},
        {"data mode get", GetValue(Value::DataMode), 0x07, G, 0, 1, {}},
        {"depth mode get sends the caller's byte",
         GetValue(Value::DepthMode, 3),
         0x08,
         G,
         1,
         1,
         {0x03}},
        {"IMU data mode", value(Value::ImuDataMode, 2), 0x14, S, 2, 2, {0x41, 0x02}},
        {"start", StreamControl(true), 0x1B, S, 1, 1, {0x01}},
        {"stop", StreamControl(false), 0x1B, S, 1, 1, {0x00}},
        {"WDR three ranges", SetWDRMode(three), 0x02, S, 8, 8, {0x0A, 3, 1, 2, 4, 5, 7, 8}},
        {"WDR two ranges zeroes range 3",
         SetWDRMode(two),
         0x02,
         S,
         8,
         8,
         {0x0A, 2, 1, 2, 4, 5, 0, 0}},
        {"WDR get", GetWDRMode(), 0x02, G, 8, 8, {0x0A, 0, 0, 0, 0, 0, 0, 0}},
        {"measuring status", SetMeasuringStatus(3, 1), 0x02, S, 3, 3, {0x0F, 3, 1}},
        {"measuring status get", GetMeasuringStatus(), 0x02, G, 4, 4, {0x0F, 0, 0, 0}},
        {"registers",
         SetRegisters(addresses, values, 2),
         0x04,
         S,
         10,
         10,
         {0x01, 2, 0x34, 0x12, 0x01, 0x00, 0xCD, 0xAB, 0xFE, 0xFF}},
        {"register read",
         ReadRegisters(addresses, 2, G),
         0x04,
         G,
         6,
         6,
         {0x00, 2, 0x34, 0x12, 0xCD, 0xAB}},
        {"IRS2 selector 1", SetIRS2Enable(0x0101), 0x05, S, 2, 2, {0x10, 0x01}},
        {"IRS2 selector 2", SetIRS2Enable(0x0201), 0x05, S, 2, 2, {0x00, 0x01}},
        {"GMM gain flag 1", SetGMMGain({300, 1}), 0x05, S, 3, 3, {0x11, 0x2C, 0x01}},
        {"GMM gain flag 0", SetGMMGain({300, 0}), 0x05, S, 3, 3, {0x01, 0x2C, 0x01}},
        {"GMM", SetGMM({1.0, -2.0, 0.5}), 0x05, S, 25, 25,
         Cat({{0x02}, Le(1.0), Le(-2.0), Le(0.5)})},
        {"measuring range", SetMeasuringRange(range), 0x06, S, 19, 19,
         Cat({Padded({1, 0x02, 0x01}, 17), {0x0B, 0x0A}})},
        {"measuring range get", GetMeasuringRange(2), 0x06, G, 1, 19, {0x02}},
        {"pulse count",
         SetPulseCount({1000, 1, 2, 0}),
         0x0A,
         S,
         5,
         5,
         {0xE8, 0x03, 0x01, 0x02, 0x00}},
        {"pulse count get", GetPulseCount(), 0x0A, G, 0, 20, {}},
        {"HTP", SetHTP(htp), 0x0E, S, 37, 37, Bytes(htp.begin(), htp.end())},
        {"HTP get", GetHTP(htp), 0x0E, G, 1, 37, {0x5A}},
        {"offset frame 0", SetOffSetFrame(offset, 0), 0x0F, S, 52, 52,
         Cat({{0, 1, 0, 0}, Bytes(offset.begin() + 2, offset.begin() + 50)})},
        {"offset frame 1", SetOffSetFrame(offset, 1), 0x0F, S, 54, 54,
         Cat({{0, 1, 1, 0}, Bytes(offset.begin() + 50, offset.begin() + 98), {99, 0}})},
        {"offset get frame 1", GetOffSetFrame(offset, 1), 0x0F, G, 3, 54, {0, 1, 1}},
        {"range offset", SetRangeOffset(rangeOffset), 0x0F, S, 54, 54,
         Padded({2, 0x00, 0x02, 0x00, 0, 0, 0, 0, 0x33, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x44},
                54)},
        {"range offset get", GetRangeOffset(1), 0x0F, G, 54, 54, Padded({1, 0x02}, 54)},
        {"colour intrinsic frame 1", SetParamFrame(intrinsic[0], params), 0x10, S, 33, 33,
         Cat({{0x04}, Le(1), Le(2), Le(3), Le(4)})},
        {"colour intrinsic frame 2", SetParamFrame(intrinsic[1], params), 0x10, S, 41, 41,
         Cat({{0x05}, Le(5), Le(6), Le(7), Le(8), Le(9)})},
        {"intrinsic get", GetParamFrame(intrinsic[1]), 0x10, G, 1, 41, {0x05}},
        {"transfer", SetParamFrame(transferParam[0], params), 0x10, S, 25, 25,
         Cat({{0x0A}, Le(1), Le(2), Le(3)})},
        {"JSON config query", IsSupportJSONConfig(), 0x11, G, 2, 64, {0x80, 0x01}},
        {"parameter push", SendCameraParams(true), 0x11, S, 64, 64, Padded({0x00, 0x02, 1}, 64)},
        {"work mode",
         SetWorkMode({0x20, 9, {0, 5, 0}}),
         0x12,
         S,
         6,
         6,
         {0x20, 0x00, 0x00, 0x01, 0x00, 0x00}},
        {"work mode get", GetWorkMode({0x20, 0, {1, 1, 1}}), 0x12, G, 5, 5, {0x20, 0, 1, 1, 1}},
        {"reboot", RebootCamera(), 0x12, S, 1, 1, {0x08}},
        {"serial number", text(Text::SN, "AB"), 0x13, S, 3, 3, {0x02, 'A', 'B'}},
        {"firmware version get", GetText(Text::FWVer, 10), 0x13, G, 1, 11, {0x03}},
        {"alias get", GetText(Text::Alias, 63), 0x13, G, 1, 64, {0x17}},
        {"device IP", text(Text::DeviceIPAddr, "1.2"), 0x18, S, 4, 4, {0x05, '1', '.', '2'}},
        {"device MAC get", GetText(Text::DeviceMACAddr, 20), 0x18, G, 1, 21, {0x13}},
        {"IMU read request, offset",
         ImuReadRequest(Imu::AccOffset),
         0x14,
         S,
         3,
         3,
         {0x21, 0x02, 0x00}},
        {"IMU read request, sensitivity",
         ImuReadRequest(Imu::GyroSensitivity),
         0x14,
         S,
         2,
         2,
         {0x21, 0x11}},
        {"IMU fetch", ImuFetch(Imu::AccSensitivity), 0x14, G, 37, 37, Padded({0x21, 0x01}, 37)},
        {"IMU set", SetImu(Imu::GyroOffsetTemp, imuTemp.data()), 0x14, S, 12, 12,
         Cat({{0x13}, Bytes(imuTemp.begin(), imuTemp.end())})},
        {"lens",
         SetLens({2, 1, 640, 360, 30, 2}),
         0x15,
         S,
         8,
         8,
         {0x02, 0x01, 0x80, 0x02, 0x68, 0x01, 0x1E, 0x02}},
        {"lens get", GetLens(2), 0x15, G, 1, 64, {0x12}},
        {"data-mode list", list(List::DataModes), 0x15, S, 64, 64,
         Padded({0x04, 0x00, 0x00, 3, 0, 1, 2}, 64)},
        {"depth-range list request", ListRequest(List::DepthRanges, S), 0x15, S, 64, 64,
         Padded({0x14, 0x00, 0x01}, 64)},
        {"plane header", PlaneHeader(7, 100), 0x16, S, 64, 64,
         Padded({0, 0, 0, 0, 0x01, 0, 0, 0, 0, 100, 0, 0, 0, 7, 0}, 64)},
        {"plane data", PlaneData(2, planeBytes, 56), 0x16, S, 64, 64,
         Padded({2, 0, 0, 0, 0xCC, 0xDD}, 64)},
        {"plane read request", PlaneRequest(3, G), 0x16, G, 64, 64,
         Padded({0, 0, 0, 0, 0, 3, 0, 0, 0}, 64)},
        {"DSP set, value at 3", dsp(0, true), 0x19, S, 64, 64, Padded({7, 0x01, 0x01, 1}, 64)},
        {"DSP set, value at 4", dsp(4, true), 0x19, S, 64, 64, Padded({7, 0x02, 0x01, 3, 1}, 64)},
        {"DSP request 0", dsp(0, false), 0x19, G, 64, 64, Padded({7, 0x81, 0x01}, 64)},
        {"DSP request 1", dsp(1, false), 0x19, G, 64, 64, Padded({7, 0x81, 0x02}, 64)},
        {"DSP request 2", dsp(2, false), 0x19, G, 64, 64, Padded({7, 0x81, 0x03}, 64)},
        {"DSP request 7", dsp(7, false), 0x19, G, 64, 64, Padded({7, 0x82, 0x03, 1}, 64)},
        {"TAL delay", SetTalDelay(tal), 0x1A, S, 11, 11, Bytes(tal.begin(), tal.end())},
        {"heartbeat", HeartBeat(), 0x1C, G, 1, 1, {0x01}},
        {"upgrade supported", GetUpgradeIsSupported(), 0x1D, G, 64, 64, Padded({2, 1}, 64)},
        {"JSON supported", GetJsonIsSupported(), 0x1D, G, 64, 64, Padded({3, 1}, 64)},
        {"upgrade mode", transfer(0), 0x1D, S, 64, 64,
         Padded(Cat({{1, 1}, host, {'i', 'm', 'a', 'g', 'e', '.', 'b', 'i', 'n'}}), 64)},
        {"JSON mode", transfer(1), 0x1D, S, 38, 38, Padded(Cat({{3, 1}, host}), 38)},
        {"JSON path", transfer(2), 0x1D, S, 38, 38,
         Padded(Cat({{3, 4}, host, {'c', 'o', 'n', 'f', 'i', 'g', '.', 'j', 's', 'o', 'n'}}), 38)},
        {"upgrade state",
         SetUpgradeState({2, 0x12345678, 9}),
         0x1D,
         S,
         10,
         10,
         {1, 2, 0x78, 0x56, 0x34, 0x12, 9, 0, 0, 0}},
        {"JSON state", SetJsonState({3, 0, 0}), 0x1D, S, 10, 10, {3, 3, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"upgrade state get", GetUpgradeState(), 0x1D, G, 10, 10, Padded({1}, 10)},
        {"JSON state get", GetJsonState(), 0x1D, G, 10, 10, Padded({3, 2}, 10)},
        {"test mode 0", testMode(0, {5, 6, 7, 8}), 0x1E, S, 5, 5, {0x01, 5, 0, 0, 0}},
        {"test mode 1 with settings",
         testMode(1, {1, 6, 7, 0x108}),
         0x1E,
         S,
         5,
         5,
         {0x02, 1, 6, 7, 8}},
        {"test mode 1 without", testMode(1, {0, 6, 7, 8}), 0x1E, S, 5, 5, {0x02, 0, 0, 0, 0}},
        {"slave trigger", SetSlaveTrigger(), 0x1F, S, 1, 1, {0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.command.id, c.id);
        EXPECT_EQ(c.command.direction, c.direction);
        EXPECT_EQ(c.command.requestLength, c.requestLength);
        EXPECT_EQ(c.command.replyCapacity, c.replyCapacity);
        EXPECT_EQ(Payload(c.command), c.payload);
    }
}

TEST(CommandsTest, DataModeCodes) {
    struct Row {
        uint8_t mode;
        Bytes payload;
    };
    const Row rows[] = {
        {0, {0x00, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0, 0}},
        {1, {0x01, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0, 0}},
        {2, {0x02, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x02, 0x01, 0x0F, 0x02, 0x0F}},
        {10, {0x03, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x02, 0x01, 0x0F, 0x02, 0x0F}},
        {11, {0x0B, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0, 0}},
        {12, {0x0C, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0, 0}},
        {13, {0x0D, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0, 0}},
        {5, Bytes(11, 0)},
        {100, Bytes(11, 0)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.mode));
        const Command c = SetDataMode(row.mode);
        EXPECT_EQ(c.id, 0x07);
        EXPECT_EQ(c.direction, Direction::Set);
        EXPECT_EQ(c.replyCapacity, 64);
        EXPECT_EQ(Payload(c), row.payload);
    }
}

TEST(CommandsTest, MeasuringStatusBits) {
    struct Row {
        uint8_t b1, b2, b3;
        std::array<bool, 10> expected;
    };
    const Row rows[] = {
        {0x00, 0x81, 0x00, {false, true, false, false, false, false, false, false, true, false}},
        {0x01, 0x00, 0x01, {true, false, false, false, false, false, false, false, false, true}},
        {0xFE, 0x7E, 0xFE, {false, false, true, true, true, true, true, true, false, false}},
    };
    for (const Row& row : rows) {
        const Command reply = Reply({0x0F, row.b1, row.b2, row.b3});
        std::array<bool, 10> status{};
        EXPECT_EQ(ReadMeasuringStatus(reply, status), 0);
        EXPECT_EQ(status, row.expected);
    }
}

TEST(CommandsTest, ValuesThatDoNotFitAreRefused) {
    Command c;
    c.id = 0x77;
    EXPECT_EQ(SetValue(Value::Threshold, 6553, c), 0);
    EXPECT_EQ(c.U16(1), 65530);
    c.id = 0x77;
    EXPECT_EQ(SetValue(Value::Threshold, 6554, c), kBadParameter);
    EXPECT_EQ(c.id, 0x77);  // left alone
    EXPECT_EQ(SetValue(Value::DepthRange, 256, c), kBadParameter);
    EXPECT_EQ(SetValue(Value::DataMode, 1, c), kBadParameter);  // get only
}

TEST(CommandsTest, ValueReadersTakeTheirField) {
    uint32_t value = 0;
    EXPECT_EQ(ReadValue(Value::Threshold, Reply({0x01, 0xFA, 0x00}), value), 0);
    EXPECT_EQ(value, 250u);  // as the camera holds it
    EXPECT_EQ(ReadValue(Value::TALEnable, Reply({0x34, 0x12}), value), 0);
    EXPECT_EQ(value, 0x1234u);
    EXPECT_EQ(ReadValue(Value::DataMode, Reply({0x07}), value), 0);
    EXPECT_EQ(value, 7u);
}

TEST(CommandsTest, RecordReadersTakeTheirBytes) {
    Command reply = Reply({0x0A, 3, 1, 2, 4, 5, 7, 8});
    WDROutputMode wdr;
    EXPECT_EQ(ReadWDRMode(reply, wdr), 0);
    EXPECT_EQ(+wdr.totalRange, 3u);
    EXPECT_EQ(+wdr.range2, 4u);
    EXPECT_EQ(+wdr.range3Count, 8);

    reply = Reply({0x00, 2, 0x11, 0x22, 0x33, 0x44});
    uint16_t values[2] = {};
    EXPECT_EQ(ReadRegisterValues(reply, values, 2), 0);
    EXPECT_EQ(values[0], 0x2211);
    EXPECT_EQ(values[1], 0x4433);

    reply = Reply({0x12, 7, 0x80, 0x07, 0x38, 0x04, 25, 3});
    LensRecord lens{2};
    EXPECT_EQ(ReadLens(reply, lens), 0);
    EXPECT_EQ(lens.sensor, 2);  // the caller's, not the echoed 0x12
    EXPECT_EQ(lens.width, 1920);
    EXPECT_EQ(lens.height, 1080);
    EXPECT_EQ(+lens.fps, 25);

    reply = Reply(Padded({0x09, 0x02, 0x01}, 19));
    NsMeasuringRange range{};
    range.depthMode = 1;
    EXPECT_EQ(ReadMeasuringRange(reply, range), 0);
    EXPECT_EQ(+range.depthMode, 1);
    EXPECT_EQ(+range.depthMaxNear, 0x0102);

    reply = Reply(Bytes(54, 0));
    reply.data[0] = 2;
    reply.data[4] = 0x10;
    reply.data[21] = 0x20;
    RangeOffsetRecord offset{};
    EXPECT_EQ(ReadRangeOffset(reply, offset), 0);
    EXPECT_EQ(offset[0], 2);
    EXPECT_EQ(offset[1], 0x10);
    EXPECT_EQ(offset[18], 0x20);

    reply = Reply({0x01, 4, 5, 6, 7});
    TransferState upgrade;
    EXPECT_EQ(ReadUpgradeState(reply, upgrade), 0);
    EXPECT_EQ(upgrade.state, 4u);
    EXPECT_EQ(upgrade.value2, 6u);
    TransferState json;
    EXPECT_EQ(ReadJsonState(reply, json), 0);
    EXPECT_EQ(json.state, 5u);
    EXPECT_EQ(json.value2, 7u);

    reply = Reply({7, 0x82, 0x01, 0x03, 0x01});
    uint8_t dsp = 0;
    EXPECT_EQ(ReadDspStatus(reply, 4, dsp), 0);
    EXPECT_EQ(dsp, 1);
    EXPECT_EQ(ReadDspStatus(reply, 0, dsp), 0);
    EXPECT_EQ(dsp, 3);
    EXPECT_EQ(ReadDspStatus(reply, 9, dsp), kBadParameter);
}

TEST(CommandsTest, OffsetRecordRoundTripsThroughItsFrames) {
    OffsetRecord sent{};
    for (size_t i = 0; i < sent.size(); ++i) {
        sent[i] = static_cast<uint8_t>(0x80 + i);
    }
    sent[98] = 0;  // the spare byte does not travel
    OffsetRecord read{};
    for (uint8_t k = 0; k < 2; ++k) {
        // A camera answering a read with what was written: bytes 0-3 header, data from 4.
        Command reply = SetOffSetFrame(sent, k);
        reply.received = reply.requestLength;
        EXPECT_EQ(ReadOffSetFrame(reply, k, read), 0);
    }
    read[0] = sent[0];
    read[1] = sent[1];
    EXPECT_EQ(read, sent);
}

TEST(CommandsTest, TextsAreBoundedAndTerminated) {
    Command c;
    const std::string fits(63, 'x');
    EXPECT_EQ(SetText(Text::PCBA, fits.c_str(), 63, c), 0);
    EXPECT_EQ(c.requestLength, 64);
    const std::string tooLong(64, 'x');
    EXPECT_EQ(SetText(Text::PCBA, tooLong.c_str(), 64, c), kDoesNotFit);
    EXPECT_EQ(SetText(Text::FWVer, "1", 1, c), kBadParameter);  // read only

    Command reply = GetText(Text::SN, 4);
    const char text[] = "ABCDEF";
    reply.Put(1, text, 6);
    reply.received = 7;
    char out[4] = {'?', '?', '?', '?'};
    ReadText(reply, out, sizeof out);
    EXPECT_STREQ(out, "ABC");
    char one[1] = {'?'};
    ReadText(reply, one, 1);
    EXPECT_EQ(one[0], '\0');
}

TEST(CommandsTest, TextsTakeWhatArrived) {
    // Bytes past the reply are left from before (here: an earlier, longer text).
    Command reply = Reply({0x17, 'A', 'B', 'C', 'D', 'E'});
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
    EXPECT_EQ(ReadList(reply, List::DataModes, data, length), kBadParameter);
    EXPECT_EQ(length, 3u);

    reply.data[3] = 10;  // more ranges than there are
    reply.received = 64;
    length = 64;
    EXPECT_EQ(ReadList(reply, List::DepthRanges, data, length), kDoesNotFit);

    const uint8_t tooMany[] = {33};
    Command c;
    EXPECT_EQ(SetList(List::DataModes, tooMany, sizeof tooMany, c), kBadParameter);
    const uint8_t shortData[] = {3, 0};
    EXPECT_EQ(SetList(List::DataModes, shortData, sizeof shortData, c), kBadParameter);
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

TEST(CommandsTest, ShortRepliesAreRefusedAndWriteNothing) {
    using Read = std::function<Outcome(const Command&)>;
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
        {"WDR mode", GetWDRMode(), 8,
         [](const Command& r) {
             return Into(WDROutputMode{}, [&](WDROutputMode& m) { return ReadWDRMode(r, m); });
         }},
        {"measuring status", GetMeasuringStatus(), 4,
         [](const Command& r) {
             return Into(std::array<bool, 10>{},
                         [&](std::array<bool, 10>& s) { return ReadMeasuringStatus(r, s); });
         }},
        {"measuring range", GetMeasuringRange(1), 19,
         [](const Command& r) {
             return Into(NsMeasuringRange{},
                         [&](NsMeasuringRange& m) { return ReadMeasuringRange(r, m); });
         }},
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
        {"GMM", GetGMM(GmmBlock{}), 28,
         [](const Command& r) {
             return Into(GmmBlock{}, [&](GmmBlock& b) { return ReadGMM(r, b); });
         }},
        {"pulse counts", GetPulseCount(), 20,
         [](const Command& r) {
             return Into(PulseCountBlock{},
                         [&](PulseCountBlock& b) { return ReadPulseCount(r, b); });
         }},
        {"HTP", GetHTP(HtpBlock{}), 37,
         [](const Command& r) {
             return Into(HtpBlock{}, [&](HtpBlock& b) { return ReadHTP(r, b); });
         }},
        {"offset frame 0", GetOffSetFrame(OffsetRecord{}, 0), 52,
         [](const Command& r) {
             return Into(OffsetRecord{}, [&](OffsetRecord& o) { return ReadOffSetFrame(r, 0, o); });
         }},
        {"offset frame 1 with its last byte", GetOffSetFrame(OffsetRecord{}, 1), 53,
         [](const Command& r) {
             return Into(OffsetRecord{}, [&](OffsetRecord& o) { return ReadOffSetFrame(r, 1, o); });
         }},
        {"range offset", GetRangeOffset(1), 22,
         [](const Command& r) {
             return Into(RangeOffsetRecord{},
                         [&](RangeOffsetRecord& o) { return ReadRangeOffset(r, o); });
         }},
        {"JSON config", IsSupportJSONConfig(), 3,
         [](const Command& r) {
             return Into(true, [&](bool& b) { return ReadJSONConfigSupported(r, b); });
         }},
        {"work mode", GetWorkMode(WorkModeRecord{}), 5,
         [](const Command& r) {
             return Into(WorkModeRecord{}, [&](WorkModeRecord& m) { return ReadWorkMode(r, m); });
         }},
        {"lens", GetLens(1), 8,
         [](const Command& r) {
             return Into(LensRecord{}, [&](LensRecord& l) { return ReadLens(r, l); });
         }},
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
        {"TAL delay", GetTalDelay(TalDelayRecord{}), 11,
         [](const Command& r) {
             return Into(TalDelayRecord{}, [&](TalDelayRecord& t) { return ReadTalDelay(r, t); });
         }},
        {"upgrade supported", GetUpgradeIsSupported(), 3,
         [](const Command& r) {
             return Into(uint8_t{0}, [&](uint8_t& v) { return ReadSupported(r, v); });
         }},
        {"upgrade state", GetUpgradeState(), 4,
         [](const Command& r) {
             return Into(TransferState{}, [&](TransferState& t) { return ReadUpgradeState(r, t); });
         }},
        {"JSON state", GetJsonState(), 5,
         [](const Command& r) {
             return Into(TransferState{}, [&](TransferState& t) { return ReadJsonState(r, t); });
         }},
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
            EXPECT_EQ(refused.status, kShortReply) << received;
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
    } rows[] = {{7, 0}, {6, kShortReply}, {4, kShortReply}, {3, kShortReply}, {0, kShortReply}};
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
    EXPECT_EQ(FileNameOf("C:/a/b/fw.img"), "fw.img");
    EXPECT_EQ(FileNameOf("a\\b/c\\fw.img"), "fw.img");
    EXPECT_EQ(FileNameOf("fw.img"), "fw.img");
    EXPECT_EQ(FileNameOf("dir/"), "");

    Command c;
    const std::string name46 = "/tmp/" + std::string(46, 'n');
    const std::string name47 = "/tmp/" + std::string(47, 'n');
    EXPECT_EQ(SetToUpgradeMode("192.168.100.200", name46, c), 0);
    EXPECT_EQ(c.U8(63), 'n');
    EXPECT_EQ(SetToUpgradeMode("192.168.100.200", name47, c), kDoesNotFit);
    EXPECT_EQ(SetToUpgradeMode("1.2.3.4", "/tmp/", c), kDoesNotFit);
    EXPECT_EQ(SetJsonPath("1.2.3.4", std::string(20, 'j'), c), 0);
    EXPECT_EQ(SetJsonPath("1.2.3.4", std::string(21, 'j'), c), kDoesNotFit);
    EXPECT_EQ(SetToJsonMode("1234567890123456", c), kDoesNotFit);
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
