#include "uErrorGuard.h"

#include <QDebug>

namespace {

TErrorReport gErrorReport = nullptr;

void Report(QObject *owner, const QString &message)
{
    if (gErrorReport)
        gErrorReport(owner, message);
    else
        qCritical().noquote() << message;
}

} // namespace

void SetErrorReport(TErrorReport report) { gErrorReport = report; }

void ReportHandlerError(QObject *owner, const std::exception &error) noexcept
{
    try {
        Report(owner, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        // The report itself failed (out of memory); nothing more can be shown.
    }
}

void ReportUnknownHandlerError(QObject *owner) noexcept
{
    try {
        Report(owner, QStringLiteral("An unexpected error occurred."));
    } catch (...) {
    }
}
