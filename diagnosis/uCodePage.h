// The code page of the 8-bit texts that the reader library exchanges and
// that the device choice is stored in: UTF-8 on Linux, the system's ANSI
// code page on Windows, as QString::fromLocal8Bit and toLocal8Bit read and
// write them.  One source file per system tells where a character of it
// begins and ends (uCodePageLinux.cpp, uCodePageWin.cpp).
#pragma once

#include <QByteArray>

// The length in bytes of the character that starts at bytes[at] (at within
// bytes), 0 when no character of the code page starts there: a stray or cut
// sequence, which the texts then show byte by byte.
qsizetype CodePageCharLength(const QByteArray &bytes, qsizetype at);
