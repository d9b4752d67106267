// Table-loop unpacking of every packing, the combined-payload layouts built on
// UnpackPixels, and the QVGA hole fill and doubling.
#include "imaging/TofUnpack.h"

#include <cstdlib>
#include <initializer_list>

namespace quorix {
namespace {

struct TableMap {
    const uint16_t* table;
    uint16_t operator()(uint32_t raw) const { return table[raw]; }
};
struct RawMap {
    uint16_t operator()(uint32_t raw) const { return static_cast<uint16_t>(raw); }
};

template <class Map>
void Unpack(RawPacking packing, const uint8_t* s, const uint8_t* c, size_t pixels, Map map,
            uint16_t* dst) {
    switch (packing) {
        case RawPacking::kRaw12:
            for (size_t i = 0; i + 1 < pixels; i += 2, s += 3) {
                dst[i] = map((s[0] << 4) | (s[2] & 0x0F));
                dst[i + 1] = map((s[1] << 4) | (s[2] >> 4));
            }
            break;
        case RawPacking::kMsb12:
            for (size_t i = 0; i + 1 < pixels; i += 2, s += 3) {
                dst[i] = map((s[0] << 4) | (s[1] >> 4));
                dst[i + 1] = map(((s[1] & 0x0F) << 8) | s[2]);
            }
            break;
        case RawPacking::kIso12:
            for (size_t i = 0; i + 1 < pixels; i += 2, s += 3) {
                dst[i] = map((s[0] << 4) | (s[2] >> 4));
                dst[i + 1] = map((s[1] << 4) | (s[2] & 0x0F));
            }
            break;
        case RawPacking::kY16:
            for (size_t i = 0; i < pixels; ++i, s += 2) {
                dst[i] = map(ReadLe16(s) & 0x0FFF);
            }
            break;
        case RawPacking::kSplit:
            for (size_t i = 0; i + 3 < pixels; i += 4, s += 3, c += 3) {
                dst[i] = map((s[0] << 4) | (s[1] & 0x0F));
                dst[i + 1] = map((c[0] << 4) | (s[1] >> 4));
                dst[i + 2] = map((c[1] << 4) | (c[2] & 0x0F));
                dst[i + 3] = map((s[2] << 4) | (c[2] >> 4));
            }
            break;
    }
}

}  // namespace

size_t PackedBytes(RawPacking packing, size_t pixels) {
    return packing == RawPacking::kY16 ? pixels * 2 : pixels * 3 / 2;
}

void UnpackPixelsPortable(RawPacking packing, const uint8_t* src, const uint8_t* second,
                          size_t pixels, const DepthLut* lut, uint16_t* dst) {
    if (lut != nullptr) {
        Unpack(packing, src, second, pixels, TableMap{lut->table}, dst);
    } else {
        Unpack(packing, src, second, pixels, RawMap{}, dst);
    }
}

void DecodeRowSplit(const uint8_t* payload, RawPacking packing, uint32_t rows, uint32_t rowBytes,
                    const DepthLut& lut, uint16_t* depth, uint16_t* ir) {
    const uint32_t half = rowBytes / 2;
    for (uint32_t r = 0; r < rows; ++r) {
        const uint8_t* row = payload + size_t{r} * rowBytes;
        const size_t out = size_t{r} * kTofWidth;
        if (depth != nullptr) {
            UnpackPixels(packing, row, nullptr, kTofWidth, &lut, depth + out);
        }
        if (ir != nullptr) {
            UnpackPixels(packing, row + half, nullptr, kTofWidth, nullptr, ir + out);
        }
    }
}

void DecodeColumnSplit(const uint8_t* payload, size_t length, const DepthLut& lut, uint16_t* depth,
                       uint16_t* ir) {
    // Image A (and B) is split-packed: its first half is payload rows 0..rows/2-1, its
    // second half the rows after, so output row r reads payload rows r and rows/2 + r.
    constexpr size_t kRow = 960;
    constexpr size_t kPart = kRow / 2;
    const size_t outRows = length / kRow / 2;
    for (size_t r = 0; r < outRows; ++r) {
        const uint8_t* first = payload + r * kRow;
        const uint8_t* second = payload + (outRows + r) * kRow;
        if (depth != nullptr) {
            UnpackPixels(RawPacking::kSplit, first, second, kTofWidth, &lut, depth + r * kTofWidth);
        }
        if (ir != nullptr) {
            UnpackPixels(RawPacking::kSplit, first + kPart, second + kPart, kTofWidth, nullptr,
                         ir + r * kTofWidth);
        }
    }
}

void DecodePairInterleaved(const uint8_t* payload, size_t length, const DepthLut& lut,
                           uint16_t* depth, uint16_t* ir) {
    // Every 4 bytes A[2j], B[2j], A[2j+1], B[2j+1] are simply A and B zipped byte by byte,
    // so one 1920-byte row of the interleaved copy zips 960 bytes of A and of B.
    constexpr size_t kRow = 1920;
    constexpr size_t kHalfRow = kRow / 2;
    const size_t rows = length / kRow;
    const uint8_t* a = payload;
    const uint8_t* b = payload + length / 2;
    uint8_t row[kRow];
    for (size_t r = 0; r < rows; ++r) {
        const uint8_t* ar = a + r * kHalfRow;
        const uint8_t* br = b + r * kHalfRow;
        for (size_t m = 0; m < kHalfRow; ++m) {
            row[2 * m] = ar[m];
            row[2 * m + 1] = br[m];
        }
        if (depth != nullptr) {
            UnpackPixels(RawPacking::kRaw12, row, nullptr, kTofWidth, &lut, depth + r * kTofWidth);
        }
        if (ir != nullptr) {
            UnpackPixels(RawPacking::kRaw12, row + kHalfRow, nullptr, kTofWidth, nullptr,
                         ir + r * kTofWidth);
        }
    }
}

void FillHoles(uint16_t* image, uint32_t width, uint32_t height, uint8_t* mask, uint8_t* maskCopy) {
    const size_t count = size_t{width} * height;
    for (size_t i = 0; i < count; ++i) {
        mask[i] = image[i] != 0 ? 1 : 0;
    }
    if (width < 3 || height < 3) {
        return;
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < count; ++i) {
            maskCopy[i] = mask[i];
        }
        for (uint32_t y = 1; y + 1 < height; ++y) {
            for (uint32_t x = 1; x + 1 < width; ++x) {
                const size_t at = size_t{y} * width + x;
                if (image[at] != 0) {
                    continue;
                }
                const size_t up = at - width;
                const size_t down = at + width;
                int found = 0;
                uint16_t value = 0;
                auto look = [&](size_t n) {
                    if (maskCopy[n] != 0) {
                        ++found;
                        value = image[n];
                    }
                };
                look(up - 1);    // top-left
                look(up + 1);    // top-right
                look(down - 1);  // bottom-left
                look(down + 1);  // bottom-right
                for (size_t n : {up, at - 1, at + 1, down}) {
                    if (found >= 3) {
                        break;
                    }
                    look(n);
                }
                if (found >= 3) {
                    image[at] = value;
                    mask[at] = 1;
                }
            }
        }
    }
}

void DoubleImage(const uint16_t* src, uint32_t width, uint32_t height, uint16_t* dst) {
    const size_t outWidth = size_t{width} * 2;
    for (uint32_t y = 0; y < height; ++y) {
        const uint16_t* row = src + size_t{y} * width;
        uint16_t* top = dst + size_t{y} * 2 * outWidth;
        uint16_t* bottom = top + outWidth;
        for (uint32_t x = 0; x < width; ++x) {
            const int a = row[x];
            const int b = y + 1 < height ? row[x + width] : 0;
            const int c = x + 1 < width ? row[x + 1] : 0;
            const int limit = a >> 5;
            int right = a;
            int below = a;
            int diagonal = a;
            if (a != 0 && b != 0 && c != 0 && std::abs(a - b) < limit && std::abs(a - c) < limit) {
                below = (a + b) / 2;
                right = (a + c) / 2;
                diagonal = (below + right) / 2;
            }
            top[2 * x] = static_cast<uint16_t>(a);
            top[2 * x + 1] = static_cast<uint16_t>(right);
            bottom[2 * x] = static_cast<uint16_t>(below);
            bottom[2 * x + 1] = static_cast<uint16_t>(diagonal);
        }
    }
}

}  // namespace quorix
