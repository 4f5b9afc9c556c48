// The fuzz targets' scratch folder: a private folder under /dev/shm (or the
// temporary folder) for the files the code under test reads and writes.
// Standard output is sent to a file there, so that the console text can be
// checked and the fuzzer's own output stays readable.
#pragma once

#include <cstddef>
#include <cstdint>

enum { SCRATCH_PATH_SIZE = 256 };

// Creates the folder and redirects standard output into it, once per
// process; the folder is removed when the process exits normally.
void scratch_begin(void);

// The path of name inside the scratch folder.
void scratch_path(const char *name, char *path, int size);

// Replaces the file at path with the given bytes. Returns false on failure.
bool scratch_write(const char *path, const uint8_t *data, size_t size);

// Reads at most size - 1 bytes of the file at path into text, NUL-terminated.
// Returns the file's length, or -1 when it cannot be read.
long scratch_read(const char *path, char *text, long size);

// Flushes the console and takes everything it wrote since the last call:
// returns its length, and copies its last bytes, at most size - 1 of them,
// into tail, NUL-terminated.
long console_take(char *tail, long size);

// Reports a broken property and aborts, so that libFuzzer or the corpus
// replay records the input. The scratch folder is kept for a look.
[[noreturn]] void fuzz_fail(const char *file, int line, const char *condition);

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fuzz_fail(__FILE__, __LINE__, #condition);                                             \
    } while (0)
