// SocketCtl against a tiny camera stand-in on 127.0.0.1: connecting, command framing,
// reply matching and bounds, data framing and its failures.
#include "transport/SocketCtl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "log/Log.h"
#include "platform/Socket.h"
#include "support/LoopbackCamera.h"

namespace quorix {
namespace {

using platform::Socket;
using test::Bytes;
using test::DataFrame;
using test::GetU32;
using test::kLoopback;
using test::PutU32;
using test::ReadRequest;
using test::ReadSome;
using test::Send;
using Camera = test::LoopbackCamera;

Bytes Reply(uint8_t commandByte, const Bytes& payload, uint32_t type = 0xAA) {
    return test::ReplyFrame(commandByte, payload, type);
}

class SocketCtlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ctl.openDevice(), 0);
        camera.Accept();
    }
    // Runs a get on another thread while the test plays the camera; `received` holds the
    // transport's count of reply bytes once the future is ready.
    std::future<int32_t> Get(uint32_t cmd, uint8_t* buffer, int32_t capacity, int32_t length) {
        received = kUnset;
        return std::async(std::launch::async, [=, this] {
            return ctl.SetCmd(cmd, buffer, capacity, length, SocketCtl::kGet, received);
        });
    }
    int32_t Call(uint32_t cmd, uint8_t* buffer, int32_t capacity, int32_t length, int32_t mode) {
        received = kUnset;
        return ctl.SetCmd(cmd, buffer, capacity, length, mode, received);
    }

    static constexpr uint32_t kUnset = 0xFFFF;
    Camera camera;
    SocketCtl ctl{kLoopback, camera.dataPort, camera.commandPort};
    uint32_t received = kUnset;
};

TEST_F(SocketCtlTest, OpensOnceAndKnowsBothAddresses) {
    EXPECT_TRUE(ctl.IsConnected());
    EXPECT_EQ(ctl.CameraAddress(), "127.0.0.1");
    EXPECT_EQ(ctl.HostAddress(), "127.0.0.1");
    EXPECT_EQ(ctl.openDevice(), 0);  // already connected: nothing new is dialled
    Socket extra;
    camera.commandListen.SetNonBlocking(true);
    EXPECT_NE(camera.commandListen.Accept(extra), 0);
}

TEST_F(SocketCtlTest, SetIsFramedCutAt64AndNotAwaited) {
    Bytes payload(70);
    for (size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<uint8_t>(i + 1);
    }
    EXPECT_EQ(Call(0x102, payload.data(), 70, 70, SocketCtl::kSet), 0);
    EXPECT_EQ(received, 0u);
    const Bytes frame = ReadRequest(camera.command);
    ASSERT_EQ(frame.size(), 8u + 67u);
    EXPECT_EQ(GetU32(frame, 0), 0xAAu);
    EXPECT_EQ(GetU32(frame, 4), 67u);
    EXPECT_EQ(frame[8], 0xAA);
    EXPECT_EQ(frame[9], 0x02);  // only the low byte of the id, bit 7 clear for a set
    EXPECT_EQ(frame[10], 64);
    EXPECT_EQ(Bytes(frame.begin() + 11, frame.end()), Bytes(payload.begin(), payload.begin() + 64));
}

TEST_F(SocketCtlTest, GetCopiesTheReplyBoundedByCapacityAndLengths) {
    struct Case {
        Bytes reply;             // reply payload as sent
        int32_t capacity;        // what the caller allows
        Bytes expected;          // the caller's 8-byte buffer afterwards
        uint32_t received;       // reply bytes the transport reports
        uint8_t lengthByte = 0;  // the reply's own length byte, when it lies
    };
    const Case cases[] = {
        {{1, 2, 3}, 8, {1, 2, 3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}, 3},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 4, {1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE}, 4},
        {{}, 8, {1, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}, 0},
        // Claims 200 bytes, the body holds 2: only the body is copied.
        {{7, 7}, 8, {7, 7, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}, 2, 200},
    };
    for (const Case& c : cases) {
        Bytes buffer(8, 0xEE);
        buffer[0] = 0x01;
        auto result = Get(0x02, buffer.data(), c.capacity, 1);
        const Bytes request = ReadRequest(camera.command);
        ASSERT_EQ(request.size(), 12u);
        EXPECT_EQ(request[9], 0x82);
        EXPECT_EQ(request[11], 0x01);
        Bytes frame = Reply(0x82, c.reply);
        if (c.lengthByte != 0) {
            frame[10] = c.lengthByte;
        }
        Send(camera.command, frame);
        EXPECT_EQ(result.get(), 0);
        EXPECT_EQ(buffer, c.expected);
        EXPECT_EQ(received, c.received);
    }
}

// Replies to other commands are skipped whole, four of them; the fifth fails the get.
TEST_F(SocketCtlTest, MismatchedRepliesAreSkippedWholeUpToFour) {
    for (const int mismatches : {4, 5}) {
        SCOPED_TRACE(mismatches);
        log::Capture capture;
        Bytes buffer(4, 0xEE);
        auto result = Get(0x09, buffer.data(), 4, 0);
        ReadRequest(camera.command);
        for (int i = 0; i < mismatches; ++i) {
            Send(camera.command, Reply(0x82, {9, 9, 9, 9, 9, 9}));  // someone else's reply
        }
        if (mismatches == 4) {
            Send(camera.command, Reply(0x89, {5}));
            EXPECT_EQ(result.get(), 0);
            EXPECT_EQ(buffer[0], 5);
            continue;
        }
        EXPECT_EQ(result.get(), -104);
        EXPECT_EQ(buffer, Bytes(4, 0xEE));
        EXPECT_EQ(received, 0u);
        EXPECT_EQ(capture.Count("outIndex:"), 5u);
    }
}

TEST_F(SocketCtlTest, WrongFrameTypeFailsButKeepsTheFraming) {
    Bytes buffer(4, 0xEE);
    auto result = Get(0x09, buffer.data(), 4, 0);
    ReadRequest(camera.command);
    Send(camera.command, Reply(0x89, {1}, 0x55));
    EXPECT_EQ(result.get(), -104);
    EXPECT_EQ(buffer, Bytes(4, 0xEE));

    auto next = Get(0x09, buffer.data(), 4, 0);
    ReadRequest(camera.command);
    Send(camera.command, Reply(0x89, {3}));
    EXPECT_EQ(next.get(), 0);
    EXPECT_EQ(buffer[0], 3);
}

// A body one byte longer than the reply buffer follows in full and answers the get: only its
// length refuses it. The others are headers alone.
TEST_F(SocketCtlTest, BodyLengthOutOfRangeFails) {
    for (const uint32_t bodyLength : {2u, 4097u, 0x80000000u}) {
        Bytes buffer(4, 0xEE);
        auto result = Get(0x09, buffer.data(), 4, 0);
        ReadRequest(camera.command);
        Bytes frame;
        if (bodyLength == 4097) {
            frame = Reply(0x89, Bytes(4094, 5));
        } else {
            PutU32(frame, 0xAA);
            PutU32(frame, bodyLength);
        }
        Send(camera.command, frame);
        EXPECT_EQ(result.get(), -104) << bodyLength;
        EXPECT_EQ(buffer, Bytes(4, 0xEE));
        EXPECT_EQ(received, 0u);
    }
}

TEST_F(SocketCtlTest, StaleBytesAreDrainedBeforeARequest) {
    // A late reply to an earlier exchange, and a few loose bytes, wait on the connection.
    Bytes stale = Reply(0x89, {0x66});
    stale.push_back(0x42);
    Send(camera.command, stale);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // loopback delivery

    Bytes buffer(4, 0);
    auto result = Get(0x09, buffer.data(), 4, 0);
    ReadRequest(camera.command);
    Send(camera.command, Reply(0x89, {0x11}));
    EXPECT_EQ(result.get(), 0);
    EXPECT_EQ(buffer[0], 0x11);
}

// The one test of the whole suite that waits out the reply time.
TEST_F(SocketCtlTest, UnansweredGetFailsAfterTheReplyWait) {
    log::Capture capture;
    Bytes buffer(4, 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Call(0x09, buffer.data(), 4, 0, SocketCtl::kGet), -104);
    EXPECT_EQ(received, 0u);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(SocketCtl::kReplyWaitMs));
    EXPECT_LT(waited, std::chrono::seconds(5));  // one wait of about 2 s, not several
    EXPECT_TRUE(capture.Contains("time is over"));
    EXPECT_TRUE(capture.Contains("gracefully closed cmdid 137"));
}

TEST_F(SocketCtlTest, PeerClosingTheCommandConnectionFailsGetsAndSets) {
    camera.command.Close();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // loopback delivery
    Bytes buffer(4, 0);
    EXPECT_EQ(Call(0x09, buffer.data(), 4, 1, SocketCtl::kSet), -104);
    EXPECT_EQ(Call(0x09, buffer.data(), 4, 1, SocketCtl::kGet), -104);
}

TEST_F(SocketCtlTest, CloseWakesAWaitingGet) {
    Bytes buffer(4, 0);
    const auto start = std::chrono::steady_clock::now();
    auto result = Get(0x09, buffer.data(), 4, 0);
    ReadRequest(camera.command);  // the request is out: the get is waiting
    ctl.CloseDevice();
    EXPECT_EQ(result.get(), -104);
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(SocketCtl::kReplyWaitMs));
    EXPECT_FALSE(ctl.IsConnected());
    EXPECT_EQ(Call(0x09, buffer.data(), 4, 1, SocketCtl::kSet), -104);
}

TEST_F(SocketCtlTest, CloseWhileAReaderWaitsIsSafe) {
    std::atomic<bool> started{false};
    std::atomic<int> lastResult{1};
    std::thread reader([&] {
        Bytes buffer(16);
        uint32_t length = 16;
        started = true;
        lastResult = ctl.ReadData(buffer.data(), length);  // waits: nothing is sent
    });
    while (!started) {
        std::this_thread::yield();
    }
    ctl.CloseDevice();
    reader.join();
    EXPECT_LE(lastResult.load(), 0);
    EXPECT_FALSE(ctl.IsConnected());
}

TEST_F(SocketCtlTest, ConcurrentGetsAreSerialised) {
    constexpr int kPerThread = 20;
    std::thread peer([&] {
        for (int i = 0; i < 2 * kPerThread; ++i) {
            const Bytes request = ReadRequest(camera.command);
            ASSERT_EQ(request.size(), 12u);
            Send(camera.command, Reply(request[9], {request[11], request[11]}));
        }
    });
    auto worker = [&](uint8_t tag) {
        for (int i = 0; i < kPerThread; ++i) {
            uint8_t buffer[2] = {tag, 0};
            uint32_t got = 0;
            ASSERT_EQ(ctl.SetCmd(0x02, buffer, 2, 1, SocketCtl::kGet, got), 0);
            ASSERT_EQ(got, 2u);
            ASSERT_EQ(buffer[1], tag);
        }
    };
    std::thread a(worker, 0x10);
    std::thread b(worker, 0x20);
    a.join();
    b.join();
    peer.join();
}

TEST_F(SocketCtlTest, ReadDataDeliversWholeFrames) {
    const Bytes payload = {1, 2, 3, 4, 5};
    Send(camera.data, DataFrame(payload));
    Send(camera.data, DataFrame({}));
    Bytes buffer(16, 0);
    uint32_t length = static_cast<uint32_t>(buffer.size());
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), 1);
    ASSERT_EQ(length, 5u);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 5), payload);
    length = static_cast<uint32_t>(buffer.size());
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), 1);
    EXPECT_EQ(length, 0u);
}

// A lost framing drops the data connection and connects it again: the camera starts the new
// one at a frame boundary, so the next good frame is delivered whole, and the loss and the
// reconnection are counted.
TEST_F(SocketCtlTest, FramingLossReconnectsTheDataConnectionAndFramesFlowAgain) {
    struct Case {
        const char* name;
        Bytes bytes;
        const char* log;
    };
    Bytes stray = DataFrame({5, 5});
    stray.insert(stray.begin(), {0x13, 0x37, 0, 0, 0, 0, 0});  // seven bytes between frames
    Bytes longField = DataFrame(Bytes(8, 3));
    longField[4] += 100;  // the length field 100 bytes off
    const Case cases[] = {
        {"longer than the buffer", DataFrame(Bytes(17, 1)), "exceeds the buffer's 16"},
        {"unknown type", DataFrame(Bytes(4, 1), 7), "unknow type, type[7], len[4]"},
        {"stray bytes", stray, "unknow type"},
        {"length field too long", longField, "exceeds the buffer's 16"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Camera camera2;
        SocketCtl ctl2(kLoopback, camera2.dataPort, camera2.commandPort);
        ASSERT_EQ(ctl2.openDevice(), 0);
        camera2.Accept();
        log::Capture capture;
        Send(camera2.data, c.bytes);
        Bytes buffer(16, 0xEE);
        uint32_t length = 16;
        EXPECT_EQ(ctl2.ReadData(buffer.data(), length), -1);
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(buffer, Bytes(16, 0xEE));
        EXPECT_TRUE(capture.Contains(c.log));
        // The camera sees its data connection end, and a new one arrive.
        EXPECT_EQ(ReadSome(camera2.data, 1).size(), 0u);
        length = 16;
        EXPECT_EQ(ctl2.ReadData(buffer.data(), length), 0);
        EXPECT_EQ(length, 0u);
        ASSERT_EQ(camera2.dataListen.Accept(camera2.data), 0);
        Send(camera2.data, DataFrame({7, 8, 9}));
        length = 16;
        EXPECT_EQ(ctl2.ReadData(buffer.data(), length), 1);
        ASSERT_EQ(length, 3u);
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 3), (Bytes{7, 8, 9}));
        EXPECT_EQ(ctl2.Health().framingLosses, 1u);
        EXPECT_EQ(ctl2.Health().reconnections, 1u);
        EXPECT_TRUE(capture.Contains("reconnected after a framing loss (1 so far)"));
        // Commands are unaffected.
        uint8_t cmd[1] = {1};
        uint32_t got = 0;
        EXPECT_EQ(ctl2.SetCmd(0x1B, cmd, 1, 1, SocketCtl::kSet, got), 0);
    }
}

// A frame cut by the camera going silent mid-frame loses the framing too.
TEST_F(SocketCtlTest, FrameCutByATimeOutReconnects) {
    Bytes frame = DataFrame(Bytes(12, 4));
    frame.resize(frame.size() - 5);
    Send(camera.data, frame);
    Bytes buffer(16, 0);
    uint32_t length = 16;
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), 0);  // waits out the data time-out
    EXPECT_EQ(ctl.Health().framingLosses, 1u);
    length = 16;
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), 0);
    ASSERT_EQ(camera.dataListen.Accept(camera.data), 0);
    Send(camera.data, DataFrame({1}));
    length = 16;
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), 1);
    EXPECT_EQ(length, 1u);
}

// A camera that refuses the new connection is tried again, not hammered, and said once.
TEST_F(SocketCtlTest, AFailedReconnectionIsRetriedAndLoggedOnce) {
    log::Capture capture;
    camera.dataListen.Close();
    Send(camera.data, DataFrame(Bytes(4, 1), 7));
    Bytes buffer(16, 0);
    uint32_t length = 16;
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), -1);
    for (int i = 0; i < 20; ++i) {  // 600 ms of reads: at least two attempts
        length = 16;
        EXPECT_EQ(ctl.ReadData(buffer.data(), length), -1);
    }
    EXPECT_EQ(capture.Count("not reconnected"), 1u);
    EXPECT_EQ(ctl.Health().reconnections, 0u);
}

TEST_F(SocketCtlTest, PeerClosingTheDataConnectionEndsReading) {
    Send(camera.data, DataFrame({9, 9}));
    camera.data.Close();
    Bytes buffer(8, 0);
    uint32_t length = 8;
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), 1);  // what arrived before still counts
    EXPECT_EQ(length, 2u);
    length = 8;
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), 0);
    EXPECT_EQ(length, 0u);
    length = 8;
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), -1);
    EXPECT_EQ(length, 0u);
    // A camera that ended the connection itself may serve another host now: no new one.
    EXPECT_EQ(camera.dataListen.WaitReadable(300), 0);
    EXPECT_EQ(ctl.Health().framingLosses, 0u);
}

TEST_F(SocketCtlTest, ReopenAfterCloseUsesNewConnections) {
    ctl.CloseDevice();
    uint32_t length = 8;
    Bytes buffer(8, 0);
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), 0);  // not connected
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(ReadSome(camera.command, 1).size(), 0u);  // the camera saw the close
    ASSERT_EQ(ctl.openDevice(), 0);
    camera.Accept();
    Send(camera.data, DataFrame({4}));
    length = 8;
    EXPECT_EQ(ctl.ReadData(buffer.data(), length), 1);
    EXPECT_EQ(length, 1u);
}

TEST(SocketCtlOpenTest, FailedOpenReportsAndClosesWhatItOpened) {
    // A port that is bound but not listening refuses connections at once.
    Socket closedPort;
    ASSERT_EQ(closedPort.Open(Socket::Kind::Tcp), 0);
    ASSERT_EQ(closedPort.Bind(kLoopback, 0), 0);
    uint32_t address = 0;
    uint16_t refusedPort = 0;
    ASSERT_EQ(closedPort.LocalAddress(address, refusedPort), 0);

    Camera camera;
    {
        log::Capture capture;
        SocketCtl noCommand(kLoopback, camera.dataPort, refusedPort);
        EXPECT_EQ(noCommand.openDevice(), -13);
        EXPECT_TRUE(capture.Contains("wait the Camera(cmd) connect  127.0.0.1"));
        EXPECT_FALSE(noCommand.IsConnected());
    }
    log::Capture capture;
    SocketCtl noData(kLoopback, refusedPort, camera.commandPort);
    EXPECT_EQ(noData.openDevice(), -13);
    EXPECT_TRUE(capture.Contains(" wait the Camera(data) connect 127.0.0.1"));
    EXPECT_FALSE(noData.IsConnected());
    EXPECT_TRUE(noData.HostAddress().empty());
    // The command connection it had made is closed again.
    ASSERT_EQ(camera.commandListen.Accept(camera.command), 0);
    EXPECT_EQ(ReadSome(camera.command, 1).size(), 0u);
}

}  // namespace
}  // namespace quorix
