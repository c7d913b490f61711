#include "uPluginOutput.h"

#include "uDiagnosis.h"

#include <charconv>

namespace {

// Numbers in the class [-0-9.]: no exponent, the shortest that reads back.
QString NumberText(double value)
{
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

QString Optional(const std::optional<double> &value)
{
    return value ? NumberText(*value) : QString();
}

} // namespace

QString PluginStatusWord(TPluginStatus status)
{
    switch (status) {
    case kPluginOk: return QStringLiteral("OK");
    case kPluginWarning: return QStringLiteral("WARNING");
    case kPluginCritical: return QStringLiteral("CRITICAL");
    case kPluginUnknown: break;
    }
    return QStringLiteral("UNKNOWN");
}

QString PerfDataText(const TPerfData &item)
{
    QString label = PluginText(item.label);
    label.replace(QLatin1Char('\''), QStringLiteral("''"));
    QString text = QLatin1Char('\'') + label + QStringLiteral("'=") +
                   (item.value ? NumberText(*item.value) + item.unit : QStringLiteral("U"));
    for (const QString &field :
         {item.warning, item.critical, Optional(item.minimum), Optional(item.maximum)})
        text += QLatin1Char(';') + field;
    return text;
}

QString PluginText(const QString &text)
{
    return OneLineText(text).replace(QLatin1Char('|'), QStringLiteral("\\x7C"));
}

QString PluginOutput(const TPluginResult &result)
{
    QString output = result.name + QLatin1Char(' ') + PluginStatusWord(result.status) +
                     QStringLiteral(" - ") + PluginText(result.text);
    if (!result.perfData.empty()) {
        output += QStringLiteral(" |");
        for (const TPerfData &item : result.perfData)
            output += QLatin1Char(' ') + PerfDataText(item);
    }
    output += QLatin1Char('\n');
    for (const QString &line : result.longOutput)
        output += PluginText(line) + QLatin1Char('\n');
    return output;
}
