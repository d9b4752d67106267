// Bytes as hexadecimal text for the transports' failure lines.
#pragma once

#include <cstdint>
#include <cstdio>
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

}  // namespace quorix
