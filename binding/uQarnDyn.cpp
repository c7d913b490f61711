// The loader and the operations: the library loaded once, its entry points
// bound, and each reader operation behind one status code.  The benchmark
// is in uQarnDynBenchmark.cpp, the call trace in uQarnDynTrace.cpp.
#include "uQarnDyn.h"

#include "NorvaneApi.h"
#include "uQarnDynCall.h"
#include "uQarnDynPlatform.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace norv {
const char *const kEntryNames[kEntryCount] = {
#define NORV_ENTRY_NAME(name, result, params) "NORV_" #name,
    NORV_ENTRY_POINTS(NORV_ENTRY_NAME)
#undef NORV_ENTRY_NAME
};
} // namespace norv

namespace qarn::dyn {
std::array<void *, norv::kEntryCount> gEntries{};
} // namespace qarn::dyn

namespace {

using qarn::dyn::Entry;
using qarn::dyn::EntryOf;
using qarn::dyn::gEntries;

enum class THandleState { NotTried, None, Loaded };

// Module state, one per process.
THandleState gHandleState = THandleState::None;
qarn::platform::TModuleHandle gModule = nullptr;
int gStartEndCounter = 0;

TLibraryLoadRecord gLoadRecord;

// What the library answered when the last DynConnect failed to open.
struct TOpenFailure {
    bool failed = false;
    TQarnStatus status = QARN_OK;
};
TOpenFailure gOpenFailure;

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
std::array<std::string, kMessageCount> gMessages = {
    kMessageTexts[0], kMessageTexts[1], kMessageTexts[2], kMessageTexts[3], kMessageTexts[4]};
enum TMessageIndex {
    kMsgNotLoaded = 0,
    kMsgCorrupted = 1,
    kMsgUnsupported = 2,
    kMsgNotOnPort = 3,
    kMsgNotFound = 4
};

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
    gHandleState = THandleState::NotTried;
    gModule = nullptr;
    gLoadRecord = TLibraryLoadRecord{};
    gOpenFailure = TOpenFailure{};
    DynLoadLibrary();
}

void DynLoadLibrary()
{
    if (gHandleState == THandleState::NotTried) {
        gLoadRecord.search.clear();
        gModule = qarn::platform::LoadReaderLibrary(gLoadRecord.search);
        gHandleState = gModule ? THandleState::Loaded : THandleState::None;
    }
    gLoadRecord.missingEntryPoints.clear();
    for (int i = 0; i < norv::kEntryCount; ++i) {
        gEntries[i] = gHandleState == THandleState::Loaded
                          ? qarn::platform::LookupEntry(gModule, norv::kEntryNames[i])
                          : nullptr;
        if (gHandleState == THandleState::Loaded && !gEntries[i])
            gLoadRecord.missingEntryPoints.emplace_back(norv::kEntryNames[i]);
    }
}

void DynUnloadLibrary()
{
    if (gStartEndCounter != -1)
        return;
    gStartEndCounter = 0;
    DynDisconnect();
    if (gHandleState == THandleState::Loaded)
        qarn::platform::UnloadReaderLibrary(gModule);
    gModule = nullptr;
    gHandleState = THandleState::None;
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

bool DynGetOpenFailure(TQarnStatus &status, std::string &message)
{
    status = gOpenFailure.status;
    message.clear();
    if (!gOpenFailure.failed)
        return false;
    if (const auto getErrorMessage = EntryOf<Entry::GetErrorMessage>()) {
        const char *text = getErrorMessage(status);
        message = text ? text : "";
    }
    return true;
}

// ---- operations ------------------------------------------------------------

TQarnStatus DynGetLibraryInfo(std::string &version, std::string &path)
{
    version.clear();
    if (gHandleState != THandleState::Loaded)
        return QARN_LIBRARY_NOT_LOADED;

    std::string loadedFrom;
    path = qarn::platform::ModulePath(gModule, loadedFrom) ? loadedFrom : "???";

    const auto getLibrary = EntryOf<Entry::GetLibraryA>();
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
    if (gHandleState != THandleState::Loaded)
        return QARN_LIBRARY_NOT_LOADED;
    const auto getCommList = EntryOf<Entry::GetCommListA>();
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
    if (gHandleState != THandleState::Loaded) {
        text = gMessages[kMsgNotLoaded];
        return;
    }
    const auto getErrorMessage = EntryOf<Entry::GetErrorMessage>();
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
    if (gHandleState != THandleState::Loaded)
        return;
    if (const auto controlRF = EntryOf<Entry::ControlRF>())
        controlRF(norv::kRfOff);
    if (const auto readerClose = EntryOf<Entry::ReaderClose>())
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

    const auto readerOpen = EntryOf<Entry::ReaderOpenA>();
    const auto controlRF = EntryOf<Entry::ControlRF>();
    const auto getDevice = EntryOf<Entry::ReaderGetDeviceA>();
    const auto getFirmware = EntryOf<Entry::ReaderGetFirmwareA>();
    const auto getRc500Id = EntryOf<Entry::ReaderGetRc500Id>();
    if (!readerOpen || !controlRF || !getDevice || !getFirmware || !getRc500Id)
        return QARN_ENTRY_POINT_MISSING;

    TQarnStatus status = QARN_OK;
    if (const auto setSettings = EntryOf<Entry::ReaderSetDeviceSettings>()) {
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

    if (const auto getSettings = EntryOf<Entry::ReaderGetDeviceSettings>()) {
        status = getSettings(&settings);
        if (status != QARN_OK)
            return status;
    }
    if (const auto getConsts = EntryOf<Entry::ReaderGetConsts>()) {
        status = getConsts(&consts);
        if (status != QARN_OK && status != QARN_NOT_SUPPORTED)
            return status;
    }
    if (const auto getFeatures = EntryOf<Entry::ReaderGetFeatures>()) {
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
    const auto find = EntryOf<Entry::Find>();
    const auto controlRF = EntryOf<Entry::ControlRF>();
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
