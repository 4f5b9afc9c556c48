// A helper server run as a child process for the length of a test: the
// device simulator or a Modbus server from outside the project. It prints
// "listening PROTO ADDR PORT" for each socket and "ready" once every one can
// be reached, then whatever it logs.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

struct HelperProcess {
    pid_t pid = -1;
    int out_fd = -1;            // the child's standard output
    std::string unread;         // bytes read from it, not yet taken as lines
    std::vector<int> tcp_ports; // in the order of the listening lines
    std::vector<int> udp_ports;

    ~HelperProcess();
};

// Runs argv[0] with its output on a pipe and waits until it says "ready".
// Returns false if it ends first or is not ready within 10 s.
bool helper_start(HelperProcess *helper, const std::vector<std::string> &argv);

// The next line the helper printed, without its line feed. Returns false
// when none comes within timeout_ms or the helper has ended.
bool helper_read_line(HelperProcess *helper, std::string *line, int timeout_ms);

// Reads lines until one starts with prefix. Returns it, or "" after
// timeout_ms.
std::string helper_wait_for(HelperProcess *helper, const std::string &prefix, int timeout_ms);

// Stops the helper with SIGTERM and reaps it. Returns its exit status, or
// -1 if it was ended by a signal.
int helper_stop(HelperProcess *helper);

// Runs a command to its end with its standard output and error in out and
// err. Returns its exit status, or -1 if it did not exit normally.
int run_command(const std::vector<std::string> &argv, std::string *out, std::string *err);
