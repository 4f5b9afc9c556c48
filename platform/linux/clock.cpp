// Calendar time, local time and pauses on Linux.
#include "platform/clock.h"

#include <cerrno>
#include <ctime>

int64_t clock_now(void)
{
    return (int64_t)time(nullptr);
}

void clock_local_time(int64_t t, LocalTime *out)
{
    static bool zone_read = false;
    if (!zone_read) {
        tzset(); // TZ is read once and kept for the run
        zone_read = true;
    }
    time_t when = (time_t)t;
    struct tm broken = {};
    localtime_r(&when, &broken);
    out->year = broken.tm_year + 1900;
    out->month = broken.tm_mon + 1;
    out->day = broken.tm_mday;
    out->hour = broken.tm_hour;
    out->minute = broken.tm_min;
    out->second = broken.tm_sec;
}

void sleep_ms(int ms)
{
    struct timespec left = {ms / 1000, (long)(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
