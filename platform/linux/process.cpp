// Stop requests and process exit on Linux.
#include "platform/process.h"

#include "platform/console.h"

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <sys/select.h>
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

void pause_unless_stopped(int ms)
{
    // The stop signals are held back from the flag check until the wait
    // has begun, and pselect lets them in and starts waiting in one step: a
    // signal cannot fall between the two and leave the whole pause to run.
    // They are the only signals with a handler, so only a stop ends the wait
    // early.
    sigset_t stops, others;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigprocmask(SIG_BLOCK, &stops, &others);
    if (!stop_flag) {
        struct timespec wait = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000};
        pselect(0, nullptr, nullptr, nullptr, &wait, &others);
    }
    sigprocmask(SIG_SETMASK, &others, nullptr);
}

void process_exit(int status)
{
    console_flush();
    std::exit(status);
}
