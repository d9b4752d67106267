// IO: the byte channel beneath a USB camera's command protocol (the HID reports and the
// UVC capture with its extension unit implement it). The network transport, SocketCtl,
// has a framing and argument order of its own and does not derive from it.
#pragma once

#include <cstdint>

namespace quorix {

class IO {
public:
    virtual ~IO() = default;

    // Opens the channel named by a device path; 0 or a negative status.
    virtual int32_t OpenDevice(const char* path) = 0;
    // Releases every handle; 0.
    virtual int32_t CloseDevice() = 0;
    virtual int32_t StartStream() = 0;
    virtual int32_t StopStream() = 0;
    // One command exchange. Only the low byte of `cmd` goes on the wire; `data` carries the
    // request in and, for a get, the reply out (never more than `replyLength` bytes);
    // `mode` says get or set in the transport's own coding. `received` is set to the count
    // of reply bytes written over `data` (0 for a set and on failure): bytes beyond it are
    // still the request's, and a reader that needs more must refuse the reply. 0 or a
    // failure code.
    virtual int32_t SetCmd(uint32_t cmd, uint8_t* data, int32_t replyLength, int32_t requestLength,
                           int32_t mode, uint32_t& received) = 0;
    // Reads one frame: `length` holds the buffer's capacity in and the frame's length out
    // (0 when nothing arrived). 0 or a negative status.
    virtual int32_t ReadData(uint8_t* buffer, uint32_t& length) = 0;
    // Tells the channel whether its device is still present; 0.
    virtual int32_t SetConnectStatus(bool connected) = 0;
};

}  // namespace quorix
