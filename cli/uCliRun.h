// The command line's run: each step asked for, its lines printed as soon as
// it has run (or the JSON object at the end), the poll loop, and the reader
// closed however the run ends.
#pragma once

#include "uCliOptions.h"

#include <QString>

class QTextStream;

// Runs the steps that options ask for and returns the exit status.
int RunDiagnosis(const TCliOptions &options, QTextStream &out, QTextStream &err,
                 const QString &program);
