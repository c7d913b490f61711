// The report's way to the standard output: through the C library, which
// tells why a write failed; with SIGPIPE ignored a closed pipe is EPIPE.
#pragma once

#include <QIODevice>

class TStandardOutput : public QIODevice {
public:
    TStandardOutput();
    // The errno of the first failed write, 0 while none failed.
    int Error() const { return FError; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    int FError = 0;
};
