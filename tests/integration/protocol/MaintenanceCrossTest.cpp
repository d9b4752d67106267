// Maintenance commands, library against simulator: the heartbeat that serves as the keep-alive
// read, firmware-upgrade and JSON-transfer commands with their refusals, the JSON
// configuration query and the switch for the camera's parameter push.
#include <cstring>

#include "CrossCheck.h"

namespace quorix::crosscheck {
namespace {

// The device manager's keep-alive reads the "serial number" of a network camera through
// this property: a heartbeat whose reply carries nothing for the buffer.
TEST_F(CrossCheck, KeepAliveReadIsAHeartbeat) {
    Connect(kHeartbeat);
    const uint32_t before = Sensor().heartbeats;  // the barrier of Connect was one
    char buffer[64];
    memset(buffer, 0x5A, sizeof buffer);
    uint32_t length = 63;
    EXPECT_EQ(protocol->GetProperty(property::kHeartBeat, buffer, length), 0);
    // A get is answered only after the camera handled it: no barrier needed.
    EXPECT_EQ(Logged(), std::vector<Wire>{Get(0x1C, {0x01})});  // 0x9C on the wire
    EXPECT_EQ(Sensor().heartbeats, before + 1);
    EXPECT_EQ(length, 63u);
    EXPECT_TRUE(std::all_of(buffer, buffer + sizeof buffer, [](char c) { return c == 0x5A; }));
}

TEST_F(CrossCheck, UpgradeAndJsonTransfersCarryTheHostAndRefuseLongNames) {
    Connect(kTransfers);
    SocketProtocol& p = *protocol;
    const std::string host = camera->State().announce.peerIp;
    ASSERT_FALSE(host.empty());
    const Bytes host16 = Pad(Ascii(host), 16);
    const std::string name46(46, 'u');
    const std::string name20(20, 'j');
    uint8_t supported = 0;
    TransferState state;
    auto file = [](std::string sim::SimState::*field, const std::string& expected) {
        return [field, expected](const sim::SimState& st) { EXPECT_EQ(st.*field, expected); };
    };
    auto upgradeFile = [&](const std::string& name) {
        return file(&sim::SimState::upgradeFile, name);
    };
    auto jsonFile = [&](const std::string& name) { return file(&sim::SimState::jsonFile, name); };
    auto is = [&](const TransferState& expected) {
        return [&state, expected](const sim::SimState&) {
            EXPECT_EQ(state.state, expected.state);
            EXPECT_EQ(state.value1, expected.value1);
            EXPECT_EQ(state.value2, expected.value2);
        };
    };
    Run({
        GetStep(
            "GetUpgradeIsSupported", [&] { return p.GetUpgradeIsSupported(supported); },
            Get(0x1D, Pad({0x02, 0x01}, 64)), supported, 1),
        GetStep(
            "GetUpgradeIsSupported refused",
            [&] {
                camera->UpdateState([](sim::SimState& st) { st.upgradeSupported = false; });
                return p.GetUpgradeIsSupported(supported);
            },
            Get(0x1D, Pad({0x02, 0x01}, 64)), supported, 0),
        {"SetToUpgradeMode_P",
         [&] { return p.SetToUpgradeMode_P("/opt/fw/QX5_20240501.img"); },
         {Set(0x1D, Pad(Cat({{0x01, 0x01}, host16, Ascii("QX5_20240501.img")}), 64))},
         [&](const sim::SimState& st) {
             EXPECT_EQ(st.upgradeHost, host);
             EXPECT_EQ(st.upgradeFile, "QX5_20240501.img");
             EXPECT_EQ(st.announce.cameraState, 3);
         }},
        {"SetToUpgradeMode_P mixed slashes",
         [&] { return p.SetToUpgradeMode_P("C:\\fw/d\\x.bin"); },
         {Set(0x1D, Pad(Cat({{0x01, 0x01}, host16, Ascii("x.bin")}), 64))},
         upgradeFile("x.bin")},
        // 46 bytes fill the frame to its end; one more would be cut, so nothing is sent.
        {"SetToUpgradeMode_P 46",
         [&] { return p.SetToUpgradeMode_P(("/fw/" + name46).c_str()); },
         {Set(0x1D, Cat({{0x01, 0x01}, host16, Ascii(name46)}))},
         upgradeFile(name46)},
        {"SetToUpgradeMode_P 47",
         [&] { return p.SetToUpgradeMode_P(("/fw/" + name46 + "7").c_str()); },
         {},
         upgradeFile(name46),
         -1},
        {"SetUpgradeState",
         [&] {
             return p.SetUpgradeState({2, 0x11223344, 500});
         },
         {Set(0x1D, {0x01, 0x02, 0x44, 0x33, 0x22, 0x11, 0xF4, 0x01, 0x00, 0x00})},
         [&](const sim::SimState& st) {
             EXPECT_EQ(st.upgradeStateSent,
                       (std::array<uint8_t, 9>{0x02, 0x44, 0x33, 0x22, 0x11, 0xF4, 0x01, 0, 0}));
         }},
        {"GetUpgradeState",
         [&] {
             camera->UpdateState([](sim::SimState& st) { st.upgradeState = {3, 40, 7}; });
             return p.GetUpgradeState(state);
         },
         {Get(0x1D, Pad({0x01}, 10))},
         is({3, 40, 7})},
        GetStep(
            "GetJsonIsSupported", [&] { return p.GetJsonIsSupported(supported); },
            Get(0x1D, Pad({0x03, 0x01}, 64)), supported, 1),
        {"SetToJsonMode_P",
         [&] { return p.SetToJsonMode_P(); },
         {Set(0x1D, Pad(Cat({{0x03, 0x01}, Ascii(host)}), 38))},
         file(&sim::SimState::jsonHost, host)},
        {"SetJsonPath_P",
         [&] { return p.SetJsonPath_P("C:\\cfg\\camera.json"); },
         {Set(0x1D, Pad(Cat({{0x03, 0x04}, host16, Ascii("camera.json")}), 38))},
         jsonFile("camera.json")},
        {"SetJsonPath_P 20",
         [&] { return p.SetJsonPath_P(("/cfg/" + name20).c_str()); },
         {Set(0x1D, Cat({{0x03, 0x04}, host16, Ascii(name20)}))},
         jsonFile(name20)},
        {"SetJsonPath_P 21",
         [&] { return p.SetJsonPath_P(("/cfg/" + name20 + "1").c_str()); },
         {},
         jsonFile(name20),
         -1},
        {"SetJsonState",
         [&] {
             return p.SetJsonState({1, 0xAABBCCDD, 7});
         },
         {Set(0x1D, {0x03, 0x01, 0xDD, 0xCC, 0xBB, 0xAA, 0x07, 0x00, 0x00, 0x00})},
         [&](const sim::SimState& st) {
             EXPECT_EQ(st.jsonStateSent,
                       (std::array<uint8_t, 9>{0x01, 0xDD, 0xCC, 0xBB, 0xAA, 0x07, 0, 0, 0}));
         }},
        {"GetJsonState",
         [&] {
             camera->UpdateState([](sim::SimState& st) { st.jsonState = {2, 9, 4}; });
             return p.GetJsonState(state);
         },
         {Get(0x1D, Pad({0x03, 0x02}, 10))},
         is({2, 9, 4})},
    });
}

TEST_F(CrossCheck, JsonConfigQueryAndParameterPush) {
    Connect(kJsonConfig);
    SocketProtocol& p = *protocol;
    using S = sim::SensorState;
    Run({
        {"IsSupportJSONConfig",
         [&] { return p.IsSupportJSONConfig(); },
         {Get(0x11, {0x80, 0x01})},
         nullptr},
        {"IsSupportJSONConfig refused",
         [&] {
             camera->UpdateState(
                 [](sim::SimState& st) { st.sensors[0].jsonConfigSupported = false; });
             return p.IsSupportJSONConfig();
         },
         {Get(0x11, {0x80, 0x01})},
         nullptr,
         -1},
        SetStep(
            "SendCameraParamsEnable(true)", [&] { return p.SendCameraParamsEnable(true); },
            Set(0x11, Pad({0x00, 0x02, 0x01}, 64)), &S::sendCameraParams, true),
        SetStep(
            "SendCameraParamsEnable(false)", [&] { return p.SendCameraParamsEnable(false); },
            Set(0x11, Pad({0x00, 0x02, 0x00}, 64)), &S::sendCameraParams, false),
    });
}

}  // namespace
}  // namespace quorix::crosscheck
