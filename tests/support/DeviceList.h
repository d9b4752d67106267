// The device list as the C interface reports it, for tests waiting on discovery.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quorix/quorix_api.h"

namespace quorix::test {

// The records Ns2_GetDeviceListInfo reports now; empty when it reports none.
inline std::vector<NsDeviceInfo> Listed() {
    uint32_t count = 0;
    if (Ns2_GetDeviceCount(&count) != NsStatusOk || count == 0) {
        return {};
    }
    std::vector<NsDeviceInfo> list(count);
    if (Ns2_GetDeviceListInfo(list.data(), count) != NsStatusOk) {
        return {};
    }
    return list;
}

// The list index of `uri` (what NsOpenDevice takes), or -1 while it is not listed.
inline int ListIndexOf(const std::string& uri) {
    uint32_t count = 0;
    if (Ns2_GetDeviceCount(&count) != NsStatusOk) {
        return -1;
    }
    for (uint32_t i = 0; i < count; ++i) {
        NsDeviceInfo d{};
        if (Ns2_GetDeviceInfo(&d, i) == NsStatusOk && uri == d.uri) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

inline bool IsListed(const std::string& uri) {
    return ListIndexOf(uri) >= 0;
}

}  // namespace quorix::test
