// SimCamera: one simulated network camera on its own loopback address 127.0.0.N. It
// announces itself by UDP, serves the command connection of each session (TCP 9008 + 10 i)
// from its SimState, accepts the data connection (TCP 9009 + 10 i), records every request,
// and misbehaves on request. While a session's sensor streams (command 0x1B), its data
// connection receives one data frame per capture (SimStreamer, FrameBuilder). One worker
// thread runs the sockets, one the capture clock; Stop() wakes both at once and closes
// every socket.
//
// Threads: Start, Stop and every accessor may be called from any thread. The worker owns
// the sockets; state, fault plan and request log are guarded by locks of their own.
//
// Streaming in a test: UpdateState sets the stream settings (SimState::stream) and the
// sensor's fields (tofFrameRate, dataMode, depthRange, lens[2] ...); a host starts the
// stream with the 0x1B command (or a test sets sensors[i].streaming and counts up
// streamStarts). Frame content is predicted with sim/Scene.h and sim/FrameBuilder.h.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/RequestLog.h"
#include "sim/SimState.h"
#include "sim/SimStreamer.h"

namespace quorix::sim {

struct SimConfig {
    std::string address = "127.0.0.2";  // 127.0.0.N, N >= 2: one address per camera
    uint32_t deviceType = 561;
    std::string serial = "QXSIM0001";
    uint32_t sessions = 1;  // 1 to kMaxSessions
    std::string announceHost = "127.0.0.1";
    uint16_t announcePort = 9007;
    bool farewellOnStop = false;  // announce state 2 once when stopping
    std::string transferFolder;   // where firmware and JSON files are fetched from
    // The capture clock; unset: the synthetic scene (SimStreamer).
    std::function<std::unique_ptr<StreamClock>(StreamPort&)> makeClock;
};

// Ways to misbehave on the command connection.
enum class Misbehaviour {
    kNone,
    kSilent,           // gets are applied but never answered
    kWrongEcho,        // gets are answered with another command byte in the echo
    kCloseConnection,  // a request closes the session's command and data connections
    kGarbage,          // gets are answered with bytes that are no reply frame
};

struct FaultPlan {
    Misbehaviour mode = Misbehaviour::kNone;
    int32_t command = -1;          // only requests of this command id (bit 7 clear); -1 all
    uint32_t wrongReplies = 1;     // kWrongEcho: how many wrong replies are sent
    bool thenAnswer = false;       // kWrongEcho: the right reply follows the wrong ones
    std::vector<uint8_t> garbage;  // kGarbage: the bytes sent; empty: DefaultGarbage()
};

// A header of frame type 0x55555555 announcing 0x7FFFFFF0 body bytes, then 16 bytes 0xEE.
std::vector<uint8_t> DefaultGarbage();

class SimCamera : private StreamPort {
public:
    explicit SimCamera(SimConfig config);
    ~SimCamera() override;

    SimCamera(const SimCamera&) = delete;
    SimCamera& operator=(const SimCamera&) = delete;

    // Binds every socket, then starts the worker; when it returns 0 the ports accept
    // connections. -1 when the configuration is invalid or a socket cannot be bound
    // (logged); nothing stays open then. A second Start while running returns 0.
    int32_t Start();
    // Closes every socket and joins the worker; returns promptly. Safe to call twice.
    void Stop();
    bool IsRunning() const { return m_running.load(); }

    const SimConfig& Config() const { return m_config; }

    // A copy of the whole state, and a change applied under the state lock (the capture
    // clock looks at the change at once).
    SimState State() const;
    void UpdateState(const std::function<void(SimState&)>& change);
    // Shorthands for the announcement.
    void SetAnnouncing(bool enabled);
    void SetCameraState(uint8_t state);
    // Sends one announcement at once (when announcing), then keeps the interval.
    void AnnounceNow();

    void SetFault(FaultPlan plan);
    void ClearFault() { SetFault({}); }
    FaultPlan Fault() const;

    RequestLog& Requests() { return m_requests; }
    uint64_t AnnouncementsSent() const { return m_announcements.load(); }
    // Request frames whose body did not fit their header, or headers that were no frame.
    uint64_t MalformedRequests() const { return m_malformed.load(); }
    bool CommandConnected(uint32_t session) const;
    bool DataConnected(uint32_t session) const;

    // Sends one data frame (8-byte header, type 1, then `payload`) on the session's data
    // connection, blocking up to 2 s. While the session streams it goes out between two
    // streamed frames (a frame partly sent is finished first), so a test can slip odd
    // frames into a stream. 0 when sent; -13 without a data connection; -1 when the send
    // failed (the connection is then closed).
    int32_t SendDataFrame(uint32_t session, const uint8_t* payload, uint32_t length);
    // The same for bytes sent as they are, framed or not: a fault between two frames.
    int32_t SendDataBytes(uint32_t session, const uint8_t* bytes, size_t length);

    // Counters of the session's stream since construction.
    StreamStats StreamStatistics(uint32_t session) const { return m_streamer->Stats(session); }

private:
    class Worker;
    struct Session;

    void RunLoop();
    void Wake();
    void SendAnnouncement(bool farewell);
    void AcceptCommand(Session& session);
    void AcceptData(Session& session);
    void ReadCommands(Session& session);
    void HandleRequest(Session& session, uint8_t commandByte, const uint8_t* payload,
                       size_t length);
    bool SendReply(Session& session, const std::vector<uint8_t>& bytes);
    void DrainData(Session& session);
    void CloseCommand(Session& session);
    void CloseData(Session& session);
    void CloseSockets();

    // StreamPort, for the capture clock.
    uint32_t SessionCount() const override { return static_cast<uint32_t>(m_sessions.size()); }
    void ReadState(const std::function<void(const SimState&)>& read) const override;
    SendProgress BeginFrame(uint32_t session, const uint8_t* data, size_t length) override;
    SendProgress ContinueFrame(uint32_t session) override;
    SendProgress PushFrame(Session& session);

    const SimConfig m_config;
    std::unique_ptr<Worker> m_worker;
    std::vector<std::unique_ptr<Session>> m_sessions;  // fixed at construction
    std::mutex m_wakeLock;  // Wake() may run on any thread while Stop closes m_wakeFd
    int m_wakeFd = -1;
    int m_udpFd = -1;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_announceNow{false};
    std::atomic<uint64_t> m_announcements{0};
    std::atomic<uint64_t> m_malformed{0};
    std::mutex m_startLock;  // serialises Start and Stop

    mutable std::mutex m_stateLock;
    SimState m_state;
    mutable std::mutex m_faultLock;
    FaultPlan m_fault;

    RequestLog m_requests;
    std::unique_ptr<StreamClock> m_streamer;  // last: stops before what it reads goes
};

}  // namespace quorix::sim
