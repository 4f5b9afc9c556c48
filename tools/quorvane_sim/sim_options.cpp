// Parsing of the simulator's command line: options, then one argument per
// device, PROTO:PORT[,key=value...].
#include "sim_options.h"

#include "sim_registers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace
{

// A key that writes a value into the register image, big-endian.
struct ValueKey {
    const char *name;
    int data_byte; // first data byte written
    int width;     // bytes written
    long long min;
    long long max;
};

const ValueKey VALUE_KEYS[] = {
    {"total-a", 0, 4, 0, 4294967295LL},
    {"total-b", 4, 4, 0, 4294967295LL},
    {"rate-a", 8, 4, -2147483648LL, 2147483647},
    {"rate-b", 12, 4, -2147483648LL, 2147483647},
    {"fault-a", 29, 1, 0, 255},
    {"fault-b", 31, 1, 0, 255},
    {"scale-a", 40, 2, 0, 65535},
    {"scale-b", 42, 2, 0, 65535},
    {"unit-a", 45, 1, -128, 255},
    {"unit-b", 47, 1, -128, 255},
};

struct ModeName {
    const char *name;
    ReplyMode mode;
};

const ModeName MODE_NAMES[] = {
    {"answer", MODE_ANSWER}, {"silent", MODE_SILENT},         {"short", MODE_SHORT},
    {"long", MODE_LONG},     {"exception", MODE_EXCEPTION},   {"split", MODE_SPLIT},
    {"delay", MODE_DELAY},   {"other-port", MODE_OTHER_PORT},
};

enum { MAX_DELAY_MS = 3600000, FIELD_SIZE = 256 };

void fail(char *error, int size, const char *format, ...) __attribute__((format(printf, 3, 4)));

void fail(char *error, int size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(error, (size_t)size, format, args);
    va_end(args);
}

// A whole decimal number from min to max, nothing else in the text.
bool parse_number(const char *text, long long min, long long max, long long *value)
{
    if (text[0] == '\0')
        return false;
    char *end = nullptr;
    errno = 0;
    long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    *value = v;
    return true;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool parse_registers(const char *text, uint8_t *registers)
{
    if (std::strlen(text) != 2 * REGISTER_BYTES)
        return false;
    for (int i = 0; i < REGISTER_BYTES; i++) {
        int high = hex_digit(text[2 * i]);
        int low = hex_digit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        registers[i] = (uint8_t)(high << 4 | low);
    }
    return true;
}

// PROTO:PORT or PROTO:FIRST-LAST.
bool parse_endpoint(const char *text, DeviceSpec *spec, char *error, int size)
{
    const char *port_text;
    if (std::strncmp(text, "tcp:", 4) == 0)
        spec->tcp = true;
    else if (std::strncmp(text, "udp:", 4) == 0)
        spec->tcp = false;
    else {
        fail(error, size, "device '%s' must start with tcp: or udp:", text);
        return false;
    }
    port_text = text + 4;

    char first[FIELD_SIZE];
    if (std::strlen(port_text) >= sizeof first) {
        fail(error, size, "bad port '%.40s...'", port_text);
        return false;
    }
    std::memcpy(first, port_text, std::strlen(port_text) + 1);
    char *dash = std::strchr(first, '-');
    long long low, high;
    if (dash == nullptr) {
        if (!parse_number(first, 0, 65535, &low)) {
            fail(error, size, "bad port '%s': expected 0 to 65535", port_text);
            return false;
        }
        high = low;
    } else {
        *dash = '\0';
        if (!parse_number(first, 1, 65535, &low) || !parse_number(dash + 1, 1, 65535, &high) ||
            low > high) {
            fail(error, size, "bad port range '%s': expected FIRST-LAST with 1 <= FIRST <= LAST",
                 port_text);
            return false;
        }
    }
    spec->first_port = (uint16_t)low;
    spec->last_port = (uint16_t)high;
    return true;
}

bool apply_key(const char *key, const char *value, DeviceSpec *spec, char *error, int size)
{
    long long number;
    for (const ValueKey &k : VALUE_KEYS) {
        if (std::strcmp(key, k.name) != 0)
            continue;
        if (!parse_number(value, k.min, k.max, &number)) {
            fail(error, size, "bad value '%s' for %s: expected a whole number from %lld to %lld",
                 value, key, k.min, k.max);
            return false;
        }
        put_register_bytes(spec->registers, k.data_byte, k.width, (uint64_t)number);
        return true;
    }
    if (std::strcmp(key, "registers") == 0) {
        if (!parse_registers(value, spec->registers)) {
            fail(error, size, "bad value for registers: expected %d hex digits",
                 2 * REGISTER_BYTES);
            return false;
        }
        return true;
    }
    if (std::strcmp(key, "grow-a") == 0 || std::strcmp(key, "grow-b") == 0) {
        if (!parse_number(value, 0, 4294967295LL, &number)) {
            fail(error, size, "bad value '%s' for %s: expected a whole number from 0 to 4294967295",
                 value, key);
            return false;
        }
        if (key[5] == 'a')
            spec->grow_a = (uint32_t)number;
        else
            spec->grow_b = (uint32_t)number;
        return true;
    }
    if (std::strcmp(key, "delay-ms") == 0) {
        if (!parse_number(value, 0, MAX_DELAY_MS, &number)) {
            fail(error, size, "bad value '%s' for delay-ms: expected 0 to %d", value, MAX_DELAY_MS);
            return false;
        }
        spec->delay_ms = (int)number;
        return true;
    }
    if (std::strcmp(key, "after") == 0) {
        if (!parse_number(value, 0, 4294967295LL, &number)) {
            fail(error, size, "bad value '%s' for after: expected 0 to 4294967295", value);
            return false;
        }
        spec->after = (uint32_t)number;
        return true;
    }
    if (std::strcmp(key, "mode") == 0) {
        for (const ModeName &m : MODE_NAMES) {
            if (std::strcmp(value, m.name) == 0) {
                spec->mode = m.mode;
                return true;
            }
        }
        fail(error, size,
             "bad mode '%s': expected answer, silent, short, long, exception, split, delay or "
             "other-port",
             value);
        return false;
    }
    fail(error, size, "unknown key '%s'", key);
    return false;
}

// PROTO:PORT[,key=value...]; values apply in the order given.
bool parse_device(const char *arg, DeviceSpec *spec, char *error, int size)
{
    char text[4096];
    if (std::strlen(arg) >= sizeof text) {
        fail(error, size, "device argument too long");
        return false;
    }
    std::snprintf(text, sizeof text, "%s", arg);
    std::memset(spec, 0, sizeof *spec);
    spec->mode = MODE_ANSWER;
    spec->delay_ms = DEFAULT_DELAY_MS;

    char *rest = std::strchr(text, ',');
    if (rest != nullptr)
        *rest++ = '\0';
    if (!parse_endpoint(text, spec, error, size))
        return false;
    while (rest != nullptr) {
        char *item = rest;
        rest = std::strchr(item, ',');
        if (rest != nullptr)
            *rest++ = '\0';
        char *value = std::strchr(item, '=');
        if (value == nullptr) {
            fail(error, size, "'%s' in device '%s' is not key=value", item, arg);
            return false;
        }
        *value++ = '\0';
        if (!apply_key(item, value, spec, error, size))
            return false;
    }
    if (spec->mode == MODE_OTHER_PORT && spec->tcp) {
        fail(error, size, "mode=other-port is for udp devices only: '%s'", arg);
        return false;
    }
    return true;
}

} // namespace

bool parse_command_line(int argc, char **argv, SimOptions *options, char *error, int error_size)
{
    options->address = htonl(INADDR_LOOPBACK);
    std::snprintf(options->address_text, sizeof options->address_text, "127.0.0.1");
    options->quiet = false;
    options->help = false;
    options->spec_count = 0;
    options->device_count = 0;

    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options->help = true;
            return true;
        }
        if (std::strcmp(arg, "--quiet") == 0) {
            options->quiet = true;
            continue;
        }
        if (std::strcmp(arg, "--address") == 0 || std::strncmp(arg, "--address=", 10) == 0) {
            const char *value = arg[9] == '=' ? arg + 10 : (i + 1 < argc ? argv[++i] : nullptr);
            in_addr parsed;
            if (value == nullptr || inet_pton(AF_INET, value, &parsed) != 1) {
                fail(error, error_size, "--address needs a dotted IPv4 address");
                return false;
            }
            options->address = parsed.s_addr;
            inet_ntop(AF_INET, &parsed, options->address_text, sizeof options->address_text);
            continue;
        }
        if (arg[0] == '-') {
            fail(error, error_size, "unknown option '%s'", arg);
            return false;
        }
        if (options->spec_count == MAX_DEVICE_SPECS) {
            fail(error, error_size, "more than %d device arguments", MAX_DEVICE_SPECS);
            return false;
        }
        DeviceSpec *spec = &options->specs[options->spec_count];
        if (!parse_device(arg, spec, error, error_size))
            return false;
        options->spec_count++;
        options->device_count += spec->last_port - spec->first_port + 1;
        if (options->device_count > MAX_DEVICES) {
            fail(error, error_size, "more than %d devices in all", MAX_DEVICES);
            return false;
        }
    }
    if (options->spec_count == 0) {
        fail(error, error_size, "no device given (try --help)");
        return false;
    }
    return true;
}

void print_usage(std::FILE *out)
{
    std::fputs(
        "Usage: quorvane-sim [--address ADDR] [--quiet] DEVICE...\n"
        "\n"
        "Simulates Quorvane flow meters: answers the 12-byte register read (Modbus TCP\n"
        "framing, 26 holding registers from unit 1) over TCP or UDP with a 61-byte reply\n"
        "that echoes the request's transaction and protocol identifiers.\n"
        "\n"
        "Options:\n"
        "  --address ADDR  dotted IPv4 address to serve on (default 127.0.0.1)\n"
        "  --quiet         do not print a line for each request and reply\n"
        "  --help          show this text\n"
        "\n"
        "DEVICE is PROTO:PORT[,key=value...] or PROTO:FIRST-LAST[,key=value...]\n"
        "  PROTO is tcp or udp. PORT 0 takes any free port. A range serves the same\n"
        "  values on every port from FIRST to LAST, each port its own device.\n"
        "\n"
        "Values (applied in the order given):\n"
        "  total-a, total-b  raw totals, 0..4294967295 (registers 0-1, 2-3)\n"
        "  rate-a, rate-b    raw rates in thousandths, -2147483648..2147483647\n"
        "                    (registers 4-5, 6-7)\n"
        "  fault-a, fault-b  fault byte, 0..255 (low byte of registers 14, 15); 1 is a fault\n"
        "  scale-a, scale-b  decimal exponent of the total, 0..65535 (registers 20, 21)\n"
        "  unit-a, unit-b    unit byte, -128..255 (low byte of registers 22, 23)\n"
        "  registers=HEX     all 52 register bytes as 104 hex digits; value keys given\n"
        "                    after it change it further\n"
        "  grow-a, grow-b    added to the total after every reply that carries registers,\n"
        "                    0..4294967295 (a living meter)\n"
        "\n"
        "Behaviour:\n"
        "  mode=answer       the 61-byte reply (default)\n"
        "  mode=silent       no reply\n"
        "  mode=short        the reply without its last byte: 60 bytes\n"
        "  mode=long         the reply and one more zero byte: 62 bytes\n"
        "  mode=exception    Modbus exception reply: function 0x83, code 02, 9 bytes\n"
        "  mode=split        the reply in two parts (30 and 31 bytes), delay-ms apart;\n"
        "                    two writes on TCP, two datagrams on UDP\n"
        "  mode=delay        the reply after delay-ms\n"
        "  mode=other-port   UDP only: the reply is sent from another socket and port\n"
        "  delay-ms=N        the pause of split and delay, 0..3600000 (default 200)\n"
        "  after=N           the first N requests are answered normally; the mode\n"
        "                    applies from request N+1 on (default 0)\n"
        "\n"
        "Output: once every socket is bound, one line per device,\n"
        "  listening tcp|udp ADDR PORT\n"
        "then 'ready'. Unless --quiet, for each request and for each reply sent:\n"
        "  request tcp|udp PORT HEX   (the request bytes in lower-case hex)\n"
        "  reply tcp|udp PORT N       (N bytes in all)\n"
        "Runs until SIGTERM or SIGINT, then exits 0. Exit status 2: bad command line;\n"
        "1: a socket could not be opened.\n"
        "\n"
        "Example: quorvane-sim tcp:5020,total-a=123456,rate-a=1500,grow-a=7 udp:0,mode=silent\n",
        out);
}
