#include "uExitStatus.h"

namespace {

struct TExitStatusText {
    const char *statuses;
    const char *meaning;
};

// Each meaning begins the status's entry in docs/command-line.md and in the
// manual page, which may say more after it.
const TExitStatusText kExitStatuses[] = {
    {"0", "every step asked for passed"},
    {"1", "no argument, and no display for the window"},
    {"2", "bad arguments"},
    {"3", "the reader library is missing or corrupted"},
    {"4", "no reader found, or the port list failed"},
    {"5", "the connection test failed"},
    {"6", "the echo benchmark failed"},
    {"7", "a poll for cards answered an error"},
    {"8", "the report could not be written"},
    {"9", "timed out (--timeout), the reader left as the library has it"},
    {"129, 130, 143", "ended by SIGHUP, Ctrl+C or SIGTERM, the reader closed"},
    {"141", "the standard output was closed, the reader closed"},
};

} // namespace

QString ExitStatusHelp()
{
    QString text = QStringLiteral("Exit status:\n");
    for (const TExitStatusText &entry : kExitStatuses)
        text += QStringLiteral("  %1  %2\n")
                    .arg(QString::fromLatin1(entry.statuses), -13)
                    .arg(QString::fromLatin1(entry.meaning));
    return text + QStringLiteral(
                      "With --format plugin instead: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.\n");
}
