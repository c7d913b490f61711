#include "uCliOptions.h"

#include "uDeviceSettings.h"
#include "uToolkitOptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace {

constexpr int kMaxPollSeconds = 86400;
constexpr int kMaxTimeoutSeconds = 2 * 86400;
constexpr int kPluginTimeoutSeconds = 30; // before the --poll time

struct TOptionEntry {
    const char *name;
    const char *description;
    const char *valueName; // null for an option without a value
};

// Every option of the command line, in the order --help lists them.
const TOptionEntry kOptions[] = {
    {"check",
     "Load the reader library, read its version, open the reader on the stored "
     "device choice (or --device), read what it reports and close it.",
     nullptr},
    {"benchmark", "Check, then run the echo benchmark (128, 256 and 768 bytes).", nullptr},
    {"poll",
     "Check, then look for contactless cards twice a second for <seconds> "
     "(1 to 86400) and print each change of the card line. Ctrl+C ends it "
     "early with the reader closed.",
     "seconds"},
    {"list", "Print the reader library's port list.", nullptr},
    {"format",
     "How the report is printed: text (labelled lines, the default), json (one "
     "JSON object), plugin (a monitoring plugin's status line with performance "
     "data, then the report) or openmetrics (the OpenMetrics text).",
     "format"},
    {"json", "Print the report as one JSON object (--format json).", nullptr},
    {"warning",
     "With --format plugin and --benchmark: WARNING when an echo average in ms "
     "lies where <range> alerts: 10 (outside 0 to 10), 10: (below 10), ~:10 "
     "(above 10), 10:20 (outside 10 to 20), @10:20 (inside 10 to 20).",
     "range"},
    {"critical", "As --warning, for CRITICAL.", "range"},
    {"timeout",
     "End after <seconds> (1 to 172800), even while a library call blocks, "
     "the reader left as the library has it: UNKNOWN with --format plugin, "
     "else status 9. Default with --format plugin: 30 plus the --poll time; "
     "otherwise none.",
     "seconds"},
    {"textfile",
     "Also write the report's metrics to <folder>/qarndiag.prom for "
     "node_exporter's textfile collector, replacing the file whole.",
     "folder"},
    {"device",
     "Open the reader on <name> instead of the stored device choice: auto "
     "(auto-detection), USB, a port of --list or any name the library knows.",
     "name"},
    {"settings",
     "The advanced settings word asked of the library before the reader is "
     "opened, hexadecimal (0x1D) or decimal (29): one of the twelve words of "
     "the advanced dialog, 0x00 0x10 0x18 (best match), 0x04 0x14 0x1C (OSI "
     "3964), 0x06 0x16 0x1E (fast), 0x05 0x15 0x1D (ASCII), each with the "
     "speed left to best match, forced to 38400bps or to 115200bps. Default "
     "0x00.",
     "word"},
};

bool TakesValue(const QString &name)
{
    for (const TOptionEntry &entry : kOptions)
        if (entry.valueName && name == QLatin1String(entry.name))
            return true;
    return false;
}

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

const QStringList kFormatNames{QStringLiteral("text"), QStringLiteral("json"),
                               QStringLiteral("plugin"), QStringLiteral("openmetrics")};

QString ReadFormat(const QCommandLineParser &parser, TCliOptions &options)
{
    const bool json = parser.isSet(QStringLiteral("json"));
    if (!parser.isSet(QStringLiteral("format"))) {
        options.format = json ? TOutputFormat::Json : TOutputFormat::Text;
        return QString();
    }
    const QString value = parser.value(QStringLiteral("format"));
    const qsizetype index = kFormatNames.indexOf(value);
    if (index < 0)
        return QStringLiteral("--format needs text, json, plugin or openmetrics, not '%1'.")
            .arg(value);
    options.format = TOutputFormat(index);
    if (json && options.format != TOutputFormat::Json)
        return QStringLiteral("--json and --format %1 ask for two formats.").arg(value);
    return QString();
}

// The thresholds, the timeout and the textfile folder.
QString ReadMonitoring(const QCommandLineParser &parser, TCliOptions &options)
{
    const bool plugin = options.format == TOutputFormat::Plugin;
    for (const QString &name : {QStringLiteral("warning"), QStringLiteral("critical")}) {
        if (!parser.isSet(name))
            continue;
        if (!plugin)
            return QStringLiteral("--%1 needs --format plugin.").arg(name);
        if (!options.benchmark)
            return QStringLiteral("--%1 needs --benchmark: its range applies to the echo averages.")
                .arg(name);
        QString error;
        auto &range = name == QLatin1String("warning") ? options.warning : options.critical;
        range = TThresholdRange::Parse(parser.value(name), &error);
        if (!range)
            return QStringLiteral("--%1 %2").arg(name, error);
    }
    options.timeoutSeconds = plugin ? kPluginTimeoutSeconds + options.pollSeconds : 0;
    if (parser.isSet(QStringLiteral("timeout"))) {
        const QString value = parser.value(QStringLiteral("timeout"));
        const bool digits =
            QRegularExpression(QStringLiteral("^[0-9]{1,6}$")).match(value).hasMatch();
        options.timeoutSeconds = digits ? value.toInt() : 0;
        if (options.timeoutSeconds < 1 || options.timeoutSeconds > kMaxTimeoutSeconds)
            return QStringLiteral(
                       "--timeout needs a whole number of seconds from 1 to %1, not '%2'.")
                .arg(kMaxTimeoutSeconds)
                .arg(value);
    }
    if (parser.isSet(QStringLiteral("textfile"))) {
        if (plugin)
            return QStringLiteral("--textfile does not go with --format plugin, whose output the "
                                  "monitoring engine reads.");
        options.textfileFolder = parser.value(QStringLiteral("textfile"));
        const QFileInfo folder(options.textfileFolder);
        if (options.textfileFolder.isEmpty() || !folder.isDir())
            return QStringLiteral("--textfile needs an existing folder, not '%1'.")
                .arg(options.textfileFolder);
        if (!folder.isWritable())
            return QStringLiteral("--textfile: the folder '%1' is not writable.")
                .arg(options.textfileFolder);
    }
    return QString();
}

} // namespace

QList<QCommandLineOption> CommandLineOptions()
{
    QList<QCommandLineOption> options;
    for (const TOptionEntry &entry : kOptions) {
        if (entry.valueName)
            options.append({QString::fromLatin1(entry.name), QString::fromLatin1(entry.description),
                            QString::fromLatin1(entry.valueName)});
        else
            options.append(
                {QString::fromLatin1(entry.name), QString::fromLatin1(entry.description)});
    }
    return options;
}

QString ReadOptions(const QCommandLineParser &parser, const std::optional<QByteArray> &rawDevice,
                    TCliOptions &options)
{
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("Unexpected argument '%1'.")
            .arg(parser.positionalArguments().first());
    options.benchmark = parser.isSet(QStringLiteral("benchmark"));
    options.list = parser.isSet(QStringLiteral("list"));
    const QString formatError = ReadFormat(parser, options);
    if (!formatError.isEmpty())
        return formatError;
    if (parser.isSet(QStringLiteral("poll"))) {
        const QString value = parser.value(QStringLiteral("poll"));
        bool ok = QRegularExpression(QStringLiteral("^[0-9]{1,5}$")).match(value).hasMatch();
        options.pollSeconds = ok ? value.toInt() : 0;
        if (options.pollSeconds < 1 || options.pollSeconds > kMaxPollSeconds)
            return QStringLiteral("--poll needs a whole number of seconds from 1 to %1, not '%2'.")
                .arg(kMaxPollSeconds)
                .arg(value);
    }
    options.connect =
        parser.isSet(QStringLiteral("check")) || options.benchmark || options.pollSeconds > 0;
    if (parser.isSet(QStringLiteral("device"))) {
        options.device =
            rawDevice ? *rawDevice : parser.value(QStringLiteral("device")).toLocal8Bit();
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
    return ReadMonitoring(parser, options);
}

std::optional<QByteArray> RawOptionValue(const QByteArrayList &raw, const QString &option)
{
    std::optional<QByteArray> found;
    for (qsizetype i = 1; i < raw.size() && raw[i] != "--"; ++i) {
        const QString name = OptionName(raw[i]);
        if (!TakesValue(name))
            continue;
        const qsizetype equals = raw[i].indexOf('=');
        const QByteArray value = equals >= 0 ? raw[i].mid(equals + 1) : raw.value(++i);
        if (name == option)
            found = value;
    }
    return found;
}
