// One polling cycle: every device polled, reported and logged once.
#pragma once

#include "platform/clock.h"
#include "sites/meter_record.h"

#include <cstdint>

enum { CYCLE_PAUSE_MS = 4000 };

// Polls every record in table order with the cycle's message_count, prints
// its status block and appends its rows to the log, then advances
// message_count. A stop request ends the cycle after the device in hand.
void run_polling_cycle(MeterTable *table, int32_t *message_count, const LocalTime *cycle_time,
                       const char *log_path);
