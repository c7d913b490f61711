// The diagnosis, step by step: the library check, the connection test, the
// echo benchmark and one poll for a card.  Each step calls the binding once
// and turns its answer into the texts that the window shows and the command
// line prints; neither face has a copy of this logic.
#pragma once

#include "uQarnDyn.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// An 8-bit text (from the reader library, the command line or the stored
// settings; any bytes) as a string: the characters of the code page
// (uCodePage.h) as they are, every other byte as "\xHH", so that nothing is
// lost or hidden.
QString LibraryText(const QByteArray &bytes);
QString LibraryText(const std::string &text);
// The bytes of a text shown or typed: "\xHH" for a byte 0x80 to 0xFF gives
// that byte, the rest is in the code page.  LibraryBytes(LibraryText(b)) is b, unless
// b itself holds such an escape as text.
QByteArray LibraryBytes(const QString &text);
// A text as one item of the plain-text report: control characters (U+0000
// to U+001F, U+007F) as "\xHH", so that a text from outside can neither
// start a line of its own nor drive the terminal.
QString OneLineText(const QString &text);
// The binding's message for a status code.
QString StatusMessage(TQarnStatus status);

// QarnDiag's own version, "2.0.0".
QString ProgramVersion();

// ---- the library check at start-up ----------------------------------------

struct TLibraryCheck {
    TQarnStatus status = QARN_OK;
    QString version;           // the library's version text
    QString path;              // the full path of the loaded copy
    TLibraryLoadRecord record; // where it was looked for, what it lacks
    // False for a library that is missing (-1000) or lacks an entry point
    // (-1001); any other status counts as usable.
    bool Available() const;
    // Why the library cannot be used, empty when it can.
    QString StartupMessage() const;
    // The start-up box: the message, and a paragraph that names the copy
    // found but refused and why, or the entry points missing.
    QString StartupBoxText() const;
    QStringList MissingEntryPoints() const;
};
TLibraryCheck CheckLibrary();

// ---- the connection test --------------------------------------------------

// The name given to the library for a device choice: "auto" for an empty one.
QByteArray ConnectionDeviceName(const QByteArray &choice);
// The status text while the reader is looked for.
QString ConnectionWaitText(const QByteArray &choice);

struct TConnectionTest {
    TQarnStatus status = QARN_OK;
    QByteArray device;              // the name given to the library
    uint32_t requestedSettings = 0; // the settings word asked for
    QString deviceText;             // what the library reports for the open reader
    QString firmware;
    QString chipsetHWID;
    QString chipsetSNR;
    uint32_t settings = 0; // reported (the request when it cannot be read back)
    uint32_t consts = 0;
    uint32_t features = 0;
    // After a failed open: the library's own status and message (the
    // status above is then -1002 or -1003).
    std::optional<TQarnStatus> libraryStatus;
    QString libraryMessage;

    bool Passed() const { return status == QARN_OK; }
    // "Connected on ... - <link> (<speed>), <protocol>[ (HW ctrl ON)]"
    QString DeviceInformation() const;
    // The feature word as eight upper-case hexadecimal digits.
    QString FeatureWordText() const;
    // The feature explanation, one entry per line.
    QStringList FeatureLines() const;
    // The message for a failed test.
    QString FailureText() const { return StatusMessage(status); }
};
// Opens the reader on the device choice with the requested settings and
// reads what it reports; the reader stays open (DynDisconnect closes it).
TConnectionTest TestConnection(const QByteArray &choice, uint32_t requestedSettings);

// ---- the echo benchmark ---------------------------------------------------

struct TBenchmarkRun {
    TQarnStatus status = QARN_OK; // the binding's
    TEchoAverage average128;
    TEchoAverage average256;
    TEchoAverage average768;
    // The status of a failed 768-byte exchange, as the binding's failure
    // notifier got it (the window also shows it in a box of its own).
    std::optional<TQarnStatus> echo768Failure;
    // The library lacks NORV_Echo: the binding answers 0, but nothing was
    // measured.
    bool echoMissing = false;

    // The outcome the report gives: -1001 for a library without NORV_Echo,
    // else the binding's status.
    TQarnStatus ReportStatus() const;
    bool Passed() const { return ReportStatus() == QARN_OK; }
    // The three "Echo of <size> bytes : ..." lines.
    QStringList Lines() const;
    QString FailureText() const { return StatusMessage(ReportStatus()); }
};
// Shows the bare status of a failed 768-byte exchange while the benchmark is
// still running, and returns when the user has closed it.
using TEcho768FailureDisplay = std::function<void(TQarnStatus status)>;
// Runs the three series, recording a failed 768-byte exchange in the run and
// handing it to showFailure when given.
TBenchmarkRun RunBenchmark(const TEcho768FailureDisplay &showFailure = {});

// ---- one poll for a card ----------------------------------------------------

struct TCardPoll {
    TQarnStatus status = QARN_OK;
    QString line; // "<type name> : <UID>", "No card on the reader" or the message
    bool Failed() const { return status != QARN_OK && status != QARN_NO_CARD; }
};
TCardPoll PollCard();
