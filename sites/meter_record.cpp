#include "sites/meter_record.h"

void reset_measurements(MeterTable *table)
{
    for (int i = 0; i < table->count; i++) {
        MeterRecord *r = &table->ms[i];
        r->total_a_raw = 0;
        r->total_b_raw = 0;
        r->total_a = 0.0;
        r->total_b = 0.0;
        r->rate_a_raw = 0;
        r->rate_b_raw = 0;
        r->rate_a = 0.0f;
        r->rate_b = 0.0f;
        r->fault_a = 0;
        r->fault_b = 0;
        r->scale_a = 0;
        r->scale_b = 0;
        r->units_a = 0;
        r->units_b = 0;
        r->network_fault = 0;
    }
}
