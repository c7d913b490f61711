// A stop asked of the command line by the user or the system: Ctrl+C
// (SIGINT), SIGTERM and SIGHUP; on Windows the console's Ctrl+C, Ctrl+Break
// and close events.  It is caught for the whole run: a library call under way
// is let to return, and the run stops at its next step with the reader
// closed.  A second stop before the run has ended ends the program at once,
// saying so on standard error.  While it lives, a closed standard output is
// a failed write (EPIPE), not the end of the program.
#pragma once

class TStopRequest {
public:
    // Catches the stop signals for as long as it lives; only one at a time.
    TStopRequest();
    // Puts the previous handling back.
    ~TStopRequest();
    TStopRequest(const TStopRequest &) = delete;
    TStopRequest &operator=(const TStopRequest &) = delete;

    // Waits up to milliseconds (0: just looks); true when a stop was asked,
    // now or before.
    bool Wait(int milliseconds);

    // The signal that asked (SIGINT 2, SIGTERM 15, SIGHUP 1), 0 while none did.
    static int Signal();
};
