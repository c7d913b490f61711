// The command line's options: one table that the parser is set up from and
// that tells which options take a value, and what the options ask for.
#pragma once

#include "uThresholdRange.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

class QCommandLineOption;
class QCommandLineParser;

// The options of the table, for the parser.
QList<QCommandLineOption> CommandLineOptions();

// In the order of --format's names.
enum class TOutputFormat { Text, Json, Plugin, OpenMetrics };

// What the options ask for.
struct TCliOptions {
    bool connect = false;
    bool benchmark = false;
    bool list = false;
    TOutputFormat format = TOutputFormat::Text;
    int pollSeconds = 0;
    std::optional<QByteArray> device;
    uint32_t settings = 0;
    std::optional<TThresholdRange> warning;
    std::optional<TThresholdRange> critical;
    int timeoutSeconds = 0; // 0: none
    QString textfileFolder; // empty: no textfile
};

// Reads the parsed options; on an error returns its text.  The device name
// is taken from rawDevice when given.
QString ReadOptions(const QCommandLineParser &parser, const std::optional<QByteArray> &rawDevice,
                    TCliOptions &options);

// The last value of an option as the system passed it, its bytes unchanged
// (Qt's decoded arguments would turn bytes that are not UTF-8 into U+FFFD);
// also read when the arguments as a whole are wrong.
std::optional<QByteArray> RawOptionValue(const QByteArrayList &raw, const QString &option);
