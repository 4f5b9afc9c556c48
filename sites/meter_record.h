// One device of the site list and the table that holds them all.
#pragma once

#include <cstdint>

enum { METER_TABLE_SIZE = 512, HOSTNAME_SIZE = 256 };

struct MeterRecord {
    // From the site list; never changed after start-up.
    char hostname[HOSTNAME_SIZE];
    uint8_t use_tcp; // 1: TCP, 0: UDP
    int32_t tcp_udp_port;
    // 1 from the start of a poll until a reply has been decoded.
    int32_t network_fault;
    int32_t ch_a_active;
    int32_t ch_b_active;
    int32_t ch_a_id; // 0: channel A inactive
    int32_t ch_b_id; // 0: channel B inactive
    // Measurements of the last decoded reply, or zeros.
    uint32_t total_a_raw;
    uint32_t total_b_raw;
    double total_a;
    double total_b;
    int32_t rate_a_raw; // thousandths
    int32_t rate_b_raw;
    float rate_a;
    float rate_b;
    int32_t fault_a;
    int32_t fault_b;
    uint32_t scale_a; // unsigned 16-bit decimal exponent
    uint32_t scale_b;
    int32_t units_a; // unit code, sign-extended from one byte
    int32_t units_b;
};

struct MeterTable {
    MeterRecord ms[METER_TABLE_SIZE];
    int count; // N: loaded records, at least 1 once loaded
};

// Zeroes the measurements and the network fault of every loaded record.
void reset_measurements(MeterTable *table);
