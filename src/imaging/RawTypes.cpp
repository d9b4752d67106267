// The raw sub-packet types and their index by type byte, both fixed at compile time, with
// the rules that keep the rows consistent checked there too.
#include "imaging/RawTypes.h"

#include <array>
#include <cstddef>
#include <iterator>

#include "protocol/DeviceStatus.h"

namespace quorix {
namespace {

using C = RawContent;
using L = RawLayout;
using P = RawPacking;
constexpr uint8_t W = kRawWdrCapable;
constexpr uint8_t R = kRawRotates;

// A ToF image that TofDecode decodes.
constexpr RawType Image(uint8_t id, uint32_t length, RawContent content, RawLayout layout,
                        RawPacking packing, uint16_t rows, uint8_t flags, uint16_t rowBytes = 0) {
    return {id, LengthRule::kExact, length, content, layout, packing, rows, rowBytes, 0, flags};
}

// A ToF image that the reader hands on under another type byte.
constexpr RawType Retyped(uint8_t id, uint32_t length, RawContent content, uint8_t recordType,
                          uint8_t flags) {
    return {id, LengthRule::kExact, length, content, L::kNone, P::kRaw12, 0, 0, recordType, flags};
}

// Anything but a ToF image.
constexpr RawType Block(uint8_t id, LengthRule rule, uint32_t length, RawContent content) {
    return {id, rule, length, content, L::kNone, P::kRaw12, 0, 0, 0, 0};
}

constexpr RawType kRows[] = {
    // RAW12
    Image(0x21, 460800, C::kDepth, L::kSingle, P::kRaw12, 480, R),
    Image(0x6F, 460800, C::kDepth, L::kSingle, P::kRaw12, 480, R | W),
    Image(0x22, 460800, C::kIR, L::kSingle, P::kRaw12, 480, R),
    Image(0x70, 460800, C::kIR, L::kSingle, P::kRaw12, 480, R | W),
    Image(0x23, 921600, C::kDepthAndIR, L::kHalves, P::kRaw12, 480, R),
    Image(0x71, 921600, C::kDepthAndIR, L::kHalves, P::kRaw12, 480, R | W),
    Image(0x27, 345600, C::kDepth, L::kSingle, P::kRaw12, 360, R),
    Image(0x28, 345600, C::kIR, L::kSingle, P::kRaw12, 360, R),
    Image(0x29, 691200, C::kDepthAndIR, L::kHalves, P::kRaw12, 360, R),
    Image(0x48, 691200, C::kDepthAndIR, L::kPairInterleave, P::kRaw12, 360, R),
    // split
    Image(0x41, 460800, C::kDepth, L::kSingle, P::kSplit, 480, R),
    Image(0x4C, 460800, C::kDepth, L::kSingle, P::kSplit, 480, R | W),
    Image(0x45, 460800, C::kDepth, L::kSingle, P::kSplit, 480, R),
    Image(0x46, 345600, C::kDepth, L::kSingle, P::kSplit, 360, R),
    Image(0x4A, 345600, C::kDepth, L::kSingle, P::kSplit, 360, R),
    Image(0x42, 460800, C::kIR, L::kSingle, P::kSplit, 480, R),
    Image(0x4D, 460800, C::kIR, L::kSingle, P::kSplit, 480, R | W),
    Image(0x47, 345600, C::kIR, L::kSingle, P::kSplit, 360, R),
    Image(0x43, 921600, C::kDepthAndIR, L::kColumnSplit, P::kSplit, 480, R),
    Image(0x4E, 921600, C::kDepthAndIR, L::kColumnSplit, P::kSplit, 480, R | W),
    // MSB12
    Image(0x51, 460800, C::kDepth, L::kSingle, P::kMsb12, 480, R),
    Image(0x5C, 460800, C::kDepth, L::kSingle, P::kMsb12, 480, R | W),
    Image(0x81, 460800, C::kDepth, L::kSingle, P::kMsb12, 480, R),
    Image(0x85, 460800, C::kDepth, L::kSingle, P::kMsb12, 480, R),
    Image(0x8C, 460800, C::kDepth, L::kSingle, P::kMsb12, 480, R | W),
    Image(0x55, 460800, C::kDepth, L::kSingle, P::kMsb12, 480, R | kRawUngated),
    Image(0x56, 345600, C::kDepth, L::kSingle, P::kMsb12, 360, R),
    Image(0x52, 460800, C::kIR, L::kSingle, P::kMsb12, 480, R),
    Image(0x5D, 460800, C::kIR, L::kSingle, P::kMsb12, 480, R | W),
    Image(0x82, 460800, C::kIR, L::kSingle, P::kMsb12, 480, R),
    Image(0x57, 345600, C::kIR, L::kSingle, P::kMsb12, 360, R),
    Image(0x53, 921600, C::kDepthAndIR, L::kRowSplit, P::kMsb12, 480, R, 1920),
    Image(0x5E, 921600, C::kDepthAndIR, L::kRowSplit, P::kMsb12, 480, R | W, 1920),
    Image(0x83, 921600, C::kDepthAndIR, L::kRowSplit, P::kMsb12, 480, R, 1920),
    Image(0x8E, 921600, C::kDepthAndIR, L::kRowSplit, P::kMsb12, 480, R | W, 1920),
    Image(0x58, 691200, C::kDepthAndIR, L::kRowSplit, P::kMsb12, 360, R, 1920),
    // Y16: never rotated
    Image(0x61, 614400, C::kDepth, L::kSingle, P::kY16, 480, 0),
    Image(0x6C, 614400, C::kDepth, L::kSingle, P::kY16, 480, W),
    Image(0x62, 614400, C::kIR, L::kSingle, P::kY16, 480, 0),
    Image(0x6D, 614400, C::kIR, L::kSingle, P::kY16, 480, W),
    Image(0x63, 1228800, C::kDepthAndIR, L::kRowSplit, P::kY16, 480, 0, 2560),
    Image(0x6E, 1228800, C::kDepthAndIR, L::kRowSplit, P::kY16, 480, W, 2560),
    Image(0x66, 460800, C::kDepth, L::kSingle, P::kY16, 360, 0),
    Image(0x67, 460800, C::kIR, L::kSingle, P::kY16, 360, 0),
    Image(0x68, 921600, C::kDepthAndIR, L::kRowSplit, P::kY16, 360, 0, 2560),
    // QVGA: millimetre depth is rotated like the 12-bit packings, Y16 is not
    Image(0x72, 153600, C::kDepth, L::kQvgaMm, P::kY16, 240, R),
    Image(0x74, 153600, C::kDepth, L::kQvgaMm, P::kY16, 240, R | W),
    Image(0x4F, 768000, C::kDepthAndIR, L::kQvgaMmAndIR, P::kY16, 240, R),
    Image(0x91, 153600, C::kDepth, L::kQvgaY16, P::kY16, 240, 0),
    Image(0x9C, 153600, C::kDepth, L::kQvgaY16, P::kY16, 240, W),
    Image(0x93, 307200, C::kDepthAndIR, L::kQvgaY16, P::kY16, 240, 0),
    // The header the reader gives a bare depth buffer; outside the walk's type range.
    Image(0xA0, 460800, C::kDepth, L::kSingle, P::kIso12, 480, R),
    // Walked into the raw record, but no decoder knows it: TofDecode drops it as unknown.
    {0x75, LengthRule::kExact, 768000, C::kDepthAndIR, L::kNone, P::kY16, 0, 0, 0, W},
    // Handed on as the split types of the same size, whatever the stream switches say.
    Retyped(0x44, 460800, C::kDepth, 0x41, kRawUngated),
    Retyped(0x44, 921600, C::kDepthAndIR, 0x43, kRawUngated | kRawSplitsRows),
    Retyped(0x49, 345600, C::kDepth, 0x46, kRawUngated),
    Retyped(0x49, 691200, C::kDepthAndIR, 0x48, kRawUngated | kRawSplitsRows),
    // Colour: MJPEG, YUYV, H.264 of any size, and one NV12 size.
    Block(0x25, LengthRule::kAny, 0, C::kColour),
    Block(0x31, LengthRule::kAny, 0, C::kColour),
    Block(0x32, LengthRule::kAny, 0, C::kColour),
    Block(0x33, LengthRule::kAny, 0, C::kColour),
    Block(0x34, LengthRule::kAny, 0, C::kColour),
    Block(0x35, LengthRule::kExact, 460800, C::kColour),
    // The rest.
    Block(0x24, LengthRule::kExact, 1, C::kImuNumber),
    Block(0x26, LengthRule::kBlocksOf2048, 8192, C::kPadding),
    Block(0x2C, LengthRule::kAtMost, kDeviceStatusMaxBytes, C::kStatusBlock),
    Block(0x2E, LengthRule::kAny, 0, C::kInitParams),
    Block(0x2F, LengthRule::kBelow, 4, C::kJsonState),
    Block(0x30, LengthRule::kAtLeast, 9, C::kStatusByte),
};

// Row positions by type byte, plus one (0: no row).
using Index = std::array<std::array<uint8_t, 2>, 256>;

constexpr Index MakeIndex() {
    Index index{};
    for (size_t i = 0; i < std::size(kRows); ++i) {
        auto& slots = index[kRows[i].id];
        (slots[0] == 0 ? slots[0] : slots[1]) = static_cast<uint8_t>(i + 1);
    }
    return index;
}

constexpr Index kIndex = MakeIndex();

constexpr RawTypeRows RowsOf(uint8_t id) {
    const auto& slots = kIndex[id];
    return {slots[0] != 0 ? &kRows[slots[0] - 1] : nullptr,
            slots[1] != 0 ? &kRows[slots[1] - 1] : nullptr};
}

// Every row can be found, and a type byte's length picks at most one of its rows.
constexpr bool EveryRowIsFoundByItsLength() {
    size_t perType[256] = {};
    for (const RawType& row : kRows) {
        if (++perType[row.id] > 2) {
            return false;
        }
        const RawTypeRows rows = RowsOf(row.id);
        if (rows.second != nullptr && row.rule != LengthRule::kExact) {
            return false;
        }
        if (row.rule == LengthRule::kExact && rows.Accepting(row.length) != &row) {
            return false;
        }
    }
    return true;
}

// What TofDecode decodes is an exactly sized ToF image, and a type byte has one such row.
constexpr bool DecodedRowsAreExactImages() {
    for (const RawType& row : kRows) {
        if (row.layout == L::kNone) {
            continue;
        }
        if (!row.IsToFImage() || row.rule != LengthRule::kExact || row.recordType != 0 ||
            RowsOf(row.id).Decoded() != &row) {
            return false;
        }
        if (row.layout == L::kRowSplit && size_t{row.rows} * row.rowBytes != row.length) {
            return false;
        }
        if (row.layout == L::kHalves && row.packing == P::kSplit) {
            return false;  // a split-packed image spans both halves
        }
    }
    return true;
}

// A re-typed image reaches TofDecode as a row of the same size and content.
constexpr bool RetypedRowsLandOnDecodedRows() {
    for (const RawType& row : kRows) {
        if (row.recordType == 0) {
            continue;
        }
        const RawType* target = RowsOf(row.recordType).Decoded();
        if (target == nullptr || target->length != row.length || target->content != row.content) {
            return false;
        }
        if (row.Has(kRawSplitsRows) && row.length % kRawSplitRowBytes != 0) {
            return false;
        }
    }
    return true;
}

static_assert(std::size(kRows) < 255, "row positions are kept in a byte");
static_assert(EveryRowIsFoundByItsLength());
static_assert(DecodedRowsAreExactImages());
static_assert(RetypedRowsLandOnDecodedRows());

}  // namespace

RawTypeRows RawTypesOf(uint8_t id) {
    return RowsOf(id);
}

std::span<const RawType> AllRawTypes() {
    return kRows;
}

}  // namespace quorix
