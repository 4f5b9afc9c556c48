// Calendar time, local time and pauses on Windows.
#include "platform/clock.h"

#include <ctime>
#include <windows.h>
#include <timeapi.h>

int64_t clock_now(void)
{
    return (int64_t)_time64(nullptr);
}

void clock_local_time(int64_t t, LocalTime *out)
{
    static bool zone_read = false;
    if (!zone_read) {
        _tzset(); // TZ, else the system's zone, read once and kept for the run
        zone_read = true;
    }
    __time64_t when = (__time64_t)t;
    struct tm broken = {};
    _localtime64_s(&broken, &when);
    out->year = broken.tm_year + 1900;
    out->month = broken.tm_mon + 1;
    out->day = broken.tm_mday;
    out->hour = broken.tm_hour;
    out->minute = broken.tm_min;
    out->second = broken.tm_sec;
}

int64_t clock_monotonic_us(void)
{
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (int64_t)(now.QuadPart / frequency.QuadPart * 1000000 +
                     now.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart);
}

void sleep_us(int64_t us)
{
    // The system tick is 15.6 ms unless asked for finer: the reply wait's
    // 500 pauses of 10 ms would otherwise last about 8 seconds.
    static bool fine_timer = false;
    if (!fine_timer) {
        timeBeginPeriod(1);
        fine_timer = true;
    }
    // Sleep counts whole milliseconds and may wake a little early.
    int64_t now = clock_monotonic_us();
    int64_t end = now + us;
    while (now < end) {
        Sleep((DWORD)((end - now + 999) / 1000));
        now = clock_monotonic_us();
    }
}
