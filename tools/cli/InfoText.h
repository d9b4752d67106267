// The lines of `info` and `get`: "label: value", or "label: unavailable: <status text>"
// for a value the camera could not give, and the texts of the calibration and range records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <quorix/quorix_api.h>

namespace quorix::cli {

// "label: value" when `status` is 0, else "label: unavailable: " and the status's text.
std::string ItemLine(std::string_view label, NsReturnStatus status, std::string_view value);

// A text the library wrote into `buffer`, read no further than its capacity.
std::string BoundedText(const char* buffer, size_t capacity);

// "fx 520.500 px, fy 521.250 px, cx 319.500 px, cy 239.500 px"
std::string IntrinsicsText(const NsCameraParameters& parameters);
// The eight distortion coefficients, space-separated.
std::string DistortionText(const NsCameraParameters& parameters);
// "[r0 r1 r2; r3 r4 r5; r6 r7 r8]"
std::string RotationText(const NsCameraExtrinsicParameters& extrinsics);
// "x -25.000 mm, y 0.500 mm, z 0.250 mm"
std::string TranslationText(const NsCameraExtrinsicParameters& extrinsics);

// The measuring range of one depth range within its group's record: position 0 near,
// 1 mid, 2 far. "effective 1 to 1450 mm, maximum 1848 mm"
std::string MeasuringRangeText(const NsMeasuringRange& range, unsigned position);

// A counted list as the camera delivers it (a count byte, then one byte per entry) into
// "0 1 2 10". `delivered` is what arrived; a count that reaches past it, or past
// `maxEntries`, makes the list malformed: false, with `text` saying so.
bool CountedListText(const uint8_t* data, size_t delivered, size_t maxEntries, std::string& text);

}  // namespace quorix::cli
