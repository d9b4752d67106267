// SocketCtl: the two TCP connections of one network camera sensor. The command connection
// carries request and reply frames, one exchange at a time; the data connection carries a
// one-way stream of data frames that the session's reader pulls with ReadData.
//
// Threads: SetCmd may be called from any thread (the command lock serialises exchanges);
// ReadData from one reader thread only; openDevice and CloseDevice from the control path.
// CloseDevice shuts both sockets down first, so a blocked SetCmd or ReadData returns at
// once instead of waiting out its time-out.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/Socket.h"
#include "transport/DataTap.h"

namespace quorix {

class SocketCtl {
public:
    static constexpr uint32_t kCommandFrameType = 0xAA;
    static constexpr uint8_t kBodyMarker = 0xAA;
    static constexpr uint32_t kDataFrameType = 1;
    static constexpr int32_t kMaxRequestPayload = 64;
    // A reply body holds the marker, the command byte and the length byte at least, and
    // never more than this; anything else means the framing is lost.
    static constexpr uint32_t kMinReplyBody = 3;
    static constexpr uint32_t kMaxReplyBody = 4096;
    static constexpr int kReceiveBufferBytes = 819200;
    static constexpr int kKeepAliveSeconds = 1;
    static constexpr int kConnectWaitMs = 5000;
    static constexpr int kReplyWaitMs = 2005;
    static constexpr int kDataWaitMs = 1005;
    static constexpr int kNotConnectedSleepMs = 30;
    static constexpr int kReconnectWaitMs = 500;
    static constexpr int kReconnectIntervalMs = 250;
    static constexpr int kMaxReplies = 5;
    // SetCmd modes.
    static constexpr int32_t kGet = 1;
    static constexpr int32_t kSet = 2;

    // `address` has the first octet in its lowest byte. Nothing is connected yet.
    SocketCtl(uint32_t address, uint16_t dataPort, uint16_t commandPort);
    ~SocketCtl();
    SocketCtl(const SocketCtl&) = delete;
    SocketCtl& operator=(const SocketCtl&) = delete;

    // Connects the command connection, then the data connection. 0 (also when already
    // connected) or -13; a failed open closes whatever it had opened.
    int32_t openDevice();
    // Shuts down and closes both connections; the transport may be opened again.
    void CloseDevice();

    // Sends `requestLength` bytes (at most 64) of `buffer` as command `cmd`; for a get
    // (`mode` not kSet) waits for the reply and copies min(m, L - 3, `replyCapacity`)
    // payload bytes over `buffer`, which must hold the larger of the two lengths.
    // `received` is that count (0 for a set and on failure). 0 or -104.
    int32_t SetCmd(uint32_t cmd, uint8_t* buffer, int32_t replyCapacity, int32_t requestLength,
                   int32_t mode, uint32_t& received);

    // Receives one data frame. `length` is the buffer's capacity on entry and the payload
    // length on return (0 whenever no whole frame arrived). 1 with a frame; 0 when nothing
    // arrived (not connected, time-out, peer closed); -1 on a receive error, an unknown
    // frame type or a frame larger than the buffer. Once the framing is lost (an unknown
    // frame type, a length beyond the buffer, a header or frame cut by a time-out) the
    // data connection is shut down and connected again (every 250 ms until it is): the
    // camera starts the new connection at a frame boundary, so frames flow again at once.
    // A camera that closed the data connection itself, or a receive error, is not
    // reconnected: every call sleeps 30 ms and returns -1 until the transport is opened
    // again (the camera may serve another host now).
    int32_t ReadData(uint8_t* buffer, uint32_t& length);

    // Framing losses of the data stream and the reconnections that mended them, since the
    // transport was made.
    struct DataStreamHealth {
        uint32_t framingLosses = 0;
        uint32_t reconnections = 0;
    };
    DataStreamHealth Health() const { return {m_framingLosses.load(), m_reconnections.load()}; }

    // Installs (or, with a null callback, removes) the tap that sees every whole data frame
    // ReadData receives. When it returns, a tap it replaced is no longer being called.
    void SetDataTap(const DataTap& tap);

    bool IsConnected() const { return m_connected.load(std::memory_order_acquire); }
    const std::string& CameraAddress() const { return m_cameraAddress; }
    // The host's own address on the command connection; empty before a successful open.
    std::string HostAddress() const;

private:
    struct Received {
        long result;    // the requested count, 0 (time-out or peer closed) or -errno
        size_t got;     // bytes that arrived before that
        bool timedOut;  // the 0 came from the wait, not from the peer
    };

    static int32_t CreateSocket(platform::Socket& socket);
    int32_t Connect(platform::Socket& socket, uint16_t port, const char* failureText);
    // Receives exactly `size` bytes; each piece waits at most 2.005 s (`longWait`, command
    // replies) or 1.005 s (data frames).
    static Received RecvData(const platform::Socket& socket, uint8_t* data, size_t size,
                             bool longWait);
    // Reads away what is queued on the command connection; false when the peer closed it.
    bool DrainStale(uint8_t commandByte);
    // RecvData on the command connection with its failure logs; false on any failure.
    bool ReceiveChecked(uint8_t* data, size_t size, uint8_t commandByte);
    // The data stream cannot be read on: no later read may trust a header again. A lost
    // framing (`reconnect`) is mended by a new data connection; a closed or failed one is
    // left to the device's owner.
    void BreakDataStream(const char* why, bool reconnect);
    // Connects the data connection again after a framing loss; true when it is up.
    bool ReconnectData();

    const uint32_t m_address;
    const std::string m_cameraAddress;
    const uint16_t m_dataPort;
    const uint16_t m_commandPort;

    platform::Socket m_dataSocket;     // guarded by m_dataLock
    platform::Socket m_commandSocket;  // guarded by m_commandLock
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_dataBroken{false};
    std::atomic<bool> m_dataReconnect{false};                 // the break is a framing loss
    std::chrono::steady_clock::time_point m_nextReconnect{};  // guarded by m_dataLock
    bool m_reconnectFailureLogged = false;                    // guarded by m_dataLock
    std::atomic<uint32_t> m_framingLosses{0};
    std::atomic<uint32_t> m_reconnections{0};

    std::mutex m_openLock;     // open and close
    std::mutex m_commandLock;  // one command exchange
    std::mutex m_dataLock;     // one frame read
    std::mutex m_tapLock;      // the tap, and a call of it
    DataTap m_tap;             // guarded by m_tapLock
    mutable std::mutex m_hostLock;
    std::string m_hostAddress;
    std::array<uint8_t, kMaxReplyBody> m_reply{};
};

}  // namespace quorix
