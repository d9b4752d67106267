// Records of the network command table, library against simulator: two-step gets (inertial
// items, registers, lists, DSP status), texts of groups 0x13 and 0x18, calibration and plane
// correction.
#include <cstring>

#include "CrossCheck.h"

namespace quorix::crosscheck {
namespace {

// A set and a two-step get of one inertial item.
template <typename Block>
std::vector<Step> ImuSteps(SocketProtocol& p, const char* name, uint8_t sub, Bytes readRequest,
                           int32_t (CommandProtocol::*set)(const Block&),
                           int32_t (CommandProtocol::*get)(Block&), const Block& sent,
                           Block& back) {
    const Bytes block(sent.begin(), sent.end());
    return {
        {std::string(name) + " set",
         [&p, set, &sent] { return (p.*set)(sent); },
         {Set(0x14, Cat({{sub}, block}))},
         [sub, block](const sim::SimState& st) { EXPECT_EQ(Sensor0(st).imu.at(sub), block); }},
        {std::string(name) + " get",
         [&p, get, &back] { return (p.*get)(back); },
         {Set(0x14, std::move(readRequest)), Get(0x14, Pad({0x21, sub}, block.size() + 1))},
         [&back, block](const sim::SimState&) {
             EXPECT_EQ(Bytes(back.begin(), back.end()), block);
         }},
    };
}

template <typename Block>
Block Filled(uint8_t first) {
    Block block;
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(first + i);
    }
    return block;
}

TEST_F(CrossCheck, InertialRegistersAndListsAreReadInTwoSteps) {
    Connect(kTwoStepGets);
    SocketProtocol& p = *protocol;
    using P = SocketProtocol;
    const auto accS = Filled<ImuSensitivity>(0x10);
    const auto accO = Filled<ImuOffset>(0x50);
    const auto accT = Filled<ImuOffsetTemp>(0x70);
    const auto gyroS = Filled<ImuSensitivity>(0x90);
    const auto gyroO = Filled<ImuOffset>(0xC0);
    const auto gyroT = Filled<ImuOffsetTemp>(0xE0);
    ImuSensitivity accSBack{}, gyroSBack{};
    ImuOffset accOBack{}, gyroOBack{};
    ImuOffsetTemp accTBack{}, gyroTBack{};

    std::vector<Step> steps;
    for (auto&& part : {
             ImuSteps(p, "acc sensitivity", 0x01, {0x21, 0x01}, &P::SetACCSensitivity,
                      &P::GetACCSensitivity, accS, accSBack),
             // The offset read requests are three bytes long.
             ImuSteps(p, "acc offset", 0x02, {0x21, 0x02, 0x00}, &P::SetACCOffset, &P::GetACCOffset,
                      accO, accOBack),
             ImuSteps(p, "acc offset temp", 0x03, {0x21, 0x03}, &P::SetACCOffsetTemp,
                      &P::GetACCOffsetTemp, accT, accTBack),
             ImuSteps(p, "gyro sensitivity", 0x11, {0x21, 0x11}, &P::SetGyroSensitivity,
                      &P::GetGyroSensitivity, gyroS, gyroSBack),
             ImuSteps(p, "gyro offset", 0x12, {0x21, 0x12, 0x00}, &P::SetGyroOffset,
                      &P::GetGyroOffset, gyroO, gyroOBack),
             ImuSteps(p, "gyro offset temp", 0x13, {0x21, 0x13}, &P::SetGyroOffsetTemp,
                      &P::GetGyroOffsetTemp, gyroT, gyroTBack),
         }) {
        steps.insert(steps.end(), part.begin(), part.end());
    }

    const uint16_t addresses[] = {0x1234, 0x0010};
    const uint16_t values[] = {0xBEEF, 0x0001};
    const uint16_t readAddresses[] = {0x1234, 0x0010, 0x0099};
    uint16_t readValues[3] = {7, 7, 7};
    const uint8_t modes[] = {3, 0, 2, 10};
    uint8_t modesBack[33] = {};
    uint32_t modesLength = sizeof modesBack;
    const uint8_t ranges[] = {2, 1, 4};
    uint8_t rangesBack[10] = {};
    uint32_t rangesLength = sizeof rangesBack;
    const Bytes readRegisters{0x00, 0x03, 0x34, 0x12, 0x10, 0x00, 0x99, 0x00};
    const std::vector<Step> more = {
        {"SetRegVal",
         [&] { return p.SetRegVal(addresses, values, 2); },
         {Set(0x04, {0x01, 0x02, 0x34, 0x12, 0xEF, 0xBE, 0x10, 0x00, 0x01, 0x00})},
         [&](const sim::SimState& st) {
             EXPECT_EQ(Sensor0(st).registers.at(0x1234), 0xBEEF);
             EXPECT_EQ(Sensor0(st).registers.at(0x0010), 0x0001);
         }},
        {"GetRegVal",
         [&] { return p.GetRegVal(readAddresses, readValues, 3); },
         {Set(0x04, readRegisters), Get(0x04, readRegisters)},
         [&](const sim::SimState&) {
             EXPECT_EQ(readValues[0], 0xBEEF);
             EXPECT_EQ(readValues[1], 0x0001);
             EXPECT_EQ(readValues[2], 0x0000);  // never written
         }},
        {"SetOutModeList",
         [&] { return p.SetProperty(property::kOutModeList, modes, 4); },
         {Set(0x15, Pad({0x04, 0x00, 0x00, 0x03, 0x00, 0x02, 0x0A}, 64))},
         [&](const sim::SimState& st) {
             EXPECT_EQ(Sensor0(st).dataModeList, (Bytes{0, 2, 10}));
         }},
        {"GetOutModeList",
         [&] { return p.GetProperty(property::kOutModeList, modesBack, modesLength); },
         {Set(0x15, Pad({0x14, 0x00, 0x00}, 64)), Get(0x15, Pad({0x14, 0x00, 0x00}, 64))},
         [&](const sim::SimState&) {
             EXPECT_EQ(modesLength, 4u);
             EXPECT_EQ(Bytes(modesBack, modesBack + 4), Bytes(modes, modes + 4));
         }},
        {"SetDepthRangeList",
         [&] { return p.SetProperty(property::kDepthRangeList, ranges, 3); },
         {Set(0x15, Pad({0x04, 0x00, 0x01, 0x02, 0x01, 0x04}, 64))},
         [&](const sim::SimState& st) {
             EXPECT_EQ(Sensor0(st).depthRangeList, (Bytes{1, 4}));
         }},
        {"GetDepthRangeList",
         [&] { return p.GetProperty(property::kDepthRangeList, rangesBack, rangesLength); },
         {Set(0x15, Pad({0x14, 0x00, 0x01}, 64)), Get(0x15, Pad({0x14, 0x00, 0x01}, 64))},
         [&](const sim::SimState&) {
             EXPECT_EQ(rangesLength, 3u);
             EXPECT_EQ(Bytes(rangesBack, rangesBack + 3), Bytes(ranges, ranges + 3));
         }},
    };
    steps.insert(steps.end(), more.begin(), more.end());
    Run(steps);
}

// Every selector is written first and read afterwards, so a read that also wrote (the
// selectors whose read word equals their write word) would show as a changed value.
TEST_F(CrossCheck, DspStatusOfEverySelectorRoundTrips) {
    Connect(kDspStatus);
    struct Row {
        uint32_t selector;
        Bytes write;  // after the option byte
        Bytes read;
    };
    const Row rows[] = {
        {0, {0x01, 0x01, 0x40}, {0x81, 0x01}},
        {1, {0x01, 0x02, 0x41}, {0x81, 0x02}},
        {2, {0x01, 0x03, 0x42}, {0x81, 0x03}},
        {3, {0x02, 0x01, 0x02, 0x43}, {0x82, 0x01, 0x02}},
        {4, {0x02, 0x01, 0x03, 0x44}, {0x82, 0x01, 0x03}},
        {5, {0x02, 0x01, 0x04, 0x45}, {0x82, 0x01, 0x04}},
        {6, {0x02, 0x01, 0x01, 0x46}, {0x82, 0x01, 0x01}},
        {7, {0x02, 0x03, 0x01, 0x47}, {0x82, 0x03, 0x01}},
        {8, {0x02, 0x02, 0x01, 0x48}, {0x82, 0x02, 0x01}},
    };
    constexpr uint8_t kOption = 0x07;
    std::vector<DspStatusRecord> back(std::size(rows));
    std::vector<uint32_t> lengths(std::size(rows), sizeof(DspStatusRecord));
    std::vector<Step> steps;
    for (const Row& row : rows) {
        const uint8_t value = static_cast<uint8_t>(0x40 + row.selector);
        steps.push_back({"set selector " + std::to_string(row.selector),
                         [this, &row, value] {
                             const DspStatusRecord status{kOption, row.selector, value};
                             return protocol->SetProperty(property::kDspStatus, &status,
                                                          sizeof status);
                         },
                         {Set(0x19, Pad(Cat({{kOption}, row.write}), 64))},
                         [&row, value](const sim::SimState& st) {
                             EXPECT_EQ(Sensor0(st).dsp[kOption][row.selector], value);
                         }});
    }
    for (const Row& row : rows) {
        const Bytes read = Pad(Cat({{kOption}, row.read}), 64);
        DspStatusRecord& status = back[row.selector];
        uint32_t& length = lengths[row.selector];
        steps.push_back({"get selector " + std::to_string(row.selector),
                         [this, &row, &status, &length] {
                             status = {kOption, row.selector, 0};
                             return protocol->GetProperty(property::kDspStatus, &status, length);
                         },
                         {Set(0x19, read), Get(0x19, read)},
                         [&row, &status, &length](const sim::SimState& st) {
                             EXPECT_EQ(status.value, 0x40 + row.selector);
                             EXPECT_EQ(length, sizeof(DspStatusRecord));
                             EXPECT_EQ(Sensor0(st).dsp[kOption][row.selector], 0x40 + row.selector);
                         }});
    }
    Run(steps);
}

TEST_F(CrossCheck, TextsOfBothGroups) {
    Connect(kTexts);
    SocketProtocol& p = *protocol;
    const std::string host = camera->State().announce.peerIp;
    ASSERT_FALSE(host.empty());
    char text[64] = {};
    const std::string sn63(63, 'S');
    auto is = [&](const char* expected) {
        return [&text, expected](const sim::SimState&) { EXPECT_STREQ(text, expected); };
    };
    std::vector<Step> steps = {
        {"SetSN",
         [&] { return p.SetSN("QX-CROSS-42", 11); },
         {Set(0x13, Cat({{0x02}, Ascii("QX-CROSS-42")}))},
         [](const sim::SimState& st) { EXPECT_EQ(st.serial, "QX-CROSS-42"); }},
        {"GetSN",
         [&] { return p.GetSN(text, sizeof text); },
         {Get(0x13, {0x02})},
         is("QX-CROSS-42")},
        // A small buffer gets what fits, ended.
        {"GetSN cut", [&] { return p.GetSN(text, 6); }, {Get(0x13, {0x02})}, is("QX-CR")},
        {"SetPCBA",
         [&] { return p.SetPCBA("PCBA-7", 6); },
         {Set(0x13, Cat({{0x01}, Ascii("PCBA-7")}))},
         [](const sim::SimState& st) { EXPECT_EQ(st.pcba, "PCBA-7"); }},
        {"GetPCBA",
         [&] { return p.GetPCBA(text, sizeof text); },
         {Get(0x13, {0x01})},
         is("PCBA-7")},
        // 63 characters fill a request; one more could not travel whole and is refused.
        {"SetSN 63",
         [&] { return p.SetSN(sn63.c_str(), 63); },
         {Set(0x13, Cat({{0x02}, Ascii(sn63)}))},
         [&](const sim::SimState& st) { EXPECT_EQ(st.serial, sn63); }},
        {"GetSN 63",
         [&] { return p.GetSN(text, sizeof text); },
         {Get(0x13, {0x02})},
         [&](const sim::SimState&) { EXPECT_EQ(text, sn63); }},
        {"SetSN 64",
         [&] { return p.SetSN((sn63 + "4").c_str(), 64); },
         {},
         [&](const sim::SimState& st) { EXPECT_EQ(st.serial, sn63); },
         -1},
        {"GetFWVer",
         [&] { return p.GetFWVer(text, sizeof text); },
         {Get(0x13, {0x03})},
         is("20240115_V45")},
        {"GetHWVer",
         [&] { return p.GetHWVer(text, sizeof text); },
         {Get(0x13, {0x04})},
         is("HW_V1.0")},
        {"GetFlashType",
         [&] { return p.GetFlashType(text, sizeof text); },
         {Get(0x13, {0x05})},
         is("NOR")},
        {"GetAlias",
         [&] {
             camera->UpdateState([](sim::SimState& st) { st.alias = "lab-cam"; });
             return p.GetAlias(text, sizeof text);
         },
         {Get(0x13, {0x17})},
         is("lab-cam")},
        // The upgrade flag carries this host's address on the command connection, whatever
        // the caller passes.
        {"SetDeviceUpgradeFlag",
         [&] { return p.SetProperty(property::kDeviceUpgradeFlag, "ignored", 7); },
         {Set(0x18, Cat({{0x01}, Ascii(host)}))},
         [&](const sim::SimState& st) { EXPECT_EQ(st.upgradeFlag, host); }},
        {"GetDeviceUpgradeFlag",
         [&] {
             uint32_t length = sizeof text;
             return p.GetProperty(property::kDeviceUpgradeFlag, text, length);
         },
         {Get(0x18, {0x11})},
         [&](const sim::SimState&) { EXPECT_EQ(text, host); }},
    };
    struct DeviceText {
        uint32_t id;
        uint8_t sub;
        const char* text;
        std::string sim::SimState::*field;
    };
    const DeviceText deviceTexts[] = {
        {property::kDeviceSN, 0x02, "DEV-SN-9", &sim::SimState::serial},
        {property::kDeviceMACAddr, 0x03, "02:11:22:33:44:55", &sim::SimState::macAddress},
        {property::kDeviceSoftVer, 0x04, "20240501_V46", &sim::SimState::softwareVersion},
        {property::kDeviceIPAddr, 0x05, "127.0.92.99", &sim::SimState::ipAddress},
        {property::kDeviceSubnetMask, 0x06, "255.255.0.0", &sim::SimState::subnetMask},
    };
    for (const DeviceText& d : deviceTexts) {
        const std::string name = std::string("device text ") + d.text;
        steps.push_back({name + " set",
                         [&p, &d] {
                             return p.SetProperty(d.id, d.text,
                                                  static_cast<uint32_t>(strlen(d.text)));
                         },
                         {Set(0x18, Cat({{d.sub}, Ascii(d.text)}))},
                         [&d](const sim::SimState& st) { EXPECT_EQ(st.*d.field, d.text); }});
        steps.push_back({name + " get",
                         [&p, &d, &text] {
                             uint32_t length = sizeof text;
                             return p.GetProperty(d.id, text, length);
                         },
                         {Get(0x18, {static_cast<uint8_t>(0x10 | d.sub)})},
                         is(d.text)});
    }
    Run(steps);
}

// Doubles as bit patterns, so the expected bytes do not come from the host's own encoding.
Bytes Doubles(std::initializer_list<uint64_t> bits) {
    Bytes out;
    for (uint64_t b : bits) {
        const Bytes one = F64(b);
        out.insert(out.end(), one.begin(), one.end());
    }
    return out;
}

constexpr uint64_t k0 = 0;
constexpr uint64_t k1 = 0x3FF0000000000000;
constexpr uint64_t kMinus1 = 0xBFF0000000000000;
constexpr uint64_t kHalf = 0x3FE0000000000000;
constexpr uint64_t kQuarter = 0x3FD0000000000000;
constexpr uint64_t kMinusQuarter = 0xBFD0000000000000;
constexpr uint64_t kEighth = 0x3FC0000000000000;
constexpr uint64_t kSixteenth = 0x3FB0000000000000;
constexpr uint64_t kMinus30 = 0xC03E000000000000;
constexpr uint64_t k180 = 0x4066800000000000;
constexpr uint64_t k240 = 0x406E000000000000;
constexpr uint64_t k320 = 0x4074000000000000;
constexpr uint64_t k360 = 0x4076800000000000;
constexpr uint64_t k500 = 0x407F400000000000;
constexpr uint64_t k600 = 0x4082C00000000000;

TEST_F(CrossCheck, CalibrationRoundTrips) {
    Connect(kCalibration);
    SocketProtocol& p = *protocol;
    const Matrix3 depth{500, 0, 320, 0, 500, 240, 0, 0, 1};
    const Matrix3 colour{600, 0, 360, 0, 600, 180, 0, 0, 1};
    const Distortion distortion{-0.25, 0.125, 0.0625, -1, 0.5, 0, 0, 0};
    const Matrix3 matrix{0.5, -0.25, 0, 0.25, 0.5, 0, 0, 0, 1};
    const Vector3 translation{-30, 0.5, 0.125};
    const Bytes matrixHead = Doubles({kHalf, kMinusQuarter, k0, kQuarter});
    const Bytes matrixTail = Doubles({kHalf, k0, k0, k0, k1});
    const Bytes distortionHead = Doubles({kMinusQuarter, kEighth, kSixteenth, kMinus1});
    const Bytes distortionTail = Doubles({kHalf, k0, k0, k0});
    Matrix3 m{};
    Distortion d{};
    Vector3 v{};
    auto two = [](uint8_t sub, const Bytes& head, const Bytes& tail) {
        return std::vector<Wire>{Set(0x10, Cat({{sub}, head})),
                                 Set(0x10, Cat({{static_cast<uint8_t>(sub + 1)}, tail}))};
    };
    auto fetch = [](uint8_t sub) {
        return std::vector<Wire>{Get(0x10, {sub}), Get(0x10, {static_cast<uint8_t>(sub + 1)})};
    };
    Run({
        {"depth intrinsic set", [&] { return p.SetCameraIntrinsic(1, depth); },
         two(0x00, Doubles({k500, k0, k320, k0}), Doubles({k500, k240, k0, k0, k1})),
         [&](const sim::SimState& st) { EXPECT_EQ(Sensor0(st).depthIntrinsic, depth); }},
        {"depth intrinsic get", [&] { return p.GetCameraIntrinsic(1, m); }, fetch(0x00),
         [&](const sim::SimState&) { EXPECT_EQ(m, depth); }},
        {"colour intrinsic set", [&] { return p.SetCameraIntrinsic(2, colour); },
         two(0x04, Doubles({k600, k0, k360, k0}), Doubles({k600, k180, k0, k0, k1})),
         [&](const sim::SimState& st) { EXPECT_EQ(Sensor0(st).colourIntrinsic, colour); }},
        {"colour intrinsic get", [&] { return p.GetCameraIntrinsic(2, m); }, fetch(0x04),
         [&](const sim::SimState&) { EXPECT_EQ(m, colour); }},
        {"depth distortion set", [&] { return p.SetCameraDistortion(1, distortion); },
         two(0x02, distortionHead, distortionTail),
         [&](const sim::SimState& st) { EXPECT_EQ(Sensor0(st).depthDistortion, distortion); }},
        {"colour distortion set", [&] { return p.SetCameraDistortion(2, distortion); },
         two(0x06, distortionHead, distortionTail),
         [&](const sim::SimState& st) { EXPECT_EQ(Sensor0(st).colourDistortion, distortion); }},
        {"colour distortion get", [&] { return p.GetCameraDistortion(2, d); }, fetch(0x06),
         [&](const sim::SimState&) { EXPECT_EQ(d, distortion); }},
        {"rotation set", [&] { return p.SetCameraRotation(matrix); },
         two(0x08, matrixHead, matrixTail),
         [&](const sim::SimState& st) { EXPECT_EQ(Sensor0(st).rotation, matrix); }},
        {"rotation get", [&] { return p.GetCameraRotation(m); }, fetch(0x08),
         [&](const sim::SimState&) { EXPECT_EQ(m, matrix); }},
        {"translation set",
         [&] { return p.SetCameraTransfer(translation); },
         {Set(0x10, Cat({{0x0A}, Doubles({kMinus30, kHalf, kEighth})}))},
         [&](const sim::SimState& st) { EXPECT_EQ(Sensor0(st).translation, translation); }},
        {"translation get",
         [&] { return p.GetCameraTransfer(v); },
         {Get(0x10, {0x0A})},
         [&](const sim::SimState&) { EXPECT_EQ(v, translation); }},
        {"essential set", [&] { return p.SetCameraE(matrix); }, two(0x0B, matrixHead, matrixTail),
         [&](const sim::SimState& st) { EXPECT_EQ(Sensor0(st).essential, matrix); }},
        {"fundamental set", [&] { return p.SetCameraF(matrix); }, two(0x0D, matrixHead, matrixTail),
         [&](const sim::SimState& st) { EXPECT_EQ(Sensor0(st).fundamental, matrix); }},
        {"fundamental get",
         [&] {
             m = {};
             return p.GetCameraF(m);
         },
         fetch(0x0D), [&](const sim::SimState&) { EXPECT_EQ(m, matrix); }},
        // Lens 3 is neither depth nor colour: nothing is sent, nothing changes.
        {"lens 3 set",
         [&] { return p.SetCameraIntrinsic(3, colour); },
         {},
         [&](const sim::SimState& st) { EXPECT_EQ(Sensor0(st).depthIntrinsic, depth); }},
        {"lens 3 get",
         [&] {
             m = {};
             return p.GetCameraIntrinsic(3, m);
         },
         {},
         [&](const sim::SimState&) { EXPECT_EQ(m, Matrix3{}); }},
    });
}

// 20 000 bytes: 357 whole pieces of 56 bytes and one of 8, so piece numbers pass 255 and
// need more than the one byte that the table names for them.
TEST_F(CrossCheck, PlaneCorrectionBeyondPiece255) {
    Connect(kPlaneCorrection);
    constexpr uint32_t kCount = 5000;
    constexpr uint32_t kPieces = 358;
    Bytes block(kCount * 4);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(i * 7 + i / 251);
    }
    auto piece = [&](uint32_t k) {
        const size_t at = 56 * (k - 1);
        return Bytes(block.begin() + at, block.begin() + std::min(block.size(), at + 56));
    };

    ASSERT_EQ(protocol->SetPlaneCorrectionParam(0x0102, block.data(), kCount), 0);
    std::vector<Wire> wire = Exchanged();
    ASSERT_EQ(wire.size(), 1 + kPieces);
    // Header: frame 0, byte 4 = 1, length 20 000 at 9..12, id at 13..14.
    EXPECT_EQ(wire[0],
              Set(0x16, Pad({0, 0, 0, 0, 0x01, 0, 0, 0, 0, 0x20, 0x4E, 0, 0, 0x02, 0x01}, 64)));
    EXPECT_EQ(wire[1], Set(0x16, Pad(Cat({{0x01, 0, 0, 0}, piece(1)}), 64)));
    EXPECT_EQ(wire[256], Set(0x16, Pad(Cat({{0x00, 0x01, 0, 0}, piece(256)}), 64)));
    EXPECT_EQ(wire[358], Set(0x16, Pad(Cat({{0x66, 0x01, 0, 0}, piece(358)}), 64)));
    for (uint32_t k = 1; k <= kPieces; ++k) {
        EXPECT_EQ(wire[k].payload[0] | wire[k].payload[1] << 8, static_cast<int>(k));
    }
    const sim::SensorState sensor = Sensor();
    EXPECT_EQ(sensor.planeCorrection, block);
    EXPECT_EQ(sensor.planeCorrectionId, 0x0102);

    uint16_t id = 0;
    uint32_t count = 0;
    Bytes back(block.size());
    ASSERT_EQ(protocol->GetPlaneCorrectionParam(id, back.data(), kCount, count), 0);
    EXPECT_EQ(back, block);
    EXPECT_EQ(id, 0x0102);
    EXPECT_EQ(count, kCount);
    wire = Exchanged();
    ASSERT_EQ(wire.size(), 2 + 2 * kPieces);
    EXPECT_EQ(wire[0], Set(0x16, Bytes(64, 0)));
    EXPECT_EQ(wire[1], Get(0x16, Bytes(64, 0)));
    // The read request of piece k: byte 4 = 0, k as a u32 from byte 5.
    const std::pair<uint32_t, Bytes> requests[] = {{1, {0x01, 0, 0, 0}},
                                                   {255, {0xFF, 0, 0, 0}},
                                                   {256, {0x00, 0x01, 0, 0}},
                                                   {358, {0x66, 0x01, 0, 0}}};
    for (const auto& [k, bytes] : requests) {
        const Bytes request = Pad(Cat({{0, 0, 0, 0, 0}, bytes}), 64);
        EXPECT_EQ(wire[2 * k], Set(0x16, request)) << k;
        EXPECT_EQ(wire[2 * k + 1], Get(0x16, request)) << k;
    }

    // A caller's block one entry too small: the header is read, nothing more.
    EXPECT_EQ(protocol->GetPlaneCorrectionParam(id, back.data(), kCount - 1, count), 1);
    EXPECT_EQ(Exchanged().size(), 2u);
}

}  // namespace
}  // namespace quorix::crosscheck
