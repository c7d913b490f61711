// The run as a monitoring plugin's output: the status word and short text
// of the first failure or of the reader found, the check time, the echo
// averages against the thresholds and the card as performance data, and
// the report as long output.
#pragma once

#include "uCliOptions.h"
#include "uPluginOutput.h"
#include "uRunOutcome.h"

TPluginResult PluginReport(const TRunOutcome &outcome, const TCliOptions &options);

// The output for arguments that cannot be run, and for a run that timed out.
TPluginResult PluginBadArguments(const QString &error);
TPluginResult PluginTimedOut(int seconds);

// The name that begins the line.
QString PluginName();
