// Decoding of frame time stamps and the latency of a frame.
#include "cli/FrameClock.h"

#include <chrono>
#include <ctime>

#include <quorix/quorix_api.h>

namespace quorix::cli {

std::optional<ClockTime> DecodeStamp(uint64_t stamp) {
    NsTimeOfDay decoded{};
    if (NsDecodeTimestamp(stamp, &decoded) == 0) {
        return std::nullopt;
    }
    return ClockTime{decoded.hour, decoded.minute, decoded.second, decoded.millisecond};
}

uint64_t EncodeStamp(const ClockTime& time) {
    return static_cast<uint64_t>(time.second) | static_cast<uint64_t>(time.minute) << 16 |
           static_cast<uint64_t>(time.hour) << 32 | static_cast<uint64_t>(time.millisecond) << 48;
}

int64_t MillisecondOfDay(const ClockTime& time) {
    return ((time.hour * 60LL + time.minute) * 60 + time.second) * 1000 + time.millisecond;
}

std::optional<int64_t> LatencyMs(uint64_t stamp, const ClockTime& now) {
    const std::optional<ClockTime> received = DecodeStamp(stamp);
    if (!received) {
        return std::nullopt;
    }
    int64_t latency = MillisecondOfDay(now) - MillisecondOfDay(*received);
    if (latency < 0) {
        latency += kMillisecondsPerDay;
    }
    if (latency >= kMillisecondsPerDay / 2) {
        return std::nullopt;
    }
    return latency;
}

ClockTime LocalClockNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    ClockTime t;
    t.hour = static_cast<uint16_t>(local.tm_hour);
    t.minute = static_cast<uint16_t>(local.tm_min);
    t.second = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);  // leap second
    t.millisecond = static_cast<uint16_t>(ms.count());
    return t;
}

}  // namespace quorix::cli
