// The simulated camera's command table against requests no host should send: malformed,
// out of range or unknown ones leave the state alone and never read or reply past their
// bounds. Well-formed requests are pinned by the library-against-simulator cross-check.
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

TEST_F(CommandTable, MalformedSetsChangeNothing) {
    const struct {
        const char* name;
        uint8_t command;
        Bytes payload;
    } rows[] = {
        {"unknown data mode", 0x07, Bytes(11, 0)},
        {"data mode with a wrong word",
         0x07,
         {0x03, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x01, 0x01, 0x0F, 0x00, 0x00}},
        {"data mode cut short", 0x07, {0x02, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x02, 0x01, 0x0F, 0x02}},
        {"firmware version is read only", 0x13, Text(0x03, "19990101_V1")},
        {"register count beyond the pairs sent", 0x04, {0x01, 3, 0x10, 0x00, 0xFF, 0xFF}},
    };
    const SimState before = state;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(Send(row.command, row.payload).known);
    }
    EXPECT_EQ(Sensor().dataMode, before.sensors[0].dataMode);
    EXPECT_EQ(state.firmwareVersion, before.firmwareVersion);
    EXPECT_TRUE(Sensor().registers.empty());
}

// Values outside a record's range are dropped, the rest of the record still applies.
TEST_F(CommandTable, OutOfRangeItemsAreIgnored) {
    Set(0x02, {0x0F, 3, 2});   // on/off of 2 is not a value
    Set(0x02, {0x0F, 10, 1});  // no item 10
    EXPECT_EQ(Get(0x02, {0x0F, 0, 0, 0}), (Bytes{0x0F, 0x00, 0x00, 0x00}));
    const Bytes pulses = Get(0x0A, {});
    Set(0x0A, {0x10, 0x00, 3, 0, 0});  // no group 3
    EXPECT_EQ(Get(0x0A, {}), pulses);
    Set(0x15, Pad({0x04, 0x00, 0x01, 2, 0, 4}, 64));
    Set(0x15, Pad({0x04, 0x00, 0x01, 10, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0}, 64));  // 10 > 9 ranges
    Set(0x15, Pad({0x14, 0x00, 0x01}, 64));
    EXPECT_EQ(Get(0x15, Pad({}, 64)), Pad({0x14, 0x00, 0x01, 2, 0, 4}, 64));
    // A get with nothing requested is not answered with a list.
    EXPECT_FALSE(Send(0x95, Pad({}, 64)).known);
    // Texts end at an embedded NUL and at their longest.
    Set(0x18, Text(0x02, std::string("DEV\0junk", 8)));
    EXPECT_EQ(state.serial, "DEV");
    Set(0x13, Text(0x01, std::string(80, 'x')));
    EXPECT_EQ(state.pcba.size(), kMaxTextLength);
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
    const size_t lengths[] = {1,  2,  3,  4,  5,  6,  8,  9,  10, 11,
                              15, 19, 22, 25, 33, 37, 41, 52, 54, 64};
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
