// Vector unpacking of every packing, with the depth curve evaluated in closed form instead
// of the table. Compiled once per instruction set (Highway) and chosen at run time; built
// without floating-point contraction so the curve rounds exactly as the table does.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/TofUnpackSimd.cpp"
// Scalable vectors cannot live in the lambdas below; the fixed-size sets cover x86 and Arm.
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128 | HWY_RVV)
#endif
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cstring>

#include "imaging/TofUnpack.h"

HWY_BEFORE_NAMESPACE();
namespace quorix {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET == HWY_SCALAR || HWY_TARGET == HWY_EMU128

// Without real vectors the table loop is the fastest way.
void UnpackImpl(RawPacking packing, const uint8_t* src, const uint8_t* second, size_t pixels,
                const DepthLut* lut, uint16_t* dst) {
    UnpackPixelsPortable(packing, src, second, pixels, lut, dst);
}

const char* TargetNameImpl() {
    return "portable";
}

#else

using D16 = hn::ScalableTag<uint16_t>;
using V16 = hn::Vec<D16>;
using D8 = hn::Repartition<uint8_t, D16>;
using D32 = hn::Repartition<uint32_t, D16>;

// A 12-bit packing per 128-bit block: 12 source bytes (four triplets) are shuffled into
// eight 16-bit words w; pixel = ((w >> 4) & keepShifted) | (w & keepPlain).
struct Pattern12 {
    uint8_t bytes[16];
    uint16_t keepShifted[8];
    uint16_t keepPlain[8];
};

// RAW12: even pixel word b0:b2, odd b1:b2.
alignas(16) constexpr Pattern12 kRaw12 = {{2, 0, 2, 1, 5, 3, 5, 4, 8, 6, 8, 7, 11, 9, 11, 10},
                                          {0xFF0, 0xFFF, 0xFF0, 0xFFF, 0xFF0, 0xFFF, 0xFF0, 0xFFF},
                                          {0x00F, 0, 0x00F, 0, 0x00F, 0, 0x00F, 0}};
// MSB12: even pixel word b0:b1, odd b1:b2.
alignas(16) constexpr Pattern12 kMsb12 = {{1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10},
                                          {0xFFF, 0, 0xFFF, 0, 0xFFF, 0, 0xFFF, 0},
                                          {0, 0xFFF, 0, 0xFFF, 0, 0xFFF, 0, 0xFFF}};
// ISO12: even pixel word b0:b2, odd b1:b2.
alignas(16) constexpr Pattern12 kIso12 = {{2, 0, 2, 1, 5, 3, 5, 4, 8, 6, 8, 7, 11, 9, 11, 10},
                                          {0xFFF, 0xFF0, 0xFFF, 0xFF0, 0xFFF, 0xFF0, 0xFFF, 0xFF0},
                                          {0, 0x00F, 0, 0x00F, 0, 0x00F, 0, 0x00F}};

// Moves the 12 source bytes of block k (source bytes 12k..12k+11) into block k.
alignas(64) constexpr int32_t kWords12[16] = {0, 1, 2, 2, 3, 4, 5, 5, 6, 7, 8, 8, 9, 10, 11, 11};

// Split packing: block k takes 6 bytes (two triplets) from each half, starting at byte 6k.
// Those lie in words 6k/4 and the next, at byte 0 (k even) or 2 (k odd) of the pair; the
// first half's pair goes to the block's low 8 bytes, the second half's to its high 8.
alignas(64) constexpr int32_t kWordsSplit[16] = {0, 1, 0, 1, 1, 2, 1, 2, 3, 4, 3, 4, 4, 5, 4, 5};

struct SplitBytes {
    uint8_t v[64];
};
constexpr SplitBytes MakeSplitBytes() {
    SplitBytes s{};
    for (int k = 0; k < 4; ++k) {
        const int oA = (k & 1) != 0 ? 2 : 0;
        for (int g = 0; g < 2; ++g) {
            const int a = oA + 3 * g;      // a0 of the triplet within the block
            const int c = 8 + oA + 3 * g;  // c0
            // Words (low byte, high byte): a1:a0, a1:c0, c2:c1, c2:a2.
            const int pairs[4][2] = {{a + 1, a}, {a + 1, c}, {c + 2, c + 1}, {c + 2, a + 2}};
            for (int t = 0; t < 4; ++t) {
                const int lane = 4 * g + t;
                s.v[16 * k + 2 * lane] = static_cast<uint8_t>(pairs[t][0]);
                s.v[16 * k + 2 * lane + 1] = static_cast<uint8_t>(pairs[t][1]);
            }
        }
    }
    return s;
}
alignas(64) constexpr SplitBytes kSplitBytes = MakeSplitBytes();
alignas(16) constexpr uint16_t kSplitKeepShifted[8] = {0xFF0, 0xFFF, 0xFF0, 0xFFF,
                                                       0xFF0, 0xFFF, 0xFF0, 0xFFF};
alignas(16) constexpr uint16_t kSplitKeepPlain[8] = {0x00F, 0, 0x00F, 0, 0x00F, 0, 0x00F, 0};

HWY_INLINE V16 Combine12(V16 w, V16 keepShifted, V16 keepPlain) {
    return hn::Or(hn::And(hn::ShiftRight<4>(w), keepShifted), hn::And(w, keepPlain));
}

// The depth curve of DepthDecodeTable.h on a vector of raw values.
class DepthCurve {
public:
    explicit DepthCurve(const DepthLut& lut)
        : m_scale(hn::Set(Df(), lut.scale)),
          m_half(hn::Set(Df(), 0.5f)),
          m_offset(hn::Set(D16(), lut.offset)),
          m_zeroBelow(hn::Set(Ds(), static_cast<int16_t>(lut.zeroBelow))),
          m_fullFrom(hn::Set(Ds(), static_cast<int16_t>(lut.fullFrom))) {}

    HWY_INLINE V16 operator()(V16 raw) const {
        const D16 d16;
        const hn::Half<D16> dh;
        const D32 du;
        const hn::RebindToSigned<D32> di;
        const hn::Vec<D32> lo = hn::PromoteTo(du, hn::LowerHalf(dh, raw));
        const hn::Vec<D32> hi = hn::PromoteTo(du, hn::UpperHalf(dh, raw));
        const auto depthLo = Depth(hn::BitCast(di, lo));
        const auto depthHi = Depth(hn::BitCast(di, hi));
        // Depths are below 65536, so the demotion is exact; the offset wraps in 16 bits.
        V16 depth = hn::Combine(d16, hn::DemoteTo(dh, depthHi), hn::DemoteTo(dh, depthLo));
        depth = hn::Add(depth, m_offset);
        const auto rawSigned = hn::BitCast(Ds(), raw);
        depth = hn::IfThenZeroElse(hn::RebindMask(d16, hn::Lt(rawSigned, m_zeroBelow)), depth);
        return hn::IfThenElse(hn::RebindMask(d16, hn::Lt(rawSigned, m_fullFrom)), depth,
                              hn::Set(d16, kDepthBeyondRange));
    }

private:
    using Df = hn::Repartition<float, D16>;
    using Ds = hn::RebindToSigned<D16>;
    using Di = hn::RebindToSigned<D32>;

    HWY_INLINE hn::Vec<Di> Depth(hn::Vec<Di> raw) const {
        // Multiply and add rounded separately, then truncated: as the table is built.
        const hn::Vec<Df> value = hn::Add(hn::Mul(hn::ConvertTo(Df(), raw), m_scale), m_half);
        return hn::ConvertTo(Di(), value);
    }

    hn::Vec<Df> m_scale;
    hn::Vec<Df> m_half;
    V16 m_offset;
    hn::Vec<Ds> m_zeroBelow;
    hn::Vec<Ds> m_fullFrom;
};

// Runs `produce(first, second, out)`, which reads up to one full vector of bytes from each
// source, turns `consume` bytes of each into Lanes(D16) pixels and stores them at out. The
// last few pixels are produced from zero-padded copies so no read passes the sources' end.
template <class Produce>
void Drive(const uint8_t* first, const uint8_t* second, size_t streamBytes, size_t pixels,
           size_t consume, uint16_t* dst, const Produce& produce) {
    const size_t lanes = hn::Lanes(D16());
    const size_t load = hn::Lanes(D8());
    size_t offset = 0;
    size_t done = 0;
    while (done + lanes <= pixels && offset + load <= streamBytes) {
        produce(first + offset, second != nullptr ? second + offset : nullptr, dst + done);
        offset += consume;
        done += lanes;
    }
    if (done >= pixels) {
        return;
    }
    // Fewer than one load of bytes is left, which is at most three vectors of pixels.
    HWY_ALIGN uint8_t padFirst[4 * HWY_MAX_BYTES] = {};
    HWY_ALIGN uint8_t padSecond[4 * HWY_MAX_BYTES] = {};
    HWY_ALIGN uint16_t out[2 * HWY_MAX_BYTES];
    const size_t rest = streamBytes > offset ? streamBytes - offset : 0;
    memcpy(padFirst, first + offset, rest);
    if (second != nullptr) {
        memcpy(padSecond, second + offset, rest);
    }
    const size_t left = pixels - done;
    size_t padOffset = 0;
    for (size_t made = 0; made < left; made += lanes, padOffset += consume) {
        produce(padFirst + padOffset, padSecond + padOffset, out + made);
    }
    memcpy(dst + done, out, left * sizeof(uint16_t));
}

template <bool kDepth>
void Unpack12(const Pattern12& pattern, const uint8_t* src, size_t pixels, const DepthLut* lut,
              uint16_t* dst) {
    const D16 d16;
    const D8 d8;
    const D32 d32;
    const auto words = hn::SetTableIndices(d32, kWords12);
    const auto bytes = hn::LoadDup128(d8, pattern.bytes);
    const V16 keepShifted = hn::LoadDup128(d16, pattern.keepShifted);
    const V16 keepPlain = hn::LoadDup128(d16, pattern.keepPlain);
    const DepthCurve curve(kDepth ? *lut : DepthLut{});
    auto produce = [&](const uint8_t* p, const uint8_t*, uint16_t* out) {
        const auto placed = hn::TableLookupLanes(hn::BitCast(d32, hn::LoadU(d8, p)), words);
        const V16 w = hn::BitCast(d16, hn::TableLookupBytes(hn::BitCast(d8, placed), bytes));
        const V16 raw = Combine12(w, keepShifted, keepPlain);
        hn::StoreU(kDepth ? curve(raw) : raw, d16, out);
    };
    Drive(src, nullptr, pixels * 3 / 2, pixels, hn::Lanes(d16) * 3 / 2, dst, produce);
}

template <bool kDepth>
void UnpackSplit(const uint8_t* first, const uint8_t* second, size_t pixels, const DepthLut* lut,
                 uint16_t* dst) {
    const D16 d16;
    const D8 d8;
    const D32 d32;
    const auto words = hn::SetTableIndices(d32, kWordsSplit);
    const auto fromSecond = hn::Ne(hn::And(hn::Iota(d32, 0), hn::Set(d32, 2u)), hn::Zero(d32));
    const auto bytes = hn::Load(d8, kSplitBytes.v);
    const V16 keepShifted = hn::LoadDup128(d16, kSplitKeepShifted);
    const V16 keepPlain = hn::LoadDup128(d16, kSplitKeepPlain);
    const DepthCurve curve(kDepth ? *lut : DepthLut{});
    auto produce = [&](const uint8_t* a, const uint8_t* c, uint16_t* out) {
        const auto wa = hn::TableLookupLanes(hn::BitCast(d32, hn::LoadU(d8, a)), words);
        const auto wc = hn::TableLookupLanes(hn::BitCast(d32, hn::LoadU(d8, c)), words);
        const auto both = hn::IfThenElse(fromSecond, wc, wa);
        const V16 w = hn::BitCast(d16, hn::TableLookupBytes(hn::BitCast(d8, both), bytes));
        const V16 raw = Combine12(w, keepShifted, keepPlain);
        hn::StoreU(kDepth ? curve(raw) : raw, d16, out);
    };
    Drive(first, second, pixels * 3 / 4, pixels, hn::Lanes(d16) * 3 / 4, dst, produce);
}

template <bool kDepth>
void UnpackY16(const uint8_t* src, size_t pixels, const DepthLut* lut, uint16_t* dst) {
    const D16 d16;
    const D8 d8;
    const V16 twelveBits = hn::Set(d16, 0x0FFF);
    const DepthCurve curve(kDepth ? *lut : DepthLut{});
    auto produce = [&](const uint8_t* p, const uint8_t*, uint16_t* out) {
        const V16 raw = hn::And(hn::BitCast(d16, hn::LoadU(d8, p)), twelveBits);
        hn::StoreU(kDepth ? curve(raw) : raw, d16, out);
    };
    Drive(src, nullptr, pixels * 2, pixels, hn::Lanes(d16) * 2, dst, produce);
}

template <bool kDepth>
void UnpackAny(RawPacking packing, const uint8_t* src, const uint8_t* second, size_t pixels,
               const DepthLut* lut, uint16_t* dst) {
    switch (packing) {
        case RawPacking::kRaw12:
            Unpack12<kDepth>(kRaw12, src, pixels, lut, dst);
            break;
        case RawPacking::kMsb12:
            Unpack12<kDepth>(kMsb12, src, pixels, lut, dst);
            break;
        case RawPacking::kIso12:
            Unpack12<kDepth>(kIso12, src, pixels, lut, dst);
            break;
        case RawPacking::kY16:
            UnpackY16<kDepth>(src, pixels, lut, dst);
            break;
        case RawPacking::kSplit:
            UnpackSplit<kDepth>(src, second, pixels, lut, dst);
            break;
    }
}

void UnpackImpl(RawPacking packing, const uint8_t* src, const uint8_t* second, size_t pixels,
                const DepthLut* lut, uint16_t* dst) {
    // Whole pixel groups only, as the table loop does.
    if (packing == RawPacking::kSplit) {
        pixels -= pixels % 4;
    } else if (packing != RawPacking::kY16) {
        pixels -= pixels % 2;
    }
    if (lut != nullptr) {
        UnpackAny<true>(packing, src, second, pixels, lut, dst);
    } else {
        UnpackAny<false>(packing, src, second, pixels, lut, dst);
    }
}

const char* TargetNameImpl() {
    return hwy::TargetName(HWY_TARGET);
}

#endif

}  // namespace HWY_NAMESPACE
}  // namespace quorix
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace quorix {

HWY_EXPORT(UnpackImpl);
HWY_EXPORT(TargetNameImpl);

void UnpackPixels(RawPacking packing, const uint8_t* src, const uint8_t* second, size_t pixels,
                  const DepthLut* lut, uint16_t* dst) {
    HWY_DYNAMIC_DISPATCH(UnpackImpl)(packing, src, second, pixels, lut, dst);
}

const char* UnpackTargetName() {
    return HWY_DYNAMIC_DISPATCH(TargetNameImpl)();
}

}  // namespace quorix
#endif
