// The simulated camera on real loopback sockets (its command table, request log and
// sessions are pinned by the library cross-check): every misbehaviour, the data
// connection, two cameras side by side, announcements, and prompt, leak-free start and
// stop. Each test owns one or two addresses 127.0.91.N so that tests running in parallel
// never share a port.
#include "sim/SimCamera.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "SimTestClient.h"

namespace quorix::sim {
namespace {

using test::Bytes;
using test::TestClient;
using test::TestReceiver;

std::string Addr(int n) {
    return "127.0.91." + std::to_string(n);
}

SimConfig Config(int n, uint32_t sessions = 1, const std::string& serial = "QXT0001") {
    SimConfig config;
    config.address = Addr(n);
    config.serial = serial;
    config.sessions = sessions;
    return config;
}

// A started camera that does not announce (the announcement tests switch it on).
std::unique_ptr<SimCamera> Started(const SimConfig& config) {
    auto camera = std::make_unique<SimCamera>(config);
    camera->SetAnnouncing(false);
    EXPECT_EQ(camera->Start(), 0);
    return camera;
}

FaultPlan Fault(Misbehaviour mode, int32_t command = -1) {
    FaultPlan plan;
    plan.mode = mode;
    plan.command = command;
    return plan;
}

// Waits (bounded) until `condition` holds.
template <typename F>
bool Eventually(F condition) {
    for (int i = 0; i < test::kSafetyMs / 5; ++i) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

size_t OpenFdCount() {
    size_t count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir) != nullptr) {
            ++count;
        }
        ::closedir(dir);
    }
    return count;
}

TEST(SimCamera, SilentCameraAppliesButNeverAnswers) {
    auto camera = Started(Config(4));
    TestClient client;
    ASSERT_TRUE(client.Connect(Addr(4), 9008));
    camera->SetFault(Fault(Misbehaviour::kSilent));
    ASSERT_TRUE(client.Request(0x02, {0x01, 0x64, 0x00}));
    ASSERT_TRUE(client.Request(0x82, {0x01, 0x00, 0x00}));
    ASSERT_TRUE(camera->Requests().WaitForTotal(2, std::chrono::milliseconds(test::kSafetyMs)));
    camera->ClearFault();
    // The first frame that arrives answers the get sent after the silent one.
    EXPECT_EQ(client.Get(0x09, {}), Bytes{0x00});
    EXPECT_EQ(camera->State().sensors[0].thresholdX10, 100);
}

TEST(SimCamera, WrongEchoRepliesCarryAnotherCommandByte) {
    auto camera = Started(Config(5));
    TestClient client;
    ASSERT_TRUE(client.Connect(Addr(5), 9008));
    camera->SetFault(Fault(Misbehaviour::kWrongEcho));
    ASSERT_TRUE(client.Request(0x82, {0x01, 0x00, 0x00}));
    EXPECT_EQ(client.ReadFrame(),
              (Bytes{0xAA, 0, 0, 0, 6, 0, 0, 0, 0xAA, 0x83, 3, 0x01, 0x32, 0x00}));
    FaultPlan plan = Fault(Misbehaviour::kWrongEcho);
    plan.wrongReplies = 4;
    plan.thenAnswer = true;
    camera->SetFault(plan);
    ASSERT_TRUE(client.Request(0x89, {}));
    for (int i = 0; i < 4; ++i) {
        const auto frame = client.ReadFrame();
        ASSERT_TRUE(frame);
        EXPECT_EQ((*frame)[9], 0x88);
    }
    const auto right = client.ReadFrame();
    ASSERT_TRUE(right);
    EXPECT_EQ((*right)[9], 0x89);
}

TEST(SimCamera, CloseConnectionDropsBothConnectionsAndTheNextHostIsServed) {
    auto camera = Started(Config(6));
    TestClient command, data;
    ASSERT_TRUE(command.Connect(Addr(6), 9008));
    ASSERT_TRUE(data.Connect(Addr(6), 9009));
    ASSERT_TRUE(Eventually([&] { return camera->DataConnected(0); }));
    camera->SetFault(Fault(Misbehaviour::kCloseConnection));
    ASSERT_TRUE(command.Request(0x82, {0x01, 0x00, 0x00}));
    EXPECT_TRUE(command.PeerClosed());
    EXPECT_TRUE(data.PeerClosed());
    EXPECT_TRUE(Eventually([&] { return !camera->CommandConnected(0); }));
    EXPECT_FALSE(camera->DataConnected(0));
    camera->ClearFault();
    ASSERT_TRUE(command.Connect(Addr(6), 9008));
    EXPECT_EQ(command.Get(0x1C, {0x01}), Bytes{0x01});
}

TEST(SimCamera, GarbageReplacesTheReply) {
    auto camera = Started(Config(7));
    TestClient client;
    ASSERT_TRUE(client.Connect(Addr(7), 9008));
    camera->SetFault(Fault(Misbehaviour::kGarbage));
    ASSERT_TRUE(client.Request(0x82, {0x01, 0x00, 0x00}));
    EXPECT_EQ(client.Read(24), DefaultGarbage());
    EXPECT_EQ(DefaultGarbage()[0], 0x55);
    FaultPlan plan = Fault(Misbehaviour::kGarbage);
    plan.garbage = {0xAA, 0, 0, 0, 0x10, 0, 0, 0, 0xAA, 0x82};  // a reply cut short
    camera->SetFault(plan);
    ASSERT_TRUE(client.Request(0x82, {0x01, 0x00, 0x00}));
    EXPECT_EQ(client.Read(10), plan.garbage);
}

TEST(SimCamera, FaultsCanTargetOneCommand) {
    auto camera = Started(Config(8));
    TestClient client;
    ASSERT_TRUE(client.Connect(Addr(8), 9008));
    camera->SetFault(Fault(Misbehaviour::kSilent, 0x1C));
    ASSERT_TRUE(client.Request(0x9C, {0x01}));
    EXPECT_EQ(client.Get(0x02, {0x01, 0, 0}), (Bytes{0x01, 0x32, 0x00}));
    EXPECT_EQ(camera->State().sensors[0].heartbeats, 1u);
}

TEST(SimCamera, MalformedRequestsAreSkippedOrEndTheConnection) {
    auto camera = Started(Config(9));
    TestClient client;
    ASSERT_TRUE(client.Connect(Addr(9), 9008));
    Bytes badBody = test::RequestFrame(0x82, {0x01, 0x00, 0x00});
    badBody[10] = 2;  // payload count disagrees with the body length
    Bytes split = test::RequestFrame(0x89, {});
    ASSERT_TRUE(client.Send(badBody));
    ASSERT_TRUE(client.Send(Bytes(split.begin(), split.begin() + 5)));
    ASSERT_TRUE(client.Send(Bytes(split.begin() + 5, split.end())));
    const auto reply = client.ReadFrame();
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[9], 0x89);
    EXPECT_EQ(camera->MalformedRequests(), 1u);
    EXPECT_EQ(camera->Requests().Total(), 1u);

    ASSERT_TRUE(client.Send({0x01, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F}));  // no command frame
    EXPECT_TRUE(client.PeerClosed());
    EXPECT_EQ(camera->MalformedRequests(), 2u);
    ASSERT_TRUE(client.Connect(Addr(9), 9008));
    EXPECT_EQ(client.Get(0x09, {}), Bytes{0x00});
}

TEST(SimCamera, ANewHostReplacesTheOldAndARebootDropsBoth) {
    auto camera = Started(Config(10));
    TestClient old, current;
    ASSERT_TRUE(old.Connect(Addr(10), 9008));
    ASSERT_TRUE(old.Get(0x09, {}));
    ASSERT_TRUE(current.Connect(Addr(10), 9008));
    EXPECT_TRUE(old.PeerClosed());
    EXPECT_TRUE(current.Get(0x09, {}));
    ASSERT_TRUE(current.Request(0x1B, {0x01}));
    ASSERT_TRUE(current.Request(0x12, {0x08}));
    EXPECT_TRUE(current.PeerClosed());
    const SimState state = camera->State();
    EXPECT_EQ(state.reboots, 1u);
    EXPECT_FALSE(state.sensors[0].streaming);
    EXPECT_EQ(state.sensors[0].streamStarts, 1u);
}

TEST(SimCamera, DataFramesCarryTheirHeaderAndPayload) {
    auto camera = Started(Config(11, 2));
    Bytes payload(1000);
    for (size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<uint8_t>(i);
    }
    EXPECT_EQ(camera->SendDataFrame(0, payload.data(), 1000), -13);  // nobody connected
    EXPECT_EQ(camera->SendDataFrame(5, payload.data(), 1000), -13);  // no such session
    TestClient data;
    ASSERT_TRUE(data.Connect(Addr(11), 9009));
    ASSERT_TRUE(Eventually([&] { return camera->DataConnected(0); }));
    ASSERT_EQ(camera->SendDataFrame(0, payload.data(), 1000), 0);
    Bytes expected{1, 0, 0, 0, 0xE8, 0x03, 0, 0};
    expected.insert(expected.end(), payload.begin(), payload.end());
    EXPECT_EQ(data.Read(1008), expected);
    data.Close();
    EXPECT_TRUE(Eventually([&] { return !camera->DataConnected(0); }));
}

TEST(SimCamera, TwoCamerasShareThePortsOnTheirOwnAddresses) {
    auto left = Started(Config(12, 1, "LEFT-01"));
    auto right = Started(Config(13, 1, "RIGHT-02"));
    TestClient a, b;
    ASSERT_TRUE(a.Connect(Addr(12), 9008));
    ASSERT_TRUE(b.Connect(Addr(13), 9008));
    EXPECT_EQ(b.Get(0x13, {0x02}), (Bytes{0x02, 'R', 'I', 'G', 'H', 'T', '-', '0', '2'}));
    EXPECT_EQ(a.Get(0x13, {0x02}), (Bytes{0x02, 'L', 'E', 'F', 'T', '-', '0', '1'}));
    EXPECT_EQ(left->Requests().Total(), 1u);
    EXPECT_EQ(right->Requests().Total(), 1u);
    // A third camera on a taken address fails to start and leaves the others serving.
    SimCamera clash(Config(12));
    EXPECT_EQ(clash.Start(), -1);
    EXPECT_FALSE(clash.IsRunning());
    EXPECT_TRUE(a.Get(0x09, {}));
}

TEST(SimCamera, InvalidConfigurationsDoNotStart) {
    SimConfig noSessions = Config(14, 0);
    EXPECT_EQ(SimCamera(noSessions).Start(), -1);
    SimConfig tooMany = Config(14, kMaxSessions + 1);
    EXPECT_EQ(SimCamera(tooMany).Start(), -1);
    SimConfig badAddress = Config(14);
    badAddress.address = "127.0.91";
    EXPECT_EQ(SimCamera(badAddress).Start(), -1);
}

TEST(SimCamera, StartAndStopRepeatWithoutLeaks) {
    const size_t before = OpenFdCount();
    SimCamera camera(Config(15, 2));
    camera.SetAnnouncing(false);
    for (int round = 0; round < 10; ++round) {
        ASSERT_EQ(camera.Start(), 0) << round;
        EXPECT_EQ(camera.Start(), 0);  // already running
        TestClient command, data;
        ASSERT_TRUE(command.Connect(Addr(15), 9018));
        ASSERT_TRUE(data.Connect(Addr(15), 9019));
        EXPECT_TRUE(command.Get(0x09, {}));
        camera.Stop();
        EXPECT_FALSE(camera.IsRunning());
        EXPECT_TRUE(command.PeerClosed());
        EXPECT_TRUE(data.PeerClosed());
        camera.Stop();  // twice is harmless
    }
    EXPECT_EQ(OpenFdCount(), before);
    EXPECT_EQ(camera.Requests().Total(), 10u);
}

TEST(SimCamera, StopEndsADataSendThatTheHostDoesNotRead) {
    auto camera = Started(Config(16));
    TestClient data;
    ASSERT_TRUE(data.Connect(Addr(16), 9009));
    ASSERT_TRUE(Eventually([&] { return camera->DataConnected(0); }));
    const Bytes frame(64 << 20, 0x5A);  // far more than the socket buffers hold
    std::atomic<int32_t> result{1};
    std::thread sender([&] {
        result = camera->SendDataFrame(0, frame.data(), static_cast<uint32_t>(frame.size()));
    });
    // Give the sender time to fill the buffers; Stop must cut it short either way.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    camera->Stop();
    sender.join();
    EXPECT_LT(result, 0);  // -1 cut short, or -13 when Stop came first
}

TEST(SimCamera, AnnouncesItselfAndFollowsStateChanges) {
    TestReceiver receiver;
    ASSERT_TRUE(receiver.Bound());
    SimConfig config = Config(17, 2, "ANN-17");
    config.deviceType = 442;
    config.announcePort = receiver.Port();
    config.farewellOnStop = true;
    SimCamera camera(config);
    camera.UpdateState([](SimState& s) { s.alias = "left"; });
    ASSERT_EQ(camera.Start(), 0);

    const auto first = receiver.Next(Addr(17));
    ASSERT_TRUE(first);
    ASSERT_EQ(first->size(), 89u);
    EXPECT_EQ((*first)[3], 2);  // sessions
    EXPECT_EQ(std::string(first->begin() + 5, first->begin() + 16), Addr(17));
    EXPECT_EQ((*first)[21], 2);  // TK4Alite
    EXPECT_EQ(std::string(first->begin() + 22, first->begin() + 28), "ANN-17");
    EXPECT_EQ((*first)[52], 0);
    EXPECT_EQ(std::string(first->begin() + 69, first->begin() + 73), "left");

    // After a host connects, the peer field names it; a state change goes out at once.
    TestClient client;
    ASSERT_TRUE(client.Connect(Addr(17), 9008));
    ASSERT_TRUE(client.Get(0x09, {}));
    camera.SetCameraState(3);
    camera.AnnounceNow();
    std::optional<Bytes> changed;
    for (int i = 0; i < 100 && !(changed && (*changed)[52] == 3); ++i) {
        changed = receiver.Next(Addr(17));
    }
    ASSERT_TRUE(changed);
    EXPECT_EQ((*changed)[52], 3);
    sockaddr_in local{};
    socklen_t size = sizeof(local);
    ASSERT_EQ(::getsockname(client.Fd(), reinterpret_cast<sockaddr*>(&local), &size), 0);
    char host[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &local.sin_addr, host, sizeof(host));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(changed->data() + 53)), host);

    // Silence: once switched off, nothing more arrives even when asked to announce. Two
    // exchanges on the command connection order the worker past the request.
    camera.SetAnnouncing(false);
    ASSERT_TRUE(client.Get(0x09, {}));
    ASSERT_TRUE(client.Get(0x09, {}));
    receiver.Drain();
    const uint64_t sent = camera.AnnouncementsSent();
    camera.AnnounceNow();
    ASSERT_TRUE(client.Get(0x09, {}));
    ASSERT_TRUE(client.Get(0x09, {}));
    EXPECT_FALSE(receiver.Next(Addr(17), 0));
    EXPECT_EQ(camera.AnnouncementsSent(), sent);

    // Farewell on stop: one last datagram saying the camera goes away.
    camera.SetAnnouncing(true);
    receiver.Drain();
    camera.Stop();
    std::optional<Bytes> last;
    while (auto next = receiver.Next(Addr(17), 0)) {
        last = next;
    }
    ASSERT_TRUE(last);
    EXPECT_EQ((*last)[52], 2);
}

}  // namespace
}  // namespace quorix::sim
