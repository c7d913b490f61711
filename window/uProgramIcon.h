// The program's icon, drawn in several sizes in the resources
// (":/icons/qarndiag-<size>.png", and for the sizes the windows show also
// ".pam", which is read without decoding).
#pragma once

#include <QIcon>

#include <initializer_list>

// The icon in the given sizes, in pixels.  Its pictures are read when a
// window first asks for one of them, not when the icon is made: QIcon's own
// addFile reads and decodes every file at once, which cost the start-up
// about 2 ms for the application icon's six sizes, that the main window,
// with its own icon, never shows.
QIcon ProgramIcon(std::initializer_list<int> sizes);
