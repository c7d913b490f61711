// POSIX: the handler writes one byte into a pipe that the waiting loop
// polls (the self-pipe), which is all a signal handler may safely do.
#include "uStopRequest.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kStopSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];

volatile sig_atomic_t gSignal = 0;
int gPipe[2] = {-1, -1};
struct sigaction gPrevious[kStopSignalCount] {};
struct sigaction gPreviousPipe {};

const char kSecondStop[] =
    "QarnDiag: second stop signal: ended at once, the reader library's call unfinished "
    "and the reader not closed\n";

extern "C" void OnStopSignal(int number)
{
    const int savedErrno = errno;
    if (gSignal != 0) {
        // The first stop waits for a call that has not returned; the user
        // insists.
        [[maybe_unused]] const ssize_t said =
            ::write(STDERR_FILENO, kSecondStop, sizeof kSecondStop - 1);
        ::_exit(128 + number);
    }
    gSignal = number;
    const char byte = 1;
    // A full pipe already holds a wake-up; the result does not matter.
    [[maybe_unused]] const ssize_t written = ::write(gPipe[1], &byte, 1);
    errno = savedErrno;
}

long long NowMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

TStopRequest::TStopRequest()
{
    gSignal = 0;
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        gPipe[0] = gPipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = &OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < kStopSignalCount; ++i)
        ::sigaction(kStopSignals[i], &action, &gPrevious[i]);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &gPreviousPipe);
}

TStopRequest::~TStopRequest()
{
    for (int i = 0; i < kStopSignalCount; ++i)
        ::sigaction(kStopSignals[i], &gPrevious[i], nullptr);
    ::sigaction(SIGPIPE, &gPreviousPipe, nullptr);
    for (int &end : gPipe) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

bool TStopRequest::Wait(int milliseconds)
{
    const long long deadline = NowMs() + (milliseconds > 0 ? milliseconds : 0);
    while (gSignal == 0) {
        const long long left = deadline - NowMs();
        if (left <= 0)
            break;
        pollfd wake{gPipe[0], POLLIN, 0};
        // Without a pipe the flag is looked at every 100 ms.
        const bool piped = gPipe[0] >= 0;
        const int slice = int(piped ? left : std::min(left, 100LL));
        const int ready = ::poll(&wake, piped ? 1 : 0, slice);
        if (ready < 0 && errno != EINTR)
            break;
    }
    return gSignal != 0;
}

int TStopRequest::Signal() { return gSignal; }
