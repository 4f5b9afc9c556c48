// The register image of a simulated device and the replies built from it.
#pragma once

#include "sim_device.h"

#include <cstdint>

enum {
    REPLY_HEADER_BYTES = 9, // transaction, protocol, length, unit, function, byte count
    FULL_REPLY_BYTES = REPLY_HEADER_BYTES + REGISTER_BYTES, // 61
    EXCEPTION_REPLY_BYTES = 9,
    MAX_REPLY_BYTES = FULL_REPLY_BYTES + 1,
    SPLIT_FIRST_PART = 30, // bytes in the first part of a split reply
};

// Writes value, high byte first, into width bytes of the image from data_byte.
void put_register_bytes(uint8_t *registers, int data_byte, int width, uint64_t value);

// Adds the growth of each channel to its total, wrapping at 32 bits.
void grow_totals(uint8_t *registers, uint32_t grow_a, uint32_t grow_b);

// Builds the reply of the given mode to a request (of any length; missing
// header bytes are taken as zero). Returns the reply's length: 61 for a
// normal reply, 60 for MODE_SHORT, 62 for MODE_LONG, 9 for MODE_EXCEPTION.
int build_reply(const uint8_t *request, int request_length, const uint8_t *registers,
                ReplyMode mode, uint8_t *reply);
