// One poll of one device over TCP or UDP.
#pragma once

#include "sites/meter_record.h"

#include <cstdint>

enum {
    REPLY_TIMEOUT_MS = 5000, // the whole wait for the reply
    WAIT_STEP_MS = 10,       // pause between two checks of the bytes waiting
    CONNECT_TIMEOUT_MS = 5000,
};

// Sends the cycle's request and decodes a reply into record. The outcome is
// only in the record: network_fault stays 1 unless a reply was decoded, and
// the measurements change only when one was. Failing socket calls are
// printed on the console.
void poll_meter(MeterRecord *record, int32_t message_count);
