// The trace for support: the logging category qarndiag.library (off by
// default; QT_LOGGING_RULES="qarndiag.library.debug=true") tells where the
// reader library was looked for and each library call the program makes,
// with its status and how long it took.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcLibrary)

// When the category's debug messages are on: logs what the load found and
// has the binding tell every call from now on.  Otherwise nothing is traced
// and the calls cost what they did.
void StartLibraryTrace();
