// meter.csv: written as text, so every line ends CR CR LF on disk.
#include "report/reading_log.h"

#include "platform/console.h"

namespace
{

void write_row(TextFile *log, const LocalTime *t, int32_t id, int32_t network_fault, int32_t fault,
               double total, int32_t units, float rate)
{
    text_printf(log, "%04d/%02d/%02d , %02d:%02d , %04d , %01d , %01d , %15.3f , ", t->year,
                t->month, t->day, t->hour, t->minute, (int)id, (int)network_fault, (int)fault,
                total);
    text_printf(log, "%s", unit_word(units));
    text_printf(log, "%12.3f\r\n", (double)rate);
}

} // namespace

const char *unit_word(int32_t units)
{
    switch (units) {
    case 0:
        return "GAL , ";
    case 1:
        return "LITERS , ";
    case 2:
        return "CUBIC_FEET , ";
    case 3:
        return "CUBIC_METERS , ";
    case 4:
        return "LBS , ";
    case 5:
        return "KILOGRAMS , ";
    case 6:
        return "ACRE_FEET , ";
    default:
        return "UNITS , ";
    }
}

void open_reading_log(TextFile *log, const char *path)
{
    // The probe decides whether the file is new; an existing file, even an
    // empty one, is appended to at whatever end it has now.
    TextFile probe;
    if (text_open(&probe, path, "r")) {
        text_close(&probe);
        if (text_open(log, path, "at"))
            return;
    } else if (text_open(log, path, "wx")) {
        text_printf(log, "Date , Time , Meter_ID , Network_Fault , Meter_Fault , Meter_Reading , "
                         "Units , Rate_of_Flow\r\n");
        // On disk at once: a new log is never left without its header.
        text_flush(log);
        return;
    } else if (text_open(log, path, "at")) {
        // The file exists but cannot be read: append to it rather than
        // truncate the readings it holds.
        return;
    }
    log->fp = nullptr;
    console_printf("\r\nError: Unable to open file 'meter.csv'\r\n");
}

void write_reading_rows(TextFile *log, const MeterRecord *r, const LocalTime *cycle_time)
{
    if (log->fp == nullptr)
        return;
    if (r->ch_a_active == 1)
        write_row(log, cycle_time, r->ch_a_id, r->network_fault, r->fault_a, r->total_a, r->units_a,
                  r->rate_a);
    if (r->ch_b_active == 1)
        write_row(log, cycle_time, r->ch_b_id, r->network_fault, r->fault_b, r->total_b, r->units_b,
                  r->rate_b);
    // Each device's rows reach the file as soon as they are written.
    text_flush(log);
}

void close_reading_log(TextFile *log)
{
    if (log->fp != nullptr)
        text_close(log);
}
