// The reference for QarnDiag's start-up and memory figures: the least a Qt
// Widgets program does to show a window of QarnDiag's size.  It logs the
// moment it is shown as QarnDiag does: on its first own show event, after
// one pass of the pending events, through the category "qarndiag.startup".
//
//   bench_minimal_window [--with-text]
//
// With --with-text the window also shows one line of text, so that the
// reference pays for the font set-up that any window with text pays for.
#include <QApplication>
#include <QLabel>
#include <QLoggingCategory>
#include <QShowEvent>
#include <QWidget>

#include <cstdio>
#include <cstring>

Q_LOGGING_CATEGORY(lcStartup, "qarndiag.startup", QtWarningMsg)

namespace {

class TMinimalWindow : public QWidget {
protected:
    void showEvent(QShowEvent *event) override
    {
        QWidget::showEvent(event);
        if (FShown || event->spontaneous())
            return;
        FShown = true;
        QCoreApplication::processEvents();
        qCDebug(lcStartup) << "window shown";
    }

private:
    bool FShown = false;
};

} // namespace

int main(int argc, char *argv[])
{
    const bool withText = argc == 2 && std::strcmp(argv[1], "--with-text") == 0;
    if (argc > 2 || (argc == 2 && !withText)) {
        std::fprintf(stderr, "usage: %s [--with-text]\n", argv[0]);
        return 2;
    }
    QApplication application(argc, argv);
    TMinimalWindow window;
    window.setFixedSize(794, 568);
    if (withText)
        (new QLabel(QStringLiteral("A line of text"), &window))->move(8, 8);
    window.show();
    return application.exec();
}
