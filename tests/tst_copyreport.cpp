// Ctrl+C in the main window: the diagnosis report to the clipboard, the
// same lines as the command line prints, unless an edit box has a selection.
#include "qarnwindowtest.h"
#include "uDiagnosisReport.h"
#include "uQarnDiagCli.h"

#include <QApplication>
#include <QClipboard>
#include <QtTest>

using qarntest::StandIn;
using qarntest::WindowSession;

namespace {
const QString kCopied = QStringLiteral("Diagnosis report copied to the clipboard");
}

class TestCopyReport : public QObject {
    Q_OBJECT
private slots:
    void ctrlC_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("select");
        QTest::addColumn<bool>("report");
        QTest::newRow("button") << "btnOK" << false << true;
        QTest::newRow("edit box, nothing selected") << "eDllVersion" << false << true;
        QTest::newRow("edit box, text selected") << "eDllVersion" << true << false;
    }
    void ctrlC()
    {
        QFETCH(QString, focus);
        QFETCH(bool, select);
        QFETCH(bool, report);
        const auto session = qarntest::ConnectedSession(QByteArray("{}"));
        TfQarnDiag &w = session->window();
        auto *target = w.findChild<QWidget *>(focus);
        target->setFocus();
        if (select)
            w.eDllVersion->setSelection(0, 6);
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        w.sbStatus->showMessage(QStringLiteral("OK"));

        QTest::keyClick(target, Qt::Key_C, Qt::ControlModifier);

        const QString clipboard = QGuiApplication::clipboard()->text();
        if (!report) {
            QCOMPARE(clipboard, QStringLiteral("Norvan"));
            QCOMPARE(w.sbStatus->currentMessage(), QStringLiteral("OK"));
            return;
        }
        QCOMPARE(w.sbStatus->currentMessage(), kCopied);
        // The command line on the same reader prints the same lines for the
        // steps it ran.
        QString out;
        QTextStream stream(&out);
        QTextStream err(stderr);
        QCOMPARE(RunCommandLine({"QarnDiag", "--check"}, stream, err), 0);
        out += QStringLiteral("Benchmark : not run\nCard : not polled\n");
        QCOMPARE(clipboard, out.replace(QLatin1Char('\n'), ClipboardLineEnd()));
        // The status bar's message fits, and its tooltip tells the shortcut.
        QVERIFY(w.sbStatus->fontMetrics().horizontalAdvance(kCopied) < w.sbStatus->width() - 20);
        QVERIFY(w.sbStatus->toolTip().contains(QStringLiteral("Ctrl+C")));
    }

    // What each step left: before the start-up check, after a failed test,
    // and after a test, a benchmark and a poll.
    void content()
    {
        WindowSession session(QStringLiteral("default"),
                              R"({"open":{"answers_on":["USB"],"null_opens":false},
                                  "find_results":[{"status":0,"type":4,"uid":"E0040150"}]})");
        session.settings().SetMachineWide(QStringLiteral("USB"));
        TfQarnDiag &w = session.window();
        session.Show(false);
        const auto lines = [&w]() { return ReportText(w.Report(), QStringLiteral("\n")).split('\n'); };
        QVERIFY(lines().contains(QStringLiteral("Norvane library : not checked yet")));
        QVERIFY(lines().contains(QStringLiteral("Device choice stored : machine-wide (USB)")));
        session.RunStartupCheck();

        w.ckAuto->setChecked(true);
        w.btnTest->click();
        QVERIFY(lines().contains(QStringLiteral("Device choice : auto")));
        QVERIFY(lines().contains(QStringLiteral("Connection test : Failed")));
        QVERIFY(lines().contains(QStringLiteral(
            "Connection error : Reader not found on specified port. Please ensure your device is "
            "powered on, and plugged onto the right port. (status -1002)")));

        w.ckUsb->setChecked(true);
        w.btnTest->click();
        w.btnBench->setFocus();
        w.btnBench->click();
        // The button gets its focus back: no read-only box took it and
        // selected its text, which Ctrl+C would copy instead of the report.
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.btnBench));
        w.btnPolling->click();
        QTRY_VERIFY(!w.lbCard->text().isEmpty());
        const QStringList report = lines();
        QVERIFY(report.contains(QStringLiteral("Device information : ") + w.lbDeviceInfo->text()));
        QVERIFY(report.contains(QStringLiteral("Benchmark : OK")));
        QCOMPARE(report.filter(QRegularExpression("^Echo of (128|256|768) bytes : Passed, ")).size(), 3);
        QVERIFY(report.contains(QStringLiteral("Card : ISO/IEC 15693 : E0040150")));
    }
};

QTEST_MAIN(TestCopyReport)
#include "tst_copyreport.moc"
