// The type bytes of raw sub-packets, described once: the reader's sub-packet walk takes a
// sub-packet by its row (length, content, stream switch, re-typing), and TofDecode decodes
// the ToF images by the same row (layout, packing, size, WDR range, rotation). A row added
// here is walked and decoded alike; a ToF image row without a layout is walked into the
// raw record but never decoded.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/TofUnpack.h"
#include "pipeline/Frame.h"

namespace quorix {

// What a payload holds, and so where the reader puts it.
enum class RawContent : uint8_t {
    kDepth,  // ToF images: appended to the raw ToF record
    kIR,
    kDepthAndIR,
    kColour,       // copied into the raw colour record
    kImuNumber,    // one byte: the capture's IMU frame number
    kPadding,      // skipped
    kStatusBlock,  // the device status record, for the session
    kInitParams,   // the pushed parameter blocks
    kJsonState,    // JSON-transfer state, for the session
    kStatusByte,   // its first byte is the camera's status byte
};

// How a payload length is held against the row's length.
enum class LengthRule : uint8_t { kExact, kAny, kAtMost, kAtLeast, kBelow, kBlocksOf2048 };

// How TofDecode turns a ToF payload into frames.
enum class RawLayout : uint8_t {
    kNone,            // not decoded under this type
    kSingle,          // one image
    kHalves,          // the depth image, then the IR image
    kRowSplit,        // each payload row of rowBytes: a depth row, then an IR row
    kColumnSplit,     // split-packed depth and IR alternating in 480-byte runs
    kPairInterleave,  // RAW12 depth and IR rows, interleaved byte pair by byte pair
    kQvgaMm,          // QVGA depth in millimetres, hole-filled and doubled to VGA
    kQvgaMmAndIR,     // the same, then VGA IR words copied as they are
    kQvgaY16,         // QVGA Y16 depth (then IR), resized to VGA and decoded in place
};

// Row flags.
// Header byte 4 is the frame's depth range (read in data modes 11 and 13).
inline constexpr uint8_t kRawWdrCapable = 1 << 0;
// Decoded frames go through Rotate.
inline constexpr uint8_t kRawRotates = 1 << 1;
// Taken whatever the stream switches say.
inline constexpr uint8_t kRawUngated = 1 << 2;
// The reader moves the halves of each kRawSplitRowBytes row into the payload's halves.
inline constexpr uint8_t kRawSplitsRows = 1 << 3;

// Payload row of the types whose rows the reader splits.
inline constexpr uint32_t kRawSplitRowBytes = 1920;

struct RawType {
    uint8_t id;
    LengthRule rule;
    uint32_t length;
    RawContent content;
    RawLayout layout;
    RawPacking packing;
    uint16_t rows;       // image rows in the payload (640 wide; QVGA layouts: 320 wide)
    uint16_t rowBytes;   // kRowSplit: bytes of one payload row
    uint8_t recordType;  // type byte written into the raw record; 0: its own
    uint8_t flags;

    constexpr bool Has(uint8_t flag) const { return (flags & flag) != 0; }
    constexpr bool Accepts(uint32_t n) const {
        switch (rule) {
            case LengthRule::kExact:
                return n == length;
            case LengthRule::kAny:
                return true;
            case LengthRule::kAtMost:
                return n <= length;
            case LengthRule::kAtLeast:
                return n >= length;
            case LengthRule::kBelow:
                return n < length;
            case LengthRule::kBlocksOf2048:
                return n % 2048 == 0 && n <= length;
        }
        return false;
    }
    constexpr bool IsToFImage() const {
        return content == RawContent::kDepth || content == RawContent::kIR ||
               content == RawContent::kDepthAndIR;
    }
    // The kFrameSet bits of the frames the payload yields.
    constexpr uint8_t FrameBits() const {
        switch (content) {
            case RawContent::kDepth:
                return kFrameSetDepth;
            case RawContent::kIR:
                return kFrameSetIR;
            case RawContent::kDepthAndIR:
                return kFrameSetDepth | kFrameSetIR;
            case RawContent::kColour:
                return kFrameSetColour;
            default:
                return 0;
        }
    }
    // QVGA depth alone: with raw saving on, its payload is also saved by itself.
    constexpr bool IsQvgaDepth() const {
        return content == RawContent::kDepth &&
               (layout == RawLayout::kQvgaMm || layout == RawLayout::kQvgaY16);
    }
};

// The rows of one type byte: none, one, or two told apart by their lengths.
struct RawTypeRows {
    const RawType* first = nullptr;
    const RawType* second = nullptr;

    constexpr bool Listed() const { return first != nullptr; }
    // The row whose length rule takes `length`, or null.
    constexpr const RawType* Accepting(uint32_t length) const {
        if (first != nullptr && first->Accepts(length)) {
            return first;
        }
        return second != nullptr && second->Accepts(length) ? second : nullptr;
    }
    // The row TofDecode decodes under this type byte, or null.
    constexpr const RawType* Decoded() const {
        if (first != nullptr && first->layout != RawLayout::kNone) {
            return first;
        }
        return second != nullptr && second->layout != RawLayout::kNone ? second : nullptr;
    }
};

RawTypeRows RawTypesOf(uint8_t id);
std::span<const RawType> AllRawTypes();

}  // namespace quorix
