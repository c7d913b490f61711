#include "uToolkitOptions.h"

#include <QStringList>

namespace {

// Those that take a value, then those that do not.
const QStringList kToolkitValueOptions{QStringLiteral("platform"),
                                       QStringLiteral("platformpluginpath"),
                                       QStringLiteral("platformtheme"),
                                       QStringLiteral("plugin"),
                                       QStringLiteral("qwindowgeometry"),
                                       QStringLiteral("qwindowicon"),
                                       QStringLiteral("qwindowtitle"),
                                       QStringLiteral("geometry"),
                                       QStringLiteral("title"),
                                       QStringLiteral("display"),
                                       QStringLiteral("name"),
                                       QStringLiteral("style"),
                                       QStringLiteral("stylesheet"),
                                       QStringLiteral("session")};
const QStringList kToolkitFlagOptions{QStringLiteral("reverse"),     QStringLiteral("nograb"),
                                      QStringLiteral("dograb"),      QStringLiteral("sync"),
                                      QStringLiteral("widgetcount"), QStringLiteral("testability")};

} // namespace

QString OptionName(const QByteArray &argument)
{
    if (!argument.startsWith('-') || argument == "-" || argument == "--")
        return QString();
    QByteArray name = argument.mid(argument.startsWith("--") ? 2 : 1);
    return QString::fromLocal8Bit(
        name.left(name.indexOf('=') < 0 ? name.size() : name.indexOf('=')));
}

bool IsToolkitOption(const QString &name)
{
    return kToolkitValueOptions.contains(name) || kToolkitFlagOptions.contains(name);
}

bool ToolkitOptionTakesValue(const QString &name) { return kToolkitValueOptions.contains(name); }

QString ToolkitOptionsHelp()
{
    QString text = QStringLiteral("\nOptions of the window's toolkit (they open the window):\n ");
    int column = 1;
    for (const QString &name : kToolkitValueOptions + kToolkitFlagOptions) {
        QString item = QStringLiteral(" -") + name;
        if (kToolkitValueOptions.contains(name))
            item += QStringLiteral(" <value>");
        if (column + item.size() > 79) {
            text += QStringLiteral("\n ");
            column = 1;
        }
        text += item;
        column += int(item.size());
    }
    return text + QLatin1Char('\n');
}
