// QarnDiag: configures and checks the link between the Norvane reader API
// and a Qarn contactless reader.
#include "uAppServices.h"
#include "uQarnCommMore.h"
#include "uQarnDiag.h"
#include "uQarnDyn.h"

#include <QApplication>
#include <QIcon>
#include <QStyleFactory>

int main(int argc, char *argv[])
{
    // The reader library is loaded once, before any window exists.
    DynStartHook();

    int result = 0;
    {
        QApplication application(argc, argv);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
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
