// Stop requests and process exit on Windows.
#include "platform/process.h"

#include "platform/console.h"

#include <cstdlib>
#include <windows.h>

namespace
{

volatile LONG stop_flag;

// Runs on a thread of its own that the system starts for each Ctrl-C or
// Ctrl-Break typed on the service's console.
BOOL WINAPI on_console_control(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE; // closing the window, logoff, shutdown: the system's way
    // A second request: the operator does not want to wait.
    if (InterlockedExchange(&stop_flag, 1) != 0)
        TerminateProcess(GetCurrentProcess(), 1);
    return TRUE;
}

} // namespace

void stop_handlers_install(void)
{
    // A process started in a new process group ignores Ctrl-C until it asks
    // for it again.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(on_console_control, TRUE);
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
