// The device choice of the main window: the four exclusive boxes, the port
// list, the stored device name and where OK stores it, driven through the
// real widgets on the offscreen platform with the stand-in reader library.
#include "qarnwindowtest.h"
#include "uAppServices.h"
#include "uDiagnosis.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QtTest>

#include <unistd.h>

using qarntest::SettingsSandbox;
using qarntest::StandIn;
using qarntest::WindowSession;

namespace {

// Makes a settings file or folder readable but not writable, for root too
// (whose writes only an immutable file refuses).  False where that cannot be
// done.
bool MakeReadOnly(const QString &file)
{
    QFileDevice::Permissions readOnly =
        QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    if (QFileInfo(file).isDir())
        readOnly |= QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    if (!QFile::setPermissions(file, readOnly))
        return false;
    return ::geteuid() != 0 ||
           QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), file}) == 0;
}

void MakeWritable(const QString &file)
{
    if (::geteuid() == 0)
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), file});
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    (QFileInfo(file).isDir() ? QFileDevice::ExeOwner
                                                             : QFileDevice::Permissions()));
}

const QByteArray kDefaultPorts = "COM1=Communications Port\nCOM2=Modem Port\nCOM3=USB Serial Port\n";

// A scenario whose port list is the given text, kept for the whole test.
QByteArray PortsScenario(const QByteArray &commList)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("comm_list"), QString::fromUtf8(commList)}})
        .toJson(QJsonDocument::Compact);
}

// The DeviceName value in exactly one file (reading a place through
// QSettings' scopes would also find the values of the places behind it).
QVariant StoredIn(const QString &file)
{
    return QSettings(file, QSettings::IniFormat).value(QStringLiteral("DeviceName"));
}

QVariant PerUser(SettingsSandbox &settings) { return StoredIn(settings.PerUserFile()); }
QVariant MachineWide(SettingsSandbox &settings) { return StoredIn(settings.MachineWideFile()); }

// The ticked boxes, by name.
QStringList Ticked(const TfQarnDiag &w)
{
    QStringList ticked;
    for (const QCheckBox *box : {w.ckAuto, w.ckUsb, w.ckSerial, w.ckOther}) {
        if (box->isChecked())
            ticked << box->objectName();
    }
    return ticked;
}

// Exactly the one box, and the two inputs enabled with their boxes.
bool ChoiceIs(const TfQarnDiag &w, const QString &box)
{
    const QStringList ticked = Ticked(w);
    if (ticked != QStringList{box}) {
        qWarning("ticked: %s, expected only %s", qPrintable(ticked.join(QLatin1Char(','))),
                 qPrintable(box));
        return false;
    }
    if (w.cbSerial->isEnabled() != (box == QLatin1String("ckSerial")) ||
        w.eOther->isEnabled() != (box == QLatin1String("ckOther"))) {
        qWarning("cbSerial enabled %d, eOther enabled %d with %s ticked", w.cbSerial->isEnabled(),
                 w.eOther->isEnabled(), qPrintable(box));
        return false;
    }
    return Tag(w.gbDevice) == 0;
}

// A click on the box's caption (a check box takes clicks on its square and
// caption only, not on the empty rest of its width).
void Click(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(20, box->height() / 2));
}

QCheckBox *Box(TfQarnDiag &w, const QString &name)
{
    return w.findChild<QCheckBox *>(name);
}

// What a new window finds in the same settings: its device name and the
// ticked box.
struct TReopened {
    QByteArray name;
    QString box;
    QString other;
};

TReopened Reopen()
{
    TfQarnDiag again;
    again.show();
    if (!QTest::qWaitForWindowExposed(&again))
        qWarning("second window not exposed");
    again.tmrFirst->stop();
    TReopened seen{again.FDeviceName, Ticked(again).join(QLatin1Char(',')), again.eOther->text()};
    again.close();
    return seen;
}

} // namespace

class TestDeviceChoice : public QObject {
    Q_OBJECT
private slots:
    // Where OK stores the choice, with and without a writable machine-wide
    // place, and what the next start finds.
    void saveOutcomes_data()
    {
        QTest::addColumn<bool>("machineWideWritable");
        QTest::addColumn<QString>("choose");
        QTest::addColumn<QVariant>("machineWide");
        QTest::addColumn<QVariant>("perUser");
        QTest::addColumn<QString>("reopenedBox");

        // Earlier values in both places show what each pass writes or deletes.
        QTest::newRow("machine-wide writable, a name")
            << true << "ckUsb" << QVariant(QStringLiteral("USB")) << QVariant() << "ckUsb";
        QTest::newRow("machine-wide writable, auto-detection")
            << true << "ckAuto" << QVariant() << QVariant() << "ckAuto";
        QTest::newRow("machine-wide not writable, a name")
            << false << "ckUsb" << QVariant() << QVariant(QStringLiteral("USB")) << "ckUsb";
        // With no machine-wide name to come back, auto-detection is the
        // absence of the value.
        QTest::newRow("machine-wide not writable, auto-detection")
            << false << "ckAuto" << QVariant() << QVariant() << "ckAuto";
    }
    void saveOutcomes()
    {
        QFETCH(bool, machineWideWritable);
        QFETCH(QString, choose);
        QFETCH(QVariant, machineWide);
        QFETCH(QVariant, perUser);
        QFETCH(QString, reopenedBox);

        WindowSession session(QStringLiteral("default"), nullptr, machineWideWritable);
        SettingsSandbox &settings = session.settings();
        settings.SetPerUser(QStringLiteral("COM2"));
        if (machineWideWritable)
            settings.SetMachineWide(QStringLiteral("COM1"));
        TfQarnDiag &w = session.window();
        session.Show();
        QVERIFY(ChoiceIs(w, QStringLiteral("ckSerial")));
        QCOMPARE(w.cbSerial->currentText(), QStringLiteral("COM2"));

        Click(Box(w, choose));
        QVERIFY(ChoiceIs(w, choose));
        w.btnOK->click();

        QVERIFY(session.boxes().boxes.isEmpty());
        QVERIFY(w.IsClosed());
        QVERIFY(!w.isVisible());
        QCOMPARE(MachineWide(settings), machineWide);
        QCOMPARE(PerUser(settings), perUser);
        if (!machineWideWritable)
            QVERIFY(!QFile::exists(settings.MachineWideFile()));

        const TReopened again = Reopen();
        QCOMPARE(again.box, reopenedBox);
        w.LoadFromReg();
        QCOMPARE(w.FDeviceName, again.name);
    }

    // A machine-wide name that cannot be overwritten: the choice is stored
    // per user, and auto-detection as "auto", so that the machine-wide name
    // does not come back at the next start.
    void lockedMachineWideName_data()
    {
        QTest::addColumn<QString>("choose");
        QTest::addColumn<QString>("perUser");
        QTest::newRow("auto-detection") << "ckAuto" << "auto";
        QTest::newRow("USB") << "ckUsb" << "USB";
    }
    void lockedMachineWideName()
    {
        QFETCH(QString, choose);
        QFETCH(QString, perUser);

        WindowSession session;
        SettingsSandbox &settings = session.settings();
        // A machine-wide name in a place that can be read but not written.
        settings.SetMachineWide(QStringLiteral("COM3"));
        const QString machineWideFile = settings.MachineWideFile();
        if (!MakeReadOnly(machineWideFile)) {
            MakeWritable(machineWideFile);
            QSKIP("a settings file cannot be made read-only here");
        }
        const auto writableAgain = qScopeGuard([&]() { MakeWritable(machineWideFile); });
        QCOMPARE(settings.MachineWide(), QVariant(QStringLiteral("COM3")));

        TfQarnDiag &w = session.window();
        session.Show();
        QCOMPARE(w.FDeviceName, QByteArray("COM3"));
        QVERIFY(ChoiceIs(w, QStringLiteral("ckSerial")));

        Click(Box(w, choose));
        w.btnOK->click();
        QVERIFY(session.boxes().boxes.isEmpty());
        QVERIFY(w.IsClosed());
        QCOMPARE(PerUser(settings), QVariant(perUser));
        QCOMPARE(settings.MachineWide(), QVariant(QStringLiteral("COM3")));
        const TReopened again = Reopen();
        QCOMPARE(again.name, perUser.toUtf8());
        QCOMPARE(again.box, choose);
    }

    // A value that cannot be written once its place opened (a settings file
    // in a folder that refuses new files): the report names the value and
    // the file, nothing is lost and the window stays open.
    void writeFailureNamesTheFile()
    {
        WindowSession session(QStringLiteral("default"), nullptr, false);
        SettingsSandbox &settings = session.settings();
        settings.SetPerUser(QStringLiteral("COM2"));
        const QString folder = QFileInfo(settings.PerUserFile()).absolutePath();
        if (!MakeReadOnly(folder)) {
            MakeWritable(folder);
            QSKIP("a settings folder cannot be made read-only here");
        }
        const auto writableAgain = qScopeGuard([&]() { MakeWritable(folder); });

        TfQarnDiag &w = session.window();
        session.Show();
        Click(w.ckUsb);
        w.btnOK->click();
        QCOMPARE(session.boxes().boxes.size(), 1);
        const auto box = session.boxes().boxes.first();
        QCOMPARE(box.icon, int(QMessageBox::Critical));
        QCOMPARE(box.caption, QStringLiteral("Ardanel QarnDiag"));
        QCOMPARE(box.text, QStringLiteral("Failed to write the value \"DeviceName\" to the settings "
                                          "file %1: the setting could not be saved.")
                               .arg(settings.PerUserFile()));
        QVERIFY(!w.IsClosed());
        QFile stored(settings.PerUserFile());
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QVERIFY(stored.readAll().contains("DeviceName=COM2"));
    }

    // Which place gives the name: per user first, machine-wide when the
    // per-user value is missing, empty or not a text.
    void loadOrder_data()
    {
        QTest::addColumn<QVariant>("perUser");
        QTest::addColumn<QVariant>("machineWide");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("box");

        const QVariant none;
        QTest::newRow("nothing stored") << none << none << QByteArray() << "ckAuto";
        QTest::newRow("machine-wide only")
            << none << QVariant(QStringLiteral("USB")) << QByteArray("USB") << "ckUsb";
        QTest::newRow("per-user only")
            << QVariant(QStringLiteral("COM3")) << none << QByteArray("COM3") << "ckSerial";
        QTest::newRow("per-user wins")
            << QVariant(QStringLiteral("USB")) << QVariant(QStringLiteral("COM1"))
            << QByteArray("USB") << "ckUsb";
        QTest::newRow("empty per-user value does not hide machine-wide")
            << QVariant(QString()) << QVariant(QStringLiteral("COM1")) << QByteArray("COM1")
            << "ckSerial";
        QTest::newRow("per-user list does not hide machine-wide")
            << QVariant(QStringList{"USB", "COM1"}) << QVariant(QStringLiteral("COM3"))
            << QByteArray("COM3") << "ckSerial";
        QTest::newRow("per-user bytes (a name not UTF-8)")
            << QVariant(QByteArray("CAF\xE9")) << none << QByteArray("CAF\xE9") << "ckOther";
        QTest::newRow("machine-wide list reads as empty")
            << none << QVariant(QStringList{"USB"}) << QByteArray() << "ckAuto";
        QTest::newRow("both not texts")
            << QVariant(QPointF(1, 2)) << QVariant(QStringList{"COM2", "COM3"})
            << QByteArray() << "ckAuto";
    }
    void loadOrder()
    {
        QFETCH(QVariant, perUser);
        QFETCH(QVariant, machineWide);
        QFETCH(QByteArray, name);
        QFETCH(QString, box);

        WindowSession session;
        session.settings().SetPerUser(perUser);
        session.settings().SetMachineWide(machineWide);
        TfQarnDiag &w = session.window();
        session.Show();
        QCOMPARE(w.FDeviceName, name);
        QVERIFY(ChoiceIs(w, box));
        QVERIFY(session.boxes().boxes.isEmpty());

        // Reading again starts from an empty name.
        w.FDeviceName = "leftover";
        w.LoadFromReg();
        QCOMPARE(w.FDeviceName, name);
    }

    // The stored name mapped to the boxes at start-up, and what OK stores
    // back without any change by the user.
    void mapAndStore_data()
    {
        QTest::addColumn<QByteArray>("ports");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("otherText");
        QTest::addColumn<QVariant>("storedAfterOk");

        const QVariant removed;
        QTest::newRow("auto") << kDefaultPorts << "auto" << "ckAuto" << 0 << "" << removed;
        QTest::newRow("USB") << kDefaultPorts << "USB" << "ckUsb" << 0 << ""
                             << QVariant(QStringLiteral("USB"));
        QTest::newRow("usb in lower case is another name")
            << kDefaultPorts << "usb" << "ckOther" << 0 << "usb" << QVariant(QStringLiteral("usb"));
        QTest::newRow("Auto in capitals is another name")
            << kDefaultPorts << "Auto" << "ckOther" << 0 << "Auto"
            << QVariant(QStringLiteral("Auto"));
        QTest::newRow("listed port") << kDefaultPorts << "COM2" << "ckSerial" << 1 << ""
                                     << QVariant(QStringLiteral("COM2"));
        QTest::newRow("port not listed: first entry")
            << kDefaultPorts << "COM9" << "ckSerial" << 0 << "" << QVariant(QStringLiteral("COM1"));
        QTest::newRow("com in lower case")
            << kDefaultPorts << "com1" << "ckOther" << 0 << "com1" << QVariant(QStringLiteral("com1"));
        QTest::newRow("CO is not a port") << kDefaultPorts << "CO" << "ckOther" << 0 << "CO"
                                          << QVariant(QStringLiteral("CO"));
        QTest::newRow("listed name not beginning with COM")
            << QByteArray("COM1=Communications Port\nttyUSB0=USB serial adapter\n") << "ttyUSB0"
            << "ckOther" << 1 << "ttyUSB0" << QVariant(QStringLiteral("ttyUSB0"));
        QTest::newRow("duplicate names: the later one")
            << QByteArray("COM1=First\nCOM4=Other\nCOM1=Second\nCOM5=Last\n") << "COM1"
            << "ckSerial" << 2 << "" << QVariant(QStringLiteral("COM1"));
        QTest::newRow("port name with spaces and '=' in the text")
            << QByteArray("COM 7=a=b\nCOM8\n") << "COM 7" << "ckSerial" << 0 << ""
            << QVariant(QStringLiteral("COM 7"));
        // Lines without "=" give items without a name; nothing stored must
        // not pick them.
        QTest::newRow("nameless line is not auto-detection")
            << QByteArray("no equals sign here\nCOM2=Modem Port\n") << "" << "ckAuto" << 0 << ""
            << removed;
        QTest::newRow("empty name before '='")
            << QByteArray("=nameless\nCOM2=Modem Port\n") << "" << "ckAuto" << 0 << "" << removed;
    }
    void mapAndStore()
    {
        QFETCH(QByteArray, ports);
        QFETCH(QString, stored);
        QFETCH(QString, box);
        QFETCH(int, selected);
        QFETCH(QString, otherText);
        QFETCH(QVariant, storedAfterOk);

        WindowSession session(QStringLiteral("default"), PortsScenario(ports).constData());
        if (!stored.isEmpty())
            session.settings().SetPerUser(stored);
        TfQarnDiag &w = session.window();
        session.Show();

        QCOMPARE(w.FDeviceName, stored.toUtf8());
        QVERIFY(ChoiceIs(w, box));
        QCOMPARE(w.cbSerial->currentIndex(), selected);
        QCOMPARE(w.eOther->text(), otherText);

        w.btnOK->click();
        QVERIFY(session.boxes().boxes.isEmpty());
        QVERIFY(w.IsClosed());
        QCOMPARE(MachineWide(session.settings()), storedAfterOk);
        QCOMPARE(PerUser(session.settings()), QVariant());
    }

    // The port list as the library gives it: one item per whole line, each
    // with the serial port picture, named by the text before "=".
    void portListItems()
    {
        WindowSession session(QStringLiteral("default"),
                              PortsScenario("COM1=Communications Port\nbare\nCOM2=x\nCOM9").constData());
        TfQarnDiag &w = session.window();
        session.Show();
        QCOMPARE(w.cbSerial->count(), 3); // the unfinished last line is dropped
        QCOMPARE(w.cbSerial->itemText(0), QStringLiteral("COM1"));
        QCOMPARE(w.cbSerial->itemText(1), QString());
        QCOMPARE(w.cbSerial->itemText(2), QStringLiteral("COM2"));
        QVERIFY(!w.CommImages[0].isNull());
        for (int i = 0; i < w.cbSerial->count(); ++i) {
            QVERIFY(!w.cbSerial->itemIcon(i).isNull());
            QCOMPARE(w.cbSerial->itemIcon(i).cacheKey(), w.CommImages[0].cacheKey());
        }
    }

    // A port that is not listed, and no port listed at all: OK reports the
    // missing port and loses nothing.
    void serialWithoutPort()
    {
        WindowSession session(QStringLiteral("default"), PortsScenario("").constData());
        session.settings().SetPerUser(QStringLiteral("COM5"));
        session.settings().SetMachineWide(QStringLiteral("USB"));
        TfQarnDiag &w = session.window();
        session.Show();
        QVERIFY(ChoiceIs(w, QStringLiteral("ckSerial")));
        QCOMPARE(w.cbSerial->count(), 0);
        QCOMPARE(w.cbSerial->currentIndex(), -1);

        w.btnOK->click();
        QCOMPARE(session.boxes().boxes.size(), 1);
        const auto box = session.boxes().boxes.first();
        QCOMPARE(box.icon, int(QMessageBox::Critical));
        QCOMPARE(box.caption, QStringLiteral("Ardanel QarnDiag"));
        QVERIFY2(box.text.contains(QStringLiteral("serial communication port"), Qt::CaseInsensitive),
                 qPrintable(box.text));
        QVERIFY(w.isVisible());
        QVERIFY(!w.IsClosed());
        QCOMPARE(w.FDeviceName, QByteArray("COM5"));
        QCOMPARE(PerUser(session.settings()), QVariant(QStringLiteral("COM5")));
        QCOMPARE(MachineWide(session.settings()), QVariant(QStringLiteral("USB")));

        // The window goes on working: another choice is stored.
        Click(w.ckOther);
        QTest::keyClicks(w.eOther, QStringLiteral("/dev/ttyS4"));
        w.btnOK->click();
        QCOMPARE(session.boxes().boxes.size(), 1);
        QVERIFY(w.IsClosed());
        QCOMPARE(MachineWide(session.settings()), QVariant(QStringLiteral("/dev/ttyS4")));
        QCOMPARE(PerUser(session.settings()), QVariant());
    }

    // "Other" with nothing typed is auto-detection.
    void otherWithEmptyEdit()
    {
        WindowSession session;
        session.settings().SetPerUser(QStringLiteral("tcp:10.0.0.7"));
        session.settings().SetMachineWide(QStringLiteral("COM3"));
        TfQarnDiag &w = session.window();
        session.Show();
        QVERIFY(ChoiceIs(w, QStringLiteral("ckOther")));
        QCOMPARE(w.eOther->text(), QStringLiteral("tcp:10.0.0.7"));
        w.eOther->selectAll();
        QTest::keyClick(w.eOther, Qt::Key_Delete);
        QCOMPARE(w.eOther->text(), QString());

        w.btnOK->click();
        QVERIFY(session.boxes().boxes.isEmpty());
        QCOMPARE(w.FDeviceName, QByteArray());
        QCOMPARE(MachineWide(session.settings()), QVariant());
        QCOMPARE(PerUser(session.settings()), QVariant());
        QCOMPARE(Reopen().box, QStringLiteral("ckAuto"));
    }

    // Text typed in "Other" is stored as typed: spaces, case, non-ASCII, and
    // bytes that are not UTF-8 (shown and typed as \xHH); such a name stored
    // and kept by OK unchanged comes back byte for byte at the next start.
    void otherStoredAsTyped_data()
    {
        QTest::addColumn<QByteArray>("file"); // the per-user file before the start
        QTest::addColumn<QString>("typed");   // in "Other"; null: nothing typed
        QTest::addColumn<QVariant>("stored"); // machine-wide after OK
        const QString lecteur = QStringLiteral(" Lecteur n\u00B02 ");
        QTest::newRow("non-ASCII") << QByteArray() << lecteur << QVariant(lecteur);
        QTest::newRow("not UTF-8, typed") << QByteArray() << "CAF\\xE9" << QVariant(QByteArray("CAF\xE9"));
        QTest::newRow("not UTF-8 as plain text, kept")
            << QByteArray("[General]\nDeviceName=Lecteur CAF\xFF\n") << QString() << QVariant(QByteArray("Lecteur CAF\xFF"));
        QTest::newRow("not UTF-8 as bytes, kept")
            << QByteArray("[General]\nDeviceName=@ByteArray(\\xe9t\\xe9)\n") << QString()
            << QVariant(QByteArray("\xE9t\xE9"));
    }
    void otherStoredAsTyped()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, typed);
        QFETCH(QVariant, stored);
        WindowSession session;
        if (!file.isEmpty()) {
            QDir().mkpath(QFileInfo(session.settings().PerUserFile()).path());
            QFile settings(session.settings().PerUserFile());
            QVERIFY(settings.open(QIODevice::WriteOnly) && settings.write(file) == file.size());
        }
        TfQarnDiag &w = session.window();
        session.Show();
        if (!typed.isNull()) {
            Click(w.ckOther);
            w.eOther->setText(typed);
        }
        w.btnOK->click();
        QCOMPARE(w.FDeviceName, stored.toByteArray());
        QCOMPARE(MachineWide(session.settings()), stored);
        const TReopened again = Reopen();
        QCOMPARE(again.box, QStringLiteral("ckOther"));
        QCOMPARE(again.name, stored.toByteArray());
        QCOMPARE(again.other, LibraryText(stored.toByteArray()));
    }

    // Clicking the boxes: always exactly one ticked; unticking falls back
    // (USB to Auto, Auto to USB, the others to Auto).
    void boxClicks_data()
    {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QStringList>("after");

        QTest::newRow("untick auto ticks USB, untick USB ticks auto")
            << QStringList{"ckAuto", "ckUsb", "ckAuto", "ckUsb"}
            << QStringList{"ckUsb", "ckAuto", "ckUsb", "ckAuto"};
        QTest::newRow("each box in turn")
            << QStringList{"ckSerial", "ckOther", "ckUsb", "ckAuto", "ckOther", "ckSerial"}
            << QStringList{"ckSerial", "ckOther", "ckUsb", "ckAuto", "ckOther", "ckSerial"};
        QTest::newRow("untick serial and other fall back to auto")
            << QStringList{"ckSerial", "ckSerial", "ckOther", "ckOther", "ckUsb", "ckSerial",
                           "ckSerial"}
            << QStringList{"ckSerial", "ckAuto", "ckOther", "ckAuto", "ckUsb", "ckSerial",
                           "ckAuto"};
    }
    void boxClicks()
    {
        QFETCH(QStringList, clicks);
        QFETCH(QStringList, after);

        WindowSession session;
        TfQarnDiag &w = session.window();
        session.Show();
        QVERIFY(ChoiceIs(w, QStringLiteral("ckAuto")));
        for (int i = 0; i < clicks.size(); ++i) {
            Click(Box(w, clicks[i]));
            QVERIFY2(ChoiceIs(w, after[i]), qPrintable(QStringLiteral("click %1").arg(i + 1)));
        }
    }

    // Ticking by code runs the same rules; setting the state a box already
    // has runs nothing.
    void boxesSetByCode()
    {
        WindowSession session;
        TfQarnDiag &w = session.window();
        session.Show();
        w.ckOther->setChecked(true);
        QVERIFY(ChoiceIs(w, QStringLiteral("ckOther")));
        w.ckOther->setChecked(false);
        QVERIFY(ChoiceIs(w, QStringLiteral("ckAuto")));
        w.ckSerial->setChecked(true);
        QVERIFY(ChoiceIs(w, QStringLiteral("ckSerial")));

        // Connected: the inputs are locked, whatever is ticked.
        SetTag(w.btnTest, 1);
        w.ckSerial->setChecked(true); // no change: nothing runs
        QVERIFY(w.cbSerial->isEnabled());
        w.ckOther->setChecked(true);
        QCOMPARE(Ticked(w), QStringList{"ckOther"});
        QVERIFY(!w.cbSerial->isEnabled());
        QVERIFY(!w.eOther->isEnabled());
        SetTag(w.btnTest, 0);
        w.ckSerial->click();
        QVERIFY(ChoiceIs(w, QStringLiteral("ckSerial")));

        // While the rules run (tag of gbDevice set) a change runs nothing more.
        SetTag(w.gbDevice, 1);
        w.ckUsb->setChecked(true);
        QCOMPARE(Ticked(w), (QStringList{"ckUsb", "ckSerial"}));
        SetTag(w.gbDevice, 0);
        w.ckOther->click();
        QVERIFY(ChoiceIs(w, QStringLiteral("ckOther")));
        QVERIFY(session.boxes().boxes.isEmpty());
    }

    // A port chosen in the list is stored by OK under its own bytes.
    void choosePortInList()
    {
        WindowSession session;
        TfQarnDiag &w = session.window();
        session.Show();
        Click(w.ckSerial);
        QVERIFY(ChoiceIs(w, QStringLiteral("ckSerial")));
        QCOMPARE(w.cbSerial->currentIndex(), 0);
        w.cbSerial->setFocus();
        QTest::keyClick(w.cbSerial, Qt::Key_Down);
        QTest::keyClick(w.cbSerial, Qt::Key_Down);
        QCOMPARE(w.cbSerial->currentText(), QStringLiteral("COM3"));
        w.btnOK->click();
        QCOMPARE(w.FDeviceName, QByteArray("COM3"));
        QCOMPARE(MachineWide(session.settings()), QVariant(QStringLiteral("COM3")));
        const TReopened again = Reopen();
        QCOMPARE(again.box, QStringLiteral("ckSerial"));
        QCOMPARE(again.name, QByteArray("COM3"));
    }

    // A new port list (ports come and go) selects the last applied name
    // again, or the first entry; it never unticks "Serial".
    void portListRebuild()
    {
        WindowSession session;
        session.settings().SetPerUser(QStringLiteral("COM2"));
        TfQarnDiag &w = session.window();
        session.Show();
        QCOMPARE(w.cbSerial->currentText(), QStringLiteral("COM2"));
        QVERIFY(ChoiceIs(w, QStringLiteral("ckSerial")));

        // Another entry picked but not applied: the rebuild goes back to COM2,
        // now at another place in the list.
        w.cbSerial->setCurrentIndex(2);
        QVERIFY(StandIn::Scenario(PortsScenario("COM4=New\nCOM3=x\nCOM2=Modem Port\n")));
        w.LoadCommList();
        QCOMPARE(w.cbSerial->count(), 3);
        QCOMPARE(w.cbSerial->currentIndex(), 2);
        QVERIFY(ChoiceIs(w, QStringLiteral("ckSerial")));

        // COM2 gone: the first entry, still "Serial".
        QVERIFY(StandIn::Scenario(PortsScenario("COM7=a\nCOM8=b\n")));
        w.LoadCommList();
        QCOMPARE(w.cbSerial->currentText(), QStringLiteral("COM7"));
        QVERIFY(ChoiceIs(w, QStringLiteral("ckSerial")));

        // Nothing listed: no selection; "Serial" stays ticked.
        QVERIFY(StandIn::Scenario(PortsScenario("")));
        w.LoadCommList();
        QCOMPARE(w.cbSerial->count(), 0);
        QCOMPARE(w.cbSerial->currentIndex(), -1);
        QVERIFY(ChoiceIs(w, QStringLiteral("ckSerial")));

        // USB applied: a rebuild leaves USB ticked and selects the first port.
        Click(w.ckUsb);
        w.ApplyDeviceName();
        QVERIFY(StandIn::Scenario(PortsScenario("COM2=back\nCOM5=x\n")));
        w.LoadCommList();
        QCOMPARE(w.cbSerial->currentIndex(), 0);
        QVERIFY(ChoiceIs(w, QStringLiteral("ckUsb")));

        // Auto-detection applied: an entry without a name is no match for it.
        Click(w.ckAuto);
        w.ApplyDeviceName();
        QCOMPARE(w.FDeviceName, QByteArray());
        QVERIFY(StandIn::Scenario(PortsScenario("COM2=back\n=nameless\nno equals sign\n")));
        w.LoadCommList();
        QCOMPARE(w.cbSerial->currentIndex(), 0);
        QVERIFY(ChoiceIs(w, QStringLiteral("ckAuto")));
    }

    // Names are compared as bytes: a port name that is not valid UTF-8 is
    // found again and stored name and list entry stay the same bytes.
    void portNamesAreBytes()
    {
        WindowSession session(QStringLiteral("default"),
                              R"({"comm_list":{"hex":"434F4D313D780A434F4DE93D790A636F6D323D7A0A"}})");
        TfQarnDiag &w = session.window();
        session.Show();
        QCOMPARE(w.cbSerial->count(), 3);
        w.FDeviceName = QByteArray("COM\xE9");
        w.LoadCommList();
        QCOMPARE(w.cbSerial->currentIndex(), 1);
        QVERIFY(ChoiceIs(w, QStringLiteral("ckSerial")));
        w.FDeviceName.clear();
        w.ApplyDeviceName();
        QCOMPARE(w.FDeviceName, QByteArray("COM\xE9"));

        // Case counts.
        w.FDeviceName = "COM2";
        w.LoadCommList();
        QCOMPARE(w.cbSerial->currentIndex(), 0);
        w.FDeviceName = "com2";
        w.LoadCommList();
        QCOMPARE(w.cbSerial->currentIndex(), 2);
    }

    // Without the library, or without its port list entry, the list is
    // empty and the stored choice still shows.
    void noPortListFromLibrary_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::newRow("no library") << QString();
        QTest::newRow("no port list entry") << QStringLiteral("no_GetCommListA");
    }
    void noPortListFromLibrary()
    {
        QFETCH(QString, variant);
        WindowSession session(variant);
        session.settings().SetPerUser(QStringLiteral("USB"));
        TfQarnDiag &w = session.window();
        session.Show();
        QCOMPARE(w.cbSerial->count(), 0);
        QVERIFY(ChoiceIs(w, QStringLiteral("ckUsb")));
    }
};

QTEST_MAIN(TestDeviceChoice)
#include "tst_devicechoice.moc"
