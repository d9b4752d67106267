// SimCamera: one simulated network camera on its own loopback address 127.0.0.N. It
// announces itself by UDP, serves the command connection of each session (TCP 9008 + 10 i)
// from its SimState, accepts the data connection (TCP 9009 + 10 i), records every request,
// and misbehaves on request. One worker thread runs the whole camera; Stop() wakes it at
// once and closes every socket.
//
// Threads: Start, Stop and every accessor may be called from any thread. The worker owns
// the sockets; state, fault plan and request log are guarded by locks of their own.
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

namespace quorix::sim {

struct SimConfig {
    std::string address = "127.0.0.2";  // 127.0.0.N, N >= 2: one address per camera
    uint32_t deviceType = 561;
    std::string serial = "QXSIM0001";
    uint32_t sessions = 1;               // 1 to kMaxSessions
    std::string announceHost = "127.0.0.1";
    uint16_t announcePort = 9007;
    bool farewellOnStop = false;         // announce state 2 once when stopping
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

class SimCamera {
public:
    explicit SimCamera(SimConfig config);
    ~SimCamera();

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

    // A copy of the whole state, and a change applied under the state lock.
    SimState State() const;
    void UpdateState(const std::function<void(SimState&)>& change);
    // Shorthands for the announcement.
    void SetAnnouncing(bool enabled);
    void SetCameraState(uint8_t state);
    // Sends one announcement at once (when announcing), then keeps the interval.
    void AnnounceNow();

    void SetFault(FaultPlan plan);
    void ClearFault() { SetFault({}); }

    RequestLog& Requests() { return m_requests; }
    uint64_t AnnouncementsSent() const { return m_announcements.load(); }
    // Request frames whose body did not fit their header, or headers that were no frame.
    uint64_t MalformedRequests() const { return m_malformed.load(); }
    bool CommandConnected(uint32_t session) const;
    bool DataConnected(uint32_t session) const;

    // Sends one data frame (8-byte header, type 1, then `payload`) on the session's data
    // connection. 0 when sent; -13 without a data connection; -1 when the send failed
    // (the connection is then closed). Frame generation and pacing live with the caller.
    int32_t SendDataFrame(uint32_t session, const uint8_t* payload, uint32_t length);

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
};

}  // namespace quorix::sim
