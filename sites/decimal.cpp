#include "sites/decimal.h"

int32_t parse_decimal(const char *text)
{
    const char *p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r')
        p++;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    // Accumulate in 64 bits and stop growing once past the 32-bit range, so
    // any number of digits is safe.
    int64_t value = 0;
    const int64_t limit = (int64_t)INT32_MAX + 1;
    for (; *p >= '0' && *p <= '9'; p++) {
        if (value <= limit)
            value = value * 10 + (*p - '0');
    }
    if (negative)
        return value >= limit ? INT32_MIN : (int32_t)-value;
    return value > INT32_MAX ? INT32_MAX : (int32_t)value;
}
