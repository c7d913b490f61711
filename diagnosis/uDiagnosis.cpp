#include "uDiagnosis.h"

#include "uBenchmarkReport.h"
#include "uDeviceSettings.h"
#include "uFeatureText.h"

#include <QRegularExpression>

namespace {

QString ByteEscape(uint byte)
{
    return QStringLiteral("\\x") + QString::number(byte, 16).rightJustified(2, QLatin1Char('0')).toUpper();
}

// The length of the valid UTF-8 sequence at text[at], 0 when there is none
// (a stray, overlong, surrogate or out-of-range sequence).
qsizetype Utf8SequenceLength(const QByteArray &text, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return uchar(text[i]); };
    const uchar lead = byte(at);
    if (lead < 0x80)
        return 1;
    const qsizetype length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                           : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (qsizetype i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
    const uchar second = byte(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

} // namespace

QString LibraryText(const QByteArray &bytes)
{
    QString text;
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype length = Utf8SequenceLength(bytes, at);
        if (length == 0) {
            text += ByteEscape(uchar(bytes[at]));
            ++at;
        } else {
            text += QString::fromUtf8(bytes.constData() + at, length);
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
        bytes += text.mid(done, match.capturedStart() - done).toUtf8();
        bytes += char(match.captured(1).toUInt(nullptr, 16));
        done = match.capturedEnd();
    }
    return bytes + text.mid(done).toUtf8();
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
