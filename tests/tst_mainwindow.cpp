// The main window's start-up check, keyboard and closing, driven on the
// offscreen platform with the stand-in reader library.
#include "qarnwindowtest.h"
#include "uAppServices.h"
#include "uGroupBox.h"
#include "uResourcePicture.h"
#include "uInfoLabel.h"

#include <QApplication>
#include <QMessageBox>
#include <QProxyStyle>
#include <QScopeGuard>
#include <QTimer>
#include <QToolTip>
#include <QDir>
#include <QtTest>

using qarntest::StandIn;
using qarntest::WindowSession;

namespace {

// The text a control shows: caption, title or contents.
QString Caption(const QWidget *control)
{
    if (const auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    if (const auto *button = qobject_cast<const QAbstractButton *>(control))
        return button->text();
    if (const auto *group = qobject_cast<const QGroupBox *>(control))
        return group->title();
    if (const auto *edit = qobject_cast<const QLineEdit *>(control))
        return edit->text();
    if (const auto *list = qobject_cast<const QComboBox *>(control))
        return list->currentText();
    if (const auto *bar = qobject_cast<const QStatusBar *>(control))
        return bar->currentMessage();
    return control->isWindow() ? control->windowTitle() : QString();
}

// The window's controls that Tab reaches, in the order it reaches them.
QList<QWidget *> TabChain(QWidget *window)
{
    QList<QWidget *> chain;
    for (QWidget *next = window->nextInFocusChain(); next != window;
         next = next->nextInFocusChain()) {
        if ((next->focusPolicy() & Qt::TabFocus) &&
            !next->objectName().startsWith(QLatin1String("qt_")))
            chain << next;
    }
    return chain;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    // Every control as the window creates it: kind, parent, text, place,
    // enabled state and place in the Tab order.  Labels size themselves to
    // their text, so for them only the place is fixed and the text must fit.
    void layout_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("tab"); // -1: not a Tab stop
        const auto row = [](const char *name, const char *kind, const char *parent,
                            const QString &text, QRect geometry, bool enabled = true, int tab = -1) {
            QTest::newRow(name) << QString::fromLatin1(kind) << QString::fromLatin1(parent) << text
                                << geometry << enabled << tab;
        };
        const auto t = [](const char *text) { return QString::fromUtf8(text); };
        row("TfQarnDiag", "QDialog", "", t("Ardanel QarnDiag"), {0, 0, 794, 568});
        row("sbStatus", "QStatusBar", "TfQarnDiag", {}, {0, 549, 794, 19});
        row("pTop", "QFrame", "TfQarnDiag", {}, {0, 0, 794, 73});
        row("bsTop", "QFrame", "pTop", {}, {0, 64, 794, 9});
        row("lbTitle", "QLabel", "pTop", t("Qarn and Norvane API Diagnostic Utility"), {8, 8, 239, 13});
        row("lbSubTitle1", "QLabel", "pTop",
            t("This applet allows you to configure and check the communication between software "
              "using Norvane API and the Qarn (or compliant device)."),
            {24, 33, 399, 26});
        row("pBot", "QFrame", "TfQarnDiag", {}, {0, 504, 794, 45});
        row("bsBot", "QFrame", "pBot", {}, {0, 0, 794, 9});
        row("lbCopy", "QLabel", "pBot", t("Copyright © 2008 Ardanel"), {8, 27, 150, 13});
        row("lbWeb", "QLabel", "pBot", t("www.ardanel.example"), {173, 26, 83, 13});
        row("lbVersion", "QLabel", "pBot", t("QarnDiag v2.00 - 15/05/2008"), {8, 8, 140, 13});
        row("btnOK", "QPushButton", "pBot", t("OK"), {576, 14, 114, 25}, false, 0);
        row("btnClose", "QPushButton", "pBot", t("Cancel"), {702, 14, 75, 25}, false, 1);
        row("pLeft", "QFrame", "TfQarnDiag", {}, {0, 73, 233, 431});
        row("Image1", "QLabel", "pLeft", {}, {0, 0, 233, 431});
        row("pMain", "QFrame", "TfQarnDiag", {}, {233, 73, 561, 431});
        row("gbDllRelease", "QGroupBox", "pMain", t("Norvane API release info"), {6, 6, 547, 100}, false);
        row("lbDllLocation", "QLabel", "gbDllRelease", t("Location of norvane.dll :"), {8, 16, 123, 13}, false);
        row("eDllLocation", "QLineEdit", "gbDllRelease", {}, {8, 30, 529, 21}, false, 3);
        row("lbDllVersion", "QLabel", "gbDllRelease", t("Version :"), {8, 56, 41, 13}, false);
        row("eDllVersion", "QLineEdit", "gbDllRelease", {}, {8, 70, 529, 21}, false, 2);
        row("gbDevice", "QGroupBox", "pMain", t("Qarn device assignment"), {6, 112, 547, 135});
        row("btnTest", "QPushButton", "gbDevice", t("Test communication"), {416, 16, 120, 25}, true, 4);
        row("ckAuto", "QCheckBox", "gbDevice", t("Auto-detect"), {8, 20, 257, 17}, true, 5);
        row("ckUsb", "QCheckBox", "gbDevice", t("USB direct access (FTDI D2XX driver)"), {8, 39, 257, 17}, true, 6);
        row("ckSerial", "QCheckBox", "gbDevice", t("Serial communication port :"), {8, 66, 257, 17}, true, 7);
        row("cbSerial", "QComboBox", "gbDevice", {}, {8, 83, 155, 22}, true, 8);
        row("ckOther", "QCheckBox", "gbDevice", t("Other :"), {200, 66, 257, 17}, true, 9);
        row("eOther", "QLineEdit", "gbDevice", {}, {200, 83, 337, 21}, false, 10);
        row("btnDebug", "QPushButton", "gbDevice", t("Advanced"), {271, 16, 65, 25}, true, 11);
        row("btnBench", "QPushButton", "gbDevice", t("Benchmark"), {342, 16, 68, 25}, false, 12);
        row("lbDeviceInfo", "QLabel", "gbDevice", {}, {8, 111, 5, 13});
        row("gbReader", "QGroupBox", "pMain", t("Qarn device data"), {6, 255, 547, 99});
        row("lbQarnVersion", "QLabel", "gbReader", t("Product name and version :"), {8, 16, 130, 13});
        row("eQarnVersion", "QLineEdit", "gbReader", {}, {8, 30, 257, 21}, true, 13);
        row("lbQarnFeatures", "QLabel", "gbReader", t("Features :"), {271, 15, 47, 13});
        row("eQarnFeatures", "QLineEdit", "gbReader", {}, {271, 29, 65, 21}, true, 14);
        row("btnExplain", "QPushButton", "gbReader", t("Explain"), {342, 26, 67, 25}, false, 15);
        row("lbQarnChipsetHWID", "QLabel", "gbReader", t("Chipset info :"), {8, 53, 61, 13});
        row("eQarnChipsetHWID", "QLineEdit", "gbReader", {}, {8, 67, 81, 21}, true, 16);
        row("lbQarnChipsetSNR", "QLabel", "gbReader", t("Chipset ID :"), {95, 53, 55, 13});
        row("eQarnChipsetSNR", "QLineEdit", "gbReader", {}, {95, 67, 74, 21}, true, 17);
        row("gbAction", "QGroupBox", "pMain", t("Test Qarn with contactless cards"), {6, 360, 547, 65});
        row("lbCard", "QLabel", "gbAction", {}, {8, 24, 5, 13});
        row("btnPolling", "QPushButton", "gbAction", t("Contactless polling"), {407, 16, 129, 25}, false, 18);
    }
    void layout()
    {
        QFETCH(QString, kind);
        QFETCH(QString, parent);
        QFETCH(QString, text);
        QFETCH(QRect, geometry);
        QFETCH(bool, enabled);
        QFETCH(int, tab);

        WindowSession session;
        TfQarnDiag &w = session.window();
        const QString name = QString::fromLatin1(QTest::currentDataTag());
        QWidget *control = name == w.objectName() ? &w : w.findChild<QWidget *>(name);
        QVERIFY(control);
        QVERIFY2(control->inherits(kind.toLatin1().constData()), control->metaObject()->className());
        QCOMPARE(control->parentWidget() ? control->parentWidget()->objectName() : QString(), parent);
        QCOMPARE(Caption(control), text);
        QCOMPARE(control->isEnabled(), enabled);
        QCOMPARE(TabChain(&w).indexOf(control), tab);
        QCOMPARE(TabChain(&w).size(), 19);

        const auto *label = qobject_cast<QLabel *>(control);
        if (control->isWindow()) {
            QCOMPARE(control->rect(), geometry);
            QCOMPARE(control->minimumSize(), control->maximumSize());
        } else if (label && label->pixmap().isNull() && !label->wordWrap()) {
            QCOMPARE(control->pos(), geometry.topLeft());
            QVERIFY(control->width() >= label->sizeHint().width());
            QVERIFY(control->height() >= label->sizeHint().height());
        } else {
            QCOMPARE(control->geometry(), geometry);
            if (label)
                QVERIFY(label->heightForWidth(label->width()) <= label->height());
        }
    }

    // Each group's caption sits on the frame's top line, inside the group:
    // the line is left out under it and runs on either side, and the
    // controls start below it.  In both windows.
    void groupCaptions()
    {
        WindowSession session;
        const QList<TGroupBox *> groups = session.window().findChildren<TGroupBox *>();
        QCOMPARE(groups.size(), 6); // with the advanced dialog's two
        for (const TGroupBox *group : groups) {
            const QRect caption = group->CaptionRect();
            QVERIFY2(group->rect().contains(caption), qPrintable(group->objectName()));
            QVERIFY(caption.width() >= group->fontMetrics().horizontalAdvance(group->title()));
            const QImage picture =
                group->window()->grab({group->mapTo(group->window(), QPoint()), group->size()}).toImage();
            const QRgb line = group->palette().color(QPalette::Mid).rgb();
            int top = 0;
            while (top < caption.bottom() && picture.pixel(group->width() / 2, top) != line)
                ++top;
            QVERIFY2(top > caption.top() && top < caption.bottom(), qPrintable(group->objectName()));
            QCOMPARE(picture.pixel(caption.left() - 1, top), line);
            QCOMPARE(picture.pixel(caption.right() + 1, top), line);
            QVERIFY(picture.pixel(caption.left() + 1, top) != line);
            QVERIFY(picture.pixel(caption.right() - 1, top) != line);
            for (const QWidget *control : group->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
                QVERIFY2(control->y() > caption.bottom(), qPrintable(control->objectName()));
        }
    }

    // The pictures stored as Netpbm files read as an image reader reads them;
    // a header or pixel data that does not hold gives no picture, so that
    // the window falls back to the image readers.
    void netpbmPictures_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size"); // 0 x 0: no picture
        const QByteArray rgb("\x10\x20\x30\x40\x50\x60", 6);
        const QByteArray pam("P7\nWIDTH 1\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n");
        QTest::newRow("PPM") << "P6\n2 1\n255\n" + rgb << QSize(2, 1);
        QTest::newRow("PAM") << pam + QByteArray("\x10\x20\x30\x00", 4) << QSize(1, 1);
        QTest::newRow("PPM pixels short") << "P6\n2 1\n255\n" + rgb.left(5) << QSize(0, 0);
        QTest::newRow("PAM pixels short") << pam + "\x10\x20\x30" << QSize(0, 0);
        QTest::newRow("16-bit") << "P6 2 1 65535\n" + rgb + rgb << QSize(0, 0);
        QTest::newRow("comment") << "P6\n# drawn\n2 1\n255\n" + rgb << QSize(0, 0);
        QTest::newRow("no width") << "P6\n0 1\n255\n" + rgb << QSize(0, 0);
        QTest::newRow("width past any size") << "P6 99999999999999999999 1 255\n" + rgb << QSize(0, 0);
        QTest::newRow("header cut") << QByteArray("P6\n2 1\n255") << QSize(0, 0);
        QTest::newRow("grey PGM") << "P5\n2 1\n255\n" + rgb << QSize(0, 0);
        QTest::newRow("PAM grey") << QByteArray(pam).replace("DEPTH 4", "DEPTH 2") + rgb << QSize(0, 0);
        QTest::newRow("PAM RGB says alpha") << QByteArray(pam).replace("DEPTH 4", "DEPTH 3") + rgb << QSize(0, 0);
        QTest::newRow("PAM unknown key") << QByteArray(pam).replace("MAXVAL", "MAXIMUM") + rgb << QSize(0, 0);
        QTest::newRow("PAM no end") << QByteArray(pam).replace("ENDHDR\n", "") + rgb << QSize(0, 0);
    }
    void netpbmPictures()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        const QImage image =
            NetpbmImage(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size());
        QCOMPARE(image.size(), size);
        if (!image.isNull())
            QCOMPARE(image.pixel(0, 0), image.hasAlphaChannel() ? qRgba(0x10, 0x20, 0x30, 0) : qRgb(0x10, 0x20, 0x30));
        if (image.width() == 2)
            QCOMPARE(image.pixel(1, 0), qRgb(0x40, 0x50, 0x60));
    }
    void resourcePictures()
    {
        const QString side = QStringLiteral(":/images/side.ppm");
        QCOMPARE(ResourcePicture(side).toImage().convertToFormat(QImage::Format_RGB32),
                 QImage(side).convertToFormat(QImage::Format_RGB32));
        for (const QString &name : {QStringLiteral("images/port-serial"), QStringLiteral("images/port-usb"),
                                   QStringLiteral("icons/qarndiag-16")}) {
            const QImage icon = ResourcePicture(QStringLiteral(":/%1.pam").arg(name)).toImage();
            QCOMPARE(icon.size(), QSize(16, 16));
            QVERIFY2(icon.hasAlphaChannel() && qAlpha(icon.pixel(0, 0)) == 0, qPrintable(name));
        }
    }

    // The two result labels keep their places inside their groups.  The
    // card line has room for two lines, and every message of the binding
    // fits it whole; the connection line has one.  What does not fit ends in
    // an ellipsis, and its tooltip holds the whole text.
    void longTexts_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("status"); // the text: the message for this status
        QTest::addColumn<QString>("text"); // or this one
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("cut");
        const QString card = QStringLiteral("lbCard");
        const QString info = QStringLiteral("lbDeviceInfo");
        QTest::newRow("no card") << card << 0 << QStringLiteral("No card on the reader") << 1 << false;
        for (const auto &[status, lines] : {std::pair<int, int>{QARN_LIBRARY_NOT_LOADED, 2},
                                            {QARN_ENTRY_POINT_MISSING, 2},
                                            {QARN_READER_NOT_FOUND_ON_PORT, 2},
                                            {QARN_READER_NOT_FOUND, 2}, {-32768, 1}})
            QTest::addRow("card line, message for %d", status)
                << card << status << QString() << lines << false;
        QTest::newRow("card line, longer than two lines")
            << card << 0 << QStringLiteral("The reader reports: ").repeated(20) << 2 << true;
        QTest::newRow("connection line")
            << info << 0
            << QStringLiteral("Connected on COM3 - RS485 (115200bps), Binary/Bus (HW ctrl ON)") << 1
            << false;
        QTest::newRow("connection line, long device text")
            << info << 0
            << QStringLiteral("Connected on %1 - USB (38400bps), ASCII")
                   .arg(QStringLiteral("USB serial adapter ").repeated(13))
            << 1 << true;
    }
    void longTexts()
    {
        QFETCH(QString, label);
        QFETCH(int, status);
        QFETCH(QString, text);
        QFETCH(int, lines);
        QFETCH(bool, cut);
        WindowSession session;
        TfQarnDiag &w = session.window();
        session.Show(false);
        auto *info = w.findChild<TInfoLabel *>(label);
        QVERIFY(info);
        if (status != 0)
            text = StatusMessage(TQarnStatus(status));
        info->setText(text);

        QCOMPARE(info->text(), text);
        const QStringList shown = info->VisibleLines();
        QCOMPARE(shown.size(), lines);
        QCOMPARE(info->IsCut(), cut);
        // The connection line is cut in the middle: its link part stays.
        if (cut)
            QVERIFY(label == QStringLiteral("lbCard")
                        ? shown.last().endsWith(QChar(0x2026))
                        : shown.last().contains(QChar(0x2026)) && shown.last().endsWith(text.right(24)));
        else
            QCOMPARE(shown.join(QLatin1Char(' ')), text.simplified());
        const QWidget *group = info->parentWidget();
        QVERIFY(group->contentsRect().contains(info->geometry()));
        for (const QWidget *other : group->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            QVERIFY2(other == info || !other->geometry().intersects(info->geometry()),
                     qPrintable(other->objectName()));

        QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), info->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(info, &hover);
        QCOMPARE(QToolTip::text(), cut ? text : QString());
        QToolTip::hideText();
    }

    // A message box as the user sees it: the windows' face on its text and
    // its one OK button, which carries no stock icon; the text stays plain.
    void messageBoxLook()
    {
        // A style whose dialog buttons carry stock icons, as on most desktops
        // (the offscreen platform has none).
        struct TIconButtons : QProxyStyle {
            using QProxyStyle::QProxyStyle;
            int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                          QStyleHintReturn *data) const override
            {
                return hint == SH_DialogButtonBox_ButtonsHaveIcons
                           ? 1
                           : QProxyStyle::styleHint(hint, option, widget, data);
            }
        };
        const QString styleName = QApplication::style()->name();
        QApplication::setStyle(new TIconButtons(styleName));
        const auto styleBack = qScopeGuard([&]() { QApplication::setStyle(styleName); });

        WindowSession session;
        TfQarnDiag &w = session.window();
        session.Show(false);
        SetMessageBoxHook(nullptr); // shown for real, closed by the timer below
        QStringList faces;
        int buttons = 0;
        bool iconless = false;
        bool plain = false;
        QTimer::singleShot(0, &w, [&]() {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QAbstractButton *ok = box ? box->button(QMessageBox::Ok) : nullptr;
            if (!ok)
                return;
            buttons = int(box->buttons().size());
            iconless = ok->icon().isNull();
            plain = box->textFormat() == Qt::PlainText;
            for (const QWidget *part : {box->findChild<QWidget *>(QStringLiteral("qt_msgbox_label")),
                                        static_cast<QWidget *>(ok)}) {
                if (part)
                    faces << QStringLiteral("%1 %2").arg(part->font().family(),
                                                         QString::number(part->font().pixelSize()));
            }
            ok->click();
        });
        ShowMessageBox(&w, QStringLiteral("Benchmark results"), QStringLiteral("<b>128</b> bytes"));
        QCOMPARE(buttons, 1);
        QVERIFY(iconless);
        QVERIFY(plain);
        const QString face = QStringLiteral("%1 11").arg(WindowFace().family());
        QCOMPARE(faces, (QStringList{face, face}));
    }

    void startupWithLibrary()
    {
        WindowSession session;
        TfQarnDiag &w = session.window();
        QVERIFY(!w.btnOK->isEnabled());
        QVERIFY(!w.btnClose->isEnabled());
        session.Show();

        QVERIFY(w.eDllVersion->text().startsWith(QStringLiteral("Norvane API stand-in")));
        QVERIFY(w.eDllLocation->text().endsWith(QDir::toNativeSeparators(QStringLiteral("/default/")) +
                                                QLatin1String(qarntest::kReaderLibraryFile)));
        QCOMPARE(w.sbStatus->currentMessage(), QString());
        QVERIFY(w.btnTest->isEnabled());
        QVERIFY(w.btnOK->isEnabled());
        QVERIFY(w.btnClose->isEnabled());
        QCOMPARE(QApplication::focusWidget(), w.btnOK);
        QVERIFY(session.boxes().boxes.isEmpty());
        QVERIFY(!QApplication::overrideCursor());

        // The check runs once: a second half second passes without another.
        QTest::qWait(700);
        QCOMPARE(StandIn::CallLog().filter(QStringLiteral("NORV_GetLibraryA")).size(), 1);
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
            << QStringLiteral("norvane.dll has been found, appears to be invalid or corrupted. Please replace norvane.dll with an up-to-date release.\n\n"
                              "Missing entry points: NORV_GetLibraryA");
        // The seed's text stays; a paragraph tells of the copy found but refused.
        QTest::newRow("copy found but refused")
            << QStringLiteral("corrupt") << QStringLiteral("ERROR : norvane.dll not found or can't be loaded. Please run the installation procedure again !")
            << QStringLiteral("norvane.dll is not available in program directory, nor in system default search path. Please copy norvane.dll in appropriate directory.\n\n") +
                   qarntest::StandInFile(QStringLiteral("corrupt")) +
                   QStringLiteral(" was found but could not be loaded: ") + QLatin1String(qarntest::kCorruptLibraryReason);
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
