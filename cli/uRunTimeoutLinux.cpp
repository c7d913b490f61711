// POSIX: the watch is a thread waiting on a condition variable until the
// deadline; its lock is held from the deadline to _exit, so Disarm either
// comes first or waits for the end of the process.
#include "uRunTimeout.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unistd.h>

class TRunTimeout::TWatch {
public:
    TWatch(int seconds, const QByteArray &output, const QByteArray &message, int status)
        : FOutput(output), FMessage(message), FStatus(status),
          FDeadline(std::chrono::steady_clock::now() + std::chrono::seconds(seconds))
    {
        // The stop signals stay with the run's threads.
        sigset_t all;
        sigset_t previous;
        sigfillset(&all);
        ::pthread_sigmask(SIG_BLOCK, &all, &previous);
        FThread = std::thread([this] { Watch(); });
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }

    ~TWatch()
    {
        Disarm();
        FThread.join();
    }

    void Disarm()
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FDisarmed = true;
        FWake.notify_all();
    }

private:
    static void WriteAll(int fd, const QByteArray &bytes)
    {
        const char *data = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t written = ::write(fd, data, std::size_t(left));
            if (written <= 0)
                return; // a closed output: the status still tells
            data += written;
            left -= written;
        }
    }

    void Watch()
    {
        std::unique_lock<std::mutex> lock(FMutex);
        if (FWake.wait_until(lock, FDeadline, [this] { return FDisarmed; }))
            return;
        WriteAll(STDOUT_FILENO, FOutput);
        WriteAll(STDERR_FILENO, FMessage);
        ::_exit(FStatus);
    }

    const QByteArray FOutput;
    const QByteArray FMessage;
    const int FStatus;
    const std::chrono::steady_clock::time_point FDeadline;
    std::mutex FMutex;
    std::condition_variable FWake;
    bool FDisarmed = false;
    std::thread FThread;
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
