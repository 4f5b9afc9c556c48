// Polling a device in this process, with the console captured and the
// process's open descriptors counted around the poll.
#pragma once

#include "sites/meter_record.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

// A record for a device on this host, as the site list would give it.
MeterRecord device_record(const char *hostname, int port, bool tcp);

struct PollResult {
    std::string console; // the exact bytes the poll wrote
    double seconds;      // how long it took
};

// Polls the device with the console captured. Fails the test if the poll
// leaves a descriptor of this process open.
PollResult poll_captured(MeterRecord *r, int32_t message_count);

// The line a poll prints for a host that resolves to 127.0.0.1, as it
// reaches the console.
std::string resolved_line(const char *hostname);

// Names the cases of a test run once over TCP (true) and once over UDP.
std::string transport_name(const testing::TestParamInfo<bool> &info);
