// Resizing, turning, mirroring and cropping of packed images. Pixel sizes are template
// parameters so that each pixel moves as one fixed-size copy.
#include "imgproc/ImageGeometry.h"

#include <algorithm>
#include <cstring>

namespace quorix::geometry {
namespace {

// Square tiles keep both the rows read and the rows written of a quarter turn in cache.
constexpr uint32_t kTile = 32;

template <uint32_t B>
inline void CopyPixel(uint8_t* dst, const uint8_t* src) {
    std::memcpy(dst, src, B);
}

template <uint32_t B>
inline void SwapPixels(uint8_t* a, uint8_t* b) {
    uint8_t held[B];
    std::memcpy(held, a, B);
    std::memcpy(a, b, B);
    std::memcpy(b, held, B);
}

template <uint32_t B>
void NearestRows(const uint8_t* src, uint32_t srcWidth, uint32_t srcHeight, uint8_t* dst,
                 uint32_t dstWidth, uint32_t dstHeight, const uint32_t* sourceColumn) {
    const size_t rowBytes = static_cast<size_t>(dstWidth) * B;
    for (uint32_t y = 0; y < dstHeight; ++y) {
        const uint64_t sy = static_cast<uint64_t>(y) * srcHeight / dstHeight;
        const uint8_t* srcRow = src + sy * srcWidth * B;
        uint8_t* dstRow = dst + static_cast<size_t>(y) * rowBytes;
        if (y > 0 && sy == static_cast<uint64_t>(y - 1) * srcHeight / dstHeight) {
            // An enlargement repeats source rows: the row just made is the same.
            std::memcpy(dstRow, dstRow - rowBytes, rowBytes);
            continue;
        }
        for (uint32_t x = 0; x < dstWidth; ++x) {
            CopyPixel<B>(dstRow + static_cast<size_t>(x) * B,
                         srcRow + static_cast<size_t>(sourceColumn[x]) * B);
        }
    }
}

// Positions of destination pixel centres on the source axis, in 1/kBilinearOne steps.
void FillBilinearAxis(uint32_t srcSize, uint32_t dstSize, AxisTable& table) {
    for (uint32_t d = 0; d < dstSize; ++d) {
        // ((d + 0.5) * src / dst - 0.5) in fixed point; the left edge clamps to 0.
        int64_t pos = (static_cast<int64_t>(2 * d + 1) * srcSize * kBilinearOne) /
                          (2 * static_cast<int64_t>(dstSize)) -
                      kBilinearOne / 2;
        pos = std::max<int64_t>(pos, 0);
        uint32_t first = static_cast<uint32_t>(pos / kBilinearOne);
        uint32_t weight = static_cast<uint32_t>(pos % kBilinearOne);
        if (first >= srcSize - 1) {
            first = srcSize - 1;
            weight = 0;
        }
        table.first[d] = first;
        table.second[d] = std::min(first + 1, srcSize - 1);
        table.weight[d] = weight;
    }
}

template <uint32_t B>
void QuarterTurn(const uint8_t* src, uint32_t width, uint32_t height, uint8_t* dst,
                 bool clockwise) {
    // The result is `height` pixels wide and `width` rows high.
    const uint32_t dstWidth = height;
    const uint32_t dstHeight = width;
    for (uint32_t tileY = 0; tileY < dstHeight; tileY += kTile) {
        const uint32_t endY = std::min(tileY + kTile, dstHeight);
        for (uint32_t tileX = 0; tileX < dstWidth; tileX += kTile) {
            const uint32_t endX = std::min(tileX + kTile, dstWidth);
            for (uint32_t y = tileY; y < endY; ++y) {
                uint8_t* dstRow = dst + static_cast<size_t>(y) * dstWidth * B;
                for (uint32_t x = tileX; x < endX; ++x) {
                    // Clockwise: dst (x, y) = src (y, height - 1 - x);
                    // counter-clockwise: dst (x, y) = src (width - 1 - y, x).
                    const uint32_t sx = clockwise ? y : width - 1 - y;
                    const uint32_t sy = clockwise ? height - 1 - x : x;
                    CopyPixel<B>(dstRow + static_cast<size_t>(x) * B,
                                 src + (static_cast<size_t>(sy) * width + sx) * B);
                }
            }
        }
    }
}

template <uint32_t B>
void Reverse(uint8_t* data, size_t pixels) {
    if (pixels < 2) {
        return;
    }
    for (size_t i = 0, j = pixels - 1; i < j; ++i, --j) {
        SwapPixels<B>(data + i * B, data + j * B);
    }
}

}  // namespace

void ShrinkByWhole3(const uint8_t* src, uint32_t width, uint32_t height, uint8_t* dst, uint32_t k) {
    const uint32_t w = width / k;
    const uint32_t h = height / k;
    const size_t stride = size_t{width} * 3;
    // The top-left of the middle: pixel k / 2 of an odd cell, k / 2 - 1 of an even one.
    const uint32_t first = (k - 1) / 2;
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* row = src + (size_t{y} * k + first) * stride;
        uint8_t* out = dst + size_t{y} * w * 3;
        if (k % 2 == 1) {
            for (uint32_t x = 0; x < w; ++x, out += 3) {
                const uint8_t* p = row + (size_t{x} * k + first) * 3;
                out[0] = p[0];
                out[1] = p[1];
                out[2] = p[2];
            }
            continue;
        }
        for (uint32_t x = 0; x < w; ++x, out += 3) {
            const uint8_t* p = row + (size_t{x} * k + first) * 3;
            for (int c = 0; c < 3; ++c) {
                out[c] = static_cast<uint8_t>(
                    (p[c] + p[c + 3] + p[c + stride] + p[c + stride + 3] + 2) / 4);
            }
        }
    }
}

void WidenRowPortable(const uint8_t* src, uint32_t pixels, uint8_t* dst, uint32_t bytesPerPixel,
                      uint32_t k) {
    for (uint32_t x = 0; x < pixels; ++x, src += bytesPerPixel) {
        for (uint32_t r = 0; r < k; ++r, dst += bytesPerPixel) {
            std::memcpy(dst, src, bytesPerPixel);
        }
    }
}

void EnlargeByWhole(const uint8_t* src, uint32_t width, uint32_t height, uint8_t* dst,
                    uint32_t bytesPerPixel, uint32_t k, bool usePortable) {
    if (!usePortable && EnlargeStreamed(src, width, height, dst, bytesPerPixel, k)) {
        return;
    }
    const size_t srcRow = size_t{width} * bytesPerPixel;
    const size_t dstRow = srcRow * k;
    for (uint32_t y = 0; y < height; ++y, src += srcRow) {
        uint8_t* first = dst + size_t{y} * k * dstRow;
        if (usePortable) {
            WidenRowPortable(src, width, first, bytesPerPixel, k);
        } else {
            WidenRow(src, width, first, bytesPerPixel, k);
        }
        // The widened row is still in the cache: its copies cost what writing them does.
        for (uint32_t r = 1; r < k; ++r) {
            std::memcpy(first + r * dstRow, first, dstRow);
        }
    }
}

void ResizeNearest(const uint8_t* src, uint32_t srcWidth, uint32_t srcHeight, uint8_t* dst,
                   uint32_t dstWidth, uint32_t dstHeight, uint32_t bytesPerPixel,
                   ResizeWork& work) {
    uint32_t* sourceColumn = work.columns.first;
    for (uint32_t x = 0; x < dstWidth; ++x) {
        sourceColumn[x] = static_cast<uint32_t>(static_cast<uint64_t>(x) * srcWidth / dstWidth);
    }
    switch (bytesPerPixel) {
        case 1:
            NearestRows<1>(src, srcWidth, srcHeight, dst, dstWidth, dstHeight, sourceColumn);
            break;
        case 2:
            NearestRows<2>(src, srcWidth, srcHeight, dst, dstWidth, dstHeight, sourceColumn);
            break;
        default:
            NearestRows<3>(src, srcWidth, srcHeight, dst, dstWidth, dstHeight, sourceColumn);
            break;
    }
}

void ResizeBilinear3(const uint8_t* src, uint32_t srcWidth, uint32_t srcHeight, uint8_t* dst,
                     uint32_t dstWidth, uint32_t dstHeight, ResizeWork& work) {
    const AxisTable& columns = work.columns;
    const AxisTable& rows = work.rows;
    FillBilinearAxis(srcWidth, dstWidth, work.columns);
    FillBilinearAxis(srcHeight, dstHeight, work.rows);
    const size_t outBytes = static_cast<size_t>(dstWidth) * 3;

    // Two cached source rows, resampled across; destination rows walk down the source,
    // so consecutive rows mostly reuse one or both.
    int64_t cachedRow[2] = {-1, -1};
    const auto resampled = [&](uint32_t sourceRow, int64_t keep) -> const uint32_t* {
        for (int slot = 0; slot < 2; ++slot) {
            if (cachedRow[slot] == sourceRow) {
                return work.resampledRow[slot];
            }
        }
        const int slot = cachedRow[0] == keep ? 1 : 0;
        cachedRow[slot] = sourceRow;
        uint32_t* out = work.resampledRow[slot];
        const uint8_t* in = src + static_cast<size_t>(sourceRow) * srcWidth * 3;
        for (uint32_t x = 0; x < dstWidth; ++x) {
            const uint8_t* left = in + static_cast<size_t>(columns.first[x]) * 3;
            const uint8_t* right = in + static_cast<size_t>(columns.second[x]) * 3;
            const uint32_t wx = columns.weight[x];
            for (size_t c = 0; c < 3; ++c) {
                out[3 * x + c] = left[c] * (kBilinearOne - wx) + right[c] * wx;
            }
        }
        return out;
    };

    constexpr uint32_t kHalf = 1u << 21;  // rounding of the 22 fraction bits below
    for (uint32_t y = 0; y < dstHeight; ++y) {
        const uint32_t wy = rows.weight[y];
        const uint32_t* upper = resampled(rows.first[y], -1);
        const uint32_t* lower = wy == 0 ? upper : resampled(rows.second[y], rows.first[y]);
        uint8_t* out = dst + static_cast<size_t>(y) * outBytes;
        for (size_t i = 0; i < outBytes; ++i) {
            // At most 255 * 2048 * 2048 + kHalf: fits 32 bits.
            out[i] = static_cast<uint8_t>(
                (upper[i] * (kBilinearOne - wy) + lower[i] * wy + kHalf) >> 22);
        }
    }
}

void RotateQuarter(const uint8_t* src, uint32_t width, uint32_t height, uint8_t* dst,
                   uint32_t bytesPerPixel, bool clockwise) {
    switch (bytesPerPixel) {
        case 1:
            QuarterTurn<1>(src, width, height, dst, clockwise);
            break;
        case 2:
            QuarterTurn<2>(src, width, height, dst, clockwise);
            break;
        default:
            QuarterTurn<3>(src, width, height, dst, clockwise);
            break;
    }
}

void ReversePixels(uint8_t* data, size_t pixels, uint32_t bytesPerPixel) {
    switch (bytesPerPixel) {
        case 1:
            std::reverse(data, data + pixels);
            break;
        case 2:
            Reverse<2>(data, pixels);
            break;
        default:
            Reverse<3>(data, pixels);
            break;
    }
}

void MirrorColumns(uint8_t* data, uint32_t width, uint32_t height, uint32_t bytesPerPixel) {
    const size_t rowBytes = static_cast<size_t>(width) * bytesPerPixel;
    for (uint32_t y = 0; y < height; ++y) {
        ReversePixels(data + y * rowBytes, width, bytesPerPixel);
    }
}

void MirrorRows(uint8_t* data, uint32_t width, uint32_t height, uint32_t bytesPerPixel) {
    if (height < 2) {
        return;
    }
    const size_t rowBytes = static_cast<size_t>(width) * bytesPerPixel;
    for (uint32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        std::swap_ranges(data + top * rowBytes, data + (top + 1) * rowBytes,
                         data + bottom * rowBytes);
    }
}

void CropInPlace(uint8_t* data, uint32_t stride, uint32_t x, uint32_t y, uint32_t width,
                 uint32_t height, uint32_t bytesPerPixel) {
    const size_t rowBytes = static_cast<size_t>(width) * bytesPerPixel;
    for (uint32_t row = 0; row < height; ++row) {
        const size_t from = (static_cast<size_t>(y + row) * stride + x) * bytesPerPixel;
        // A window row never starts before its destination, but may overlap it.
        std::memmove(data + row * rowBytes, data + from, rowBytes);
    }
}

}  // namespace quorix::geometry
