#include "uFaceChoice.h"

#include "uToolkitOptions.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

bool WantsCommandLine(int argc, const char *const *argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        const QString name = OptionName(argument);
        if (ToolkitOptionTakesValue(name)) {
            if (!argument.contains('='))
                ++i; // its value
        } else if (!IsToolkitOption(name) && !name.startsWith(QLatin1String("qmljsdebugger"))) {
            return true;
        }
    }
    return false;
}

bool NamesWindowPlatform(int argc, const char *const *argv)
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    for (int i = 1; i < argc; ++i)
        if (OptionName(argv[i]) == QLatin1String("platform"))
            return true;
    return false;
}
