// Console output on Windows: the translation and buffering of a text-mode
// standard output, done here so that they are the same whatever the C
// runtime does.
//
// Bytes go straight to the standard output handle: at once on a console,
// in blocks of 4096 when it is a file or a pipe.
#include "platform/console.h"

#include "platform/windows/text_format.h"

#include <cstdarg>
#include <io.h>
#include <windows.h>

namespace
{

enum { CONSOLE_BLOCK = 4096 };

char pending[CONSOLE_BLOCK];
int pending_used;

// The handle behind file descriptor 1, looked up at every write so that a
// redirection made with _dup2 is followed.
HANDLE output_handle(void)
{
    return (HANDLE)_get_osfhandle(1);
}

bool on_console(HANDLE handle)
{
    DWORD mode;
    return GetConsoleMode(handle, &mode) != 0;
}

void write_out(HANDLE handle, const char *data, int length)
{
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, data, (DWORD)length, &written, nullptr) || written == 0)
            return; // a console that went away must not stop the service
        data += written;
        length -= (int)written;
    }
}

void put_byte(HANDLE handle, char c)
{
    pending[pending_used++] = c;
    if (pending_used == CONSOLE_BLOCK) {
        write_out(handle, pending, pending_used);
        pending_used = 0;
    }
}

} // namespace

void console_printf(const char *format, ...)
{
    // The longest text is a total printed with %15.3f: about 320 characters.
    char text[4096];
    va_list args;
    va_start(args, format);
    int length = format_text(text, sizeof text, format, args);
    va_end(args);
    if (length < 0)
        return;

    HANDLE handle = output_handle();
    for (int i = 0; i < length; i++) {
        if (text[i] == '\n')
            put_byte(handle, '\r');
        put_byte(handle, text[i]);
    }
    if (on_console(handle))
        console_flush();
}

void console_flush(void)
{
    write_out(output_handle(), pending, pending_used);
    pending_used = 0;
}
