// The simulator's command line.
#pragma once

#include "sim_device.h"

#include <cstdint>
#include <cstdio>

enum { ERROR_TEXT_SIZE = 512 };

struct SimOptions {
    uint32_t address; // network byte order
    char address_text[16];
    bool quiet;
    bool help;
    DeviceSpec specs[MAX_DEVICE_SPECS];
    int spec_count;
    int device_count; // ports served, ranges expanded
};

// Fills options from the arguments. Returns false with a one-line reason in
// error when an option or value is not understood.
bool parse_command_line(int argc, char **argv, SimOptions *options, char *error, int error_size);

void print_usage(std::FILE *out);
