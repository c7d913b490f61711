// The command line through the built program: every exit status, --help,
// --version and argument errors, and a poll ended by Ctrl+C or SIGTERM with
// the reader closed (read from the stand-in's call log file).
#include <QDir>
#include <QFile>
#include <QProcess>
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
    // folder and the call log written to a file.
    void Start(QProcess &process, const QStringList &arguments, const QByteArray &scenario)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("NORVSIM_CALL_LOG"), LogFile());
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        if (!scenario.isEmpty()) {
            QFile file(dir.filePath(QStringLiteral("scenario.json")));
            file.open(QIODevice::WriteOnly);
            file.write(scenario);
            environment.insert(QStringLiteral("NORVSIM_SCENARIO"), file.fileName());
        }
        process.setProcessEnvironment(environment);
        process.start(path, arguments);
    }

    QString LogFile() const { return dir.filePath(QStringLiteral("calls.log")); }

    QStringList CallLog() const
    {
        QFile file(LogFile());
        file.open(QIODevice::ReadOnly);
        return QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }
};

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("library");
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QStringList check{"--check", "--device", "auto"};
        QTest::newRow("passed") << check << "beside" << QByteArray() << 0
                                << "Connection test : OK\n" << "";
        QTest::newRow("help") << QStringList{"--help"} << "beside" << QByteArray() << 0
                              << "  --poll <seconds>   " << "";
        QTest::newRow("version") << QStringList{"--version"} << "beside" << QByteArray() << 0
                                 << "QarnDiag 2.0.0\n" << "";
        QTest::newRow("bad arguments") << QStringList{"--check", "--poll", "x"} << "beside"
                                       << QByteArray() << 2 << ""
                                       << "--poll needs a whole number of seconds from 1 to 86400, not 'x'.\n"
                                          "Try 'QarnDiag --help' for more information.\n";
        QTest::newRow("unknown option") << QStringList{"--check", "--fast"} << "beside" << QByteArray()
                                        << 2 << "" << "QarnDiag: Unknown option 'fast'.\n";
        QTest::newRow("library missing") << check << "" << QByteArray() << 3
                                         << "Norvane library : norvane.dll is not available" << "";
        QTest::newRow("library corrupted") << check << "none" << QByteArray() << 3
                                           << "appears to be invalid or corrupted" << "";
        QTest::newRow("reader not found") << QStringList{"--check", "--device", "COM9"} << "beside"
                                          << QByteArray() << 4 << "(status -1002)\n" << "";
        QTest::newRow("connection failed") << check << "beside"
                                           << QByteArray(R"({"status":{"NORV_ReaderGetRc500Id":-7}})")
                                           << 5 << "Connection error : Norvane error -7 (status -7)\n" << "";
        QTest::newRow("benchmark failed") << QStringList{"--benchmark", "--device", "auto"} << "beside"
                                          << QByteArray(R"({"status":{"NORV_Echo":[{"status":-243,"arg":128}]}})")
                                          << 6 << "Benchmark : Failed\nBenchmark error : The reader did not answer in time (status -243)\n" << "";
        QTest::newRow("poll failed") << QStringList{"--poll", "1", "--device", "auto"} << "beside"
                                     << QByteArray(R"({"find_results":[{"status":-9}]})") << 7
                                     << "Card : Norvane error -9\n" << "";
    }
    void exitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, library);
        QFETCH(QByteArray, scenario);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        Program program;
        if (library != QStringLiteral("beside"))
            QVERIFY(program.CopyAlone(library));
        QProcess process;
        program.Start(process, arguments, scenario);
        QVERIFY(process.waitForFinished(30000));
        const QString output = QString::fromUtf8(process.readAllStandardOutput());
        const QString errors = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), code);
        QVERIFY2(output.contains(out), qPrintable(output));
        if (err.isEmpty())
            QCOMPARE(errors, QString());
        else
            QVERIFY2(errors.contains(err), qPrintable(errors));
    }

    void stopPolling_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("Ctrl+C") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }
    void stopPolling()
    {
        QFETCH(int, signal);
        Program program;
        QProcess process;
        program.Start(process, {"--poll", "60", "--device", "auto"}, QByteArray());
        QVERIFY(process.waitForStarted(10000));
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT((output += process.readAllStandardOutput()).contains("Card : ") ||
                                     process.state() != QProcess::Running,
                                 10000);
        QCOMPARE(process.state(), QProcess::Running);
        QTest::qWait(600); // a poll or two more
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 128 + signal);
        const QStringList log = program.CallLog();
        QVERIFY(log.count(QStringLiteral("NORV_Find(0xFFFF,12)")) >= 2);
        // RF off and the reader closed after the last poll; then the end hook.
        const int close = int(log.indexOf(QStringLiteral("NORV_ReaderClose()")));
        QVERIFY2(close > log.lastIndexOf(QStringLiteral("NORV_Find(0xFFFF,12)")),
                 qPrintable(log.join(' ')));
        QCOMPARE(log.at(close - 1), QStringLiteral("NORV_ControlRF(0)"));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
