#include "uQarnDiagCli.h"

#include "uCliOptions.h"
#include "uCliRun.h"
#include "uDiagnosis.h"
#include "uExitStatus.h"
#include "uPluginReport.h"
#include "uStandardOutput.h"
#include "uToolkitOptions.h"

#include <QCommandLineParser>
#include <QTextStream>

#include <cstdio>
#include <optional>

namespace {

const char *const kDescription =
    "Checks the link between the Norvane reader API and a Qarn contactless reader\n"
    "without a window: the same steps and texts as QarnDiag's window, printed as a\n"
    "report. With no argument, or only the window toolkit's own options (see\n"
    "--help-all), QarnDiag opens its window. The reader is closed before the\n"
    "program ends, unless --timeout ends it first.";

} // namespace

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
    if (!help.names().contains(question.names().first()))
        parser.addOption(question);

    const QString program = arguments.isEmpty() ? QStringLiteral("QarnDiag")
                                                : arguments.first().section(QLatin1Char('/'), -1);
    const auto badArguments = [&](const QString &text) {
        // A monitoring engine reads the plugin's line on standard output.
        QByteArrayList raw = rawArguments;
        if (raw.isEmpty())
            for (const QString &argument : arguments)
                raw << argument.toLocal8Bit();
        if (RawOptionValue(raw, QStringLiteral("format")) == QByteArray("plugin")) {
            out << PluginOutput(PluginBadArguments(text));
            out.flush();
            return int(kPluginUnknown);
        }
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
        out << text << '\n' << ExitStatusHelp() << (helpAll ? ToolkitOptionsHelp() : QString());
        out.flush();
        return kExitPassed;
    }
    if (parser.isSet(version)) {
        out << "QarnDiag " << ProgramVersion() << '\n';
        out.flush();
        return kExitPassed;
    }
    TCliOptions options;
    const std::optional<QByteArray> rawDevice =
        rawArguments.isEmpty() ? std::nullopt
                               : RawOptionValue(rawArguments, QStringLiteral("device"));
    const QString error = ReadOptions(parser, rawDevice, options);
    if (!error.isEmpty())
        return badArguments(error);
    return RunDiagnosis(options, out, err, program);
}

int RunCommandLine(const QStringList &arguments, const QByteArrayList &rawArguments)
{
    TStandardOutput standardOutput;
    QTextStream out(&standardOutput);
    QTextStream err(stderr);
    return RunCommandLine(arguments, out, err, rawArguments);
}
