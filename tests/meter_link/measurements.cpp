#include "measurements.h"

#include <gtest/gtest.h>

#include <cmath>

const char GOOD_DEVICE_SETTINGS[] = "total-a=123456,scale-a=1,rate-a=-2500,fault-a=1,unit-a=3,"
                                    "total-b=4294967295,rate-b=1500,fault-b=2,unit-b=-1";

// The same values as register words; unused registers carry noise.
const uint16_t GOOD_DEVICE_REGISTERS[26] = {
    0x0001, 0xE240, // 0-1: total A 123456
    0xFFFF, 0xFFFF, // 2-3: total B 4294967295
    0xFFFF, 0xF63C, // 4-5: rate A -2500
    0x0000, 0x05DC, // 6-7: rate B 1500
    0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA,
    0x0001, // 14: fault A
    0x0002, // 15: fault B byte 2, no fault
    0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA,
    0x0001, // 20: scale A
    0x0000, // 21: scale B
    0x0003, // 22: unit A
    0x00FF, // 23: unit B -1
    0xAAAA, 0xAAAA,
};

void set_channel(MeterRecord *r, char channel, const ChannelValues &v)
{
    bool a = channel == 'A';
    (a ? r->total_a_raw : r->total_b_raw) = v.total_raw;
    (a ? r->total_a : r->total_b) = v.total;
    (a ? r->rate_a_raw : r->rate_b_raw) = v.rate_raw;
    (a ? r->rate_a : r->rate_b) = v.rate;
    (a ? r->fault_a : r->fault_b) = v.fault;
    (a ? r->scale_a : r->scale_b) = v.scale;
    (a ? r->units_a : r->units_b) = v.units;
}

MeterRecord good_measurements(void)
{
    MeterRecord r = {};
    set_channel(&r, 'A', {123456, 1234560.0, -2500, -2.5f, 1, 1, 3});
    set_channel(&r, 'B', {4294967295u, 4294967295.0, 1500, 1.5f, 0, 0, -1});
    return r;
}

void set_earlier_measurements(MeterRecord *r)
{
    set_channel(r, 'A', {11, 1100.0, 3300, 3.3f, 1, 2, 5});
    set_channel(r, 'B', {22, 22.0, -4400, -4.4f, 1, 0, -7});
}

namespace
{

void expect_same_total(double expected, double got, const char *name)
{
    if (std::isnan(expected))
        EXPECT_TRUE(std::isnan(got)) << name << " " << got << ", expected not a number";
    else
        EXPECT_EQ(expected, got) << name;
}

} // namespace

void expect_same_measurements(const MeterRecord &expected, const MeterRecord &got)
{
    EXPECT_EQ(expected.total_a_raw, got.total_a_raw);
    EXPECT_EQ(expected.total_b_raw, got.total_b_raw);
    expect_same_total(expected.total_a, got.total_a, "total_a");
    expect_same_total(expected.total_b, got.total_b, "total_b");
    EXPECT_EQ(expected.rate_a_raw, got.rate_a_raw);
    EXPECT_EQ(expected.rate_b_raw, got.rate_b_raw);
    EXPECT_EQ(expected.rate_a, got.rate_a);
    EXPECT_EQ(expected.rate_b, got.rate_b);
    EXPECT_EQ(expected.fault_a, got.fault_a);
    EXPECT_EQ(expected.fault_b, got.fault_b);
    EXPECT_EQ(expected.scale_a, got.scale_a);
    EXPECT_EQ(expected.scale_b, got.scale_b);
    EXPECT_EQ(expected.units_a, got.units_a);
    EXPECT_EQ(expected.units_b, got.units_b);
}
