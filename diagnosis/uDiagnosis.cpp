#include "uDiagnosis.h"

#include "uBenchmarkReport.h"
#include "uCodePage.h"
#include "uDeviceSettings.h"
#include "uFeatureText.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

QString ByteEscape(uint byte)
{
    return QStringLiteral("\\x") +
           QString::number(byte, 16).rightJustified(2, QLatin1Char('0')).toUpper();
}

} // namespace

QString LibraryText(const QByteArray &bytes)
{
    QString text;
    for (qsizetype at = 0; at < bytes.size();) {
        // Every code page of either system is ASCII below 0x80, NUL too
        // (which a conversion of the one byte would drop).
        if (uchar(bytes[at]) < 0x80) {
            text += QLatin1Char(bytes[at]);
            ++at;
            continue;
        }
        const qsizetype length = CodePageCharLength(bytes, at);
        if (length == 0) {
            text += ByteEscape(uchar(bytes[at]));
            ++at;
        } else {
            text += QString::fromLocal8Bit(bytes.constData() + at, length);
            at += length;
        }
    }
    return text;
}

QString LibraryText(const std::string &text)
{
    return LibraryText(QByteArray(text.data(), qsizetype(text.size())));
}

QByteArray LibraryBytes(const QString &text)
{
    static const QRegularExpression escape(QStringLiteral("\\\\x([89A-Fa-f][0-9A-Fa-f])"));
    QByteArray bytes;
    qsizetype done = 0;
    for (QRegularExpressionMatchIterator it = escape.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        bytes += text.mid(done, match.capturedStart() - done).toLocal8Bit();
        bytes += char(match.captured(1).toUInt(nullptr, 16));
        done = match.capturedEnd();
    }
    return bytes + text.mid(done).toLocal8Bit();
}

QString OneLineText(const QString &text)
{
    QString line;
    for (const QChar c : text)
        line += c.unicode() < 0x20 || c.unicode() == 0x7F ? ByteEscape(c.unicode()) : QString(c);
    return line;
}

QString StatusMessage(TQarnStatus status)
{
    std::string message;
    DynGetErrorMessage(status, message);
    return LibraryText(message);
}

QString ProgramVersion() { return QStringLiteral(QARN_PROGRAM_VERSION); }

bool TLibraryCheck::Available() const
{
    return status != QARN_LIBRARY_NOT_LOADED && status != QARN_ENTRY_POINT_MISSING;
}

QString TLibraryCheck::StartupMessage() const
{
    if (status == QARN_LIBRARY_NOT_LOADED)
        return QStringLiteral("norvane.dll is not available in program directory, nor in system "
                              "default search path. Please copy norvane.dll in appropriate "
                              "directory.");
    if (status == QARN_ENTRY_POINT_MISSING)
        return QStringLiteral("norvane.dll has been found, appears to be invalid or corrupted. "
                              "Please replace norvane.dll with an up-to-date release.");
    return QString();
}

QStringList TLibraryCheck::MissingEntryPoints() const
{
    QStringList names;
    for (const std::string &name : record.missingEntryPoints)
        names << LibraryText(name);
    return names;
}

QString TLibraryCheck::StartupBoxText() const
{
    const QString message = StartupMessage();
    if (status == QARN_ENTRY_POINT_MISSING)
        return message + QStringLiteral("\n\nMissing entry points: ") +
               MissingEntryPoints().join(QStringLiteral(", "));
    const TLibraryCandidate *refused = record.RefusedCopy();
    if (status != QARN_LIBRARY_NOT_LOADED || !refused)
        return message;
    return message + QStringLiteral("\n\n") + LibraryText(refused->path) +
           QStringLiteral(" was found but could not be loaded: ") + LibraryText(refused->error);
}

TLibraryCheck CheckLibrary()
{
    std::string version;
    std::string path;
    TLibraryCheck check;
    check.status = DynGetLibraryInfo(version, path);
    check.version = LibraryText(version);
    check.path = LibraryText(path);
    check.record = DynGetLoadRecord();
    return check;
}

// The library never receives an empty name: auto-detection is asked by name.
QByteArray ConnectionDeviceName(const QByteArray &choice)
{
    return choice.isEmpty() ? QByteArray("auto") : choice;
}

QString ConnectionWaitText(const QByteArray &choice)
{
    if (ConnectionDeviceName(choice) == "auto")
        return QStringLiteral(
            "Please wait, auto-detection in progress (this may take up to 60 seconds)...");
    return QStringLiteral("Please wait, looking for reader on ") + LibraryText(choice);
}

QString TConnectionTest::DeviceInformation() const
{
    return DeviceInformationLine(deviceText, settings);
}

QString TConnectionTest::FeatureWordText() const
{
    return QStringLiteral("%1").arg(features, 8, 16, QLatin1Char('0')).toUpper();
}

QStringList TConnectionTest::FeatureLines() const
{
    QStringList lines = ExplainFeatures(features).split(QStringLiteral("\r\n"));
    lines.removeLast(); // after the last line's own CR LF
    return lines;
}

TConnectionTest TestConnection(const QByteArray &choice, uint32_t requestedSettings)
{
    TConnectionTest test;
    test.device = ConnectionDeviceName(choice);
    test.requestedSettings = requestedSettings;
    std::string device(test.device.constData(), std::size_t(test.device.size()));
    std::string firmware;
    std::string chipsetHWID;
    std::string chipsetSNR;
    test.settings = requestedSettings;
    test.status = DynConnect(device, firmware, chipsetHWID, chipsetSNR, test.settings, test.consts,
                             test.features);
    TQarnStatus libraryStatus = QARN_OK;
    std::string libraryMessage;
    if (DynGetOpenFailure(libraryStatus, libraryMessage)) {
        test.libraryStatus = libraryStatus;
        test.libraryMessage = LibraryText(libraryMessage);
    }
    if (test.Passed()) {
        test.deviceText = LibraryText(device);
        test.firmware = LibraryText(firmware);
        test.chipsetHWID = LibraryText(chipsetHWID);
        test.chipsetSNR = LibraryText(chipsetSNR);
    }
    return test;
}

TQarnStatus TBenchmarkRun::ReportStatus() const
{
    return status == QARN_OK && echoMissing ? QARN_ENTRY_POINT_MISSING : status;
}

QStringList TBenchmarkRun::Lines() const
{
    return BenchmarkReport(average128, average256, average768).split(QStringLiteral("\r\n"));
}

namespace {

// The benchmark in progress, for the binding's notifier, which is a plain
// function.
struct TBenchmarkInProgress {
    TBenchmarkRun &run;
    const TEcho768FailureDisplay &showFailure;
};
TBenchmarkInProgress *gBenchmarkInProgress = nullptr;

void RecordEcho768Failure(TQarnStatus status)
{
    if (!gBenchmarkInProgress)
        return;
    gBenchmarkInProgress->run.echo768Failure = status;
    if (gBenchmarkInProgress->showFailure)
        gBenchmarkInProgress->showFailure(status);
}

// Installs the recorder for one benchmark, removed however the run ends.
class TEcho768Recorder {
public:
    explicit TEcho768Recorder(TBenchmarkInProgress &benchmark)
    {
        gBenchmarkInProgress = &benchmark;
        DynSetBenchmarkFailureNotifier(&RecordEcho768Failure);
    }
    ~TEcho768Recorder()
    {
        DynSetBenchmarkFailureNotifier(nullptr);
        gBenchmarkInProgress = nullptr;
    }
    TEcho768Recorder(const TEcho768Recorder &) = delete;
    TEcho768Recorder &operator=(const TEcho768Recorder &) = delete;
};

} // namespace

TBenchmarkRun RunBenchmark(const TEcho768FailureDisplay &showFailure)
{
    TBenchmarkRun run;
    TBenchmarkInProgress benchmark{run, showFailure};
    const TEcho768Recorder recorder(benchmark);
    run.status = DynBenchmark(run.average128, run.average256, run.average768);
    const std::vector<std::string> &missing = DynGetLoadRecord().missingEntryPoints;
    run.echoMissing = std::find(missing.begin(), missing.end(), "NORV_Echo") != missing.end();
    return run;
}

TCardPoll PollCard()
{
    std::string uid;
    std::string typeName;
    TCardPoll poll;
    poll.status = DynFindCard(uid, typeName);
    if (poll.status == QARN_OK)
        poll.line = LibraryText(typeName) + QStringLiteral(" : ") +
                    QString::fromLatin1(uid.data(), qsizetype(uid.size()));
    else if (poll.status == QARN_NO_CARD)
        poll.line = QStringLiteral("No card on the reader");
    else
        poll.line = StatusMessage(poll.status);
    return poll;
}
