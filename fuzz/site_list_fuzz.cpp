// Fuzz target: any bytes as the site list.
//
// The reader must never crash or step outside its buffers, and must end
// either with a loaded table (1 to 512 records, every host name terminated
// inside its field) or with exactly one of its error messages as the last
// console text, the one that fits where it stopped.
#include "fuzz/scratch.h"
#include "sites/site_list.h"

#include <cstdio>
#include <cstring>

namespace
{

enum { TAIL_SIZE = 512, CTRL_Z = 0x1A };

// The messages as they reach the console, every line feed written as CR LF.
const char EMPTY_FILE[] = "\r\r\nError reading TCP/UDP? from file 'sites.txt'\r\r\n";
const char PERIOD_ZERO[] = "\r\r\nError: sample period must not be 0 in file 'sites.txt'\r\r\n";
const char TOO_MANY[] = "\r\r\nError: more than 512 Quorvanes in file 'sites.txt'\r\r\n";
const char NO_DEVICE[] = "\r\r\nError reading from file 'sites.txt'\r\r\n";
const char BAD_DEVICE[] =
    "\r\r\nError reading TCP/UDP? for Quorvane No. %d from file 'sites.txt'\r\r\n";
const char LOADED[] = "\r\r\nN Quorvanes = %d\r\r\n";

MeterTable table;

bool ends_with(const char *tail, const char *suffix)
{
    size_t length = std::strlen(tail);
    size_t suffix_length = std::strlen(suffix);
    return length >= suffix_length &&
           std::memcmp(tail + length - suffix_length, suffix, suffix_length) == 0;
}

bool ends_with_number(const char *tail, const char *format, int n)
{
    char text[TAIL_SIZE];
    std::snprintf(text, sizeof text, format, n);
    return ends_with(tail, text);
}

void check_loaded_table(int32_t period)
{
    FUZZ_CHECK(period != 0);
    FUZZ_CHECK(table.count >= 1 && table.count <= METER_TABLE_SIZE);
    for (int i = 0; i < table.count; i++) {
        const MeterRecord *r = &table.ms[i];
        const char *end = (const char *)std::memchr(r->hostname, '\0', sizeof r->hostname);
        FUZZ_CHECK(end != nullptr);
        FUZZ_CHECK(end > r->hostname && std::strchr(r->hostname, ' ') == nullptr);
        FUZZ_CHECK(r->ch_a_active == (r->ch_a_id != 0 ? 1 : 0));
        FUZZ_CHECK(r->ch_b_active == (r->ch_b_id != 0 ? 1 : 0));
        FUZZ_CHECK(r->use_tcp == 0 || r->use_tcp == 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    scratch_begin();
    char path[SCRATCH_PATH_SIZE];
    scratch_path("sites.txt", path, sizeof path);
    FUZZ_CHECK(scratch_write(path, data, size));

    // A pattern in every byte shows up any field left unwritten or unterminated.
    std::memset(&table, 0xA5, sizeof table);
    int32_t period = 0x5A5A5A5A;
    bool loaded = load_site_list(path, &table, &period);

    char tail[TAIL_SIZE];
    long length = console_take(tail, sizeof tail);
    // Text mode ends the file at the first Ctrl-Z.
    bool empty = size == 0 || data[0] == CTRL_Z;

    if (loaded) {
        check_loaded_table(period);
        FUZZ_CHECK(ends_with_number(tail, LOADED, table.count));
        FUZZ_CHECK(!empty);
        return 0;
    }
    // Which error fits where the reader stopped: exactly one must end the text.
    bool is_empty = ends_with(tail, EMPTY_FILE);
    bool is_period = ends_with(tail, PERIOD_ZERO);
    bool is_too_many = ends_with(tail, TOO_MANY);
    bool is_no_device = ends_with(tail, NO_DEVICE);
    bool is_bad_device = ends_with_number(tail, BAD_DEVICE, table.count);
    FUZZ_CHECK(is_empty + is_period + is_too_many + is_no_device + is_bad_device == 1);
    FUZZ_CHECK(is_empty == empty);
    if (is_empty)
        FUZZ_CHECK(length == (long)std::strlen(EMPTY_FILE));
    if (is_period)
        FUZZ_CHECK(period == 0 && table.count == 0);
    if (is_too_many)
        FUZZ_CHECK(table.count == METER_TABLE_SIZE);
    if (is_no_device)
        FUZZ_CHECK(period != 0 && table.count == 0);
    if (is_bad_device)
        FUZZ_CHECK(period != 0 && table.count < METER_TABLE_SIZE);
    return 0;
}
