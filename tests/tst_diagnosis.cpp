// The command line run in-process against the stand-in reader library: the
// report of a connected, a failed and a missing-library start, the JSON read
// back key by key, the device choice, polling, and argument errors.
#include "qarntest.h"
#include "uDiagnosisReport.h"
#include "uDiagnosis.h"
#include "uFaceChoice.h"
#include "uLibraryTrace.h"
#include "uQarnDiagCli.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using qarntest::LoadStandIn;
using qarntest::SettingsSandbox;
using qarntest::StandIn;

namespace {

struct CliRun {
    int code = -1;
    QString out;
    QString err;
};

// The command line on the binding's current library, with the stored
// choice in a sandbox.
CliRun Run(const QStringList &arguments)
{
    CliRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.code = RunCommandLine(QStringList{QStringLiteral("QarnDiag")} + arguments, out, err);
    return run;
}

void Load(const QString &variant, const QByteArray &scenario)
{
    LoadStandIn(variant);
    if (!scenario.isEmpty())
        QVERIFY(StandIn::Scenario(scenario));
}

QString LibraryPath(const QString &variant)
{
    return qarntest::StandInFile(variant);
}

const QString kHeader = QStringLiteral("QarnDiag version : 2.0.0\n");
const QString kAutoNothingStored =
    QStringLiteral("Device choice : auto\nDevice choice stored : nothing stored\n");

} // namespace

class TestDiagnosis : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { qarntest::UnloadStandIn(); }

    void report_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        const QString connected =
            kHeader + "Norvane library version : Norvane API stand-in 4.2.1 (simulated reader)\n" +
            "Norvane library location : " + LibraryPath("default") + "\n" +
            "Norvane library search : " + LibraryPath("default") + " (loaded)\n" + kAutoNothingStored;
        QTest::newRow("connected")
            << "default" << QByteArray(R"({"features":"0x00000301","chipset_id":"0A0B0C0D"})")
            << 0
            << connected + "Connection test : OK\n"
                           "Device information : Connected on USB - USB (115200bps), ASCII (HW ctrl ON)\n"
                           "Product name and version : Qarn Demo Reader 1.61 (stand-in)\n"
                           "Chipset info : 88 20 01 4C 02 \n"
                           "Chipset ID : 0A 0B 0C 0D \n"
                           "Features : 00000301\n"
                           "Feature list : Available functions :\n"
                           "Feature list : - ISO 14443 (A and B)\n"
                           "Feature list : Supported communication protocols :\n"
                           "Feature list : - OSI 3964\n"
                           "Feature list : - Binary\n"
                           "Feature list : - ASCII\n";
        QTest::newRow("failed")
            << "default" << QByteArray(R"({"status":{"NORV_ReaderGetFirmwareA":-5}})") << 5
            << connected + "Connection test : Failed\n"
                           "Connection error : Norvane error -5 (status -5)\n";
        QTest::newRow("not found, with what the library said")
            << "default" << QByteArray(R"({"open":{"answers_on":[]}})") << 4
            << connected + "Connection test : Failed\n"
                           "Connection error : Reader not found on specified port. Please ensure your "
                           "device is powered on, and plugged onto the right port. (status -1002)\n"
                           "Reader library status : -12 No reader found on this device\n";
        QTest::newRow("missing library")
            << QString() << QByteArray() << 3
            << kHeader +
                   "Norvane library : norvane.dll is not available in program directory, nor in "
                   "system default search path. Please copy norvane.dll in appropriate directory.\n" +
                   kAutoNothingStored;
        QTest::newRow("corrupted library")
            << "none" << QByteArray() << 3
            << kHeader +
                   "Norvane library : norvane.dll has been found, appears to be invalid or "
                   "corrupted. Please replace norvane.dll with an up-to-date release.\n"
                   "Norvane library location : " + LibraryPath("none") + "\n" +
                   "Norvane library search : " + LibraryPath("none") + " (loaded)\n" +
                   "Norvane library missing entry points : NORV_GetLibraryA, NORV_GetCommListA, "
                   "NORV_GetErrorMessage, NORV_ReaderOpenA, NORV_ReaderClose, NORV_ControlRF, "
                   "NORV_Echo, NORV_Find, NORV_ReaderGetDeviceA, NORV_ReaderGetFirmwareA, "
                   "NORV_ReaderGetRc500Id, NORV_ReaderSetDeviceSettings, "
                   "NORV_ReaderGetDeviceSettings, NORV_ReaderGetFeatures, NORV_ReaderGetConsts\n" +
                   kAutoNothingStored;
    }
    void report()
    {
        QFETCH(QString, variant);
        QFETCH(QByteArray, scenario);
        QFETCH(int, code);
        QFETCH(QString, text);
        SettingsSandbox settings;
        Load(variant, scenario);
        const CliRun run = Run({QStringLiteral("--check")});
        // Where the system looked beyond the program's folder and the USB readers
        // differ between machines: those are the load table's and tst_hotplug's.
        QStringList lines = run.out.split('\n');
        lines.removeIf([](const QString &line) { return line.contains("(not present)") || line.startsWith("USB reader : "); });
        QCOMPARE(lines.join('\n'), text);
        QCOMPARE(run.err, QString());
        QCOMPARE(run.code, code);
        // The reader is closed whatever happened.
        if (!variant.isEmpty() && code != 3)
            QCOMPARE(StandIn::CallLog().last(), QStringLiteral("NORV_ReaderClose()"));
    }

    void json_data()
    {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QJsonObject>("benchmark");
        QTest::addColumn<QJsonValue>("card");
        QTest::addColumn<int>("code");
        QTest::newRow("every step")
            << QByteArray(R"({"echo_delay_ms":{"128":1,"256":1,"768":1},
                              "status":{"NORV_Echo":[{"status":-100,"arg":768}]},
                              "find_results":[{"status":0,"type":2,"uid":"0102"}]})")
            << QJsonObject{{"passed", true}, {"status", 0}, {"message", QJsonValue()},
                           {"echo768FailureStatus", QJsonValue()},
                           {"lines", QJsonArray{"Echo of 128 bytes : Passed, %1ms",
                                                "Echo of 256 bytes : Passed, %2ms",
                                                "Echo of 768 bytes : Test not available"}},
                           {"averageMs", QJsonObject{{"128", 1}, {"256", 1}, {"768", QJsonValue()}}}}
            << QJsonValue(QJsonObject{{"status", 0}, {"line", "ISO/IEC 14443-B : 0102"}}) << 0;
        QTest::newRow("768-byte echo fails")
            << QByteArray(R"({"echo_delay_ms":{"128":0,"256":0,"768":0},
                              "status":{"NORV_Echo":[{"status":-5,"arg":768,"from_call":2}]}})")
            << QJsonObject{{"passed", false}, {"status", -5}, {"message", "Norvane error -5"},
                           {"echo768FailureStatus", -5}, {"lines", QJsonValue()},
                           {"averageMs", QJsonValue()}}
            << QJsonValue() << 6;
    }
    void json()
    {
        QFETCH(QByteArray, scenario);
        QFETCH(QJsonObject, benchmark);
        QFETCH(QJsonValue, card);
        QFETCH(int, code);
        SettingsSandbox settings;
        settings.SetPerUser(QStringLiteral("COM3"));
        Load(QStringLiteral("default"), scenario);
        const CliRun run = Run({"--benchmark", "--list", "--poll", "1", "--settings", "0x1D", "--json"});
        QCOMPARE(run.code, code);
        QJsonParseError error{};
        const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);

        QCOMPARE(json.keys(), QStringList({"benchmark", "card", "connection", "device", "exitCode",
                                           "library", "polling", "ports", "portsError",
                                           "qarndiagVersion", "usbReaders"}));
        QCOMPARE(json["portsError"], QJsonValue());
        QCOMPARE(json["qarndiagVersion"], QJsonValue("2.0.0"));
        QCOMPARE(json["exitCode"], QJsonValue(code));
        QCOMPARE(json["library"].toObject(),
                 (QJsonObject{{"available", true}, {"status", 0},
                              {"version", "Norvane API stand-in 4.2.1 (simulated reader)"},
                              {"path", LibraryPath("default")}, {"message", QJsonValue()},
                              {"search", QJsonArray{QJsonObject{{"path", LibraryPath("default")},
                                                                {"present", true}, {"loaded", true},
                                                                {"error", QJsonValue()}}}},
                              {"loadError", QJsonValue()}, {"missingEntryPoints", QJsonArray()}}));
        QCOMPARE(json["device"].toObject(),
                 (QJsonObject{{"choice", "COM3"}, {"stored", "COM3"}, {"storedIn", "per-user"}}));
        QCOMPARE(json["ports"].toArray(),
                 (QJsonArray{QJsonObject{{"name", "COM1"}, {"description", "Communications Port"}},
                             QJsonObject{{"name", "COM2"}, {"description", "Modem Port"}},
                             QJsonObject{{"name", "COM3"}, {"description", "USB Serial Port"}}}));
        QCOMPARE(json["connection"].toObject(),
                 (QJsonObject{{"passed", true}, {"status", 0}, {"message", QJsonValue()},
                              {"device", "COM3"}, {"requestedSettings", 0x1D},
                              {"deviceInformation", "Connected on COM3 - RS232 (115200bps), ASCII (HW ctrl ON)"},
                              {"deviceText", "COM3"}, {"product", "Qarn Demo Reader 1.61 (stand-in)"},
                              {"chipsetInfo", "88 20 01 4C 02 "}, {"chipsetId", "3A 91 0F 6C "},
                              {"settings", 0x1D}, {"features", "0047F361"},
                              {"featureList", json["connection"]["featureList"]},
                              {"libraryStatus", QJsonValue()}, {"libraryMessage", QJsonValue()}}));
        QCOMPARE(json["connection"]["featureList"].toArray().first(), QJsonValue("Available functions :"));
        QCOMPARE(json["connection"]["featureList"].toArray().size(), 18);
        // The measured averages are at least the echo delay of 1 ms; the
        // lines show them.
        QJsonObject measured = json["benchmark"].toObject();
        if (measured["passed"].toBool()) {
            const QJsonObject averages = measured["averageMs"].toObject();
            QVERIFY(averages["128"].toInt() >= 1 && averages["256"].toInt() >= 1);
            QCOMPARE(measured["lines"][0].toString(),
                     benchmark["lines"][0].toString().arg(averages["128"].toInt()));
            QCOMPARE(measured["lines"][1].toString(),
                     benchmark["lines"][1].toString().arg(averages["256"].toInt()));
            QCOMPARE(averages["768"], QJsonValue());
            QCOMPARE(measured["lines"][2], benchmark["lines"][2]);
            measured.remove("lines");
            measured.remove("averageMs");
            benchmark.remove("lines");
            benchmark.remove("averageMs");
        }
        QCOMPARE(measured, benchmark);
        QCOMPARE(json["card"], card);
        if (card.isNull()) {
            QVERIFY(json["polling"].isNull());
        } else {
            const QJsonObject polling = json["polling"].toObject();
            QCOMPARE(polling["seconds"], QJsonValue(1));
            QCOMPARE(polling["interrupted"], QJsonValue(false));
            const QJsonArray changes = polling["changes"].toArray();
            QCOMPARE(changes.size(), 1);
            QCOMPARE(changes[0]["line"], card["line"]);
            QVERIFY(changes[0]["elapsedMs"].toInt(-1) >= 0);
        }
    }

    void device_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("perUser");
        QTest::addColumn<QString>("machineWide");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("deviceLines");
        QTest::addColumn<int>("settingsWord");
        QTest::addColumn<int>("code");
        const auto lines = [](const QString &choice, const QString &stored) {
            return "Device choice : " + choice + "\nDevice choice stored : " + stored + "\n";
        };
        QTest::newRow("auto") << QStringList{"--device", "auto"} << "" << "" << "auto"
                              << kAutoNothingStored << 0 << 0;
        QTest::newRow("listed port, hex settings")
            << QStringList{"--device", "COM3", "--settings", "0X1d"} << "" << "" << "COM3"
            << lines("COM3", "nothing stored") << 0x1D << 0;
        QTest::newRow("decimal settings") << QStringList{"--settings", "24"} << "" << "" << "auto"
                                          << kAutoNothingStored << 0x18 << 0;
        QTest::newRow("unknown name") << QStringList{"--device", "COM9"} << "" << "" << "COM9"
                                      << lines("COM9", "nothing stored") << 0 << 4;
        QTest::newRow("stored per user") << QStringList() << "COM3" << "USB" << "COM3"
                                         << lines("COM3", "per user (COM3)") << 0 << 0;
        QTest::newRow("stored machine-wide") << QStringList() << "" << "USB" << "USB"
                                             << lines("USB", "machine-wide (USB)") << 0 << 0;
        QTest::newRow("given over stored") << QStringList{"--device", "USB"} << "COM9" << "" << "USB"
                                           << lines("USB", "per user (COM9)") << 0 << 0;
    }
    void device()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, perUser);
        QFETCH(QString, machineWide);
        QFETCH(QString, opened);
        QFETCH(QString, deviceLines);
        QFETCH(int, settingsWord);
        QFETCH(int, code);
        SettingsSandbox settings;
        if (!perUser.isEmpty())
            settings.SetPerUser(perUser);
        if (!machineWide.isEmpty())
            settings.SetMachineWide(machineWide);
        Load(QStringLiteral("default"), QByteArray());
        const CliRun run = Run(QStringList{"--check"} + arguments);
        QCOMPARE(run.code, code);
        QVERIFY2(run.out.contains(deviceLines), qPrintable(run.out));
        const QStringList log = StandIn::CallLog();
        QVERIFY(log.contains(QStringLiteral("NORV_ReaderOpenA(\"%1\")").arg(opened)));
        QCOMPARE(log.filter("NORV_ReaderSetDeviceSettings"),
                 QStringList{"NORV_ReaderSetDeviceSettings(0x" +
                             QString::number(settingsWord, 16).toUpper().rightJustified(8, '0') + ")"});
        if (code == 4)
            QVERIFY(run.out.contains(
                "Connection error : Reader not found on specified port. Please ensure your device "
                "is powered on, and plugged onto the right port. (status -1002)\n"));
    }

    // A failed open, then one that passes, in one process: nothing of the first stays.
    void openFailureNotKept()
    {
        SettingsSandbox settings;
        Load(QStringLiteral("default"), R"({"open":{"answers_on":[]}})");
        QCOMPARE(Run({"--check", "--json"}).code, 4);
        QVERIFY(StandIn::Scenario("{}"));
        const QJsonObject json = QJsonDocument::fromJson(Run({"--check", "--json"}).out.toUtf8()).object();
        QCOMPARE(json["exitCode"], QJsonValue(0));
        QCOMPARE(json["connection"].toObject()["libraryStatus"], QJsonValue());
    }

    // 8-bit texts: valid UTF-8 as it is, any other byte as \xHH and back;
    // control characters escaped for the text report only.
    void libraryText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("line");
#ifndef Q_OS_WIN // Windows reads them in the ANSI code page: tst_windows
        QTest::newRow("UTF-8, 2 to 4 bytes") << QByteArray("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80")
                                             << QString::fromUtf8("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80") << "";
        QTest::newRow("Latin-1 byte") << QByteArray("CAF\xE9") << "CAF\\xE9" << "";
        QTest::newRow("overlong, surrogate, past U+10FFFF") << QByteArray("\xC0\x80\xED\xA0\x80\xF4\x90\x80\x80")
            << "\\xC0\\x80\\xED\\xA0\\x80\\xF4\\x90\\x80\\x80" << "";
        QTest::newRow("cut sequence, stray continuation") << QByteArray("\xE2\x82 \x80") << "\\xE2\\x82 \\x80" << "";
#endif
        QTest::newRow("controls") << QByteArray("a\x1B[2J\nb\x7F\tc") << "a\x1B[2J\nb\x7F\tc"
                                  << "a\\x1B[2J\\x0Ab\\x7F\\x09c";
        QTest::newRow("control edges") << QByteArray("\0\x1F ~\x7F", 5) << QString::fromLatin1("\0\x1F ~\x7F", 5) << "\\x00\\x1F ~\\x7F";
    }
    void libraryText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(QString, line);
        QCOMPARE(LibraryText(bytes), text);
        QCOMPARE(LibraryBytes(text), bytes);
        QCOMPARE(OneLineText(text), line.isEmpty() ? text : line);
    }

#ifndef Q_OS_WIN // the registry's value types: tst_windows
    // A stored choice that cannot be read is told, not taken for nothing
    // stored; a name in the other place still counts.
    void storedUnreadable_data()
    {
        QTest::addColumn<QVariant>("perUser"); // invalid: a folder in the file's place
        QTest::addColumn<QString>("machineWide");
        QTest::addColumn<QString>("stored");   // %1: the per-user file
        QTest::addColumn<QString>("storedIn");
        QTest::newRow("a list") << QVariant(QStringList{"USB", "COM1"}) << ""
                                << "unreadable (%1: the value is QStringList, not a text)" << "unreadable";
        QTest::newRow("a @Variant value") << QVariant(QPointF(1, 2)) << ""
                                          << "unreadable (%1: the value is QPointF, not a text)" << "unreadable";
        QTest::newRow("a folder") << QVariant() << "" << "unreadable (%1: a folder in its place)" << "unreadable";
        QTest::newRow("a list, a name machine-wide") << QVariant(QStringList{"USB"}) << "COM3"
                                                     << "machine-wide (COM3)" << "machine-wide";
    }
    void storedUnreadable()
    {
        QFETCH(QVariant, perUser);
        QFETCH(QString, machineWide);
        QFETCH(QString, stored);
        QFETCH(QString, storedIn);
        SettingsSandbox settings;
        if (perUser.isValid())
            settings.SetPerUser(perUser);
        else
            QVERIFY(QDir().mkpath(settings.PerUserFile()));
        if (!machineWide.isEmpty())
            settings.SetMachineWide(machineWide);
        TDiagnosisReport report;
        report.stored = ReadDeviceChoice();
        QCOMPARE(DeviceLines(QByteArray(), report.stored).last(),
                 "Device choice stored : " + stored.arg(settings.PerUserFile()));
        QCOMPARE(ReportJson(report)[QStringLiteral("device")][QStringLiteral("storedIn")].toString(), storedIn);
    }
#endif

    void libraryTrace_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QStringList>("trace");
        QTest::newRow("off by default") << false << QStringList();
        QTest::newRow("on") << true
            << QStringList{"looked for " + LibraryPath("default") + " (loaded)",
                           "NORV_ReaderSetDeviceSettings(0x1D) -> 0 (ms)",
                           "NORV_ReaderOpenA(\"COM9\") -> -12 (ms)",
                           "NORV_GetErrorMessage(-12) = \"No reader found on this device\" -> 0 (ms)"};
    }
    void libraryTrace()
    {
        QFETCH(bool, enabled);
        QFETCH(QStringList, trace);
        Load(QStringLiteral("default"), QByteArray());
        static QStringList messages;
        messages.clear();
        QLoggingCategory::setFilterRules(enabled ? "qarndiag.library.debug=true" : "");
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &context, const QString &message) {
                if (QByteArray(context.category) == "qarndiag.library")
                    messages << QString(message).replace(QRegularExpression(" \\(\\d+\\.\\d{3} ms\\)$"), " (ms)");
            });
        StartLibraryTrace();
        TestConnection("COM9", 0x1D);
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
        StartLibraryTrace();
        QCOMPARE(messages, trace);
    }

    void poll_data()
    {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("lines");
        const QString card = QStringLiteral("Card : ISO/IEC 14443-A or NXP Mifare : 04A2197F");
        const QString none = QStringLiteral("Card : No card on the reader");
        // One find result per poll, every change in the first four polls: no timing.
        QTest::newRow("card comes and goes")
            << QByteArray(R"({"find_results":[{"status":0,"type":1,"uid":"04A2197F"},
                                               {"status":-1},
                                               {"status":0,"type":1,"uid":"04A2197F"},
                                               {"status":-1},{"status":-1},{"status":-1}]})")
            << 0 << QStringList{card, none, card, none};
        QTest::newRow("poll fails")
            << QByteArray(R"({"find_results":[{"status":-5}]})") << 7
            << QStringList{"Card : Norvane error -5"};
    }
    void poll()
    {
        QFETCH(QByteArray, scenario);
        QFETCH(int, code);
        QFETCH(QStringList, lines);
        SettingsSandbox settings;
        Load(QStringLiteral("default"), scenario);
        const CliRun run = Run({"--poll", "3"});
        QCOMPARE(run.code, code);
        QCOMPARE(run.out.split('\n').filter(QRegularExpression("^Card : ")), lines);
        const QStringList log = StandIn::CallLog();
        const qsizetype polls = log.count(QStringLiteral("NORV_Find(0xFFFF,12)"));
        QVERIFY2(polls >= 4 && polls <= 6, qPrintable(QString::number(polls))); // every 500 ms, 3 s
        QCOMPARE(log.mid(log.size() - 2),
                 QStringList({"NORV_ControlRF(0)", "NORV_ReaderClose()"}));
    }

    void arguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown option") << QStringList{"--bogus"} << "Unknown option 'bogus'.";
        QTest::newRow("missing value") << QStringList{"--check", "--poll"} << "Missing value after '--poll'.";
        QTest::newRow("positional") << QStringList{"--check", "COM3"} << "Unexpected argument 'COM3'.";
        QTest::newRow("poll zero") << QStringList{"--poll", "0"} << "--poll needs a whole number of seconds from 1 to 86400, not '0'.";
        QTest::newRow("poll too long") << QStringList{"--poll", "86401"} << "--poll needs a whole number of seconds from 1 to 86400, not '86401'.";
        QTest::newRow("poll not a number") << QStringList{"--poll", "2s"} << "--poll needs a whole number of seconds from 1 to 86400, not '2s'.";
        QTest::newRow("settings bits") << QStringList{"--check", "--settings", "0x03"} << "--settings '0x03' is not a settings word of the advanced dialog (see --help).";
        QTest::newRow("settings text") << QStringList{"--check", "--settings", "fast"} << "--settings 'fast' is not a settings word of the advanced dialog (see --help).";
        QTest::newRow("settings too big") << QStringList{"--check", "--settings", "0x10000001D"} << "--settings '0x10000001D' is not a settings word of the advanced dialog (see --help).";
        QTest::newRow("nothing to do") << QStringList{"--json"} << "Nothing to do: give --check, --benchmark, --poll or --list.";
        QTest::newRow("device without check") << QStringList{"--list", "--device", "COM3"} << "--device and --settings need --check, --benchmark or --poll.";
        QTest::newRow("format") << QStringList{"--check", "--format", "xml"} << "--format needs text, json, plugin or openmetrics, not 'xml'.";
        QTest::newRow("two formats") << QStringList{"--check", "--json", "--format", "openmetrics"} << "--json and --format openmetrics ask for two formats.";
        QTest::newRow("threshold without plugin") << QStringList{"--benchmark", "--warning", "10"} << "--warning needs --format plugin.";
        for (const char *timeout : {"0", "-1", "172801", "1.5"})
            QTest::addRow("timeout %s", timeout) << QStringList{"--check", "--timeout", timeout}
                << QStringLiteral("--timeout needs a whole number of seconds from 1 to 172800, not '%1'.").arg(timeout);
        QTest::newRow("textfile missing") << QStringList{"--check", "--textfile", "/nonexistent/qarndiag"} << "--textfile needs an existing folder, not '/nonexistent/qarndiag'.";
    }
    void arguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        Load(QStringLiteral("default"), QByteArray());
        const CliRun run = Run(arguments);
        QCOMPARE(run.code, 2);
        QCOMPARE(run.out, QString());
        QCOMPARE(run.err, "QarnDiag: " + error + "\nTry 'QarnDiag --help' for more information.\n");
        QCOMPARE(StandIn::CallLog(), QStringList());
    }

    void dispatch_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("commandLine");
        QTest::newRow("none") << QStringList() << false;
        QTest::newRow("toolkit options") << QStringList{"-platform", "offscreen", "-style", "fusion"} << false;
        QTest::newRow("toolkit values joined") << QStringList{"--style=fusion", "-reverse"} << false;
        QTest::newRow("mistyped") << QStringList{"--chek"} << true;
        QTest::newRow("not an option") << QStringList{"check"} << true;
        QTest::newRow("check") << QStringList{"--check"} << true;
        QTest::newRow("value joined") << QStringList{"--poll=3"} << true;
        QTest::newRow("single dash") << QStringList{"-list"} << true;
        QTest::newRow("help") << QStringList{"-h"} << true;
        QTest::newRow("version after toolkit option") << QStringList{"-platform", "offscreen", "--version"} << true;
    }
    void dispatch()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, commandLine);
        std::vector<QByteArray> bytes{QByteArray("QarnDiag")};
        for (const QString &argument : arguments)
            bytes.push_back(argument.toLocal8Bit());
        std::vector<const char *> argv;
        for (const QByteArray &argument : bytes)
            argv.push_back(argument.constData());
        QCOMPARE(WantsCommandLine(int(argv.size()), argv.data()), commandLine);
    }
};

QTEST_GUILESS_MAIN(TestDiagnosis)
#include "tst_diagnosis.moc"
