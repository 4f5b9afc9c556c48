// Calendar time, local time and pauses on Linux.
#include "platform/clock.h"

#include <cerrno>
#include <ctime>
#include <sys/prctl.h>

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

int64_t clock_monotonic_us(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * 1000000 + now.tv_nsec / 1000;
}

void sleep_us(int64_t us)
{
    // The kernel may otherwise defer a wake-up by 50 us to batch it with
    // others; 500 of them would add a quarter of a second to a reply wait.
    static bool fine_timer = false;
    if (!fine_timer) {
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        fine_timer = true;
    }
    struct timespec left = {(time_t)(us / 1000000), (long)(us % 1000000) * 1000};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
