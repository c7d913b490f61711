// The monitoring formats in-process against the stand-in: the threshold
// ranges, the OpenMetrics output checked against the format's grammar by a
// parser of its own (with texts from the library that carry quotes,
// backslashes, line feeds and bytes that are not UTF-8), a step that did not
// run having no sample, and the textfile replaced whole or left alone.
#include "qarntest.h"
#include "uQarnDiagCli.h"
#include "uThresholdRange.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using qarntest::StandIn;

namespace {

// Lib "v1" \ <LF> <0xE9>, and the product Q'a|r <LF>n.
const char kHostileTexts[] =
    "{\"version\":{\"hex\":\"4C69622022763122205C0AE9\"},\"firmware\":{\"hex\":\"5127617C720A6E\"}}";

int Run(const QStringList &arguments, QString &out)
{
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    return RunCommandLine(QStringList{QStringLiteral("QarnDiag")} + arguments, outStream, errStream);
}

// Checks text against the OpenMetrics text grammar: metadata and samples of
// one family together, families not repeated, sample names that fit their
// family's type, escaped label values, numbers, "# EOF" last.  Returns the
// samples' names and label sets, one per line; fails the test otherwise.
QStringList OpenMetricsSamples(const QString &text)
{
    const QString name = QStringLiteral("[a-zA-Z_:][a-zA-Z0-9_:]*");
    const QString escaped = QStringLiteral("(?:[^\"\\\\\\n]|\\\\[\\\\\"n])*");
    const QRegularExpression descriptor(QStringLiteral("^# (HELP|TYPE|UNIT) (%1)(?: (.*))?$").arg(name));
    const QRegularExpression sample(QStringLiteral("^(%1)(\\{%1=\"%2\"(?:,%1=\"%2\")*\\})? "
                                                   "(-?[0-9]+(?:\\.[0-9]+)?(?:e[-+]?[0-9]+)?|[+-]Inf|NaN)$")
                                        .arg(name, escaped));
    QStringList samples;
    QStringList families;
    QMap<QString, QString> types;
    QStringList lines = text.split('\n');
    [&] {
        QVERIFY2(lines.size() >= 2 && lines.takeLast().isEmpty() && lines.takeLast() == "# EOF", qPrintable(text));
        for (const QString &line : lines) {
            const QRegularExpressionMatch meta = descriptor.match(line);
            const QRegularExpressionMatch value = sample.match(line);
            QVERIFY2(meta.hasMatch() || value.hasMatch(), qPrintable(line));
            const QString family = meta.hasMatch() ? meta.captured(2) : families.value(families.size() - 1);
            if (meta.hasMatch() && family != families.value(families.size() - 1)) {
                QVERIFY2(!families.contains(family), qPrintable("family again: " + line));
                families << family;
            }
            if (meta.captured(1) == "TYPE")
                types[family] = meta.captured(3);
            if (meta.captured(1) == "HELP")
                QVERIFY2(QRegularExpression("^" + escaped + "$").match(meta.captured(3)).hasMatch(), qPrintable(line));
            if (!value.hasMatch())
                continue;
            const QString suffix = types[family] == "counter" ? "_total" : types[family] == "info" ? "_info" : "";
            QVERIFY2(value.captured(1) == family + suffix, qPrintable("not of its family: " + line));
            QVERIFY(types[family] != "info" || value.captured(3) == "1");
            samples << value.captured(1) + value.captured(2);
        }
    }();
    return samples;
}

} // namespace

class TestMonitoring : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { qarntest::UnloadStandIn(); }

    // "alerts" / "quiet" at the value, or the error for a malformed range.
    void thresholds_data()
    {
        QTest::addColumn<QString>("range");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *range, double value, const char *expected) {
            QTest::addRow("%s at %g", range, value) << range << value << expected;
        };
        row("10", -1, "alerts"), row("10", 0, "quiet"), row("10", 10, "quiet"), row("10", 10.5, "alerts");
        row("10:", 9.9, "alerts"), row("10:", 10, "quiet"), row("10:", 1e9, "quiet");
        row("~:10", -1e9, "quiet"), row("~:10", 10, "quiet"), row("~:10", 11, "alerts");
        row("10:20", 9, "alerts"), row("10:20", 15, "quiet"), row("10:20", 21, "alerts");
        row("@10:20", 9, "quiet"), row("@10:20", 10, "alerts"), row("@10:20", 20, "alerts"), row("@10:20", 21, "quiet");
        row("-5.5:.5", -5.5, "quiet"), row("@~:0", -3, "alerts");
        row("20:10", 0, "'20:10' is not a range (its start is above its end).");
        row("", 0, "'' is not a range (empty).");
        row(":5", 0, "':5' is not a range (no start before ':').");
        row("1e3", 0, "'1e3' is not a range ('1e3' is not a number).");
        row("@", 0, "'@' is not a range (empty).");
        row("5:x", 0, "'5:x' is not a range ('x' is not a number).");
    }
    void thresholds()
    {
        QFETCH(QString, range);
        QFETCH(double, value);
        QFETCH(QString, expected);
        QString error;
        const std::optional<TThresholdRange> parsed = TThresholdRange::Parse(range, &error);
        QCOMPARE(parsed ? (parsed->Alerts(value) ? "alerts" : "quiet") : error, expected);
    }

    // The samples of each run; the library's texts escaped in the labels.
    void openMetrics_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("samples"); // beside qarndiag_info and the four of every run
        QTest::newRow("check") << "default" << QStringList{"--check"}
            << QStringList{"qarndiag_reader_connected", "qarndiag_step_status{step=\"library\"}",
                           "qarndiag_step_status{step=\"connection\"}"};
        QTest::newRow("benchmark") << "default" << QStringList{"--benchmark"}
            << QStringList{"qarndiag_reader_connected", "qarndiag_echo_round_trip_seconds{bytes=\"128\"}",
                           "qarndiag_echo_round_trip_seconds{bytes=\"256\"}", "qarndiag_echo_round_trip_seconds{bytes=\"768\"}",
                           "qarndiag_step_status{step=\"library\"}", "qarndiag_step_status{step=\"connection\"}",
                           "qarndiag_step_status{step=\"benchmark\"}"};
        QTest::newRow("poll") << "default" << QStringList{"--poll", "1"}
            << QStringList{"qarndiag_reader_connected", "qarndiag_card_present", "qarndiag_step_status{step=\"library\"}",
                           "qarndiag_step_status{step=\"connection\"}", "qarndiag_step_status{step=\"card\"}",
                           "qarndiag_poll_errors_total"};
        QTest::newRow("library missing") << "" << QStringList{"--check"}
            << QStringList{"qarndiag_step_status{step=\"library\"}"};
    }
    void openMetrics()
    {
        QFETCH(QString, variant);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, samples);
        qarntest::SettingsSandbox settings;
        qarntest::LoadStandIn(variant);
        QVERIFY(variant.isEmpty() || StandIn::Scenario(kHostileTexts));
        QString out;
        Run(arguments + QStringList{"--device", "auto", "--format", "openmetrics"}, out);
        QStringList found = OpenMetricsSamples(out);
        const QString info = found.value(0);
        if (!variant.isEmpty()) {
            // The last byte: a character of the ANSI code page on Windows,
            // not UTF-8 on Linux.
#ifdef Q_OS_WIN
            const QString last = QString::fromLocal8Bit("\xE9");
#else
            const QString last = QStringLiteral("\\\\xE9");
#endif
            const QString version = QStringLiteral(",library_version=\"Lib \\\"v1\\\" \\\\\\n") + last + "\",";
            QVERIFY2(info.contains(version) && info.endsWith(",product=\"Q'a|r\\nn\"}"), qPrintable(info));
        }
        samples.prepend(QStringLiteral("qarndiag_library_available"));
        samples << "qarndiag_check_duration_seconds" << "qarndiag_last_check_timestamp_seconds" << "qarndiag_exit_status";
        QCOMPARE(found.mid(1), samples);
    }

    // The textfile: replaced whole, readable by the collector's user, and
    // nothing but it in the folder, also when it cannot be replaced.
    void textfile()
    {
        qarntest::SettingsSandbox settings;
        qarntest::LoadStandIn(QStringLiteral("default"));
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("qarndiag.prom"));
        QString out;
        QCOMPARE(Run({"--check", "--device", "auto", "--textfile", folder.path()}, out), 0);
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"qarndiag.prom"});
        QVERIFY(QFile::permissions(file) & QFileDevice::ReadOther);
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.readAll().contains("\nqarndiag_exit_status 0\n"));
        QVERIFY(written.remove() && QDir(folder.path()).mkdir(QStringLiteral("qarndiag.prom")));
        QCOMPARE(Run({"--check", "--device", "auto", "--textfile", folder.path()}, out), 8);
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"qarndiag.prom"});
    }
};

QTEST_GUILESS_MAIN(TestMonitoring)
#include "tst_monitoring.moc"
