// The command line through the built program: every exit status, --help,
// --version and argument errors, the bytes of a device name, and a run ended
// by a signal or a closed output in each phase with the reader closed (read
// from the stand-in's call log file).
#include "qarntest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

struct Program {
    QTemporaryDir dir;
    QString path = QStringLiteral(QARN_PROGRAM);

    // The program copied into a folder of its own with the given build of the
    // stand-in beside it (an empty variant: no library at all).
    bool CopyAlone(const QString &variant)
    {
        const QString copy = dir.filePath(QStringLiteral("QarnDiag"));
        if (!QFile::copy(path, copy))
            return false;
        path = copy;
        return variant.isEmpty() ||
               QFile::copy(QStringLiteral(QARN_STANDIN_DIR "/") + variant + "/libnorvane.so",
                           dir.filePath(QStringLiteral("libnorvane.so")));
    }

    // Starts the program with a scenario, settings kept in the temporary
    // folder and the call log written to a file.  The shell passes each
    // argument through printf's %b, so that "\0351" reaches it as the byte
    // 0xE9, not in UTF-8.
    void Start(QProcess &process, const QStringList &arguments, const QByteArray &scenario)
    {
        QProcessEnvironment environment = qarntest::ProgramEnvironment(dir.path());
        environment.insert(QStringLiteral("NORVSIM_CALL_LOG"), LogFile());
        if (!scenario.isEmpty()) {
            QFile file(dir.filePath(QStringLiteral("scenario.json")));
            file.open(QIODevice::WriteOnly);
            file.write(scenario);
            environment.insert(QStringLiteral("NORVSIM_SCENARIO"), file.fileName());
        }
        process.setProcessEnvironment(environment);
        const QString script = QStringLiteral(
            R"sh(p=$0; for a; do shift; set -- "$@" "$(printf '%b' "$a")"; done; exec "$p" "$@")sh");
        process.start(QStringLiteral("/bin/sh"), QStringList{"-c", script, path} + arguments);
    }

    QString LogFile() const { return dir.filePath(QStringLiteral("calls.log")); }

    QStringList CallLog() const
    {
        QFile file(LogFile());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }
};

} // namespace

// The signals a row sends once its call is in the log; PIPE closes the
// program's output instead.
const QMap<QString, int> kStops{{"INT", SIGINT}, {"TERM", SIGTERM}, {"HUP", SIGHUP}, {"PIPE", SIGPIPE}};

class TestCli : public QObject {
    Q_OBJECT
private slots:
    // The column "stop": "> FILE" sends the output to FILE; otherwise a call
    // that must come into the stand-in's log, then the signals to send.
    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("library");
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QString>("stop");
        const QStringList check{"--check", "--device", "auto"};
        QTest::newRow("passed") << check << "beside" << QByteArray() << 0
                                << "Connection test : OK\n" << "" << "";
        QTest::newRow("help") << QStringList{"--help"} << "beside" << QByteArray() << 0
                              << "  --poll <seconds>   " << "" << "";
        QTest::newRow("help, -?") << QStringList{"-?"} << "beside" << QByteArray() << 0
                                  << "Usage: QarnDiag [options]\n" << "" << "";
        QTest::newRow("help-all") << QStringList{"--help-all"} << "beside" << QByteArray() << 0
                                  << " -platform <value>" << "" << "";
        QTest::newRow("version") << QStringList{"--version"} << "beside" << QByteArray() << 0
                                 << "QarnDiag 2.0.0\n" << "" << "";
        QTest::newRow("bad arguments") << QStringList{"--check", "--poll", "x"} << "beside"
                                       << QByteArray() << 2 << ""
                                       << "--poll needs a whole number of seconds from 1 to 86400, not 'x'.\n"
                                          "Try 'QarnDiag --help' for more information.\n" << "";
        QTest::newRow("unknown option") << QStringList{"--check", "--fast"} << "beside" << QByteArray()
                                        << 2 << "" << "QarnDiag: Unknown option 'fast'.\n" << "";
        for (const QString mistyped : {"--chek", "--jsn", "-p"})
            QTest::addRow("mistyped %s", qPrintable(mistyped)) << QStringList{mistyped, "3"} << "beside"
                << QByteArray() << 2 << "" << "Unknown option '" + mistyped.mid(mistyped.lastIndexOf('-') + 1) << "";
        QTest::newRow("no option, no display") << QStringList{} << "beside" << QByteArray() << 1 << ""
                                               << "no display; for the command line see qarndiag --help\n" << "";
        QTest::newRow("empty device") << QStringList{"--check", "--device", ""} << "beside" << QByteArray()
                                      << 2 << "" << "--device needs a name" << "";
        QTest::newRow("library missing") << check << "" << QByteArray() << 3
                                         << "Norvane library : norvane.dll is not available" << "" << "";
        QTest::newRow("library corrupted") << check << "none" << QByteArray() << 3
                                           << "appears to be invalid or corrupted" << "" << "";
        // Whichever step meets a missing entry point, the library is corrupted.
        const QString corrupted = QStringLiteral("ERROR : norvane.dll appears to be corrupted.");
        QTest::newRow("connection lacks an entry point") << check << "no_ControlRF" << QByteArray()
                                                         << 3 << corrupted << "" << "";
        QTest::newRow("port list lacks an entry point") << QStringList{"--list"} << "no_GetCommListA"
                                                        << QByteArray() << 3 << corrupted << "" << "";
        QTest::newRow("poll lacks an entry point") << QStringList{"--poll", "1", "--device", "auto"}
                                                   << "no_Find" << QByteArray() << 3 << corrupted << "" << "";
        QTest::newRow("reader not found") << QStringList{"--check", "--device", "COM9"} << "beside"
                                          << QByteArray() << 4 << "(status -1002)\n" << "" << "";
        QTest::newRow("device not UTF-8") << QStringList{"--check", "--device", "CAF\\0351"} << "beside"
                                          << QByteArray() << 4 << "Device choice : CAF\\xE9\n" << ""
                                          << R"(NORV_ReaderOpenA("CAF\xE9"))";
        QTest::newRow("ESC and LF in a text") << check << "beside"
            << QByteArray(R"({"firmware":{"hex":"1B5B324A1B5D303B580751610A436F6E6E656374696F6E2074657374203A204F4B"}})")
            << 0 << "Product name and version : \\x1B[2J\\x1B]0;X\\x07Qa\\x0AConnection test : OK\n" << "" << "";
        QTest::newRow("port list failed") << QStringList{"--list", "--check"} << "beside"
                                          << QByteArray(R"({"status":{"NORV_GetCommListA":-5}})") << 4
                                          << "Port : none listed\nPort list error : Norvane error -5 (status -5)\n" << "" << "";
        QTest::newRow("connection failed") << check << "beside"
                                           << QByteArray(R"({"status":{"NORV_ReaderGetRc500Id":-7}})")
                                           << 5 << "Connection error : Norvane error -7 (status -7)\n" << "" << "";
        QTest::newRow("benchmark failed") << QStringList{"--benchmark", "--device", "auto"} << "beside"
                                          << QByteArray(R"({"status":{"NORV_Echo":[{"status":-243,"arg":128}]}})")
                                          << 6 << "Benchmark : Failed\nBenchmark error : The reader did not answer in time (status -243)\n" << "" << "";
        QTest::newRow("benchmark lacks NORV_Echo") << QStringList{"--benchmark", "--device", "auto"} << "no_Echo"
                                                   << QByteArray() << 3 << "Benchmark : Failed\nBenchmark error : " + corrupted << "" << "";
        QTest::newRow("poll failed") << QStringList{"--poll", "1", "--device", "auto"} << "beside"
                                     << QByteArray(R"({"find_results":[{"status":-9}]})") << 7
                                     << "Card : Norvane error -9\n" << "" << "";
        QTest::newRow("poll failed, then no card") << QStringList{"--poll", "1", "--device", "auto"} << "beside"
                                     << QByteArray(R"({"find_results":[{"status":-9},{"status":-1},{"status":-1},{"status":-1}]})")
                                     << 7 << "Card : Norvane error -9\nCard : No card on the reader\n" << "" << "";
        QTest::newRow("output full") << check << "beside" << QByteArray() << 8 << ""
                                     << "QarnDiag: could not write the report: No space left on device\n" << "> /dev/full";
        const QByteArray slowOpen(R"({"open_delay_ms":1500})");
        const QByteArray slowEcho(R"({"echo_delay_ms":{"128":300}})");
        const QString open = R"(NORV_ReaderOpenA("auto"))";
        for (const auto &[name, code] : {std::pair{"INT", 130}, {"TERM", 143}, {"HUP", 129}}) {
            QTest::addRow("%s in a slow open", name) << check << "beside" << slowOpen << code
                                                     << "Connection test : OK\n" << "" << open + " " + name;
            QTest::addRow("%s in the benchmark, JSON", name) << QStringList{"--benchmark", "--json", "--device", "auto"}
                << "beside" << slowEcho << code << QString("\"exitCode\": %1").arg(code) << "" << QString("NORV_Echo(128) ") + name;
            QTest::addRow("%s while polling", name) << QStringList{"--poll", "60", "--device", "auto"} << "beside"
                << QByteArray() << code << "Card : " << "" << QString("NORV_Find(0xFFFF,12) ") + name;
        }
        QTest::newRow("second Ctrl+C in an open") << check << "beside" << QByteArray(R"({"open_delay_ms":20000})")
                                                  << 130 << "" << "second stop signal: ended at once" << open + " INT INT";
        QTest::newRow("output closed, --poll | head -n 3") << QStringList{"--poll", "60", "--device", "auto"} << "beside"
            << QByteArray() << 141 << "" << "" << open + " PIPE";

        // The monitoring plugin: each status word; the line is checked against
        // the guidelines' grammar below.
        const QStringList plugin{"--format", "plugin", "--device", "auto"};
        const QStringList bench = plugin + QStringList{"--benchmark"};
        const QByteArray slowEchoes(R"({"echo_delay_ms":{"128":20,"256":20,"768":20}})");
        const QByteArray pollCleared(R"({"find_results":[{"status":-9},{"status":-1},{"status":-1},{"status":-1}]})");
        QTest::newRow("plugin OK") << plugin + QStringList{"--check"} << "beside" << QByteArray() << 0
            << "QARNDIAG OK - Qarn Demo Reader 1.61 (stand-in) on USB | 'check_time'=" << "" << "";
        QTest::newRow("plugin WARNING, echo past --warning") << bench + QStringList{"--warning", "10", "--critical", "~:1000"}
            << "beside" << slowEchoes << 1 << " ms is past the warning threshold '10' | 'check_time'=" << "" << "";
        QTest::newRow("plugin WARNING, poll error cleared") << plugin + QStringList{"--poll", "1"} << "beside" << pollCleared
            << 1 << "a later poll cleared | 'check_time'=" << "" << "";
        QTest::newRow("plugin CRITICAL, echo past --critical") << bench + QStringList{"--warning", "@0:100", "--critical", "@10:100"}
            << "beside" << slowEchoes << 2 << "ms;@0:100;@10:100;0;\nQarnDiag version" << "" << "";
        QTest::newRow("plugin CRITICAL, library missing") << plugin + QStringList{"--check"} << "" << QByteArray() << 2
            << "QARNDIAG CRITICAL - Norvane library: norvane.dll is not available" << "" << "";
        QTest::newRow("plugin CRITICAL, reader not found") << QStringList{"--format", "plugin", "--check", "--device", "COM9"}
            << "beside" << QByteArray() << 2 << "QARNDIAG CRITICAL - Connection test: " << "" << "";
        QTest::newRow("plugin CRITICAL, last poll failed") << plugin + QStringList{"--poll", "1"} << "beside"
            << QByteArray(R"({"find_results":[{"status":-9}]})") << 2 << "'card'=0;;;0;1\n" << "" << "";
        QTest::newRow("plugin UNKNOWN, bad range") << bench + QStringList{"--warning", "20:10"} << "beside" << QByteArray() << 3
            << "QARNDIAG UNKNOWN - --warning '20:10' is not a range (its start is above its end).\n" << "" << "";
        QTest::newRow("plugin UNKNOWN, threshold without --benchmark") << plugin + QStringList{"--check", "--critical", "5"}
            << "beside" << QByteArray() << 3 << "--critical needs --benchmark" << "" << "";
        QTest::newRow("plugin UNKNOWN, --textfile") << plugin + QStringList{"--check", "--textfile", "/tmp"} << "beside"
            << QByteArray() << 3 << "--textfile does not go with --format plugin" << "" << "";
        QTest::newRow("plugin UNKNOWN, SIGTERM") << plugin + QStringList{"--check"} << "beside" << slowOpen << 3
            << "QARNDIAG UNKNOWN - Stopped by SIGTERM, the reader closed |" << "" << open + " TERM";
        // The open blocks 20 s; the program ends after 1 s, the open unfinished.
        const QByteArray stuckOpen(R"({"open_delay_ms":20000})");
        QTest::newRow("plugin UNKNOWN, timeout in a blocked open") << plugin + QStringList{"--check", "--timeout", "1"}
            << "beside" << stuckOpen << 3
            << "QARNDIAG UNKNOWN - Timed out after 1 s, the reader left as the library has it | 'check_time'=1s;;;0;\n"
            << "" << "";
        QTest::newRow("timeout in a blocked open, text") << check + QStringList{"--timeout", "1"} << "beside" << stuckOpen
            << 9 << "Device choice : auto\n" << "QarnDiag: timed out after 1 s: ended at once" << "";
    }
    void exitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, library);
        QFETCH(QByteArray, scenario);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QString, stop);
        Program program;
        QElapsedTimer clock;
        clock.start();
        if (library != QStringLiteral("beside"))
            QVERIFY(program.CopyAlone(library));
        QStringList words = stop.startsWith('>') ? QStringList() : stop.split(' ');
        QStringList signalList;
        while (!words.isEmpty() && kStops.contains(words.last()))
            signalList.prepend(words.takeLast());
        const QString call = words.join(' ');
        QProcess process;
        QProcess head; // "| head -n 3": a reader that has read enough
        if (stop.startsWith('>'))
            process.setStandardOutputFile(stop.mid(2));
        else if (signalList.removeAll("PIPE") > 0) {
            process.setStandardOutputProcess(&head);
            head.start("head", {"-n", "3"});
        }
        program.Start(process, arguments, scenario);
        QTRY_VERIFY_WITH_TIMEOUT(call.isEmpty() || program.CallLog().contains(call) ||
                                     process.state() == QProcess::NotRunning, 20000);
        for (qsizetype i = 0; i < signalList.size(); ++i) {
            QTest::qWait(i > 0 ? 200 : 0);
            QVERIFY(process.processId() > 0); // never kill(0, ...): that is this test's group
            ::kill(pid_t(process.processId()), kStops.value(signalList[i]));
        }
        QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(30000));
        const QByteArray output = process.readAllStandardOutput();
        const QString errors = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), code);
        QVERIFY2(QString::fromUtf8(output).contains(out), output.constData());
        if (err.isEmpty())
            QCOMPARE(errors, QString());
        else
            QVERIFY2(errors.contains(err), qPrintable(errors));
        if (arguments.contains("--json"))
            QVERIFY(QJsonDocument::fromJson(output).isObject());
        if (arguments.contains("plugin")) {
            // 'label'=value[UOM];[warn];[crit];[min];[max], the value U when unknown.
            static const QRegularExpression line(
                R"(^QARNDIAG (OK|WARNING|CRITICAL|UNKNOWN) - [^|\n]*)"
                R"(( \|( '(?:[^']|'')+'=(-?[0-9.]+[a-zA-Z%]*|U)(;[-0-9.:~@]*){0,4})+)?\n)");
            const QRegularExpressionMatch match = line.match(QString::fromUtf8(output));
            QVERIFY2(match.hasMatch(), output.constData());
            QCOMPARE(QStringList({"OK", "WARNING", "CRITICAL", "UNKNOWN"}).indexOf(match.captured(1)), code);
        }
        if (arguments.contains("--timeout")) {
            QVERIFY2(clock.elapsed() < 15000, "the program waited for the blocked call");
            QCOMPARE(program.CallLog().constLast(), R"(NORV_ReaderOpenA("auto"))");
        }
        // RF off and the reader closed after the call under way, also when
        // stopped, unless a second Ctrl+C ended the program at once.
        const QStringList log = program.CallLog();
        const qsizetype at = log.indexOf("NORV_ReaderClose()", std::max<qsizetype>(0, log.lastIndexOf(call)));
        if (!stop.isEmpty())
            QVERIFY2((at > 0 && log.at(at - 1) == "NORV_ControlRF(0)") == (signalList.size() < 2),
                     qPrintable(log.join(' ')));
    }

    // --help's statuses and meanings begin the entries of the table in
    // docs/command-line.md and of the manual page, which list no others.
    void exitStatusTexts()
    {
        QProcess process;
        process.start(QStringLiteral(QARN_PROGRAM), {"--help"});
        QVERIFY(process.waitForFinished(20000));
        const QString help = QString::fromUtf8(process.readAllStandardOutput());
        QMap<QString, QString> statuses; // statuses -> meaning
        const QRegularExpression helpEntry(R"(^  ([0-9][0-9, ]*?)  +(\S.*)$)", QRegularExpression::MultilineOption);
        for (auto it = helpEntry.globalMatch(help.mid(help.indexOf("Exit status:"))); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            statuses.insert(match.captured(1), match.captured(2));
        }
        QVERIFY(statuses.contains("9"));
        const auto read = [](const char *file) {
            QFile text(QStringLiteral(QARN_SOURCE_DIR "/") + file);
            return text.open(QIODevice::ReadOnly) ? QString::fromUtf8(text.readAll()) : QString();
        };
        const QString docs = read("docs/command-line.md");
        const QString man = read("resources/qarndiag.1").replace("\\-", "-");
        const QString manStatuses = man.mid(man.indexOf(".SH EXIT STATUS"), man.indexOf(".SH ENVIRONMENT") - man.indexOf(".SH EXIT STATUS"));
        const QRegularExpression docsEntry(R"(^\| ([0-9][0-9, ]*) \| (.*) \|$)", QRegularExpression::MultilineOption);
        const QRegularExpression manEntry(R"re(^\.TP\n\.B "?([0-9][0-9, ]*)"?\n(.*)$)re", QRegularExpression::MultilineOption);
        for (const auto &[text, entry] : {std::pair{docs.mid(docs.indexOf("| status | meaning |")), docsEntry},
                                         std::pair{manStatuses, manEntry}}) {
            QStringList listed;
            for (auto it = entry.globalMatch(text); it.hasNext();) {
                const QRegularExpressionMatch match = it.next();
                listed << match.captured(1);
                QVERIFY2(match.captured(2).startsWith(statuses.value(match.captured(1)), Qt::CaseInsensitive) &&
                             statuses.contains(match.captured(1)),
                         qPrintable(match.captured(0)));
            }
            listed.sort();
            QCOMPARE(listed, statuses.keys());
        }
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
