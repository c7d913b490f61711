// The main window's refresh of the port list when the USB watcher reports a
// device arrival or removal, driven through the watcher's own entry point.
#include "qarnwindowtest.h"
#include "uUsbNotification.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

using qarntest::StandIn;
using qarntest::WindowSession;

namespace {

constexpr uint32_t kArrival = 0x8000;
constexpr uint32_t kRemoval = 0x8004;

uint32_t DeviceInterface() { return 5; }
uint32_t PortDevice() { return 3; }

int CommListCalls()
{
    return int(StandIn::CallLog().count(QStringLiteral("NORV_GetCommListA(4096)")));
}

QStringList Items(const QComboBox *list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

} // namespace

class TestUsbRefresh : public QObject {
    Q_OBJECT
private slots:
    void arrivalAndRemovalRefreshOnceEach()
    {
        WindowSession session;
        session.Show();
        TfQarnDiag &w = session.window();
        QVERIFY(w.FUsbNotification);
        QCOMPARE(Items(w.cbSerial), (QStringList{"COM1", "COM2", "COM3"}));

        QVERIFY(StandIn::Scenario(R"({"comm_list":"COM1=a\nCOM7=b\n"})"));
        StandIn::ClearLog();
        w.FUsbNotification->WMDeviceChange(kArrival, DeviceInterface);
        QCOMPARE(CommListCalls(), 1);
        QCOMPARE(Items(w.cbSerial), (QStringList{"COM1", "COM7"}));

        QVERIFY(StandIn::Scenario(R"({"comm_list":"COM9=c\n"})"));
        StandIn::ClearLog();
        w.FUsbNotification->WMDeviceChange(kRemoval, DeviceInterface);
        QCOMPARE(CommListCalls(), 1);
        QCOMPARE(Items(w.cbSerial), QStringList{"COM9"});
        QVERIFY(!QApplication::overrideCursor());
    }

    void otherBroadcastsChangeNothing()
    {
        WindowSession session;
        session.Show();
        TfQarnDiag &w = session.window();
        QVERIFY(StandIn::Scenario(R"({"comm_list":"COM5=x\n"})"));
        StandIn::ClearLog();
        w.FUsbNotification->WMDeviceChange(kArrival, PortDevice);
        w.FUsbNotification->WMDeviceChange(kRemoval, PortDevice);
        w.FUsbNotification->WMDeviceChange(0x8001, DeviceInterface); // query remove
        w.FUsbNotification->WMDeviceChange(0x0007, DeviceInterface); // device tree changed
        QCOMPARE(CommListCalls(), 0);
        QCOMPARE(Items(w.cbSerial), (QStringList{"COM1", "COM2", "COM3"}));
    }

    void statusTextComesBack_data()
    {
        QTest::addColumn<QString>("before");
        QTest::newRow("empty") << QString();
        QTest::newRow("a result") << QStringLiteral("OK");
    }
    void statusTextComesBack()
    {
        QFETCH(QString, before);
        WindowSession session;
        session.Show();
        TfQarnDiag &w = session.window();
        w.sbStatus->showMessage(before);

        // The refresh text and the hourglass are on screen while the list is
        // rebuilt.
        QString during;
        bool busyDuring = false;
        QTimer::singleShot(0, &w, [&]() {
            during = w.sbStatus->currentMessage();
            busyDuring = QApplication::overrideCursor() &&
                         QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        });
        w.FUsbNotification->WMDeviceChange(kArrival, DeviceInterface);
        QCOMPARE(during, QStringLiteral("Updating list of communication devices..."));
        QVERIFY(busyDuring);
        QCOMPARE(w.sbStatus->currentMessage(), before);
        QVERIFY(!QApplication::overrideCursor());
    }

    // A second broadcast handled while the first refresh lets events run:
    // each refresh restores the text it found.
    void nestedRefresh()
    {
        WindowSession session;
        session.Show();
        TfQarnDiag &w = session.window();
        w.sbStatus->showMessage(QStringLiteral("before"));
        StandIn::ClearLog();
        QString innerFound;
        QTimer::singleShot(0, &w, [&]() {
            innerFound = w.sbStatus->currentMessage();
            w.FUsbNotification->WMDeviceChange(kRemoval, DeviceInterface);
        });
        w.FUsbNotification->WMDeviceChange(kArrival, DeviceInterface);
        QCOMPARE(innerFound, QStringLiteral("Updating list of communication devices..."));
        QCOMPARE(CommListCalls(), 2);
        QCOMPARE(w.sbStatus->currentMessage(), QStringLiteral("before"));
        QVERIFY(!QApplication::overrideCursor());
    }

    // The selection goes back to the last applied name, whatever the user
    // picked since; with no match, to the first entry.
    void selectionFollowsLastAppliedName()
    {
        WindowSession session;
        session.settings().SetPerUser(QStringLiteral("COM2"));
        session.Show();
        TfQarnDiag &w = session.window();
        QVERIFY(w.ckSerial->isChecked());
        QCOMPARE(w.cbSerial->currentText(), QStringLiteral("COM2"));

        w.cbSerial->setCurrentIndex(2);
        w.ckOther->click();
        QVERIFY(w.ckOther->isChecked());
        w.FUsbNotification->WMDeviceChange(kArrival, DeviceInterface);
        QCOMPARE(w.cbSerial->currentText(), QStringLiteral("COM2"));
        QVERIFY(w.ckSerial->isChecked());
        QVERIFY(!w.ckOther->isChecked());
        QVERIFY(w.cbSerial->isEnabled());
        QVERIFY(!w.eOther->isEnabled());

        QVERIFY(StandIn::Scenario(R"({"comm_list":"COM4=a\nCOM5=b\n"})"));
        w.FUsbNotification->WMDeviceChange(kRemoval, DeviceInterface);
        QCOMPARE(w.cbSerial->currentIndex(), 0);
        QCOMPARE(w.cbSerial->currentText(), QStringLiteral("COM4"));
        QVERIFY(w.ckSerial->isChecked()); // a refresh never unticks Serial
    }

    void watcherGoneAfterClose()
    {
        WindowSession session;
        session.Show();
        QPointer<TUsbNotification> watcher = session.window().FUsbNotification;
        QVERIFY(watcher);
        session.Close();
        QVERIFY(!watcher);
        QVERIFY(!session.window().FUsbNotification);
    }
};

QTEST_MAIN(TestUsbRefresh)
#include "tst_usbrefresh.moc"
