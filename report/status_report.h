// The console status block of one device.
#pragma once

#include "sites/meter_record.h"

// position is the record's index in the table plus 1.
void print_meter_status(const MeterRecord *record, int position);
