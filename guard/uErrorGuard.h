// The error guard: runs an event handler and hands what it throws to the
// program's error report, so that nothing crosses Qt's event loop.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <exception>
#include <stdexcept>

// An error of the program's own logic that the user should see, shown by the
// error report.
class TQarnError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Shows the message of what a handler threw; owner is the object the handler
// ran for, nullptr when it is gone.  Must not throw.
using TErrorReport = void (*)(QObject *owner, const QString &message);
// Sets the report (the windows set their message box); nullptr, the start
// value, writes the message to the log.
void SetErrorReport(TErrorReport report);

// Hand the report the error's own text, or "An unexpected error occurred."
// for something that is no std::exception.  Never throw.
void ReportHandlerError(QObject *owner, const std::exception &error) noexcept;
void ReportUnknownHandlerError(QObject *owner) noexcept;

// Runs an event handler; what it throws is reported and goes no further.
// The handler may free its owner (a window closing, say): the report then
// has no owner.
template <typename F> void RunGuarded(QObject *owner, F &&handler) noexcept
{
    const QPointer<QObject> reportOwner(owner);
    try {
        handler();
    } catch (const std::exception &error) {
        ReportHandlerError(reportOwner.data(), error);
    } catch (...) {
        ReportUnknownHandlerError(reportOwner.data());
    }
}
