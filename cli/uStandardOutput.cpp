#include "uStandardOutput.h"

#include <cerrno>
#include <cstdio>

TStandardOutput::TStandardOutput() { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

qint64 TStandardOutput::writeData(const char *data, qint64 size)
{
    if (FError != 0)
        return -1;
    errno = 0;
    const std::size_t written = std::fwrite(data, 1, std::size_t(size), stdout);
    if (written == std::size_t(size) && std::fflush(stdout) == 0)
        return size;
    FError = errno != 0 ? errno : EIO;
    std::clearerr(stdout);
    return -1;
}
