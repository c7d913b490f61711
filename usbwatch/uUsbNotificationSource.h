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
struct udev_device;

// The event code that a udev action stands for: "add" is an arrival,
// "remove" a completed removal; any other action ("bind", "change", ...)
// and a missing one give 0, which the watcher ignores.
uint32_t UdevActionEventCode(const char *action);

// Hands one device that the udev monitor delivered to the watcher, and
// releases the device.  The added or removed devices that count are whole
// USB devices and serial port nodes: the port node of a USB serial adapter
// appears after its USB device, so the list is refreshed again once the port
// really exists.  A serial port node is a "tty" device with a parent device
// (ttyUSB, ttyACM, ttyS ...), not a virtual console or terminal.
void DeliverUdevDevice(TUsbNotification &watcher, udev_device *device);
#endif
