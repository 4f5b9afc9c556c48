// Console output: the one door every console text goes through.
//
// Text is written as on a Windows console: every line feed goes out as
// CR LF, whatever byte precedes it. On a terminal each print is shown at
// once; to a file or pipe the text leaves in blocks of 4096 bytes and is
// only flushed when the process ends.
#pragma once

void console_printf(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Hands whatever is buffered to the operating system. Called on the way out.
void console_flush(void);
