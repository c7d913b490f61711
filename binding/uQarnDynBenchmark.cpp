// The echo benchmark: a probe, then timed series of 128, 256 and 768 bytes.
#include "uQarnDynCall.h"
#include "uQarnDynPlatform.h"

using qarn::dyn::Entry;
using qarn::dyn::EntryOf;
using qarn::dyn::TEntryCall;

namespace {

TQarnTickSource gTickSource = nullptr;
TQarnBenchmarkNotifier gBenchmarkNotifier = nullptr;
TQarnStopCheck gStopCheck = nullptr;

} // namespace

// ---- echo benchmark --------------------------------------------------------

void DynSetTickSource(TQarnTickSource source) { gTickSource = source; }

uint32_t DynTickCount() { return gTickSource ? gTickSource() : qarn::platform::TickCount(); }

void DynSetBenchmarkFailureNotifier(TQarnBenchmarkNotifier notifier)
{
    gBenchmarkNotifier = notifier;
}

void DynSetStopCheck(TQarnStopCheck check) { gStopCheck = check; }

namespace {

constexpr uint32_t kEchoExchanges = 25;

enum class TSeriesOutcome { Measured, StoppedQuietly, Failed, StoppedByHost };

// One timed series; inside the timed loop run only the library call and the
// host's stop check (a flag read).
TSeriesOutcome RunEchoSeries(const TEntryCall<Entry::Echo> &echo, uint16_t length, bool lastSeries,
                             TEchoAverage &average, TQarnStatus &failure)
{
    const uint32_t start = DynTickCount();
    for (uint32_t i = 0; i < kEchoExchanges; ++i) {
        if (gStopCheck && gStopCheck())
            return TSeriesOutcome::StoppedByHost;
        const TQarnStatus status = echo(length);
        if (status == QARN_OK)
            continue;
        if (status == QARN_NOT_SUPPORTED || (lastSeries && (status == -243 || status == -244)))
            return TSeriesOutcome::StoppedQuietly;
        failure = status;
        return TSeriesOutcome::Failed;
    }
    const uint32_t elapsed = DynTickCount() - start; // modulo 2^32: a wrap still counts right
    average.measured = true;
    average.milliseconds = elapsed / kEchoExchanges;
    return TSeriesOutcome::Measured;
}

} // namespace

TQarnStatus DynBenchmark(TEchoAverage &average128, TEchoAverage &average256,
                         TEchoAverage &average768)
{
    average128 = average256 = average768 = TEchoAverage{};

    const auto echo = EntryOf<Entry::Echo>();
    if (!echo)
        return QARN_OK;

    const TQarnStatus probe = echo(0);
    if (probe != QARN_OK)
        return probe;

    struct TSeries {
        uint16_t length;
        TEchoAverage *average;
    };
    const TSeries series[] = {{128, &average128}, {256, &average256}, {768, &average768}};
    for (const TSeries &s : series) {
        const bool last = s.length == 768;
        TQarnStatus failure = QARN_OK;
        switch (RunEchoSeries(echo, s.length, last, *s.average, failure)) {
        case TSeriesOutcome::Measured: break;
        case TSeriesOutcome::StoppedQuietly: return QARN_OK;
        case TSeriesOutcome::Failed:
            // What was measured before the failure is discarded.
            average128 = average256 = average768 = TEchoAverage{};
            if (last && gBenchmarkNotifier)
                gBenchmarkNotifier(failure);
            return failure;
        case TSeriesOutcome::StoppedByHost:
            // Nothing to show: the host that asked knows why.
            average128 = average256 = average768 = TEchoAverage{};
            return QARN_STOPPED;
        }
    }
    return QARN_OK;
}
