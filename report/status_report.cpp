#include "report/status_report.h"

#include "platform/console.h"

void print_meter_status(const MeterRecord *r, int position)
{
    console_printf(r->network_fault != 0 ? "Network Fault : YES\r\n" : "Network Fault : NO\r\n");
    console_printf("Quorvane %d\r\n", position);
    console_printf("Total Ch.A: %15.3f\r\n", r->total_a);
    console_printf("Rate Ch.A: %12.3f\r\n", (double)r->rate_a);
    console_printf(r->fault_a != 0 ? "Fault Ch.A: YES\r\n" : "Fault Ch.A: NO\r\n");
    console_printf("Total Ch.B: %15.3f\r\n", r->total_b);
    console_printf("Rate Ch.B: %12.3f\r\n", (double)r->rate_b);
    console_printf(r->fault_b != 0 ? "Fault Ch.B: YES\r\n" : "Fault Ch.B: NO\r\n");
    console_printf("\n");
}
