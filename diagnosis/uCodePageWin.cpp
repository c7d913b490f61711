#include "uCodePage.h"

#include <windows.h>

// Every byte of a single-byte ANSI code page is a character; in a
// double-byte one a lead byte takes the byte after it.
qsizetype CodePageCharLength(const QByteArray &bytes, qsizetype at)
{
    if (!IsDBCSLeadByte(BYTE(bytes[at])))
        return 1;
    return at + 1 < bytes.size() ? 2 : 0;
}
