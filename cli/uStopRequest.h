// A stop asked of the command line by the user or the system (Ctrl+C, that
// is SIGINT, and SIGTERM; on Windows the console's Ctrl+C, Ctrl+Break and
// close events), noticed by a loop that waits between its steps.
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

    // The signal that asked (SIGINT 2, SIGTERM 15), 0 while none did.
    int Signal() const;
};
