// Tests of the USB arrival watcher: the decision on each device-change
// broadcast, the two events, the error report for what a handler throws, and
// the platform source's life cycle.  Broadcasts are synthetic: they are fed
// to WMDeviceChange as every platform source does, and on Linux udev devices
// (made up, or built from the system's own) to the udev source's delivery.
#include "uAppServices.h"
#include "uUsbNotification.h"
#include "uUsbNotificationSource.h"

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QScopeGuard>
#include <QWidget>
#include <QtTest>

#include <memory>
#include <stdexcept>
#include <utility>

#ifdef QARN_USBWATCH_UDEV
#include <libudev.h>

#include <unistd.h>

#include <vector>
#endif

namespace {

constexpr uint32_t kArrival = DBT_DEVICEARRIVAL_CODE;
constexpr uint32_t kRemoval = DBT_DEVICEREMOVECOMPLETE_CODE;
constexpr uint32_t kInterface = DBT_DEVTYP_DEVICEINTERFACE_TYPE;

// What a watcher raised, and with which sender.
struct TEventLog {
    int arrivals = 0;
    int removals = 0;
    QList<QObject *> senders;

    void Bind(TUsbNotification &watcher)
    {
        watcher.OnUSBArrival = [this](QObject *sender) {
            ++arrivals;
            senders << sender;
        };
        watcher.OnUSBRemove = [this](QObject *sender) {
            ++removals;
            senders << sender;
        };
    }
};

// A broadcast header of the given device type; counts how often it is read.
std::function<uint32_t()> Header(uint32_t deviceType, int &reads)
{
    return [deviceType, &reads] {
        ++reads;
        return deviceType;
    };
}

#ifdef QARN_USBWATCH_UDEV
// A udev device as the monitor delivers it, built from its properties (a
// null value leaves the property out).  libudev reads them from the process
// environment and cuts its strings apart, so it is given a list of its own.
udev_device *UdevEvent(udev *context, const QByteArray &action, const QByteArray &subsystem,
                       const QByteArray &devtype, const QByteArray &devpath)
{
    QList<QByteArray> properties{"SEQNUM=1"};
    const std::pair<const char *, const QByteArray &> values[] = {
        {"ACTION=", action}, {"SUBSYSTEM=", subsystem}, {"DEVTYPE=", devtype}, {"DEVPATH=", devpath}};
    for (const auto &[name, value] : values) {
        if (!value.isNull())
            properties << name + value;
    }
    std::vector<char *> list;
    for (QByteArray &property : properties)
        list.push_back(property.data());
    list.push_back(nullptr);
    char **const processEnvironment = environ;
    environ = list.data();
    udev_device *device = udev_device_new_from_environment(context);
    environ = processEnvironment;
    return device;
}

// A device of this system: the first of the subsystem whose parent is there
// or not, as asked (and of the given type, unless null).  Null when the
// system has none.
udev_device *SystemDevice(udev *context, const char *subsystem, const char *devtype, bool withParent)
{
    udev_enumerate *scan = udev_enumerate_new(context);
    udev_enumerate_add_match_subsystem(scan, subsystem);
    udev_enumerate_scan_devices(scan);
    udev_device *found = nullptr;
    udev_list_entry *entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(scan))
    {
        udev_device *device = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
        if (!device)
            continue;
        const char *type = udev_device_get_devtype(device);
        if ((udev_device_get_parent(device) != nullptr) == withParent &&
            (!devtype || (type && qstrcmp(type, devtype) == 0))) {
            found = device;
            break;
        }
        udev_device_unref(device);
    }
    udev_enumerate_unref(scan);
    return found;
}
#endif

} // namespace

namespace QTest {
template <> char *toString(const TUsbChange &change)
{
    switch (change) {
    case TUsbChange::None:
        return qstrdup("None");
    case TUsbChange::Arrival:
        return qstrdup("Arrival");
    case TUsbChange::Removal:
        return qstrdup("Removal");
    }
    return qstrdup("?");
}
} // namespace QTest

class TestUsbWatch : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void broadcast_data();
    void broadcast();
    void eachEventOnceWithWatcherAsSender();
    void watcherWithoutEventsIgnoresBroadcasts();
    void throwingHandlerIsReportedAndWatcherGoesOn();
    void handlerMayReplaceItsEventOrFreeTheWatcher();
    void ownerFreesTheWatcher();
    void udevAction_data();
    void udevAction();
    void udevEvent_data();
    void udevEvent();
    void udevEventOfSystemDevice_data();
    void udevEventOfSystemDevice();
    void platformWatcherIsQuietAndReleasesEverything();

private:
    // The error reports of the running test, recorded instead of shown.  A
    // test that expects reports takes them out; any other is a failure.
    QList<TMessageBoxRecord> FReports;
};

void TestUsbWatch::init()
{
    FReports.clear();
    SetMessageBoxHook([this](const TMessageBoxRecord &record) { FReports << record; });
    SetErrorReport(&ShowHandlerError);
}

void TestUsbWatch::cleanup()
{
    SetMessageBoxHook(nullptr);
    for (const TMessageBoxRecord &record : std::as_const(FReports))
        qWarning("Unexpected error report: %s", qPrintable(record.text));
    QCOMPARE(FReports.size(), 0);
}

void TestUsbWatch::broadcast_data()
{
    QTest::addColumn<uint>("eventCode");
    QTest::addColumn<uint>("deviceType");
    QTest::addColumn<TUsbChange>("change");
    QTest::addColumn<int>("reads");

    QTest::newRow("arrival of a USB device") << uint(kArrival) << uint(kInterface) << TUsbChange::Arrival << 1;
    QTest::newRow("removal of a USB device") << uint(kRemoval) << uint(kInterface) << TUsbChange::Removal << 1;

    // Arrivals and removals of other device types: read, then ignored.
    const std::pair<const char *, uint> otherTypes[] = {
        {"OEM-defined", 0}, {"device node", 1}, {"volume", 2}, {"port", 3},
        {"network resource", 4}, {"file handle", 6}, {"unknown type", 0xFFFFFFFFu}};
    for (const auto &[name, type] : otherTypes) {
        QTest::addRow("arrival, %s", name) << uint(kArrival) << type << TUsbChange::None << 1;
        QTest::addRow("removal, %s", name) << uint(kRemoval) << type << TUsbChange::None << 1;
    }

    // Other events: the header says "USB device interface", but it must not
    // even be read, since the second parameter may be no address at all.
    const std::pair<const char *, uint> otherEvents[] = {
        {"device tree changed", 0x0007}, {"query remove", 0x8001},
        {"query remove failed", 0x8002}, {"remove pending", 0x8003},
        {"type-specific", 0x8005}, {"custom", 0x8006},
        {"configuration changed", 0x0018}, {"zero", 0},
        {"arrival code with a high bit", 0x00018000}, {"removal code with high bits", 0xFFFF8004u}};
    for (const auto &[name, code] : otherEvents)
        QTest::addRow("%s", name) << code << uint(kInterface) << TUsbChange::None << 0;
}

void TestUsbWatch::broadcast()
{
    QFETCH(uint, eventCode);
    QFETCH(uint, deviceType);
    QFETCH(TUsbChange, change);
    QFETCH(int, reads);

    int decisionReads = 0;
    QCOMPARE(DecideDeviceChange(eventCode, Header(deviceType, decisionReads)), change);
    QCOMPARE(decisionReads, reads);

    TEventLog log;
    TUsbNotification watcher(nullptr);
    log.Bind(watcher);
    int watcherReads = 0;
    watcher.WMDeviceChange(eventCode, Header(deviceType, watcherReads));
    QCOMPARE(watcherReads, reads);
    QCOMPARE(log.arrivals, change == TUsbChange::Arrival ? 1 : 0);
    QCOMPARE(log.removals, change == TUsbChange::Removal ? 1 : 0);
}

void TestUsbWatch::eachEventOnceWithWatcherAsSender()
{
    QWidget owner;
    TEventLog log;
    auto *watcher = new TUsbNotification(&owner);
    log.Bind(*watcher);
    int reads = 0;

    watcher->WMDeviceChange(kArrival, Header(kInterface, reads));
    QCOMPARE(log.arrivals, 1);
    QCOMPARE(log.removals, 0);
    watcher->WMDeviceChange(kRemoval, Header(kInterface, reads));
    watcher->WMDeviceChange(kRemoval, Header(kInterface, reads));
    QCOMPARE(log.arrivals, 1);
    QCOMPARE(log.removals, 2);
    QCOMPARE(log.senders, (QList<QObject *>{watcher, watcher, watcher}));

    // One event set, the other not: the unset one is simply not raised.
    watcher->OnUSBRemove = nullptr;
    watcher->WMDeviceChange(kRemoval, Header(kInterface, reads));
    watcher->WMDeviceChange(kArrival, Header(kInterface, reads));
    QCOMPARE(log.arrivals, 2);
    QCOMPARE(log.removals, 2);
}

void TestUsbWatch::watcherWithoutEventsIgnoresBroadcasts()
{
    // Calling an unset event would throw and end up in the error report,
    // which cleanup() checks is empty.
    QWidget owner;
    TUsbNotification watcher(&owner);
    int reads = 0;
    for (uint32_t code : {kArrival, kRemoval, 0x8001u, 0x0007u})
        watcher.WMDeviceChange(code, Header(kInterface, reads));
    QCOMPARE(reads, 2);
}

void TestUsbWatch::throwingHandlerIsReportedAndWatcherGoesOn()
{
    QWidget owner;
    TEventLog log;
    TUsbNotification watcher(&owner);
    log.Bind(watcher);
    watcher.OnUSBArrival = [](QObject *) {
        throw std::runtime_error("The list of communication devices could not be read.");
    };
    int reads = 0;

    watcher.WMDeviceChange(kArrival, Header(kInterface, reads));
    QCOMPARE(FReports.size(), 1);
    QCOMPARE(FReports[0].caption, ApplicationTitle());
    QCOMPARE(FReports[0].text,
             QStringLiteral("The list of communication devices could not be read."));
    QCOMPARE(FReports[0].icon, QMessageBox::Critical);

    // The watcher goes on: the next broadcasts are handled as usual.
    watcher.WMDeviceChange(kRemoval, Header(kInterface, reads));
    QCOMPARE(log.removals, 1);
    watcher.WMDeviceChange(kArrival, Header(kInterface, reads));
    QCOMPARE(FReports.size(), 2);

    // Something that is no std::exception, and an error while reading the
    // header, are reported the same way.
    watcher.OnUSBRemove = [](QObject *) { throw 42; };
    watcher.WMDeviceChange(kRemoval, Header(kInterface, reads));
    QCOMPARE(FReports.size(), 3);
    QCOMPARE(FReports[2].text, QStringLiteral("An unexpected error occurred."));
    QCOMPARE(FReports[2].icon, QMessageBox::Critical);
    watcher.WMDeviceChange(kArrival, []() -> uint32_t { throw TQarnError("bad header"); });
    QCOMPARE(FReports.size(), 4);
    QCOMPARE(FReports[3].text, QStringLiteral("bad header"));
    QCOMPARE(log.removals, 1);
    FReports.clear();
}

void TestUsbWatch::handlerMayReplaceItsEventOrFreeTheWatcher()
{
    int reads = 0;
    // A handler that sets a new handler in its own place runs to its end
    // with its captured state intact.
    {
        TUsbNotification watcher(nullptr);
        auto label = std::make_shared<QString>(QStringLiteral("first"));
        QStringList seen;
        watcher.OnUSBArrival = [&watcher, &seen, label](QObject *) {
            watcher.OnUSBArrival = [&seen](QObject *) { seen << QStringLiteral("second"); };
            seen << *label;
        };
        label.reset();
        watcher.WMDeviceChange(kArrival, Header(kInterface, reads));
        watcher.WMDeviceChange(kArrival, Header(kInterface, reads));
        QCOMPARE(seen, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
    }
    // A handler that frees the watcher (its window closing in the middle of
    // a refresh).
    {
        QPointer<TUsbNotification> watcher = new TUsbNotification(nullptr);
        watcher->OnUSBRemove = [](QObject *sender) { delete sender; };
        watcher->WMDeviceChange(kRemoval, Header(kInterface, reads));
        QVERIFY(watcher.isNull());
    }
    // A handler that frees the owner, and with it the watcher, then throws.
    {
        auto *owner = new QWidget;
        QPointer<TUsbNotification> watcher = new TUsbNotification(owner);
        watcher->OnUSBArrival = [owner](QObject *) {
            delete owner;
            throw std::runtime_error("closed");
        };
        watcher->WMDeviceChange(kArrival, Header(kInterface, reads));
        QVERIFY(watcher.isNull());
        QCOMPARE(FReports.size(), 1);
        QCOMPARE(FReports[0].text, QStringLiteral("closed"));
        FReports.clear();
    }
}

void TestUsbWatch::ownerFreesTheWatcher()
{
    auto *owner = new QWidget;
    QPointer<TUsbNotification> owned = new TUsbNotification(owner);
    QPointer<TUsbNotification> freedFirst = new TUsbNotification(owner);
    delete freedFirst.data();
    QVERIFY(freedFirst.isNull());
    QVERIFY(!owned.isNull());
    delete owner;
    QVERIFY(owned.isNull());
}

void TestUsbWatch::udevAction_data()
{
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<uint>("eventCode");

    QTest::newRow("add") << QByteArray("add") << uint(kArrival);
    QTest::newRow("remove") << QByteArray("remove") << uint(kRemoval);
    for (const char *other : {"bind", "unbind", "change", "move", "online", "offline", ""})
        QTest::addRow("%s", *other ? other : "empty") << QByteArray(other) << 0u;
    // Only the exact words count.
    for (const char *near : {"Add", "ADD", "added", "add ", " add", "remov", "removed", "REMOVE"})
        QTest::addRow("'%s'", near) << QByteArray(near) << 0u;
    QTest::newRow("no action") << QByteArray() << 0u;
}

void TestUsbWatch::udevAction()
{
#ifdef QARN_USBWATCH_UDEV
    QFETCH(QByteArray, action);
    QFETCH(uint, eventCode);
    QCOMPARE(UdevActionEventCode(action.isNull() ? nullptr : action.constData()), eventCode);
#else
    QSKIP("This build has no udev source.");
#endif
}

// The udev events that refresh the list: a whole USB device, and the node of
// a serial port with a parent device, coming or going.
void TestUsbWatch::udevEvent_data()
{
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<QByteArray>("subsystem");
    QTest::addColumn<QByteArray>("devtype");
    QTest::addColumn<QByteArray>("devpath");
    QTest::addColumn<TUsbChange>("change");

    const QByteArray usb = "/devices/pci0000:00/0000:00:14.0/usb1/1-2";
    const QByteArray none;
    const struct {
        const char *name;
        QByteArray subsystem, devtype, devpath;
        bool watched;
    } devices[] = {
        {"USB device", "usb", "usb_device", usb, true},
        {"USB interface", "usb", "usb_interface", usb + "/1-2:1.0", false},
        {"USB serial port", "tty", none, usb + "/1-2:1.0/ttyUSB0/tty/ttyUSB0", true},
        {"USB modem port", "tty", none, usb + "/1-2:1.0/tty/ttyACM0", true},
        {"serial port", "tty", none, "/devices/pnp0/00:02/tty/ttyS0", true},
        {"virtual console", "tty", none, "/devices/virtual/tty/tty7", false},
        {"terminal multiplexer", "tty", none, "/devices/virtual/tty/ptmx", false},
        {"USB serial driver", "usb-serial", none, usb + "/1-2:1.0/ttyUSB0", false},
        {"disk", "block", "disk", usb + "/1-2:1.0/host6/target6:0:0/6:0:0:0/block/sdb", false},
    };
    for (const auto &device : devices) {
        for (const char *action : {"add", "remove", "change", "bind"}) {
            const TUsbChange change = !device.watched ? TUsbChange::None
                                      : qstrcmp(action, "add") == 0    ? TUsbChange::Arrival
                                      : qstrcmp(action, "remove") == 0 ? TUsbChange::Removal
                                                                       : TUsbChange::None;
            QTest::addRow("%s, %s", device.name, action)
                << QByteArray(action) << device.subsystem << device.devtype << device.devpath << change;
        }
    }
}

void TestUsbWatch::udevEvent()
{
#ifdef QARN_USBWATCH_UDEV
    QFETCH(QByteArray, action);
    QFETCH(QByteArray, subsystem);
    QFETCH(QByteArray, devtype);
    QFETCH(QByteArray, devpath);
    QFETCH(TUsbChange, change);

    udev *context = udev_new();
    QVERIFY(context);
    const auto release = qScopeGuard([context]() { udev_unref(context); });
    udev_device *device = UdevEvent(context, action, subsystem, devtype, devpath);
    QVERIFY(device);
    QCOMPARE(QByteArray(udev_device_get_action(device)), action);

    TEventLog log;
    TUsbNotification watcher(nullptr);
    log.Bind(watcher);
    DeliverUdevDevice(watcher, device);
    QCOMPARE(log.arrivals, change == TUsbChange::Arrival ? 1 : 0);
    QCOMPARE(log.removals, change == TUsbChange::Removal ? 1 : 0);
    QCOMPARE(log.senders, change == TUsbChange::None ? QList<QObject *>{} : QList<QObject *>{&watcher});
#else
    QSKIP("This build has no udev source.");
#endif
}

// The same with this system's own devices, read from /sys: as they are (no
// action) and as the monitor would deliver their arrival or removal.
void TestUsbWatch::udevEventOfSystemDevice_data()
{
    QTest::addColumn<QByteArray>("subsystem");
    QTest::addColumn<QByteArray>("devtype");
    QTest::addColumn<bool>("withParent");
    QTest::addColumn<bool>("watched");

    QTest::newRow("USB device") << QByteArray("usb") << QByteArray("usb_device") << true << true;
    QTest::newRow("serial port") << QByteArray("tty") << QByteArray() << true << true;
    QTest::newRow("virtual console") << QByteArray("tty") << QByteArray() << false << false;
    QTest::newRow("memory device") << QByteArray("mem") << QByteArray() << false << false;
}

void TestUsbWatch::udevEventOfSystemDevice()
{
#ifdef QARN_USBWATCH_UDEV
    QFETCH(QByteArray, subsystem);
    QFETCH(QByteArray, devtype);
    QFETCH(bool, withParent);
    QFETCH(bool, watched);

    udev *context = udev_new();
    QVERIFY(context);
    const auto release = qScopeGuard([context]() { udev_unref(context); });
    udev_device *device = SystemDevice(context, subsystem.constData(),
                                       devtype.isEmpty() ? nullptr : devtype.constData(), withParent);
    if (!device)
        QSKIP("This system has no such device in /sys.");
    const QByteArray devpath = udev_device_get_devpath(device);
    qInfo("%s", devpath.constData());
    QCOMPARE(QByteArray(udev_device_get_subsystem(device)), subsystem);

    TEventLog log;
    TUsbNotification watcher(nullptr);
    log.Bind(watcher);
    DeliverUdevDevice(watcher, device); // read from /sys: no action, no event
    QCOMPARE(log.arrivals + log.removals, 0);

    for (const char *action : {"add", "change", "remove"}) {
        udev_device *event = UdevEvent(context, action, subsystem,
                                       devtype.isEmpty() ? QByteArray() : devtype, devpath);
        QVERIFY(event);
        DeliverUdevDevice(watcher, event);
    }
    QCOMPARE(log.arrivals, watched ? 1 : 0);
    QCOMPARE(log.removals, watched ? 1 : 0);
#else
    QSKIP("This build has no udev source.");
#endif
}

// Open file descriptors of this process, where the system shows them.
static int OpenFileCount()
{
    QDir fds(QStringLiteral("/proc/self/fd"));
    return fds.exists() ? int(fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size()) : -1;
}

void TestUsbWatch::platformWatcherIsQuietAndReleasesEverything()
{
    QWidget owner;
    TEventLog log;
    {
        TUsbNotification first(&owner);
        log.Bind(first);
        // A second watcher at the same time is independent of the first.
        auto *second = new TUsbNotification(&owner);
        log.Bind(*second);
        qInfo("The platform watcher is %s.", first.IsListening() ? "listening" : "not listening");
        QCOMPARE(second->IsListening(), first.IsListening());
#if !defined(QARN_USBWATCH_UDEV) && !defined(Q_OS_WIN)
        QVERIFY(!first.IsListening());
#endif
        // Nobody plugs anything in here: no event without a device change.
        QTest::qWait(300);
        QCOMPARE(log.arrivals, 0);
        QCOMPARE(log.removals, 0);
        delete second;
        QTest::qWait(50);

        // A synthetic broadcast reaches the events of a real watcher too.
        int reads = 0;
        first.WMDeviceChange(kArrival, Header(kInterface, reads));
        QCOMPARE(log.arrivals, 1);
        QCOMPARE(log.senders, (QList<QObject *>{&first}));
    }
    QCOMPARE(owner.findChildren<TUsbNotification *>().size(), 0);

    // Everything a watcher opens is closed again when it is freed.
    const int before = OpenFileCount();
    if (before < 0)
        QSKIP("The open files of the process cannot be counted here.");
    for (int i = 0; i < 20; ++i) {
        auto *watcher = new TUsbNotification(&owner);
        QCoreApplication::processEvents();
        delete watcher;
    }
    QCOMPARE(OpenFileCount(), before);
}

QTEST_MAIN(TestUsbWatch)
#include "tst_usbwatch.moc"
