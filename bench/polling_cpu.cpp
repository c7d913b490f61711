// Measures the CPU time the real main window uses while it idles: first with
// polling off, then connected to the reader with contactless polling on.
// The window is set up as the program sets it up; the buttons are clicked
// programmatically.
//
//   bench_polling_cpu [seconds-per-phase]      (default 30)
//
// Prints one line per phase:
//   phase <off|on> wall_ms <ms> cpu_ms <ms> card_line_changes <n>
// and exits non-zero, with a message, when the window cannot be brought into
// the state a phase needs or polling shows no effect.
#include "uAppServices.h"
#include "uQarnCommMore.h"
#include "uQarnDiag.h"
#include "uQarnDyn.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStyleFactory>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

double CpuMilliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Runs the event loop until the condition holds or the time is up.
bool WaitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

struct TPhase {
    qint64 wallMs = 0;
    double cpuMs = 0;
    int cardLineChanges = 0;
};

// Lets the event loop idle for the given time.  The card line is sampled
// once a second, in both phases alike, to see that polling does something.
TPhase Idle(TfQarnDiag &window, int seconds)
{
    TPhase phase;
    QString lastCardLine = window.lbCard->text();
    QTimer sampler;
    sampler.setInterval(1000);
    QObject::connect(&sampler, &QTimer::timeout, [&]() {
        const QString line = window.lbCard->text();
        if (line != lastCardLine) {
            ++phase.cardLineChanges;
            lastCardLine = line;
        }
    });

    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    const double cpuBefore = CpuMilliseconds();
    clock.start();
    sampler.start();
    loop.exec();
    phase.wallMs = clock.elapsed();
    phase.cpuMs = CpuMilliseconds() - cpuBefore;
    return phase;
}

void Report(const char *name, const TPhase &phase)
{
    std::printf("phase %s wall_ms %lld cpu_ms %.3f card_line_changes %d\n", name,
                static_cast<long long>(phase.wallMs), phase.cpuMs, phase.cardLineChanges);
    std::fflush(stdout);
}

int Fail(const char *what)
{
    std::fprintf(stderr, "bench_polling_cpu: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    if (seconds <= 0 || seconds > 3600) {
        std::fprintf(stderr, "usage: %s [seconds-per-phase, 1..3600]\n", argv[0]);
        return 2;
    }

    DynStartHook();
    int result = 0;
    {
        QApplication application(argc, argv);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        SetApplicationTitle(QStringLiteral("Ardanel QarnDiag"));
        // A message box would stop the measurement; any one is a failure.
        int boxes = 0;
        SetMessageBoxHook([&boxes](const TMessageBoxRecord &box) {
            ++boxes;
            std::fprintf(stderr, "bench_polling_cpu: message box \"%s\": %s\n",
                         qPrintable(box.caption), qPrintable(box.text));
        });

        TfQarnDiag window;
        fQarnDiag = &window;
        TfQarnCommMore commMore(&window);
        fQarnCommMore = &commMore;
        window.show();

        [&]() {
            if (!WaitFor([&]() { return !window.eDllVersion->text().isEmpty() || boxes > 0; }, 10000) ||
                boxes > 0) {
                result = Fail("the start-up check found no reader library");
                return;
            }
            Report("off", Idle(window, seconds));

            window.btnTest->click();
            if (Tag(window.btnTest) != 1 || boxes > 0) {
                result = Fail("the connection test did not connect to the reader");
                return;
            }
            window.btnPolling->click();
            if (Tag(window.btnPolling) != 1) {
                result = Fail("polling did not start");
                return;
            }
            const TPhase on = Idle(window, seconds);
            Report("on", on);
            if (on.cardLineChanges == 0 || boxes > 0)
                result = Fail("polling never changed the card line");
        }();

        SetMessageBoxHook(nullptr);
        DynUnloadLibrary();
        fQarnCommMore = nullptr;
        fQarnDiag = nullptr;
    }
    return result;
}
