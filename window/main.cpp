// QarnDiag: configures and checks the link between the Norvane reader API
// and a Qarn contactless reader, in its window or on the command line.
#include "uAppServices.h"
#include "uLibraryTrace.h"
#include "uQarnCommMore.h"
#include "uQarnDiag.h"
#include "uQarnDiagCli.h"
#include "uSystemDisplay.h"
#include "uWindowLook.h"
#include "uQarnDyn.h"

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <QStyleFactory>

#include <cstdio>

int main(int argc, char *argv[])
{
#ifdef QARN_COMMAND_LINE_PROGRAM
    const bool commandLine = true; // the console build on Windows
#else
    const bool commandLine = WantsCommandLine(argc, argv);
#endif
    if (!commandLine && !NamesWindowPlatform(argc, argv) && !SystemHasDisplay()) {
        // Rather than the toolkit's abort.
        std::fputs("no display; for the command line see qarndiag --help\n", stderr);
        return kExitNoDisplay;
    }
    // The reader library is loaded once, before any window exists.
    DynStartHook();
    StartLibraryTrace();

    int result = 0;
    if (commandLine) {
        {
            QByteArrayList rawArguments;
            for (int i = 0; i < argc; ++i)
                rawArguments << QByteArray(argv[i]);
            QCoreApplication application(argc, argv);
            result = RunCommandLine(QCoreApplication::arguments(), rawArguments);
        }
        DynUnloadLibrary();
        return result;
    }
    {
        QApplication application(argc, argv);
        QApplication::setStyle(QStyleFactory::create(WindowStyleName()));
        QIcon applicationIcon;
        for (const int size : {16, 32, 48, 64, 128, 256})
            applicationIcon.addFile(QStringLiteral(":/icons/qarndiag-%1.png").arg(size),
                                    QSize(size, size));
        QApplication::setWindowIcon(applicationIcon);
        SetApplicationTitle(QStringLiteral("Ardanel QarnDiag"));
        QGuiApplication::setDesktopFileName(QStringLiteral("net.ardanel.QarnDiag"));

        TfQarnDiag mainWindow;
        fQarnDiag = &mainWindow;
        TfQarnCommMore commMore(&mainWindow);
        fQarnCommMore = &commMore;

        mainWindow.show();
        result = application.exec();

        // After the message loop: RF off, reader closed, library unloaded,
        // before the toolkit itself goes.
        DynUnloadLibrary();
        fQarnCommMore = nullptr;
        fQarnDiag = nullptr;
    }
    return result;
}
