// The command table as the camera executes it: request bytes written out by hand from
// the table, the state they change, and the reply bytes a get brings back.
#include "sim/CommandHandler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace quorix::sim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pad(Bytes bytes, size_t size) {
    bytes.resize(size, 0);
    return bytes;
}

Bytes Doubles(std::initializer_list<double> values) {
    Bytes out;
    for (double v : values) {
        uint8_t raw[8];
        std::memcpy(raw, &v, 8);  // little-endian host
        out.insert(out.end(), raw, raw + 8);
    }
    return out;
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Ascii(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Text(uint8_t sub, const std::string& text) {
    return Cat({sub}, Ascii(text));
}

class CommandTable : public ::testing::Test {
protected:
    CommandOutcome Send(uint8_t command, const Bytes& payload, uint32_t session = 0) {
        // A heap copy of exactly the payload's size, so a read past it is caught.
        auto copy = std::make_unique<uint8_t[]>(payload.size());
        std::copy(payload.begin(), payload.end(), copy.get());
        return HandleCommand(state, session, pending, command, copy.get(), payload.size());
    }
    void Set(uint8_t command, const Bytes& payload, uint32_t session = 0) {
        const CommandOutcome out = Send(command, payload, session);
        EXPECT_FALSE(out.reply);
        EXPECT_TRUE(out.known) << std::hex << int{command};
    }
    Bytes Get(uint8_t command, const Bytes& payload, uint32_t session = 0) {
        const CommandOutcome out = Send(static_cast<uint8_t>(command | 0x80), payload, session);
        EXPECT_TRUE(out.reply);
        EXPECT_TRUE(out.known) << std::hex << int{command};
        return out.payload;
    }
    SensorState& Sensor(uint32_t i = 0) { return state.sensors[i]; }

    SimState state = MakeDefaultState(561, "127.0.0.2", "QX0001", 2);
    PendingReads pending;
};

TEST_F(CommandTable, ThresholdTravelsTimesTen) {
    Set(0x02, {0x01, 0xFA, 0x00});  // threshold 25
    EXPECT_EQ(Sensor().thresholdX10, 250);
    EXPECT_EQ(Get(0x02, {0x01, 0x00, 0x00}), (Bytes{0x01, 0xFA, 0x00}));
}

// Sets whose get brings back the same bytes at the same places.
TEST_F(CommandTable, GetsReturnWhatSetsStored) {
    struct Row {
        const char* name;
        uint8_t command;
        std::vector<Bytes> sets;
        Bytes get;
        Bytes reply;
    };
    const Bytes range1{0x01, 0x10, 0x27, 0x20, 0x4E, 0x30, 0x75, 0x11, 0x27,
                       0x21, 0x4E, 0x31, 0x75, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00};
    Bytes htp(37);
    for (size_t i = 0; i < htp.size(); ++i) {
        htp[i] = static_cast<uint8_t>(i + 1);
    }
    const Bytes tal{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F, 0x34, 0x12, 0x07};
    const Bytes d03 = Doubles({500.0, 0.0, 321.5, 0.0});
    const Bytes d48 = Doubles({501.0, 241.5, 0.0, 0.0, 1.0});
    const Bytes lens{0x02, 0x01, 0x00, 0x05, 0xD0, 0x02, 0x1E, 0x02};  // 1280 x 720 at 30
    const Row rows[] = {
        {"confidence bit", 0x02, {{0x03, 0x05}}, {0x03, 0x00}, {0x03, 0x05}},
        {"confidence which", 0x02, {{0x04, 0x02}}, {0x04, 0x00}, {0x04, 0x02}},
        {"tof frame rate", 0x02, {{0x07, 0x0F}}, {0x07, 0x00}, {0x07, 0x0F}},
        {"WDR mode", 0x02, {{0x0A, 3, 0, 2, 4, 1, 8, 1}}, Pad({0x0A}, 8),
         {0x0A, 3, 0, 2, 4, 1, 8, 1}},
        {"measuring range", 0x06, {range1}, {0x01}, range1},
        {"depth range", 0x09, {{0x04}}, {}, {0x04}},
        {"LD", 0x0B, {{0x34, 0x12}}, {0x00, 0x00}, {0x34, 0x12}},
        {"ISA", 0x0C, {{0x01}}, {0x00}, {0x01}},
        {"TAL", 0x0D, {{0x02, 0x00}}, {0x00, 0x00}, {0x02, 0x00}},
        {"HTP", 0x0E, {htp}, {0x00}, htp},
        {"TAL delay", 0x1A, {tal}, Pad({}, 11), tal},
        {"depth intrinsic 0-3", 0x10, {Cat({0x00}, d03)}, {0x00}, Cat({0x00}, d03)},
        {"depth intrinsic 4-8", 0x10, {Cat({0x01}, d48)}, {0x01}, Cat({0x01}, d48)},
        {"colour distortion 4-7", 0x10, {Cat({0x07}, d03)}, {0x07}, Cat({0x07}, d03)},
        {"rotation 4-8", 0x10, {Cat({0x09}, d48)}, {0x09}, Cat({0x09}, d48)},
        {"translation", 0x10, {Cat({0x0A}, Doubles({-24.5, 0.25, 1.0}))}, {0x0A},
         Cat({0x0A}, Doubles({-24.5, 0.25, 1.0}))},
        {"fundamental 0-3", 0x10, {Cat({0x0D}, d03)}, {0x0D}, Cat({0x0D}, d03)},
        {"GMM", 0x05, {Cat({0x02}, Doubles({1.5, 2.5, 3.5}))}, Pad({0x02}, 28),
         Pad(Cat({0x02}, Doubles({1.5, 2.5, 3.5})), 28)},
        {"work mode", 0x12, {{0x20, 0x00, 0x00, 0x01, 0x01, 0x00}}, Pad({}, 5),
         {0x20, 0x00, 0x00, 0x01, 0x01}},
        {"lens", 0x15, {lens}, {0x12}, Pad(lens, 64)},
        {"PCBA", 0x13, {Text(0x01, "PCB-7")}, {0x01}, Text(0x01, "PCB-7")},
        {"MAC address", 0x18, {Text(0x03, "02:11:22:33:44:55")}, {0x13},
         Text(0x13, "02:11:22:33:44:55")},
        {"subnet mask", 0x18, {Text(0x06, "255.255.0.0")}, {0x16}, Text(0x16, "255.255.0.0")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const Bytes& set : row.sets) {
            Set(row.command, set);
        }
        EXPECT_EQ(Get(row.command, row.get), row.reply);
    }
}

TEST_F(CommandTable, EveryDataModeRowSelectsItsModeAndNothingElseDoes) {
    struct Row {
        uint8_t mode;
        Bytes payload;
    };
    const Row rows[] = {
        {1, {0x01, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0x00, 0x00}},
        {2, {0x02, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x02, 0x01, 0x0F, 0x02, 0x0F}},
        {10, {0x03, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x02, 0x01, 0x0F, 0x02, 0x0F}},
        {11, {0x0B, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0x00, 0x00}},
        {12, {0x0C, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0x00, 0x00}},
        {13, {0x0D, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0x00, 0x00}},
        {0, {0x00, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0x00, 0x00}},
    };
    for (const Row& row : rows) {
        Set(0x07, row.payload);
        EXPECT_EQ(Sensor().dataMode, row.mode);
        EXPECT_EQ(Get(0x07, {}), Bytes{row.mode});
    }
    const Bytes refused[] = {
        Bytes(11, 0),                                                         // unknown mode
        {0x03, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0x00, 0x00},  // wrong word
        {0x02, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x02, 0x01, 0x0F, 0x02},        // short
    };
    for (const Bytes& payload : refused) {
        EXPECT_FALSE(Send(0x07, payload).known);
        EXPECT_EQ(Sensor().dataMode, 0);
    }
}

TEST_F(CommandTable, MeasuringStatusPacksTenSwitchesIntoThreeBytes) {
    Set(0x02, {0x0F, 1, 1});
    Set(0x02, {0x0F, 8, 1});
    Set(0x02, {0x0F, 3, 2});   // on/off of 2 is not a value
    Set(0x02, {0x0F, 10, 1});  // no item 10
    EXPECT_EQ(Get(0x02, {0x0F, 0, 0, 0}), (Bytes{0x0F, 0x00, 0x81, 0x00}));
    Set(0x02, {0x0F, 0, 1});
    Set(0x02, {0x0F, 9, 1});
    Set(0x02, {0x0F, 1, 0});
    EXPECT_EQ(Get(0x02, {0x0F, 0, 0, 0}), (Bytes{0x0F, 0x01, 0x80, 0x01}));
}

TEST_F(CommandTable, PulseCountRecordAddressesOneRangeAndTheGetReportsAll) {
    Set(0x09, {5});
    Set(0x0A, {0xB8, 0x0B, 1, 2, 0});  // 3000 for group 1 index 2: range 5
    Set(0x0A, {0x10, 0x00, 3, 0, 0});  // no group 3: ignored
    Bytes expected{0xB8, 0x0B};
    for (int range = 0; range < 9; ++range) {
        const Bytes value = range == 5 ? Bytes{0xB8, 0x0B} : Bytes{0xD0, 0x07};  // 2000
        expected = Cat(expected, value);
    }
    EXPECT_EQ(Get(0x0A, {}), expected);
}

TEST_F(CommandTable, DepthOffsetRecordAndOffsetHalvesShareTheirGroup) {
    Bytes nine;
    for (uint8_t v = 1; v <= 9; ++v) {
        nine = Cat(nine, {v, 0x01});
    }
    Set(0x0F, Pad(Cat({0x02, 0x00, 0x02, 0x00}, nine), 54));
    EXPECT_EQ(Get(0x0F, Pad({0x02, 0x02}, 54)), Pad(Cat({0x02, 0x00, 0x02, 0x00}, nine), 54));

    Bytes half0(48), half1(48);
    for (size_t i = 0; i < 48; ++i) {
        half0[i] = static_cast<uint8_t>(0x10 + i);
        half1[i] = static_cast<uint8_t>(0x80 + i);
    }
    Set(0x0F, Cat({0x05, 0x07, 0x00, 0x00}, half0));                  // 52 bytes
    Set(0x0F, Cat(Cat({0x05, 0x07, 0x01, 0x00}, half1), {0x99, 0}));  // 54 bytes
    EXPECT_EQ(Get(0x0F, {0x05, 0x00, 0x07}), Pad(Cat({0x05, 0x07, 0x00, 0x00}, half0), 54));
    EXPECT_EQ(Get(0x0F, {0x05, 0x01, 0x07}),
              Cat(Cat({0x05, 0x07, 0x01, 0x00}, half1), {0x99, 0x00}));
    // The depth-offset record of mode 5 was not touched by the halves.
    EXPECT_EQ(Get(0x0F, Pad({0x05, 0x02}, 54)), Pad({0x05, 0x00, 0x02}, 54));
}

TEST_F(CommandTable, TextsShareSerialAndKeepFirmwareReadOnly) {
    EXPECT_EQ(Get(0x13, {0x03}), Text(0x03, "20240115_V45"));
    Set(0x13, Text(0x02, "NEW-SN"));
    EXPECT_EQ(state.serial, "NEW-SN");
    EXPECT_EQ(Get(0x18, {0x12}), Text(0x12, "NEW-SN"));
    Set(0x18, Text(0x02, std::string("DEV\0junk", 8)));
    EXPECT_EQ(Get(0x13, {0x02}), Text(0x02, "DEV"));
    EXPECT_EQ(Get(0x13, {0x17}), Bytes{0x17});  // no alias
    EXPECT_FALSE(Send(0x13, Text(0x03, "19990101_V1")).known);
    EXPECT_EQ(state.firmwareVersion, "20240115_V45");
    Set(0x13, Text(0x01, std::string(80, 'x')));
    EXPECT_EQ(state.pcba.size(), kMaxTextLength);
}

TEST_F(CommandTable, ListsAreReadInTwoSteps) {
    Set(0x15, Pad({0x04, 0x00, 0x00, 3, 0, 2, 11}, 64));
    Set(0x15, Pad({0x04, 0x00, 0x01, 2, 0, 4}, 64));
    Set(0x15, Pad({0x04, 0x00, 0x01, 10, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0}, 64));  // 10 > 9 ranges
    Set(0x15, Pad({0x14, 0x00, 0x00}, 64));
    EXPECT_EQ(Get(0x15, Pad({}, 64)), Pad({0x14, 0x00, 0x00, 3, 0, 2, 11}, 64));
    Set(0x15, Pad({0x14, 0x00, 0x01}, 64));
    EXPECT_EQ(Get(0x15, Pad({}, 64)), Pad({0x14, 0x00, 0x01, 2, 0, 4}, 64));
    // A get with nothing requested is not answered with a list.
    EXPECT_FALSE(Send(0x95, Pad({}, 64)).known);
}

TEST_F(CommandTable, InertialBlocksAreReadInTwoSteps) {
    Bytes block(36);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(0xA0 + i);
    }
    Set(0x14, Cat({0x11}, block));
    Set(0x14, {0x21, 0x11});
    EXPECT_EQ(Get(0x14, Pad({}, 37)), Cat({0x11}, block));
    const Bytes offset{1, 2, 3, 0, 0, 0x80, 0x3F, 0, 0, 0, 0x40, 0, 0, 0x40, 0x40};
    Set(0x14, Cat({0x02}, offset));
    Set(0x14, {0x21, 0x02, 0x00});
    EXPECT_EQ(Get(0x14, Pad({}, 16)), Cat({0x02}, offset));
    Set(0x14, {0x41, 0x03});
    EXPECT_EQ(Sensor().imuDataMode, 3);
}

TEST_F(CommandTable, RegistersAreWrittenInPairsAndReadByAddress) {
    Set(0x04, {0x01, 2, 0x10, 0x00, 0x34, 0x12, 0x20, 0x00, 0x78, 0x56});
    const Bytes read{0x00, 3, 0x10, 0x00, 0x20, 0x00, 0x30, 0x00};
    Set(0x04, read);
    EXPECT_EQ(Get(0x04, read), (Bytes{0x00, 3, 0x34, 0x12, 0x78, 0x56, 0x00, 0x00}));
    // A count larger than the pairs sent writes nothing.
    EXPECT_FALSE(Send(0x04, {0x01, 3, 0x10, 0x00, 0xFF, 0xFF}).known);
    Set(0x04, {0x00, 1, 0x10, 0x00});
    EXPECT_EQ(Get(0x04, {0x00, 1, 0x10, 0x00}), (Bytes{0x00, 1, 0x34, 0x12}));
}

TEST_F(CommandTable, PlaneCorrectionBlockGoesInPiecesAndComesBack) {
    Bytes block(120);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(i * 3);
    }
    // Header: frame 0, byte 4 = 1, L = 120 at 9..12, id 7 at 13..14.
    Set(0x16, Pad({0, 0, 0, 0, 0x01, 0, 0, 0, 0, 120, 0, 0, 0, 7, 0}, 64));
    for (uint8_t k = 1; k <= 3; ++k) {
        const size_t from = 56u * (k - 1u);
        const size_t count = std::min<size_t>(56, block.size() - from);
        Set(0x16, Pad(Cat({k, 0, 0, 0}, Bytes(block.begin() + from, block.begin() + from + count)),
                      64));
    }
    EXPECT_EQ(Sensor().planeCorrection, block);
    Set(0x16, Pad({}, 64));
    EXPECT_EQ(Get(0x16, Pad({}, 64)), Pad({0, 0, 0, 0, 0x01, 0, 0, 0, 0, 120, 0, 0, 0, 7, 0}, 64));
    Set(0x16, Pad({0, 0, 0, 0, 0x00, 3}, 64));
    EXPECT_EQ(Get(0x16, Pad({}, 64)), Pad(Cat({3, 0, 0, 0}, Bytes(block.begin() + 112, block.end())), 64));
    Set(0x16, Pad({0, 0, 0, 0, 0x00, 2}, 64));
    EXPECT_EQ(Get(0x16, Pad({}, 64)),
              Pad(Cat({2, 0, 0, 0}, Bytes(block.begin() + 56, block.begin() + 112)), 64));
}

TEST_F(CommandTable, DspStatusKeepsOneValuePerOptionAndSelector) {
    Set(0x19, Pad({0x01, 0x02, 0x01, 2, 0x55}, 64));  // selector 3, option 1
    Set(0x19, Pad({0x00, 0x01, 0x01, 0x33}, 64));     // selector 0, option 0
    Set(0x19, Pad({0x01, 0x82, 0x01, 2}, 64));
    EXPECT_EQ(Get(0x19, Pad({}, 64)), Pad({0x01, 0x82, 0x01, 2, 0x55}, 64));
    Set(0x19, Pad({0x00, 0x81, 0x01}, 64));
    EXPECT_EQ(Get(0x19, Pad({}, 64)), Pad({0x00, 0x81, 0x01, 0x33}, 64));
    EXPECT_EQ(Sensor().dsp[0][3], 0);  // other option untouched
    // Selectors 1 and 2 use one word for both directions: the frame writes and requests.
    Set(0x19, Pad({0x00, 0x01, 0x02, 0x44}, 64));
    EXPECT_EQ(Get(0x19, Pad({}, 64)), Pad({0x00, 0x01, 0x02, 0x44}, 64));
    Set(0x19, Pad({0x00, 0x81, 0x02}, 64));  // the read form with bit 7 only reads
    EXPECT_EQ(Get(0x19, Pad({}, 64)), Pad({0x00, 0x81, 0x02, 0x44}, 64));
}

TEST_F(CommandTable, MaintenanceCommandsSwitchTheCameraIntoTransferMode) {
    EXPECT_EQ(Get(0x1D, Pad({0x02, 0x01}, 64)), Pad({0x02, 0x01, 0x01}, 64));
    EXPECT_EQ(Get(0x1D, Pad({0x03, 0x01}, 64)), Pad({0x03, 0x01, 0x01}, 64));
    // Sub 0x01, byte 1 = 0x01, host address at 2..17, file name from 18.
    Set(0x1D, Pad(Cat(Pad(Cat({0x01, 0x01}, Ascii("127.0.0.1")), 18), Ascii("fw.img")), 64));
    EXPECT_EQ(state.announce.cameraState, 3);
    EXPECT_EQ(state.upgradeHost, "127.0.0.1");
    EXPECT_EQ(state.upgradeFile, "fw.img");
    Set(0x1D, {0x01, 0x02, 0x44, 0x33, 0x22, 0x11, 0xF4, 0x01, 0x00, 0x00});
    EXPECT_EQ(state.upgradeStateSent,
              (std::array<uint8_t, 9>{0x02, 0x44, 0x33, 0x22, 0x11, 0xF4, 0x01, 0x00, 0x00}));
    state.upgradeState = {3, 40, 7};
    EXPECT_EQ(Get(0x1D, Pad({0x01}, 10)), Pad({0x01, 3, 40, 7}, 10));
    EXPECT_EQ(Get(0x1D, Pad({0x03, 0x02}, 10)), Pad({0x03, 0x02, 0, 1, 0}, 10));
    Set(0x1D, Pad(Cat(Pad(Cat({0x03, 0x04}, Ascii("127.0.0.1")), 18), Ascii("c.json")), 38));
    EXPECT_EQ(state.jsonFile, "c.json");
}

TEST_F(CommandTable, StreamHeartbeatAndTriggersCountPerSession) {
    Set(0x1B, {0x01}, 1);
    EXPECT_TRUE(Sensor(1).streaming);
    EXPECT_FALSE(Sensor(0).streaming);
    Set(0x1B, {0x00}, 1);
    EXPECT_FALSE(Sensor(1).streaming);
    EXPECT_EQ(Get(0x1C, {0x01}), Bytes{0x01});
    EXPECT_EQ(Sensor().heartbeats, 1u);
    Set(0x1F, {0x00});
    EXPECT_EQ(Sensor().slaveTriggers, 1u);
    Set(0x1E, {0x02, 0x01, 5, 6, 7});
    EXPECT_EQ(Sensor().testMode, (std::array<uint8_t, 5>{0x02, 0x01, 5, 6, 7}));
    Set(0x02, {0x01, 0x64, 0x00}, 1);
    EXPECT_EQ(Sensor(1).thresholdX10, 100);
    EXPECT_EQ(Sensor(0).thresholdX10, 50);
}

TEST_F(CommandTable, SwitchesOfGroupFiveAndElevenAndTheReboot) {
    Set(0x05, {0x11, 0x2C, 0x01});
    EXPECT_EQ(Sensor().gmmGain, 300);
    EXPECT_EQ(Sensor().gmmOption, 1);
    Set(0x05, {0x10, 0x01});
    EXPECT_EQ(Sensor().irs2[1], 1);
    const Bytes json = Get(0x11, Pad({0x80, 0x01}, 2));
    EXPECT_EQ(Bytes(json.begin(), json.begin() + 3), (Bytes{0x80, 0x01, 0x01}));
    Set(0x11, Pad({0x00, 0x02, 0x01}, 64));
    EXPECT_TRUE(Sensor().sendCameraParams);
    const CommandOutcome reboot = Send(0x12, {0x08});
    EXPECT_TRUE(reboot.reboot);
    EXPECT_EQ(state.reboots, 1u);
}

TEST_F(CommandTable, UnknownCommandsAreNotedAndGetsStillAnswered) {
    const CommandOutcome get = Send(0x83, {0x01});
    EXPECT_TRUE(get.reply);
    EXPECT_FALSE(get.known);
    EXPECT_TRUE(get.payload.empty());
    EXPECT_FALSE(Send(0x02, {0x55, 1}).known);
    EXPECT_FALSE(Send(0x10, {0x0F}).known);
    EXPECT_EQ(Sensor().unknownCommands, 3u);
    EXPECT_FALSE(Send(0x02, {0x01, 0, 0}, 7).known);  // no session 7
}

// Every command byte with every payload length and arbitrary content, and every
// sub-command of the table's groups at the lengths the table uses: nothing is read past
// the payload (the sanitizer builds check), and no reply exceeds 64 bytes.
TEST_F(CommandTable, ArbitraryPayloadsNeverOverrunOrOverflow) {
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<uint8_t>(seed >> 16);
    };
    auto check = [&](uint8_t command, Bytes payload) {
        for (size_t i = 1; i < payload.size(); ++i) {
            payload[i] = next();
        }
        const CommandOutcome out = Send(command, payload);
        EXPECT_LE(out.payload.size(), 64u);
        EXPECT_EQ(out.reply, (command & 0x80) != 0);
    };
    for (int command = 0; command < 256; ++command) {
        for (size_t length = 0; length <= 64; ++length) {
            Bytes payload(length);
            if (length > 0) {
                payload[0] = next();
            }
            check(static_cast<uint8_t>(command), payload);
        }
    }
    const size_t lengths[] = {1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 15, 19, 22, 25, 33, 37, 41, 52, 54, 64};
    for (int group = 0; group < 0x20; ++group) {
        for (int sub = 0; sub < 256; ++sub) {
            for (size_t length : lengths) {
                Bytes payload(length);
                payload[0] = static_cast<uint8_t>(sub);
                check(static_cast<uint8_t>(group), payload);
                check(static_cast<uint8_t>(group | 0x80), payload);
            }
        }
    }
}

}  // namespace
}  // namespace quorix::sim
