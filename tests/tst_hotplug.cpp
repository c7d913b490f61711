// USB devices in a private udev world (umockdev): the census of USB readers,
// the window's port list through the real libudev watcher, and the PC/SC
// library's wait for pcscd.  glib's headers first: Qt defines "signals".
#include <umockdev.h>

#include "pcscdtestbed.h"
#include "qarnwindowtest.h"
#include "uDiagnosisReport.h"
#include "uQarnDyn.h"
#include "uUsbNotification.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <dlfcn.h>
#include <unistd.h>

using qarntest::PcscdTestBed;
using qarntest::StandIn;
using qarntest::WindowSession;

namespace {

// A USB device 1-<n> and its interface 1-<n>:1.0 in umockdev's record format,
// attributes with a final newline (without where the id is in capitals), the
// interface's driver link, and a "tty" or "nfc" device below it.
QByteArray Device(int n, const QString &id, const QString &type, const QString &driver = {},
                  const QString &child = {})
{
    const QString end = id == id.toUpper() ? QString() : QStringLiteral("\\n");
    const QString device = QStringLiteral("/devices/pci0000:00/usb1/1-%1").arg(n);
    const QString itf = device + QStringLiteral("/1-%1:1.0").arg(n);
    QString text = QStringLiteral("P: %1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=%2%4\n"
                                  "A: idProduct=%3%4\nA: devnum=%5\n\n")
                       .arg(device, id.section(':', 0, 0), id.section(':', 1), end)
                       .arg(n + 3);
    text += QStringLiteral("P: %1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceClass=%2%3\n")
                .arg(itf, type, end);
    if (!driver.isEmpty())
        text += QStringLiteral("L: driver=../../../../../bus/usb/drivers/%1\n").arg(driver);
    if (child == QLatin1String("tty"))
        text += QStringLiteral("\nP: %1/ttyUSB0/tty/ttyUSB0\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/ttyUSB0\n").arg(itf);
    else if (!child.isEmpty())
        text += QStringLiteral("\nP: %1/nfc0\nE: SUBSYSTEM=nfc\n").arg(itf);
    return text.toUtf8();
}

} // namespace

class TestHotplug : public QObject {
    Q_OBJECT
    UMockdevTestbed *FBed = nullptr;
    PcscdTestBed FPcscd;

    void Add(const QByteArray &record) { QVERIFY(umockdev_testbed_add_from_string(FBed, record, nullptr)); }

private slots:
    void initTestCase() { QVERIFY(FPcscd.Start()); }
    void cleanupTestCase() { FPcscd.Stop(); }
    void init() { FBed = umockdev_testbed_new(); }
    void cleanup() { g_object_unref(FBed); }

    // Each row of the census: one USB device, what the report, its JSON and
    // the port list say of it.
    void census_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<QString>("line"); // a pattern
        QTest::addColumn<QString>("state");
        QTest::newRow("usbfs") << Device(2, "aaaa:0001", "0b", "usbfs")
                               << "1-2:1.0 aaaa:0001 0x0B — claimed through usbfs by a program .*: in use" << "inUse";
        QTest::newRow("kernel NFC driver")
            << Device(2, "BBBB:0002", "FF", "pn533_usb", "nfc")
            << "1-2:1.0 bbbb:0002 0xFF — held by the kernel's NFC driver pn533_usb, so pcscd cannot claim it: "
               "keep pn533_usb from loading .a line \"blacklist pn533_usb\" in /etc/modprobe.d/. .*"
            << "kernelContactless";
        QTest::newRow("no driver, ID listed") << Device(2, "aaaa:0003", "0b") << "1-2:1.0 aaaa:0003 0x0B — nothing holds it although pcscd's CCID driver lists aaaa:0003: pcscd "
               "is not running; start pcscd"
            << "ccidListed";
        QTest::newRow("no driver, ID not listed") << Device(2, "aaaa:0004", "0b") << "1-2:1.0 aaaa:0004 0x0B — nothing holds it: pcscd's CCID driver does not list aaaa:0004, .*"
            << "ccidNotListed";
        QTest::newRow("no driver, no CCID driver") << Device(2, "aaaa:0005", "0b") << "1-2:1.0 aaaa:0005 0x0B — nothing holds it, and pcscd's CCID driver is not installed: .*libccid.*"
            << "ccidMissing";
        QTest::newRow("serial adapter") << Device(2, "0403:6001", "ff", "ftdi_sio", "tty")
                                        << "1-2:1.0 0403:6001 0xFF — a serial reader at /dev/ttyUSB0 .ftdi_sio.: "
                                           "choose that port"
                                        << "serial";
        QTest::newRow("keyboard") << Device(2, "cccc:0001", "03", "usbhid") << "none seen" << QString();
    }
    void census()
    {
        QFETCH(QByteArray, device);
        QFETCH(QString, line);
        QFETCH(QString, state);
        Add(device);
        QTemporaryDir dir;
        QFile list(dir.filePath("Info.plist")); // the CCID driver's list, but in the row without one
        QVERIFY(QByteArray(QTest::currentDataTag()).contains("no CCID") ||
                (list.open(QIODevice::WriteOnly) && list.write("<key>ifdVendorID</key><array><string>0xAAAA</string>"
                                                               "</array><key>ifdProductID</key><array><string>0x0003"
                                                               "</string></array>") > 0));
        list.close();
        // The built program, with the stand-in library, in this udev world.
        QVERIFY(QFile::copy(QStringLiteral(QARN_PROGRAM), dir.filePath("QarnDiag")) &&
                QFile::copy(qarntest::StandInFolder("default") + "/libnorvane.so", dir.filePath("libnorvane.so")));
        QProcessEnvironment environment = qarntest::ProgramEnvironment(dir.path());
        environment.insert("QARNDIAG_CCID_LIST", list.fileName());
        const auto run = [&](const QStringList &arguments) {
            QProcess program;
            program.setProcessEnvironment(environment);
            program.start(dir.filePath("QarnDiag"), arguments);
            program.waitForFinished(30000);
            return QString::fromUtf8(program.readAllStandardOutput());
        };
        for (const QStringList &arguments : {QStringList{"--list"}, QStringList{"--check"}})
            QVERIFY(QRegularExpression("^USB reader : " + line + "$", QRegularExpression::MultilineOption)
                        .match(run(arguments))
                        .hasMatch());
        const QJsonArray json =
            QJsonDocument::fromJson(run({"--check", "--json"}).toUtf8()).object().value("usbReaders").toArray();
        QCOMPARE(json.size(), state.isEmpty() ? 0 : 1);
        QCOMPARE(json.at(0).toObject().value("state").toString(), state);
    }

    // Real uevents to the real watcher of a shown window: the port list is
    // read once per arrival or removal of a USB device or of a serial port
    // node, never for another subsystem, and the status text comes back.  A
    // last arrival, counted too, tells when everything before it was handled.
    void hotplug_data()
    {
        QTest::addColumn<QStringList>("events"); // "<action> <path below usb1>"
        QTest::addColumn<int>("refreshes");
        QTest::newRow("a USB device arrives") << QStringList{"add 1-2"} << 1;
        QTest::newRow("a USB device leaves") << QStringList{"remove 1-2"} << 1;
        QTest::newRow("a serial adapter and its port")
            << QStringList{"add 1-2", "add 1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0"} << 2;
        QTest::newRow("another subsystem (a disk)") << QStringList{"add 1-4/1-4:1.0/host0/block/sda"} << 0;
        QTest::newRow("two arrivals during one refresh") << QStringList{"add 1-2", "add 1-3"} << 2;
    }
    void hotplug()
    {
        QFETCH(QStringList, events);
        QFETCH(int, refreshes);
        Add(Device(2, "0403:6001", "ff", "ftdi_sio", "tty") + "\n" + Device(3, "aaaa:0001", "0b") + "\n" +
            Device(4, "aaaa:0002", "08") +
            "\nP: /devices/pci0000:00/usb1/1-4/1-4:1.0/host0/block/sda\nE: SUBSYSTEM=block\nE: DEVTYPE=disk\n");
        WindowSession session;
        session.Show();
        TfQarnDiag &w = session.window();
        QVERIFY(w.FUsbNotification && w.FUsbNotification->IsListening());
        QVERIFY(StandIn::Scenario(R"({"comm_list":"COM1=a\n/dev/ttyUSB0=FTDI\n"})"));
        w.sbStatus->showMessage(QStringLiteral("before"));
        StandIn::ClearLog();
        for (const QString &event : events + QStringList{"add 1-4"})
            umockdev_testbed_uevent(FBed, ("/sys/devices/pci0000:00/usb1/" + event.section(' ', 1)).toLatin1().constData(),
                                    event.section(' ', 0, 0).toLatin1().constData());
        QTRY_COMPARE(StandIn::CallLog().filter(QStringLiteral("NORV_GetCommListA")).size(), refreshes + 1);
        QCOMPARE(w.cbSerial->itemText(w.cbSerial->count() - 1), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(w.sbStatus->currentMessage(), QStringLiteral("before"));
        QVERIFY(!QApplication::overrideCursor());
    }

    // The PC/SC library waits for pcscd after a USB event only when a reader
    // can have come or gone: a smart-card or vendor-class interface came,
    // went or was plugged anew, or the system tells nothing of its USB bus.
    void pcscWait_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("waits");
        QTest::newRow("nothing changed") << QString() << false;
        QTest::newRow("keyboard came") << "03" << false;
        QTest::newRow("smart-card reader came") << "0b" << true;
        QTest::newRow("vendor-class device came") << "ff" << true;
        QTest::newRow("reader went") << "went" << true;
        QTest::newRow("reader plugged anew") << "devnum" << true;
        QTest::newRow("no USB bus") << "none" << true;
    }
    void pcscWait()
    {
        QFETCH(QString, change);
        QFETCH(bool, waits);
        qarntest::LoadStandIn(QStringLiteral(QARN_PCSC_DIR));
        QTemporaryDir dir;
        qputenv("NORVANE_PCSC_LIST_WAIT_MS", "1");
        if (change != "none")
            Add(Device(2, "aaaa:0001", "0b"));
        std::vector<std::string> lines;
        DynGetCommList(lines);
        if (change == "went")
            umockdev_testbed_remove_device(FBed, "/sys/devices/pci0000:00/usb1/1-2");
        else if (change == "devnum")
            umockdev_testbed_set_attribute(FBed, "/sys/devices/pci0000:00/usb1/1-2", "devnum", "9\n");
        else if (change.size() == 2)
            Add(Device(3, "aaaa:0002", change));
        qputenv("NORVANE_PCSC_TRACE", dir.filePath("trace").toLocal8Bit());
        DynGetCommList(lines);
        qunsetenv("NORVANE_PCSC_TRACE");
        qunsetenv("NORVANE_PCSC_LIST_WAIT_MS");
        qarntest::UnloadStandIn();
        QFile trace(dir.filePath("trace"));
        QCOMPARE(trace.open(QIODevice::ReadOnly) && trace.readAll().contains("PnP?"), waits);
    }
};

// Starts the test again under the umockdev preload (with AddressSanitizer
// told not to insist on coming first); skips (77) where the preload or a
// pcscd test bed is missing.
int main(int argc, char **argv)
{
    const bool preloaded = ::dlopen("libumockdev-preload.so.0", RTLD_NOW | RTLD_NOLOAD);
    if (!preloaded && !qEnvironmentVariableIsSet("QARN_HOTPLUG_PRELOADED")) {
        qputenv("LD_PRELOAD", "libumockdev-preload.so.0:" + qgetenv("LD_PRELOAD"));
        qputenv("ASAN_OPTIONS", qgetenv("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        qputenv("QARN_HOTPLUG_PRELOADED", "1");
        ::execv("/proc/self/exe", argv);
    }
    const QString missing = preloaded ? PcscdTestBed::Unavailable()
                                      : QStringLiteral("the umockdev preload library (libumockdev-preload.so.0, "
                                                       "package libumockdev0) did not load");
    if (!missing.isEmpty()) {
        std::printf("SKIP: %s\n", qPrintable(missing));
        return 77;
    }
    QApplication app(argc, argv);
    TestHotplug test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hotplug.moc"
