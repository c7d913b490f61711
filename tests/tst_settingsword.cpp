// The advanced communication settings dialog, the settings word it asks for
// and the decoding of the word the reader reports.
#include "qarnwindowtest.h"

#include "uDeviceSettings.h"

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using qarntest::StandIn;
using qarntest::WindowSession;

namespace {

// A click on the item's caption (a radio button takes clicks on its circle
// and caption only, not on the empty rest of its width).
void Pick(QRadioButton *item)
{
    QTest::mouseClick(item, Qt::LeftButton, Qt::NoModifier, QPoint(20, item->height() / 2));
}

QList<QRadioButton *> ProtocolItems(TfQarnCommMore &d)
{
    return {d.rgCommProtocolItem0, d.rgCommProtocolItem1, d.rgCommProtocolItem2,
            d.rgCommProtocolItem3};
}

QList<QRadioButton *> SpeedItems(TfQarnCommMore &d)
{
    return {d.rgCommSpeedItem0, d.rgCommSpeedItem1, d.rgCommSpeedItem2};
}

// The decoded word as one text, "<link> (<speed>), <protocol>[ (HW ctrl ON)]".
QString Decoded(uint32_t word)
{
    const TDecodedSettings d = DecodeDeviceSettings(word);
    return d.link + QStringLiteral(" (") + d.speed + QStringLiteral("), ") + d.protocol +
           (d.hardwareControl ? QStringLiteral(" (HW ctrl ON)") : QString());
}

// Whether the text of a control fits the room the control gives it.
bool TextFits(const QWidget *control, const QString &text, int room)
{
    const int needed = control->fontMetrics().horizontalAdvance(text);
    if (needed > room) {
        qWarning("%s: \"%s\" needs %d pixels, has %d", qPrintable(control->objectName()),
                 qPrintable(text), needed, room);
        return false;
    }
    return true;
}

} // namespace

class TestSettingsWord : public QObject {
    Q_OBJECT
private slots:
    // All twelve requests, chosen with the dialog's radio buttons.
    void requests_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<int>("speed");
        QTest::addColumn<uint>("word");
        const uint words[4][3] = {
            {0x00, 0x10, 0x18}, {0x04, 0x14, 0x1C}, {0x06, 0x16, 0x1E}, {0x05, 0x15, 0x1D}};
        for (int p = 0; p < 4; ++p) {
            for (int s = 0; s < 3; ++s)
                QTest::addRow("protocol %d speed %d", p, s) << p << s << words[p][s];
        }
    }
    void requests()
    {
        QFETCH(int, protocol);
        QFETCH(int, speed);
        QFETCH(uint, word);

        WindowSession session;
        TfQarnCommMore &d = session.commMore();
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        // Away from the item first, so that every row really changes both.
        Pick(ProtocolItems(d)[(protocol + 1) % 4]);
        Pick(SpeedItems(d)[(speed + 1) % 3]);
        Pick(ProtocolItems(d)[protocol]);
        Pick(SpeedItems(d)[speed]);
        QCOMPARE(d.CommProtocolIndex(), protocol);
        QCOMPARE(d.CommSpeedIndex(), speed);
        QCOMPARE(RequestedDeviceSettings(d.CommProtocolIndex(), d.CommSpeedIndex()), uint32_t(word));
        d.btnOK->click();
        QVERIFY(!d.isVisible());
        QCOMPARE(d.CommProtocolIndex(), protocol);
        QCOMPARE(d.CommSpeedIndex(), speed);
    }

    void requestOutsideTheItems()
    {
        QCOMPARE(RequestedDeviceSettings(-1, -1), 0u);
        QCOMPARE(RequestedDeviceSettings(4, 3), 0u);
        QCOMPARE(RequestedDeviceSettings(3, 7), 0x05u);
        QCOMPARE(RequestedDeviceSettings(-1, 2), 0x18u);
    }

    // The connection test asks the reader for the chosen word and shows what
    // the reader reports (this scenario reports the word asked for).
    void connectionUsesTheChoice()
    {
        WindowSession session;
        session.settings().SetPerUser(QStringLiteral("COM3"));
        TfQarnDiag &w = session.window();
        session.Show();
        TfQarnCommMore &d = session.commMore();
        d.SetCommProtocolIndex(3);
        d.SetCommSpeedIndex(2);
        StandIn::ClearLog();
        w.btnTest->click();
        QVERIFY(session.boxes().boxes.isEmpty());
        QVERIFY(StandIn::CallLog().contains(QStringLiteral("NORV_ReaderSetDeviceSettings(0x0000001D)")));
        QCOMPARE(w.lbDeviceInfo->text(),
                 QStringLiteral("Connected on COM3 - RS232 (115200bps), ASCII (HW ctrl ON)"));
    }

    void decode_data()
    {
        QTest::addColumn<uint>("word");
        QTest::addColumn<QString>("text");
        QTest::newRow("0x00") << 0x00u << "RS232 (38400bps), OSI 3964";
        QTest::newRow("0x2D") << 0x2Du << "RS485 (115200bps), ASCII (HW ctrl ON)";
        QTest::newRow("0x6B") << 0x6Bu << "TCP (115200bps), Binary/Bus";
        QTest::newRow("0x4D USB") << 0x4Du << "USB (115200bps), ASCII (HW ctrl ON)";
        QTest::newRow("0x42") << 0x42u << "USB (38400bps), Binary";
        QTest::newRow("0x04") << 0x04u << "RS232 (38400bps), OSI 3964 (HW ctrl ON)";
        QTest::newRow("0x27") << 0x27u << "RS485 (38400bps), Binary/Bus (HW ctrl ON)";
    }
    void decode()
    {
        QFETCH(uint, word);
        QFETCH(QString, text);
        QCOMPARE(Decoded(word), text);
        QCOMPARE(DeviceInformationLine(QStringLiteral("USB"), word),
                 QStringLiteral("Connected on USB - ") + text);
        QCOMPARE(DeviceInformationLine(QString(), word), QStringLiteral("Connected on  - ") + text);
    }

    // Bit 4 and bits 7 to 31 change nothing.
    void decodeIgnoresOtherBits()
    {
        for (uint32_t x = 0; x < 0x80; ++x) {
            const QString plain = Decoded(x & 0x6F);
            for (uint32_t noise : {0x10u, 0x80u, 0xFFFFFF90u, 0x80000000u, 0x12345690u}) {
                QVERIFY2(Decoded(x | noise) == plain,
                         qPrintable(QStringLiteral("0x%1").arg(x | noise, 8, 16, QLatin1Char('0'))));
            }
        }
    }

    // The dialog as it is created: texts, size, first items selected, one
    // default button and no Cancel.
    void dialogAtCreation()
    {
        WindowSession session;
        TfQarnCommMore &d = session.commMore();
        QCOMPARE(d.windowTitle(), QStringLiteral("Ardanel Qarn Diagnostic Tool"));
        QCOMPARE(d.size(), QSize(372, 300));
        QCOMPARE(d.minimumSize(), QSize(372, 300));
        QCOMPARE(d.maximumSize(), QSize(372, 300));
        QCOMPARE(d.lbTitle->text(), QStringLiteral("Advanced communication settings"));
        QVERIFY(d.lbTitle->font().bold());
        QCOMPARE(d.lbSubTitle->text(),
                 QStringLiteral("You can modify the communication protocol and speed. Those "
                                "parameters are used only in this application, for debugging "
                                "purpose."));
        QCOMPARE(d.rgCommProtocol->title(), QStringLiteral("Communication protocol"));
        QCOMPARE(d.rgCommSpeed->title(), QStringLiteral("Communication speed"));
        QStringList texts;
        for (QRadioButton *item : ProtocolItems(d))
            texts << item->text();
        QCOMPARE(texts, (QStringList{"Best match (default)", "Force OSI 3964", "Force Fast",
                                     "Force Ascii"}));
        texts.clear();
        for (QRadioButton *item : SpeedItems(d))
            texts << item->text();
        QCOMPARE(texts, (QStringList{"Best match (default)", "Force 38400bps", "Force 115200bps"}));
        QCOMPARE(d.CommProtocolIndex(), 0);
        QCOMPARE(d.CommSpeedIndex(), 0);
        QVERIFY(d.rgCommProtocolItem0->isChecked());
        QVERIFY(d.rgCommSpeedItem0->isChecked());

        const QList<QPushButton *> buttons = d.findChildren<QPushButton *>();
        QCOMPARE(buttons.size(), 1);
        QCOMPARE(d.btnOK->text(), QStringLiteral("OK"));
        QVERIFY(d.btnOK->isDefault());
        QVERIFY(!d.isVisible());
    }

    // Every text fits its control, drawn offscreen as the user sees it.
    void dialogTextsFit()
    {
        WindowSession session;
        TfQarnCommMore &d = session.commMore();
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        const QImage picture = d.grab().toImage();
        QCOMPARE(picture.size(), QSize(372, 300));

        // The dialog's face reaches every control, the main window's style
        // sheet notwithstanding.
        for (const QWidget *control : d.findChildren<QWidget *>()) {
            QVERIFY2(control->font().pixelSize() == 11 &&
                         control->font().family() == d.font().family(),
                     qPrintable(control->objectName() + QLatin1Char(' ') +
                                control->font().toString()));
        }
        QVERIFY(d.lbTitle->font().bold());
        QVERIFY(!d.lbSubTitle->font().bold());

        const QList<QRadioButton *> items = ProtocolItems(d) + SpeedItems(d);
        for (QRadioButton *item : items) {
            QVERIFY(item->sizeHint().width() <= item->width());
            QVERIFY2(item->fontMetrics().height() <= item->height(),
                     qPrintable(item->objectName()));
            // Inside its group, below the group's title.
            const QRect inGroup = item->geometry();
            const QWidget *group = item->parentWidget();
            QVERIFY(group->rect().contains(inGroup));
            QVERIFY2(inGroup.top() >= group->fontMetrics().height(),
                     qPrintable(item->objectName()));
        }
        for (QGroupBox *group : {d.rgCommProtocol, d.rgCommSpeed}) {
            QVERIFY(TextFits(group, group->title(), group->width() - 16));
            QVERIFY(d.pMain->rect().contains(group->geometry()));
        }
        QVERIFY(d.lbTitle->sizeHint().width() <= d.lbTitle->width());
        QVERIFY(d.lbTitle->sizeHint().height() <= d.lbTitle->height());
        QVERIFY(d.pTop->rect().contains(d.lbTitle->geometry()));
        QVERIFY2(d.lbSubTitle->heightForWidth(d.lbSubTitle->width()) <= d.lbSubTitle->height(),
                 qPrintable(QString::number(d.lbSubTitle->heightForWidth(d.lbSubTitle->width()))));
        QVERIFY(d.pTop->rect().contains(d.lbSubTitle->geometry()));
        QVERIFY(TextFits(d.btnOK, d.btnOK->text(), d.btnOK->width() - 8));
        QVERIFY(d.pBottom->rect().contains(d.btnOK->geometry()));
        d.close();
    }

    // Esc leaves the dialog open; the close box and OK close it and keep
    // the choice.
    void dialogClosing()
    {
        WindowSession session;
        TfQarnCommMore &d = session.commMore();
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        Pick(d.rgCommProtocolItem2);
        Pick(d.rgCommSpeedItem1);
        QTest::keyClick(&d, Qt::Key_Escape);
        QVERIFY(d.isVisible());
        QTest::keyClick(d.rgCommProtocolItem2, Qt::Key_Escape);
        QVERIFY(d.isVisible());

        d.close();
        QVERIFY(!d.isVisible());
        QCOMPARE(d.CommProtocolIndex(), 2);
        QCOMPARE(d.CommSpeedIndex(), 1);

        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QCOMPARE(d.CommProtocolIndex(), 2);
        Pick(d.rgCommProtocolItem3);
        d.btnOK->click();
        QVERIFY(!d.isVisible());
        QCOMPARE(d.CommProtocolIndex(), 3);
        QCOMPARE(d.CommSpeedIndex(), 1);

        // Enter presses the default button.
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QTest::keyClick(&d, Qt::Key_Return);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.CommProtocolIndex(), 3);
    }

    // "Advanced" shows the dialog modally, centred on the main window; Esc
    // does not end it, the close box does.
    void shownModallyFromMainWindow()
    {
        WindowSession session;
        TfQarnDiag &w = session.window();
        session.Show();
        TfQarnCommMore &d = session.commMore();

        bool checked = false;
        QTimer::singleShot(0, &d, [&]() {
            checked = true;
            QVERIFY(d.isVisible());
            QVERIFY(d.isModal());
            QCOMPARE(QApplication::activeModalWidget(), &d);
            const QPoint offset = d.geometry().center() - w.geometry().center();
            // Within the frame's margins.
            QVERIFY2(qAbs(offset.x()) <= 4 && qAbs(offset.y()) <= 4,
                     qPrintable(QStringLiteral("off by %1,%2").arg(offset.x()).arg(offset.y())));
            QTest::keyClick(&d, Qt::Key_Escape);
            QVERIFY(d.isVisible());
            Pick(d.rgCommSpeedItem2);
            d.close();
        });
        QTimer::singleShot(5000, &d, [&]() { d.done(QDialog::Rejected); });
        QTest::mouseClick(w.btnDebug, Qt::LeftButton);
        QVERIFY(checked);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.CommSpeedIndex(), 2);
        QVERIFY(w.isVisible());
        QVERIFY(session.boxes().boxes.isEmpty());
    }
};

QTEST_MAIN(TestSettingsWord)
#include "tst_settingsword.moc"
