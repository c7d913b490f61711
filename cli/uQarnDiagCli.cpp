#include "uQarnDiagCli.h"

#include "uDeviceSettings.h"
#include "uDiagnosisReport.h"
#include "uStopRequest.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QIODevice>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <cstring>
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

const char *const kDescription =
    "Checks the link between the Norvane reader API and a Qarn contactless reader\n"
    "without a window: the same steps and texts as QarnDiag's window, printed as a\n"
    "report. With no argument, or only the window toolkit's own options (see\n"
    "--help-all), QarnDiag opens its window.\n"
    "\n"
    "Exit status: 0 every step asked for passed; 1 no display for the window;\n"
    "2 bad arguments; 3 reader library missing or corrupted; 4 reader not found,\n"
    "or the port list failed; 5 connection test failed; 6 echo benchmark failed;\n"
    "7 a poll for cards failed; 8 the report could not be written; 129, 130, 143\n"
    "ended by SIGHUP, Ctrl+C, SIGTERM; 141 the standard output was closed.\n"
    "The reader is closed before the program ends.";

// The window toolkit's own options, which open the window: those that take
// a value (as the next argument or after "="), then those that do not.
const QStringList kToolkitValueOptions{
    QStringLiteral("platform"),  QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"), QStringLiteral("plugin"),
    QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
    QStringLiteral("qwindowtitle"), QStringLiteral("geometry"),
    QStringLiteral("title"),     QStringLiteral("display"),
    QStringLiteral("name"),      QStringLiteral("style"),
    QStringLiteral("stylesheet"), QStringLiteral("session")};
const QStringList kToolkitFlagOptions{QStringLiteral("reverse"), QStringLiteral("nograb"),
                                      QStringLiteral("dograb"), QStringLiteral("sync"),
                                      QStringLiteral("widgetcount"),
                                      QStringLiteral("testability")};

// The option name of an argument ("-x", "--x" or "--x=..."), empty for an
// argument that is not an option.
QString OptionName(const QByteArray &argument)
{
    if (!argument.startsWith('-') || argument == "-" || argument == "--")
        return QString();
    QByteArray name = argument.mid(argument.startsWith("--") ? 2 : 1);
    return QString::fromLocal8Bit(name.left(name.indexOf('=') < 0 ? name.size() : name.indexOf('=')));
}

// The text of --help-all: the window toolkit's options after ours.
QString ToolkitOptionsHelp()
{
    QString text = QStringLiteral("\nOptions of the window's toolkit (they open the window):\n ");
    int column = 1;
    for (const QString &name : kToolkitValueOptions + kToolkitFlagOptions) {
        QString item = QStringLiteral(" -") + name;
        if (kToolkitValueOptions.contains(name))
            item += QStringLiteral(" <value>");
        if (column + item.size() > 79) {
            text += QStringLiteral("\n ");
            column = 1;
        }
        text += item;
        column += int(item.size());
    }
    return text + QLatin1Char('\n');
}

// The report goes to the standard output through the C library, which tells
// why a write failed; with SIGPIPE ignored a closed pipe is EPIPE.
class TStandardOutput : public QIODevice {
public:
    TStandardOutput() { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
    // The errno of the first failed write, 0 while none failed.
    int Error() const { return FError; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        if (FError != 0)
            return -1;
        errno = 0;
        const std::size_t written = std::fwrite(data, 1, std::size_t(size), stdout);
        if (written == std::size_t(size) && std::fflush(stdout) == 0)
            return size;
        FError = errno != 0 ? errno : EIO;
        std::clearerr(stdout);
        return -1;
    }

private:
    int FError = 0;
};

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
QString ReadOptions(const QCommandLineParser &parser, const std::optional<QByteArray> &rawDevice,
                    TOptions &options)
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
    if (parser.isSet(QStringLiteral("device"))) {
        options.device = rawDevice ? *rawDevice : parser.value(QStringLiteral("device")).toLocal8Bit();
        if (options.device->isEmpty())
            return QStringLiteral("--device needs a name: auto, USB, a port of --list or any name "
                                  "the library knows.");
    }
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

// The last --device value as the system passed it, its bytes unchanged
// (Qt's decoded arguments would turn bytes that are not UTF-8 into U+FFFD).
std::optional<QByteArray> RawDeviceValue(const QByteArrayList &raw)
{
    std::optional<QByteArray> device;
    for (qsizetype i = 1; i < raw.size() && raw[i] != "--"; ++i) {
        const QString name = OptionName(raw[i]);
        if (name != QLatin1String("device") && name != QLatin1String("poll") &&
            name != QLatin1String("settings"))
            continue;
        const qsizetype equals = raw[i].indexOf('=');
        const QByteArray value = equals >= 0 ? raw[i].mid(equals + 1) : raw.value(++i);
        if (name == QLatin1String("device"))
            device = value;
    }
    return device;
}

bool StopAsked() { return TStopRequest::Signal() != 0; }


// A library lacking an entry point that a step needs fails as a corrupted
// library, whichever step meets it.
int FailureExit(TQarnStatus status, int otherwise)
{
    return status == QARN_ENTRY_POINT_MISSING ? int(kExitLibraryUnavailable) : otherwise;
}

class TRun {
public:
    TRun(const TOptions &options, QTextStream &out, QTextStream &err, const QString &program)
        : FOptions(options), FOut(out), FErr(err), FProgram(program)
    {
    }

    int Run()
    {
        DynSetStopCheck(&StopAsked);
        int code = Steps();
        DynSetStopCheck(nullptr);
        // As the window's closing: RF off, reader closed; also after a stop.
        DynDisconnect();
        if (TStopRequest::Signal() != 0)
            code = kExitStoppedBySignal + TStopRequest::Signal();
        if (FOptions.json && !WriteFailed()) {
            QJsonObject json = ReportJson(FReport);
            json[QStringLiteral("exitCode")] = code;
            FOut << QJsonDocument(json).toJson(QJsonDocument::Indented);
            FOut.flush();
        }
        if (!WriteFailed())
            return code;
        const auto *device = dynamic_cast<const TStandardOutput *>(FOut.device());
        const int error = device ? device->Error() : EIO;
        // A closed pipe is how a reader such as "head" says it has enough.
        if (error == EPIPE)
            return kExitOutputClosed;
        FErr << FProgram << ": could not write the report: "
             << QString::fromLocal8Bit(std::strerror(error)) << '\n';
        FErr.flush();
        return kExitWriteFailed;
    }

private:
    // Prints lines at once in text mode, so a long step shows what came before.
    void Print(const QStringList &lines)
    {
        if (FOptions.json || WriteFailed())
            return;
        for (const QString &line : lines)
            FOut << line << '\n';
        FOut.flush();
    }

    bool WriteFailed() const { return FOut.status() != QTextStream::Ok; }
    // A stop signal or a failed write ends the run after the step under way.
    bool Stopped() const { return TStopRequest::Signal() != 0 || WriteFailed(); }

    void PrintUsbReaders()
    {
        FReport.usbReaders = UsbReaders();
        Print(UsbReaderLines(FReport.usbReaders));
    }

    int Steps()
    {
        FReport.library = CheckLibrary();
        FReport.stored = ReadDeviceChoice();
        FReport.deviceChoice = FOptions.device ? *FOptions.device : FReport.stored.name;
        Print(QStringList{VersionLine()} + LibraryLines(FReport.library) +
              DeviceLines(FReport.deviceChoice, FReport.stored));
        if (!FReport.library->Available()) {
            PrintUsbReaders(); // a plugged-in reader shows even without its library
            return kExitLibraryUnavailable;
        }
        if (Stopped())
            return kExitPassed;

        if (FOptions.list) {
            FReport.ports = ReadPortList(&FReport.portsStatus);
            Print(PortLines(*FReport.ports, FReport.portsStatus));
        }
        PrintUsbReaders();
        if (FOptions.list && FReport.portsStatus != QARN_OK)
            return FailureExit(FReport.portsStatus, kExitReaderNotFound);
        if (!FOptions.connect || Stopped())
            return kExitPassed;

        FReport.connection = TestConnection(FReport.deviceChoice, FOptions.settings);
        Print(ConnectionLines(FReport.connection));
        const TQarnStatus status = FReport.connection->status;
        if (status == QARN_READER_NOT_FOUND_ON_PORT || status == QARN_READER_NOT_FOUND)
            return kExitReaderNotFound;
        if (status != QARN_OK)
            return FailureExit(status, kExitConnectionFailed);
        if (Stopped())
            return kExitPassed;

        if (FOptions.benchmark) {
            FReport.benchmark = RunBenchmark();
            Print(BenchmarkLines(FReport.benchmark));
            if (!FReport.benchmark->Passed())
                return kExitBenchmarkFailed;
        }
        return FOptions.pollSeconds > 0 && !Stopped() ? Poll() : kExitPassed;
    }

    int Poll()
    {
        TPollingRun polling;
        polling.seconds = FOptions.pollSeconds;
        TQarnStatus failure = QARN_OK; // the first failed poll's
        QElapsedTimer clock;
        clock.start();
        const qint64 total = qint64(FOptions.pollSeconds) * 1000;
        qint64 next = 0;
        while (!FStop.Wait(int(next - clock.elapsed())) && !WriteFailed() &&
               clock.elapsed() < total) {
            const TCardPoll poll = PollCard();
            if (poll.Failed() && failure == QARN_OK)
                failure = poll.status;
            if (!FReport.card || FReport.card->line != poll.line) {
                polling.changes.push_back({clock.elapsed(), poll});
                Print({CardLine(poll)});
            }
            FReport.card = poll;
            next = std::max(next + kPollIntervalMs, clock.elapsed());
        }
        polling.interrupted = Stopped();
        FReport.polling = polling;
        return failure != QARN_OK ? FailureExit(failure, kExitPollingFailed) : kExitPassed;
    }

    const TOptions &FOptions;
    QTextStream &FOut;
    QTextStream &FErr;
    const QString FProgram;
    TStopRequest FStop; // for the whole run
    TDiagnosisReport FReport;
};

} // namespace

bool WantsCommandLine(int argc, const char *const *argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        const QString name = OptionName(argument);
        if (kToolkitValueOptions.contains(name)) {
            if (!argument.contains('='))
                ++i; // its value
        } else if (!kToolkitFlagOptions.contains(name) && !name.startsWith(QLatin1String("qmljsdebugger"))) {
            return true;
        }
    }
    return false;
}

bool NamesWindowPlatform(int argc, const char *const *argv)
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    for (int i = 1; i < argc; ++i)
        if (OptionName(argv[i]) == QLatin1String("platform"))
            return true;
    return false;
}

int RunCommandLine(const QStringList &arguments, QTextStream &out, QTextStream &err,
                   const QByteArrayList &rawArguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions(CommandLineOptions());
    // "-?" as on Windows, where the help option has it already.
    QCommandLineOption question(QStringLiteral("?"));
    question.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(question);

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
    const bool helpAll = parser.isSet(QStringLiteral("help-all"));
    if (parser.isSet(help) || parser.isSet(question) || helpAll) {
        // The program's name, not the path it was started by.
        QString text = parser.helpText();
        const qsizetype usageEnd = text.indexOf(QLatin1String(" [options]"));
        if (text.startsWith(QLatin1String("Usage: ")) && usageEnd > 0)
            text.replace(7, usageEnd - 7, program);
        out << text << (helpAll ? ToolkitOptionsHelp() : QString());
        out.flush();
        return kExitPassed;
    }
    if (parser.isSet(version)) {
        out << "QarnDiag " << ProgramVersion() << '\n';
        out.flush();
        return kExitPassed;
    }
    TOptions options;
    const std::optional<QByteArray> rawDevice =
        rawArguments.isEmpty() ? std::nullopt : RawDeviceValue(rawArguments);
    const QString error = ReadOptions(parser, rawDevice, options);
    if (!error.isEmpty())
        return badArguments(error);
    return TRun(options, out, err, program).Run();
}

int RunCommandLine(const QStringList &arguments, const QByteArrayList &rawArguments)
{
    TStandardOutput standardOutput;
    QTextStream out(&standardOutput);
    QTextStream err(stderr);
    return RunCommandLine(arguments, out, err, rawArguments);
}
