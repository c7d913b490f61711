// The connection test: DynConnect against the builds of the stand-in reader
// library (steps, statuses, buffers, call order), then the main window's
// "Test communication" / "Disconnect" button and the connected state.
#include "qarnwindowtest.h"

#include "uAppServices.h"
#include "uQarnDyn.h"

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QMessageBox>
#include <QStyle>
#include <QTimer>
#include <QtTest>

using qarntest::LoadStandIn;
using qarntest::StandIn;
using qarntest::WindowSession;

namespace {

const QString kCorrupted = QStringLiteral(
    "ERROR : norvane.dll appears to be corrupted. Please run the installation procedure again !");
const QString kNotOnPort = QStringLiteral("Reader not found on specified port. Please ensure your "
                                          "device is powered on, and plugged onto the right port.");
const QString kAutoWait = QStringLiteral(
    "Please wait, auto-detection in progress (this may take up to 60 seconds)...");

struct TConnectResult {
    TQarnStatus status = 0;
    std::string device;
    std::string firmware;
    std::string chipsetHWID;
    std::string chipsetSNR;
    uint32_t settings = 0;
    uint32_t consts = 0;
    uint32_t features = 0;
};

// DynConnect with outputs that hold leftovers, so that clearing shows.
TConnectResult RunConnect(const std::string &device, uint32_t settings)
{
    TConnectResult r;
    r.device = device;
    r.firmware = "old firmware";
    r.chipsetHWID = "old id";
    r.chipsetSNR = "old snr";
    r.settings = settings;
    r.consts = 0xDEADBEEF;
    r.features = 0xDEADBEEF;
    r.status = DynConnect(r.device, r.firmware, r.chipsetHWID, r.chipsetSNR, r.settings, r.consts,
                          r.features);
    return r;
}

// Every call of a complete connection on COM3 with the requested word 0.
QStringList FullLogOnCom3()
{
    return {QStringLiteral("NORV_ReaderSetDeviceSettings(0x00000000)"),
            QStringLiteral("NORV_ReaderOpenA(\"COM3\")"),
            QStringLiteral("NORV_ReaderGetDeviceA(256)"),
            QStringLiteral("NORV_ReaderGetFirmwareA(256)"),
            QStringLiteral("NORV_ReaderGetRc500Id()"),
            QStringLiteral("NORV_ReaderGetDeviceSettings()"),
            QStringLiteral("NORV_ReaderGetConsts()"),
            QStringLiteral("NORV_ReaderGetFeatures()"),
            QStringLiteral("NORV_ControlRF(0)")};
}

// ---- window helpers --------------------------------------------------------

enum class Choice { Auto, Usb, Serial, Other };

void ChooseDevice(TfQarnDiag &w, Choice choice, const QString &text = QString())
{
    switch (choice) {
    case Choice::Auto:
        if (!w.ckAuto->isChecked())
            w.ckAuto->click();
        break;
    case Choice::Usb:
        if (!w.ckUsb->isChecked())
            w.ckUsb->click();
        break;
    case Choice::Serial:
        if (!w.ckSerial->isChecked())
            w.ckSerial->click();
        w.cbSerial->setCurrentIndex(w.cbSerial->findData(text.toLocal8Bit()));
        break;
    case Choice::Other:
        if (!w.ckOther->isChecked())
            w.ckOther->click();
        w.eOther->setText(text);
        break;
    }
}

// Shows the window, chooses the device and clicks "Test communication".
void ShowAndTest(WindowSession &session, Choice choice = Choice::Auto,
                 const QString &text = QString())
{
    session.Show();
    ChooseDevice(session.window(), choice, text);
    session.window().btnTest->click();
}

// What the window looks like while the library is being asked: taken by a
// zero timer that runs in the pass of pending events before the call.
struct TWaitSnapshot {
    bool taken = false;
    QString status;
    bool okEnabled = true;
    bool closeEnabled = true;
    bool testEnabled = false;
    bool busyCursor = false;
    QStringList log;
};

void ArmWaitSnapshot(TfQarnDiag &w, TWaitSnapshot &snapshot)
{
    QTimer::singleShot(0, &w, [&w, &snapshot]() {
        if (snapshot.taken)
            return;
        snapshot.taken = true;
        snapshot.status = w.sbStatus->currentMessage();
        snapshot.okEnabled = w.btnOK->isEnabled();
        snapshot.closeEnabled = w.btnClose->isEnabled();
        snapshot.testEnabled = w.btnTest->isEnabled();
        const QCursor *cursor = QApplication::overrideCursor();
        snapshot.busyCursor = cursor && cursor->shape() == Qt::WaitCursor;
        snapshot.log = StandIn::CallLog();
    });
}

QStringList ReaderEdits(const TfQarnDiag &w)
{
    return {w.eQarnVersion->text(), w.eQarnChipsetHWID->text(), w.eQarnChipsetSNR->text(),
            w.eQarnFeatures->text()};
}

// Width that a line edit gives its text (frame and the edit's own margins off).
int TextRoom(const QLineEdit *edit)
{
    const int frame = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
    return edit->width() - 2 * frame - 4;
}

void SavePicture(const QPixmap &picture, const QString &name)
{
    const QString folder = qEnvironmentVariable("QARN_SCREENSHOT_DIR");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    QVERIFY(picture.save(folder + QLatin1Char('/') + name));
}

} // namespace

class TestConnect : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { qarntest::UnloadStandIn(); }

    // ---- DynConnect ----------------------------------------------------------

    void missingRequiredEntry_data()
    {
        QTest::addColumn<QString>("variant");
        for (const char *name : {"ReaderOpenA", "ControlRF", "ReaderGetDeviceA",
                                 "ReaderGetFirmwareA", "ReaderGetRc500Id"})
            QTest::newRow(name) << QStringLiteral("no_") + QLatin1String(name);
    }
    void missingRequiredEntry()
    {
        QFETCH(QString, variant);
        LoadStandIn(variant);
        const TConnectResult r = RunConnect("COM3", 0x1D);
        QCOMPARE(r.status, TQarnStatus(-1001));
        // Not one call reaches the library, the settings included.
        QCOMPARE(StandIn::CallLog(), QStringList());
        QCOMPARE(r.device, std::string("COM3"));
        QCOMPARE(r.settings, 0x1Du);
        QCOMPARE(r.firmware, std::string());
        QCOMPARE(r.chipsetHWID, std::string());
        QCOMPARE(r.chipsetSNR, std::string());
        QCOMPARE(r.consts, 0u);
        QCOMPARE(r.features, 0u);
    }

    void failingStep_data()
    {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("calls"); // how many calls of the full sequence ran
        QTest::addColumn<QString>("openCall");
        QTest::addColumn<int>("libraryStatus"); // kept after a failed open, else 0
        QTest::addColumn<QString>("libraryMessage");

        const QString com3 = QStringLiteral("NORV_ReaderOpenA(\"COM3\")");
        QTest::newRow("settings rejected")
            << QByteArray(R"({"status":{"NORV_ReaderSetDeviceSettings":-7}})") << QByteArray("COM3")
            << -7 << 1 << com3 << 0 << QString();
        QTest::newRow("open fails on a named device")
            << QByteArray() << QByteArray("COM1") << -1002 << 2
            << QStringLiteral("NORV_ReaderOpenA(\"COM1\")") << -12 << QStringLiteral("No reader found on this device");
        QTest::newRow("open fails on a named device, other library status")
            << QByteArray(R"({"open":{"failure_status":-5}})") << QByteArray("COM2") << -1002 << 2
            << QStringLiteral("NORV_ReaderOpenA(\"COM2\")") << -5 << QStringLiteral("Norvane error -5");
        QTest::newRow("open fails without a name")
            << QByteArray(R"({"open":{"null_opens":false}})") << QByteArray() << -1003 << 2
            << QStringLiteral("NORV_ReaderOpenA(NULL)") << -12 << QStringLiteral("No reader found on this device");
        QTest::newRow("open fails, library has no message for its status")
            << QByteArray(R"({"open":{"failure_status":-5},"error_messages":{"-5":null}})")
            << QByteArray("COM2") << -1002 << 2 << QStringLiteral("NORV_ReaderOpenA(\"COM2\")") << -5
            << QString();
        QTest::newRow("device text")
            << QByteArray(R"({"status":{"NORV_ReaderGetDeviceA":-21}})") << QByteArray("COM3")
            << -21 << 3 << com3 << 0 << QString();
        QTest::newRow("firmware text")
            << QByteArray(R"({"status":{"NORV_ReaderGetFirmwareA":-22}})") << QByteArray("COM3")
            << -22 << 4 << com3 << 0 << QString();
        QTest::newRow("chipset")
            << QByteArray(R"({"status":{"NORV_ReaderGetRc500Id":-23}})") << QByteArray("COM3")
            << -23 << 5 << com3 << 0 << QString();
        QTest::newRow("settings read-back")
            << QByteArray(R"({"status":{"NORV_ReaderGetDeviceSettings":-24}})")
            << QByteArray("COM3") << -24 << 6 << com3 << 0 << QString();
        QTest::newRow("settings read-back not supported")
            << QByteArray(R"({"status":{"NORV_ReaderGetDeviceSettings":-100}})")
            << QByteArray("COM3") << -100 << 6 << com3 << 0 << QString();
        QTest::newRow("consts")
            << QByteArray(R"({"status":{"NORV_ReaderGetConsts":-25}})") << QByteArray("COM3")
            << -25 << 7 << com3 << 0 << QString();
        QTest::newRow("features")
            << QByteArray(R"({"status":{"NORV_ReaderGetFeatures":-26}})") << QByteArray("COM3")
            << -26 << 8 << com3 << 0 << QString();
        QTest::newRow("RF off")
            << QByteArray(R"({"status":{"NORV_ControlRF":-27}})") << QByteArray("COM3") << -27 << 9
            << com3 << 0 << QString();
    }
    void failingStep()
    {
        QFETCH(QByteArray, scenario);
        QFETCH(QByteArray, device);
        QFETCH(int, status);
        QFETCH(int, calls);
        QFETCH(QString, openCall);
        QFETCH(int, libraryStatus);
        QFETCH(QString, libraryMessage);
        LoadStandIn(QStringLiteral("default"));
        if (!scenario.isEmpty())
            QVERIFY(StandIn::Scenario(scenario.constData()));
        const TConnectResult r = RunConnect(device.toStdString(), 0);
        QCOMPARE(r.status, TQarnStatus(status));

        // The failing call is the last one: no later step runs.
        QStringList expected = FullLogOnCom3().mid(0, calls);
        if (calls >= 2)
            expected[1] = openCall;
        QCOMPARE(StandIn::CallLog(), expected);

        // What the library said is kept, and its message asked only now.
        TQarnStatus kept = 1;
        std::string message = "x";
        QCOMPARE(DynGetOpenFailure(kept, message), libraryStatus != 0);
        QCOMPARE(int(kept), libraryStatus);
        QCOMPARE(QString::fromStdString(message), libraryMessage);
    }

    void callOrderAndResults_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<uint>("requested");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QByteArray>("deviceText");
        QTest::addColumn<uint>("reported");

        QTest::newRow("named port, forced word")
            << QByteArray("COM3") << 0x1Du
            << QStringList{"NORV_ReaderSetDeviceSettings(0x0000001D)",
                           "NORV_ReaderOpenA(\"COM3\")",
                           "NORV_ReaderGetDeviceA(256)",
                           "NORV_ReaderGetFirmwareA(256)",
                           "NORV_ReaderGetRc500Id()",
                           "NORV_ReaderGetDeviceSettings()",
                           "NORV_ReaderGetConsts()",
                           "NORV_ReaderGetFeatures()",
                           "NORV_ControlRF(0)"}
            << QByteArray("COM3") << 0x1Du;
        // No name: a null pointer goes to the library; the device text is
        // what the library reports, not the name.
        QTest::newRow("no name")
            << QByteArray() << 0x00u
            << QStringList{"NORV_ReaderSetDeviceSettings(0x00000000)",
                           "NORV_ReaderOpenA(NULL)",
                           "NORV_ReaderGetDeviceA(256)",
                           "NORV_ReaderGetFirmwareA(256)",
                           "NORV_ReaderGetRc500Id()",
                           "NORV_ReaderGetDeviceSettings()",
                           "NORV_ReaderGetConsts()",
                           "NORV_ReaderGetFeatures()",
                           "NORV_ControlRF(0)"}
            << QByteArray("USB") << 0x4Du;
    }
    void callOrderAndResults()
    {
        QFETCH(QByteArray, device);
        QFETCH(uint, requested);
        QFETCH(QStringList, log);
        QFETCH(QByteArray, deviceText);
        QFETCH(uint, reported);
        LoadStandIn(QStringLiteral("default"));
        const TConnectResult r = RunConnect(device.toStdString(), requested);
        QCOMPARE(r.status, TQarnStatus(0));
        // The reader stays open: no close after the RF field is switched off.
        QCOMPARE(StandIn::CallLog(), log);
        QCOMPARE(QByteArray::fromStdString(r.device), deviceText);
        QCOMPARE(r.firmware, std::string("Qarn Demo Reader 1.61 (stand-in)"));
        QCOMPARE(r.chipsetHWID, std::string("88 20 01 4C 02 "));
        QCOMPARE(r.chipsetSNR, std::string("3A 91 0F 6C "));
        QCOMPARE(r.settings, reported);
        QCOMPARE(r.consts, 0x00030A12u);
        QCOMPARE(r.features, 0x0047F361u);
    }

    // A word that the library cannot give: the test still succeeds.  The
    // settings keep the request; consts and features stay 0, whether the
    // entry is missing or answers "not supported".
    void wordNotAvailable_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QByteArray>("statusRules");
        QTest::addColumn<QString>("absentCall");
        QTest::addColumn<uint>("settings");
        QTest::addColumn<uint>("consts");
        QTest::addColumn<uint>("features");
        QTest::newRow("settings read-back entry missing")
            << QStringLiteral("no_ReaderGetDeviceSettings") << QByteArray("{}")
            << QStringLiteral("NORV_ReaderGetDeviceSettings()") << 0x00u << 0x00030A12u
            << 0x0047F361u;
        QTest::newRow("consts entry missing")
            << QStringLiteral("no_ReaderGetConsts") << QByteArray("{}")
            << QStringLiteral("NORV_ReaderGetConsts()") << 0x6Bu << 0u << 0x0047F361u;
        QTest::newRow("features entry missing")
            << QStringLiteral("no_ReaderGetFeatures") << QByteArray("{}")
            << QStringLiteral("NORV_ReaderGetFeatures()") << 0x6Bu << 0x00030A12u << 0u;
        QTest::newRow("consts not supported")
            << QStringLiteral("default") << QByteArray(R"({"NORV_ReaderGetConsts":-100})")
            << QString() << 0x6Bu << 0u << 0x0047F361u;
        QTest::newRow("features not supported")
            << QStringLiteral("default") << QByteArray(R"({"NORV_ReaderGetFeatures":-100})")
            << QString() << 0x6Bu << 0x00030A12u << 0u;
        QTest::newRow("neither supported")
            << QStringLiteral("default")
            << QByteArray(R"({"NORV_ReaderGetConsts":-100,"NORV_ReaderGetFeatures":-100})")
            << QString() << 0x6Bu << 0u << 0u;
    }
    void wordNotAvailable()
    {
        QFETCH(QString, variant);
        QFETCH(QByteArray, statusRules);
        QFETCH(QString, absentCall);
        QFETCH(uint, settings);
        QFETCH(uint, consts);
        QFETCH(uint, features);
        LoadStandIn(variant);
        // This reader would report 0x6B if asked.
        const QByteArray scenario =
            R"({"settings":{"reported":"0x6B"},"status":)" + statusRules + "}";
        QVERIFY(StandIn::Scenario(scenario.constData()));
        const TConnectResult r = RunConnect("COM3", 0x00);
        QCOMPARE(r.status, TQarnStatus(0));
        QCOMPARE(r.settings, settings);
        QCOMPARE(r.consts, consts);
        QCOMPARE(r.features, features);
        QStringList expected = FullLogOnCom3();
        if (!absentCall.isEmpty())
            QVERIFY(expected.removeAll(absentCall) == 1);
        QCOMPARE(StandIn::CallLog(), expected);
    }

    // Without the settings call the request is not applied and the rest runs.
    void settingsRequestEntryMissing()
    {
        LoadStandIn(QStringLiteral("no_ReaderSetDeviceSettings"));
        const TConnectResult r = RunConnect("COM3", 0x1D);
        QCOMPARE(r.status, TQarnStatus(0));
        const QStringList log = StandIn::CallLog();
        QCOMPARE(log, FullLogOnCom3().mid(1));
        // The stand-in reports its starting word: the request never reached it.
        QCOMPARE(r.settings, 0x0Du);
    }

    void longTexts_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("spec");
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<int>("repeat");
        QTest::addColumn<int>("length");
        for (const char *key : {"device_text", "firmware"}) {
            const QByteArray k(key);
            QTest::addRow("%s 255", key) << k << QByteArray() << QByteArray("abcdefghijklmnopq")
                                         << 15 << 255;
            QTest::addRow("%s 256 fills the buffer", key)
                << k << QByteArray() << QByteArray("0123456789ABCDEF") << 16 << 256;
            QTest::addRow("%s 300", key) << k << QByteArray() << QByteArray("0123456789") << 30
                                         << 256;
            QTest::addRow("%s 300 without terminator", key)
                << k << QByteArray(R"(,"terminator":false)") << QByteArray("0123456789") << 30
                << 256;
            QTest::addRow("%s 1000 cut by the library", key)
                << k << QByteArray(R"(,"when_long":"cut")") << QByteArray("Qarn-") << 200 << 255;
        }
    }
    void longTexts()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, spec);
        QFETCH(QByteArray, pattern);
        QFETCH(int, repeat);
        QFETCH(int, length);
        LoadStandIn(QStringLiteral("default"));
        const QByteArray scenario = "{\"" + key + "\":{\"text\":\"" + pattern +
                                    "\",\"repeat\":" + QByteArray::number(repeat) + spec + "}}";
        QVERIFY(StandIn::Scenario(scenario.constData()));
        const TConnectResult r = RunConnect("COM3", 0);
        QCOMPARE(r.status, TQarnStatus(0));
        const std::string &text = key == "firmware" ? r.firmware : r.device;
        QCOMPARE(QByteArray::fromStdString(text), pattern.repeated(repeat).left(length));
    }

    void emptyDeviceText()
    {
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(R"({"device_text":""})"));
        const TConnectResult r = RunConnect("COM3", 0);
        QCOMPARE(r.status, TQarnStatus(0));
        QCOMPARE(r.device, std::string());
    }

    void chipsetBytes_data()
    {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QByteArray>("hwid");
        QTest::addColumn<QByteArray>("snr");
        QTest::newRow("five and four")
            << QByteArray(R"({"chipset_info":"0102030405","chipset_id":"0A0B0C0D"})")
            << QByteArray("01 02 03 04 05 ") << QByteArray("0A 0B 0C 0D ");
        QTest::newRow("zeros")
            << QByteArray(R"({"chipset_info":[0,0,0,0,0],"chipset_id":[0,0,0,0]})")
            << QByteArray("00 00 00 00 00 ") << QByteArray("00 00 00 00 ");
        // The library fills both buffers up to their 17 bytes: only the
        // first five and four count.
        QTest::newRow("full buffers")
            << QByteArray(R"({"chipset_info":"FFEEDDCCBBAA99887766554433221100AB",)"
                          R"("chipset_id":"A0B1C2D3E4F5061728394A5B6C7D8E9FCD"})")
            << QByteArray("FF EE DD CC BB ") << QByteArray("A0 B1 C2 D3 ");
    }
    void chipsetBytes()
    {
        QFETCH(QByteArray, scenario);
        QFETCH(QByteArray, hwid);
        QFETCH(QByteArray, snr);
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(scenario.constData()));
        const TConnectResult r = RunConnect("COM3", 0);
        QCOMPARE(r.status, TQarnStatus(0));
        QCOMPARE(QByteArray::fromStdString(r.chipsetHWID), hwid);
        QCOMPARE(QByteArray::fromStdString(r.chipsetSNR), snr);
    }

    // ---- the window ----------------------------------------------------------

    void deviceChoice_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("openCall");
        QTest::addColumn<QString>("waiting");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QByteArray>("deviceName");

        QTest::newRow("auto box") << int(Choice::Auto) << QString()
                                  << QStringLiteral("NORV_ReaderOpenA(\"auto\")") << kAutoWait
                                  << QStringLiteral("OK") << QByteArray();
        QTest::newRow("auto typed") << int(Choice::Other) << QStringLiteral("auto")
                                    << QStringLiteral("NORV_ReaderOpenA(\"auto\")") << kAutoWait
                                    << QStringLiteral("OK") << QByteArray("auto");
        QTest::newRow("AUTO typed")
            << int(Choice::Other) << QStringLiteral("AUTO")
            << QStringLiteral("NORV_ReaderOpenA(\"AUTO\")")
            << QStringLiteral("Please wait, looking for reader on AUTO") << QStringLiteral("Failed")
            << QByteArray("AUTO");
        QTest::newRow("serial port")
            << int(Choice::Serial) << QStringLiteral("COM3")
            << QStringLiteral("NORV_ReaderOpenA(\"COM3\")")
            << QStringLiteral("Please wait, looking for reader on COM3") << QStringLiteral("OK")
            << QByteArray("COM3");
        QTest::newRow("usb") << int(Choice::Usb) << QString()
                             << QStringLiteral("NORV_ReaderOpenA(\"USB\")")
                             << QStringLiteral("Please wait, looking for reader on USB")
                             << QStringLiteral("OK") << QByteArray("USB");
    }
    void deviceChoice()
    {
        QFETCH(int, choice);
        QFETCH(QString, text);
        QFETCH(QString, openCall);
        QFETCH(QString, waiting);
        QFETCH(QString, result);
        QFETCH(QByteArray, deviceName);
        WindowSession session;
        TfQarnDiag &w = session.window();
        session.Show();
        ChooseDevice(w, Choice(choice), text);
        StandIn::ClearLog();

        TWaitSnapshot during;
        ArmWaitSnapshot(w, during);
        w.btnTest->click();

        QVERIFY(during.taken);
        QCOMPARE(during.status, waiting);
        QCOMPARE(during.log, QStringList()); // before the library was asked
        QVERIFY(!during.okEnabled);
        QVERIFY(!during.closeEnabled);
        QVERIFY(during.testEnabled);
        QVERIFY(during.busyCursor);

        QVERIFY(StandIn::CallLog().contains(openCall));
        QCOMPARE(w.sbStatus->currentMessage(), result);
        // The name itself is kept as chosen; only the copy became "auto".
        QCOMPARE(w.FDeviceName, deviceName);
        QVERIFY(w.btnOK->isEnabled());
        QVERIFY(w.btnClose->isEnabled());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(Tag(w.btnTest), result == QLatin1String("OK") ? 1 : 0);
    }

    void connectedWindow_data()
    {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QString>("line");
        QTest::newRow("reported 0x00")
            << QByteArray(R"({"device_text":"Qarn reader 3","settings":{"reported":"0x00"}})")
            << QStringLiteral("Connected on Qarn reader 3 - RS232 (38400bps), OSI 3964");
        QTest::newRow("reported 0x2D")
            << QByteArray(R"({"device_text":"Qarn reader 3","settings":{"reported":"0x2D"}})")
            << QStringLiteral("Connected on Qarn reader 3 - RS485 (115200bps), ASCII (HW ctrl ON)");
        QTest::newRow("reported 0x6B")
            << QByteArray(R"({"device_text":"Qarn reader 3","settings":{"reported":"0x6B"}})")
            << QStringLiteral("Connected on Qarn reader 3 - TCP (115200bps), Binary/Bus");
        QTest::newRow("reported 0xFFFFFF52, bit 4 and the high bits ignored")
            << QByteArray(R"({"device_text":"Qarn reader 3",)"
                          R"("settings":{"reported":"0xFFFFFF52"}})")
            << QStringLiteral("Connected on Qarn reader 3 - USB (38400bps), Binary");
        QTest::newRow("empty device text")
            << QByteArray(R"({"device_text":"","settings":{"reported":"0x00"}})")
            << QStringLiteral("Connected on  - RS232 (38400bps), OSI 3964");
    }
    void connectedWindow()
    {
        QFETCH(QByteArray, scenario);
        QFETCH(QString, line);
        WindowSession session(QStringLiteral("default"), scenario.constData());
        TfQarnDiag &w = session.window();
        ShowAndTest(session, Choice::Serial, QStringLiteral("COM3"));

        QCOMPARE(session.boxes().boxes.size(), 0);
        QCOMPARE(w.sbStatus->currentMessage(), QStringLiteral("OK"));
        QCOMPARE(w.lbDeviceInfo->text(), line);
        QCOMPARE(ReaderEdits(w), (QStringList{"Qarn Demo Reader 1.61 (stand-in)", "88 20 01 4C 02 ",
                                              "3A 91 0F 6C ", "0047F361"}));
        QCOMPARE(Tag(w.btnTest), 1);
        QCOMPARE(w.btnTest->text(), QStringLiteral("Disconnect"));
        for (QWidget *on : {static_cast<QWidget *>(w.btnExplain), static_cast<QWidget *>(w.btnBench),
                            static_cast<QWidget *>(w.btnPolling), static_cast<QWidget *>(w.btnTest),
                            static_cast<QWidget *>(w.btnOK), static_cast<QWidget *>(w.btnClose)})
            QVERIFY2(on->isEnabled(), qPrintable(on->objectName()));
        for (QWidget *off : {static_cast<QWidget *>(w.btnDebug), static_cast<QWidget *>(w.ckAuto),
                             static_cast<QWidget *>(w.ckUsb), static_cast<QWidget *>(w.ckSerial),
                             static_cast<QWidget *>(w.ckOther), static_cast<QWidget *>(w.cbSerial),
                             static_cast<QWidget *>(w.eOther)})
            QVERIFY2(!off->isEnabled(), qPrintable(off->objectName()));
        // The polling state is not the connection's business.
        QCOMPARE(Tag(w.btnPolling), 0);
        QCOMPARE(w.btnPolling->text(), QStringLiteral("Contactless polling"));
    }

    // Without read-back the line shows the requested word, which the two
    // radio groups of the advanced dialog build.
    void requestedWordWithoutReadBack_data()
    {
        QTest::addColumn<int>("protocolItem");
        QTest::addColumn<int>("speedItem");
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("line");
        QTest::newRow("best match for both")
            << 0 << 0 << QStringLiteral("NORV_ReaderSetDeviceSettings(0x00000000)")
            << QStringLiteral("Connected on USB - RS232 (38400bps), OSI 3964");
        QTest::newRow("ascii at 115200")
            << 3 << 2 << QStringLiteral("NORV_ReaderSetDeviceSettings(0x0000001D)")
            << QStringLiteral("Connected on USB - RS232 (115200bps), ASCII (HW ctrl ON)");
        QTest::newRow("fast at 38400")
            << 2 << 1 << QStringLiteral("NORV_ReaderSetDeviceSettings(0x00000016)")
            << QStringLiteral("Connected on USB - RS232 (38400bps), Binary (HW ctrl ON)");
    }
    void requestedWordWithoutReadBack()
    {
        QFETCH(int, protocolItem);
        QFETCH(int, speedItem);
        QFETCH(QString, request);
        QFETCH(QString, line);
        WindowSession session(QStringLiteral("no_ReaderGetDeviceSettings"));
        TfQarnDiag &w = session.window();
        session.Show();
        TfQarnCommMore &more = session.commMore();
        more.findChild<QAbstractButton *>(QStringLiteral("rgCommProtocolItem%1").arg(protocolItem))
            ->click();
        more.findChild<QAbstractButton *>(QStringLiteral("rgCommSpeedItem%1").arg(speedItem))
            ->click();
        StandIn::ClearLog();
        w.btnTest->click();
        QCOMPARE(w.sbStatus->currentMessage(), QStringLiteral("OK"));
        QCOMPARE(StandIn::CallLog().value(0), request);
        QCOMPARE(w.lbDeviceInfo->text(), line);
    }

    void featureWord_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QString>("shown");
        QTest::newRow("0x2A1") << QStringLiteral("default") << QByteArray(R"({"features":"0x2A1"})")
                               << QStringLiteral("000002A1");
        QTest::newRow("all ones") << QStringLiteral("default")
                                  << QByteArray(R"({"features":"0xFFFFFFFF"})")
                                  << QStringLiteral("FFFFFFFF");
        QTest::newRow("lower-case digits never shown")
            << QStringLiteral("default") << QByteArray(R"({"features":"0xABCDEF"})")
            << QStringLiteral("00ABCDEF");
        QTest::newRow("not supported")
            << QStringLiteral("default")
            << QByteArray(R"({"status":{"NORV_ReaderGetFeatures":-100}})")
            << QStringLiteral("00000000");
        QTest::newRow("no features entry") << QStringLiteral("no_ReaderGetFeatures") << QByteArray()
                                           << QStringLiteral("00000000");
    }
    void featureWord()
    {
        QFETCH(QString, variant);
        QFETCH(QByteArray, scenario);
        QFETCH(QString, shown);
        WindowSession session(variant, scenario.isEmpty() ? nullptr : scenario.constData());
        TfQarnDiag &w = session.window();
        ShowAndTest(session);
        QCOMPARE(w.sbStatus->currentMessage(), QStringLiteral("OK"));
        QCOMPARE(w.eQarnFeatures->text(), shown);
    }

    void failure_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");

        QTest::newRow("no reader on the port")
            << QStringLiteral("default") << QByteArray() << int(Choice::Serial)
            << QStringLiteral("COM1") << kNotOnPort;
        // The window always names a device, so even auto-detection reports
        // the message about the specified port.
        QTest::newRow("no reader found by auto-detection")
            << QStringLiteral("default")
            << QByteArray(R"({"open":{"answers_on":[],"null_opens":true}})") << int(Choice::Auto)
            << QString() << kNotOnPort;
        QTest::newRow("firmware read fails")
            << QStringLiteral("default")
            << QByteArray(R"({"status":{"NORV_ReaderGetFirmwareA":-243}})") << int(Choice::Auto)
            << QString() << QStringLiteral("The reader did not answer in time");
        QTest::newRow("settings read-back not supported")
            << QStringLiteral("default")
            << QByteArray(R"({"status":{"NORV_ReaderGetDeviceSettings":-100}})")
            << int(Choice::Auto) << QString() << QStringLiteral("Function not supported by the reader");
        QTest::newRow("RF off fails with an unknown status")
            << QStringLiteral("default") << QByteArray(R"({"status":{"NORV_ControlRF":-77}})")
            << int(Choice::Usb) << QString() << QStringLiteral("Norvane error -77");
        QTest::newRow("chipset entry missing")
            << QStringLiteral("no_ReaderGetRc500Id") << QByteArray() << int(Choice::Auto)
            << QString() << kCorrupted;
    }
    void failure()
    {
        QFETCH(QString, variant);
        QFETCH(QByteArray, scenario);
        QFETCH(int, choice);
        QFETCH(QString, text);
        QFETCH(QString, message);
        WindowSession session(variant, scenario.isEmpty() ? nullptr : scenario.constData());
        TfQarnDiag &w = session.window();
        session.Show();
        ChooseDevice(w, Choice(choice), text);
        // Leftovers in the result boxes go: nothing of a failed test shows.
        w.eQarnVersion->setText(QStringLiteral("left over"));
        w.eQarnFeatures->setText(QStringLiteral("0047F361"));
        w.lbDeviceInfo->setText(QStringLiteral("left over"));
        w.btnTest->click();

        QCOMPARE(w.sbStatus->currentMessage(), QStringLiteral("Failed"));
        QCOMPARE(session.boxes().boxes.size(), 1);
        const auto box = session.boxes().boxes.first();
        QCOMPARE(box.caption, QStringLiteral("Qarn not found"));
        QCOMPARE(box.text, message);
        QCOMPARE(box.icon, int(QMessageBox::NoIcon));
        QCOMPARE(Tag(w.btnTest), 0);
        QCOMPARE(w.btnTest->text(), QStringLiteral("Test communication"));
        QCOMPARE(ReaderEdits(w), (QStringList{QString(), QString(), QString(), QString()}));
        QCOMPARE(w.lbDeviceInfo->text(), QString());
        QVERIFY(!w.btnExplain->isEnabled());
        QVERIFY(!w.btnBench->isEnabled());
        QVERIFY(!w.btnPolling->isEnabled());
        QVERIFY(w.btnDebug->isEnabled());
        QVERIFY(w.btnOK->isEnabled());
        QVERIFY(w.btnClose->isEnabled());
        QVERIFY(!QApplication::overrideCursor());
    }

    // A serial choice without a port selected ends the test before anything
    // else happens.
    void serialWithoutSelection()
    {
        WindowSession session;
        TfQarnDiag &w = session.window();
        session.Show();
        ChooseDevice(w, Choice::Serial, QStringLiteral("COM3"));
        w.cbSerial->setCurrentIndex(-1);
        w.sbStatus->showMessage(QStringLiteral("before the test"));
        StandIn::ClearLog();
        TWaitSnapshot during;
        ArmWaitSnapshot(w, during);
        w.btnTest->click();

        QCOMPARE(session.boxes().boxes.size(), 1);
        QCOMPARE(session.boxes().boxes.first().icon, int(QMessageBox::Critical));
        QCOMPARE(session.boxes().boxes.first().text,
                 QStringLiteral("No serial communication port is selected. Please choose a port "
                                "in the list, or another way to reach the reader."));
        QCOMPARE(StandIn::CallLog(), QStringList());
        QCOMPARE(w.sbStatus->currentMessage(), QStringLiteral("before the test"));
        QVERIFY(w.btnOK->isEnabled());
        QVERIFY(w.btnClose->isEnabled());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(Tag(w.btnTest), 0);
        QVERIFY(w.cbSerial->isEnabled());
        QVERIFY(!during.taken); // no pass of pending events ran...
        QCoreApplication::processEvents();
        QVERIFY(during.taken); // ...though one would have taken the picture
    }

    void disconnect_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<bool>("serialEnabled");
        QTest::addColumn<bool>("otherEnabled");
        QTest::addColumn<QString>("openCall");
        const QString com3 = QStringLiteral("NORV_ReaderOpenA(\"COM3\")");
        QTest::newRow("serial") << int(Choice::Serial) << true << false << com3;
        QTest::newRow("other") << int(Choice::Other) << false << true << com3;
        QTest::newRow("usb") << int(Choice::Usb) << false << false
                             << QStringLiteral("NORV_ReaderOpenA(\"USB\")");
    }
    void disconnect()
    {
        QFETCH(int, choice);
        QFETCH(bool, serialEnabled);
        QFETCH(bool, otherEnabled);
        QFETCH(QString, openCall);
        WindowSession session;
        TfQarnDiag &w = session.window();
        ShowAndTest(session, Choice(choice), QStringLiteral("COM3"));
        QCOMPARE(Tag(w.btnTest), 1);
        QVERIFY(!w.cbSerial->isEnabled());
        QVERIFY(!w.eOther->isEnabled());

        StandIn::ClearLog();
        w.btnTest->click();
        QCOMPARE(StandIn::CallLog(), (QStringList{"NORV_ControlRF(0)", "NORV_ReaderClose()"}));
        QCOMPARE(Tag(w.btnTest), 0);
        QCOMPARE(w.btnTest->text(), QStringLiteral("Test communication"));
        QCOMPARE(ReaderEdits(w), (QStringList{QString(), QString(), QString(), QString()}));
        QCOMPARE(w.lbDeviceInfo->text(), QString());
        QCOMPARE(w.sbStatus->currentMessage(), QStringLiteral("OK"));
        QVERIFY(session.boxes().boxes.isEmpty());
        for (QWidget *on : {static_cast<QWidget *>(w.btnDebug), static_cast<QWidget *>(w.ckAuto),
                            static_cast<QWidget *>(w.ckUsb), static_cast<QWidget *>(w.ckSerial),
                            static_cast<QWidget *>(w.ckOther), static_cast<QWidget *>(w.btnOK),
                            static_cast<QWidget *>(w.btnClose)})
            QVERIFY2(on->isEnabled(), qPrintable(on->objectName()));
        for (QWidget *off : {static_cast<QWidget *>(w.btnExplain), static_cast<QWidget *>(w.btnBench),
                             static_cast<QWidget *>(w.btnPolling)})
            QVERIFY2(!off->isEnabled(), qPrintable(off->objectName()));
        QCOMPARE(w.cbSerial->isEnabled(), serialEnabled);
        QCOMPARE(w.eOther->isEnabled(), otherEnabled);

        // The next test opens the reader again.
        StandIn::ClearLog();
        w.btnTest->click();
        QCOMPARE(Tag(w.btnTest), 1);
        QCOMPARE(StandIn::CallLog().value(1), openCall);
        QCOMPARE(w.eQarnFeatures->text(), QStringLiteral("0047F361"));
    }

    void disconnectLeavesPollingOn()
    {
        WindowSession session;
        TfQarnDiag &w = session.window();
        ShowAndTest(session);
        QCOMPARE(Tag(w.btnTest), 1);
        w.btnPolling->click();
        QCOMPARE(Tag(w.btnPolling), 1);
        w.btnTest->click();
        QCOMPARE(Tag(w.btnTest), 0);
        QCOMPARE(Tag(w.btnPolling), 1);
        QCOMPARE(w.btnPolling->text(), QStringLiteral("Terminate polling"));
        QVERIFY(!w.btnPolling->isEnabled());
    }

    // Every text of the connected window fits its control, also with the
    // widest hex digits.  With QARN_SCREENSHOT_DIR set, the window, its
    // reader data (enlarged) and the feature list box are saved there.
    void connectedTextsFit_data()
    {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QString>("picture");
        QTest::newRow("all features")
            << QByteArray(R"({"settings":{"reported":"0x2D"},"features":"0xFFFFFFFF"})")
            << QStringLiteral("all-features");
        QTest::newRow("wide digits, no features")
            << QByteArray(R"({"settings":{"reported":"0x6F"},"features":0,)"
                          R"("chipset_info":"DDDDDDDDDD","chipset_id":"DDDDDDDD"})")
            << QStringLiteral("no-features");
    }
    void connectedTextsFit()
    {
        QFETCH(QByteArray, scenario);
        QFETCH(QString, picture);
        WindowSession session(QStringLiteral("default"), scenario.constData());
        TfQarnDiag &w = session.window();
        ShowAndTest(session, Choice::Serial, QStringLiteral("COM3"));
        QCOMPARE(Tag(w.btnTest), 1);

        const QFontMetrics lineMetrics(w.lbDeviceInfo->font());
        QVERIFY2(lineMetrics.horizontalAdvance(w.lbDeviceInfo->text()) <=
                     w.lbDeviceInfo->contentsRect().width(),
                 qPrintable(w.lbDeviceInfo->text()));
        SavePicture(w.grab(), QStringLiteral("connected-%1.png").arg(picture));
        const QPixmap data = w.gbReader->grab();
        SavePicture(data.scaled(data.size() * 2), QStringLiteral("reader-data-%1.png").arg(picture));
        for (QLineEdit *edit : {w.eQarnVersion, w.eQarnChipsetHWID, w.eQarnChipsetSNR,
                                w.eQarnFeatures}) {
            // The blank after the last chipset byte is not seen.
            const int needed = QFontMetrics(edit->font()).horizontalAdvance(edit->text().trimmed());
            QVERIFY2(needed <= TextRoom(edit),
                     qPrintable(edit->objectName() + QLatin1String(": ") + edit->text() +
                                QStringLiteral(" needs %1 of %2 pixels").arg(needed).arg(TextRoom(edit))));
        }

        w.btnExplain->click();
        QCOMPARE(session.boxes().boxes.size(), 1);
        const auto record = session.boxes().boxes.first();
        QMessageBox box(QMessageBox::Icon(record.icon), record.caption, record.text,
                        QMessageBox::Ok, &w);
        box.setTextFormat(Qt::PlainText);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        SavePicture(box.grab(), QStringLiteral("feature-list-%1.png").arg(picture));
        box.close();
    }
};

QTEST_MAIN(TestConnect)
#include "tst_connect.moc"
