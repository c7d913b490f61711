// The diagnosis report: what the steps found, as labelled lines of plain
// text ("Label : value") and as one JSON object with stable keys.
#pragma once

#include "uDeviceChoice.h"
#include "uDiagnosis.h"
#include "uUsbReaders.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// One change of the card line while polling.
struct TCardChange {
    qint64 elapsedMs = 0; // since polling began
    TCardPoll poll;
};

struct TPollingRun {
    int seconds = 0;
    bool interrupted = false; // ended early by a stop request
    std::vector<TCardChange> changes;
};

struct TDiagnosisReport {
    std::optional<TLibraryCheck> library; // none: not checked yet
    QByteArray deviceChoice;              // empty: auto-detection
    TStoredDeviceChoice stored;
    std::optional<std::vector<TPort>> ports; // the port list, when asked for
    TQarnStatus portsStatus = QARN_OK;       // and the library's status for it
    std::vector<TUsbReader> usbReaders;      // the census, whatever the library
    std::optional<TConnectionTest> connection;
    std::optional<TBenchmarkRun> benchmark;
    std::optional<TCardPoll> card; // the last poll
    std::optional<TPollingRun> polling;
};

// The report's sections, each a list of lines.
QString VersionLine();
QStringList LibraryLines(const std::optional<TLibraryCheck> &library);
QStringList DeviceLines(const QByteArray &choice, const TStoredDeviceChoice &stored);
// A failed list adds its error: "none listed" alone would hide why (no
// PC/SC service, for instance).
QStringList PortLines(const std::vector<TPort> &ports, TQarnStatus status);
// One line per reader of the census, or one that says none was seen.
QStringList UsbReaderLines(const std::vector<TUsbReader> &readers);
QStringList ConnectionLines(const std::optional<TConnectionTest> &connection);
QStringList BenchmarkLines(const std::optional<TBenchmarkRun> &benchmark);
QString CardLine(const std::optional<TCardPoll> &card);

// Every section, a step not run saying so.
QStringList ReportLines(const TDiagnosisReport &report);

// The line end that the system's clipboard expects: CR LF on Windows, LF
// elsewhere.
QString ClipboardLineEnd();
// The lines of the report, each ended by lineEnd.
QString ReportText(const TDiagnosisReport &report, const QString &lineEnd);

// The report as JSON; the keys are documented in the README.  A step not
// run is null.
QJsonObject ReportJson(const TDiagnosisReport &report);
