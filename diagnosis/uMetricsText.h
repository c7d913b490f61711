// Metric families written as the Prometheus text format (what node_exporter's
// textfile collector reads) or as the OpenMetrics text format (ended by
// "# EOF").  Label values may come from outside: backslash, double quote and
// line feed are escaped as the formats ask, and each label value is taken
// as LibraryText gives it, a byte that is not UTF-8 already the text "\xHH".
#pragma once

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

enum class TMetricType { Gauge, Counter, Info };
enum class TMetricsFormat { Prometheus, OpenMetrics };

struct TMetricSample {
    std::vector<std::pair<QString, QString>> labels; // name, value
    double value = 0;
};

struct TMetricFamily {
    // The family's name: a counter's samples add "_total" and an info's
    // "_info" to it.
    QString name;
    TMetricType type = TMetricType::Gauge;
    QString unit; // "seconds", or empty
    QString help;
    std::vector<TMetricSample> samples;
};

// The families in their order, each with its HELP and TYPE lines; a family
// without samples is left out.
QByteArray MetricsText(const std::vector<TMetricFamily> &families, TMetricsFormat format);

// A label value escaped for both formats.
QString EscapedLabelValue(const QString &value);
