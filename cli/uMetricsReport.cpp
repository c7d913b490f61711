#include "uMetricsReport.h"

namespace {

TMetricFamily Gauge(const QString &name, const QString &help, const QString &unit = QString())
{
    return TMetricFamily{QStringLiteral("qarndiag_") + name, TMetricType::Gauge, unit, help, {}};
}

void Add(TMetricFamily &family, double value, const QString &label = QString(),
         const QString &labelValue = QString())
{
    TMetricSample sample;
    if (!label.isEmpty())
        sample.labels.emplace_back(label, labelValue);
    sample.value = value;
    family.samples.push_back(sample);
}

} // namespace

QString MetricsTextFileName() { return QStringLiteral("qarndiag.prom"); }

std::vector<TMetricFamily> MetricsReport(const TRunOutcome &outcome)
{
    const TDiagnosisReport &report = outcome.report;
    const std::optional<TConnectionTest> &connection = report.connection;
    const QString seconds = QStringLiteral("seconds");

    TMetricFamily info{QStringLiteral("qarndiag"),
                       TMetricType::Info,
                       QString(),
                       QStringLiteral("QarnDiag, the reader library and the reader it checked."),
                       {}};
    TMetricSample infoSample;
    infoSample.labels = {
        {QStringLiteral("version"), ProgramVersion()},
        {QStringLiteral("library_version"), report.library ? report.library->version : QString()},
        {QStringLiteral("library_path"), report.library ? report.library->path : QString()},
        {QStringLiteral("device"), connection && connection->Passed()
                                       ? connection->deviceText
                                       : LibraryText(ConnectionDeviceName(report.deviceChoice))},
        {QStringLiteral("product"),
         connection && connection->Passed() ? connection->firmware : QString()},
    };
    infoSample.value = 1;
    info.samples.push_back(infoSample);

    TMetricFamily library =
        Gauge(QStringLiteral("library_available"),
              QStringLiteral("1 when the reader library is loaded and complete."));
    TMetricFamily connected = Gauge(QStringLiteral("reader_connected"),
                                    QStringLiteral("1 when the connection test passed."));
    TMetricFamily card =
        Gauge(QStringLiteral("card_present"), QStringLiteral("1 when the last poll found a card."));
    TMetricFamily echo =
        Gauge(QStringLiteral("echo_round_trip_seconds"),
              QStringLiteral("Average round trip of an echo of the given size."), seconds);
    TMetricFamily steps =
        Gauge(QStringLiteral("step_status"),
              QStringLiteral("The Norvane status code of each step that ran, 0 passed."));
    TMetricFamily pollErrors{QStringLiteral("qarndiag_poll_errors"),
                             TMetricType::Counter,
                             QString(),
                             QStringLiteral("Polls for cards that answered an error."),
                             {}};
    TMetricFamily duration = Gauge(QStringLiteral("check_duration_seconds"),
                                   QStringLiteral("How long the check took."), seconds);
    TMetricFamily finished =
        Gauge(QStringLiteral("last_check_timestamp_seconds"),
              QStringLiteral("When the check ended, in seconds since 1970."), seconds);
    TMetricFamily exitStatus = Gauge(QStringLiteral("exit_status"),
                                     QStringLiteral("The exit status of the check, 0 passed."));

    const QString step = QStringLiteral("step");
    if (report.library) {
        Add(library, report.library->Available() ? 1 : 0);
        Add(steps, report.library->status, step, QStringLiteral("library"));
    }
    if (connection) {
        Add(connected, connection->Passed() ? 1 : 0);
        Add(steps, connection->status, step, QStringLiteral("connection"));
    }
    if (report.benchmark) {
        Add(steps, report.benchmark->status, step, QStringLiteral("benchmark"));
        const std::pair<int, TEchoAverage> sizes[] = {{128, report.benchmark->average128},
                                                      {256, report.benchmark->average256},
                                                      {768, report.benchmark->average768}};
        for (const auto &[bytes, average] : sizes)
            if (average.measured)
                Add(echo, average.milliseconds / 1000.0, QStringLiteral("bytes"),
                    QString::number(bytes));
    }
    if (report.card) {
        Add(card, report.card->status == QARN_OK ? 1 : 0);
        Add(steps, report.card->status, step, QStringLiteral("card"));
    }
    if (report.polling)
        Add(pollErrors, outcome.pollErrors);
    Add(duration, outcome.seconds);
    Add(finished, outcome.finishedAt);
    Add(exitStatus, outcome.exitStatus);
    return {info,  library,    connected, card,     echo,
            steps, pollErrors, duration,  finished, exitStatus};
}
