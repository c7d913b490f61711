// Windows: the console's control handler runs on a thread of its own; it
// records the event and sets a Win32 event that the waiting loop waits on.
#include "uStopRequest.h"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace {

std::atomic<int> gSignal{0};
HANDLE gWake = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type)
{
    switch (type) {
    case CTRL_C_EVENT:
        gSignal = SIGINT;
        break;
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        gSignal = SIGTERM;
        break;
    default:
        return FALSE;
    }
    if (gWake)
        ::SetEvent(gWake);
    return TRUE;
}

} // namespace

TStopRequest::TStopRequest()
{
    gSignal = 0;
    gWake = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

TStopRequest::~TStopRequest()
{
    ::SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
    if (gWake)
        ::CloseHandle(gWake);
    gWake = nullptr;
}

bool TStopRequest::Wait(int milliseconds)
{
    if (gSignal == 0 && milliseconds > 0) {
        if (gWake)
            ::WaitForSingleObject(gWake, DWORD(milliseconds));
        else
            ::Sleep(DWORD(milliseconds));
    }
    return gSignal != 0;
}

int TStopRequest::Signal() const { return gSignal; }
