// The reply wait's pauses, kept on a fixed grid.
#pragma once

#include <cstdint>

// A run of equal pauses: each ends a whole number of steps after
// pace_start, so the time the system takes to wake the thread is not added
// to every step. A pause never ends before its point on the grid. A thread
// held up for a whole step or more gets a full step from where it is, and
// the grid goes on from there: late steps are never made up in a burst. So
// n pauses of ms last at least n * ms in all.
struct PaceTimer {
    int64_t next_us; // where the last pause ended on the grid, monotonic clock
};

void pace_start(PaceTimer *pace);

// Pauses until the grid's next point, ms after the last one.
void pace_wait(PaceTimer *pace, int ms);
