// The window toolkit's own options: given alone they open the window, and
// --help-all lists them after the command line's.
#pragma once

#include <QByteArray>
#include <QString>

// The option name of an argument ("-x", "--x" or "--x=..."), empty for an
// argument that is not an option.
QString OptionName(const QByteArray &argument);

// Whether name is one of the toolkit's options, and whether it takes a value
// (as the next argument or after "=").
bool IsToolkitOption(const QString &name);
bool ToolkitOptionTakesValue(const QString &name);

// The text of --help-all after the command line's options.
QString ToolkitOptionsHelp();
