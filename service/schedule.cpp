#include "service/schedule.h"

int64_t seconds_of_day(const LocalTime *t)
{
    return (int64_t)(t->hour * 3600 + t->minute * 60 + t->second);
}

bool dot_due(int64_t seconds)
{
    return seconds % 10 == 0;
}

bool cycle_due(int64_t seconds, int32_t sample_period)
{
    int64_t cycle_phase = seconds % (int64_t)sample_period;
    return cycle_phase < 2;
}
