#include "uAppServices.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QIcon>
#include <QPushButton>
#include <QToolTip>
#include <QUrl>

Q_LOGGING_CATEGORY(lcStartup, "qarndiag.startup", QtWarningMsg)

namespace {
QString gApplicationTitle = QStringLiteral("Ardanel QarnDiag");
TMessageBoxHook gMessageBoxHook;
} // namespace

QString ApplicationTitle() { return gApplicationTitle; }

void SetApplicationTitle(const QString &title) { gApplicationTitle = title; }

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
