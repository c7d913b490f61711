#include "uQarnDiagCli.h"

#include "uDeviceSettings.h"
#include "uDiagnosisReport.h"
#include "uStopRequest.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTextStream>

#include <cstdio>
#include <optional>

namespace {

constexpr int kPollIntervalMs = 500;
constexpr int kMaxPollSeconds = 86400;

QList<QCommandLineOption> CommandLineOptions()
{
    return {
        {QStringLiteral("check"),
         QStringLiteral("Load the reader library, read its version, open the reader on the stored "
                        "device choice (or --device), read what it reports and close it.")},
        {QStringLiteral("benchmark"),
         QStringLiteral("Check, then run the echo benchmark (128, 256 and 768 bytes).")},
        {QStringLiteral("poll"),
         QStringLiteral("Check, then look for contactless cards twice a second for <seconds> "
                        "(1 to 86400) and print each change of the card line. Ctrl+C ends it "
                        "early with the reader closed."),
         QStringLiteral("seconds")},
        {QStringLiteral("list"), QStringLiteral("Print the reader library's port list.")},
        {QStringLiteral("json"), QStringLiteral("Print the report as one JSON object.")},
        {QStringLiteral("device"),
         QStringLiteral("Open the reader on <name> instead of the stored device choice: auto "
                        "(auto-detection), USB, a port of --list or any name the library knows."),
         QStringLiteral("name")},
        {QStringLiteral("settings"),
         QStringLiteral("The advanced settings word asked of the library before the reader is "
                        "opened, hexadecimal (0x1D) or decimal (29): one of the twelve words of "
                        "the advanced dialog, 0x00 0x10 0x18 (best match), 0x04 0x14 0x1C (OSI "
                        "3964), 0x06 0x16 0x1E (fast), 0x05 0x15 0x1D (ASCII), each with the "
                        "speed left to best match, forced to 38400bps or to 115200bps. Default "
                        "0x00."),
         QStringLiteral("word")},
    };
}

const QStringList kHelpAndVersionNames{QStringLiteral("h"), QStringLiteral("?"),
                                       QStringLiteral("help"), QStringLiteral("help-all"),
                                       QStringLiteral("v"), QStringLiteral("version")};

const char *const kDescription =
    "Checks the link between the Norvane reader API and a Qarn contactless reader without a "
    "window: the same steps and texts as QarnDiag's window, printed as a report.\n"
    "Without any of the options below, QarnDiag opens its window.\n\n"
    "Exit status: 0 every step asked for passed; 2 bad arguments; 3 reader library missing or "
    "corrupted; 4 reader not found, or the port list failed; 5 connection test failed; 6 echo benchmark failed; 7 a poll "
    "for cards failed; 130 (143) polling ended by Ctrl+C (SIGTERM).";

struct TOptions {
    bool connect = false;
    bool benchmark = false;
    bool list = false;
    bool json = false;
    int pollSeconds = 0;
    std::optional<QByteArray> device;
    uint32_t settings = 0;
};

// The settings word: 0x... hexadecimal or decimal, one of the words the
// advanced dialog can make.
std::optional<uint32_t> ParseSettingsWord(const QString &text)
{
    bool ok = false;
    const QString digits = text.trimmed();
    uint32_t word = 0;
    if (digits.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive) && digits.size() > 2)
        word = digits.mid(2).toUInt(&ok, 16);
    else if (QRegularExpression(QStringLiteral("^[0-9]+$")).match(digits).hasMatch())
        word = digits.toUInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    for (int protocol = 0; protocol <= 3; ++protocol)
        for (int speed = 0; speed <= 2; ++speed)
            if (RequestedDeviceSettings(protocol, speed) == word)
                return word;
    return std::nullopt;
}

// Reads the options; on an error returns its text.
QString ReadOptions(const QCommandLineParser &parser, TOptions &options)
{
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
    options.benchmark = parser.isSet(QStringLiteral("benchmark"));
    options.list = parser.isSet(QStringLiteral("list"));
    options.json = parser.isSet(QStringLiteral("json"));
    if (parser.isSet(QStringLiteral("poll"))) {
        const QString value = parser.value(QStringLiteral("poll"));
        bool ok = QRegularExpression(QStringLiteral("^[0-9]{1,5}$")).match(value).hasMatch();
        options.pollSeconds = ok ? value.toInt() : 0;
        if (options.pollSeconds < 1 || options.pollSeconds > kMaxPollSeconds)
            return QStringLiteral("--poll needs a whole number of seconds from 1 to %1, not '%2'.")
                .arg(kMaxPollSeconds)
                .arg(value);
    }
    options.connect = parser.isSet(QStringLiteral("check")) || options.benchmark ||
                      options.pollSeconds > 0;
    if (parser.isSet(QStringLiteral("device")))
        options.device = parser.value(QStringLiteral("device")).toLocal8Bit();
    if (parser.isSet(QStringLiteral("settings"))) {
        const QString value = parser.value(QStringLiteral("settings"));
        const std::optional<uint32_t> word = ParseSettingsWord(value);
        if (!word)
            return QStringLiteral("--settings '%1' is not a settings word of the advanced dialog "
                                  "(see --help).")
                .arg(value);
        options.settings = *word;
    }
    if (!options.connect && !options.list)
        return QStringLiteral("Nothing to do: give --check, --benchmark, --poll or --list.");
    if (!options.connect && (options.device || parser.isSet(QStringLiteral("settings"))))
        return QStringLiteral("--device and --settings need --check, --benchmark or --poll.");
    return QString();
}

class TRun {
public:
    TRun(const TOptions &options, QTextStream &out) : FOptions(options), FOut(out) {}

    int Run()
    {
        const int code = Steps();
        // As the window's closing: RF off, reader closed.
        DynDisconnect();
        if (FOptions.json) {
            QJsonObject json = ReportJson(FReport);
            json[QStringLiteral("exitCode")] = code;
            FOut << QJsonDocument(json).toJson(QJsonDocument::Indented);
            FOut.flush();
        }
        return code;
    }

private:
    // Prints lines at once in text mode, so a long step shows what came before.
    void Print(const QStringList &lines)
    {
        if (FOptions.json)
            return;
        for (const QString &line : lines)
            FOut << line << '\n';
        FOut.flush();
    }

    int Steps()
    {
        FReport.library = CheckLibrary();
        FReport.stored = ReadDeviceChoice();
        FReport.deviceChoice = FOptions.device ? *FOptions.device : FReport.stored.name;
        Print(QStringList{VersionLine()} + LibraryLines(FReport.library) +
              DeviceLines(FReport.deviceChoice, FReport.stored));
        if (!FReport.library->Available())
            return kExitLibraryUnavailable;

        if (FOptions.list) {
            FReport.ports = ReadPortList(&FReport.portsStatus);
            Print(PortLines(*FReport.ports, FReport.portsStatus));
            if (FReport.portsStatus != QARN_OK)
                return kExitReaderNotFound;
        }
        if (!FOptions.connect)
            return kExitPassed;

        FReport.connection = TestConnection(FReport.deviceChoice, FOptions.settings);
        Print(ConnectionLines(FReport.connection));
        const TQarnStatus status = FReport.connection->status;
        if (status == QARN_READER_NOT_FOUND_ON_PORT || status == QARN_READER_NOT_FOUND)
            return kExitReaderNotFound;
        if (status != QARN_OK)
            return kExitConnectionFailed;

        if (FOptions.benchmark) {
            FReport.benchmark = RunBenchmark();
            Print(BenchmarkLines(FReport.benchmark));
            if (!FReport.benchmark->Passed())
                return kExitBenchmarkFailed;
        }
        return FOptions.pollSeconds > 0 ? Poll() : kExitPassed;
    }

    int Poll()
    {
        TPollingRun polling;
        polling.seconds = FOptions.pollSeconds;
        bool failed = false;
        TStopRequest stop;
        QElapsedTimer clock;
        clock.start();
        const qint64 total = qint64(FOptions.pollSeconds) * 1000;
        qint64 next = 0;
        while (!stop.Wait(int(next - clock.elapsed())) &&
               clock.elapsed() < total) {
            const TCardPoll poll = PollCard();
            failed = failed || poll.Failed();
            if (!FReport.card || FReport.card->line != poll.line) {
                polling.changes.push_back({clock.elapsed(), poll});
                Print({CardLine(poll)});
            }
            FReport.card = poll;
            next = std::max(next + kPollIntervalMs, clock.elapsed());
        }
        polling.interrupted = stop.Signal() != 0;
        FReport.polling = polling;
        if (polling.interrupted)
            return kExitStoppedBySignal + stop.Signal();
        return failed ? kExitPollingFailed : kExitPassed;
    }

    const TOptions &FOptions;
    QTextStream &FOut;
    TDiagnosisReport FReport;
};

} // namespace

bool WantsCommandLine(int argc, const char *const *argv)
{
    QStringList names = kHelpAndVersionNames;
    for (const QCommandLineOption &option : CommandLineOptions())
        names += option.names();
    for (int i = 1; i < argc; ++i) {
        QString argument = QString::fromLocal8Bit(argv[i]);
        if (!argument.startsWith(QLatin1Char('-')))
            continue;
        argument.remove(QRegularExpression(QStringLiteral("^--?")));
        argument = argument.section(QLatin1Char('='), 0, 0);
        if (names.contains(argument))
            return true;
    }
    return false;
}

int RunCommandLine(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions(CommandLineOptions());

    const QString program = arguments.isEmpty() ? QStringLiteral("QarnDiag")
                                                : arguments.first().section(QLatin1Char('/'), -1);
    const auto badArguments = [&](const QString &text) {
        err << program << ": " << text << '\n'
            << "Try '" << program << " --help' for more information.\n";
        err.flush();
        return int(kExitBadArguments);
    };
    if (!parser.parse(arguments))
        return badArguments(parser.errorText());
    if (parser.isSet(help)) {
        out << parser.helpText();
        out.flush();
        return kExitPassed;
    }
    if (parser.isSet(version)) {
        out << "QarnDiag " << ProgramVersion() << '\n';
        out.flush();
        return kExitPassed;
    }
    TOptions options;
    const QString error = ReadOptions(parser, options);
    if (!error.isEmpty())
        return badArguments(error);
    return TRun(options, out).Run();
}

int RunCommandLine(const QStringList &arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    return RunCommandLine(arguments, out, err);
}
