// Frame time stamps: the library stamps each frame with the local time it was received
// (decoded by the header's NsDecodeTimestamp). The latency of a frame is the local time at
// delivery minus that stamp.
#pragma once

#include <cstdint>
#include <optional>

namespace quorix::cli {

struct ClockTime {
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t millisecond = 0;
};

constexpr int64_t kMillisecondsPerDay = 24LL * 60 * 60 * 1000;

// The stamp's fields; nothing when one of them is out of range.
std::optional<ClockTime> DecodeStamp(uint64_t stamp);
// The stamp for a time of day (the inverse of DecodeStamp).
uint64_t EncodeStamp(const ClockTime& time);

int64_t MillisecondOfDay(const ClockTime& time);

// Milliseconds from the stamp to `now`. A stamp from before midnight read after it wraps
// round the day. Nothing for an invalid stamp, or one that lies ahead of `now` (clock
// stepped back): latencies of half a day or more are taken for such stamps.
std::optional<int64_t> LatencyMs(uint64_t stamp, const ClockTime& now);

// The local time of day now, with milliseconds.
ClockTime LocalClockNow();

}  // namespace quorix::cli
