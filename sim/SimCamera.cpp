// The simulated camera's sockets and its one worker thread: a poll loop over the wake
// descriptor, the listening sockets and the open connections of every session, with the
// announcement sent whenever its interval has passed.
#include "sim/SimCamera.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "log/Log.h"
#include "pipeline/StoppableThread.h"
#include "sim/Announcement.h"
#include "sim/CommandHandler.h"
#include "sim/SimSocket.h"
#include "sim/SimWire.h"

namespace quorix::sim {

namespace {

constexpr std::chrono::milliseconds kSendLimit{2000};
constexpr int kMaxPollMs = 100;
constexpr size_t kReadChunk = 4096;

}  // namespace

std::vector<uint8_t> DefaultGarbage() {
    std::vector<uint8_t> bytes(kFrameHeaderBytes + 16, 0xEE);
    PutU32(bytes.data(), 0x55555555);
    PutU32(bytes.data() + 4, 0x7FFFFFF0);
    return bytes;
}

class SimCamera::Worker : public StoppableThread {
public:
    explicit Worker(SimCamera& camera) : StoppableThread("SimCamera"), m_camera(camera) {}
    ~Worker() override {
        Stop();
        Join();
    }

protected:
    void Run() override { m_camera.RunLoop(); }
    void OnStopRequested() override { m_camera.Wake(); }

private:
    SimCamera& m_camera;
};

struct SimCamera::Session {
    uint32_t index = 0;
    Fd commandListen;
    Fd dataListen;
    Fd command;           // touched by the worker only
    std::mutex dataLock;  // guards `data` and the streamed frame in flight
    Fd data;
    const uint8_t* frameData = nullptr;  // streamed frame partly sent; null when none
    size_t frameLength = 0;
    size_t frameSent = 0;
    bool frameCut = false;  // the connection went while a frame was in flight
    std::atomic<bool> commandUp{false};
    std::atomic<bool> dataUp{false};
    std::vector<uint8_t> input;  // bytes of the command connection not yet parsed
    PendingReads pending;
};

SimCamera::SimCamera(SimConfig config)
    : m_config(std::move(config)),
      m_state(MakeDefaultState(m_config.deviceType, m_config.address, m_config.serial,
                               std::min(m_config.sessions, kMaxSessions))) {
    m_state.transferFolder = m_config.transferFolder;
    for (uint32_t i = 0; i < std::min(m_config.sessions, kMaxSessions); ++i) {
        m_sessions.push_back(std::make_unique<Session>());
        m_sessions.back()->index = i;
    }
    StreamPort& port = *this;
    m_streamer =
        m_config.makeClock ? m_config.makeClock(port) : std::make_unique<SimStreamer>(port);
}

SimCamera::~SimCamera() {
    Stop();
}

int32_t SimCamera::Start() {
    std::lock_guard guard(m_startLock);
    if (m_running.load()) {
        return 0;
    }
    if (m_config.sessions == 0 || m_config.sessions > kMaxSessions) {
        QLOG("sessions:%u is invalid.\n", m_config.sessions);
        return -1;
    }
    sockaddr_in probe{};
    if (!MakeAddress(m_config.address, 0, probe) ||
        !MakeAddress(m_config.announceHost, m_config.announcePort, probe)) {
        QLOG("address:%s or %s is invalid.\n", m_config.address.c_str(),
             m_config.announceHost.c_str());
        return -1;
    }
    for (auto& session : m_sessions) {
        const uint32_t i = session->index;
        int error = 0;
        session->commandListen = ListenTcp(m_config.address, CommandPort(i), error);
        if (session->commandListen.IsOpen()) {
            session->dataListen = ListenTcp(m_config.address, DataPort(i), error);
        }
        if (!session->dataListen.IsOpen()) {
            QLOG("listen on %s session %u failed, errno[%d], info: %s\n", m_config.address.c_str(),
                 i, error, std::strerror(error));
            CloseSockets();
            return -1;
        }
    }
    int error = 0;
    Fd udp = OpenUdp(m_config.address, error);
    Fd wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!udp.IsOpen() || !wake.IsOpen()) {
        QLOG("announcement socket on %s failed, errno[%d], info: %s\n", m_config.address.c_str(),
             error, std::strerror(error));
        CloseSockets();
        return -1;
    }
    m_udpFd = udp.Release();
    {
        std::lock_guard wakeGuard(m_wakeLock);
        m_wakeFd = wake.Release();
    }
    m_stopping = false;
    m_worker = std::make_unique<Worker>(*this);
    m_worker->Start();
    if (!m_worker->IsRunning()) {
        m_worker.reset();
        CloseSockets();
        return -1;
    }
    m_streamer->Start();
    m_running = true;
    QLOG("camera %s (%u) on %s with %u sessions\n", m_config.serial.c_str(), m_config.deviceType,
         m_config.address.c_str(), m_config.sessions);
    return 0;
}

void SimCamera::Stop() {
    std::lock_guard guard(m_startLock);
    if (!m_running.load()) {
        return;
    }
    m_stopping = true;
    m_streamer->Stop();
    m_streamer->Join();
    m_worker->Stop();
    m_worker->Join();
    m_worker.reset();
    // After the worker, so that no regular announcement can follow the farewell.
    if (m_config.farewellOnStop) {
        SendAnnouncement(true);
    }
    CloseSockets();
    m_running = false;
    QLOG("camera %s on %s stopped\n", m_config.serial.c_str(), m_config.address.c_str());
}

void SimCamera::CloseSockets() {
    for (auto& session : m_sessions) {
        CloseCommand(*session);
        CloseData(*session);
        session->commandListen.Reset();
        session->dataListen.Reset();
    }
    if (m_udpFd >= 0) {
        ::close(m_udpFd);
        m_udpFd = -1;
    }
    std::lock_guard guard(m_wakeLock);
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
        m_wakeFd = -1;
    }
}

SimState SimCamera::State() const {
    std::lock_guard guard(m_stateLock);
    return m_state;
}

void SimCamera::UpdateState(const std::function<void(SimState&)>& change) {
    {
        std::lock_guard guard(m_stateLock);
        change(m_state);
    }
    m_streamer->Wake();
}

void SimCamera::ReadState(const std::function<void(const SimState&)>& read) const {
    std::lock_guard guard(m_stateLock);
    read(m_state);
}

void SimCamera::SetAnnouncing(bool enabled) {
    UpdateState([&](SimState& s) { s.announce.enabled = enabled; });
}

void SimCamera::SetCameraState(uint8_t state) {
    UpdateState([&](SimState& s) { s.announce.cameraState = state; });
}

void SimCamera::AnnounceNow() {
    m_announceNow = true;
    Wake();
}

void SimCamera::SetFault(FaultPlan plan) {
    std::lock_guard guard(m_faultLock);
    m_fault = std::move(plan);
}

FaultPlan SimCamera::Fault() const {
    std::lock_guard guard(m_faultLock);
    return m_fault;
}

bool SimCamera::CommandConnected(uint32_t session) const {
    return session < m_sessions.size() && m_running && m_sessions[session]->commandUp.load();
}

bool SimCamera::DataConnected(uint32_t session) const {
    return session < m_sessions.size() && m_running && m_sessions[session]->dataUp.load();
}

int32_t SimCamera::SendDataFrame(uint32_t session, const uint8_t* payload, uint32_t length) {
    const auto header = EncodeDataHeader(length);
    std::vector<uint8_t> frame(header.begin(), header.end());
    if (length > 0) {
        frame.insert(frame.end(), payload, payload + length);
    }
    return SendDataBytes(session, frame.data(), frame.size());
}

int32_t SimCamera::SendDataBytes(uint32_t session, const uint8_t* bytes, size_t length) {
    if (!m_running || session >= m_sessions.size()) {
        return -13;
    }
    Session& s = *m_sessions[session];
    std::lock_guard guard(s.dataLock);
    if (!s.data.IsOpen()) {
        return -13;
    }
    if (s.frameData != nullptr) {
        // A streamed frame is partly out: finish it so the host's framing holds.
        const bool sent = SendAll(s.data.Get(), s.frameData + s.frameSent,
                                  s.frameLength - s.frameSent, m_stopping, kSendLimit);
        s.frameData = nullptr;
        if (!sent) {
            s.frameCut = true;
            ::shutdown(s.data.Get(), SHUT_RDWR);
            return -1;
        }
    }
    if (length > 0 && !SendAll(s.data.Get(), bytes, length, m_stopping, kSendLimit)) {
        // The worker owns the descriptor; it sees the shutdown and closes it.
        ::shutdown(s.data.Get(), SHUT_RDWR);
        return -1;
    }
    return 0;
}

SendProgress SimCamera::BeginFrame(uint32_t session, const uint8_t* data, size_t length) {
    Session& s = *m_sessions[session];
    std::lock_guard guard(s.dataLock);
    if (!m_running || !s.data.IsOpen()) {
        return SendProgress::kNoConnection;
    }
    s.frameData = data;
    s.frameLength = length;
    s.frameSent = 0;
    s.frameCut = false;
    return PushFrame(s);
}

SendProgress SimCamera::ContinueFrame(uint32_t session) {
    Session& s = *m_sessions[session];
    std::lock_guard guard(s.dataLock);
    if (s.frameData == nullptr) {
        const bool cut = s.frameCut;
        s.frameCut = false;
        return cut ? SendProgress::kNoConnection : SendProgress::kDone;
    }
    return PushFrame(s);
}

// Sends what the socket takes now; called with the session's data lock held.
SendProgress SimCamera::PushFrame(Session& s) {
    while (s.frameSent < s.frameLength) {
        const ssize_t n = ::send(s.data.Get(), s.frameData + s.frameSent,
                                 s.frameLength - s.frameSent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            s.frameSent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return SendProgress::kPending;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // The worker owns the descriptor; it sees the shutdown and closes it.
        ::shutdown(s.data.Get(), SHUT_RDWR);
        s.frameData = nullptr;
        return SendProgress::kNoConnection;
    }
    s.frameData = nullptr;
    return SendProgress::kDone;
}

void SimCamera::Wake() {
    std::lock_guard guard(m_wakeLock);
    if (m_wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof(one));
    }
}

void SimCamera::SendAnnouncement(bool farewell) {
    std::vector<uint8_t> datagram;
    {
        std::lock_guard guard(m_stateLock);
        if (!m_state.announce.enabled) {
            return;
        }
        Announcement announcement = MakeAnnouncement(m_state);
        if (farewell) {
            announcement.cameraState = 2;
        }
        datagram = EncodeAnnouncement(announcement);
    }
    sockaddr_in to{};
    MakeAddress(m_config.announceHost, m_config.announcePort, to);
    // Nobody listening is normal; the next interval tries again.
    if (::sendto(m_udpFd, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&to), sizeof(to)) >= 0) {
        ++m_announcements;
    }
}

void SimCamera::RunLoop() {
    using Clock = std::chrono::steady_clock;
    auto nextAnnouncement = Clock::now();
    std::vector<pollfd> fds;
    // What each pollfd stands for: session index and slot (0 command listener, 1 command
    // connection, 2 data listener, 3 data connection).
    std::vector<std::pair<uint32_t, int>> roles;
    while (m_worker->IsRunning()) {
        const auto now = Clock::now();
        if (m_announceNow.exchange(false) || now >= nextAnnouncement) {
            SendAnnouncement(false);
            uint32_t interval = 0;
            {
                std::lock_guard guard(m_stateLock);
                interval = std::max<uint32_t>(m_state.announce.intervalMs, 10);
            }
            nextAnnouncement = Clock::now() + std::chrono::milliseconds(interval);
        }
        fds.clear();
        roles.clear();
        fds.push_back({m_wakeFd, POLLIN, 0});
        roles.emplace_back(0, -1);
        for (auto& session : m_sessions) {
            const int slots[4] = {session->commandListen.Get(), session->command.Get(),
                                  session->dataListen.Get(), session->data.Get()};
            for (int slot = 0; slot < 4; ++slot) {
                if (slots[slot] >= 0) {
                    fds.push_back({slots[slot], POLLIN, 0});
                    roles.emplace_back(session->index, slot);
                }
            }
        }
        const auto untilAnnouncement =
            std::chrono::duration_cast<std::chrono::milliseconds>(nextAnnouncement - Clock::now());
        const int timeout =
            static_cast<int>(std::clamp<int64_t>(untilAnnouncement.count() + 1, 0, kMaxPollMs));
        if (::poll(fds.data(), fds.size(), timeout) <= 0) {
            continue;
        }
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            if (roles[i].second < 0) {
                uint64_t count = 0;
                [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &count, sizeof(count));
                continue;
            }
            Session& session = *m_sessions[roles[i].first];
            switch (roles[i].second) {
                case 0:
                    AcceptCommand(session);
                    break;
                case 1:
                    ReadCommands(session);
                    break;
                case 2:
                    AcceptData(session);
                    break;
                default:
                    DrainData(session);
                    break;
            }
        }
    }
}

namespace {

Fd AcceptOne(int listenFd) {
    return Fd(::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
}

}  // namespace

// A camera serves one host per connection: a new connection replaces the old one.
void SimCamera::AcceptCommand(Session& session) {
    Fd fd = AcceptOne(session.commandListen.Get());
    if (!fd.IsOpen()) {
        return;
    }
    const std::string peer = PeerAddress(fd.Get());
    CloseCommand(session);
    session.command = std::move(fd);
    session.commandUp = true;
    UpdateState([&](SimState& s) { s.announce.peerIp = peer; });
}

void SimCamera::AcceptData(Session& session) {
    Fd fd = AcceptOne(session.dataListen.Get());
    if (!fd.IsOpen()) {
        return;
    }
    CloseData(session);
    {
        std::lock_guard guard(session.dataLock);
        session.data = std::move(fd);
        session.dataUp = true;
    }
    m_streamer->Wake();
}

void SimCamera::ReadCommands(Session& session) {
    if (!session.command.IsOpen()) {
        return;  // closed earlier in this round
    }
    uint8_t chunk[kReadChunk];
    const ssize_t n = ::recv(session.command.Get(), chunk, sizeof(chunk), 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        CloseCommand(session);
        return;
    }
    if (n < 0) {
        return;
    }
    session.input.insert(session.input.end(), chunk, chunk + n);
    size_t used = 0;
    while (session.command.IsOpen()) {
        const ParsedRequest request =
            ParseRequest(session.input.data() + used, session.input.size() - used);
        if (request.kind == ParsedRequest::Kind::kNeedMore) {
            break;
        }
        if (request.kind == ParsedRequest::Kind::kLost) {
            // Without a frame boundary nothing after this can be trusted.
            ++m_malformed;
            QLOG("session %u: framing lost, connection closed\n", session.index);
            CloseCommand(session);
            return;
        }
        if (request.kind == ParsedRequest::Kind::kMalformed) {
            ++m_malformed;
        } else {
            HandleRequest(session, request.commandByte,
                          session.input.data() + used + request.payloadOffset,
                          request.payloadLength);
        }
        used += request.consumed;
    }
    if (session.command.IsOpen()) {
        session.input.erase(session.input.begin(), session.input.begin() + used);
    }
}

void SimCamera::HandleRequest(Session& session, uint8_t commandByte, const uint8_t* payload,
                              size_t length) {
    const uint8_t command = static_cast<uint8_t>(commandByte & ~kGetBit);
    // The plan is fixed before the request shows in the log, so a test that sees the
    // request logged knows which plan it met.
    FaultPlan fault;
    {
        std::lock_guard guard(m_faultLock);
        if (m_fault.mode != Misbehaviour::kNone &&
            (m_fault.command < 0 || m_fault.command == command)) {
            fault = m_fault;
        }
    }
    m_requests.Record(LoggedRequest{session.index, command, (commandByte & kGetBit) != 0,
                                    std::vector<uint8_t>(payload, payload + length)});
    if (fault.mode == Misbehaviour::kCloseConnection) {
        CloseCommand(session);
        CloseData(session);
        return;
    }
    CommandOutcome outcome;
    {
        std::lock_guard guard(m_stateLock);
        outcome =
            HandleCommand(m_state, session.index, session.pending, commandByte, payload, length);
    }
    m_streamer->Wake();  // a start, a stop or a setting the next frame shows
    if (outcome.reply) {
        const std::vector<uint8_t> reply =
            EncodeReply(commandByte, outcome.payload.data(), outcome.payload.size());
        bool sent = true;
        switch (fault.mode) {
            case Misbehaviour::kSilent:
                break;
            case Misbehaviour::kWrongEcho: {
                const std::vector<uint8_t> wrong =
                    EncodeReply(static_cast<uint8_t>(commandByte ^ 0x01), outcome.payload.data(),
                                outcome.payload.size());
                for (uint32_t i = 0; i < fault.wrongReplies && sent; ++i) {
                    sent = SendReply(session, wrong);
                }
                if (sent && fault.thenAnswer) {
                    sent = SendReply(session, reply);
                }
                break;
            }
            case Misbehaviour::kGarbage:
                sent = SendReply(session, fault.garbage.empty() ? DefaultGarbage() : fault.garbage);
                break;
            default:
                sent = SendReply(session, reply);
                break;
        }
        if (!sent) {
            CloseCommand(session);
        }
    }
    if (outcome.reboot) {
        UpdateState([](SimState& s) {
            for (SensorState& sensor : s.sensors) {
                sensor.streaming = false;
            }
        });
        for (auto& s : m_sessions) {
            CloseCommand(*s);
            CloseData(*s);
        }
    }
}

bool SimCamera::SendReply(Session& session, const std::vector<uint8_t>& bytes) {
    return session.command.IsOpen() &&
           SendAll(session.command.Get(), bytes.data(), bytes.size(), m_stopping, kSendLimit);
}

// Nothing is expected from the host on the data connection; reading only notices the
// host closing it. Only the worker changes the descriptor, so it reads it without the
// lock, which a long SendDataFrame may hold.
void SimCamera::DrainData(Session& session) {
    if (!session.data.IsOpen()) {
        return;
    }
    uint8_t chunk[kReadChunk];
    const ssize_t n = ::recv(session.data.Get(), chunk, sizeof(chunk), 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        CloseData(session);
    }
}

// The flags drop before the descriptors close, so a host that sees the close also sees
// the camera report it.
void SimCamera::CloseCommand(Session& session) {
    session.commandUp = false;
    session.command.Reset();
    session.input.clear();
    session.pending.Clear();
}

void SimCamera::CloseData(Session& session) {
    session.dataUp = false;
    if (session.data.IsOpen()) {
        // Makes a send in progress on another thread fail at once instead of holding the
        // lock until its time limit.
        ::shutdown(session.data.Get(), SHUT_RDWR);
    }
    std::lock_guard guard(session.dataLock);
    session.data.Reset();
    if (session.frameData != nullptr) {
        session.frameData = nullptr;
        session.frameCut = true;
    }
}

}  // namespace quorix::sim
