#include "uCliRun.h"

#include "uAtomicFile.h"
#include "uDiagnosisReport.h"
#include "uExitStatus.h"
#include "uMetricsReport.h"
#include "uPluginReport.h"
#include "uRunOutcome.h"
#include "uRunTimeout.h"
#include "uStandardOutput.h"
#include "uStopRequest.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTextStream>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr int kPollIntervalMs = 500;

bool StopAsked() { return TStopRequest::Signal() != 0; }

// A library lacking an entry point that a step needs fails as a corrupted
// library, whichever step meets it.
int FailureExit(TQarnStatus status, int otherwise)
{
    return status == QARN_ENTRY_POINT_MISSING ? int(kExitLibraryUnavailable) : otherwise;
}

class TRun {
public:
    TRun(const TCliOptions &options, QTextStream &out, QTextStream &err, const QString &program)
        : FOptions(options), FOut(out), FErr(err), FProgram(program)
    {
    }

    int Run()
    {
        FClock.start();
        TRunTimeout timeout(FOptions.timeoutSeconds, TimeoutOutput(), TimeoutMessage(),
                            Plugin() ? int(kPluginUnknown) : int(kExitTimedOut));
        DynSetStopCheck(&StopAsked);
        int code = Steps();
        DynSetStopCheck(nullptr);
        // As the window's closing: RF off, reader closed; also after a stop.
        DynDisconnect();
        timeout.Disarm();
        FOutcome.stopSignal = TStopRequest::Signal();
        if (FOutcome.stopSignal != 0)
            code = kExitStoppedBySignal + FOutcome.stopSignal;
        FOutcome.exitStatus = code;
        FOutcome.seconds = double(FClock.elapsed()) / 1000.0;
        FOutcome.finishedAt = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
        FOutcome.report = FReport;

        int pluginStatus = kPluginUnknown;
        if (!WriteFailed()) {
            if (FOptions.format == TOutputFormat::Json) {
                QJsonObject json = ReportJson(FReport);
                json[QStringLiteral("exitCode")] = code;
                FOut << QJsonDocument(json).toJson(QJsonDocument::Indented);
            } else if (FOptions.format == TOutputFormat::OpenMetrics) {
                FOut << QString::fromUtf8(
                    MetricsText(MetricsReport(FOutcome), TMetricsFormat::OpenMetrics));
            } else if (Plugin()) {
                const TPluginResult result = PluginReport(FOutcome, FOptions);
                pluginStatus = result.status;
                FOut << PluginOutput(result);
            }
            FOut.flush();
        }
        if (WriteFailed())
            code = FOutcome.exitStatus = WriteFailure();
        if (!FOptions.textfileFolder.isEmpty() && !WriteTextfile() && code == kExitPassed)
            code = kExitWriteFailed;
        // A monitoring engine reads any other status as unknown anyway.
        return Plugin() ? (WriteFailed() ? int(kPluginUnknown) : pluginStatus) : code;
    }

private:
    bool Plugin() const { return FOptions.format == TOutputFormat::Plugin; }

    // What the deadline writes: the plugin's line, or a line on standard
    // error.
    QByteArray TimeoutOutput() const
    {
        return Plugin() ? PluginOutput(PluginTimedOut(FOptions.timeoutSeconds)).toUtf8()
                        : QByteArray();
    }
    QByteArray TimeoutMessage() const
    {
        if (Plugin())
            return QByteArray();
        return (FProgram + QStringLiteral(": timed out after %1 s: ended at once, the reader "
                                          "library's call unfinished and the reader left as the "
                                          "library has it\n")
                               .arg(FOptions.timeoutSeconds))
            .toLocal8Bit();
    }

    // The status for a report that could not be written, said on standard
    // error unless the output was closed.
    int WriteFailure()
    {
        const auto *device = dynamic_cast<const TStandardOutput *>(FOut.device());
        const int error = device ? device->Error() : EIO;
        // A closed pipe is how a reader such as "head" says it has enough.
        if (error == EPIPE)
            return kExitOutputClosed;
        FErr << FProgram
             << ": could not write the report: " << QString::fromLocal8Bit(std::strerror(error))
             << '\n';
        FErr.flush();
        return kExitWriteFailed;
    }

    bool WriteTextfile()
    {
        const QString path = QDir(FOptions.textfileFolder).filePath(MetricsTextFileName());
        QString error;
        if (WriteFileAtomically(
                path, MetricsText(MetricsReport(FOutcome), TMetricsFormat::Prometheus), &error))
            return true;
        FErr << FProgram << ": could not write " << path << ": " << error << '\n';
        FErr.flush();
        return false;
    }

    // Prints lines at once in text mode, so a long step shows what came before.
    void Print(const QStringList &lines)
    {
        FOutcome.lines << lines;
        if (FOptions.format != TOutputFormat::Text || WriteFailed())
            return;
        for (const QString &line : lines)
            FOut << line << '\n';
        FOut.flush();
    }

    bool WriteFailed() const { return FOut.status() != QTextStream::Ok; }
    // A stop signal or a failed write ends the run after the step under way.
    bool Stopped() const { return TStopRequest::Signal() != 0 || WriteFailed(); }

    void PrintUsbReaders()
    {
        FReport.usbReaders = UsbReaders();
        Print(UsbReaderLines(FReport.usbReaders));
    }

    int Steps()
    {
        FReport.library = CheckLibrary();
        FReport.stored = ReadDeviceChoice();
        FReport.deviceChoice = FOptions.device ? *FOptions.device : FReport.stored.name;
        Print(QStringList{VersionLine()} + LibraryLines(FReport.library) +
              DeviceLines(FReport.deviceChoice, FReport.stored));
        if (!FReport.library->Available()) {
            PrintUsbReaders(); // a plugged-in reader shows even without its library
            return kExitLibraryUnavailable;
        }
        if (Stopped())
            return kExitPassed;

        if (FOptions.list) {
            FReport.ports = ReadPortList(&FReport.portsStatus);
            Print(PortLines(*FReport.ports, FReport.portsStatus));
        }
        PrintUsbReaders();
        if (FOptions.list && FReport.portsStatus != QARN_OK)
            return FailureExit(FReport.portsStatus, kExitReaderNotFound);
        if (!FOptions.connect || Stopped())
            return kExitPassed;

        FReport.connection = TestConnection(FReport.deviceChoice, FOptions.settings);
        Print(ConnectionLines(FReport.connection));
        const TQarnStatus status = FReport.connection->status;
        if (status == QARN_READER_NOT_FOUND_ON_PORT || status == QARN_READER_NOT_FOUND)
            return kExitReaderNotFound;
        if (status != QARN_OK)
            return FailureExit(status, kExitConnectionFailed);
        if (Stopped())
            return kExitPassed;

        if (FOptions.benchmark) {
            FReport.benchmark = RunBenchmark();
            Print(BenchmarkLines(FReport.benchmark));
            if (!FReport.benchmark->Passed())
                return FailureExit(FReport.benchmark->ReportStatus(), kExitBenchmarkFailed);
        }
        return FOptions.pollSeconds > 0 && !Stopped() ? Poll() : kExitPassed;
    }

    int Poll()
    {
        TPollingRun polling;
        polling.seconds = FOptions.pollSeconds;
        TQarnStatus failure = QARN_OK; // the first failed poll's
        QElapsedTimer clock;
        clock.start();
        const qint64 total = qint64(FOptions.pollSeconds) * 1000;
        qint64 next = 0;
        while (!FStop.Wait(int(next - clock.elapsed())) && !WriteFailed() &&
               clock.elapsed() < total) {
            const TCardPoll poll = PollCard();
            FOutcome.pollErrors += poll.Failed() ? 1 : 0;
            if (poll.Failed() && failure == QARN_OK)
                failure = poll.status;
            if (!FReport.card || FReport.card->line != poll.line) {
                polling.changes.push_back({clock.elapsed(), poll});
                Print({CardLine(poll)});
            }
            FReport.card = poll;
            next = std::max(next + kPollIntervalMs, clock.elapsed());
        }
        polling.interrupted = Stopped();
        FReport.polling = polling;
        return failure != QARN_OK ? FailureExit(failure, kExitPollingFailed) : kExitPassed;
    }

    const TCliOptions &FOptions;
    QTextStream &FOut;
    QTextStream &FErr;
    const QString FProgram;
    TStopRequest FStop; // for the whole run
    TDiagnosisReport FReport;
    TRunOutcome FOutcome;
    QElapsedTimer FClock;
};

} // namespace

int RunDiagnosis(const TCliOptions &options, QTextStream &out, QTextStream &err,
                 const QString &program)
{
    return TRun(options, out, err, program).Run();
}
