// SocketProtocol against a small camera on loopback that records every request and answers
// gets from a test-provided function: what the simulator cross-check cannot provoke (calls
// before opening, replies cut short or out of order, callers' buffers too small, refused
// inputs) and the defaults it leaves to BaseProtocol.
#include "protocol/SocketProtocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "log/Log.h"
#include "support/LoopbackCamera.h"

namespace quorix {
namespace {

using test::Bytes;

struct Request {
    uint8_t command;  // as on the wire (bit 7 set for a get)
    Bytes payload;
};

// Records requests; answers each get with answer(request) as the reply payload.
class AnsweringCamera {
public:
    using Answer = std::function<Bytes(const Request&)>;

    ~AnsweringCamera() {
        m_stop = true;
        m_camera.command.Shutdown();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    uint16_t CommandPort() const { return m_camera.commandPort; }
    uint16_t DataPort() const { return m_camera.dataPort; }
    const platform::Socket& Data() const { return m_camera.data; }

    void Start() {
        m_camera.Accept();
        m_thread = std::thread([this] { Serve(); });
    }
    void SetAnswer(Answer answer) {
        std::lock_guard lock(m_lock);
        m_answer = std::move(answer);
    }
    // The first n requests, once they are in (what arrived within 5 s otherwise).
    std::vector<Request> WaitFor(size_t n) {
        std::unique_lock lock(m_lock);
        m_changed.wait_for(lock, std::chrono::seconds(5), [&] { return m_requests.size() >= n; });
        return m_requests;
    }
    std::vector<Request> Requests() {
        std::lock_guard lock(m_lock);
        return m_requests;
    }

private:
    void Serve() {
        while (!m_stop) {
            if (m_camera.command.WaitReadable(50) <= 0) {
                continue;
            }
            const Bytes frame = test::ReadRequest(m_camera.command);
            if (frame.size() < 11) {
                return;  // the protocol closed its end
            }
            Request request{frame[9], Bytes(frame.begin() + 11, frame.end())};
            Answer answer;
            {
                std::lock_guard lock(m_lock);
                m_requests.push_back(request);
                answer = m_answer;
            }
            m_changed.notify_all();
            if (request.command & 0x80) {
                const Bytes reply = answer ? answer(request) : Bytes{};
                test::Send(m_camera.command, test::ReplyFrame(request.command, reply));
            }
        }
    }

    test::LoopbackCamera m_camera;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Request> m_requests;
    Answer m_answer;
};

Bytes Padded(Bytes head, size_t size) {
    head.resize(size, 0);
    return head;
}

class SocketProtocolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(protocol.OpenDevice(), 0);
        camera.Start();
    }

    AnsweringCamera camera;
    SocketProtocol protocol{test::kLoopback, camera.DataPort(), camera.CommandPort()};
};

TEST(SocketProtocolClosedTest, SettingsAnswerZeroStreamingMinus13OthersFailOnTheWire) {
    AnsweringCamera camera;  // listening, never accepted: nothing may connect
    SocketProtocol protocol(test::kLoopback, camera.DataPort(), camera.CommandPort());
    log::Capture capture;
    uint16_t u16 = 7;
    uint8_t u8 = 7;
    WDROutputMode wdr;
    std::array<bool, 10> status{};
    HtpBlock htp{};
    uint32_t length = 64;
    char text[64] = {};
    const struct {
        const char* name;
        std::function<int32_t()> call;
    } settings[] = {
        {"SetThreshold", [&] { return protocol.SetThreshold(5); }},
        {"GetThreshold", [&] { return protocol.GetThreshold(u16); }},
        {"SetConfidenceBit", [&] { return protocol.SetConfidenceBit(1); }},
        {"SetSlaveModeEnabled", [&] { return protocol.SetSlaveModeEnabled(true); }},
        {"GetWDRMode", [&] { return protocol.GetWDRMode(wdr); }},
        {"GetMeasuringStatus", [&] { return protocol.GetMeasuringStatus(status); }},
        {"SetDataMode", [&] { return protocol.SetDataMode(2); }},
        {"GetDepthMode", [&] { return protocol.GetDepthMode(u8); }},
        {"SetDepthRange", [&] { return protocol.SetDepthRange(1); }},
        {"GetTALEnable", [&] { return protocol.GetTALEnable(u16); }},
        {"SetHTP", [&] { return protocol.SetHTP(htp); }},
        {"SetLens",
         [&] {
             return protocol.SetLens({2, 1, 640, 360, 30, 2});
         }},
        {"GetUpgradeIsSupported", [&] { return protocol.GetUpgradeIsSupported(u8); }},
        {"GetProperty", [&] { return protocol.GetProperty(property::kDeviceSN, text, length); }},
        {"SetSlaveTrigger", [&] { return protocol.SetSlaveTrigger(); }},
    };
    for (const auto& s : settings) {
        SCOPED_TRACE(s.name);
        capture.Clear();
        EXPECT_EQ(s.call(), 0);
        EXPECT_TRUE(capture.Contains(std::string("CommandProtocol::") + s.name +
                                     "]:device is not opened."));
    }
    EXPECT_EQ(u16, 7);  // outputs untouched
    EXPECT_EQ(u8, 7);
    EXPECT_EQ(protocol.StartStream(), -13);
    EXPECT_EQ(protocol.StopStream(), -13);

    capture.Clear();
    EXPECT_EQ(protocol.GetFWVer(text, sizeof text), -104);
    EXPECT_TRUE(capture.Contains("CommandProtocol::GetFWVer]:is failed."));

    uint32_t frameLength = 16;
    uint8_t frame[16];
    EXPECT_EQ(protocol.ReadData(frame, frameLength), 0);
    EXPECT_EQ(frameLength, 0u);
}

// The pieces' bytes are cross-checked; here the counts at the edges: a block of whole pieces
// has no empty last one, and counts of nothing or beyond a frame are refused unsent.
TEST_F(SocketProtocolTest, PlaneCorrectionPiecesAtTheEdges) {
    const std::vector<uint8_t> block(120, 1);
    const struct {
        uint32_t count;  // 4-byte units
        int32_t result;
        size_t requests;
    } cases[] = {{28, 0, 3}, {1, 0, 2}, {0, 1, 0}, {307201, 1, 0}};
    size_t seen = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        EXPECT_EQ(protocol.SetPlaneCorrectionParam(9, block.data(), c.count), c.result);
        if (c.requests > 0) {
            camera.WaitFor(seen + c.requests);
        }
        seen += c.requests;
        EXPECT_EQ(camera.Requests().size(), seen);
    }
}

// A camera holding 120 bytes of plane correction under id 0x0102.
Bytes PlaneAnswer(const Request& r, uint32_t skewIndex = 0) {
    Bytes reply(64, 0);
    if ((r.command & 0x80) == 0) {
        return reply;
    }
    const uint32_t k = test::GetU32(r.payload, 5);
    if (k == 0) {
        reply[9] = 120;
        reply[13] = 0x02;
        reply[14] = 0x01;
        return reply;
    }
    const uint32_t index = k + skewIndex;
    reply[0] = static_cast<uint8_t>(index);
    for (int i = 0; i < 56; ++i) {
        reply[4 + i] = static_cast<uint8_t>((k - 1) * 56 + i);
    }
    return reply;
}

// The read itself is cross-checked; here the last frame's unused bytes stay out of a larger
// buffer (the cross-check's exact-size one would show it only under a sanitizer), and a frame
// that answers with another index fails the read.
TEST_F(SocketProtocolTest, PlaneCorrectionIsReadFrameByFrame) {
    camera.SetAnswer([](const Request& r) { return PlaneAnswer(r); });
    std::vector<uint8_t> block(400, 0xEE);
    uint16_t id = 0;
    uint32_t count = 0;
    EXPECT_EQ(protocol.GetPlaneCorrectionParam(id, block.data(), 100, count), 0);
    EXPECT_EQ(count, 30u);
    EXPECT_EQ(block[119], 119);
    EXPECT_EQ(block[120], 0xEE);  // the last frame's unused bytes are not copied

    camera.SetAnswer([](const Request& r) { return PlaneAnswer(r, 1); });
    std::fill(block.begin(), block.end(), 0xEE);
    EXPECT_EQ(protocol.GetPlaneCorrectionParam(id, block.data(), 100, count), -104);
    EXPECT_EQ(block[0], 0xEE);  // only the awaited frame's bytes reach the block
}

// Property buffers too small for what the camera holds, and a selector without a word.
TEST_F(SocketProtocolTest, PropertyBuffersTooSmallAreRefused) {
    camera.SetAnswer([](const Request& r) -> Bytes {
        if (r.command == 0x95) {  // a list of three
            return Padded({0x14, 0, r.payload[2], 3, 0, 1, 2}, 64);
        }
        return Padded({r.payload[0], 0, 2, 0, 0x11, 0x22}, 54);  // depth offsets
    });
    uint8_t list[33] = {};
    uint32_t length = 2;
    EXPECT_EQ(protocol.GetProperty(property::kDepthRangeList, list, length), -15);
    RangeOffsetRecord offset{};
    length = 18;
    EXPECT_EQ(protocol.GetProperty(property::kRangeOffset, offset.data(), length), -15);
    DspStatusRecord dsp{0, 9, 0};
    EXPECT_EQ(protocol.SetProperty(property::kDspStatus, &dsp, sizeof dsp), -15);
}

TEST_F(SocketProtocolTest, UnknownPropertiesRefusedSilentlyAndNoOpsSucceed) {
    log::Capture capture;
    uint8_t data[8] = {};
    uint32_t length = sizeof data;
    EXPECT_EQ(protocol.GetProperty(property::kUpgradeState, data, length), -255);
    EXPECT_EQ(protocol.SetProperty(0x12345678, data, length), -255);
    EXPECT_TRUE(capture.Lines().empty());

    // Its own no-ops succeed without a word on the wire.
    EXPECT_EQ(protocol.ReservedOperation(), 0);
    EXPECT_EQ(protocol.SetConnectStatus(false), 0);
    EXPECT_TRUE(camera.Requests().empty());
}

// Replies that stop short of the fields a get reads fail the get and leave the caller's
// values as they were. (Which reply lengths each reader needs is a matter of the commands.)
TEST_F(SocketProtocolTest, ShortRepliesFailAndLeaveTheCallersValues) {
    log::Capture capture;
    uint16_t threshold = 1234;
    Matrix3 intrinsic{};
    intrinsic.fill(-1.0);
    ImuOffset offset{};
    offset.fill(0x5A);
    uint8_t list[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    uint32_t listLength = sizeof list;
    const struct {
        const char* name;
        std::function<Bytes(const Request&)> answer;  // the reply payload to each get
        std::function<int32_t()> call;
    } cases[] = {
        {"GetThreshold", [](const Request&) { return Bytes{0x01}; },
         [&] { return protocol.GetThreshold(threshold); }},
        {"GetCameraIntrinsic",  // the first frame whole, the second one double short
         [](const Request& r) {
             return r.payload[0] == 0x00 ? Padded({0x00}, 33) : Padded({0x01}, 33);
         },
         [&] { return protocol.GetCameraIntrinsic(1, intrinsic); }},
        {"GetACCOffset", [](const Request& r) { return Padded({r.payload[1]}, 15); },
         [&] { return protocol.GetACCOffset(offset); }},
        {"GetList",  // a count of three with two entries
         [](const Request&) { return Bytes{0x14, 0, 0, 3, 7, 8}; },
         [&] { return protocol.GetProperty(property::kOutModeList, list, listLength); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        camera.SetAnswer(c.answer);
        capture.Clear();
        EXPECT_EQ(c.call(), -104);
        EXPECT_TRUE(capture.Contains(std::string("CommandProtocol::") + c.name + "]:reply of "));
    }
    EXPECT_EQ(threshold, 1234);
    EXPECT_EQ(intrinsic[0], -1.0);
    EXPECT_EQ(offset[0], 0x5A);
    EXPECT_EQ(list[0], 0xEE);
    EXPECT_EQ(listLength, sizeof list);
    EXPECT_TRUE(capture.Contains("GetList]:reply of 6 bytes is too short."));
}

TEST_F(SocketProtocolTest, RefusedInputSendsNothing) {
    const uint16_t registers[16] = {};
    uint16_t values[16] = {};
    EXPECT_EQ(protocol.SetRegVal(registers, values, 16), -15);
    EXPECT_EQ(protocol.GetRegVal(registers, values, 16), -15);
    EXPECT_EQ(protocol.SetThreshold(7000), -15);
    EXPECT_EQ(protocol.SetTestModeState(2, {}), -15);
    EXPECT_EQ(protocol.SetToUpgradeMode_P(nullptr), -12);
    EXPECT_TRUE(camera.Requests().empty());
}

TEST_F(SocketProtocolTest, ReadDataPassesFramesThrough) {
    test::Send(camera.Data(), test::DataFrame({1, 2, 3}));
    uint8_t buffer[8] = {};
    uint32_t length = sizeof buffer;
    EXPECT_EQ(protocol.ReadData(buffer, length), 0);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(buffer[2], 3);

    test::Send(camera.Data(), test::DataFrame(Bytes(9, 1)));  // larger than the buffer
    length = sizeof buffer;
    EXPECT_EQ(protocol.ReadData(buffer, length), 0);
    EXPECT_EQ(length, 0u);
}

}  // namespace
}  // namespace quorix
