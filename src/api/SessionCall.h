// The frame of every handle-taking export: the exception firewall, the handle check and
// one operation on the session it finds, with the device held for the whole call.
#pragma once

#include <cstdint>

#include "api/Handles.h"
#include "api/Status.h"
#include "quorix/quorix_api.h"

namespace quorix {

// Finds the session of (handle, index) and runs `op` on it; the handle check's status
// otherwise.
template <typename Op>
NsReturnStatus WithSession(const char* name, NsDeviceHandle h, uint32_t s, Op&& op) {
    return Firewall(name, [&]() -> NsReturnStatus {
        DeviceCall call;
        if (const int32_t ret = FindSession(h, s, &call); ret != 0) {
            return ret;
        }
        return op(*call.session);
    });
}

}  // namespace quorix
