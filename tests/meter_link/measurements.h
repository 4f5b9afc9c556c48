// Measurements of a meter record as the tests set and compare them.
#pragma once

#include "sites/meter_record.h"

#include <cstdint>

// One channel's measurements, in the order of the record's fields.
struct ChannelValues {
    uint32_t total_raw;
    double total;
    int32_t rate_raw;
    float rate;
    int32_t fault;
    uint32_t scale;
    int32_t units;
};

// Sets the measurements of channel 'A' or 'B'.
void set_channel(MeterRecord *r, char channel, const ChannelValues &v);

// The values a well-behaved test device serves, as simulator settings and as
// the 26 register words, and the measurements they decode to.
extern const char GOOD_DEVICE_SETTINGS[];
extern const uint16_t GOOD_DEVICE_REGISTERS[26];
MeterRecord good_measurements(void);

// Fills every measurement with values no test device serves, as left by an
// earlier reply.
void set_earlier_measurements(MeterRecord *r);

// Expects every measurement of got to equal that of expected; a total that
// is not a number equals one that is not a number.
void expect_same_measurements(const MeterRecord &expected, const MeterRecord &got);
