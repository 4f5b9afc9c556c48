// What one simulated device (or a range of identical ones) serves, as the
// command line describes it.
#pragma once

#include <cstdint>

enum {
    REGISTER_BYTES = 52, // registers 0-25, high byte first
    MAX_DEVICE_SPECS = 1024,
    MAX_DEVICES = 2048, // ports served, ranges expanded
    DEFAULT_DELAY_MS = 200,
};

// How a device answers once its first `after` requests have been answered
// normally.
enum ReplyMode {
    MODE_ANSWER,     // the 61-byte reply
    MODE_SILENT,     // no reply at all
    MODE_SHORT,      // the reply without its last byte: 60 bytes
    MODE_LONG,       // the reply and one more byte: 62 bytes
    MODE_EXCEPTION,  // Modbus exception 02, 9 bytes
    MODE_SPLIT,      // the reply in two parts delay_ms apart
    MODE_DELAY,      // the reply after delay_ms
    MODE_OTHER_PORT, // UDP only: the reply comes from another port
};

struct DeviceSpec {
    bool tcp;
    uint16_t first_port; // 0: any free port
    uint16_t last_port;  // equal to first_port unless a range was given
    uint8_t registers[REGISTER_BYTES];
    uint32_t grow_a; // added to the channel totals after every data reply
    uint32_t grow_b;
    ReplyMode mode;
    int delay_ms;
    uint32_t after; // requests answered normally before mode applies
};
