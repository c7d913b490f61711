// A deadline for the whole run that holds even while a reader library call
// blocks: a thread of its own waits for it, and when it comes first it
// writes the texts prepared beforehand and ends the process at once with the
// status given, the library's call unfinished and the reader left as the
// library has it.  Nothing of the run is touched from that thread.
#pragma once

#include <QByteArray>

#include <memory>

class TRunTimeout {
public:
    // seconds 0: no deadline.  output goes to the standard output, message
    // to the standard error.
    TRunTimeout(int seconds, const QByteArray &output, const QByteArray &message, int status);
    // Disarms.
    ~TRunTimeout();
    TRunTimeout(const TRunTimeout &) = delete;
    TRunTimeout &operator=(const TRunTimeout &) = delete;

    // From now on the deadline does nothing; called before the run writes
    // its own ending, so that the two never mix.  Once the deadline has
    // come this does not return: the process is ending.
    void Disarm();

    class TWatch;

private:
    std::unique_ptr<TWatch> FWatch;
};
