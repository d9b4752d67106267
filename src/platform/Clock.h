// The host's wall clock, broken down in its local time zone.
#pragma once

namespace quorix::platform {

struct LocalTime {
    int year = 0;   // four digits
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// Now, in local time. Allocates nothing, so the frame reader may call it per buffer.
LocalTime LocalTimeNow();

}  // namespace quorix::platform
