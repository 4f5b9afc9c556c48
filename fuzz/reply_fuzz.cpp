// Fuzz target: any bytes as a device's reply, decoded, shown and logged.
//
// The bytes are copied into a zeroed 512-byte buffer as the poll receives
// them. The decoder must read no more than the reply's 61 bytes, whatever the
// buffer holds beyond them. The status block and the log rows must keep their
// fixed columns and line ends for every value the decoder can produce,
// infinite and not-a-number totals included, and the log must hold one row
// per active channel.
//
// The decoder ignores the 9 header bytes, so the target takes the record's
// configuration from them: byte 0 the active flags and the network fault,
// bytes 1-4 and 5-8 the channel identifiers.
#include "fuzz/scratch.h"
#include "meter_link/read_exchange.h"
#include "report/reading_log.h"
#include "report/status_report.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FUZZ_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define FUZZ_ASAN 1
#endif
#ifdef FUZZ_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace
{

enum { TEXT_SIZE = 8192, MAX_FIELDS = 16, ROW_FIELDS = 8 };

const LocalTime CYCLE_TIME = {2026, 1, 2, 3, 4, 5};
const char HEADER[] = "Date , Time , Meter_ID , Network_Fault , Meter_Fault , Meter_Reading , "
                      "Units , Rate_of_Flow";
const char *const UNIT_WORDS[] = {"GAL", "LITERS",    "CUBIC_FEET", "CUBIC_METERS",
                                  "LBS", "KILOGRAMS", "ACRE_FEET"};

alignas(64) uint8_t msg_in[MESSAGE_BUFFER_SIZE];
alignas(64) uint8_t reply_only[MESSAGE_BUFFER_SIZE];

int32_t big_endian_32(const uint8_t *p)
{
    return (int32_t)((uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]);
}

void configure(MeterRecord *r, const uint8_t *header)
{
    std::memset(r, 0xA5, sizeof *r);
    r->ch_a_active = header[0] & 1;
    r->ch_b_active = header[0] >> 1 & 1;
    r->network_fault = header[0] >> 2 & 1;
    r->ch_a_id = big_endian_32(header + 1);
    r->ch_b_id = big_endian_32(header + 5);
}

// Decodes msg_in with every byte past the reply made unreadable, and checks
// that the same reply alone in a zeroed buffer gives the same record.
void decode(MeterRecord *r)
{
#ifdef FUZZ_ASAN
    ASAN_POISON_MEMORY_REGION(msg_in + REPLY_LENGTH, sizeof msg_in - REPLY_LENGTH);
#endif
    decode_read_reply(msg_in, r);
#ifdef FUZZ_ASAN
    ASAN_UNPOISON_MEMORY_REGION(msg_in + REPLY_LENGTH, sizeof msg_in - REPLY_LENGTH);
#endif
    MeterRecord alone;
    std::memcpy(&alone, r, sizeof alone);
    decode_read_reply(reply_only, &alone);
    FUZZ_CHECK(std::memcmp(&alone, r, sizeof alone) == 0);

    const uint8_t *data = msg_in + REPLY_DATA_OFFSET;
    FUZZ_CHECK(r->fault_a == (data[29] == 1 ? 1 : 0) && r->fault_b == (data[31] == 1 ? 1 : 0));
    FUZZ_CHECK(r->scale_a == (uint32_t)(data[40] << 8 | data[41]));
    FUZZ_CHECK(r->scale_b == (uint32_t)(data[42] << 8 | data[43]));
    FUZZ_CHECK(r->units_a == (int8_t)data[45] && r->units_b == (int8_t)data[47]);
}

// Takes the next line of text, which must end in ending and hold no other
// CR or LF; returns it without its ending.
char *next_line(char **cursor, const char *ending)
{
    char *line = *cursor;
    char *lf = std::strchr(line, '\n');
    FUZZ_CHECK(lf != nullptr);
    *cursor = lf + 1;
    size_t ending_length = std::strlen(ending);
    char *end = lf + 1 - ending_length;
    FUZZ_CHECK(end >= line && std::memcmp(end, ending, ending_length) == 0);
    *end = '\0';
    FUZZ_CHECK(std::strpbrk(line, "\r\n") == nullptr);
    return line;
}

// A number printed with %<width>.3f: right-aligned, three decimals, within
// rounding of value; infinities and not-a-number as the C library spells them.
void check_number(const char *field, size_t width, double value)
{
    FUZZ_CHECK(std::strlen(field) >= width);
    while (*field == ' ')
        field++;
    FUZZ_CHECK(*field != '\0' && std::strchr(field, ' ') == nullptr);
    if (std::isnan(value)) {
        FUZZ_CHECK(std::strcmp(field, "nan") == 0 || std::strcmp(field, "-nan") == 0);
        return;
    }
    if (std::isinf(value)) {
        FUZZ_CHECK(std::strcmp(field, value > 0 ? "inf" : "-inf") == 0);
        return;
    }
    const char *point = std::strchr(field, '.');
    FUZZ_CHECK(point != nullptr && std::strlen(point) == 4);
    char *end = nullptr;
    double printed = std::strtod(field, &end);
    FUZZ_CHECK(*end == '\0');
    FUZZ_CHECK(std::fabs(printed - value) <= 0.0005 + std::fabs(value) * 1e-15);
}

// A line that must be prefix followed by a number of the given width.
void check_value_line(char **cursor, const char *prefix, size_t width, double value)
{
    char *line = next_line(cursor, "\r\r\n");
    size_t prefix_length = std::strlen(prefix);
    FUZZ_CHECK(std::strncmp(line, prefix, prefix_length) == 0);
    check_number(line + prefix_length, width, value);
}

void check_flag_line(char **cursor, const char *prefix, int32_t flag)
{
    char *line = next_line(cursor, "\r\r\n");
    size_t prefix_length = std::strlen(prefix);
    FUZZ_CHECK(std::strncmp(line, prefix, prefix_length) == 0);
    FUZZ_CHECK(std::strcmp(line + prefix_length, flag != 0 ? "YES" : "NO") == 0);
}

void check_status_block(const MeterRecord *r, int position)
{
    char text[TEXT_SIZE];
    print_meter_status(r, position);
    long length = console_take(text, sizeof text);
    FUZZ_CHECK(length < (long)sizeof text && (long)std::strlen(text) == length);

    char *cursor = text;
    check_flag_line(&cursor, "Network Fault : ", r->network_fault);
    char *line = next_line(&cursor, "\r\r\n");
    FUZZ_CHECK(std::strncmp(line, "Quorvane ", 9) == 0 && std::atoi(line + 9) == position);
    check_value_line(&cursor, "Total Ch.A: ", 15, r->total_a);
    check_value_line(&cursor, "Rate Ch.A: ", 12, (double)r->rate_a);
    check_flag_line(&cursor, "Fault Ch.A: ", r->fault_a);
    check_value_line(&cursor, "Total Ch.B: ", 15, r->total_b);
    check_value_line(&cursor, "Rate Ch.B: ", 12, (double)r->rate_b);
    check_flag_line(&cursor, "Fault Ch.B: ", r->fault_b);
    FUZZ_CHECK(*next_line(&cursor, "\r\n") == '\0');
    FUZZ_CHECK(*cursor == '\0');
}

// Cuts line at every " , "; returns the number of fields.
int split_fields(char *line, char **fields)
{
    int count = 0;
    fields[count++] = line;
    while (char *separator = std::strstr(line, " , ")) {
        *separator = '\0';
        line = separator + 3;
        FUZZ_CHECK(count < MAX_FIELDS);
        fields[count++] = line;
    }
    return count;
}

void check_row(char *line, int32_t id, int32_t network_fault, int32_t fault, double total,
               int32_t units, float rate)
{
    char *fields[MAX_FIELDS];
    FUZZ_CHECK(split_fields(line, fields) == ROW_FIELDS);
    FUZZ_CHECK(std::strcmp(fields[0], "2026/01/02") == 0 && std::strcmp(fields[1], "03:04") == 0);
    char *end = nullptr;
    FUZZ_CHECK(std::strlen(fields[2]) >= 4 && std::strtol(fields[2], &end, 10) == id && *end == 0);
    FUZZ_CHECK(std::strcmp(fields[3], network_fault != 0 ? "1" : "0") == 0);
    FUZZ_CHECK(std::strcmp(fields[4], fault != 0 ? "1" : "0") == 0);
    check_number(fields[5], 15, total);
    bool named = units >= 0 && units < (int32_t)(sizeof UNIT_WORDS / sizeof UNIT_WORDS[0]);
    FUZZ_CHECK(std::strcmp(fields[6], named ? UNIT_WORDS[units] : "UNITS") == 0);
    check_number(fields[7], 12, (double)rate);
}

void check_log_rows(const MeterRecord *r)
{
    char path[SCRATCH_PATH_SIZE];
    scratch_path("meter.csv", path, sizeof path);
    unlink(path);
    TextFile log;
    open_reading_log(&log, path);
    write_reading_rows(&log, r, &CYCLE_TIME);
    close_reading_log(&log);

    char text[TEXT_SIZE];
    long length = scratch_read(path, text, sizeof text);
    FUZZ_CHECK(length >= 0 && length < (long)sizeof text && (long)std::strlen(text) == length);
    char *cursor = text;
    FUZZ_CHECK(std::strcmp(next_line(&cursor, "\r\r\n"), HEADER) == 0);
    if (r->ch_a_active)
        check_row(next_line(&cursor, "\r\r\n"), r->ch_a_id, r->network_fault, r->fault_a,
                  r->total_a, r->units_a, r->rate_a);
    if (r->ch_b_active)
        check_row(next_line(&cursor, "\r\r\n"), r->ch_b_id, r->network_fault, r->fault_b,
                  r->total_b, r->units_b, r->rate_b);
    FUZZ_CHECK(*cursor == '\0');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    scratch_begin();
    size_t taken = size < sizeof msg_in ? size : sizeof msg_in;
    std::memset(msg_in, 0, sizeof msg_in);
    std::memcpy(msg_in, data, taken);
    std::memset(reply_only, 0, sizeof reply_only);
    std::memcpy(reply_only, data, taken < (size_t)REPLY_LENGTH ? taken : (size_t)REPLY_LENGTH);

    MeterRecord r;
    configure(&r, msg_in);
    decode(&r);
    check_status_block(&r, (int)(msg_in[1] << 8 | msg_in[2]) % METER_TABLE_SIZE + 1);
    check_log_rows(&r);
    return 0;
}
