#include "uQarnDyn.h"

#include "NorvaneApi.h"
#include "uQarnDynPlatform.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace norv {
const char *const kEntryNames[kEntryCount] = {
#define NORV_ENTRY_NAME(name, result, params) "NORV_" #name,
    NORV_ENTRY_POINTS(NORV_ENTRY_NAME)
#undef NORV_ENTRY_NAME
};
} // namespace norv

namespace {

using norv::Entry;

enum class HandleState { NotTried, None, Loaded };

// Module state, one per process.
HandleState gHandleState = HandleState::None;
qarn::platform::ModuleHandle gModule = nullptr;
std::array<void *, norv::kEntryCount> gEntries{};
int gStartEndCounter = 0;

TLibraryLoadRecord gLoadRecord;
TQarnTickSource gTickSource = nullptr;
TQarnBenchmarkNotifier gBenchmarkNotifier = nullptr;
TQarnCallTracer gTracer = nullptr;

// What the library answered when the last DynConnect failed to open.
struct TOpenFailure {
    bool failed = false;
    TQarnStatus status = QARN_OK;
};
TOpenFailure gOpenFailure;
TQarnStopCheck gStopCheck = nullptr;

constexpr int kMessageCount = 5;
const std::array<const char *, kMessageCount> kMessageTexts = {
    "ERROR : norvane.dll not found or can't be loaded. Please run the installation procedure again !",
    "ERROR : norvane.dll appears to be corrupted. Please run the installation procedure again !",
    "ERROR : unsupported error code %d",
    "Reader not found on specified port. Please ensure your device is powered on, and plugged onto "
    "the right port.",
    "Reader not found. Please ensure your device is powered on, and plugged onto a valid computer "
    "port.",
};
// Emptied by the end hook; set again by a start hook that acts.
std::array<std::string, kMessageCount> gMessages = {kMessageTexts[0], kMessageTexts[1],
                                                    kMessageTexts[2], kMessageTexts[3],
                                                    kMessageTexts[4]};
enum MessageIndex { kMsgNotLoaded = 0, kMsgCorrupted = 1, kMsgUnsupported = 2, kMsgNotOnPort = 3,
                    kMsgNotFound = 4 };

// Typed view of one entry of the table.
template <Entry E> struct EntryType;
#define NORV_ENTRY_TYPE(name, result, params)                                                     \
    template <> struct EntryType<Entry::name> { using type = norv::t##name; };
NORV_ENTRY_POINTS(NORV_ENTRY_TYPE)
#undef NORV_ENTRY_TYPE

// The arguments worth a trace line: the device opened, the RF mode, the
// echo length, the settings word and the code whose message is asked.
template <typename... Args> std::string Arguments(Args...) { return std::string(); }
std::string Arguments(const char *device)
{
    return device ? "(\"" + std::string(device) + "\")" : std::string("(null)");
}
std::string Arguments(uint8_t mode) { return "(" + std::to_string(mode) + ")"; }
std::string Arguments(uint16_t length) { return "(" + std::to_string(length) + ")"; }
std::string Arguments(int16_t code) { return "(" + std::to_string(code) + ")"; }
std::string Arguments(uint32_t settings)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "(0x%02X)", static_cast<unsigned>(settings));
    return hex;
}

// One entry of the table, called as the export itself; with a tracer set,
// each call is timed and told to it.
template <Entry E, typename Function = typename EntryType<E>::type> class TEntryCall;
template <Entry E, typename Result, typename... Params>
class TEntryCall<E, Result(NORV_CALL *)(Params...)> {
public:
    using Function = Result(NORV_CALL *)(Params...);
    explicit TEntryCall(Function function) : FFunction(function) {}
    explicit operator bool() const { return FFunction != nullptr; }

    Result operator()(Params... args) const
    {
        if (!gTracer)
            return FFunction(args...);
        const auto start = std::chrono::steady_clock::now();
        const Result result = FFunction(args...);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        std::string call = norv::kEntryNames[static_cast<int>(E)] + Arguments(args...);
        int status = 0;
        if constexpr (std::is_pointer_v<Result>)
            call += result ? " = \"" + std::string(result) + "\"" : std::string(" = null");
        else
            status = result;
        gTracer(call, status,
                uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count()));
        return result;
    }

private:
    Function FFunction;
};

template <Entry E> TEntryCall<E> entry()
{
    return TEntryCall<E>(reinterpret_cast<typename EntryType<E>::type>(gEntries[static_cast<int>(E)]));
}

// Message index 2 with the code filled in.
std::string UnsupportedCodeMessage(TQarnStatus code)
{
    const std::string &format = gMessages[kMsgUnsupported];
    const auto at = format.find("%d");
    if (at == std::string::npos)
        return format;
    return format.substr(0, at) + std::to_string(static_cast<int>(code)) + format.substr(at + 2);
}

// Text of a buffer up to its first zero byte, never past size bytes.
std::string TextOf(const char *buffer, std::size_t size)
{
    const void *zero = std::memchr(buffer, 0, size);
    const std::size_t length =
        zero ? static_cast<std::size_t>(static_cast<const char *>(zero) - buffer) : size;
    return std::string(buffer, length);
}

// Each byte as two upper-case hex digits followed by one blank ("%0.2X ").
void AppendHexBytesSpaced(std::string &text, const uint8_t *bytes, std::size_t count)
{
    static const char kDigits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
        text += ' ';
    }
}

void AppendHexBytes(std::string &text, const uint8_t *bytes, std::size_t count)
{
    static const char kDigits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
}

} // namespace

// ---- process lifetime ------------------------------------------------------

void DynStartHook()
{
    if (gStartEndCounter != 0)
        return;
    gStartEndCounter = -1;
    for (int i = 0; i < kMessageCount; ++i)
        gMessages[i] = kMessageTexts[i];
    gHandleState = HandleState::NotTried;
    gModule = nullptr;
    gLoadRecord = TLibraryLoadRecord{};
    gOpenFailure = TOpenFailure{};
    DynLoadLibrary();
}

void DynLoadLibrary()
{
    if (gHandleState == HandleState::NotTried) {
        gLoadRecord.search.clear();
        gModule = qarn::platform::LoadReaderLibrary(gLoadRecord.search);
        gHandleState = gModule ? HandleState::Loaded : HandleState::None;
    }
    gLoadRecord.missingEntryPoints.clear();
    for (int i = 0; i < norv::kEntryCount; ++i) {
        gEntries[i] = gHandleState == HandleState::Loaded
                          ? qarn::platform::LookupEntry(gModule, norv::kEntryNames[i])
                          : nullptr;
        if (gHandleState == HandleState::Loaded && !gEntries[i])
            gLoadRecord.missingEntryPoints.emplace_back(norv::kEntryNames[i]);
    }
}

void DynUnloadLibrary()
{
    if (gStartEndCounter != -1)
        return;
    gStartEndCounter = 0;
    DynDisconnect();
    if (gHandleState == HandleState::Loaded)
        qarn::platform::UnloadReaderLibrary(gModule);
    gModule = nullptr;
    gHandleState = HandleState::None;
    gEntries.fill(nullptr);
    gLoadRecord = TLibraryLoadRecord{};
    gOpenFailure = TOpenFailure{};
    for (auto &message : gMessages)
        message.clear();
}

const TLibraryCandidate *TLibraryLoadRecord::RefusedCopy() const
{
    for (const TLibraryCandidate &candidate : search) {
        if (candidate.loaded)
            return nullptr;
    }
    for (const TLibraryCandidate &candidate : search) {
        if (candidate.present)
            return &candidate;
    }
    return nullptr;
}

std::string DynCandidateText(const TLibraryCandidate &candidate)
{
    if (candidate.loaded)
        return candidate.path + " (loaded)";
    if (candidate.present)
        return candidate.path + " (present, not loaded: " + candidate.error + ")";
    return candidate.path + " (not present)";
}

const TLibraryLoadRecord &DynGetLoadRecord() { return gLoadRecord; }

void DynSetCallTracer(TQarnCallTracer tracer) { gTracer = tracer; }

bool DynGetOpenFailure(TQarnStatus &status, std::string &message)
{
    status = gOpenFailure.status;
    message.clear();
    if (!gOpenFailure.failed)
        return false;
    if (const auto getErrorMessage = entry<Entry::GetErrorMessage>()) {
        const char *text = getErrorMessage(status);
        message = text ? text : "";
    }
    return true;
}

// ---- operations ------------------------------------------------------------

TQarnStatus DynGetLibraryInfo(std::string &version, std::string &path)
{
    version.clear();
    if (gHandleState != HandleState::Loaded)
        return QARN_LIBRARY_NOT_LOADED;

    std::string loadedFrom;
    path = qarn::platform::ModulePath(gModule, loadedFrom) ? loadedFrom : "???";

    const auto getLibrary = entry<Entry::GetLibraryA>();
    if (!getLibrary)
        return QARN_ENTRY_POINT_MISSING;

    char buffer[norv::kVersionBufferSize] = {};
    const TQarnStatus status = getLibrary(buffer, norv::kVersionBufferSize);
    if (status != QARN_OK)
        return status;
    buffer[norv::kVersionBufferSize - 1] = 0;
    version = TextOf(buffer, sizeof buffer);
    return QARN_OK;
}

TQarnStatus DynGetCommList(std::vector<std::string> &list)
{
    if (gHandleState != HandleState::Loaded)
        return QARN_LIBRARY_NOT_LOADED;
    const auto getCommList = entry<Entry::GetCommListA>();
    if (!getCommList)
        return QARN_ENTRY_POINT_MISSING;

    std::vector<char> buffer(norv::kCommListBufferSize, 0);
    const TQarnStatus status = getCommList(buffer.data(), norv::kCommListBufferSize);
    if (status != QARN_OK)
        return status;
    buffer.back() = 0;
    const std::string text = TextOf(buffer.data(), buffer.size());

    // Whole lines only: what follows the last line feed is dropped.
    std::size_t start = 0;
    for (std::size_t feed = text.find('\n'); feed != std::string::npos;
         feed = text.find('\n', start)) {
        list.push_back(text.substr(start, feed - start));
        start = feed + 1;
    }
    return QARN_OK;
}

void DynGetErrorMessage(TQarnStatus code, std::string &text)
{
    if (gHandleState != HandleState::Loaded) {
        text = gMessages[kMsgNotLoaded];
        return;
    }
    const auto getErrorMessage = entry<Entry::GetErrorMessage>();
    if (!getErrorMessage) {
        text = gMessages[kMsgCorrupted];
        return;
    }
    if (code >= -999) {
        // A null or empty text is no message: the code is shown instead.
        const char *message = getErrorMessage(code);
        text = message && *message ? std::string(message) : UnsupportedCodeMessage(code);
        return;
    }
    switch (code) {
    case QARN_LIBRARY_NOT_LOADED: text = gMessages[kMsgNotLoaded]; break;
    case QARN_ENTRY_POINT_MISSING: text = gMessages[kMsgCorrupted]; break;
    case QARN_READER_NOT_FOUND_ON_PORT: text = gMessages[kMsgNotOnPort]; break;
    case QARN_READER_NOT_FOUND: text = gMessages[kMsgNotFound]; break;
    case QARN_STOPPED: text = "Stopped on request before the end"; break;
    default: text = UnsupportedCodeMessage(code); break;
    }
}

void DynDisconnect()
{
    if (gHandleState != HandleState::Loaded)
        return;
    if (const auto controlRF = entry<Entry::ControlRF>())
        controlRF(norv::kRfOff);
    if (const auto readerClose = entry<Entry::ReaderClose>())
        readerClose();
}

TQarnStatus DynConnect(std::string &device, std::string &firmware, std::string &chipsetHWID,
                       std::string &chipsetSNR, uint32_t &settings, uint32_t &consts,
                       uint32_t &features)
{
    firmware.clear();
    chipsetHWID.clear();
    chipsetSNR.clear();
    consts = 0;
    features = 0;
    gOpenFailure = TOpenFailure{};

    const auto readerOpen = entry<Entry::ReaderOpenA>();
    const auto controlRF = entry<Entry::ControlRF>();
    const auto getDevice = entry<Entry::ReaderGetDeviceA>();
    const auto getFirmware = entry<Entry::ReaderGetFirmwareA>();
    const auto getRc500Id = entry<Entry::ReaderGetRc500Id>();
    if (!readerOpen || !controlRF || !getDevice || !getFirmware || !getRc500Id)
        return QARN_ENTRY_POINT_MISSING;

    TQarnStatus status = QARN_OK;
    if (const auto setSettings = entry<Entry::ReaderSetDeviceSettings>()) {
        status = setSettings(settings);
        if (status != QARN_OK)
            return status;
    }

    status = readerOpen(device.empty() ? nullptr : device.c_str());
    if (status != QARN_OK) {
        // The caller gets the binding's own code; what the library said is
        // kept for whoever reports the failure.
        gOpenFailure.failed = true;
        gOpenFailure.status = status;
        return device.empty() ? QARN_READER_NOT_FOUND : QARN_READER_NOT_FOUND_ON_PORT;
    }

    // One buffer for both texts; the library is told 256 and the last byte
    // is forced to zero, so neither text exceeds 256 characters.
    char text[norv::kTextBufferSize] = {};
    constexpr int kTold = norv::kTextBufferSize - 1;

    status = getDevice(text, kTold);
    if (status != QARN_OK)
        return status;
    text[kTold] = 0;
    device = TextOf(text, sizeof text);

    status = getFirmware(text, kTold);
    if (status != QARN_OK)
        return status;
    text[kTold] = 0;
    firmware = TextOf(text, sizeof text);

    uint8_t chipsetInfo[norv::kChipsetBufferSize] = {};
    uint8_t chipsetId[norv::kChipsetBufferSize] = {};
    status = getRc500Id(chipsetInfo, chipsetId);
    if (status != QARN_OK)
        return status;
    AppendHexBytesSpaced(chipsetHWID, chipsetInfo, 5);
    AppendHexBytesSpaced(chipsetSNR, chipsetId, 4);

    if (const auto getSettings = entry<Entry::ReaderGetDeviceSettings>()) {
        status = getSettings(&settings);
        if (status != QARN_OK)
            return status;
    }
    if (const auto getConsts = entry<Entry::ReaderGetConsts>()) {
        status = getConsts(&consts);
        if (status != QARN_OK && status != QARN_NOT_SUPPORTED)
            return status;
    }
    if (const auto getFeatures = entry<Entry::ReaderGetFeatures>()) {
        status = getFeatures(&features);
        if (status != QARN_OK && status != QARN_NOT_SUPPORTED)
            return status;
    }
    return controlRF(norv::kRfOff);
}

std::string DynCardTypeName(uint16_t cardType)
{
    switch (cardType) {
    case 0x0001: return "ISO/IEC 14443-A or NXP Mifare";
    case 0x0002: return "ISO/IEC 14443-B";
    case 0x0004: return "ISO/IEC 15693";
    case 0x0008: return "NXP ICODE1";
    case 0x0010: return "Inside Contactless PicoTAG";
    case 0x0020: return "ST MicroElectronics SR";
    case 0x0040: return "ASK CTS256B or CTS512B";
    case 0x0080: return "Calypso (Innovatron protocol)";
    default: {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(cardType));
        return std::string("Unknown type ") + hex;
    }
    }
}

TQarnStatus DynFindCard(std::string &uid, std::string &typeName)
{
    const auto find = entry<Entry::Find>();
    const auto controlRF = entry<Entry::ControlRF>();
    if (!find || !controlRF)
        return QARN_ENTRY_POINT_MISSING;

    uint16_t cardType = 0;
    uint8_t uidBytes[norv::kUidBufferSize] = {};
    uint8_t uidLength = norv::kUidBufferSize;
    const TQarnStatus status = find(norv::kFindAllProtocols, &cardType, uidBytes, &uidLength);
    if (status == QARN_OK) {
        // A library may report more bytes than the buffer holds: convert
        // no more than the buffer's capacity.
        const std::size_t count =
            uidLength < norv::kUidBufferSize ? uidLength : std::size_t{norv::kUidBufferSize};
        uid.clear();
        AppendHexBytes(uid, uidBytes, count);
        typeName = DynCardTypeName(cardType);
    }
    controlRF(norv::kRfOff);
    return status;
}

// ---- echo benchmark --------------------------------------------------------

void DynSetTickSource(TQarnTickSource source) { gTickSource = source; }

uint32_t DynTickCount() { return gTickSource ? gTickSource() : qarn::platform::TickCount(); }

void DynSetBenchmarkFailureNotifier(TQarnBenchmarkNotifier notifier)
{
    gBenchmarkNotifier = notifier;
}

void DynSetStopCheck(TQarnStopCheck check) { gStopCheck = check; }

namespace {

constexpr uint32_t kEchoExchanges = 25;

enum class SeriesOutcome { Measured, StoppedQuietly, Failed, StoppedByHost };

// One timed series; inside the timed loop run only the library call and the
// host's stop check (a flag read).
SeriesOutcome RunEchoSeries(const TEntryCall<Entry::Echo> &echo, uint16_t length, bool lastSeries,
                            TEchoAverage &average, TQarnStatus &failure)
{
    const uint32_t start = DynTickCount();
    for (uint32_t i = 0; i < kEchoExchanges; ++i) {
        if (gStopCheck && gStopCheck())
            return SeriesOutcome::StoppedByHost;
        const TQarnStatus status = echo(length);
        if (status == QARN_OK)
            continue;
        if (status == QARN_NOT_SUPPORTED || (lastSeries && (status == -243 || status == -244)))
            return SeriesOutcome::StoppedQuietly;
        failure = status;
        return SeriesOutcome::Failed;
    }
    const uint32_t elapsed = DynTickCount() - start; // modulo 2^32: a wrap still counts right
    average.measured = true;
    average.milliseconds = elapsed / kEchoExchanges;
    return SeriesOutcome::Measured;
}

} // namespace

TQarnStatus DynBenchmark(TEchoAverage &average128, TEchoAverage &average256,
                         TEchoAverage &average768)
{
    average128 = average256 = average768 = TEchoAverage{};

    const auto echo = entry<Entry::Echo>();
    if (!echo)
        return QARN_OK;

    const TQarnStatus probe = echo(0);
    if (probe != QARN_OK)
        return probe;

    struct Series {
        uint16_t length;
        TEchoAverage *average;
    };
    const Series series[] = {{128, &average128}, {256, &average256}, {768, &average768}};
    for (const Series &s : series) {
        const bool last = s.length == 768;
        TQarnStatus failure = QARN_OK;
        switch (RunEchoSeries(echo, s.length, last, *s.average, failure)) {
        case SeriesOutcome::Measured:
            break;
        case SeriesOutcome::StoppedQuietly:
            return QARN_OK;
        case SeriesOutcome::Failed:
            // What was measured before the failure is discarded.
            average128 = average256 = average768 = TEchoAverage{};
            if (last && gBenchmarkNotifier)
                gBenchmarkNotifier(failure);
            return failure;
        case SeriesOutcome::StoppedByHost:
            // Nothing to show: the host that asked knows why.
            average128 = average256 = average768 = TEchoAverage{};
            return QARN_STOPPED;
        }
    }
    return QARN_OK;
}
