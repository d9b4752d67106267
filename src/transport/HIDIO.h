// HIDIO: the command channel of a USB camera over its HID interface. Every exchange is one
// 64-byte report out (report id 0xAA, command byte, length, payload) and, for a get, the
// camera's report back with the same command byte. It carries no stream.
//
// Threads: SetCmd from any thread (the command lock serialises exchanges and keeps a reply
// for the caller that asked); OpenDevice and CloseDevice from the control path.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/HidDevice.h"
#include "transport/IO.h"

namespace quorix {

class HIDIO final : public IO {
public:
    static constexpr size_t kReportBytes = 64;
    static constexpr uint8_t kReportId = 0xAA;
    // A report's payload room, and the lengths from which a request's payload is cut short.
    static constexpr int32_t kPayloadRoom = 61;
    static constexpr int32_t kLongRequest = 62;
    static constexpr std::chrono::milliseconds kWriteWait{200};
    static constexpr std::chrono::milliseconds kReadWait{10};
    static constexpr int kPasses = 6;
    static constexpr int kReadsPerPass = 10;
    // SetCmd modes.
    static constexpr int32_t kSet = 0;
    static constexpr int32_t kGet = 1;

    HIDIO() = default;
    ~HIDIO() override;
    HIDIO(const HIDIO&) = delete;
    HIDIO& operator=(const HIDIO&) = delete;

    // Opens the HID node of `path` (an interface path or a bare node); 0, or -13 after a
    // log line that names the node (and the udev rule when permission was lacking).
    int32_t OpenDevice(const char* path) override;
    int32_t CloseDevice() override;
    int32_t StartStream() override;
    int32_t StopStream() override;
    // A set returns once the report is written (sets are not acknowledged). A get waits for
    // the reply through six passes of ten reads, writing the request again after each
    // pass; no reply is -104. At most min(reply length, `replyLength`) bytes are copied.
    int32_t SetCmd(uint32_t cmd, uint8_t* data, int32_t replyLength, int32_t requestLength,
                   int32_t mode, uint32_t& received) override;
    int32_t ReadData(uint8_t* buffer, uint32_t& length) override;
    int32_t SetConnectStatus(bool connected) override;

    bool IsOpen();

private:
    int32_t Exchange(uint8_t command, uint8_t* data, int32_t replyLength, int32_t requestLength,
                     bool get, uint32_t& received);

    std::mutex m_lock;  // the command lock; also guards m_device
    std::unique_ptr<platform::HidDevice> m_device;
};

}  // namespace quorix
