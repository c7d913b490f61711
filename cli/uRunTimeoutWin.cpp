// Windows: the watch is a thread waiting on an event until the deadline;
// its critical section is held from the deadline to TerminateProcess, so
// Disarm either comes first or waits for the end of the process.
#include "uRunTimeout.h"

#include <windows.h>

class TRunTimeout::TWatch {
public:
    TWatch(int seconds, const QByteArray &output, const QByteArray &message, int status)
        : FOutput(output), FMessage(message), FStatus(status), FMilliseconds(DWORD(seconds) * 1000)
    {
        ::InitializeCriticalSection(&FLock);
        FWake = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        FThread = FWake ? ::CreateThread(nullptr, 0, &TWatch::Start, this, 0, nullptr) : nullptr;
    }

    ~TWatch()
    {
        Disarm();
        if (FThread) {
            ::WaitForSingleObject(FThread, INFINITE);
            ::CloseHandle(FThread);
        }
        if (FWake)
            ::CloseHandle(FWake);
        ::DeleteCriticalSection(&FLock);
    }

    void Disarm()
    {
        ::EnterCriticalSection(&FLock);
        FDisarmed = true;
        if (FWake)
            ::SetEvent(FWake);
        ::LeaveCriticalSection(&FLock);
    }

private:
    static DWORD WINAPI Start(LPVOID self)
    {
        static_cast<TWatch *>(self)->Watch();
        return 0;
    }

    static void WriteAll(DWORD which, const QByteArray &bytes)
    {
        DWORD written = 0;
        ::WriteFile(::GetStdHandle(which), bytes.constData(), DWORD(bytes.size()), &written,
                    nullptr);
    }

    void Watch()
    {
        ::WaitForSingleObject(FWake, FMilliseconds);
        ::EnterCriticalSection(&FLock);
        if (FDisarmed) {
            ::LeaveCriticalSection(&FLock);
            return;
        }
        WriteAll(STD_OUTPUT_HANDLE, FOutput);
        WriteAll(STD_ERROR_HANDLE, FMessage);
        ::TerminateProcess(::GetCurrentProcess(), UINT(FStatus));
    }

    const QByteArray FOutput;
    const QByteArray FMessage;
    const int FStatus;
    const DWORD FMilliseconds;
    CRITICAL_SECTION FLock;
    HANDLE FWake = nullptr;
    HANDLE FThread = nullptr;
    bool FDisarmed = false;
};

TRunTimeout::TRunTimeout(int seconds, const QByteArray &output, const QByteArray &message,
                         int status)
{
    if (seconds > 0)
        FWatch = std::make_unique<TWatch>(seconds, output, message, status);
}

TRunTimeout::~TRunTimeout() = default;

void TRunTimeout::Disarm()
{
    if (FWatch)
        FWatch->Disarm();
}
