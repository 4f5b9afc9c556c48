// Calendar time, local time and pauses.
#pragma once

#include <cstdint>

struct LocalTime {
    int year;   // full year, e.g. 2026
    int month;  // 1-12
    int day;    // 1-31
    int hour;   // 0-23
    int minute; // 0-59
    int second; // 0-60 (60 on a leap second)
};

// Seconds since 1970-01-01 00:00:00 UTC.
int64_t clock_now(void);

// Local broken-down time of t, daylight saving included. The time zone is
// taken from TZ when it is set and not empty, else from the system; it is
// read at the first call and kept for the rest of the run.
void clock_local_time(int64_t t, LocalTime *out);

// Microseconds on a clock that only runs forward, for measuring spans.
int64_t clock_monotonic_us(void);

// Pauses the calling thread for at least us microseconds, resuming after a
// signal until the whole pause has passed.
void sleep_us(int64_t us);
