// The colour test image of the simulated camera and its encodings: MJPEG made with
// TurboJPEG once per size and kept for the life of the process, and NV12 for type '5'.
//
// Threads: every function may be called from any thread; the cached encodings are shared
// and never change.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace quorix::sim {

inline constexpr int kMjpegQuality = 90;
inline constexpr uint32_t kMaxColourWidth = 1920;
inline constexpr uint32_t kMaxColourHeight = 1080;
inline constexpr uint8_t kColourUntypedMjpeg = 0x25;
inline constexpr uint8_t kColourNv12 = '5';
inline constexpr uint32_t kNv12Width = 640;
inline constexpr uint32_t kNv12Height = 480;
inline constexpr uint32_t kNv12Bytes = kNv12Width * kNv12Height * 3 / 2;

// '1' 1920x1080, '2' 1280x720, '3' 640x360, '4' 640x480; 0x25 for any other size.
uint8_t MjpegTypeByte(uint32_t width, uint32_t height);

// The test image: the scene's still surfaces as the colour camera of the default
// calibration sees them at depth range 0 (the sensor's default), each depth pixel painted
// where it lands: a bluish wall, a red box face with a white frame, a green checked floor,
// grey beyond range. Where no surface lands (outside the depth camera's view, behind an
// edge, the moving sphere's place) a red-green gradient over a blue of 128 shows. So
// colour mapped onto depth puts each colour on its depth object.
// Pixel (x, y) of the width x height image as R, G, B.
void TestImagePixel(uint32_t x, uint32_t y, uint32_t width, uint32_t height, uint8_t* rgb);
// The whole image, rows of width x 3 bytes (made once per size and kept).
std::vector<uint8_t> TestImage(uint32_t width, uint32_t height);

// The test image as a baseline JPEG (4:2:2, quality kMjpegQuality). Null, with a log line,
// for a size outside 16..1920 x 16..1080 or when encoding fails.
std::shared_ptr<const std::vector<uint8_t>> MjpegTestImage(uint32_t width, uint32_t height);

// The 640x480 test image as NV12 (BT.601 limited range): the Y plane, then U and V
// interleaved at half resolution; kNv12Bytes bytes.
std::shared_ptr<const std::vector<uint8_t>> Nv12TestImage();

}  // namespace quorix::sim
