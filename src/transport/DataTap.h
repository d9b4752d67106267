// DataTap: a recorder's view of a data connection. The reader thread hands it every data
// frame as it arrived, before anything decodes it.
#pragma once

#include <cstdint>

namespace quorix {

struct DataTap {
    void (*callback)(void* context, const uint8_t* header, uint32_t headerLength,
                     const uint8_t* payload, uint32_t payloadLength) = nullptr;
    void* context = nullptr;
};

}  // namespace quorix
