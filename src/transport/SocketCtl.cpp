// The command and data connections of a network camera: connecting, request and reply
// framing, data framing.
#include "transport/SocketCtl.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/Status.h"
#include "log/Log.h"

namespace quorix {
namespace {

constexpr size_t kHeaderBytes = 8;
constexpr uint8_t kGetBit = 0x80;

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void WriteU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

}  // namespace

SocketCtl::SocketCtl(uint32_t address, uint16_t dataPort, uint16_t commandPort)
    : m_address(address),
      m_cameraAddress(platform::FormatIpv4(address)),
      m_dataPort(dataPort),
      m_commandPort(commandPort) {}

SocketCtl::~SocketCtl() {
    CloseDevice();
}

std::string SocketCtl::HostAddress() const {
    std::lock_guard guard(m_hostLock);
    return m_hostAddress;
}

int32_t SocketCtl::CreateSocket(platform::Socket& socket) {
    if (const int err = socket.Open(platform::Socket::Kind::Tcp); err != 0) {
        QLOG_ERROR("socket() error, errno[%d], info: %s\n", err, platform::ErrorText(err).c_str());
        return kStatusFailed;
    }
    // Option failures cost performance, not function: log and go on.
    if (const int err = socket.SetReuseAddress(true); err != 0) {
        QLOG_ERROR("setsockopt() error, errno[%d], info: %s\n", err,
                   platform::ErrorText(err).c_str());
    }
    if (const int err = socket.SetReceiveBufferSize(kReceiveBufferBytes); err != 0) {
        QLOG_ERROR("setsockopt() error, errno[%d], info: %s\n", err,
                   platform::ErrorText(err).c_str());
    }
    return 0;
}

int32_t SocketCtl::Connect(platform::Socket& socket, uint16_t port, const char* what) {
    // Both connections wait at most 5 s: a blocking connect to a camera that vanished
    // could hold the opener for minutes.
    const int err = socket.Connect(m_address, port, kConnectWaitMs);
    if (err != 0) {
        QLOG_ERROR("connect() error, errno[%d], info: %s\n", err, platform::ErrorText(err).c_str());
        QLOG("%s%s\n", what, m_cameraAddress.c_str());
        return kStatusFailed;
    }
    return 0;
}

int32_t SocketCtl::openDevice() {
    std::lock_guard open(m_openLock);
    if (IsConnected()) {
        return 0;
    }
    // Both sockets are local until everything worked, so a failure closes what it opened.
    platform::Socket data;
    platform::Socket command;
    if (CreateSocket(data) != 0 || CreateSocket(command) != 0) {
        return kStatusNotOpened;
    }
    if (const int err = command.SetKeepAlive(true); err != 0) {
        QLOG_ERROR("setsockopt failed: %d \n", err);
        QLOG_ERROR("setsockopt(SO_KEEPALIVE): %s\n", platform::ErrorText(err).c_str());
    }
    if (const int err = command.SetKeepAliveTiming(kKeepAliveSeconds, kKeepAliveSeconds);
        err != 0) {
        QLOG_ERROR("WSAIoctl failed: %d \n", err);
    }
    // A two-step get sends its fetch right behind a read request that the camera never
    // answers; with Nagle's algorithm on, the fetch would wait for the camera's delayed
    // acknowledgement (tens of milliseconds) on every such get.
    if (const int err = command.SetNoDelay(true); err != 0) {
        QLOG_ERROR("setsockopt() error, errno[%d], info: %s\n", err,
                   platform::ErrorText(err).c_str());
    }
    if (Connect(command, m_commandPort, "wait the Camera(cmd) connect  ") != 0) {
        return kStatusNotOpened;
    }
    QLOG("ok connect  %s\n", m_cameraAddress.c_str());
    if (Connect(data, m_dataPort, " wait the Camera(data) connect ") != 0) {
        return kStatusNotOpened;
    }

    std::string host;
    uint32_t local = 0;
    uint16_t localPort = 0;
    if (const int err = command.LocalAddress(local, localPort); err == 0) {
        host = platform::FormatIpv4(local);
        QLOG("client ddress = %s:%d\n", host.c_str(), localPort);
    } else {
        QLOG_ERROR("getsockname error: %s(errno: %d))\n", platform::ErrorText(err).c_str(), err);
    }

    {
        std::lock_guard guard(m_commandLock);
        m_commandSocket = std::move(command);
    }
    {
        std::lock_guard guard(m_dataLock);
        m_dataSocket = std::move(data);
        m_dataReconnect.store(false, std::memory_order_release);
        m_dataBroken.store(false, std::memory_order_release);
    }
    {
        std::lock_guard guard(m_hostLock);
        m_hostAddress = host;
    }
    m_connected.store(true, std::memory_order_release);
    return 0;
}

void SocketCtl::CloseDevice() {
    std::lock_guard open(m_openLock);
    m_connected.store(false, std::memory_order_release);
    // Wake a reader or an exchange blocked on either socket before taking their locks.
    // The descriptors change only under m_openLock, which this thread holds.
    m_dataSocket.Shutdown();
    m_commandSocket.Shutdown();
    {
        std::lock_guard guard(m_dataLock);
        m_dataSocket.Close();
    }
    SetDataTap({});  // a recorder's tap ends with the device it was given for
    {
        std::lock_guard guard(m_commandLock);
        m_commandSocket.Close();
    }
    std::lock_guard guard(m_hostLock);
    m_hostAddress.clear();
}

SocketCtl::Received SocketCtl::RecvData(const platform::Socket& socket, uint8_t* data, size_t size,
                                        bool longWait) {
    Received r{static_cast<long>(size), 0, false};
    while (r.got < size) {
        const int ready = socket.WaitReadable(longWait ? kReplyWaitMs : kDataWaitMs);
        if (ready == 0) {
            QLOG("time is over\n");
            r.result = 0;
            r.timedOut = true;
            return r;
        }
        const long n = ready < 0 ? ready : socket.Receive(data + r.got, size - r.got);
        if (n <= 0) {
            r.result = n;
            return r;
        }
        r.got += static_cast<size_t>(n);
    }
    return r;
}

bool SocketCtl::DrainStale(uint8_t commandByte) {
    size_t dropped = 0;
    bool closed = false;
    for (;;) {
        const long n = m_commandSocket.Receive(m_reply.data(), m_reply.size(), true);
        if (n > 0) {
            dropped += static_cast<size_t>(n);
            continue;
        }
        closed = n == 0;
        break;
    }
    if (dropped > 0) {
        QLOG_WARN("dropped %zu stale bytes before cmdid 0x%x\n", dropped, commandByte);
    }
    return !closed;
}

bool SocketCtl::ReceiveChecked(uint8_t* data, size_t size, uint8_t commandByte) {
    const Received r = RecvData(m_commandSocket, data, size, true);
    if (r.result < 0) {
        const int err = static_cast<int>(-r.result);
        QLOG("RecvData err: %d, %s cmdid %d\n", err, platform::ErrorText(err).c_str(), commandByte);
        return false;
    }
    if (r.result == 0) {
        QLOG("the server connection has been gracefully closed cmdid %d\n", commandByte);
        return false;
    }
    return true;
}

int32_t SocketCtl::SetCmd(uint32_t cmd, uint8_t* buffer, int32_t replyCapacity,
                          int32_t requestLength, int32_t mode, uint32_t& received) {
    received = 0;
    std::lock_guard guard(m_commandLock);
    if (buffer == nullptr) {
        requestLength = 0;
        replyCapacity = 0;
    }
    const int32_t length = std::clamp(requestLength, 0, kMaxRequestPayload);
    uint8_t commandByte = static_cast<uint8_t>(cmd & 0xFF);
    if (mode != kSet) {
        commandByte |= kGetBit;
    }
    if (!m_commandSocket.IsOpen()) {
        QLOG("SendData err: %d, %s\n", ENOTCONN, platform::ErrorText(ENOTCONN).c_str());
        return kStatusTransferError;
    }
    // Bytes left over from an exchange that timed out would be taken for this reply.
    if (!DrainStale(commandByte)) {
        QLOG("the server connection has been gracefully closed cmdid %d\n", commandByte);
        return kStatusTransferError;
    }

    uint8_t frame[11 + kMaxRequestPayload] = {};
    WriteU32(frame, kCommandFrameType);
    WriteU32(frame + 4, static_cast<uint32_t>(length) + 3);
    frame[8] = kBodyMarker;
    frame[9] = commandByte;
    frame[10] = static_cast<uint8_t>(length);
    if (length > 0) {
        memcpy(frame + 11, buffer, static_cast<size_t>(length));
    }
    if (const int err = m_commandSocket.SendAll(frame, 11 + static_cast<size_t>(length));
        err != 0) {
        QLOG("SendData err: %d, %s\n", err, platform::ErrorText(err).c_str());
        return kStatusTransferError;
    }
    if ((commandByte & kGetBit) == 0) {
        return 0;  // sets are not acknowledged
    }

    for (int attempt = 0; attempt < kMaxReplies; ++attempt) {
        uint8_t header[kHeaderBytes];
        if (!ReceiveChecked(header, sizeof header, commandByte)) {
            return kStatusTransferError;
        }
        const uint32_t type = ReadU32(header);
        const uint32_t bodyLength = ReadU32(header + 4);
        if (bodyLength < kMinReplyBody || bodyLength > kMaxReplyBody) {
            QLOG("reply body length %u out of range, cmdid 0x%x\n", bodyLength, commandByte);
            return kStatusTransferError;
        }
        // Every reply is read whole, so the next one starts at its own header.
        if (!ReceiveChecked(m_reply.data(), bodyLength, commandByte)) {
            return kStatusTransferError;
        }
        if (type != kCommandFrameType) {
            QLOG("reply frame type 0x%x is not a command reply, cmdid 0x%x\n", type, commandByte);
            return kStatusTransferError;
        }
        if (m_reply[1] == commandByte) {
            const size_t copy = std::min({static_cast<size_t>(m_reply[2]),
                                          static_cast<size_t>(bodyLength - kMinReplyBody),
                                          static_cast<size_t>(std::max(replyCapacity, 0))});
            if (copy > 0) {
                memcpy(buffer, m_reply.data() + kMinReplyBody, copy);
            }
            received = static_cast<uint32_t>(copy);
            return 0;
        }
        QLOG("outIndex:%d cmdid 0x%x: 0x%x 0x%x\n", kMaxReplies - 1 - attempt, commandByte,
             m_reply[0], m_reply[1]);
    }
    QLOG("no reply to cmdid 0x%x among %d replies\n", commandByte, kMaxReplies);
    return kStatusTransferError;
}

void SocketCtl::BreakDataStream(const char* why, bool reconnect) {
    QLOG("%s: data connection to %s shut down\n", why, m_cameraAddress.c_str());
    if (reconnect) {
        m_framingLosses.fetch_add(1);
        m_nextReconnect = std::chrono::steady_clock::now();  // at the next read
        m_reconnectFailureLogged = false;
    }
    m_dataReconnect.store(reconnect, std::memory_order_release);
    m_dataBroken.store(true, std::memory_order_release);
    m_dataSocket.Shutdown();
}

bool SocketCtl::ReconnectData() {
    // Connected outside the locks: a close never waits for a connect.
    platform::Socket fresh;
    if (CreateSocket(fresh) != 0) {
        return false;
    }
    if (const int err = fresh.Connect(m_address, m_dataPort, kReconnectWaitMs); err != 0) {
        std::lock_guard guard(m_dataLock);
        if (!m_reconnectFailureLogged) {
            m_reconnectFailureLogged = true;
            QLOG_ERROR("data connection to %s:%u not reconnected: %s; trying every %d ms\n",
                       m_cameraAddress.c_str(), static_cast<unsigned>(m_dataPort),
                       platform::ErrorText(err).c_str(), kReconnectIntervalMs);
        }
        return false;
    }
    // Descriptors change under the open lock (see CloseDevice), then the data lock.
    std::lock_guard open(m_openLock);
    if (!IsConnected() || !m_dataBroken.load(std::memory_order_acquire)) {
        return false;  // closed or opened anew meanwhile; `fresh` goes
    }
    std::lock_guard guard(m_dataLock);
    m_dataSocket = std::move(fresh);
    m_dataReconnect.store(false, std::memory_order_release);
    m_dataBroken.store(false, std::memory_order_release);
    const uint32_t count = m_reconnections.fetch_add(1) + 1;
    QLOG_WARN("data connection to %s reconnected after a framing loss (%u so far)\n",
              m_cameraAddress.c_str(), count);
    return true;
}

int32_t SocketCtl::ReadData(uint8_t* buffer, uint32_t& length) {
    const uint32_t capacity = length;
    length = 0;
    std::unique_lock guard(m_dataLock);
    if (!IsConnected() || !m_dataSocket.IsOpen() || m_dataBroken.load(std::memory_order_acquire)) {
        const bool broken = m_dataBroken.load(std::memory_order_acquire) && IsConnected();
        const auto now = std::chrono::steady_clock::now();
        const bool reconnect =
            broken && m_dataReconnect.load(std::memory_order_acquire) && now >= m_nextReconnect;
        if (reconnect) {
            m_nextReconnect = now + std::chrono::milliseconds(kReconnectIntervalMs);
        }
        guard.unlock();
        if (reconnect && ReconnectData()) {
            return 0;  // frames come with the next read
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kNotConnectedSleepMs));
        return broken ? -1 : 0;
    }

    uint8_t header[kHeaderBytes];
    Received r = RecvData(m_dataSocket, header, sizeof header, false);
    if (r.result < 0) {
        BreakDataStream("receive error", false);
        return kStatusFailed;
    }
    if (r.result == 0) {
        if (!r.timedOut) {
            BreakDataStream("peer closed", false);
        } else if (r.got > 0) {
            BreakDataStream("header cut", true);
        }
        return 0;
    }
    const uint32_t type = ReadU32(header);
    const uint32_t payload = ReadU32(header + 4);
    if (type != kDataFrameType) {
        QLOG("unknow type, type[%d], len[%d]\n", static_cast<int>(type), static_cast<int>(payload));
        BreakDataStream("framing lost", true);
        return kStatusFailed;
    }
    if (payload > capacity) {
        QLOG("frame of %u bytes exceeds the buffer's %u\n", payload, capacity);
        BreakDataStream("framing lost", true);
        return kStatusFailed;
    }
    r = payload == 0 ? Received{1, 0, false} : RecvData(m_dataSocket, buffer, payload, false);
    if (r.result < 0) {
        BreakDataStream("receive error", false);
        return kStatusFailed;
    }
    if (r.result == 0) {
        BreakDataStream(r.timedOut ? "frame cut" : "peer closed", r.timedOut);
        return 0;
    }
    length = payload;
    std::lock_guard tapGuard(m_tapLock);
    if (m_tap.callback != nullptr) {
        m_tap.callback(m_tap.context, header, sizeof header, buffer, payload);
    }
    return 1;
}

void SocketCtl::SetDataTap(const DataTap& tap) {
    std::lock_guard guard(m_tapLock);
    m_tap = tap;
}

}  // namespace quorix
