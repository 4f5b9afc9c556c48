#include "meter_link/pace_timer.h"

#include "platform/clock.h"

void pace_start(PaceTimer *pace)
{
    pace->next_us = clock_monotonic_us();
}

void pace_wait(PaceTimer *pace, int ms)
{
    int64_t step = (int64_t)ms * 1000;
    int64_t now = clock_monotonic_us();
    pace->next_us += step;
    // Held up for a whole step or more: a full step from here. A sleep that
    // ended early never makes the next pause longer than a step either.
    if (pace->next_us <= now || pace->next_us > now + step)
        pace->next_us = now + step;
    sleep_us(pace->next_us - now);
}
