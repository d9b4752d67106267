// Harness of the cross-check between the library's SocketProtocol and the simulated camera:
// one camera per test on its own loopback address 127.0.92.N (silent on UDP), the real
// protocol connected to it, and the requests the camera logged, compared with bytes that the
// tests write out from the command table.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/SocketProtocol.h"
#include "sim/SimCamera.h"

namespace quorix::crosscheck {

using Bytes = std::vector<uint8_t>;

// The last octet of each test's camera address: one per test, because CTest runs the tests
// of this program in parallel processes and each camera binds its ports on its address.
enum Address : uint8_t {
    kSingleValues = 2,
    kWdrAndStatus = 3,
    kRangesAndOffsets = 4,
    kGmm = 5,
    kLensAndWorkMode = 6,
    kTwoStepGets = 7,
    kDspStatus = 8,
    kTexts = 9,
    kCalibration = 10,
    kPlaneCorrection = 11,
    kHeartbeat = 12,
    kTransfers = 13,
    kJsonConfig = 14,
    kClosed = 17,
    kReboot = 19,
    kBlocks = 20,
    kDataModes = 21,
    kSecondSession = 22,
};

// One request as the camera received it: command id (bit 7 cleared), direction, payload.
struct Wire {
    uint8_t command = 0;
    bool get = false;
    Bytes payload;

    bool operator==(const Wire&) const = default;
};

inline Wire Set(uint8_t command, Bytes payload) {
    return Wire{command, false, std::move(payload)};
}
inline Wire Get(uint8_t command, Bytes payload) {
    return Wire{command, true, std::move(payload)};
}

void PrintTo(const Wire& wire, std::ostream* out);

// `bytes` followed by zeros up to `size` bytes.
inline Bytes Pad(Bytes bytes, size_t size) {
    bytes.resize(size, 0);
    return bytes;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

inline Bytes Ascii(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// A double on the wire, given as its IEEE 754 bit pattern (written out by hand in the tests,
// so a wrong encoding on either side cannot cancel out).
inline Bytes F64(uint64_t bits) {
    Bytes out(8);
    for (size_t i = 0; i < 8; ++i) {
        out[i] = static_cast<uint8_t>(bits >> (8 * i));
    }
    return out;
}

inline const sim::SensorState& Sensor0(const sim::SimState& state) {
    return state.sensors.at(0);
}

// One operation of the table: the call, the requests it must put on the wire, and what must
// hold afterwards (the camera's state after a set, the values the library parsed after a get).
struct Step {
    std::string name;
    std::function<int32_t()> call;
    std::vector<Wire> wire;
    std::function<void(const sim::SimState&)> check;
    int32_t result = 0;
};

// A set whose effect is one field of sensor 0.
template <typename Field, typename Value>
Step SetStep(std::string name, std::function<int32_t()> call, Wire wire,
             Field sim::SensorState::*field, Value expected) {
    return {
        std::move(name),
        std::move(call),
        {std::move(wire)},
        [field, expected](const sim::SimState& st) { EXPECT_EQ(Sensor0(st).*field, expected); }};
}

// A get whose result lands in `out`.
template <typename Out, typename Value>
Step GetStep(std::string name, std::function<int32_t()> call, Wire wire, const Out& out,
             Value expected) {
    return {std::move(name),
            std::move(call),
            {std::move(wire)},
            [&out, expected](const sim::SimState&) { EXPECT_EQ(out, expected); }};
}

class CrossCheck : public ::testing::Test {
protected:
    void TearDown() override;

    // Starts the camera 127.0.92.`address` with sessions 0 to `session` and opens the
    // protocol on `session`.
    void Connect(Address address, uint32_t session = 0);
    sim::SensorState Sensor() const { return camera->State().sensors.at(m_session); }
    // The requests since the last call, once the camera has handled every one of them: a
    // heartbeat follows them, and its reply means all before it were applied. The heartbeat
    // itself is not returned.
    std::vector<Wire> Exchanged();
    // The requests logged so far, without a barrier (for a camera that no longer answers).
    std::vector<Wire> Logged() const;
    // Runs the steps in order, each against the requests it produced.
    void Run(const std::vector<Step>& steps);

    std::unique_ptr<sim::SimCamera> camera;
    std::unique_ptr<SocketProtocol> protocol;

private:
    uint32_t m_session = 0;
};

}  // namespace quorix::crosscheck
