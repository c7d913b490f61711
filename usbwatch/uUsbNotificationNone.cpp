// Source of the USB watcher where the platform has no device broadcasts that
// the program knows: the watcher exists and never raises its events.
#include "uUsbNotificationSource.h"

namespace {

class TUsbNotificationNone final : public TUsbNotificationSource {
public:
    bool IsListening() const override { return false; }
};

} // namespace

TUsbNotificationSource *TUsbNotificationSource::Create(TUsbNotification &)
{
    return new TUsbNotificationNone;
}
