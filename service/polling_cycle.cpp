#include "service/polling_cycle.h"

#include "meter_link/meter_poll.h"
#include "platform/console.h"
#include "platform/process.h"
#include "platform/text_file.h"
#include "report/reading_log.h"
#include "report/status_report.h"

void run_polling_cycle(MeterTable *table, int32_t *message_count, const LocalTime *cycle_time,
                       const char *log_path)
{
    TextFile log;
    console_printf("\r\n\nStart Polling Cycle...\r\n");
    open_reading_log(&log, log_path);
    for (int i = 0; i < table->count; i++) {
        MeterRecord *record = &table->ms[i];
        poll_meter(record, *message_count);
        print_meter_status(record, i + 1);
        write_reading_rows(&log, record, cycle_time);
        // Stop between devices, never inside a row.
        if (stop_requested())
            break;
    }
    // Counts wrap like the 32-bit counter they are; only the low 16 bits
    // reach the wire.
    *message_count = (int32_t)((uint32_t)*message_count + 1u);
    close_reading_log(&log);
    pause_unless_stopped(CYCLE_PAUSE_MS);
}
