// Device records: the record the manager keeps for every camera it has seen (DeviceInfo)
// and the identity part of it that an opened device keeps (DeviceIdentity).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "model/ModelTraits.h"
#include "model/SessionInfo.h"
#include "quorix/quorix_api.h"

namespace quorix {

class BaseDevice;

// The identity part of a device record: the public NsDeviceInfo fields and the sessions.
// BaseDevice keeps a copy of it.
struct DeviceIdentity {
    std::vector<SessionInfo> sessions;
    int32_t sessionCount = 0;
    uint32_t deviceType = 0;
    char uri[256] = {};
    uint8_t reserved[50] = {};
    char alias[64] = {};
    uint32_t status = ConnectUNKNOWN;

    // The 382-byte public record, fields copied as they stand.
    NsDeviceInfo Snapshot() const;
};

// A hot-plug event of a record: the one waiting to be reported, or the last one reported.
// The values are the public event codes.
enum class HotPlugEvent : int32_t { kNone = -1, kAdded = 0, kRemoved = 1 };

// A device record of the manager's list: identity plus the manager's state of the camera.
struct DeviceInfo : DeviceIdentity {
    // Fills the record from the model table's row of `deviceType`.
    explicit DeviceInfo(uint32_t deviceType);
    virtual ~DeviceInfo();

    DeviceInfo(const DeviceInfo&) = delete;
    DeviceInfo& operator=(const DeviceInfo&) = delete;

    // While opened (network records keep it between opens); shared with the handle and
    // with every call in flight on it.
    std::shared_ptr<BaseDevice> device;
    int32_t missCount = 0;                        // failed keep-alive polls, at most 3
    HotPlugEvent pending = HotPlugEvent::kNone;   // the event waiting to be reported
    HotPlugEvent notified = HotPlugEvent::kNone;  // the last event reported

    // Counted and listed exactly when not Unconnected and no event waits.
    bool IsReported() const { return status != Unconnected && pending == HotPlugEvent::kNone; }
};

// Copies a C string into a fixed field, always NUL-terminated, the rest zeroed.
template <size_t N>
void CopyText(char (&field)[N], const char* text);

}  // namespace quorix

#include <cstring>

template <size_t N>
void quorix::CopyText(char (&field)[N], const char* text) {
    memset(field, 0, N);
    if (text != nullptr) {
        memcpy(field, text, strnlen(text, N - 1));
    }
}
