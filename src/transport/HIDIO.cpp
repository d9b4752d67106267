// The HID command channel.
#include "transport/HIDIO.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/Status.h"
#include "log/Log.h"
#include "platform/UsbPlatform.h"
#include "transport/TransportLog.h"

namespace quorix {
HIDIO::~HIDIO() {
    CloseDevice();
}

int32_t HIDIO::OpenDevice(const char* path) {
    if (path == nullptr) {
        return kStatusNotOpened;
    }
    const std::string node = platform::UsbDeviceNode(path);
    int error = 0;
    std::unique_ptr<platform::HidDevice> device = platform::Hid().Open(node, error);
    if (!device) {
        if (OpenFailureIsNew(node, error)) {
            QLOG_ERROR("open imu error:%d %s\n", error,
                       platform::NodeAccessProblem(node, error).c_str());
        }
        return kStatusNotOpened;
    }
    OpenFailureIsNew(node, 0);
    QLOG("open imu ok:%d\n", 0);
    std::lock_guard guard(m_lock);
    m_device = std::move(device);
    return 0;
}

int32_t HIDIO::CloseDevice() {
    std::lock_guard guard(m_lock);
    m_device.reset();
    return 0;
}

bool HIDIO::IsOpen() {
    std::lock_guard guard(m_lock);
    return m_device != nullptr;
}

int32_t HIDIO::StartStream() {
    QLOG("Not Support.\n");
    return kStatusFailed;
}

int32_t HIDIO::StopStream() {
    QLOG("Not Support.\n");
    return kStatusFailed;
}

int32_t HIDIO::ReadData(uint8_t*, uint32_t& length) {
    QLOG("Not Support.\n");
    length = 0;
    return kStatusFailed;
}

int32_t HIDIO::SetConnectStatus(bool) {
    return 0;
}

int32_t HIDIO::SetCmd(uint32_t cmd, uint8_t* data, int32_t replyLength, int32_t requestLength,
                      int32_t mode, uint32_t& received) {
    received = 0;
    const bool get = mode == kGet;
    const auto command = static_cast<uint8_t>((cmd & 0xFF) | (get ? 0x80 : 0));
    requestLength = std::clamp<int32_t>(requestLength, 0, static_cast<int32_t>(kReportBytes));
    replyLength = data == nullptr ? 0 : std::max<int32_t>(replyLength, 0);
    int32_t result = 0;
    if (data == nullptr && requestLength > 0) {
        result = kStatusNullPointer;
    } else {
        std::lock_guard guard(m_lock);
        result = Exchange(command, data, replyLength, requestLength, get, received);
    }
    // Two sets that fail as a matter of course on some firmware are not logged.
    const bool quiet =
        !get && data != nullptr &&
        (((cmd & 0xFF) == 0x05 && requestLength > 0 && data[0] == 1) ||
         ((cmd & 0xFF) == 0x15 && requestLength > 1 && data[0] == 0x03 && data[1] == 0x01));
    if (result < 0 && !quiet) {
        const size_t shown = data == nullptr ? 0 : std::min<size_t>(requestLength, 85);
        QLOG_ERROR("ret:%d cmdid:0x%0x %s length:%d actual_length:%d buf:%s\n", result, command,
                   get ? "GET" : "SET", requestLength, requestLength, HexDump(data, shown).c_str());
    }
    return result;
}

int32_t HIDIO::Exchange(uint8_t command, uint8_t* data, int32_t replyLength, int32_t requestLength,
                        bool get, uint32_t& received) {
    if (!m_device) {
        return kStatusTransferError;
    }
    uint8_t request[kReportBytes] = {kReportId, command, static_cast<uint8_t>(requestLength)};
    const int32_t payload = requestLength < kLongRequest ? requestLength : requestLength - 3;
    if (payload > 0) {
        memcpy(request + 3, data, static_cast<size_t>(payload));
    }
    auto write = [&] {
        const int32_t written = m_device->Write(request, kReportBytes, kWriteWait);
        if (written < 0) {
            QLOG_ERROR("write of cmdid 0x%0x failed: %s\n", command, std::strerror(-written));
            return kStatusTransferError;
        }
        return 0;
    };
    if (const int32_t result = write(); result != 0 || !get) {
        return result;
    }
    uint8_t reply[kReportBytes];
    for (int pass = 1; pass <= kPasses; ++pass) {
        for (int read = 0; read < kReadsPerPass; ++read) {
            memset(reply, 0, sizeof reply);
            const int32_t count = m_device->Read(reply, sizeof reply, kReadWait);
            if (count < 0) {
                // The device is gone or broken: waiting out every pass would only stall the
                // caller and every command queued behind it.
                QLOG_ERROR("ReadFile NG errorNo:%d\n", -count);
                return kStatusTransferError;
            }
            if (count >= 3 && reply[1] == command && reply[2] < kLongRequest) {
                // Never more than the caller asked for, nor more than the report carried.
                const int32_t n = std::min<int32_t>({reply[2], replyLength, count - 3});
                if (n > 0) {
                    memcpy(data, reply + 3, static_cast<size_t>(n));
                    received = static_cast<uint32_t>(n);
                }
                return 0;
            }
        }
        QLOG("cmdid 0x%0x outIndex:%d  data[0~4]:0x%0x 0x%0x 0x%0x 0x%0x 0x%0x\n", command, pass,
             reply[0], reply[1], reply[2], reply[3], reply[4]);
        if (pass < kPasses) {
            if (const int32_t result = write(); result != 0) {
                return result;
            }
        }
    }
    return kStatusTransferError;  // the camera never answered
}

}  // namespace quorix
