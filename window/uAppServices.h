// Application-wide services of the windows: the application title, modal
// message boxes, the busy cursor, one pass of pending events, the error
// report for what an event handler throws, and the desktop's URL opener.
#pragma once

#include "uErrorGuard.h"
#include "uWindowLook.h"

#include <QFont>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

Q_DECLARE_LOGGING_CATEGORY(lcStartup)

// "Ardanel QarnDiag": task bar title and caption of the error reports.
QString ApplicationTitle();
void SetApplicationTitle(const QString &title);

// Gives a window and each of its controls that face, keeping their bold.
// Each control needs it itself: under the main window's style sheet, which
// reaches every window of the program, controls do not take their window's
// font.
void ApplyWindowFace(QWidget *window);

// A modal message box with one OK button.  Every message box of the program
// goes through here, so tests can record them instead of showing them.  The
// box has the windows' face and a plain OK button, without a stock icon.
void ShowMessageBox(QWidget *parent, const QString &caption, const QString &text,
                    QMessageBox::Icon icon = QMessageBox::NoIcon);

struct TMessageBoxRecord {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
};
using TMessageBoxHook = std::function<void(const TMessageBoxRecord &)>;
// While a hook is set, message boxes are handed to it and not shown.
void SetMessageBoxHook(TMessageBoxHook hook);

// The hourglass for the whole application, set and reset absolutely (a
// second "busy" does not stack; "default" always removes it).
void SetBusyCursor(bool busy);

// The hourglass for as long as it lives; back to the default cursor on every
// path out of the scope, the failing ones included.
class TBusyCursor {
public:
    TBusyCursor() { SetBusyCursor(true); }
    ~TBusyCursor() { SetBusyCursor(false); }
    TBusyCursor(const TBusyCursor &) = delete;
    TBusyCursor &operator=(const TBusyCursor &) = delete;
};

// Places a window that is about to be shown with its centre on the centre
// of `over`, both measured without their frames, so that the frames the
// system draws, known or not yet, move neither; kept inside the screen.
void CentreOver(QWidget *window, const QWidget *over);

// The face, narrowed where needed (down to seven tenths of its width), in
// which `text` fits the text room of the one-line edit box `box`.
QFont FaceFitting(QFont face, const QString &text, const QWidget *box);

// Lets the events that are waiting run once.
void ProcessPendingEvents();

// The windows' error report (see SetErrorReport): a message box with the
// error icon and the application title as caption, on the owner when it is
// a widget.
void ShowHandlerError(QObject *owner, const QString &message);

// Asks the desktop to open a web address; a failure is silent.
void OpenWebAddress(const QString &url);
