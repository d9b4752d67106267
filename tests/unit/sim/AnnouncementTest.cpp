// The announcement datagram byte for byte, and the framing of the command and data
// connections as the camera reads and writes them.
#include "sim/Announcement.h"

#include <gtest/gtest.h>

#include <string>

#include "model/ModelTraits.h"
#include "sim/SimState.h"
#include "sim/SimWire.h"

namespace quorix::sim {
namespace {

using Bytes = std::vector<uint8_t>;

void PutText(Bytes& out, size_t offset, const std::string& text) {
    std::copy(text.begin(), text.end(), out.begin() + static_cast<std::ptrdiff_t>(offset));
}

TEST(Announcement, FieldsSitAtTheirOffsetsInEightyNineBytes) {
    SimState state = MakeDefaultState(562, "127.0.0.5", "SN-0042", 2);
    state.alias = "bench-left";
    state.announce.rgb = 1;
    state.announce.cameraState = 3;
    state.announce.peerIp = "127.0.0.1";
    state.announce.bcc = 0x5A;

    Bytes expected(89, 0);
    expected[0] = 0xAA;  // header
    expected[1] = 0x5A;  // bcc
    expected[2] = 89;    // len
    expected[3] = 2;     // tof: sessions
    expected[4] = 1;     // rgb
    PutText(expected, 5, "127.0.0.5");
    expected[21] = 9;  // kind code of device type 562
    PutText(expected, 22, "SN-0042");
    expected[52] = 3;
    PutText(expected, 53, "127.0.0.1");
    PutText(expected, 69, "bench-left");

    EXPECT_EQ(EncodeAnnouncement(MakeAnnouncement(state)), expected);

    // Without a set value, bcc makes the XOR of all 89 bytes zero.
    state.announce.bcc.reset();
    uint8_t all = 0;
    for (uint8_t b : EncodeAnnouncement(MakeAnnouncement(state))) {
        all ^= b;
    }
    EXPECT_EQ(all, 0);

    // The kind code follows the device type, unless one is set (11 is invalid on purpose).
    const std::pair<uint32_t, uint8_t> kinds[] = {{440, 1}, {442, 2},  {561, 4},
                                                  {562, 9}, {563, 10}, {210, 0}};
    for (const auto& [type, code] : kinds) {
        state = MakeDefaultState(type, "127.0.0.2", "S", 1);
        EXPECT_EQ(EncodeAnnouncement(MakeAnnouncement(state))[21], code) << type;
    }
    state.announce.kindCode = 11;
    EXPECT_EQ(EncodeAnnouncement(MakeAnnouncement(state))[21], 11);
}

TEST(Announcement, TextsAreCutAtTheirFieldsAndNeverSpill) {
    SimState state = MakeDefaultState(561, "127.0.0.2", std::string(35, 'S'), 1);
    state.alias = std::string(25, 'A');
    state.announce.ip = std::string(20, '9');
    state.announce.peerIp = std::string(20, 'P');
    state.announce.cameraState = 4;
    const Bytes d = EncodeAnnouncement(MakeAnnouncement(state));
    ASSERT_EQ(d.size(), 89u);
    EXPECT_EQ(std::string(d.begin() + 5, d.begin() + 21), std::string(16, '9'));
    EXPECT_EQ(d[21], 4);  // the kind code follows the cut ip
    EXPECT_EQ(std::string(d.begin() + 22, d.begin() + 52), std::string(30, 'S'));
    EXPECT_EQ(d[52], 4);
    EXPECT_EQ(std::string(d.begin() + 53, d.begin() + 69), std::string(16, 'P'));
    EXPECT_EQ(std::string(d.begin() + 69, d.end()), std::string(20, 'A'));
}

// The simulator keeps its own model list on purpose; it must announce exactly the network
// models the library knows, under the same names and kind codes.
TEST(Announcement, SimulatedModelsAreTheLibrarysNetworkModels) {
    size_t network = 0;
    for (const ModelTraits& model : Models()) {
        if (model.linkType != kLinkNetwork) {
            continue;
        }
        ++network;
        SCOPED_TRACE(model.name);
        const ModelInfo* simulated = ParseModel(model.name);
        ASSERT_NE(simulated, nullptr);
        EXPECT_EQ(simulated->deviceType, model.deviceType);
        EXPECT_EQ(simulated->kindCode, model.announcementKind);
    }
    EXPECT_EQ(network, kModels.size());
}

TEST(Announcement, DatagramLengthCutsOrPads) {
    SimState state = MakeDefaultState(561, "127.0.0.2", "QX", 1);
    state.announce.datagramLength = 88;
    const Bytes shortOne = EncodeAnnouncement(MakeAnnouncement(state));
    EXPECT_EQ(shortOne.size(), 88u);
    state.announce.datagramLength = 120;
    const Bytes longOne = EncodeAnnouncement(MakeAnnouncement(state));
    ASSERT_EQ(longOne.size(), 120u);
    EXPECT_TRUE(std::equal(shortOne.begin(), shortOne.end(), longOne.begin()));
    EXPECT_EQ(Bytes(longOne.begin() + 89, longOne.end()), Bytes(31, 0));
    state.announce.datagramLength = 5000;
    EXPECT_EQ(EncodeAnnouncement(MakeAnnouncement(state)).size(), kMaxDatagramBytes);
}

// --- framing ------------------------------------------------------------------------

Bytes Request(uint8_t command, const Bytes& payload) {
    Bytes out{0xAA, 0, 0,    0,       static_cast<uint8_t>(payload.size() + 3), 0,
              0,    0, 0xAA, command, static_cast<uint8_t>(payload.size())};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

TEST(SimWire, ParsesOneRequestAndWaitsForTheRest) {
    Bytes bytes = Request(0x82, {0x01, 0x00, 0x00});
    const Bytes second = Request(0x09, {0x04});
    bytes.insert(bytes.end(), second.begin(), second.end());

    for (size_t cut = 0; cut < 14; ++cut) {
        EXPECT_EQ(ParseRequest(bytes.data(), cut).kind, ParsedRequest::Kind::kNeedMore) << cut;
    }
    const ParsedRequest first = ParseRequest(bytes.data(), bytes.size());
    ASSERT_EQ(first.kind, ParsedRequest::Kind::kFrame);
    EXPECT_EQ(first.consumed, 14u);
    EXPECT_EQ(first.commandByte, 0x82);
    EXPECT_EQ(first.payloadOffset, 11u);
    EXPECT_EQ(first.payloadLength, 3u);
    const ParsedRequest next = ParseRequest(bytes.data() + 14, bytes.size() - 14);
    ASSERT_EQ(next.kind, ParsedRequest::Kind::kFrame);
    EXPECT_EQ(next.commandByte, 0x09);
    EXPECT_EQ(bytes[14 + next.payloadOffset], 0x04);
}

TEST(SimWire, RejectsFramesThatDoNotHoldTogether) {
    struct Case {
        const char* name;
        Bytes bytes;
        ParsedRequest::Kind kind;
    };
    Bytes wrongMarker = Request(0x02, {1, 2});
    wrongMarker[8] = 0xAB;
    Bytes wrongCount = Request(0x02, {1, 2});
    wrongCount[10] = 1;
    Bytes tooLong = Request(0x02, Bytes(65, 0));
    Bytes wrongType = Request(0x02, {1});
    wrongType[0] = 0x01;
    Bytes shortBody = Request(0x02, {});
    shortBody[4] = 2;
    Bytes hugeBody = Request(0x02, {});
    hugeBody[5] = 0x10;  // 4099 bytes
    const Case cases[] = {
        {"marker", wrongMarker, ParsedRequest::Kind::kMalformed},
        {"count", wrongCount, ParsedRequest::Kind::kMalformed},
        {"payload over 64", tooLong, ParsedRequest::Kind::kMalformed},
        {"type", wrongType, ParsedRequest::Kind::kLost},
        {"body under 3", shortBody, ParsedRequest::Kind::kLost},
        {"body over 258", hugeBody, ParsedRequest::Kind::kLost},
    };
    for (const Case& c : cases) {
        const ParsedRequest parsed = ParseRequest(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(parsed.kind, c.kind) << c.name;
        if (c.kind == ParsedRequest::Kind::kMalformed) {
            EXPECT_EQ(parsed.consumed, c.bytes.size()) << c.name;  // skipped whole
        }
    }
}

}  // namespace
}  // namespace quorix::sim
