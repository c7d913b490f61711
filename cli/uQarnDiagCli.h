// uQarnDiagCli: the command line, the window's diagnosis without a window.
// It runs on a QCoreApplication, needs no display, and prints the report as
// labelled lines or as one JSON object.
#pragma once

#include <QByteArrayList>
#include <QStringList>

class QTextStream;

// Exit statuses; also in the README and the manual page.
enum TExitCode : int {
    kExitPassed = 0,              // every step asked for passed
    kExitNoDisplay = 1,           // no option, and no display for the window
    kExitBadArguments = 2,        // unknown option, bad value, nothing to do
    kExitLibraryUnavailable = 3,  // reader library missing or corrupted (any -1001)
    kExitReaderNotFound = 4,      // no reader on the device (-1002, -1003), port list failed
    kExitConnectionFailed = 5,    // any other failure of the connection test
    kExitBenchmarkFailed = 6,     // the echo benchmark failed
    kExitPollingFailed = 7,       // a poll for cards answered an error
    kExitWriteFailed = 8,         // the report could not be written
    kExitStoppedBySignal = 128,   // plus the signal: 129 SIGHUP, 130 Ctrl+C, 143 SIGTERM
    kExitOutputClosed = 141,      // the standard output was closed (128 + SIGPIPE)
};

// Whether the program runs its command line: any argument that is not one
// of the window toolkit's own options (a mistyped option included, which
// then gets its error message); otherwise it opens its window.
bool WantsCommandLine(int argc, const char *const *argv);

// Whether the arguments or the environment name the toolkit's platform
// (-platform, QT_QPA_PLATFORM), which then finds its own display.
bool NamesWindowPlatform(int argc, const char *const *argv);

// Runs the command line; arguments[0] is the program.  The device name is
// taken as bytes from rawArguments when given (argv as the system passed it),
// else from arguments.  The binding has been started by the caller; the
// reader is closed before this returns.
int RunCommandLine(const QStringList &arguments, QTextStream &out, QTextStream &err,
                   const QByteArrayList &rawArguments = {});
// The same on the standard output and error.
int RunCommandLine(const QStringList &arguments, const QByteArrayList &rawArguments);
