// Streaming over real loopback connections: the start and stop commands, whole frames at
// the camera's rate, a host that does not read, the parameter push after the host asks
// for it, and a test frame slipped in between streamed ones. Addresses 127.0.92.N.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "FrameCheck.h"
#include "SimTestClient.h"
#include "protocol/InitParams.h"
#include "sim/SimCamera.h"

namespace quorix::sim {
namespace {

using test::Bytes;
using test::TestClient;
using Clock = std::chrono::steady_clock;

std::string Addr(int n) {
    return "127.0.92." + std::to_string(n);
}

struct Rig {
    std::unique_ptr<SimCamera> camera;
    TestClient command;
    TestClient data;
};

// A started, silent camera with its command and data connections made.
void Connect(Rig& rig, int n, const std::function<void(SimState&)>& setup = {}) {
    SimConfig config;
    config.address = Addr(n);
    config.serial = "QXSTREAM";
    rig.camera = std::make_unique<SimCamera>(config);
    rig.camera->SetAnnouncing(false);
    if (setup) {
        rig.camera->UpdateState(setup);
    }
    ASSERT_EQ(rig.camera->Start(), 0);
    ASSERT_TRUE(rig.command.Connect(Addr(n), 9008));
    ASSERT_TRUE(rig.data.Connect(Addr(n), 9009));
    for (int i = 0; i < 1000 && !rig.camera->DataConnected(0); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(rig.camera->DataConnected(0));
}

// One data frame's payload, after checking its header.
std::optional<Bytes> ReadFrame(TestClient& data) {
    const auto header = data.Read(kFrameHeaderBytes);
    if (!header || GetU32(header->data()) != kDataFrameType) {
        return std::nullopt;
    }
    return data.Read(GetU32(header->data() + 4));
}

TEST(SimStreaming, StartSendsWholeFramesAtTheRateAndStopEndsThem) {
    Rig rig;
    Connect(rig, 2);
    const Clock::time_point started = Clock::now();
    ASSERT_TRUE(rig.command.Request(0x1B, {0x01}));
    std::vector<uint32_t> indices;
    for (int i = 0; i < 6; ++i) {
        const auto frame = ReadFrame(rig.data);
        ASSERT_TRUE(frame);
        const auto packets = test::WholeSubPackets(frame->data(), frame->size());
        ASSERT_EQ(packets.size(), 3u);  // data mode 0: depth, colour, status
        EXPECT_EQ(packets[0].type, 0x21);
        EXPECT_EQ(packets[1].type, '3');
        EXPECT_EQ(packets[2].type, kStatusType);
        indices.push_back(test::StampOf(frame->data(), frame->size()).value_or(~0u));
        EXPECT_EQ(test::StatusIn(frame->data(), frame->size())->frameCounter, indices.back());
    }
    EXPECT_EQ(indices[0], 0u);
    for (size_t i = 1; i < indices.size(); ++i) {
        EXPECT_GT(indices[i], indices[i - 1]);
    }
    // 30 frames a second: capture k is no earlier than k ticks after the start.
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(1000) * indices.back() / 30);

    ASSERT_TRUE(rig.command.Request(0x1B, {0x00}));
    ASSERT_TRUE(rig.command.Get(0x1C, {0x01}));  // the stop has been handled
    // What was sent before the stop may still arrive; then nothing does.
    const uint64_t captures = rig.camera->StreamStatistics(0).captures;
    size_t frames = indices.size();
    pollfd pfd{rig.data.Fd(), POLLIN, 0};
    while (::poll(&pfd, 1, 300) > 0) {
        ASSERT_TRUE(ReadFrame(rig.data));
        ++frames;
    }
    EXPECT_EQ(rig.camera->StreamStatistics(0).captures, captures);
    EXPECT_EQ(rig.camera->StreamStatistics(0).framesSent, frames);

    // A new start counts its captures from 0 again.
    ASSERT_TRUE(rig.command.Request(0x1B, {0x01}));
    const auto frame = ReadFrame(rig.data);
    ASSERT_TRUE(frame);
    EXPECT_EQ(test::StampOf(frame->data(), frame->size()), 0u);
    EXPECT_EQ(rig.camera->StreamStatistics(0).streamStarts, 2u);
}

TEST(SimStreaming, AHostThatDoesNotReadCostsFramesNotCommandAnswers) {
    Rig rig;
    Connect(rig, 3, [](SimState& s) { s.stream.packing = TofPacking::kY16; });
    ASSERT_TRUE(rig.command.Request(0x07, {0x02, 0x80, 0x02, 0xE0, 0x01, 0x0F, 0x02, 0x01, 0x0F,
                                           0x02, 0x0F}));  // data mode 2: 1.2 MB frames
    ASSERT_TRUE(rig.command.Request(0x1B, {0x01}));
    for (int i = 0; i < 2000 && rig.camera->StreamStatistics(0).framesDropped == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GT(rig.camera->StreamStatistics(0).framesDropped, 0u);
    EXPECT_EQ(rig.command.Get(0x1C, {0x01}), Bytes{0x01});
    // The frames that did go out are whole, back to back.
    for (int i = 0; i < 3; ++i) {
        const auto frame = ReadFrame(rig.data);
        ASSERT_TRUE(frame);
        const auto packets = test::WholeSubPackets(frame->data(), frame->size());
        ASSERT_FALSE(packets.empty());
        EXPECT_EQ(packets[0].type, 0x63);
    }
}

TEST(SimStreaming, ParametersArePushedOnceTheHostEnablesThem) {
    Rig rig;
    Connect(rig, 4);
    const auto answer = rig.command.Get(0x11, {0x80, 0x01});
    ASSERT_TRUE(answer);
    ASSERT_GE(answer->size(), 3u);
    EXPECT_EQ((*answer)[1], 1);
    EXPECT_EQ((*answer)[2], 1);
    ASSERT_TRUE(rig.command.Request(0x11, {0x00, 0x02, 0x01}));
    ASSERT_TRUE(rig.command.Request(0x1B, {0x01}));
    const auto frame = ReadFrame(rig.data);
    ASSERT_TRUE(frame);
    const auto packets = test::WholeSubPackets(frame->data(), frame->size());
    ASSERT_FALSE(packets.empty());
    const SubPacket& push = packets.back();
    ASSERT_EQ(push.type, kPushType);
    InitParamBlocks blocks;
    PushedParameters params;
    ASSERT_EQ(DecodeInitParams(frame->data() + push.offset, push.length, blocks), 0);
    ASSERT_TRUE(ReadPushedParameters(blocks, params));
    EXPECT_EQ(params.serialNumber, "QXSTREAM");

    // A camera told to say no answers so.
    rig.camera->UpdateState([](SimState& s) { s.sensors[0].jsonConfigSupported = false; });
    EXPECT_EQ(rig.command.Get(0x11, {0x80, 0x01})->at(2), 0);
}

TEST(SimStreaming, ATestFrameGoesOutBetweenStreamedFrames) {
    Rig rig;
    Connect(rig, 5, [](SimState& s) { s.sensors[0].tofFrameRate = 60; });
    ASSERT_TRUE(rig.command.Request(0x1B, {0x01}));
    ASSERT_TRUE(ReadFrame(rig.data));
    std::atomic<int32_t> injected{1};
    std::thread sender([&] {
        const Bytes odd{0x99, 1, 2};
        injected = rig.camera->SendDataFrame(0, odd.data(), 3);
    });
    int odd = 0;
    for (int i = 0; i < 8; ++i) {
        const auto frame = ReadFrame(rig.data);
        ASSERT_TRUE(frame);
        if (*frame == Bytes{0x99, 1, 2}) {
            ++odd;
        } else {
            EXPECT_FALSE(test::WholeSubPackets(frame->data(), frame->size()).empty());
        }
    }
    sender.join();
    EXPECT_EQ(injected.load(), 0);
    EXPECT_EQ(odd, 1);
}

}  // namespace
}  // namespace quorix::sim
