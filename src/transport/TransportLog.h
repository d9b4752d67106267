// Helpers of the USB transports' log lines: bytes as hexadecimal text, and whether an
// open failure is new (discovery opens unopened cameras on every pass to read their
// aliases: a node that keeps failing the same way is logged once, not twice a second).
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

namespace quorix {

inline std::string HexDump(const uint8_t* data, size_t count) {
    std::string text;
    char byte[4];
    for (size_t i = 0; data != nullptr && i < count; ++i) {
        std::snprintf(byte, sizeof byte, "%02x ", data[i]);
        text += byte;
    }
    return text;
}

// True when opening `node` failed with `error` (an errno) and the last open of it did not
// fail the same way; an `error` of 0 (success) forgets the node's failure.
inline bool OpenFailureIsNew(const std::string& node, int error) {
    static std::mutex lock;
    static std::map<std::string, int> last;
    std::lock_guard guard(lock);
    if (error == 0) {
        last.erase(node);
        return false;
    }
    const auto [it, added] = last.emplace(node, error);
    if (!added && it->second == error) {
        return false;
    }
    it->second = error;
    return true;
}

}  // namespace quorix
