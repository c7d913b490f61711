#include "uMetricsText.h"

#include <QStringList>

#include <charconv>
#include <cmath>

namespace {

QString NumberText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("+Inf") : QStringLiteral("-Inf");
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

// HELP texts: backslash and line feed in both formats, the double quote too
// in OpenMetrics.
QString EscapedHelp(const QString &text, TMetricsFormat format)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    if (format == TMetricsFormat::OpenMetrics)
        escaped.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return escaped;
}

QString SampleName(const TMetricFamily &family)
{
    switch (family.type) {
    case TMetricType::Counter: return family.name + QStringLiteral("_total");
    case TMetricType::Info: return family.name + QStringLiteral("_info");
    case TMetricType::Gauge: break;
    }
    return family.name;
}

// The metadata: OpenMetrics names the family and knows the info type and
// units; the Prometheus text names the samples and has the info as a gauge.
QString Metadata(const TMetricFamily &family, TMetricsFormat format)
{
    const bool open = format == TMetricsFormat::OpenMetrics;
    const QString name = open ? family.name : SampleName(family);
    QString type = QStringLiteral("gauge");
    if (family.type == TMetricType::Counter)
        type = QStringLiteral("counter");
    else if (family.type == TMetricType::Info && open)
        type = QStringLiteral("info");
    QString text = QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n")
                       .arg(name, EscapedHelp(family.help, format), type);
    if (open && !family.unit.isEmpty())
        text += QStringLiteral("# UNIT %1 %2\n").arg(name, family.unit);
    return text;
}

} // namespace

QString EscapedLabelValue(const QString &value)
{
    QString escaped = value;
    return escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('"'), QStringLiteral("\\\""))
        .replace(QLatin1Char('\n'), QStringLiteral("\\n"));
}

QByteArray MetricsText(const std::vector<TMetricFamily> &families, TMetricsFormat format)
{
    QString text;
    for (const TMetricFamily &family : families) {
        if (family.samples.empty())
            continue;
        text += Metadata(family, format);
        for (const TMetricSample &sample : family.samples) {
            text += SampleName(family);
            if (!sample.labels.empty()) {
                QStringList labels;
                for (const auto &[name, value] : sample.labels)
                    labels << name + QStringLiteral("=\"") + EscapedLabelValue(value) +
                                  QLatin1Char('"');
                text += QLatin1Char('{') + labels.join(QLatin1Char(',')) + QLatin1Char('}');
            }
            text += QLatin1Char(' ') + NumberText(sample.value) + QLatin1Char('\n');
        }
    }
    if (format == TMetricsFormat::OpenMetrics)
        text += QStringLiteral("# EOF\n");
    return text.toUtf8();
}
