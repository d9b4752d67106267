// The cross-check harness: camera and protocol set-up, the request barrier, step runner.
#include "CrossCheck.h"

#include <cstdio>

#include "platform/Socket.h"
#include "sim/SimWire.h"

namespace quorix::crosscheck {

void PrintTo(const Wire& wire, std::ostream* out) {
    char head[32];
    std::snprintf(head, sizeof head, "0x%02X %s [", wire.command, wire.get ? "get" : "set");
    *out << head;
    for (size_t i = 0; i < wire.payload.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", wire.payload[i]);
        *out << byte;
    }
    *out << "]";
}

void CrossCheck::Connect(Address address, uint32_t session) {
    m_session = session;
    sim::SimConfig config;
    config.address = "127.0.92." + std::to_string(address);
    config.serial = "QXCROSS" + std::to_string(address);
    config.sessions = session + 1;
    camera = std::make_unique<sim::SimCamera>(config);
    // Before Start: the first announcement would otherwise go out at once.
    camera->SetAnnouncing(false);
    ASSERT_EQ(camera->Start(), 0);
    protocol = std::make_unique<SocketProtocol>(platform::Ipv4(127, 0, 92, address),
                                                sim::DataPort(session), sim::CommandPort(session));
    ASSERT_EQ(protocol->OpenDevice(), 0);
    // Once a reply came back the camera has taken the connection (and knows the host).
    ASSERT_TRUE(Exchanged().empty());
}

void CrossCheck::TearDown() {
    if (protocol) {
        protocol->CloseDevice();
        protocol.reset();
    }
    camera.reset();
}

std::vector<Wire> CrossCheck::Logged() const {
    std::vector<Wire> out;
    for (const sim::LoggedRequest& request : camera->Requests().Entries()) {
        EXPECT_EQ(request.session, m_session);
        out.push_back(Wire{request.command, request.get, request.payload});
    }
    return out;
}

std::vector<Wire> CrossCheck::Exchanged() {
    uint32_t unused = 0;
    const int32_t barrier = protocol->GetProperty(property::kHeartBeat, nullptr, unused);
    std::vector<Wire> out = Logged();
    camera->Requests().Clear();
    const Wire heartbeat = Get(0x1C, {0x01});
    if (barrier != 0 || out.empty() || out.back() != heartbeat) {
        ADD_FAILURE() << "the barrier heartbeat did not come back (" << barrier << ")";
        return out;
    }
    out.pop_back();
    return out;
}

void CrossCheck::Run(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        EXPECT_EQ(step.call(), step.result);
        EXPECT_EQ(Exchanged(), step.wire);
        if (step.check) {
            step.check(camera->State());
        }
    }
}

}  // namespace quorix::crosscheck
