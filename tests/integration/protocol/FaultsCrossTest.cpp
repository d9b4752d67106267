// The library's protocol against a misbehaving simulated camera: a camera that drops the
// connection or reboots. (Silence, replies to other commands and bytes that are no reply are
// transport matters, tested against SocketCtl.) Each ends in a failure code, never in a crash
// or a success with stale data.
#include <chrono>

#include "CrossCheck.h"

namespace quorix::crosscheck {
namespace {

sim::FaultPlan Fault(sim::Misbehaviour mode) {
    sim::FaultPlan plan;
    plan.mode = mode;
    plan.command = 0x02;
    return plan;
}

// The connection serves again: the camera's default threshold (held as 50) comes back.
void ExpectAnswers(SocketProtocol& protocol) {
    uint16_t threshold = 7;
    EXPECT_EQ(protocol.GetThreshold(threshold), 0);
    EXPECT_EQ(threshold, 50);
}

// A dropped connection stays dropped until the layers above close and open it again.
void ExpectAnswersAfterReopen(SocketProtocol& protocol) {
    protocol.CloseDevice();
    ASSERT_EQ(protocol.OpenDevice(), 0);
    ExpectAnswers(protocol);
}

TEST_F(CrossCheck, ClosedConnectionFailsEveryLaterCallUntilReopened) {
    Connect(kClosed);
    camera->SetFault(Fault(sim::Misbehaviour::kCloseConnection));
    uint16_t threshold = 7;
    EXPECT_EQ(protocol->GetThreshold(threshold), -104);
    EXPECT_EQ(threshold, 7);

    uint32_t range = 9;
    uint32_t unused = 0;
    EXPECT_EQ(protocol->SetThreshold(30), -104);
    EXPECT_EQ(protocol->GetDepthRange(range), -104);
    EXPECT_EQ(range, 9u);
    EXPECT_EQ(protocol->GetProperty(property::kHeartBeat, nullptr, unused), -104);
    EXPECT_EQ(protocol->IsSupportJSONConfig(), -1);
    EXPECT_EQ(protocol->SendCameraParamsEnable(true), -1);
    uint8_t frame[64];
    uint32_t length = sizeof frame;
    EXPECT_EQ(protocol->ReadData(frame, length), 0);
    EXPECT_EQ(length, 0u);
    // Only the request that closed the connection reached the camera.
    EXPECT_EQ(Logged(), std::vector<Wire>{Get(0x02, {0x01, 0x00, 0x00})});

    camera->ClearFault();
    ExpectAnswersAfterReopen(*protocol);
}

TEST_F(CrossCheck, RebootDropsTheConnections) {
    Connect(kReboot);
    EXPECT_EQ(protocol->RebootCamera(), 0);  // a set: it succeeds once sent
    ASSERT_TRUE(camera->Requests().WaitForTotal(1, std::chrono::seconds(5)));
    uint16_t threshold = 7;
    EXPECT_EQ(protocol->GetThreshold(threshold), -104);
    EXPECT_EQ(Logged(), std::vector<Wire>{Set(0x12, {0x08})});
    EXPECT_EQ(camera->State().reboots, 1u);
    ExpectAnswersAfterReopen(*protocol);
}

}  // namespace
}  // namespace quorix::crosscheck
