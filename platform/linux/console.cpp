// Console output on Linux: CR LF translation and Windows-like buffering.
#include "platform/console.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <unistd.h>

namespace
{

enum { CONSOLE_BLOCK = 4096 };

char block[CONSOLE_BLOCK];
int block_used;
int is_terminal = -1; // decided at the first print

void write_all(const char *data, int length)
{
    while (length > 0) {
        ssize_t n = write(STDOUT_FILENO, data, (size_t)length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // a closed console must not stop the service
        data += n;
        length -= (int)n;
    }
}

void put_byte(char c)
{
    block[block_used++] = c;
    if (block_used == CONSOLE_BLOCK) {
        write_all(block, block_used);
        block_used = 0;
    }
}

} // namespace

void console_printf(const char *format, ...)
{
    // The longest text is a total printed with %15.3f: about 320 characters.
    char text[4096];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length < 0)
        return;
    if (length >= (int)sizeof text)
        length = (int)sizeof text - 1;

    if (is_terminal < 0)
        is_terminal = isatty(STDOUT_FILENO) ? 1 : 0;

    for (int i = 0; i < length; i++) {
        if (text[i] == '\n')
            put_byte('\r');
        put_byte(text[i]);
    }
    if (is_terminal)
        console_flush();
}

void console_flush(void)
{
    write_all(block, block_used);
    block_used = 0;
}
