// Widening of a row for EnlargeByWhole: 16 source bytes become k blocks of 16 by byte
// shuffles, for 1- and 2-byte pixels and k 2 or 3; the plain loop does the rest. Compiled
// once per instruction set (Highway) and chosen at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imgproc/ImageGeometrySimd.cpp"
#include <hwy/cache_control.h>
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <array>
#include <cstring>

#include "imgproc/ImageGeometry.h"

HWY_BEFORE_NAMESPACE();
namespace quorix::geometry {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET == HWY_SCALAR || HWY_TARGET == HWY_EMU128

void WidenRowImpl(const uint8_t* src, uint32_t pixels, uint8_t* dst, uint32_t bytesPerPixel,
                  uint32_t k) {
    WidenRowPortable(src, pixels, dst, bytesPerPixel, k);
}

const char* WidenRowTargetNameImpl() {
    return "portable";
}

bool EnlargeStreamedImpl(const uint8_t*, uint32_t, uint32_t, uint8_t*, uint32_t, uint32_t) {
    return false;
}

#else

// Output byte i of block j takes source byte (pixel q / K of its byte) where q is the
// output pixel of byte 16 j + i.
template <uint32_t B, uint32_t K>
constexpr std::array<uint8_t, 16 * K> ShuffleOf() {
    std::array<uint8_t, 16 * K> table{};
    for (uint32_t i = 0; i < 16 * K; ++i) {
        table[i] = static_cast<uint8_t>((i / B) / K * B + i % B);
    }
    return table;
}

template <uint32_t B, uint32_t K>
void Widen(const uint8_t* src, uint32_t pixels, uint8_t* dst) {
    static constexpr std::array<uint8_t, 16 * K> kShuffle = ShuffleOf<B, K>();
    const hn::Full128<uint8_t> d;
    const size_t bytes = size_t{pixels} * B;
    size_t i = 0;
    for (; i + 16 <= bytes; i += 16) {
        const auto v = hn::LoadU(d, src + i);
        for (uint32_t j = 0; j < K; ++j) {
            hn::StoreU(hn::TableLookupBytes(v, hn::LoadU(d, kShuffle.data() + 16 * j)), d,
                       dst + i * K + 16 * j);
        }
    }
    WidenRowPortable(src + i, static_cast<uint32_t>(pixels - i / B), dst + i * K, B, K);
}

void WidenRowImpl(const uint8_t* src, uint32_t pixels, uint8_t* dst, uint32_t bytesPerPixel,
                  uint32_t k) {
    switch (bytesPerPixel * 8 + k) {
        case 2 * 8 + 3:
            return Widen<2, 3>(src, pixels, dst);
        case 2 * 8 + 2:
            return Widen<2, 2>(src, pixels, dst);
        case 1 * 8 + 3:
            return Widen<1, 3>(src, pixels, dst);
        case 1 * 8 + 2:
            return Widen<1, 2>(src, pixels, dst);
        default:
            return WidenRowPortable(src, pixels, dst, bytesPerPixel, k);
    }
}

const char* WidenRowTargetNameImpl() {
    return hwy::TargetName(HWY_TARGET);
}

// The whole image with streaming stores: each shuffled block goes straight to its k rows
// without the lines being read first, which halves the traffic of an output far larger
// than the cache. Needs whole blocks: rows of a multiple of 16 bytes, 16-byte aligned.
template <uint32_t B, uint32_t K>
void EnlargeStreamed(const uint8_t* src, uint32_t width, uint32_t height, uint8_t* dst) {
    static constexpr std::array<uint8_t, 16 * K> kShuffle = ShuffleOf<B, K>();
    const hn::Full128<uint8_t> d;
    const size_t rowBytes = size_t{width} * B;
    const size_t dstRow = rowBytes * K;
    for (uint32_t y = 0; y < height; ++y, src += rowBytes) {
        uint8_t* out = dst + size_t{y} * K * dstRow;
        for (size_t i = 0; i < rowBytes; i += 16) {
            const auto v = hn::LoadU(d, src + i);
            for (uint32_t j = 0; j < K; ++j) {
                const auto block = hn::TableLookupBytes(v, hn::LoadU(d, kShuffle.data() + 16 * j));
                for (uint32_t r = 0; r < K; ++r) {
                    hn::Stream(block, d, out + r * dstRow + i * K + 16 * j);
                }
            }
        }
    }
    hwy::FlushStream();
}

bool EnlargeStreamedImpl(const uint8_t* src, uint32_t width, uint32_t height, uint8_t* dst,
                         uint32_t bytesPerPixel, uint32_t k) {
    if ((size_t{width} * bytesPerPixel) % 16 != 0 || reinterpret_cast<uintptr_t>(dst) % 16 != 0) {
        return false;
    }
    switch (bytesPerPixel * 8 + k) {
        case 2 * 8 + 3:
            EnlargeStreamed<2, 3>(src, width, height, dst);
            return true;
        case 2 * 8 + 2:
            EnlargeStreamed<2, 2>(src, width, height, dst);
            return true;
        case 1 * 8 + 3:
            EnlargeStreamed<1, 3>(src, width, height, dst);
            return true;
        case 1 * 8 + 2:
            EnlargeStreamed<1, 2>(src, width, height, dst);
            return true;
        default:
            return false;
    }
}

#endif

}  // namespace HWY_NAMESPACE
}  // namespace quorix::geometry
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace quorix::geometry {

HWY_EXPORT(WidenRowImpl);
HWY_EXPORT(WidenRowTargetNameImpl);
HWY_EXPORT(EnlargeStreamedImpl);

bool EnlargeStreamed(const uint8_t* src, uint32_t width, uint32_t height, uint8_t* dst,
                     uint32_t bytesPerPixel, uint32_t k) {
    return HWY_DYNAMIC_DISPATCH(EnlargeStreamedImpl)(src, width, height, dst, bytesPerPixel, k);
}

const char* WidenRowTargetName() {
    return HWY_DYNAMIC_DISPATCH(WidenRowTargetNameImpl)();
}

void WidenRow(const uint8_t* src, uint32_t pixels, uint8_t* dst, uint32_t bytesPerPixel,
              uint32_t k) {
    HWY_DYNAMIC_DISPATCH(WidenRowImpl)(src, pixels, dst, bytesPerPixel, k);
}

}  // namespace quorix::geometry
#endif
