#include "uPluginReport.h"

#include "uExitStatus.h"

#include <csignal>

namespace {

struct TEchoSize {
    int bytes;
    TEchoAverage TBenchmarkRun::*average;
};
const TEchoSize kEchoSizes[] = {{128, &TBenchmarkRun::average128},
                                {256, &TBenchmarkRun::average256},
                                {768, &TBenchmarkRun::average768}};

QString SignalName(int number)
{
    switch (number) {
    case SIGINT: return QStringLiteral("SIGINT");
    case SIGTERM: return QStringLiteral("SIGTERM");
#ifdef SIGHUP
    case SIGHUP: return QStringLiteral("SIGHUP");
#endif
    default: return QStringLiteral("signal %1").arg(number);
    }
}

TPerfData CheckTime(double seconds)
{
    return TPerfData{QStringLiteral("check_time"), seconds, QStringLiteral("s"), {}, {}, 0.0, {}};
}

// The reader found: product and the device it answered on.
QString ReaderText(const TDiagnosisReport &report)
{
    if (!report.connection) {
        const qsizetype ports = report.ports ? qsizetype(report.ports->size()) : 0;
        return QStringLiteral("%1 ports listed by %2").arg(ports).arg(report.library->version);
    }
    return QStringLiteral("%1 on %2")
        .arg(report.connection->firmware, report.connection->deviceText);
}

// The status and text of the steps, before the thresholds.
std::pair<TPluginStatus, QString> StepStatus(const TRunOutcome &outcome)
{
    const TDiagnosisReport &report = outcome.report;
    if (outcome.stopSignal != 0)
        return {
            kPluginUnknown,
            QStringLiteral("Stopped by %1, the reader closed").arg(SignalName(outcome.stopSignal))};
    switch (outcome.exitStatus) {
    case kExitPassed: return {kPluginOk, ReaderText(report)};
    case kExitLibraryUnavailable:
        if (!report.library->Available())
            return {kPluginCritical,
                    QStringLiteral("Norvane library: ") + report.library->StartupMessage()};
        return {kPluginCritical, StatusMessage(QARN_ENTRY_POINT_MISSING)};
    case kExitReaderNotFound:
        if (report.portsStatus != QARN_OK)
            return {kPluginCritical,
                    QStringLiteral("Port list: ") + StatusMessage(report.portsStatus)};
        [[fallthrough]];
    case kExitConnectionFailed:
        return {kPluginCritical,
                QStringLiteral("Connection test: ") + report.connection->FailureText()};
    case kExitBenchmarkFailed:
        return {kPluginCritical, ReaderText(report) + QStringLiteral(", benchmark: ") +
                                     report.benchmark->FailureText()};
    case kExitPollingFailed:
        if (report.card && report.card->Failed())
            return {kPluginCritical,
                    ReaderText(report) + QStringLiteral(", card: ") + report.card->line};
        return {kPluginWarning,
                ReaderText(report) +
                    QStringLiteral(", a poll answered an error that a later poll cleared")};
    default:
        return {kPluginUnknown, QStringLiteral("Ended with status %1").arg(outcome.exitStatus)};
    }
}

} // namespace

QString PluginName() { return QStringLiteral("QARNDIAG"); }

TPluginResult PluginReport(const TRunOutcome &outcome, const TCliOptions &options)
{
    TPluginResult result;
    result.name = PluginName();
    std::tie(result.status, result.text) = StepStatus(outcome);
    result.perfData.push_back(CheckTime(outcome.seconds));
    result.longOutput = outcome.lines;
    const std::optional<TBenchmarkRun> &benchmark = outcome.report.benchmark;
    if (options.benchmark) {
        QString crossed; // the first echo past the worst threshold crossed
        TPluginStatus worst = kPluginOk;
        for (const TEchoSize &size : kEchoSizes) {
            TPerfData item{QStringLiteral("echo_%1").arg(size.bytes),
                           std::nullopt,
                           QStringLiteral("ms"),
                           options.warning ? options.warning->Text() : QString(),
                           options.critical ? options.critical->Text() : QString(),
                           0.0,
                           {}};
            const TEchoAverage average = benchmark ? (*benchmark).*size.average : TEchoAverage{};
            if (average.measured) {
                item.value = double(average.milliseconds);
                for (const auto &[range, status] : {std::pair{&options.critical, kPluginCritical},
                                                    std::pair{&options.warning, kPluginWarning}}) {
                    if (status > worst && *range && (*range)->Alerts(*item.value)) {
                        worst = status;
                        crossed =
                            QStringLiteral("echo of %1 bytes %2 ms is past the %3 threshold '%4'")
                                .arg(size.bytes)
                                .arg(average.milliseconds)
                                .arg(status == kPluginCritical ? QStringLiteral("critical")
                                                               : QStringLiteral("warning"),
                                     (*range)->Text());
                    }
                }
            }
            result.perfData.push_back(item);
        }
        if (result.status < kPluginUnknown && worst > result.status) {
            result.status = worst;
            result.text = ReaderText(outcome.report) + QStringLiteral(": ") + crossed;
        }
    }
    if (options.pollSeconds > 0) {
        const std::optional<TCardPoll> &card = outcome.report.card;
        const double present = card && card->status == QARN_OK ? 1.0 : 0.0;
        result.perfData.push_back(
            TPerfData{QStringLiteral("card"), present, QString(), {}, {}, 0.0, 1.0});
    }
    return result;
}

TPluginResult PluginBadArguments(const QString &error)
{
    return TPluginResult{PluginName(), kPluginUnknown, error, {}, {}};
}

TPluginResult PluginTimedOut(int seconds)
{
    return TPluginResult{
        PluginName(),
        kPluginUnknown,
        QStringLiteral("Timed out after %1 s, the reader left as the library has it").arg(seconds),
        {CheckTime(seconds)},
        {}};
}
