// The output of a monitoring plugin: one line "<NAME> <STATUS> - <text>",
// then " | " and the performance data, then the long output on the lines
// that follow.  Texts from outside are escaped so that they can neither
// start a line nor the performance data.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The plugin statuses, also the exit status.
enum TPluginStatus : int {
    kPluginOk = 0,
    kPluginWarning = 1,
    kPluginCritical = 2,
    kPluginUnknown = 3,
};
// "OK", "WARNING", "CRITICAL", "UNKNOWN".
QString PluginStatusWord(TPluginStatus status);

// One item of the performance data, 'label'=value[unit];[warn];[crit];[min];[max]
// with every field's place kept.  A value that could not be measured is
// written "U".
struct TPerfData {
    QString label;
    std::optional<double> value;
    QString unit;
    QString warning;
    QString critical;
    std::optional<double> minimum;
    std::optional<double> maximum;
};
QString PerfDataText(const TPerfData &item);

// A text from outside as part of the plugin output: control characters and
// "|" as "\xHH", so that it stays on its line and out of the performance data.
QString PluginText(const QString &text);

struct TPluginResult {
    QString name; // "QARNDIAG"
    TPluginStatus status = kPluginUnknown;
    QString text;
    std::vector<TPerfData> perfData;
    QStringList longOutput;
};
// The whole output, every line ended by a line feed.
QString PluginOutput(const TPluginResult &result);
