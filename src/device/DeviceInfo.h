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

// A device record of the manager's list: identity plus the manager's state of the camera.
struct DeviceInfo : DeviceIdentity {
    // Fills the record from the model table's row of `deviceType`.
    explicit DeviceInfo(uint32_t deviceType);
    virtual ~DeviceInfo();

    DeviceInfo(const DeviceInfo&) = delete;
    DeviceInfo& operator=(const DeviceInfo&) = delete;

    std::unique_ptr<BaseDevice> device;  // while opened (network records keep it between opens)
    int32_t missCount = 0;               // failed keep-alive polls, at most 3
    int32_t pending = -1;                // event waiting: -1 none, 0 add, 1 remove
    int32_t notified = -1;               // last event reported: -1 none, 0 added, 1 removed

    // Counted and listed exactly when not Unconnected and no event waits.
    bool IsReported() const { return status != Unconnected && pending == -1; }
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
