// Process start-up and stop.
#pragma once

// Catches the operator's stop requests (SIGINT and SIGTERM on Linux, Ctrl-C
// and Ctrl-Break on Windows). The first one only raises a flag that the
// schedule checks; a second one ends the process at once.
void stop_handlers_install(void);

bool stop_requested(void);

// Pauses ms milliseconds, or less when a stop is requested: one that comes
// before or during the pause ends it at once. An idle service thus wakes
// once a second, not every few milliseconds to look at the flag.
void pause_unless_stopped(int ms);

// Flushes the console and ends the process with the given status.
[[noreturn]] void process_exit(int status);
