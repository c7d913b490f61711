// Linux source of the USB watcher: a udev monitor for whole USB devices and
// serial port nodes, whose socket is read on the GUI thread through a socket
// notifier (no thread of its own).  Where udev cannot be reached (a container, a system
// without udev) the watcher stays quiet and does not say why.
#include "uUsbNotificationSource.h"

#include "uUsbNotification.h"

#include <QSocketNotifier>

#include <libudev.h>

#include <cstring>
#include <memory>

uint32_t UdevActionEventCode(const char *action)
{
    if (!action)
        return 0;
    if (std::strcmp(action, "add") == 0)
        return DBT_DEVICEARRIVAL_CODE;
    if (std::strcmp(action, "remove") == 0)
        return DBT_DEVICEREMOVECOMPLETE_CODE;
    return 0;
}

namespace {

// Whether an added or removed device changes the list of communication
// devices.  A device with a parent lies below it in the device tree; a
// device without one lies below /devices/virtual/.  The path is what tells
// them apart for a removal too, when the device's entry in /sys is gone.
bool IsWatchedDevice(udev_device *device)
{
    const char *const subsystem = udev_device_get_subsystem(device);
    if (!subsystem)
        return false;
    if (std::strcmp(subsystem, "usb") == 0) {
        const char *const type = udev_device_get_devtype(device);
        return type && std::strcmp(type, "usb_device") == 0;
    }
    if (std::strcmp(subsystem, "tty") == 0) {
        const char *const path = udev_device_get_devpath(device);
        static const char kVirtual[] = "/devices/virtual/";
        return path && std::strncmp(path, kVirtual, sizeof kVirtual - 1) != 0;
    }
    return false;
}

} // namespace

void DeliverUdevDevice(TUsbNotification &watcher, udev_device *device)
{
    if (!device)
        return;
    const uint32_t eventCode =
        IsWatchedDevice(device) ? UdevActionEventCode(udev_device_get_action(device)) : 0;
    udev_device_unref(device);
    if (eventCode != 0)
        watcher.WMDeviceChange(eventCode, [] { return DBT_DEVTYP_DEVICEINTERFACE_TYPE; });
}

namespace {

class TUsbNotificationUdev final : public TUsbNotificationSource {
public:
    explicit TUsbNotificationUdev(TUsbNotification &watcher);
    ~TUsbNotificationUdev() override { Release(); }

    bool IsListening() const override { return FNotifier != nullptr; }

private:
    bool Listen();
    void Release();
    void ReadDevice();

    TUsbNotification &FWatcher;
    udev *FUdev = nullptr;
    udev_monitor *FMonitor = nullptr;
    std::unique_ptr<QSocketNotifier> FNotifier;
};

TUsbNotificationUdev::TUsbNotificationUdev(TUsbNotification &watcher) : FWatcher(watcher)
{
    if (!Listen())
        Release();
}

bool TUsbNotificationUdev::Listen()
{
    FUdev = udev_new();
    if (!FUdev)
        return false;
    FMonitor = udev_monitor_new_from_netlink(FUdev, "udev");
    if (!FMonitor)
        return false;
    if (udev_monitor_filter_add_match_subsystem_devtype(FMonitor, "usb", "usb_device") < 0 ||
        udev_monitor_filter_add_match_subsystem_devtype(FMonitor, "tty", nullptr) < 0)
        return false;
    if (udev_monitor_enable_receiving(FMonitor) < 0)
        return false;
    const int fd = udev_monitor_get_fd(FMonitor);
    if (fd < 0)
        return false;
    FNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(FNotifier.get(), &QSocketNotifier::activated, FNotifier.get(),
                     [this] { ReadDevice(); });
    return true;
}

void TUsbNotificationUdev::Release()
{
    // The notifier first: it must not fire on a monitor that is gone.
    FNotifier.reset();
    if (FMonitor)
        udev_monitor_unref(FMonitor);
    FMonitor = nullptr;
    if (FUdev)
        udev_unref(FUdev);
    FUdev = nullptr;
}

void TUsbNotificationUdev::ReadDevice()
{
    // One device per activation; the notifier fires again while more wait.
    // The handler may free the watcher and so this source: nothing of it is
    // used after the call.
    DeliverUdevDevice(FWatcher, udev_monitor_receive_device(FMonitor));
}

} // namespace

TUsbNotificationSource *TUsbNotificationSource::Create(TUsbNotification &watcher)
{
    return new TUsbNotificationUdev(watcher);
}
