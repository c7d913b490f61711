// uQarnDiagCli: the command line, the window's diagnosis without a window.
// It runs on a QCoreApplication, needs no display, and prints the report as
// labelled lines or as one JSON object.
#pragma once

#include "uExitStatus.h"

#include <QByteArrayList>
#include <QStringList>

class QTextStream;

// Runs the command line; arguments[0] is the program.  The device name is
// taken as bytes from rawArguments when given (argv as the system passed it),
// else from arguments.  The binding has been started by the caller; the
// reader is closed before this returns.
int RunCommandLine(const QStringList &arguments, QTextStream &out, QTextStream &err,
                   const QByteArrayList &rawArguments = {});
// The same on the standard output and error.
int RunCommandLine(const QStringList &arguments, const QByteArrayList &rawArguments);
