#include "uBenchmarkReport.h"

namespace {
QString ResultText(const TEchoAverage &average)
{
    if (!average.measured)
        return QStringLiteral("Test not available");
    // A series faster than one millisecond per exchange did pass.
    if (average.milliseconds == 0)
        return QStringLiteral("Passed, <1ms");
    return QStringLiteral("Passed, ") + QString::number(average.milliseconds) +
           QStringLiteral("ms");
}
} // namespace

QString BenchmarkReport(const TEchoAverage &average128, const TEchoAverage &average256,
                        const TEchoAverage &average768)
{
    return QStringLiteral("Echo of 128 bytes : ") + ResultText(average128) +
           QStringLiteral("\r\n") + QStringLiteral("Echo of 256 bytes : ") +
           ResultText(average256) + QStringLiteral("\r\n") +
           QStringLiteral("Echo of 768 bytes : ") + ResultText(average768);
}
