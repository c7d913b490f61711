// The program's exit statuses and their meanings: --help prints them from
// the table here; docs/command-line.md and the manual page say the same
// (a test holds the three together).
#pragma once

#include <QString>

enum TExitCode : int {
    kExitPassed = 0,             // every step asked for passed
    kExitNoDisplay = 1,          // no option, and no display for the window
    kExitBadArguments = 2,       // unknown option, bad value, nothing to do
    kExitLibraryUnavailable = 3, // reader library missing or corrupted (any -1001)
    kExitReaderNotFound = 4,     // no reader on the device (-1002, -1003), port list failed
    kExitConnectionFailed = 5,   // any other failure of the connection test
    kExitBenchmarkFailed = 6,    // the echo benchmark failed
    kExitPollingFailed = 7,      // a poll for cards answered an error
    kExitWriteFailed = 8,        // the report could not be written
    kExitTimedOut = 9,           // --timeout spent, the library's call unfinished
    kExitStoppedBySignal = 128,  // plus the signal: 129 SIGHUP, 130 Ctrl+C, 143 SIGTERM
    kExitOutputClosed = 141,     // the standard output was closed (128 + SIGPIPE)
};

// The "Exit status" part of --help: one line per status and its meaning.
QString ExitStatusHelp();
