// printf-style formatting that gives the same bytes as the service's Linux
// build, so the console and meter.csv read the same on both systems.
#pragma once

#include <cstdarg>

// Formats like vsnprintf into text[0..size-1] (size at least 1), always
// terminated. Returns the number of characters stored, cut at size - 1, or
// -1 for a conversion it does not know (%n among them).
int format_text(char *text, int size, const char *format, va_list args);
