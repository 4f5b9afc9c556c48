// printf-style formatting on Windows.
//
// The C runtime's own printf prints infinities and long numbers in its own
// way, so every conversion goes to mingw's C99 printf instead, which prints
// finite numbers digit for digit as glibc does. Infinities and
// not-a-numbers are written here, the glibc way: "inf" or "nan" with their
// sign, "-nan" included (a total of 0 x 10^309 is one), padded with spaces.
#include "platform/windows/text_format.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace
{

enum { SPEC_SIZE = 64 };

enum Length {
    LENGTH_NONE,
    LENGTH_HH,
    LENGTH_H,
    LENGTH_L,
    LENGTH_LL,
    LENGTH_J,
    LENGTH_Z,
    LENGTH_T,
    LENGTH_LONG_DOUBLE
};

// The text being built; length counts what would be written without limit.
struct Output {
    char *text;
    int size;
    int length;
};

char *cursor(Output *out)
{
    return out->length < out->size ? out->text + out->length : nullptr;
}

size_t room(const Output *out)
{
    return out->length < out->size ? (size_t)(out->size - out->length) : 0;
}

void put_char(Output *out, char c)
{
    if (out->length < out->size - 1)
        out->text[out->length] = c;
    out->length++;
}

// Adds one formatted piece; returns false if it could not be formatted.
bool put_piece(Output *out, int length)
{
    if (length < 0)
        return false;
    out->length += length;
    return true;
}

// One conversion as written in the format, without its length modifier.
struct Spec {
    char flags[8];
    int width;     // -1: none
    int precision; // -1: none
    Length length;
    char conversion;
};

const char *parse_spec(const char *p, Spec *spec, va_list *args)
{
    int n = 0;
    while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) {
        if (n < (int)sizeof spec->flags - 1)
            spec->flags[n++] = *p;
        p++;
    }
    spec->flags[n] = '\0';

    spec->width = -1;
    if (*p == '*') {
        spec->width = va_arg(*args, int);
        if (spec->width < 0) { // a negative width is the '-' flag
            spec->width = -spec->width;
            if (n < (int)sizeof spec->flags - 1) {
                spec->flags[n++] = '-';
                spec->flags[n] = '\0';
            }
        }
        p++;
    } else {
        for (; *p >= '0' && *p <= '9'; p++)
            spec->width = (spec->width < 0 ? 0 : spec->width * 10) + (*p - '0');
    }

    spec->precision = -1;
    if (*p == '.') {
        p++;
        if (*p == '*') {
            spec->precision = va_arg(*args, int); // negative: as if none
            p++;
        } else {
            spec->precision = 0;
            for (; *p >= '0' && *p <= '9'; p++)
                spec->precision = spec->precision * 10 + (*p - '0');
        }
    }

    spec->length = LENGTH_NONE;
    if (p[0] == 'h' && p[1] == 'h') {
        spec->length = LENGTH_HH;
        p += 2;
    } else if (p[0] == 'l' && p[1] == 'l') {
        spec->length = LENGTH_LL;
        p += 2;
    } else if (*p != '\0' && std::strchr("hljztL", *p) != nullptr) {
        const char *letters = "hljztL";
        const Length lengths[] = {LENGTH_H, LENGTH_L, LENGTH_J,
                                  LENGTH_Z, LENGTH_T, LENGTH_LONG_DOUBLE};
        spec->length = lengths[std::strchr(letters, *p) - letters];
        p++;
    }
    spec->conversion = *p;
    return *p != '\0' ? p + 1 : p;
}

// Writes the conversion back as text, with the given length modifier.
void spec_text(const Spec *spec, const char *length, char conversion, char *text)
{
    int n = std::snprintf(text, SPEC_SIZE, "%%%s", spec->flags);
    if (spec->width >= 0)
        n += std::snprintf(text + n, (size_t)(SPEC_SIZE - n), "%d", spec->width);
    if (spec->precision >= 0)
        n += std::snprintf(text + n, (size_t)(SPEC_SIZE - n), ".%d", spec->precision);
    std::snprintf(text + n, (size_t)(SPEC_SIZE - n), "%s%c", length, conversion);
}

intmax_t signed_argument(Length length, va_list *args)
{
    switch (length) {
    case LENGTH_HH:
        return (signed char)va_arg(*args, int);
    case LENGTH_H:
        return (short)va_arg(*args, int);
    case LENGTH_L:
        return va_arg(*args, long);
    case LENGTH_LL:
        return va_arg(*args, long long);
    case LENGTH_J:
        return va_arg(*args, intmax_t);
    case LENGTH_Z:
    case LENGTH_T:
        return va_arg(*args, ptrdiff_t);
    default:
        return va_arg(*args, int);
    }
}

uintmax_t unsigned_argument(Length length, va_list *args)
{
    switch (length) {
    case LENGTH_HH:
        return (unsigned char)va_arg(*args, unsigned int);
    case LENGTH_H:
        return (unsigned short)va_arg(*args, unsigned int);
    case LENGTH_L:
        return va_arg(*args, unsigned long);
    case LENGTH_LL:
        return va_arg(*args, unsigned long long);
    case LENGTH_J:
        return va_arg(*args, uintmax_t);
    case LENGTH_Z:
    case LENGTH_T:
        return va_arg(*args, size_t);
    default:
        return va_arg(*args, unsigned int);
    }
}

// An infinity or not-a-number as glibc prints it: sign, then inf or nan (in
// capitals for the capital conversions), spaces to the width.
bool put_not_finite(Output *out, const Spec *spec, bool negative, bool nan)
{
    bool capitals = spec->conversion >= 'A' && spec->conversion <= 'Z';
    const char *sign = negative                                   ? "-"
                       : std::strchr(spec->flags, '+') != nullptr ? "+"
                       : std::strchr(spec->flags, ' ') != nullptr ? " "
                                                                  : "";
    char word[8];
    std::snprintf(word, sizeof word, "%s%s", sign,
                  nan ? (capitals ? "NAN" : "nan") : (capitals ? "INF" : "inf"));
    int width = spec->width < 0 ? 0 : spec->width;
    bool left = std::strchr(spec->flags, '-') != nullptr;
    return put_piece(out,
                     __mingw_snprintf(cursor(out), room(out), left ? "%-*s" : "%*s", width, word));
}

bool put_floating(Output *out, const Spec *spec, va_list *args)
{
    char text[SPEC_SIZE];
    if (spec->length == LENGTH_LONG_DOUBLE) {
        long double value = va_arg(*args, long double);
        if (!std::isfinite(value))
            return put_not_finite(out, spec, std::signbit(value), std::isnan(value));
        spec_text(spec, "L", spec->conversion, text);
        return put_piece(out, __mingw_snprintf(cursor(out), room(out), text, value));
    }
    double value = va_arg(*args, double);
    if (!std::isfinite(value))
        return put_not_finite(out, spec, std::signbit(value), std::isnan(value));
    spec_text(spec, "", spec->conversion, text);
    return put_piece(out, __mingw_snprintf(cursor(out), room(out), text, value));
}

bool put_conversion(Output *out, const Spec *spec, va_list *args)
{
    char text[SPEC_SIZE];
    switch (spec->conversion) {
    case '%':
        put_char(out, '%');
        return true;
    case 'd':
    case 'i':
        spec_text(spec, "j", spec->conversion, text);
        return put_piece(out, __mingw_snprintf(cursor(out), room(out), text,
                                               signed_argument(spec->length, args)));
    case 'o':
    case 'u':
    case 'x':
    case 'X':
        spec_text(spec, "j", spec->conversion, text);
        return put_piece(out, __mingw_snprintf(cursor(out), room(out), text,
                                               unsigned_argument(spec->length, args)));
    case 'c':
        spec_text(spec, "", 'c', text);
        return put_piece(out, __mingw_snprintf(cursor(out), room(out), text, va_arg(*args, int)));
    case 's':
        spec_text(spec, "", 's', text);
        return put_piece(
            out, __mingw_snprintf(cursor(out), room(out), text, va_arg(*args, const char *)));
    case 'p':
        spec_text(spec, "", 'p', text);
        return put_piece(out,
                         __mingw_snprintf(cursor(out), room(out), text, va_arg(*args, void *)));
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
        return put_floating(out, spec, args);
    default:
        return false;
    }
}

} // namespace

int format_text(char *text, int size, const char *format, va_list args)
{
    Output out = {text, size, 0};
    va_list walk;
    va_copy(walk, args);
    bool ok = true;
    for (const char *p = format; ok && *p != '\0';) {
        if (*p != '%') {
            put_char(&out, *p++);
            continue;
        }
        Spec spec;
        p = parse_spec(p + 1, &spec, &walk);
        ok = put_conversion(&out, &spec, &walk);
    }
    va_end(walk);
    int stored = out.length < size ? out.length : size - 1;
    text[stored] = '\0';
    return ok ? stored : -1;
}
