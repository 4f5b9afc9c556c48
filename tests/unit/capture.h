// Test helpers: capture what the code under test writes to the console, and
// work in a fresh temporary folder.
#pragma once

#include <string>

// Starts sending standard output to a temporary file.
void capture_begin(void);

// Flushes the console, restores standard output and returns the bytes sent.
std::string capture_end(void);

// Writes bytes to a file, replacing it.
void write_file(const std::string &path, const std::string &bytes);

std::string read_file(const std::string &path);

// A new empty folder under the system's temporary folder.
std::string make_temp_dir(void);
