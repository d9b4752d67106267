// Geometry on packed images of 1, 2 or 3 bytes per pixel: resizing, quarter and half
// turns, mirroring and cropping. Callers check sizes; these functions trust them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorix::geometry {

// Largest side of any image handled, and the bytes of the largest image (1920 x 1080
// colour), which is also the size of every work buffer.
inline constexpr uint32_t kMaxSide = 1920;
inline constexpr size_t kMaxImageBytes = size_t{1920} * 1080 * 3;

// Fixed-point resampling positions for one axis (kMaxSide entries).
struct AxisTable {
    uint32_t first[kMaxSide];   // source index of the left/upper neighbour
    uint32_t second[kMaxSide];  // source index of the right/lower neighbour
    uint32_t weight[kMaxSide];  // weight of `second`, of kBilinearOne
};
inline constexpr uint32_t kBilinearOne = 2048;

// Working storage of the resizes, allocated once by the caller and filled per call: the
// axis tables and two source rows already resampled across (3 channels, 11 fraction bits).
struct ResizeWork {
    AxisTable columns;
    AxisTable rows;
    uint32_t resampledRow[2][kMaxSide * 3];
};

// Nearest neighbour: destination pixel x takes source pixel x * srcWidth / dstWidth (the
// same on rows). `src` and `dst` do not overlap.
void ResizeNearest(const uint8_t* src, uint32_t srcWidth, uint32_t srcHeight, uint8_t* dst,
                   uint32_t dstWidth, uint32_t dstHeight, uint32_t bytesPerPixel, ResizeWork& work);

// Bilinear on 3-byte pixels with pixel centres aligned, edges clamped: a constant image
// stays constant, and shrinking by a whole factor k samples the centre of each k x k cell.
// Separable: each source row is resampled across once, then pairs of such rows are
// blended down; the result equals blending the four neighbours directly.
void ResizeBilinear3(const uint8_t* src, uint32_t srcWidth, uint32_t srcHeight, uint8_t* dst,
                     uint32_t dstWidth, uint32_t dstHeight, ResizeWork& work);

// Shrinks 3-byte pixels by a whole factor k (1 to 4) into (width / k) x (height / k): each
// destination pixel is the middle of its k x k cell, the mean of the middle two by two for
// an even k (rounded half up). What bilinear with aligned centres gives, reading only the
// pixels it weighs.
void ShrinkByWhole3(const uint8_t* src, uint32_t width, uint32_t height, uint8_t* dst, uint32_t k);

// Enlarges by a whole factor k (1 to 4): each pixel of the width x height image becomes a
// k x k block of dst, (width k) x (height k): what ResizeNearest gives for that size, at
// the cost of writing it: streamed (EnlargeStreamed) where it can be, else each row widened
// once, on vectors where the processor has them, and copied k - 1 times. `usePortable`
// keeps to the plain loop. No overlap.
void EnlargeByWhole(const uint8_t* src, uint32_t width, uint32_t height, uint8_t* dst,
                    uint32_t bytesPerPixel, uint32_t k, bool usePortable = false);
// One row of it: `pixels` pixels each repeated k times; the vector form chosen at run time.
void WidenRow(const uint8_t* src, uint32_t pixels, uint8_t* dst, uint32_t bytesPerPixel,
              uint32_t k);
void WidenRowPortable(const uint8_t* src, uint32_t pixels, uint8_t* dst, uint32_t bytesPerPixel,
                      uint32_t k);
// The whole of EnlargeByWhole with streaming stores where the processor has vectors and the
// rows are whole 16-byte blocks, dst aligned to 16; false (nothing written) otherwise.
bool EnlargeStreamed(const uint8_t* src, uint32_t width, uint32_t height, uint8_t* dst,
                     uint32_t bytesPerPixel, uint32_t k);
// Which instruction set WidenRow uses ("portable" without vectors).
const char* WidenRowTargetName();

// Quarter turn of a width x height image into dst (height x width). Clockwise: source
// (x, y) goes to (height - 1 - y, x); counter-clockwise: to (y, width - 1 - x).
void RotateQuarter(const uint8_t* src, uint32_t width, uint32_t height, uint8_t* dst,
                   uint32_t bytesPerPixel, bool clockwise);

// Reverses the order of all pixels in place: a half turn, or mirroring both ways.
void ReversePixels(uint8_t* data, size_t pixels, uint32_t bytesPerPixel);

// Mirrors each row in place (left and right exchanged).
void MirrorColumns(uint8_t* data, uint32_t width, uint32_t height, uint32_t bytesPerPixel);

// Mirrors the rows in place (top and bottom exchanged).
void MirrorRows(uint8_t* data, uint32_t width, uint32_t height, uint32_t bytesPerPixel);

// Moves the width x height window at (x, y) of an image `stride` pixels wide to the start
// of the buffer, rows packed.
void CropInPlace(uint8_t* data, uint32_t stride, uint32_t x, uint32_t y, uint32_t width,
                 uint32_t height, uint32_t bytesPerPixel);

}  // namespace quorix::geometry
