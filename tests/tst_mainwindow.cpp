// The main window's start-up check, keyboard and closing, driven on the
// offscreen platform with the stand-in reader library.
#include "qarnwindowtest.h"

#include <QApplication>
#include <QMessageBox>
#include <QtTest>

using qarntest::StandIn;
using qarntest::WindowSession;

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startupWithLibrary()
    {
        WindowSession session;
        TfQarnDiag &w = session.window();
        QVERIFY(!w.btnOK->isEnabled());
        QVERIFY(!w.btnClose->isEnabled());
        session.Show();

        QVERIFY(w.eDllVersion->text().startsWith(QStringLiteral("Norvane API stand-in")));
        QVERIFY(w.eDllLocation->text().endsWith(QStringLiteral("/default/libnorvane.so")));
        QCOMPARE(w.sbStatus->currentMessage(), QString());
        QVERIFY(w.btnTest->isEnabled());
        QVERIFY(w.btnOK->isEnabled());
        QVERIFY(w.btnClose->isEnabled());
        QCOMPARE(QApplication::focusWidget(), w.btnOK);
        QVERIFY(session.boxes().boxes.isEmpty());
        QVERIFY(!QApplication::overrideCursor());
    }

    void startupFailures_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("no library")
            << QString() << QStringLiteral("ERROR : norvane.dll not found or can't be loaded. Please run the installation procedure again !")
            << QStringLiteral("norvane.dll is not available in program directory, nor in system default search path. Please copy norvane.dll in appropriate directory.");
        QTest::newRow("no version entry")
            << QStringLiteral("no_GetLibraryA")
            << QStringLiteral("ERROR : norvane.dll appears to be corrupted. Please run the installation procedure again !")
            << QStringLiteral("norvane.dll has been found, appears to be invalid or corrupted. Please replace norvane.dll with an up-to-date release.");
    }
    void startupFailures()
    {
        QFETCH(QString, variant);
        QFETCH(QString, status);
        QFETCH(QString, text);
        WindowSession session(variant);
        TfQarnDiag &w = session.window();
        session.Show();

        QCOMPARE(session.boxes().boxes.size(), 1);
        const auto box = session.boxes().boxes.first();
        QCOMPARE(box.caption, QStringLiteral("Norvane API not available"));
        QCOMPARE(box.text, text);
        QCOMPARE(box.icon, int(QMessageBox::NoIcon));
        QCOMPARE(w.sbStatus->currentMessage(), status);
        QCOMPARE(w.eDllVersion->text(), QString());
        QCOMPARE(w.eDllLocation->text(), QString());
        QVERIFY(!w.btnOK->isEnabled());
        QVERIFY(w.btnClose->isEnabled());
        QVERIFY(w.btnTest->isEnabled());
        QVERIFY(!QApplication::overrideCursor());
    }

    // A failing version query of the library itself is not reported: the
    // path shows, the version stays empty.
    void startupLibraryStatus()
    {
        WindowSession session(QStringLiteral("default"), R"({"status":{"NORV_GetLibraryA":-5}})");
        TfQarnDiag &w = session.window();
        session.Show();
        QVERIFY(session.boxes().boxes.isEmpty());
        QCOMPARE(w.eDllVersion->text(), QString());
        QVERIFY(!w.eDllLocation->text().isEmpty());
        QVERIFY(w.btnOK->isEnabled());
    }

    void escapeOnlyWithCancelEnabled()
    {
        WindowSession session(QStringLiteral("default"));
        TfQarnDiag &w = session.window();
        session.Show(false);
        QVERIFY(!w.btnClose->isEnabled());
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(w.isVisible());
        QVERIFY(!w.IsClosed());

        session.RunStartupCheck();
        StandIn::ClearLog();
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(w.IsClosed());
        QVERIFY(!w.isVisible());
        // Closing disconnects once.
        QCOMPARE(StandIn::CallLog(), (QStringList{"NORV_ControlRF(0)", "NORV_ReaderClose()"}));
    }

    // Enter activates the focused button (OK after the start-up check); in
    // the Other edit box it activates Cancel, the default button.
    void enterKey()
    {
        {
            WindowSession session;
            TfQarnDiag &w = session.window();
            session.Show();
            w.ckUsb->click();
            QCOMPARE(QApplication::focusWidget(), w.btnOK);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QVERIFY(w.IsClosed());
            QCOMPARE(session.settings().MachineWide().toString(), QStringLiteral("USB"));
        }
        {
            WindowSession session;
            TfQarnDiag &w = session.window();
            session.Show();
            w.ckOther->click();
            w.eOther->setFocus();
            QTest::keyClicks(w.eOther, QStringLiteral("TCP:10.0.0.9"));
            QTest::keyClick(w.eOther, Qt::Key_Return);
            QVERIFY(w.IsClosed());
            QVERIFY(!session.settings().MachineWide().isValid());
            QVERIFY(!session.settings().PerUser().isValid());
        }
    }

    void closeBoxRunsFormCloseOnce()
    {
        WindowSession session(QStringLiteral("default"));
        TfQarnDiag &w = session.window();
        session.Show();
        StandIn::ClearLog();
        w.close();
        w.close();
        QVERIFY(w.IsClosed());
        QCOMPARE(StandIn::CallLog(), (QStringList{"NORV_ControlRF(0)", "NORV_ReaderClose()"}));
        QVERIFY(w.FUsbNotification == nullptr);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
