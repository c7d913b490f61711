// Linux: the USB interfaces of sysfs, read through libudev (which takes the
// attributes with or without their final newline and reads the `driver`
// link's last part), and the CCID driver's list where Debian's libccid
// installs it.
#include "uUsbReaders.h"

#include <QFile>

#include <libudev.h>

#include <algorithm>

namespace {

constexpr const char *kCcidList = "/usr/lib/pcsc/drivers/ifd-ccid.bundle/Contents/Info.plist";

QString Attribute(udev_device *device, const char *name)
{
    const char *value = device ? udev_device_get_sysattr_value(device, name) : nullptr;
    return value ? QString::fromUtf8(value).trimmed().toLower() : QString();
}

// The devices of a subsystem below parent, each handed to take.
template <typename F>
void EachChild(udev *context, udev_device *parent, const char *subsystem, F take)
{
    udev_enumerate *children = udev_enumerate_new(context);
    if (!children)
        return;
    udev_enumerate_add_match_parent(children, parent);
    udev_enumerate_add_match_subsystem(children, subsystem);
    udev_enumerate_scan_devices(children);
    udev_list_entry *entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(children))
    {
        if (udev_device *child =
                udev_device_new_from_syspath(context, udev_list_entry_get_name(entry))) {
            take(child);
            udev_device_unref(child);
        }
    }
    udev_enumerate_unref(children);
}

TUsbInterfaceFacts FactsOf(udev *context, udev_device *interface)
{
    TUsbInterfaceFacts facts;
    facts.busPath = QString::fromUtf8(udev_device_get_sysname(interface));
    udev_device *device =
        udev_device_get_parent_with_subsystem_devtype(interface, "usb", "usb_device");
    facts.vendorId = Attribute(device, "idVendor");
    facts.productId = Attribute(device, "idProduct");
    facts.interfaceClass = Attribute(interface, "bInterfaceClass");
    if (const char *driver = udev_device_get_driver(interface))
        facts.driver = QString::fromUtf8(driver);
    EachChild(context, interface, "nfc",
              [&facts](udev_device *) { facts.contactlessChild = true; });
    EachChild(context, interface, "tty", [&facts](udev_device *port) {
        const char *node = udev_device_get_devnode(port);
        if (facts.portNode.isEmpty())
            facts.portNode =
                node ? QString::fromUtf8(node)
                     : QStringLiteral("/dev/") + QString::fromUtf8(udev_device_get_sysname(port));
    });
    return facts;
}

} // namespace

std::vector<TUsbReader> UsbReaders()
{
    std::vector<TUsbReader> readers;
    udev *context = udev_new();
    if (!context)
        return readers;
    QFile list(qEnvironmentVariableIsEmpty("QARNDIAG_CCID_LIST")
                   ? QString::fromLatin1(kCcidList)
                   : qEnvironmentVariable("QARNDIAG_CCID_LIST"));
    const bool hasList = list.open(QIODevice::ReadOnly);
    const QByteArray supportedIds = hasList ? list.readAll() : QByteArray();

    udev_enumerate *interfaces = udev_enumerate_new(context);
    if (interfaces) {
        udev_enumerate_add_match_subsystem(interfaces, "usb");
        udev_enumerate_add_match_property(interfaces, "DEVTYPE", "usb_interface");
        udev_enumerate_scan_devices(interfaces);
        udev_list_entry *entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(interfaces))
        {
            udev_device *interface =
                udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
            if (!interface)
                continue;
            TUsbReader reader;
            if (UsbReaderOf(FactsOf(context, interface), hasList ? &supportedIds : nullptr, reader))
                readers.push_back(reader);
            udev_device_unref(interface);
        }
        udev_enumerate_unref(interfaces);
    }
    udev_unref(context);
    std::sort(readers.begin(), readers.end(),
              [](const TUsbReader &a, const TUsbReader &b) { return a.busPath < b.busPath; });
    return readers;
}
