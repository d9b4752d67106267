// YUV to RGB/BGR kernels: compiled once per instruction set by Highway, the best one is
// picked at run time; the portable per-pixel path lives at the end (compiled once).

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imgproc/ColourConvert.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
// foreach_target.h re-includes this file once per target; highway.h follows it.
#include <hwy/highway.h>

#include "imgproc/ColourConvert.h"

HWY_BEFORE_NAMESPACE();
namespace quorix::colour {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D16 = hn::ScalableTag<int16_t>;
using V16 = hn::Vec<D16>;
using DU16 = hn::RebindToUnsigned<D16>;
using VU16 = hn::Vec<DU16>;

#if HWY_TARGET == HWY_SCALAR
// One-lane vectors cannot hold a four-byte group: the portable path does the work.
void YuyvToRgbImpl(const uint8_t* src, uint8_t* dst, size_t pixels, bool bgr) {
    YuyvToRgbPortable(src, dst, pixels, bgr);
}

void Nv12ToRgbImpl(const uint8_t* yPlane, const uint8_t* uvPlane, uint8_t* dst, uint32_t width,
                   uint32_t height, bool bgr) {
    Nv12ToRgbPortable(yPlane, uvPlane, dst, width, height, bgr);
}
#else
// Byte patterns (one 128-bit block, repeated in every block) that gather, from groups of
// four bytes, a sample into the high byte of each 16-bit lane; 0x80 gives a zero byte.
// YUYV groups are Y0 U Y1 V: luma of each pixel, its U and its V.
alignas(16) constexpr uint8_t kYuyvLuma[16] = {0x80, 0, 0x80, 2,  0x80, 4,  0x80, 6,
                                               0x80, 8, 0x80, 10, 0x80, 12, 0x80, 14};
alignas(16) constexpr uint8_t kYuyvU[16] = {0x80, 1, 0x80, 1, 0x80, 5,  0x80, 5,
                                            0x80, 9, 0x80, 9, 0x80, 13, 0x80, 13};
alignas(16) constexpr uint8_t kYuyvV[16] = {0x80, 3,  0x80, 3,  0x80, 7,  0x80, 7,
                                            0x80, 11, 0x80, 11, 0x80, 15, 0x80, 15};
// NV12 chroma widened to 16-bit lanes: groups U 0 V 0, one group for two pixels.
alignas(16) constexpr uint8_t kWideU[16] = {0x80, 0, 0x80, 0, 0x80, 4,  0x80, 4,
                                            0x80, 8, 0x80, 8, 0x80, 12, 0x80, 12};
alignas(16) constexpr uint8_t kWideV[16] = {0x80, 2,  0x80, 2,  0x80, 6,  0x80, 6,
                                            0x80, 10, 0x80, 10, 0x80, 14, 0x80, 14};

// (sample - 128) << 8 from sample << 8: flipping the top bit subtracts 128 << 8.
HWY_INLINE V16 CentreChroma(V16 shifted) {
    return hn::Xor(shifted, hn::Set(D16(), static_cast<int16_t>(-32768)));
}

using DHalfBytes = hn::Rebind<uint8_t, D16>;
using VHalfBytes = hn::Vec<DHalfBytes>;

struct Channels {
    VHalfBytes r, g, b;
};

// Lanes hold Y << 8 (unsigned), (U - 128) << 8 and (V - 128) << 8 of one pixel each;
// gives the pixels' red, green and blue bytes. Mirrors YuvToRgbPixel.
HWY_INLINE Channels ToRgb(VU16 luma8, V16 u8, V16 v8) {
    const D16 d;
    const DU16 dUnsigned;
    const DHalfBytes dBytes;
    const V16 luma = hn::Sub(hn::BitCast(d, hn::MulHigh(luma8, hn::Set(dUnsigned, kLuma))),
                             hn::Set(d, kLumaOffset));
    const V16 r = hn::ShiftRight<6>(hn::Add(luma, hn::MulHigh(v8, hn::Set(d, kVToR))));
    const V16 g = hn::ShiftRight<6>(hn::Sub(hn::Sub(luma, hn::MulHigh(u8, hn::Set(d, kUToG))),
                                            hn::MulHigh(v8, hn::Set(d, kVToG))));
    const V16 blue = hn::Add(hn::ShiftRight<1>(u8), hn::MulHigh(u8, hn::Set(d, kUToBExtra)));
    const V16 b = hn::ShiftRight<6>(hn::SaturatedAdd(luma, blue));
    return Channels{hn::DemoteTo(dBytes, r), hn::DemoteTo(dBytes, g), hn::DemoteTo(dBytes, b)};
}

// Writes the pixels of `lower` and then those of `upper`, three bytes each: one
// full-width interleaving store instead of two half-width ones.
HWY_INLINE void StorePixels(const Channels& lower, const Channels& upper, bool bgr, uint8_t* out) {
    const hn::Repartition<uint8_t, D16> dBytes;
    const auto r = hn::Combine(dBytes, upper.r, lower.r);
    const auto g = hn::Combine(dBytes, upper.g, lower.g);
    const auto b = hn::Combine(dBytes, upper.b, lower.b);
    if (bgr) {
        hn::StoreInterleaved3(b, g, r, dBytes, out);
    } else {
        hn::StoreInterleaved3(r, g, b, dBytes, out);
    }
}

// One vector of YUYV bytes (half as many pixels as bytes) to channel bytes.
template <class VBytes>
HWY_INLINE Channels YuyvBlock(VBytes raw, VBytes lumaIndex, VBytes uIndex, VBytes vIndex) {
    const D16 d;
    const DU16 dUnsigned;
    const auto luma8 = hn::BitCast(dUnsigned, hn::TableLookupBytesOr0(raw, lumaIndex));
    const V16 u8 = CentreChroma(hn::BitCast(d, hn::TableLookupBytesOr0(raw, uIndex)));
    const V16 v8 = CentreChroma(hn::BitCast(d, hn::TableLookupBytesOr0(raw, vIndex)));
    return ToRgb(luma8, u8, v8);
}

void YuyvToRgbImpl(const uint8_t* src, uint8_t* dst, size_t pixels, bool bgr) {
    const hn::Repartition<uint8_t, D16> dBytes;
    const size_t lanes = hn::Lanes(D16());
    const size_t step = 2 * lanes;
    const auto lumaIndex = hn::LoadDup128(dBytes, kYuyvLuma);
    const auto uIndex = hn::LoadDup128(dBytes, kYuyvU);
    const auto vIndex = hn::LoadDup128(dBytes, kYuyvV);
    // The leading pixels that fill no whole step are done last, by the portable path.
    const size_t head = pixels % step;
    // From the end backwards: each step's input is loaded whole before its output is
    // stored, and that output lies beyond the input still to be read.
    for (size_t p = pixels; p >= head + step;) {
        p -= step;
        const auto rawLower = hn::LoadU(dBytes, src + 2 * p);
        const auto rawUpper = hn::LoadU(dBytes, src + 2 * (p + lanes));
        const Channels lower = YuyvBlock(rawLower, lumaIndex, uIndex, vIndex);
        const Channels upper = YuyvBlock(rawUpper, lumaIndex, uIndex, vIndex);
        StorePixels(lower, upper, bgr, dst + 3 * p);
    }
    YuyvToRgbPortable(src, dst, head, bgr);
}

// `lanes` pixels of an NV12 row: their luma, and the chroma pairs they share.
template <class VBytes>
HWY_INLINE Channels Nv12Block(const uint8_t* luma, const uint8_t* chroma, VBytes uIndex,
                              VBytes vIndex) {
    const D16 d;
    const DU16 dUnsigned;
    const DHalfBytes dHalf;
    const hn::Repartition<uint8_t, D16> dBytes;
    const auto luma8 = hn::ShiftLeft<8>(hn::PromoteTo(dUnsigned, hn::LoadU(dHalf, luma)));
    const auto wide = hn::BitCast(dBytes, hn::PromoteTo(dUnsigned, hn::LoadU(dHalf, chroma)));
    const V16 u8 = CentreChroma(hn::BitCast(d, hn::TableLookupBytesOr0(wide, uIndex)));
    const V16 v8 = CentreChroma(hn::BitCast(d, hn::TableLookupBytesOr0(wide, vIndex)));
    return ToRgb(luma8, u8, v8);
}

void Nv12ToRgbImpl(const uint8_t* yPlane, const uint8_t* uvPlane, uint8_t* dst, uint32_t width,
                   uint32_t height, bool bgr) {
    const hn::Repartition<uint8_t, D16> dBytes;
    const size_t lanes = hn::Lanes(D16());
    const size_t step = 2 * lanes;
    const auto uIndex = hn::LoadDup128(dBytes, kWideU);
    const auto vIndex = hn::LoadDup128(dBytes, kWideV);
    const size_t vectorEnd = width - width % step;
    for (uint32_t row = 0; row < height; ++row) {
        const uint8_t* yRow = yPlane + static_cast<size_t>(row) * width;
        const uint8_t* uvRow = uvPlane + static_cast<size_t>(row / 2) * width;
        uint8_t* out = dst + static_cast<size_t>(row) * width * 3;
        for (size_t x = 0; x < vectorEnd; x += step) {
            const Channels lower = Nv12Block(yRow + x, uvRow + x, uIndex, vIndex);
            const Channels upper = Nv12Block(yRow + x + lanes, uvRow + x + lanes, uIndex, vIndex);
            StorePixels(lower, upper, bgr, out + 3 * x);
        }
        Nv12RowPortable(yRow, uvRow, out, vectorEnd, width, bgr);
    }
}

#endif  // HWY_TARGET == HWY_SCALAR

const char* TargetNameImpl() {
    return hwy::TargetName(HWY_TARGET);
}

}  // namespace HWY_NAMESPACE
}  // namespace quorix::colour
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace quorix::colour {

HWY_EXPORT(YuyvToRgbImpl);
HWY_EXPORT(Nv12ToRgbImpl);
HWY_EXPORT(TargetNameImpl);

void YuyvToRgb(const uint8_t* src, uint8_t* dst, size_t pixels, bool bgr) {
    HWY_DYNAMIC_DISPATCH(YuyvToRgbImpl)(src, dst, pixels, bgr);
}

void YuyvToRgbPortable(const uint8_t* src, uint8_t* dst, size_t pixels, bool bgr) {
    // Backwards, pair by pair; a pair's four input bytes are read before its six output
    // bytes are written, which may cover them.
    for (size_t p = pixels & ~static_cast<size_t>(1); p >= 2;) {
        p -= 2;
        const uint8_t y0 = src[2 * p];
        const uint8_t u = src[2 * p + 1];
        const uint8_t y1 = src[2 * p + 2];
        const uint8_t v = src[2 * p + 3];
        YuvToRgbPixel(y0, u, v, dst + 3 * p, bgr);
        YuvToRgbPixel(y1, u, v, dst + 3 * p + 3, bgr);
    }
}

void Nv12ToRgb(const uint8_t* yPlane, const uint8_t* uvPlane, uint8_t* dst, uint32_t width,
               uint32_t height, bool bgr) {
    HWY_DYNAMIC_DISPATCH(Nv12ToRgbImpl)(yPlane, uvPlane, dst, width, height, bgr);
}

void Nv12ToRgbPortable(const uint8_t* yPlane, const uint8_t* uvPlane, uint8_t* dst, uint32_t width,
                       uint32_t height, bool bgr) {
    for (uint32_t row = 0; row < height; ++row) {
        const uint8_t* yRow = yPlane + static_cast<size_t>(row) * width;
        const uint8_t* uvRow = uvPlane + static_cast<size_t>(row / 2) * width;
        Nv12RowPortable(yRow, uvRow, dst + static_cast<size_t>(row) * width * 3, 0, width, bgr);
    }
}

const char* ActiveTargetName() {
    return HWY_DYNAMIC_DISPATCH(TargetNameImpl)();
}

}  // namespace quorix::colour
#endif  // HWY_ONCE
