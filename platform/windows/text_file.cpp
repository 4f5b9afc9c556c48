// Text-mode files on Windows: the C runtime's own text mode does the
// translations (CR LF read as LF, a lone CR kept, 1A ends the file; every
// line feed written as CR LF).
#include "platform/text_file.h"

#include "platform/windows/text_format.h"

#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

namespace
{

// Opens a new file for writing in text mode, failing when it exists.
std::FILE *create_new(const char *path)
{
    int fd = -1;
    if (_sopen_s(&fd, path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT, _SH_DENYNO,
                 _S_IREAD | _S_IWRITE) != 0)
        return nullptr;
    std::FILE *fp = _fdopen(fd, "wt");
    if (fp == nullptr)
        _close(fd);
    return fp;
}

} // namespace

bool text_open(TextFile *file, const char *path, const char *mode)
{
    file->at_end = 0;
    if (std::strcmp(mode, "wx") == 0) {
        file->fp = create_new(path);
    } else if (std::strcmp(mode, "rt") == 0) {
        // The site list: others may read it meanwhile, not change it.
        file->fp = _fsopen(path, "rt", _SH_DENYWR);
    } else if (std::strcmp(mode, "r") == 0 || std::strcmp(mode, "at") == 0 ||
               std::strcmp(mode, "wt") == 0) {
        // The reading log: other programs may read and write it meanwhile.
        file->fp = _fsopen(path, mode, _SH_DENYNO);
    } else {
        file->fp = nullptr;
    }
    return file->fp != nullptr;
}

bool text_read_line(TextFile *file, char *line, int size)
{
    if (file->at_end || std::fgets(line, size, file->fp) == nullptr) {
        file->at_end = 1;
        if (size > 0)
            line[0] = '\0';
        return false;
    }
    return true;
}

void text_printf(TextFile *file, const char *format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    int length = format_text(text, sizeof text, format, args);
    va_end(args);
    if (length < 0)
        return;
    std::fwrite(text, 1, (size_t)length, file->fp);
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
