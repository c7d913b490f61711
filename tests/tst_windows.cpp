// What only the Windows build has, run under wine: the device choice in the
// registry (as REG_SZ text in the ANSI code page, values of other types
// reported and kept) and the USB watcher's hidden window.  The two programs
// on the command line are run from the unzipped package by
// scripts/windows_tests.sh.
#include "qarnwindowtest.h"
#include "uDeviceChoice.h"
#include "uDiagnosisReport.h"
#include "uUsbNotification.h"

#include <QtTest>

#include <windows.h>
#include <dbt.h>

using namespace qarntest;

namespace {

const char kKey[] = "Software\\Ardanel\\Norvane";

HKEY Root(bool machineWide) { return machineWide ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

struct TRawValue {
    bool exists = false;
    DWORD type = REG_NONE;
    QByteArray bytes; // as the ANSI functions give them, without the final zero
};

TRawValue RawValue(bool machineWide)
{
    TRawValue value;
    char data[512] = {};
    DWORD size = sizeof data;
    value.exists = ::RegGetValueA(Root(machineWide), kKey, "DeviceName", RRF_RT_ANY | RRF_NOEXPAND,
                                  &value.type, data, &size) == ERROR_SUCCESS;
    value.bytes = QByteArray(data, value.exists ? int(size) : 0);
    if (value.type == REG_SZ)
        value.bytes.chop(1); // the final zero
    return value;
}

void SetRawValue(bool machineWide, DWORD type, const QByteArray &bytes)
{
    HKEY key = nullptr;
    QCOMPARE(::RegCreateKeyExA(Root(machineWide), kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                               nullptr),
             LONG(ERROR_SUCCESS));
    const QByteArray data = type == REG_SZ ? bytes + '\0' : bytes;
    QCOMPARE(::RegSetValueExA(key, "DeviceName", 0, type, reinterpret_cast<const BYTE *>(data.constData()),
                              DWORD(data.size())),
             LONG(ERROR_SUCCESS));
    ::RegCloseKey(key);
}

int PortListReads() { return int(StandIn::CallLog().filter(QStringLiteral("NORV_GetCommListA")).size()); }

} // namespace

class TestWindows : public QObject {
    Q_OBJECT
private slots:
    // OK stores the name machine-wide (wine runs as administrator) as
    // REG_SZ, removes the per-user value, and the next start ticks it.
    void okStoresTextMachineWide_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("ticked");
        QTest::newRow("port") << QByteArray("COM3") << "ckSerial";
        QTest::newRow("USB") << QByteArray("USB") << "ckUsb";
        QTest::newRow("byte above 0x7F") << QByteArray("Lecteur \xE9t\xE9") << "ckOther";
        QTest::newRow("leading @") << QByteArray("@reader") << "ckOther";
    }
    void okStoresTextMachineWide()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, ticked);
        {
            WindowSession session;
            SetRawValue(false, REG_SZ, "COM9");
            session.Show();
            TfQarnDiag &w = session.window();
            w.ckOther->setChecked(true);
            w.eOther->setText(QString::fromLocal8Bit(name));
            w.btnOK->click();
            QVERIFY(session.boxes().boxes.isEmpty());

            const TRawValue stored = RawValue(true);
            QVERIFY(stored.exists);
            QCOMPARE(stored.type, DWORD(REG_SZ));
            QCOMPARE(stored.bytes, name);
            QVERIFY(!RawValue(false).exists);
        }
        // The next start (the sandbox of each session empties both places).
        WindowSession next;
        SetRawValue(true, REG_SZ, name);
        next.Show();
        QCOMPARE(next.window().findChild<QCheckBox *>(ticked)->isChecked(), true);
        if (ticked == QLatin1String("ckOther"))
            QCOMPARE(next.window().eOther->text().toLocal8Bit(), name);
        // Cancel leaves the value as it was.
        next.window().ckAuto->setChecked(true);
        next.window().btnClose->click();
        QCOMPARE(RawValue(true).bytes, name);
    }

    // A value of another type is reported as unreadable, and nothing,
    // neither reading it nor a start and Cancel, changes it.
    void otherTypesAreReportedAndKept_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("typeName");
        QTest::newRow("REG_DWORD") << int(REG_DWORD) << QByteArray("\x03\x00\x00\x00", 4) << "REG_DWORD";
        QTest::newRow("REG_BINARY") << int(REG_BINARY) << QByteArray("COM3") << "REG_BINARY";
    }
    void otherTypesAreReportedAndKept()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, typeName);
        WindowSession session;
        SetRawValue(true, DWORD(type), bytes);
        const TStoredDeviceChoice stored = ReadDeviceChoice();
        QCOMPARE(stored.place, TStoredPlace::Unreadable);
        QCOMPARE(DeviceLines(stored.name, stored).last(),
                 QStringLiteral("Device choice stored : unreadable (HKEY_LOCAL_MACHINE\\Software\\Ardanel\\"
                                "Norvane, value DeviceName: the value is %1, not a text)")
                     .arg(typeName));
        session.Show();
        QVERIFY(session.window().ckAuto->isChecked());
        session.window().btnClose->click();
        const TRawValue kept = RawValue(true);
        QCOMPARE(kept.type, DWORD(type));
        QCOMPARE(kept.bytes, bytes);
    }

    // Runs in the Greek code page 1253 (its own ctest row), where 0xAA is no
    // character: the name is refused and nothing is stored.
    void refusesNameOutsideCodePage()
    {
        if (::GetACP() != 1253)
            QSKIP("runs in the ANSI code page 1253 (ctest row tst_windows_codepage1253)");
        SettingsSandbox settings;
        SetRawValue(true, REG_SZ, "COM3");
        SetRawValue(false, REG_SZ, "USB");
        QCOMPARE(StoreDeviceChoice(QByteArray("COM\xAA")),
                 QStringLiteral("The device name cannot be stored: the byte 0xaa is no character in the "
                                "system's ANSI code page 1253. Nothing was saved."));
        QCOMPARE(RawValue(true).bytes, QByteArray("COM3"));
        QCOMPARE(RawValue(false).bytes, QByteArray("USB"));
        // A byte of the code page above 0x7F is stored and read back.
        QCOMPARE(StoreDeviceChoice(QByteArray("\xC8\xE1")), QString());
        QCOMPARE(ReadDeviceChoice().name, QByteArray("\xC8\xE1"));
    }

    // WM_DEVICECHANGE sent to the watcher's hidden window: an arrival or a
    // completed removal of a device interface refreshes the port list once;
    // anything else changes nothing and does not read the second parameter
    // (1 is no address); the answer is always 0.
    void hiddenWindow_data()
    {
        QTest::addColumn<uint>("event");
        QTest::addColumn<uint>("deviceType"); // 0: lParam is 1, no address
        QTest::addColumn<int>("refreshes");
        QTest::newRow("arrival, interface") << uint(DBT_DEVICEARRIVAL) << 5u << 1;
        QTest::newRow("removal, interface") << uint(DBT_DEVICEREMOVECOMPLETE) << 5u << 1;
        QTest::newRow("arrival, port") << uint(DBT_DEVICEARRIVAL) << uint(DBT_DEVTYP_PORT) << 0;
        QTest::newRow("removal, volume") << uint(DBT_DEVICEREMOVECOMPLETE) << uint(DBT_DEVTYP_VOLUME) << 0;
        QTest::newRow("device tree changed") << uint(DBT_DEVNODES_CHANGED) << 0u << 0;
        QTest::newRow("query removal") << uint(DBT_DEVICEQUERYREMOVE) << 0u << 0;
        QTest::newRow("removal pending") << uint(DBT_DEVICEREMOVEPENDING) << 0u << 0;
    }
    void hiddenWindow()
    {
        QFETCH(uint, event);
        QFETCH(uint, deviceType);
        QFETCH(int, refreshes);
        WindowSession session;
        session.Show();
        // The hidden window of the session's watcher, the only one.
        const HWND window = ::FindWindowA("TUsbNotificationWindow", nullptr);
        QVERIFY(window);
        StandIn::ClearLog();
        DEV_BROADCAST_HDR header = {};
        header.dbch_size = sizeof header;
        header.dbch_devicetype = deviceType;
        const LPARAM address = deviceType ? reinterpret_cast<LPARAM>(&header) : LPARAM(1);
        QCOMPARE(::SendMessageA(window, WM_DEVICECHANGE, WPARAM(event), address), LRESULT(0));
        QCOMPARE(PortListReads(), refreshes);
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
