#pragma once

#include <cstdint>

// Decimal text to a signed 32-bit integer: leading white space, an optional
// sign, then digits up to the first non-digit. No digits give 0; a number
// beyond the range gives INT32_MAX or INT32_MIN.
int32_t parse_decimal(const char *text);
