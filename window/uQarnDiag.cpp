// The main window: layout, start-up check, closing, web label, keyboard.
#include "uQarnDiag.h"

#include "uAppServices.h"
#include "uProgramIcon.h"
#include "uQarnDyn.h"
#include "uResourcePicture.h"
#include "uUsbNotification.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QScopeGuard>
#include <QScreen>
#include <QShowEvent>

TfQarnDiag *fQarnDiag = nullptr;

const char *const kMakerWebAddress = "https://www.ardanel.example/";

int Tag(const QWidget *control) { return control->property("Tag").toInt(); }

void SetTag(QWidget *control, int value) { control->setProperty("Tag", value); }

TfQarnDiag::TfQarnDiag(QWidget *parent) : QDialog(parent)
{
    setupUi(this);
    SetupLook();

    tmrFirst = new QTimer(this);
    tmrFirst->setInterval(500);
    tmrFirst->setSingleShot(false); // stopped by its own handler
    tmrPolling = new QTimer(this);
    tmrPolling->setInterval(500);

    SetTag(gbDevice, 0);
    SetTag(btnTest, 0);
    SetTag(btnPolling, 0);

    ConnectHandlers();
    // What a handler of this window or of the USB watcher throws shows in a
    // message box.
    SetErrorReport(&ShowHandlerError);
    tmrPolling->start();
}

TfQarnDiag::~TfQarnDiag()
{
    if (fQarnDiag == this)
        fQarnDiag = nullptr;
}

void TfQarnDiag::SetupLook()
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(794, 568);
    setSizeGripEnabled(false);
    // Placed in the centre of the screen when it opens.
    if (const QScreen *display = QGuiApplication::primaryScreen())
        move(display->availableGeometry().center() - rect().center());

    setFont(WindowFace());

    Image1->setPixmap(ResourcePicture(QStringLiteral(":/images/side.ppm")));

    for (QFrame *band : {pTop, pBot}) {
        QPalette bandPalette = band->palette();
        bandPalette.setColor(QPalette::Window, QColor(0xF0, 0xF0, 0xF0));
        band->setPalette(bandPalette);
        band->setAutoFillBackground(true);
    }

    const QColor grey = palette().color(QPalette::Disabled, QPalette::WindowText);
    for (QLabel *caption : {lbDllLocation, lbDllVersion, lbQarnVersion, lbQarnFeatures,
                            lbQarnChipsetHWID, lbQarnChipsetSNR}) {
        QPalette captionPalette = caption->palette();
        captionPalette.setColor(QPalette::WindowText, grey);
        caption->setPalette(captionPalette);
    }
    const QColor highlight = palette().color(QPalette::Highlight);
    for (QLabel *info : {lbDeviceInfo, lbCard}) {
        QPalette infoPalette = info->palette();
        infoPalette.setColor(QPalette::WindowText, highlight);
        info->setPalette(infoPalette);
    }

    QFont webFont = lbWeb->font();
    webFont.setUnderline(true);
    lbWeb->setFont(webFont);
    QPalette webPalette = lbWeb->palette();
    webPalette.setColor(QPalette::WindowText, palette().color(QPalette::Link));
    lbWeb->setPalette(webPalette);
    lbWeb->setCursor(Qt::PointingHandCursor);
    lbWeb->installEventFilter(this);
    // Ctrl+C in an edit box without a selection copies the report.
    for (QLineEdit *edit : findChildren<QLineEdit *>())
        edit->installEventFilter(this);
    sbStatus->setToolTip(QStringLiteral("Ctrl+C copies the diagnosis report to the clipboard"));

    // Labels size themselves to their text.  The two result labels span
    // their group instead: the connection line has room for one line, the
    // card line for two, beside the polling button; what does not fit ends
    // in an ellipsis and shows whole in the tooltip.
    for (QLabel *text : findChildren<QLabel *>()) {
        if (text != Image1 && text != lbSubTitle1)
            text->adjustSize();
    }
    const int lineHeight = QFontMetrics(lbCard->font()).lineSpacing();
    lbDeviceInfo->setGeometry(8, 111, 531, 15);
    // A long reader name is cut in the middle, so the link part stays.
    lbDeviceInfo->SetElideMode(Qt::ElideMiddle);
    lbCard->setGeometry(8, 24, 390, 2 * lineHeight + 2);
    lbCard->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    CommImages[0] = QIcon(ResourcePicture(QStringLiteral(":/images/port-serial.pam")));
    CommImages[1] = QIcon(ResourcePicture(QStringLiteral(":/images/port-usb.pam")));
    setWindowIcon(ProgramIcon({16, 32, 48}));
}

// The hex boxes are narrow: a condensed face of the same size, narrowed
// further where this system's is still too wide, keeps the widest values
// (five bytes, eight digits) inside them.  Chosen when the first values are
// shown: the boxes are empty until then, and measuring the face loads it.
void TfQarnDiag::FitHexBoxFaces()
{
    if (FHexBoxFacesFitted)
        return;
    FHexBoxFacesFitted = true;
    const QFont condensed = CondensedFace();
    const QFontMetrics metrics(condensed);
    QChar widest = QLatin1Char('0');
    for (const QChar digit : QStringLiteral("123456789ABCDEF"))
        if (metrics.horizontalAdvance(digit) > metrics.horizontalAdvance(widest))
            widest = digit;
    const QString eightDigits(8, widest);
    const QString fiveBytes = QStringList(5, QString(2, widest)).join(QLatin1Char(' '));
    eQarnFeatures->setFont(FaceFitting(condensed, eightDigits, eQarnFeatures));
    eQarnChipsetSNR->setFont(FaceFitting(condensed, eightDigits, eQarnChipsetSNR));
    eQarnChipsetHWID->setFont(FaceFitting(condensed, fiveBytes, eQarnChipsetHWID));
}

void TfQarnDiag::ConnectHandlers()
{
    // Every handler runs inside the error guard: what it throws is shown and
    // goes no further.
    const auto guarded = [this](void (TfQarnDiag::*handler)()) {
        return [this, handler]() { RunGuarded(this, [this, handler]() { (this->*handler)(); }); };
    };
    connect(tmrFirst, &QTimer::timeout, this, guarded(&TfQarnDiag::tmrFirstTimer));
    connect(tmrPolling, &QTimer::timeout, this, guarded(&TfQarnDiag::tmrPollingTimer));
    connect(btnTest, &QPushButton::clicked, this, guarded(&TfQarnDiag::btnTestClick));
    connect(btnOK, &QPushButton::clicked, this, guarded(&TfQarnDiag::btnOKClick));
    connect(btnClose, &QPushButton::clicked, this, guarded(&TfQarnDiag::btnCloseClick));
    connect(btnExplain, &QPushButton::clicked, this, guarded(&TfQarnDiag::btnExplainClick));
    connect(btnBench, &QPushButton::clicked, this, guarded(&TfQarnDiag::btnBenchClick));
    connect(btnDebug, &QPushButton::clicked, this, guarded(&TfQarnDiag::btnDebugClick));
    connect(btnPolling, &QPushButton::clicked, this, guarded(&TfQarnDiag::btnPollingClick));

    // toggled fires on every change of the ticked state, by the user or by
    // code, and not when the state is set to what it already is.
    for (QCheckBox *box : {ckAuto, ckUsb, ckSerial, ckOther}) {
        connect(box, &QCheckBox::toggled, this,
                [this, box]() { RunGuarded(this, [this, box]() { ckAutoClick(box); }); });
    }
}

// The window is white.  Only its background: the controls keep the system's
// colours, from which the style draws their frames and texts.
void TfQarnDiag::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), palette().color(QPalette::Base));
}

void TfQarnDiag::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (FShown || event->spontaneous())
        return;
    FShown = true;
    RunGuarded(this, [this]() { FormShow(); });
}

void TfQarnDiag::FormShow()
{
    ProcessPendingEvents();
    qCDebug(lcStartup) << "window shown";
    LoadFromReg();
    LoadCommList();
    MapDeviceName();
    tmrFirst->start();

    FUsbNotification = new TUsbNotification(this);
    FUsbNotification->OnUSBArrival = [this](QObject *sender) { UsbNotification(sender); };
    FUsbNotification->OnUSBRemove = [this](QObject *sender) { UsbNotification(sender); };
}

void TfQarnDiag::tmrFirstTimer()
{
    tmrFirst->stop();
    sbStatus->showMessage(QStringLiteral("Please wait, looking for Norvane library..."));
    ProcessPendingEvents();
    TLibraryCheck check;
    {
        const TBusyCursor busy;
        check = CheckLibrary();
    }
    FResults.library = check;

    // Cancel is enabled last, whatever happens before.
    const auto enableCancelLast = qScopeGuard([this]() { btnClose->setEnabled(true); });

    if (!check.Available()) {
        sbStatus->showMessage(StatusMessage(check.status));
        qCDebug(lcStartup) << "startup check done" << check.status;
        ShowMessageBox(this, QStringLiteral("Norvane API not available"), check.StartupBoxText());
    } else {
        eDllVersion->setText(check.version);
        eDllLocation->setText(check.path);
        eDllVersion->setCursorPosition(0);
        eDllLocation->setCursorPosition(0);
        sbStatus->clearMessage();
        btnTest->setEnabled(true);
        btnOK->setEnabled(true);
        btnOK->setFocus();
        qCDebug(lcStartup) << "startup check done" << check.status;
    }
}

void TfQarnDiag::btnCloseClick() { close(); }

void TfQarnDiag::closeEvent(QCloseEvent *event)
{
    if (!FClosed) {
        FClosed = true;
        RunGuarded(this, [this]() { FormClose(); });
    }
    // Not QDialog's close handling, which would route the close box through
    // reject() and so through Cancel.
    event->accept();
}

void TfQarnDiag::FormClose()
{
    delete FUsbNotification;
    FUsbNotification = nullptr;
    DynDisconnect();
}

// Esc closes the window through Cancel, and only while Cancel is enabled.
void TfQarnDiag::reject()
{
    if (btnClose->isEnabled())
        btnClose->click();
}

void TfQarnDiag::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        RunGuarded(this, [this]() { CopyReport(); });
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        reject();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TfQarnDiag::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lbWeb && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        RunGuarded(this, [this]() { lbWebClick(); });
        return true;
    }
    // Ctrl+C in an edit box copies its selection, and the report when
    // nothing is selected; either way the key goes no further.
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        if (auto *edit = qobject_cast<QLineEdit *>(watched)) {
            if (edit->hasSelectedText())
                edit->copy();
            else
                RunGuarded(this, [this]() { CopyReport(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfQarnDiag::lbWebClick() { OpenWebAddress(QString::fromLatin1(kMakerWebAddress)); }

TDiagnosisReport TfQarnDiag::Report() const
{
    TDiagnosisReport report = FResults;
    report.deviceChoice = FDeviceName;
    report.stored = ReadDeviceChoice();
    report.usbReaders = UsbReaders();
    return report;
}

void TfQarnDiag::CopyReport()
{
    QGuiApplication::clipboard()->setText(ReportText(Report(), ClipboardLineEnd()));
    sbStatus->showMessage(QStringLiteral("Diagnosis report copied to the clipboard"));
}
