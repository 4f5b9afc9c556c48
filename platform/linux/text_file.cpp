// Text-mode files on Linux, with the translations of a Windows C runtime.
#include "platform/text_file.h"

#include <cstdarg>
#include <cstring>

namespace
{

enum { CTRL_Z = 0x1A };

// Next byte of the file as text mode delivers it: CR LF as LF, EOF at 1A.
int text_getc(TextFile *file)
{
    if (file->at_end)
        return EOF;
    int c = std::getc(file->fp);
    if (c == CTRL_Z || c == EOF) {
        file->at_end = 1;
        return EOF;
    }
    if (c == '\r') {
        int next = std::getc(file->fp);
        if (next == '\n')
            return '\n';
        if (next != EOF)
            std::ungetc(next, file->fp);
    }
    return c;
}

} // namespace

bool text_open(TextFile *file, const char *path, const char *mode)
{
    // Translation is done here, so the file itself is opened in binary.
    const char *binary_mode;
    if (mode[0] == 'r')
        binary_mode = "rb";
    else if (mode[0] == 'a')
        binary_mode = "ab";
    else if (mode[0] == 'w' && mode[1] == 'x')
        binary_mode = "wbx"; // create only: fails when the file exists
    else if (mode[0] == 'w')
        binary_mode = "wb";
    else
        return false;
    file->fp = std::fopen(path, binary_mode);
    file->at_end = 0;
    return file->fp != nullptr;
}

bool text_read_line(TextFile *file, char *line, int size)
{
    int used = 0;
    while (used < size - 1) {
        int c = text_getc(file);
        if (c == EOF)
            break;
        line[used++] = (char)c;
        if (c == '\n')
            break;
    }
    line[used] = '\0';
    return used > 0;
}

void text_printf(TextFile *file, const char *format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length < 0)
        return;
    if (length >= (int)sizeof text)
        length = (int)sizeof text - 1;
    for (int i = 0; i < length; i++) {
        if (text[i] == '\n')
            std::putc('\r', file->fp);
        std::putc(text[i], file->fp);
    }
}

void text_flush(TextFile *file)
{
    std::fflush(file->fp);
}

void text_close(TextFile *file)
{
    if (file->fp != nullptr)
        std::fclose(file->fp);
    file->fp = nullptr;
}
