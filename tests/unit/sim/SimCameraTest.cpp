// The simulated camera on real loopback sockets, for what the library cross-check and the
// end-to-end tests do not reach: the misbehaviours a host's transport must survive, the
// connections a fault, a reboot or a new host ends, data frames sent by hand, a host that
// does not read, a taken address, prompt and leak-free start and stop, and the
// announcement's peer and farewell.
// Each test owns one or two addresses 127.0.91.N so that tests running in parallel never
// share a port.
#include "sim/SimCamera.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "FrameCheck.h"
#include "SimTestClient.h"
#include "support/Wait.h"

namespace quorix::sim {
namespace {

using test::Bytes;
using test::TestClient;

std::string Addr(int n) {
    return "127.0.91." + std::to_string(n);
}

SimConfig Config(int n, uint32_t sessions = 1) {
    SimConfig config;
    config.address = Addr(n);
    config.serial = "QXT0001";
    config.sessions = sessions;
    return config;
}

// A started camera that does not announce.
std::unique_ptr<SimCamera> Started(const SimConfig& config,
                                   const std::function<void(SimState&)>& setup = {}) {
    auto camera = std::make_unique<SimCamera>(config);
    camera->SetAnnouncing(false);
    if (setup) {
        camera->UpdateState(setup);
    }
    EXPECT_EQ(camera->Start(), 0);
    return camera;
}

FaultPlan Fault(Misbehaviour mode, int32_t command = -1) {
    FaultPlan plan;
    plan.mode = mode;
    plan.command = command;
    return plan;
}

bool Eventually(const std::function<bool()>& condition) {
    return quorix::test::WaitFor(condition, std::chrono::milliseconds(test::kSafetyMs));
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

TEST(SimCamera, SilenceAndWrongEchoesShapeTheReplies) {
    auto camera = Started(Config(4));
    TestClient client;
    ASSERT_TRUE(client.Connect(Addr(4), 9008));
    // Silent towards one command: it is applied but not answered; the others are.
    camera->SetFault(Fault(Misbehaviour::kSilent, 0x02));
    ASSERT_TRUE(client.Request(0x02, {0x01, 0x64, 0x00}));
    ASSERT_TRUE(client.Request(0x82, {0x01, 0x00, 0x00}));
    EXPECT_EQ(client.Get(0x09, {}), Bytes{0x00});  // the first frame that arrives
    EXPECT_EQ(camera->State().sensors[0].thresholdX10, 100);

    // Replies to the neighbouring command byte, then the right one.
    FaultPlan plan = Fault(Misbehaviour::kWrongEcho);
    plan.wrongReplies = 4;
    plan.thenAnswer = true;
    camera->SetFault(plan);
    ASSERT_TRUE(client.Request(0x82, {0x01, 0x00, 0x00}));
    EXPECT_EQ(client.ReadFrame(),
              (Bytes{0xAA, 0, 0, 0, 6, 0, 0, 0, 0xAA, 0x83, 3, 0x01, 0x64, 0x00}));
    for (int i = 0; i < 3; ++i) {
        const auto frame = client.ReadFrame();
        ASSERT_TRUE(frame);
        EXPECT_EQ((*frame)[9], 0x83);
    }
    const auto right = client.ReadFrame();
    ASSERT_TRUE(right);
    EXPECT_EQ((*right)[9], 0x82);
}

TEST(SimCamera, AFaultARebootOrANewHostEndsTheConnections) {
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

    TestClient current;
    ASSERT_TRUE(command.Connect(Addr(6), 9008));
    ASSERT_TRUE(command.Get(0x09, {}));
    ASSERT_TRUE(current.Connect(Addr(6), 9008));
    EXPECT_TRUE(command.PeerClosed());  // the new host replaces the old
    EXPECT_TRUE(current.Get(0x09, {}));
    ASSERT_TRUE(current.Request(0x1B, {0x01}));
    ASSERT_TRUE(current.Request(0x12, {0x08}));  // reboot
    EXPECT_TRUE(current.PeerClosed());
    const SimState state = camera->State();
    EXPECT_EQ(state.reboots, 1u);
    EXPECT_FALSE(state.sensors[0].streaming);
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

// One data frame's payload, after checking its header.
std::optional<Bytes> ReadDataFrame(TestClient& data) {
    const auto header = data.Read(kFrameHeaderBytes);
    if (!header || GetU32(header->data()) != kDataFrameType) {
        return std::nullopt;
    }
    return data.Read(GetU32(header->data() + 4));
}

TEST(SimCamera, DataFramesSentByHandGoOutWholeAlsoBetweenStreamedOnes) {
    auto camera = Started(Config(11, 2), [](SimState& s) { s.sensors[0].tofFrameRate = 60; });
    const Bytes odd{0x99, 1, 2};
    EXPECT_EQ(camera->SendDataFrame(0, odd.data(), 3), -13);  // nobody connected
    EXPECT_EQ(camera->SendDataFrame(5, odd.data(), 3), -13);  // no such session
    TestClient command, data;
    ASSERT_TRUE(command.Connect(Addr(11), 9008));
    ASSERT_TRUE(data.Connect(Addr(11), 9009));
    ASSERT_TRUE(Eventually([&] { return camera->DataConnected(0); }));
    ASSERT_EQ(camera->SendDataFrame(0, odd.data(), 3), 0);
    EXPECT_EQ(ReadDataFrame(data), odd);

    ASSERT_TRUE(command.Request(0x1B, {0x01}));
    ASSERT_TRUE(ReadDataFrame(data));
    std::atomic<int32_t> injected{1};
    std::thread sender([&] { injected = camera->SendDataFrame(0, odd.data(), 3); });
    int odds = 0;
    for (int i = 0; i < 8; ++i) {
        const auto frame = ReadDataFrame(data);
        ASSERT_TRUE(frame);
        if (*frame == odd) {
            ++odds;
        } else {
            EXPECT_FALSE(test::WholeSubPackets(frame->data(), frame->size()).empty());
        }
    }
    sender.join();
    EXPECT_EQ(injected.load(), 0);
    EXPECT_EQ(odds, 1);
    data.Close();
    EXPECT_TRUE(Eventually([&] { return !camera->DataConnected(0); }));
}

TEST(SimCamera, AHostThatDoesNotReadCostsFramesNotCommandAnswers) {
    auto camera = Started(Config(13), [](SimState& s) { s.stream.packing = TofPacking::kY16; });
    TestClient command, data;
    ASSERT_TRUE(command.Connect(Addr(13), 9008));
    ASSERT_TRUE(data.Connect(Addr(13), 9009));
    ASSERT_TRUE(Eventually([&] { return camera->DataConnected(0); }));
    ASSERT_TRUE(command.Request(0x07, {0x02, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x02, 0x01, 0x0F, 0x02,
                                       0x0F}));  // data mode 2: 1.2 MB frames
    ASSERT_TRUE(command.Request(0x1B, {0x01}));
    EXPECT_TRUE(Eventually([&] { return camera->StreamStatistics(0).framesDropped > 0; }));
    EXPECT_EQ(command.Get(0x1C, {0x01}), Bytes{0x01});
    // The frames that did go out are whole, back to back.
    for (int i = 0; i < 3; ++i) {
        const auto frame = ReadDataFrame(data);
        ASSERT_TRUE(frame);
        const auto packets = test::WholeSubPackets(frame->data(), frame->size());
        ASSERT_FALSE(packets.empty());
        EXPECT_EQ(packets[0].type, 0x63);
    }
}

TEST(SimCamera, InvalidConfigurationsAndTakenAddressesDoNotStart) {
    SimConfig badAddress = Config(14);
    badAddress.address = "127.0.91";
    for (const SimConfig& config : {Config(14, 0), Config(14, kMaxSessions + 1), badAddress}) {
        EXPECT_EQ(SimCamera(config).Start(), -1);
    }
    // A second camera on a taken address leaves the first serving.
    auto first = Started(Config(12));
    SimCamera clash(Config(12));
    EXPECT_EQ(clash.Start(), -1);
    EXPECT_FALSE(clash.IsRunning());
    TestClient client;
    ASSERT_TRUE(client.Connect(Addr(12), 9008));
    EXPECT_TRUE(client.Get(0x09, {}));
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

// The fields themselves are checked by the encoding test and the host's discovery.
TEST(SimCamera, AnnouncementsNameTheHostAndSayFarewell) {
    test::TestReceiver receiver;
    ASSERT_TRUE(receiver.Bound());
    SimConfig config = Config(17);
    config.announcePort = receiver.Port();
    config.farewellOnStop = true;
    SimCamera camera(config);
    ASSERT_EQ(camera.Start(), 0);
    const auto first = receiver.Next(Addr(17));
    ASSERT_TRUE(first);
    EXPECT_EQ((*first)[53], 0);  // no host yet

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

    // Farewell on stop: one last datagram saying the camera goes away.
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
