// The platform side of TUsbNotification.  Exactly one source file defines
// it, chosen by the build: uUsbNotificationWin.cpp (a hidden window that
// receives the device broadcasts), uUsbNotificationLinux.cpp (a udev monitor
// read on the GUI thread) or uUsbNotificationNone.cpp (no events at all).
// Every source hands what it receives to TUsbNotification::WMDeviceChange.
#pragma once

#include <cstdint>

class TUsbNotification;

class TUsbNotificationSource {
public:
    virtual ~TUsbNotificationSource() = default;

    // Whether the source was set up and receives device changes.
    virtual bool IsListening() const = 0;

    // The source of this platform for the watcher, which outlives it.  A
    // source that cannot be set up is still returned: it is quiet and not
    // listening.
    static TUsbNotificationSource *Create(TUsbNotification &watcher);

protected:
    TUsbNotificationSource() = default;
    TUsbNotificationSource(const TUsbNotificationSource &) = delete;
    TUsbNotificationSource &operator=(const TUsbNotificationSource &) = delete;
};

#ifdef QARN_USBWATCH_UDEV
// The event code that a udev action stands for: "add" is an arrival,
// "remove" a completed removal; any other action ("bind", "change", ...)
// and a missing one give 0, which the watcher ignores.
uint32_t UdevActionEventCode(const char *action);
#endif
