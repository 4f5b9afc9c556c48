// Reads sites.txt into the meter table, echoing what it reads.
//
// Line 1 holds the polling period; every further line one device:
//   <channel A id> <channel B id> <host> <port> <T|U>
// Fields are separated by runs of spaces only: a tab belongs to its field,
// and the line feed stays on the last field of the line.
#include "sites/site_list.h"

#include "platform/console.h"
#include "platform/text_file.h"
#include "sites/decimal.h"

#include <cstring>

namespace
{

enum { LINE_SIZE = 256 };

// Splits off the next field at runs of spaces, as strtok does with " ".
char *next_field(char **next_token)
{
    char *p = *next_token;
    while (*p == ' ')
        p++;
    if (*p == '\0') {
        *next_token = p;
        return nullptr;
    }
    char *field = p;
    while (*p != '\0' && *p != ' ')
        p++;
    if (*p == ' ')
        *p++ = '\0';
    *next_token = p;
    return field;
}

bool is_blank(const char *line)
{
    for (; *line != '\0'; line++) {
        if (std::strchr(" \t\n\v\f\r", *line) == nullptr)
            return false;
    }
    return true;
}

void print_bad_device(int n)
{
    console_printf("\r\nError reading TCP/UDP? for Quorvane No. %d from file 'sites.txt'\r\n", n);
}

// Parses a channel identifier; 0 makes the channel inactive.
bool parse_channel(char **next_token, char channel, int32_t *id, int32_t *active)
{
    char *field = next_field(next_token);
    if (field == nullptr)
        return false;
    *id = parse_decimal(field);
    *active = *id != 0 ? 1 : 0;
    if (*active)
        console_printf("Ch.%c ID = %ld\r\n", channel, (long)*id);
    else
        console_printf("Ch.%c Inactive\r\n", channel);
    return true;
}

// Parses one device line into record, echoing each field right after it is
// parsed. n is the number of devices accepted before this one.
bool parse_device_line(char *line, MeterRecord *record, int n)
{
    char *next_token = line;
    if (!parse_channel(&next_token, 'A', &record->ch_a_id, &record->ch_a_active) ||
        !parse_channel(&next_token, 'B', &record->ch_b_id, &record->ch_b_active)) {
        print_bad_device(n);
        return false;
    }

    char *field = next_field(&next_token);
    if (field == nullptr) {
        print_bad_device(n);
        return false;
    }
    // A line holds at most 255 characters, so any field fits.
    std::snprintf(record->hostname, sizeof record->hostname, "%s", field);
    console_printf("hostname = %s\r\n", record->hostname);

    field = next_field(&next_token);
    if (field == nullptr) {
        print_bad_device(n);
        return false;
    }
    record->tcp_udp_port = parse_decimal(field);
    console_printf("tcp_udp_port = %d\r\n", (int)record->tcp_udp_port);

    field = next_field(&next_token);
    char transport = field != nullptr ? field[0] : '\0';
    if (transport == 'T' || transport == 't') {
        record->use_tcp = 1;
        console_printf("Use TCP Sockets\r\n");
    } else if (transport == 'U' || transport == 'u') {
        record->use_tcp = 0;
        console_printf("Use UDP Sockets\r\n");
    } else {
        print_bad_device(n);
        return false;
    }
    return true;
}

} // namespace

bool load_site_list(const char *path, MeterTable *table, int32_t *sample_period)
{
    TextFile fp;
    char line[LINE_SIZE];

    table->count = 0;
    if (!text_open(&fp, path, "rt")) {
        console_printf("\r\nError: Unable to open file 'sites.txt'\r\n");
        return false;
    }
    if (!text_read_line(&fp, line, sizeof line)) {
        console_printf("\r\nError reading TCP/UDP? from file 'sites.txt'\r\n");
        text_close(&fp);
        return false;
    }
    console_printf("Read: %s", line);
    char *next_token = line;
    char *field = next_field(&next_token);
    *sample_period = field != nullptr ? parse_decimal(field) : 0;
    console_printf("Sample Period = %ld Seconds\r\n\n", (long)*sample_period);
    // The schedule divides by the period: 0 would never poll anything.
    if (*sample_period == 0) {
        console_printf("\r\nError: sample period must not be 0 in file 'sites.txt'\r\n");
        text_close(&fp);
        return false;
    }

    while (text_read_line(&fp, line, sizeof line)) {
        console_printf("\r\nRead: %s", line);
        if (is_blank(line))
            continue;
        if (table->count == METER_TABLE_SIZE) {
            console_printf("\r\nError: more than 512 Quorvanes in file 'sites.txt'\r\n");
            text_close(&fp);
            return false;
        }
        if (!parse_device_line(line, &table->ms[table->count], table->count)) {
            text_close(&fp);
            return false;
        }
        table->count++;
    }
    text_close(&fp);

    if (table->count == 0) {
        console_printf("\r\nError reading from file 'sites.txt'\r\n");
        return false;
    }
    console_printf("\r\nN Quorvanes = %d\r\n", table->count);
    return true;
}
