// The register read exchange: a Modbus TCP framed read of 26 holding
// registers from unit 1, sent unchanged over TCP or UDP.
#pragma once

#include "sites/meter_record.h"

#include <cstdint>

enum {
    REQUEST_LENGTH = 12,
    REGISTER_COUNT = 26,
    REPLY_DATA_OFFSET = 9,                                 // 7 header bytes, function, byte count
    REPLY_LENGTH = REPLY_DATA_OFFSET + 2 * REGISTER_COUNT, // 61: the only size accepted
    MESSAGE_BUFFER_SIZE = 512,
};

// Fills the first 12 bytes of msg_out with the request of the cycle whose
// count is message_count.
void build_read_request(int32_t message_count, uint8_t *msg_out);

// Decodes every measurement of both channels from a reply. Nothing in the
// reply is checked; network_fault is left alone.
void decode_read_reply(const uint8_t *msg_in, MeterRecord *record);
