// The meter-reading service: reads sites.txt, then polls every device at
// each period boundary of the local time of day, for as long as it runs.
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/net.h"
#include "platform/process.h"
#include "service/polling_cycle.h"
#include "service/schedule.h"
#include "sites/meter_record.h"
#include "sites/site_list.h"

#include <cstdint>

namespace
{

enum { PASS_PAUSE_MS = 1000 };

const char SITE_LIST_PATH[] = "sites.txt";
const char READING_LOG_PATH[] = "meter.csv";

MeterTable table; // the meter table ms and N, for the whole run

} // namespace

int main()
{
    int32_t sample_period = 0;
    int32_t message_count = 0;

    stop_handlers_install();

    if (!load_site_list(SITE_LIST_PATH, &table, &sample_period))
        process_exit(1);
    reset_measurements(&table);

    console_printf("\nInitializing Winsock...");
    int error = net_startup();
    if (error != 0) {
        console_printf("WSAStartup() Failed. Error Code : %d\r\n", error);
        process_exit(1);
    }
    console_printf("Initialized.\r\n\n");

    while (!stop_requested()) {
        LocalTime cycle_time;
        clock_local_time(clock_now(), &cycle_time);
        int64_t seconds = seconds_of_day(&cycle_time);
        if (dot_due(seconds))
            console_printf(".");
        if (cycle_due(seconds, sample_period))
            run_polling_cycle(&table, &message_count, &cycle_time, READING_LOG_PATH);
        pause_unless_stopped(PASS_PAUSE_MS);
    }
    process_exit(0);
}
