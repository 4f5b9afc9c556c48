// Stop requests and process exit on Linux.
#include "platform/process.h"

#include "platform/console.h"

#include <csignal>
#include <cstdlib>
#include <unistd.h>

namespace
{

volatile sig_atomic_t stop_flag;

void on_stop_signal(int)
{
    if (stop_flag)
        _exit(1); // a second request: the operator does not want to wait
    stop_flag = 1;
}

} // namespace

void stop_handlers_install(void)
{
    struct sigaction action = {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A console or device that went away must not kill the service.
    signal(SIGPIPE, SIG_IGN);
}

bool stop_requested(void)
{
    return stop_flag != 0;
}

void process_exit(int status)
{
    console_flush();
    std::exit(status);
}
