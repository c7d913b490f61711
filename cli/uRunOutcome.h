// What a run of the command line found and how it ended, from which the
// plugin line and the metrics are made.
#pragma once

#include "uDiagnosisReport.h"

#include <QStringList>

struct TRunOutcome {
    TDiagnosisReport report;
    int exitStatus = 0;    // as the statuses of --help say
    int stopSignal = 0;    // the signal that stopped the run, 0 for none
    int pollErrors = 0;    // polls that answered an error
    double seconds = 0;    // how long the run took
    double finishedAt = 0; // when it ended, in seconds since 1970
    QStringList lines;     // the report's lines, as the text format prints them
};
