// When the schedule loop prints its dot and starts a cycle.
#pragma once

#include "platform/clock.h"

#include <cstdint>

int64_t seconds_of_day(const LocalTime *t);

// A dot on every pass whose second of the day is a multiple of ten.
bool dot_due(int64_t seconds_of_day);

// A cycle when the second of the day is at a multiple of the period or one
// second after it. The remainder follows the sign of seconds_of_day, so a
// negative period behaves like its absolute value. period must not be 0.
bool cycle_due(int64_t seconds_of_day, int32_t sample_period);
