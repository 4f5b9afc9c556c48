// The schedule's decisions: when a dot is printed and when a cycle starts.
#include "service/schedule.h"

#include <gtest/gtest.h>

namespace
{

int64_t at(int hour, int minute, int second)
{
    LocalTime t = {2026, 12, 11, hour, minute, second};
    return seconds_of_day(&t);
}

TEST(Schedule, CycleWindowIsTwoSecondsAfterEachMultipleOfThePeriod)
{
    struct {
        int32_t period;
        int64_t seconds;
        bool due;
    } table[] = {
        // Periods of 1 and 2 make every pass a cycle.
        {1, at(12, 0, 0), true},
        {1, at(12, 0, 1), true},
        {2, at(12, 0, 1), true},
        {2, at(12, 0, 3), true},
        // 60: seconds 0 and 1 of every minute.
        {60, at(12, 34, 0), true},
        {60, at(12, 34, 1), true},
        {60, at(12, 34, 2), false},
        {60, at(12, 34, 59), false},
        // 900: hh:00, hh:15, hh:30, hh:45.
        {900, at(7, 15, 0), true},
        {900, at(7, 30, 1), true},
        {900, at(7, 44, 59), false},
        {900, at(7, 15, 2), false},
        // 7 does not divide a day: the alignment starts again at midnight.
        {7, at(0, 0, 0), true},
        {7, at(0, 0, 7), true},
        {7, at(0, 0, 8), true},
        {7, at(0, 0, 9), false},
        {7, at(23, 59, 59), false}, // 86399 = 7 * 12342 + 5
        {7, at(23, 59, 55), true},  // 86395 = 7 * 12342 + 1
        // Midnight and the second before it.
        {900, at(23, 59, 59), false},
        {900, at(0, 0, 0), true},
        // A negative period behaves like its absolute value.
        {-60, at(12, 34, 0), true},
        {-60, at(12, 34, 1), true},
        {-60, at(12, 34, 2), false},
        {INT32_MIN, at(0, 0, 1), true},
        {INT32_MIN, at(12, 0, 0), false},
        {INT32_MAX, at(0, 0, 0), true},
        {INT32_MAX, at(23, 59, 59), false},
    };
    for (const auto &row : table)
        EXPECT_EQ(row.due, cycle_due(row.seconds, row.period))
            << "period " << row.period << " second " << row.seconds;
}

TEST(Schedule, DotOnEveryMultipleOfTenSeconds)
{
    EXPECT_TRUE(dot_due(at(0, 0, 0)));
    EXPECT_TRUE(dot_due(at(12, 34, 50)));
    EXPECT_FALSE(dot_due(at(12, 34, 51)));
    EXPECT_FALSE(dot_due(at(23, 59, 59)));
}

} // namespace
