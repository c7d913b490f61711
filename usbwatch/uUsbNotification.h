// TUsbNotification: tells its owner when a USB device arrives or leaves, so
// that the list of communication devices can be refreshed.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>

// A callback that receives the object that raised the event.
using TNotifyEvent = std::function<void(QObject *sender)>;

// What a device-change broadcast means for the watcher.
enum class TUsbChange { None, Arrival, Removal };

// Device-change event codes and the device type that the watcher reacts to.
constexpr uint32_t DBT_DEVICEARRIVAL_CODE = 0x8000;
constexpr uint32_t DBT_DEVICEREMOVECOMPLETE_CODE = 0x8004;
constexpr uint32_t DBT_DEVTYP_DEVICEINTERFACE_TYPE = 5;

// The decision of WMDeviceChange, free of any platform: readDeviceType is
// called only for an arrival or a removal (for other events the message's
// second parameter may be no address at all and must not be read).
TUsbChange DecideDeviceChange(uint32_t eventCode, const std::function<uint32_t()> &readDeviceType);

class TUsbNotificationSource;

class TUsbNotification : public QObject {
    Q_OBJECT
public:
    explicit TUsbNotification(QObject *owner);
    ~TUsbNotification() override;

    TNotifyEvent OnUSBArrival;
    TNotifyEvent OnUSBRemove;

    // The one entry point of every platform source: a device-change
    // broadcast with its event code; readDeviceType reads the broadcast
    // header's device type.  What an event handler throws is reported by the
    // program's error report, on the owner, and goes no further.
    void WMDeviceChange(uint32_t eventCode, const std::function<uint32_t()> &readDeviceType);

    // Whether the platform source is listening (false where it could not be
    // set up, for example without udev).
    bool IsListening() const;

private:
    TUsbNotificationSource *FSource = nullptr;
};
