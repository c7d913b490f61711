// Which face the program shows: its window or its command line.
#pragma once

// Whether the program runs its command line: any argument that is not one
// of the window toolkit's own options (a mistyped option included, which
// then gets its error message); otherwise it opens its window.
bool WantsCommandLine(int argc, const char *const *argv);

// Whether the arguments or the environment name the toolkit's platform
// (-platform, QT_QPA_PLATFORM), which then finds its own display.
bool NamesWindowPlatform(int argc, const char *const *argv);
