// Settings of the network command table, library against simulator: single values, the
// records of group 0x02, ranges and offsets, GMM, lens and work mode. Each step checks the
// request bytes, the camera's state and what the library read back.
#include <cstring>

#include "CrossCheck.h"

namespace quorix::crosscheck {
namespace {

TEST_F(CrossCheck, SingleValuesTravelAsWrittenAndComeBack) {
    Connect(kSingleValues);
    SocketProtocol& p = *protocol;
    using S = sim::SensorState;
    uint16_t u16 = 0;
    uint8_t u8 = 0;
    uint32_t range = 0;
    uint8_t depthMode = 7;  // GetDepthMode sends the caller's byte
    Run({
        SetStep(
            "SetThreshold(25)", [&] { return p.SetThreshold(25); }, Set(0x02, {0x01, 0xFA, 0x00}),
            &S::thresholdX10, 250),
        // The camera's value comes back as it holds it: ten times the threshold.
        GetStep(
            "GetThreshold", [&] { return p.GetThreshold(u16); }, Get(0x02, {0x01, 0x00, 0x00}), u16,
            250),
        SetStep(
            "SetConfidenceBit", [&] { return p.SetConfidenceBit(3); }, Set(0x02, {0x03, 0x03}),
            &S::confidenceBit, 3),
        GetStep(
            "GetConfidenceBit", [&] { return p.GetConfidenceBit(u8); }, Get(0x02, {0x03, 0x00}), u8,
            3),
        SetStep(
            "SetConfidenceWhich", [&] { return p.SetConfidenceWhich(2); }, Set(0x02, {0x04, 0x02}),
            &S::confidenceWhich, 2),
        GetStep(
            "GetConfidenceWhich", [&] { return p.GetConfidenceWhich(u8); }, Get(0x02, {0x04, 0}),
            u8, 2),
        SetStep(
            "SetTofFrameRate", [&] { return p.SetTofFrameRate(15); }, Set(0x02, {0x07, 0x0F}),
            &S::tofFrameRate, 15),
        GetStep(
            "GetTofFrameRate", [&] { return p.GetTofFrameRate(u8); }, Get(0x02, {0x07, 0x00}), u8,
            15),
        SetStep(
            "SetSlaveModeEnabled", [&] { return p.SetSlaveModeEnabled(true); },
            Set(0x02, {0x08, 0x01}), &S::slaveMode, 1),
        SetStep(
            "SetAntiInterferenceEnabled", [&] { return p.SetAntiInterferenceEnabled(true); },
            Set(0x02, {0x09, 0x01}), &S::antiInterference, 1),
        GetStep(
            "GetDepthMode",
            [&] {
                camera->UpdateState([](sim::SimState& st) { st.sensors[0].depthMode = 3; });
                return p.GetDepthMode(depthMode);
            },
            Get(0x08, {0x07}), depthMode, 3),
        SetStep(
            "SetDepthRange", [&] { return p.SetDepthRange(4); }, Set(0x09, {0x04}), &S::depthRange,
            4),
        GetStep(
            "GetDepthRange", [&] { return p.GetDepthRange(range); }, Get(0x09, {}), range, 4u),
        SetStep(
            "SetLDEnable", [&] { return p.SetLDEnable(0x0102); }, Set(0x0B, {0x02, 0x01}),
            &S::ldEnable, 0x0102),
        GetStep(
            "GetLDEnable", [&] { return p.GetLDEnable(u16); }, Get(0x0B, {0x00, 0x00}), u16,
            0x0102),
        SetStep(
            "SetISAEnable", [&] { return p.SetISAEnable(1); }, Set(0x0C, {0x01}), &S::isaEnable, 1),
        GetStep(
            "GetISAEnable", [&] { return p.GetISAEnable(u8); }, Get(0x0C, {0x00}), u8, 1),
        SetStep(
            "SetTALEnable", [&] { return p.SetTALEnable(0x0304); }, Set(0x0D, {0x04, 0x03}),
            &S::talEnable, 0x0304),
        GetStep(
            "GetTALEnable", [&] { return p.GetTALEnable(u16); }, Get(0x0D, {0x00, 0x00}), u16,
            0x0304),
        SetStep(
            "SetImuDataMode", [&] { return p.SetImuDataMode(2); }, Set(0x14, {0x41, 0x02}),
            &S::imuDataMode, 2),
        SetStep(
            "StartStream", [&] { return p.StartStream(); }, Set(0x1B, {0x01}), &S::streaming, true),
        SetStep(
            "StopStream", [&] { return p.StopStream(); }, Set(0x1B, {0x00}), &S::streaming, false),
        // Mode 1 cuts its values to a byte, and sends them only when its first one is 1.
        SetStep(
            "SetTestModeState mode 1",
            [&] {
                return p.SetTestModeState(1, {1, 0x107, 8, 9});
            },
            Set(0x1E, {0x02, 0x01, 0x07, 0x08, 0x09}), &S::testMode,
            std::array<uint8_t, 5>{0x02, 0x01, 0x07, 0x08, 0x09}),
        SetStep(
            "SetTestModeState mode 1 off",
            [&] {
                return p.SetTestModeState(1, {0, 7, 8, 9});
            },
            Set(0x1E, {0x02, 0x00, 0x00, 0x00, 0x00}), &S::testMode,
            std::array<uint8_t, 5>{0x02, 0, 0, 0, 0}),
        SetStep(
            "SetTestModeState mode 0",
            [&] {
                return p.SetTestModeState(0, {4, 7, 8, 9});
            },
            Set(0x1E, {0x01, 0x04, 0x00, 0x00, 0x00}), &S::testMode,
            std::array<uint8_t, 5>{0x01, 0x04, 0, 0, 0}),
        SetStep(
            "SetSlaveTrigger", [&] { return p.SetSlaveTrigger(); }, Set(0x1F, {0x00}),
            &S::slaveTriggers, 1u),
    });
}

// Every row of the data-mode code table: code, word and three bytes, then the mode read back.
TEST_F(CrossCheck, EveryDataModeCode) {
    Connect(kDataModes);
    const struct {
        uint8_t mode;
        Bytes payload;
    } rows[] = {
        {0, {0x00, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0x00, 0x00}},
        {1, {0x01, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0x00, 0x00}},
        {2, {0x02, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x02, 0x01, 0x0F, 0x02, 0x0F}},
        {10, {0x03, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x02, 0x01, 0x0F, 0x02, 0x0F}},
        {11, {0x0B, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0x00, 0x00}},
        {12, {0x0C, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0x00, 0x00}},
        {13, {0x0D, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0x00, 0x00}},
    };
    uint8_t mode = 0xFF;
    std::vector<Step> steps;
    for (const auto& row : rows) {
        const std::string name = "data mode " + std::to_string(row.mode);
        steps.push_back(
            {name + " set",
             [&] { return protocol->SetDataMode(row.mode); },
             {Set(0x07, row.payload)},
             [&row](const sim::SimState& st) { EXPECT_EQ(Sensor0(st).dataMode, row.mode); }});
        steps.push_back({name + " get",
                         [&] { return protocol->GetDataMode(mode); },
                         {Get(0x07, {})},
                         [&](const sim::SimState&) { EXPECT_EQ(mode, row.mode); }});
    }
    // A mode without a code sends eleven zero bytes, which no camera mode matches.
    steps.push_back({"data mode 5",
                     [&] { return protocol->SetDataMode(5); },
                     {Set(0x07, Bytes(11, 0))},
                     [](const sim::SimState& st) { EXPECT_EQ(Sensor0(st).dataMode, 13); }});
    Run(steps);
}

// Session 1 of a camera: its own ports (9018, 9019) and its own sensor state.
TEST_F(CrossCheck, SecondSessionReachesItsOwnSensor) {
    Connect(kSecondSession, 1);
    uint16_t threshold = 0;
    Run({
        {"SetThreshold(25)",
         [&] { return protocol->SetThreshold(25); },
         {Set(0x02, {0x01, 0xFA, 0x00})},
         [](const sim::SimState& st) {
             EXPECT_EQ(st.sensors.at(1).thresholdX10, 250);
             EXPECT_EQ(st.sensors.at(0).thresholdX10, 50);
         }},
        {"GetThreshold",
         [&] { return protocol->GetThreshold(threshold); },
         {Get(0x02, {0x01, 0x00, 0x00})},
         [&](const sim::SimState&) { EXPECT_EQ(threshold, 250); }},
    });
}

TEST_F(CrossCheck, PulseCountHtpAndTalDelayBlocks) {
    Connect(kBlocks);
    SocketProtocol& p = *protocol;
    using S = sim::SensorState;
    PulseCountBlock pulses{};
    HtpBlock htp{};
    for (size_t i = 0; i < htp.size(); ++i) {
        htp[i] = static_cast<uint8_t>(0x40 + i);
    }
    HtpBlock htpBack{};
    const TalDelayRecord tal{0, 0, 0, 0, 0, 0, 0xF8, 0x3F, 0x34, 0x12, 0x05};  // 1.5, 0x1234, 5
    TalDelayRecord talBack{};
    uint32_t talLength = sizeof talBack;
    Run({
        // Pulse count 1500 of group 1 index 2, that is of depth range 5.
        {"SetPulseCount",
         [&] {
             return p.SetPulseCount({1500, 1, 2, 0});
         },
         {Set(0x0A, {0xDC, 0x05, 0x01, 0x02, 0x00})},
         [&](const sim::SimState& st) { EXPECT_EQ(Sensor0(st).pulseCounts[5], 1500); }},
        {"GetPulseCount",
         [&] { return p.GetPulseCount(pulses); },
         {Get(0x0A, {})},
         [&](const sim::SimState&) {
             EXPECT_EQ(pulses[2 + 2 * 5], 0xDC);
             EXPECT_EQ(pulses[3 + 2 * 5], 0x05);
         }},
        SetStep(
            "SetHTP", [&] { return p.SetHTP(htp); }, Set(0x0E, Bytes(htp.begin(), htp.end())),
            &S::htp, htp),
        // The get carries one byte of the caller's block.
        GetStep(
            "GetHTP", [&] { return p.GetHTP(htpBack); }, Get(0x0E, {0x00}), htpBack, htp),
        SetStep(
            "SetTalDelay", [&] { return p.SetProperty(property::kTalDelay, tal.data(), 11); },
            Set(0x1A, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F, 0x34, 0x12, 0x05}), &S::talDelay, tal),
        {"GetTalDelay",
         [&] { return p.GetProperty(property::kTalDelay, talBack.data(), talLength); },
         {Get(0x1A, Bytes(11, 0))},
         [&](const sim::SimState&) {
             EXPECT_EQ(talBack, tal);
             EXPECT_EQ(talLength, 11u);
         }},
    });
}

TEST_F(CrossCheck, WdrModeAndMeasuringStatus) {
    Connect(kWdrAndStatus);
    SocketProtocol& p = *protocol;
    WDROutputMode mode;
    std::array<bool, 10> status{};
    auto only = [](std::initializer_list<size_t> on) {
        std::array<bool, 10> expected{};
        for (size_t i : on) {
            expected[i] = true;
        }
        return expected;
    };
    Run({
        // Two ranges: range 3 and its count go out as zero whatever the record holds.
        {"SetWDRMode two ranges",
         [&] {
             return p.SetWDRMode({2, 4, 1, 7, 2, 8, 3});
         },
         {Set(0x02, {0x0A, 0x02, 0x04, 0x01, 0x07, 0x02, 0x00, 0x00})},
         [&](const sim::SimState& st) {
             EXPECT_EQ(Sensor0(st).wdrMode, (std::array<uint8_t, 7>{2, 4, 1, 7, 2, 0, 0}));
         }},
        {"GetWDRMode two ranges",
         [&] { return p.GetWDRMode(mode); },
         {Get(0x02, Pad({0x0A}, 8))},
         [&](const sim::SimState&) {
             EXPECT_EQ(+mode.totalRange, 2u);
             EXPECT_EQ(+mode.range1, 4u);
             EXPECT_EQ(+mode.range1Count, 1);
             EXPECT_EQ(+mode.range2, 7u);
             EXPECT_EQ(+mode.range2Count, 2);
             EXPECT_EQ(+mode.range3, 0u);
             EXPECT_EQ(+mode.range3Count, 0);
         }},
        {"SetWDRMode three ranges",
         [&] {
             return p.SetWDRMode({3, 0, 1, 4, 2, 8, 3});
         },
         {Set(0x02, {0x0A, 0x03, 0x00, 0x01, 0x04, 0x02, 0x08, 0x03})},
         nullptr},
        {"GetWDRMode three ranges",
         [&] { return p.GetWDRMode(mode); },
         {Get(0x02, Pad({0x0A}, 8))},
         [&](const sim::SimState&) {
             EXPECT_EQ(+mode.totalRange, 3u);
             EXPECT_EQ(+mode.range3, 8u);
             EXPECT_EQ(+mode.range3Count, 3);
         }},
        {"SetMeasuringStatus item 1",
         [&] { return p.SetMeasuringStatus(1, 1); },
         {Set(0x02, {0x0F, 0x01, 0x01})},
         nullptr},
        {"SetMeasuringStatus item 8",
         [&] { return p.SetMeasuringStatus(8, 1); },
         {Set(0x02, {0x0F, 0x08, 0x01})},
         [&](const sim::SimState& st) {
             EXPECT_EQ(Sensor0(st).measuringStatus, only({1, 8}));
         }},
        // Reply byte 2 = 0x81: outputs 1 and 8, nothing from bytes 1 and 3.
        {"GetMeasuringStatus 0x81",
         [&] { return p.GetMeasuringStatus(status); },
         {Get(0x02, {0x0F, 0x00, 0x00, 0x00})},
         [&](const sim::SimState&) {
             EXPECT_EQ(status, only({1, 8}));
         }},
        {"GetMeasuringStatus bytes 1 and 3",
         [&] {
             camera->UpdateState([&](sim::SimState& st) {
                 st.sensors[0].measuringStatus = only({0, 9});
             });
             return p.GetMeasuringStatus(status);
         },
         {Get(0x02, {0x0F, 0x00, 0x00, 0x00})},
         [&](const sim::SimState&) {
             EXPECT_EQ(status, only({0, 9}));
         }},
        // An on/off value of 2 is logged and sent anyway; the camera ignores it.
        {"SetMeasuringStatus para wrong",
         [&] { return p.SetMeasuringStatus(2, 2); },
         {Set(0x02, {0x0F, 0x02, 0x02})},
         [&](const sim::SimState& st) {
             EXPECT_EQ(Sensor0(st).measuringStatus, only({0, 9}));
         }},
    });
}

TEST_F(CrossCheck, MeasuringRangeDepthOffsetAndOffsetRecords) {
    Connect(kRangesAndOffsets);
    SocketProtocol& p = *protocol;
    const NsMeasuringRange range{2, 11000, 13000, 16000, 9000, 11000, 15000, 10, 20, 30};
    NsMeasuringRange rangeBack{};
    rangeBack.depthMode = 2;

    // Depth-offset record: group 1, nine u16 100..900.
    const RangeOffsetRecord offsets{0x01, 0x64, 0x00, 0xC8, 0x00, 0x2C, 0x01, 0x90, 0x01, 0xF4,
                                    0x01, 0x58, 0x02, 0xBC, 0x02, 0x20, 0x03, 0x84, 0x03};
    RangeOffsetRecord offsetsBack{1};
    uint32_t offsetsLength = sizeof offsetsBack;

    OffsetRecord record{};
    record[0] = 0x05;
    record[1] = 0x01;
    for (size_t i = 2; i < 98; ++i) {
        record[i] = static_cast<uint8_t>(i);
    }
    record[99] = 0x7E;
    OffsetRecord recordBack{};
    recordBack[0] = 0x05;
    recordBack[1] = 0x01;
    const Bytes half0(record.begin() + 2, record.begin() + 50);
    const Bytes half1(record.begin() + 50, record.begin() + 98);

    Run({
        {"SetMeasuringRange",
         [&] { return p.SetMeasuringRange(range); },
         {Set(0x06, {0x02, 0xF8, 0x2A, 0xC8, 0x32, 0x80, 0x3E, 0x28, 0x23, 0xF8, 0x2A, 0x98, 0x3A,
                     0x0A, 0x00, 0x14, 0x00, 0x1E, 0x00})},
         [&](const sim::SimState& st) {
             EXPECT_EQ(
                 Sensor0(st).measuringRanges[2],
                 (std::array<uint16_t, 9>{11000, 13000, 16000, 9000, 11000, 15000, 10, 20, 30}));
         }},
        {"GetMeasuringRange",
         [&] { return p.GetMeasuringRange(rangeBack); },
         {Get(0x06, {0x02})},
         [&](const sim::SimState&) { EXPECT_EQ(std::memcmp(&rangeBack, &range, 19), 0); }},
        {"SetRangeOffset",
         [&] { return p.SetProperty(property::kRangeOffset, offsets.data(), 19); },
         {Set(0x0F, Pad({0x01, 0x00, 0x02, 0x00, 0x64, 0x00, 0xC8, 0x00, 0x2C, 0x01, 0x90,
                         0x01, 0xF4, 0x01, 0x58, 0x02, 0xBC, 0x02, 0x20, 0x03, 0x84, 0x03},
                        54))},
         [&](const sim::SimState& st) {
             EXPECT_EQ(Sensor0(st).rangeOffsets[1],
                       (std::array<uint16_t, 9>{100, 200, 300, 400, 500, 600, 700, 800, 900}));
         }},
        {"GetRangeOffset",
         [&] { return p.GetProperty(property::kRangeOffset, offsetsBack.data(), offsetsLength); },
         {Get(0x0F, Pad({0x01, 0x02}, 54))},
         [&](const sim::SimState&) {
             EXPECT_EQ(offsetsBack, offsets);
             EXPECT_EQ(offsetsLength, 19u);
             // The offsets of near, mid and far: the u16 at record bytes 5, 11 and 17.
             EXPECT_EQ(offsetsBack[5] | offsetsBack[6] << 8, 300);
             EXPECT_EQ(offsetsBack[11] | offsetsBack[12] << 8, 600);
             EXPECT_EQ(offsetsBack[17] | offsetsBack[18] << 8, 900);
         }},
        {"SetOffSet",
         [&] { return p.SetOffSet(record); },
         {Set(0x0F, Cat({{0x05, 0x01, 0x00, 0x00}, half0})),
          Set(0x0F, Cat({{0x05, 0x01, 0x01, 0x00}, half1, {0x7E, 0x00}}))},
         [&](const sim::SimState& st) {
             const auto& kept = Sensor0(st).offsets.at(0x0105);
             EXPECT_EQ(Bytes(kept.halves.begin(), kept.halves.end()), Cat({half0, half1}));
             EXPECT_EQ(kept.last, 0x7E);
         }},
        {"GetOffSet",
         [&] { return p.GetOffSet(recordBack); },
         {Get(0x0F, {0x05, 0x00, 0x01}), Get(0x0F, {0x05, 0x01, 0x01})},
         [&](const sim::SimState&) { EXPECT_EQ(recordBack, record); }},
    });
}

TEST_F(CrossCheck, GmmGainIrs2AndGmmRecord) {
    Connect(kGmm);
    SocketProtocol& p = *protocol;
    using S = sim::SensorState;
    GmmBlock gmm{};
    gmm[0] = 0x02;
    const Bytes doubles = Cat({F64(0x3FF8000000000000), F64(0xC002000000000000),
                               F64(0x4008000000000000)});  // 1.5, -2.25, 3
    Run({
        {"SetIRS2Enable selector 1",
         [&] { return p.SetIRS2Enable(0x0105); },
         {Set(0x05, {0x10, 0x05})},
         [&](const sim::SimState& st) { EXPECT_EQ(Sensor0(st).irs2[1], 5); }},
        {"SetIRS2Enable selector 0",
         [&] { return p.SetIRS2Enable(0x0007); },
         {Set(0x05, {0x00, 0x07})},
         [&](const sim::SimState& st) { EXPECT_EQ(Sensor0(st).irs2[0], 7); }},
        SetStep(
            "SetGMMGain option 1",
            [&] {
                return p.SetGMMGain({300, 1});
            },
            Set(0x05, {0x11, 0x2C, 0x01}), &S::gmmOption, 1),
        SetStep(
            "SetGMMGain option 0",
            [&] {
                return p.SetGMMGain({250, 0});
            },
            Set(0x05, {0x01, 0xFA, 0x00}), &S::gmmGain, 250),
        {"SetGMM",
         [&] {
             return p.SetGMM({1.5, -2.25, 3.0});
         },
         {Set(0x05, Cat({{0x02}, doubles}))},
         [&](const sim::SimState& st) {
             EXPECT_EQ(Bytes(Sensor0(st).gmm.begin(), Sensor0(st).gmm.end()), doubles);
         }},
        {"GetGMM",
         [&] { return p.GetGMM(gmm); },
         {Get(0x05, Pad({0x02}, 28))},
         [&](const sim::SimState&) {
             double back[3];
             std::memcpy(back, gmm.data() + 1, sizeof back);
             EXPECT_EQ(back[0], 1.5);
             EXPECT_EQ(back[1], -2.25);
             EXPECT_EQ(back[2], 3.0);
         }},
    });
}

TEST_F(CrossCheck, LensWorkModeAndLowPower) {
    Connect(kLensAndWorkMode);
    SocketProtocol& p = *protocol;
    using S = sim::SensorState;
    using Five = std::array<uint8_t, 5>;
    LensRecord lens;
    lens.sensor = 2;
    WorkModeRecord work;
    Run({
        // Sensor 2, state 1, 1280 x 720, 15 fps, encoding 2.
        {"SetLens",
         [&] {
             return p.SetLens({2, 1, 1280, 720, 15, 2});
         },
         {Set(0x15, {0x02, 0x01, 0x00, 0x05, 0xD0, 0x02, 0x0F, 0x02})},
         [&](const sim::SimState& st) {
             EXPECT_EQ(Sensor0(st).lens[2],
                       (std::array<uint8_t, 8>{0x02, 0x01, 0x00, 0x05, 0xD0, 0x02, 0x0F, 0x02}));
         }},
        {"GetLens",
         [&] { return p.GetLens(lens); },
         {Get(0x15, {0x12})},
         [&](const sim::SimState&) {
             EXPECT_EQ(lens.sensor, 2);
             EXPECT_EQ(lens.state, 1);
             EXPECT_EQ(lens.width, 1280);
             EXPECT_EQ(lens.height, 720);
             EXPECT_EQ(lens.fps, 15);
             EXPECT_EQ(lens.encoding, 2);
         }},
        SetStep(
            "SetWorkMode",
            [&] {
                return p.SetWorkMode({0x03, 0, {1, 0, 2}});
            },
            Set(0x12, {0x03, 0x00, 0x01, 0x00, 0x01, 0x00}), &S::workMode, Five{3, 0, 1, 0, 1}),
        {"GetWorkMode",
         [&] { return p.GetWorkMode(work); },
         {Get(0x12, Bytes(5, 0))},
         [&](const sim::SimState&) {
             EXPECT_EQ(work.mode, 3);
             EXPECT_EQ(work.flags[0], 1);
             EXPECT_EQ(work.flags[2], 1);
         }},
        // Low power: read the work mode, then write mode 0x20 with the last two flags 0.
        {"SetLowPowerModeEnabled(true)",
         [&] { return p.SetLowPowerModeEnabled(true); },
         {Get(0x12, Bytes(5, 0)), Set(0x12, {0x20, 0x00, 0x01, 0x00, 0x00, 0x00})},
         [&](const sim::SimState& st) {
             EXPECT_EQ(Sensor0(st).workMode, (Five{0x20, 0, 1, 0, 0}));
         }},
        {"SetLowPowerModeEnabled(false)",
         [&] { return p.SetLowPowerModeEnabled(false); },
         {Get(0x12, Bytes(5, 0)), Set(0x12, {0x20, 0x00, 0x01, 0x01, 0x01, 0x00})},
         [&](const sim::SimState& st) {
             EXPECT_EQ(Sensor0(st).workMode, (Five{0x20, 0, 1, 1, 1}));
         }},
    });
}

}  // namespace
}  // namespace quorix::crosscheck
