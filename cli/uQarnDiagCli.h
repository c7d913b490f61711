// uQarnDiagCli: the command line, the window's diagnosis without a window.
// It runs on a QCoreApplication, needs no display, and prints the report as
// labelled lines or as one JSON object.
#pragma once

#include <QStringList>

class QTextStream;

// Exit statuses; also in the README and the manual page.
enum TExitCode : int {
    kExitPassed = 0,              // every step asked for passed
    kExitBadArguments = 2,        // unknown option, bad value, nothing to do
    kExitLibraryUnavailable = 3,  // reader library missing or corrupted
    kExitReaderNotFound = 4,      // no reader on the device (-1002, -1003)
    kExitConnectionFailed = 5,    // any other failure of the connection test
    kExitBenchmarkFailed = 6,     // the echo benchmark failed
    kExitPollingFailed = 7,       // a poll for cards answered an error
    kExitStoppedBySignal = 128,   // plus the signal: 130 Ctrl+C, 143 SIGTERM
};

// Whether the arguments name one of the command line's options; otherwise
// the program opens its window (whose toolkit takes its own options).
bool WantsCommandLine(int argc, const char *const *argv);

// Runs the command line; arguments[0] is the program.  The binding has been
// started by the caller; the reader is closed before this returns.
int RunCommandLine(const QStringList &arguments, QTextStream &out, QTextStream &err);
// The same on the standard output and error.
int RunCommandLine(const QStringList &arguments);
