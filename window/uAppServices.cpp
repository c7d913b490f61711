#include "uAppServices.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QIcon>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolTip>
#include <QUrl>

Q_LOGGING_CATEGORY(lcStartup, "qarndiag.startup", QtWarningMsg)

namespace {
QString gApplicationTitle = QStringLiteral("Ardanel QarnDiag");
TMessageBoxHook gMessageBoxHook;
} // namespace

QString ApplicationTitle() { return gApplicationTitle; }

void SetApplicationTitle(const QString &title) { gApplicationTitle = title; }

void CentreOver(QWidget *window, const QWidget *over)
{
    QRect place(QPoint(), window->size());
    place.moveCenter(over->geometry().center());
    if (const QScreen *screen = over->screen()) {
        const QRect room = screen->availableGeometry();
        place.moveLeft(qMax(room.left(), qMin(place.left(), room.right() + 1 - place.width())));
        place.moveTop(qMax(room.top(), qMin(place.top(), room.bottom() + 1 - place.height())));
    }
    window->setGeometry(place);
}

QFont FaceFitting(QFont face, const QString &text, const QWidget *box)
{
    // A line edit's text room: its width less the frame and two pixels of
    // margin on each side.
    const int frame = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, box);
    const int room = box->width() - 2 * frame - 4;
    int stretch = face.stretch() == QFont::AnyStretch ? QFont::Unstretched : face.stretch();
    while (QFontMetrics(face).horizontalAdvance(text) > room && stretch > 70) {
        stretch -= 3;
        face.setStretch(stretch);
    }
    return face;
}

void ApplyWindowFace(QWidget *window)
{
    const QFont face = WindowFace();
    window->setFont(face);
    // Tooltips (the whole text of a cut label) read in the same face.
    QToolTip::setFont(face);
    for (QWidget *control : window->findChildren<QWidget *>()) {
        QFont controlFace = face;
        controlFace.setBold(control->font().bold());
        control->setFont(controlFace);
    }
}

void SetMessageBoxHook(TMessageBoxHook hook) { gMessageBoxHook = std::move(hook); }

void ShowMessageBox(QWidget *parent, const QString &caption, const QString &text,
                    QMessageBox::Icon icon)
{
    if (gMessageBoxHook) {
        gMessageBoxHook(TMessageBoxRecord{caption, text, icon});
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    ApplyWindowFace(&box);
    box.button(QMessageBox::Ok)->setIcon(QIcon());
    box.exec();
}

void SetBusyCursor(bool busy)
{
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    if (busy)
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void ProcessPendingEvents() { QCoreApplication::processEvents(); }

void ShowHandlerError(QObject *owner, const QString &message)
{
    ShowMessageBox(qobject_cast<QWidget *>(owner), ApplicationTitle(), message,
                   QMessageBox::Critical);
}

void OpenWebAddress(const QString &url) { QDesktopServices::openUrl(QUrl(url)); }
