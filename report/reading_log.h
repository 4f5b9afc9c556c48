// The reading log meter.csv: one row per active channel per cycle.
#pragma once

#include "platform/clock.h"
#include "platform/text_file.h"
#include "sites/meter_record.h"

// Opens the log for appending, creating it with its header when it is
// missing. When it cannot be opened, prints a console message and leaves
// log closed, so that the cycle's rows are skipped.
void open_reading_log(TextFile *log, const char *path);

// Appends the rows of the record's active channels, channel A first, stamped
// with the cycle's date and minute. Does nothing when the log is closed.
void write_reading_rows(TextFile *log, const MeterRecord *record, const LocalTime *cycle_time);

void close_reading_log(TextFile *log);

// The word written for a unit code, with its trailing separator.
const char *unit_word(int32_t units);
