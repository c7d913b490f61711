// The look of the program's windows on this system, one file per system
// (uWindowLookLinux.cpp, uWindowLookWin.cpp): the face of their texts, the
// condensed face of the narrow hexadecimal boxes, and the widget style.
#pragma once

#include <QFont>
#include <QString>

// The face of the program's windows, 11 pixels high (the classic 8-point
// dialog font at 96 dots per inch).
QFont WindowFace();

// A face of the same size that keeps the widest hexadecimal values inside
// the narrow boxes.
QFont CondensedFace();

// The name of the widget style the program sets for its windows.
QString WindowStyleName();
