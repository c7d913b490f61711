#include "uUsbNotification.h"

#include "uErrorGuard.h"
#include "uUsbNotificationSource.h"

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

TUsbNotification::TUsbNotification(QObject *owner) : QObject(owner)
{
    FSource = TUsbNotificationSource::Create(*this);
}

TUsbNotification::~TUsbNotification()
{
    delete FSource;
    FSource = nullptr;
}

bool TUsbNotification::IsListening() const { return FSource && FSource->IsListening(); }

void TUsbNotification::WMDeviceChange(uint32_t eventCode,
                                      const std::function<uint32_t()> &readDeviceType)
{
    // The handler runs from a copy: it may replace the event it runs in, or
    // close the owner window and so free the watcher with it.
    RunGuarded(parent(), [this, eventCode, &readDeviceType]() {
        TNotifyEvent handler;
        switch (DecideDeviceChange(eventCode, readDeviceType)) {
        case TUsbChange::Arrival: handler = OnUSBArrival; break;
        case TUsbChange::Removal: handler = OnUSBRemove; break;
        case TUsbChange::None: break;
        }
        if (handler)
            handler(this);
    });
}
