// The site list: the polling period and one line per device.
#pragma once

#include "sites/meter_record.h"

#include <cstdint>

// Reads the site list at path into table, echoing every line and field on
// the console. On a malformed list it prints the failure's message and
// returns false; the caller ends the process.
bool load_site_list(const char *path, MeterTable *table, int32_t *sample_period);
