// Local time of day through the POSIX real-time clock.
#include "platform/Clock.h"

#include <ctime>

namespace quorix::platform {

LocalTime LocalTimeNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    LocalTime out;
    out.year = local.tm_year + 1900;
    out.month = local.tm_mon + 1;
    out.day = local.tm_mday;
    out.hour = local.tm_hour;
    out.minute = local.tm_min;
    out.second = local.tm_sec;
    out.millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return out;
}

}  // namespace quorix::platform
