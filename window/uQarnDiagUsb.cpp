// Refresh of the port list when a USB device arrives or leaves.
#include "uQarnDiag.h"

#include "uAppServices.h"

#include <QScopeGuard>

void TfQarnDiag::UsbNotification(QObject * /*sender*/)
{
    // Each refresh puts back the text it found, so a refresh nested inside
    // another ends with the text shown before the first; the text and the
    // cursor are put back on the failing paths too.
    const QString saved = sbStatus->currentMessage();
    const auto restoreText = qScopeGuard([this, &saved]() { sbStatus->showMessage(saved); });
    sbStatus->showMessage(QStringLiteral("Updating list of communication devices..."));
    const TBusyCursor busy;
    ProcessPendingEvents();
    LoadCommList();
}
