// The internal frame record: the public NsFrame fields in their order, plus the buffer
// capacity, the high-water mark of written bytes, the capture's frame-set mask and the
// in-use flag that the pool keeps.
#pragma once

#include <algorithm>
#include <cstdint>

namespace quorix {

// Pool types (and the frame types of decoded frames).
enum PoolType : int32_t {
    kPoolRawTof = -2,
    kPoolRawColour = -1,
    kPoolDepth = 0,
    kPoolIR = 1,
    kPoolColour = 3,
};

// Buffer bytes per pool type.
inline constexpr uint32_t kRawTofBytes = 1228805;
inline constexpr uint32_t kRawColourBytes = 1920 * 1080;
inline constexpr uint32_t kDepthBytes = 640 * 480 * 2;
inline constexpr uint32_t kIRBytes = 640 * 480 * 2;
inline constexpr uint32_t kColourBytes = 1920 * 1080 * 3;

// Frames per pool of one session.
inline constexpr uint32_t kRawTofFrames = 5;
inline constexpr uint32_t kRawColourFrames = 5;
inline constexpr uint32_t kDepthFrames = 12;
inline constexpr uint32_t kIRFrames = 10;
inline constexpr uint32_t kColourFrames = 12;

// Frame-set mask bits: what a capture delivers.
inline constexpr uint32_t kFrameSetDepth = 1u << 0;
inline constexpr uint32_t kFrameSetIR = 1u << 1;
inline constexpr uint32_t kFrameSetColour = 1u << 2;

// Field order follows the public record; natural alignment, since nothing outside the
// library sees this record and the public copy is made field by field.
struct Frame {
    uint32_t frameIndex = 0;
    uint32_t frameType = 0;
    int32_t pixelFormat = -1;
    uint8_t frameTag = 0;
    uint8_t* pFrameData = nullptr;
    uint32_t dataLen = 0;
    uint32_t capacity = 0;
    // Bytes from the buffer's start that may have been written since the frame left its
    // pool. Release zeroes only up to the larger of this and dataLen, so every writer that
    // may write past dataLen (a decode that fails half-way, a scratch step) must raise it
    // with MarkWritten before writing. Cleared by the release.
    uint32_t writtenBytes = 0;
    float exposureTime = 0.0f;
    uint32_t depthRange = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t frameSet = 0;
    uint8_t inUse = 0;
    // Receive time as four u16: second, minute, hour, millisecond (lowest first).
    uint64_t timestamp = 0;
};

// Copies every field but the buffer, its size and its written mark, which belong to `to`.
inline void CopyFrameFields(const Frame& from, Frame& to) {
    uint8_t* const data = to.pFrameData;
    const uint32_t capacity = to.capacity;
    const uint32_t written = to.writtenBytes;
    to = from;
    to.pFrameData = data;
    to.capacity = capacity;
    to.writtenBytes = written;
}

// Notes that the first `bytes` bytes of the frame's buffer are about to be written.
inline void MarkWritten(Frame& frame, uint64_t bytes) {
    const uint64_t mark = std::min<uint64_t>(bytes, frame.capacity);
    frame.writtenBytes = std::max(frame.writtenBytes, static_cast<uint32_t>(mark));
}

}  // namespace quorix
