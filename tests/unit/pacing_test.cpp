// Paced pauses: never shorter than their steps added up, and a hold-up is
// not made up afterwards in a burst of short pauses.
#include "meter_link/pace_timer.h"

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace
{

using Clock = std::chrono::steady_clock;

long long ms_since(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count() /
           1000;
}

TEST(PaceTimer, StepsLastAtLeastTheirSum)
{
    PaceTimer pace;
    Clock::time_point start = Clock::now();
    pace_start(&pace);
    for (int i = 0; i < 20; i++)
        pace_wait(&pace, 10);
    EXPECT_GE(ms_since(start), 200);
}

TEST(PaceTimer, AHoldUpIsNotMadeUpInABurst)
{
    PaceTimer pace;
    pace_start(&pace);
    pace_wait(&pace, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(35)); // three steps and a half late
    Clock::time_point resumed = Clock::now();
    for (int i = 0; i < 3; i++)
        pace_wait(&pace, 10);
    EXPECT_GE(ms_since(resumed), 30);
}

} // namespace
