// pcscd's state when it cannot be reached: not installed, installed but
// stopped (and what to start, from the unit files there are), or running but
// refusing this program.  Read from the files and the socket that pcsc-lite
// and its packages put in place, never by starting anything.
#pragma once

#include <winscard.h>

#include <cstdint>
#include <string>

namespace norvpcsc {

struct DaemonState {
    int16_t status = 0; // kDaemonNotInstalled, kDaemonStopped, kDaemonRefused, or 0: pcscd answers
    std::string text;   // the status's text, with what to start for kDaemonStopped
};

// What a failed pcsc-lite call (result) says of pcscd: the client's
// SCARD_W_SECURITY_VIOLATION, or a socket that accepts the connection or
// refuses it for rights, is a refusal; a socket that nobody answers is a
// stopped daemon, or a missing one when its program is not installed.
// NORVANE_PCSC_SYSTEM_ROOT names a folder that stands in for "/" when the
// program and the unit files are looked for (for tests).
DaemonState DaemonStateOf(LONG result);

} // namespace norvpcsc
