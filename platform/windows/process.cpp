// Stop requests and process exit on Windows.
#include "platform/process.h"

#include "platform/console.h"

#include <cstdlib>
#include <windows.h>

namespace
{

volatile LONG stop_flag;
HANDLE stop_event; // set with the flag, so that a pause ends at once

// Runs on a thread of its own that the system starts for each Ctrl-C or
// Ctrl-Break typed on the service's console.
BOOL WINAPI on_console_control(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE; // closing the window, logoff, shutdown: the system's way
    // A second request: the operator does not want to wait.
    if (InterlockedExchange(&stop_flag, 1) != 0)
        TerminateProcess(GetCurrentProcess(), 1);
    if (stop_event != nullptr)
        SetEvent(stop_event);
    return TRUE;
}

} // namespace

void stop_handlers_install(void)
{
    // A process started in a new process group ignores Ctrl-C until it asks
    // for it again.
    stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(on_console_control, TRUE);
}

bool stop_requested(void)
{
    return stop_flag != 0;
}

void pause_unless_stopped(int ms)
{
    if (stop_flag != 0)
        return;
    if (stop_event != nullptr)
        WaitForSingleObject(stop_event, (DWORD)ms);
    else
        Sleep((DWORD)ms);
}

void process_exit(int status)
{
    console_flush();
    std::exit(status);
}
