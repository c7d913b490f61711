// QarnDiag: configures and checks the link between the Norvane reader API
// and a Qarn contactless reader, in its window or on the command line.
#include "uAppServices.h"
#include "uFaceChoice.h"
#include "uLibraryTrace.h"
#include "uProgramIcon.h"
#include "uQarnCommMore.h"
#include "uQarnDiag.h"
#include "uQarnDiagCli.h"
#include "uQarnDyn.h"
#include "uSystemDisplay.h"
#include "uWindowLook.h"

#include <QApplication>
#include <QCoreApplication>
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
        // Every window of the program has this face: as the application's
        // font, the toolkit's default face is never loaded.
        QApplication::setFont(WindowFace());
        SetApplicationTitle(QStringLiteral("Ardanel QarnDiag"));
        QGuiApplication::setDesktopFileName(QStringLiteral("net.ardanel.QarnDiag"));

        TfQarnDiag mainWindow;
        fQarnDiag = &mainWindow;
        TfQarnCommMore commMore(&mainWindow);
        fQarnCommMore = &commMore;

        // The other windows (the advanced dialog, message boxes) take the
        // application's icon.  It is set once the main window's native window
        // exists: set before, that window would be made with the
        // application's icon, all six sizes read, converted and sent to the
        // display, only to have it replaced at once by its own.
        mainWindow.winId();
        QApplication::setWindowIcon(ProgramIcon({16, 32, 48, 64, 128, 256}));
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
