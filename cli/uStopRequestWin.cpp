// Windows: the console's control handler runs on a thread of its own; it
// records the event and sets a Win32 event that the waiting loop waits on.
#include "uStopRequest.h"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace {

std::atomic<int> gSignal{0};
HANDLE gWake = nullptr;

const char kSecondStop[] =
    "QarnDiag: second stop signal: ended at once, the reader library's call unfinished "
    "and the reader not closed\r\n";

BOOL WINAPI OnConsoleControl(DWORD type)
{
    if (gSignal != 0 && (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT)) {
        // The first stop waits for a call that has not returned; the user
        // insists.
        DWORD written = 0;
        ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), kSecondStop, DWORD(sizeof kSecondStop - 1),
                    &written, nullptr);
        ::TerminateProcess(::GetCurrentProcess(),
                           UINT(128 + (type == CTRL_C_EVENT ? SIGINT : SIGTERM)));
    }
    switch (type) {
    case CTRL_C_EVENT: gSignal = SIGINT; break;
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT: gSignal = SIGTERM; break;
    default: return FALSE;
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

int TStopRequest::Signal() { return gSignal; }
