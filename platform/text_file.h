// Text files, read and written as a Windows C runtime does in text mode.
//
// Reading: CR LF arrives as LF, a CR that no LF follows stays, and a byte
// 1A (Ctrl-Z) ends the file. Writing: every line feed goes out as CR LF.
#pragma once

#include <cstdio>

struct TextFile {
    std::FILE *fp;
    int at_end; // set once Ctrl-Z or the real end of the file was met
};

// Modes as the C runtime spells them: "r", "rt", "at", "wt", and "wx", which
// creates a new file for writing and fails if one exists. Other programs
// may read and write the file while it is open, but only read it while it
// is open with "rt" (where the system enforces it: Windows). Returns false
// if the file cannot be opened; the TextFile is then left closed.
bool text_open(TextFile *file, const char *path, const char *mode);

// Reads one line into line[0..size-1] like fgets: up to size - 1 characters,
// the line feed kept, the rest of a longer line left for the next call.
// Returns false at the end of the file when nothing was read.
bool text_read_line(TextFile *file, char *line, int size);

void text_printf(TextFile *file, const char *format, ...) __attribute__((format(printf, 2, 3)));

// Pushes written text to the operating system, so that a row that has been
// written survives the process being killed.
void text_flush(TextFile *file);

void text_close(TextFile *file);
