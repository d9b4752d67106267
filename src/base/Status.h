// The library's internal status codes, one name each. Operations return 0 or one of these;
// the public layer passes 0, -1 to -19 and -101 to -105 on unchanged and turns anything
// else into -255 with a log line, so a code here means the same inside and out.
#pragma once

#include <cstdint>

namespace quorix {

inline constexpr int32_t kStatusOk = 0;
// A lower layer failed, a record does not fit, or nothing was done.
inline constexpr int32_t kStatusFailed = -1;
inline constexpr int32_t kStatusNotStreaming = -2;
inline constexpr int32_t kStatusBadHandle = -3;
// The frame type asked for is invalid or has no frame ready.
inline constexpr int32_t kStatusNoFrame = -4;
inline constexpr int32_t kStatusNullFrame = -5;
inline constexpr int32_t kStatusBadDepthRange = -10;
inline constexpr int32_t kStatusFrameTimeout = -11;
inline constexpr int32_t kStatusNullPointer = -12;
// The camera, or one of its channels, is not open or could not be opened.
inline constexpr int32_t kStatusNotOpened = -13;
// A value outside its range, or a size that does not match.
inline constexpr int32_t kStatusBadParameter = -15;
inline constexpr int32_t kStatusAlreadyOpened = -103;
// A command exchange failed on the wire, or its reply was short or malformed.
inline constexpr int32_t kStatusTransferError = -104;
// The camera never showed a sent setting in its status echo.
inline constexpr int32_t kStatusNotConfirmed = -105;
// "Not Support.": the camera's protocol or the current mode does not offer the operation.
inline constexpr int32_t kStatusNotSupported = -255;

}  // namespace quorix
