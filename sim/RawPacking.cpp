// The three pixel packings of the simulated camera.
#include "sim/RawPacking.h"

namespace quorix::sim {

size_t PackedBytes(PixelPacking packing, size_t pixels) {
    return packing == PixelPacking::kY16 ? 2 * pixels : pixels / 2 * 3;
}

void PackPixels(PixelPacking packing, const uint16_t* values, size_t pixels, uint8_t* out) {
    switch (packing) {
        case PixelPacking::kRaw12:
            for (size_t i = 0; i + 1 < pixels; i += 2, out += 3) {
                const unsigned p0 = values[i] & 0x0FFFu;
                const unsigned p1 = values[i + 1] & 0x0FFFu;
                out[0] = static_cast<uint8_t>(p0 >> 4);
                out[1] = static_cast<uint8_t>(p1 >> 4);
                out[2] = static_cast<uint8_t>((p0 & 0x0Fu) | (p1 & 0x0Fu) << 4);
            }
            break;
        case PixelPacking::kMsb12:
            for (size_t i = 0; i + 1 < pixels; i += 2, out += 3) {
                const unsigned p0 = values[i] & 0x0FFFu;
                const unsigned p1 = values[i + 1] & 0x0FFFu;
                out[0] = static_cast<uint8_t>(p0 >> 4);
                out[1] = static_cast<uint8_t>((p0 & 0x0Fu) << 4 | p1 >> 8);
                out[2] = static_cast<uint8_t>(p1 & 0xFFu);
            }
            break;
        case PixelPacking::kY16:
            for (size_t i = 0; i < pixels; ++i, out += 2) {
                const unsigned p = values[i] & 0x0FFFu;
                out[0] = static_cast<uint8_t>(p & 0xFFu);
                out[1] = static_cast<uint8_t>(p >> 8);
            }
            break;
    }
}

}  // namespace quorix::sim
