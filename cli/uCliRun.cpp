#include "uCliRun.h"

#include "uDiagnosisReport.h"
#include "uExitStatus.h"
#include "uStandardOutput.h"
#include "uStopRequest.h"

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
        DynSetStopCheck(&StopAsked);
        int code = Steps();
        DynSetStopCheck(nullptr);
        // As the window's closing: RF off, reader closed; also after a stop.
        DynDisconnect();
        if (TStopRequest::Signal() != 0)
            code = kExitStoppedBySignal + TStopRequest::Signal();
        if (FOptions.json && !WriteFailed()) {
            QJsonObject json = ReportJson(FReport);
            json[QStringLiteral("exitCode")] = code;
            FOut << QJsonDocument(json).toJson(QJsonDocument::Indented);
            FOut.flush();
        }
        if (!WriteFailed())
            return code;
        const auto *device = dynamic_cast<const TStandardOutput *>(FOut.device());
        const int error = device ? device->Error() : EIO;
        // A closed pipe is how a reader such as "head" says it has enough.
        if (error == EPIPE)
            return kExitOutputClosed;
        FErr << FProgram << ": could not write the report: "
             << QString::fromLocal8Bit(std::strerror(error)) << '\n';
        FErr.flush();
        return kExitWriteFailed;
    }

private:
    // Prints lines at once in text mode, so a long step shows what came before.
    void Print(const QStringList &lines)
    {
        if (FOptions.json || WriteFailed())
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
                return kExitBenchmarkFailed;
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
};

} // namespace

int RunDiagnosis(const TCliOptions &options, QTextStream &out, QTextStream &err,
                 const QString &program)
{
    return TRun(options, out, err, program).Run();
}
