// A frame record over a test's own pixels, filled as the library fills one.
#pragma once

#include <quorix/quorix_api.h>

namespace quorix::test {

inline NsFrame MakeFrame(uint32_t type, uint32_t format, uint16_t w, uint16_t h, void* data,
                         uint32_t length) {
    NsFrame f{};
    f.frameType = type;
    f.pixelFormat = format;
    f.width = w;
    f.height = h;
    f.pFrameData = data;
    f.dataLen = length;
    return f;
}

}  // namespace quorix::test
