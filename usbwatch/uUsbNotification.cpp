#include "uUsbNotification.h"

#include "uAppServices.h"
#include "uUsbNotificationSource.h"

#include <QPointer>
#include <QWidget>

TUsbChange DecideDeviceChange(uint32_t eventCode, const std::function<uint32_t()> &readDeviceType)
{
    // Only these two broadcasts carry a header; for the others the second
    // message parameter is not read at all.
    if (eventCode != DBT_DEVICEARRIVAL_CODE && eventCode != DBT_DEVICEREMOVECOMPLETE_CODE)
        return TUsbChange::None;
    if (!readDeviceType || readDeviceType() != DBT_DEVTYP_DEVICEINTERFACE_TYPE)
        return TUsbChange::None;
    return eventCode == DBT_DEVICEARRIVAL_CODE ? TUsbChange::Arrival : TUsbChange::Removal;
}

TUsbNotification::TUsbNotification(QObject *owner)
    : QObject(owner)
{
    FSource = TUsbNotificationSource::Create(*this);
}

TUsbNotification::~TUsbNotification()
{
    delete FSource;
    FSource = nullptr;
}

bool TUsbNotification::IsListening() const
{
    return FSource && FSource->IsListening();
}

void TUsbNotification::WMDeviceChange(uint32_t eventCode,
                                      const std::function<uint32_t()> &readDeviceType)
{
    // The handler may close the owner window, which frees the watcher with
    // it, or replace the event it runs in: it runs from a copy, and neither
    // the watcher nor its owner is touched after it unless still alive.
    QPointer<QWidget> reportParent = qobject_cast<QWidget *>(parent());
    try {
        TNotifyEvent handler;
        switch (DecideDeviceChange(eventCode, readDeviceType)) {
        case TUsbChange::Arrival:
            handler = OnUSBArrival;
            break;
        case TUsbChange::Removal:
            handler = OnUSBRemove;
            break;
        case TUsbChange::None:
            break;
        }
        if (handler)
            handler(this);
    } catch (const std::exception &error) {
        ReportHandlerError(reportParent.data(), error);
    } catch (...) {
        ReportUnknownHandlerError(reportParent.data());
    }
}
