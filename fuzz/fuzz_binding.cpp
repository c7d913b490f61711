// Fuzzes the reader library binding (binding/, the real qarn_binding) against
// a hostile build of the reader library (hostile_library.cpp), loaded the way
// the program loads the real one: from the program folder, by dlopen.
//
// The input is a series of operations.  Each one is
//   1 byte    the operation (modulo kOperationCount)
//   n bytes   its own parameters (see RunOperation)
//   2 bytes   little-endian length L of what the library is fed
//   L bytes   fed to the hostile library before the operation
// The library draws every status and output from its feed and records each
// call; after every operation the outputs and the status are compared with
// what the binding must make of those calls.  Any difference, and any rule
// broken (texts too long, chipset texts of the wrong length, a UID text of an
// odd length or too long, an empty message while the library is loaded, a
// status of the binding's own range where the binding did not make it),
// ends the run through abort() with a line that tells what was expected.
#include "byte_reader.h"
#include "hostile_control.h"
#include "uQarnDyn.h"
#include "uQarnDynPlatform.h"

#include <dlfcn.h>

#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifndef QARN_HOSTILE_DIR
#define QARN_HOSTILE_DIR ""
#endif

namespace {

using FeedFunction = void (*)(const uint8_t *, size_t);
using CallsFunction = const NorvHostileCall *(*)(size_t *);

FeedFunction gFeed = nullptr;
CallsFunction gCallsOf = nullptr;
std::string gHostilePath;
// Whether the binding holds the library: after the start hook, not after
// the end hook.
bool gLoaded = false;
const char *gOperation = "start-up";
// NORVFUZZ_TRACE=1 prints each operation, its status and the library's calls.
bool gTrace = false;
long gStatus = 0;

// The clock that DynBenchmark reads: the values of the operation's input.
std::vector<uint32_t> gTicks;
std::size_t gTicksRead = 0;
bool gTickOverrun = false;

std::vector<TQarnStatus> gNotified;

const std::string kNotLoaded =
    "ERROR : norvane.dll not found or can't be loaded. Please run the installation procedure again !";
const std::string kCorrupted =
    "ERROR : norvane.dll appears to be corrupted. Please run the installation procedure again !";
const std::string kNotOnPort = "Reader not found on specified port. Please ensure your device is "
                               "powered on, and plugged onto the right port.";
const std::string kNotFound = "Reader not found. Please ensure your device is powered on, and "
                              "plugged onto a valid computer port.";

// ---- reporting -------------------------------------------------------------

// A text as C-like escapes, cut after 160 bytes.
std::string Shown(const std::string &text)
{
    std::string shown = "\"";
    for (std::size_t i = 0; i < text.size() && i < 160; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            shown += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            shown += escaped;
        }
    }
    shown += text.size() > 160 ? "\"... (" + std::to_string(text.size()) + " bytes)" : "\"";
    return shown;
}

[[noreturn]] void Fail(int line, const char *format, ...)
{
    std::fprintf(stderr, "\n*** binding rule broken in %s (fuzz_binding.cpp:%d): ", gOperation, line);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fprintf(stderr, "\n");
    std::abort();
}

#define EXPECT(condition)                                                                          \
    do {                                                                                           \
        if (!(condition))                                                                          \
            Fail(__LINE__, "%s", #condition);                                                      \
    } while (0)

#define EXPECT_TEXT(actual, expected)                                                              \
    do {                                                                                           \
        if ((actual) != (expected))                                                                \
            Fail(__LINE__, "%s is %s, expected %s", #actual, Shown(actual).c_str(),                \
                 Shown(expected).c_str());                                                         \
    } while (0)

#define EXPECT_NUMBER(actual, expected)                                                            \
    do {                                                                                           \
        const long long actualValue = static_cast<long long>(actual);                              \
        const long long expectedValue = static_cast<long long>(expected);                          \
        if (actualValue != expectedValue)                                                          \
            Fail(__LINE__, "%s is %lld, expected %lld", #actual, actualValue, expectedValue);      \
    } while (0)

// ---- what the library saw --------------------------------------------------

std::vector<NorvHostileCall> Calls()
{
    std::size_t count = 0;
    const NorvHostileCall *calls = gCallsOf(&count);
    return std::vector<NorvHostileCall>(calls, calls + count);
}

const char *EntryName(int32_t entry)
{
    static const char *const kNames[kHostileEntryCount] = {
        "NORV_GetLibraryA",        "NORV_GetCommListA",       "NORV_GetErrorMessage",
        "NORV_ReaderOpenA",        "NORV_ReaderClose",        "NORV_ControlRF",
        "NORV_Echo",               "NORV_Find",               "NORV_ReaderGetDeviceA",
        "NORV_ReaderGetFirmwareA", "NORV_ReaderGetRc500Id",   "NORV_ReaderSetDeviceSettings",
        "NORV_ReaderGetDeviceSettings", "NORV_ReaderGetFeatures", "NORV_ReaderGetConsts"};
    return entry >= 0 && entry < kHostileEntryCount ? kNames[entry] : "?";
}

// Walks the recorded calls in the order the binding must make them.
class CallWalk {
public:
    explicit CallWalk(std::vector<NorvHostileCall> calls) : FCalls(std::move(calls)) {}

    const NorvHostileCall &Next(NorvHostileEntry entry)
    {
        if (FAt >= FCalls.size())
            Fail(__LINE__, "%s was not called (only %zu calls)", EntryName(entry), FCalls.size());
        const NorvHostileCall &call = FCalls[FAt++];
        if (call.entry != entry)
            Fail(__LINE__, "call %zu is %s, expected %s", FAt, EntryName(call.entry),
                 EntryName(entry));
        return call;
    }
    void ExpectEnd() const
    {
        if (FAt != FCalls.size())
            Fail(__LINE__, "%zu calls made, expected %zu (call %zu is %s)", FCalls.size(), FAt,
                 FAt + 1, EntryName(FCalls[FAt].entry));
    }

private:
    std::vector<NorvHostileCall> FCalls;
    std::size_t FAt = 0;
};

void ExpectNoCalls()
{
    const auto calls = Calls();
    if (!calls.empty())
        Fail(__LINE__, "%zu library calls made, none expected (first %s)", calls.size(),
             EntryName(calls[0].entry));
}

// ---- models of the binding's buffers ---------------------------------------

// A buffer that the binding owns, as the library's writes leave it.
struct Buffer {
    explicit Buffer(std::size_t size) : bytes(size, '\0') {}
    void Apply(const uint8_t *written, uint32_t length)
    {
        if (length > bytes.size())
            Fail(__LINE__, "the library wrote %u bytes into a buffer of %zu", length, bytes.size());
        for (uint32_t i = 0; i < length; ++i)
            bytes[i] = static_cast<char>(written[i]);
    }
    std::string TextUpToZero() const { return std::string(bytes.c_str()); }
    std::string bytes;
};

std::string Hex(const std::string &bytes, std::size_t count, const char *format)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        char digits[4];
        std::snprintf(digits, sizeof digits, format, static_cast<unsigned char>(bytes[i]));
        text += digits;
    }
    return text;
}

bool IsOwnCode(TQarnStatus status) { return status <= -1000 && status >= -1003; }

// A status of the binding's own range is only acceptable where the binding
// makes it or where the library returned exactly that status.
void ExpectStatus(int line, TQarnStatus status, TQarnStatus expected)
{
    if (status != expected)
        Fail(line, "status %d, expected %d%s", status, expected,
             IsOwnCode(status) && !IsOwnCode(expected) ? " (a code of the binding's own)" : "");
}

// ---- the operations --------------------------------------------------------

void LibraryInfo()
{
    std::string version = "stale version", path = "stale path";
    const TQarnStatus status = DynGetLibraryInfo(version, path);
    gStatus = status;
    if (!gLoaded) {
        ExpectStatus(__LINE__, status, QARN_LIBRARY_NOT_LOADED);
        EXPECT_TEXT(version, std::string());
        EXPECT_TEXT(path, std::string("stale path"));
        ExpectNoCalls();
        return;
    }
    EXPECT_TEXT(path, gHostilePath);
    CallWalk walk(Calls());
    const NorvHostileCall &call = walk.Next(kHostileGetLibraryA);
    walk.ExpectEnd();
    EXPECT_NUMBER(call.argument, 257);
    if (call.status != 0) {
        ExpectStatus(__LINE__, status, call.status);
        EXPECT_TEXT(version, std::string());
        return;
    }
    ExpectStatus(__LINE__, status, QARN_OK);
    Buffer buffer(257);
    buffer.Apply(call.written, call.writtenLength);
    buffer.bytes[256] = 0;
    EXPECT_TEXT(version, buffer.TextUpToZero());
    EXPECT(version.size() <= 256);
}

void CommList()
{
    std::vector<std::string> list{"kept"};
    const TQarnStatus status = DynGetCommList(list);
    gStatus = status;
    if (!gLoaded) {
        ExpectStatus(__LINE__, status, QARN_LIBRARY_NOT_LOADED);
        EXPECT(list == std::vector<std::string>{"kept"});
        ExpectNoCalls();
        return;
    }
    CallWalk walk(Calls());
    const NorvHostileCall &call = walk.Next(kHostileGetCommListA);
    walk.ExpectEnd();
    EXPECT_NUMBER(call.argument, 4096);
    if (call.status != 0) {
        ExpectStatus(__LINE__, status, call.status);
        EXPECT(list == std::vector<std::string>{"kept"});
        return;
    }
    ExpectStatus(__LINE__, status, QARN_OK);
    Buffer buffer(4096);
    buffer.Apply(call.written, call.writtenLength);
    buffer.bytes[4095] = 0;
    std::vector<std::string> expected{"kept"};
    std::string line;
    for (const char c : buffer.TextUpToZero()) {
        if (c == '\n') {
            expected.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    EXPECT_NUMBER(list.size(), expected.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_TEXT(list[i], expected[i]);
        EXPECT(list[i].find('\n') == std::string::npos);
    }
}

std::string UnsupportedMessage(TQarnStatus code)
{
    return "ERROR : unsupported error code " + std::to_string(code);
}

void ErrorMessage(TQarnStatus code)
{
    std::string text = "stale text";
    DynGetErrorMessage(code, text);
    if (!gLoaded) {
        // After the end hook the message table is empty.
        ExpectNoCalls();
        EXPECT(text.empty() || text == kNotLoaded);
        return;
    }
    EXPECT(!text.empty());
    std::string expected;
    if (code >= -999) {
        CallWalk walk(Calls());
        const NorvHostileCall &call = walk.Next(kHostileGetErrorMessage);
        walk.ExpectEnd();
        EXPECT_NUMBER(call.argument, code);
        // A null or empty text from the library is no message: the code is
        // shown instead.
        expected = call.message && *call.message ? std::string(call.message)
                                                 : UnsupportedMessage(code);
    } else {
        ExpectNoCalls();
        switch (code) {
        case QARN_LIBRARY_NOT_LOADED: expected = kNotLoaded; break;
        case QARN_ENTRY_POINT_MISSING: expected = kCorrupted; break;
        case QARN_READER_NOT_FOUND_ON_PORT: expected = kNotOnPort; break;
        case QARN_READER_NOT_FOUND: expected = kNotFound; break;
        case QARN_STOPPED: expected = "Stopped on request before the end"; break;
        default: expected = UnsupportedMessage(code); break;
        }
    }
    EXPECT_TEXT(text, expected);
}

void Connect(const std::string &deviceIn, uint32_t settingsIn)
{
    std::string device = deviceIn, firmware = "stale", hwid = "stale", snr = "stale";
    uint32_t settings = settingsIn, consts = 0xDEADBEEF, features = 0xFEEDFACE;
    const TQarnStatus status = DynConnect(device, firmware, hwid, snr, settings, consts, features);
    gStatus = status;

    std::string expectedDevice = deviceIn, expectedFirmware, expectedHwid, expectedSnr;
    uint32_t expectedSettings = settingsIn, expectedConsts = 0, expectedFeatures = 0;
    TQarnStatus expected = QARN_OK;
    CallWalk walk(Calls());
    // Each step either goes on or ends the operation with its status.
    const auto run = [&]() -> TQarnStatus {
        if (!gLoaded)
            return QARN_ENTRY_POINT_MISSING;
        const NorvHostileCall &set = walk.Next(kHostileReaderSetDeviceSettings);
        EXPECT_NUMBER(set.argument, settingsIn);
        if (set.status != 0)
            return set.status;

        const NorvHostileCall &open = walk.Next(kHostileReaderOpenA);
        if (deviceIn.empty())
            EXPECT(open.device == nullptr);
        else
            EXPECT(open.device && std::string(open.device) == std::string(deviceIn.c_str()));
        if (open.status != 0)
            return deviceIn.empty() ? QARN_READER_NOT_FOUND : QARN_READER_NOT_FOUND_ON_PORT;

        // One 257-byte buffer for both texts, told 256.
        Buffer text(257);
        const auto readText = [&](NorvHostileEntry entry, std::string &into) {
            const NorvHostileCall &call = walk.Next(entry);
            EXPECT_NUMBER(call.argument, 256);
            text.Apply(call.written, call.writtenLength);
            if (call.status == 0) {
                text.bytes[256] = 0;
                into = text.TextUpToZero();
            }
            return call.status;
        };
        if (const TQarnStatus failed = readText(kHostileReaderGetDeviceA, expectedDevice))
            return failed;
        if (const TQarnStatus failed = readText(kHostileReaderGetFirmwareA, expectedFirmware))
            return failed;

        const NorvHostileCall &rc500 = walk.Next(kHostileReaderGetRc500Id);
        Buffer info(17), id(17);
        info.Apply(rc500.written, rc500.writtenLength);
        id.Apply(rc500.written2, rc500.written2Length);
        if (rc500.status != 0)
            return rc500.status;
        expectedHwid = Hex(info.bytes, 5, "%02X ");
        expectedSnr = Hex(id.bytes, 4, "%02X ");

        // A word the library wrote stays, whatever the status; "not
        // supported" is tolerated for the consts and the features only.
        const auto readWord = [&](NorvHostileEntry entry, uint32_t &into, bool tolerant) {
            const NorvHostileCall &call = walk.Next(entry);
            if (call.wroteWord)
                into = call.word;
            return tolerant && call.status == QARN_NOT_SUPPORTED ? QARN_OK : call.status;
        };
        if (const TQarnStatus failed =
                readWord(kHostileReaderGetDeviceSettings, expectedSettings, false))
            return failed;
        if (const TQarnStatus failed = readWord(kHostileReaderGetConsts, expectedConsts, true))
            return failed;
        if (const TQarnStatus failed = readWord(kHostileReaderGetFeatures, expectedFeatures, true))
            return failed;

        const NorvHostileCall &rfOff = walk.Next(kHostileControlRF);
        EXPECT_NUMBER(rfOff.argument, 0);
        return rfOff.status;
    };
    expected = run();
    walk.ExpectEnd();

    ExpectStatus(__LINE__, status, expected);
    EXPECT_TEXT(device, expectedDevice);
    EXPECT_TEXT(firmware, expectedFirmware);
    EXPECT_TEXT(hwid, expectedHwid);
    EXPECT_TEXT(snr, expectedSnr);
    EXPECT_NUMBER(settings, expectedSettings);
    EXPECT_NUMBER(consts, expectedConsts);
    EXPECT_NUMBER(features, expectedFeatures);
    EXPECT(firmware.size() <= 256);
    if (status == QARN_OK) {
        EXPECT(device.size() <= 256);
        EXPECT_NUMBER(hwid.size(), 15);
        EXPECT_NUMBER(snr.size(), 12);
    }
}

void ExpectCardTypeName(uint16_t cardType, const std::string &name)
{
    EXPECT(!name.empty());
    const bool known = cardType != 0 && cardType <= 0x80 && (cardType & (cardType - 1)) == 0;
    if (known) {
        EXPECT(name.rfind("Unknown type", 0) == std::string::npos);
    } else {
        char expected[32];
        std::snprintf(expected, sizeof expected, "Unknown type %04X", cardType);
        EXPECT_TEXT(name, std::string(expected));
    }
}

void FindCard()
{
    std::string uid = "stale uid", typeName = "stale type";
    const TQarnStatus status = DynFindCard(uid, typeName);
    gStatus = status;
    if (!gLoaded) {
        ExpectStatus(__LINE__, status, QARN_ENTRY_POINT_MISSING);
        EXPECT_TEXT(uid, std::string("stale uid"));
        EXPECT_TEXT(typeName, std::string("stale type"));
        ExpectNoCalls();
        return;
    }
    CallWalk walk(Calls());
    const NorvHostileCall &find = walk.Next(kHostileFind);
    const NorvHostileCall &rfOff = walk.Next(kHostileControlRF);
    walk.ExpectEnd();
    EXPECT_NUMBER(find.argument, 0xFFFF);
    EXPECT_NUMBER(find.uidLengthIn, 12);
    EXPECT_NUMBER(rfOff.argument, 0);
    ExpectStatus(__LINE__, status, find.status);
    if (find.status != 0) {
        EXPECT_TEXT(uid, std::string("stale uid"));
        EXPECT_TEXT(typeName, std::string("stale type"));
        return;
    }
    Buffer bytes(12);
    bytes.Apply(find.written, find.writtenLength);
    const std::size_t reported = find.wroteUidLength ? find.uidLength : 12;
    EXPECT_TEXT(uid, Hex(bytes.bytes, reported < 12 ? reported : 12, "%02X"));
    EXPECT(uid.size() <= 24 && uid.size() % 2 == 0);
    ExpectCardTypeName(find.wroteCardType ? find.cardType : 0, typeName);
}

uint32_t ReadTick()
{
    if (gTicksRead >= gTicks.size()) {
        gTickOverrun = true;
        return 0;
    }
    return gTicks[gTicksRead++];
}

void Notified(TQarnStatus status) { gNotified.push_back(status); }

void Benchmark(const std::vector<uint32_t> &ticks)
{
    gTicks = ticks;
    gTicksRead = 0;
    gTickOverrun = false;
    gNotified.clear();
    TEchoAverage averages[3];
    for (auto &average : averages)
        average = TEchoAverage{true, 12345};
    const TQarnStatus status = DynBenchmark(averages[0], averages[1], averages[2]);
    gStatus = status;
    EXPECT(!gTickOverrun);

    TEchoAverage expected[3];
    std::size_t ticksUsed = 0;
    std::vector<TQarnStatus> expectedNotified;
    CallWalk walk(Calls());
    const auto run = [&]() -> TQarnStatus {
        if (!gLoaded)
            return QARN_OK;
        const NorvHostileCall &probe = walk.Next(kHostileEcho);
        EXPECT_NUMBER(probe.argument, 0);
        if (probe.status != 0)
            return probe.status;
        const uint16_t lengths[3] = {128, 256, 768};
        for (int s = 0; s < 3; ++s) {
            const bool last = s == 2;
            const uint32_t start = ticks[ticksUsed++];
            for (int i = 0; i < 25; ++i) {
                const NorvHostileCall &echo = walk.Next(kHostileEcho);
                EXPECT_NUMBER(echo.argument, lengths[s]);
                if (echo.status == 0)
                    continue;
                if (echo.status == QARN_NOT_SUPPORTED ||
                    (last && (echo.status == -243 || echo.status == -244)))
                    return QARN_OK;
                for (auto &average : expected)
                    average = TEchoAverage{};
                if (last)
                    expectedNotified.push_back(echo.status);
                return echo.status;
            }
            const uint32_t end = ticks[ticksUsed++];
            expected[s] = TEchoAverage{true, (end - start) / 25};
        }
        return QARN_OK;
    };
    const TQarnStatus expectedStatus = run();
    walk.ExpectEnd();
    ExpectStatus(__LINE__, status, expectedStatus);
    EXPECT_NUMBER(gTicksRead, ticksUsed);
    for (int s = 0; s < 3; ++s) {
        EXPECT_NUMBER(averages[s].measured, expected[s].measured);
        EXPECT_NUMBER(averages[s].milliseconds, expected[s].milliseconds);
    }
    EXPECT(gNotified == expectedNotified);
}

void Disconnect()
{
    DynDisconnect();
    if (!gLoaded) {
        ExpectNoCalls();
        return;
    }
    CallWalk walk(Calls());
    EXPECT_NUMBER(walk.Next(kHostileControlRF).argument, 0);
    walk.Next(kHostileReaderClose);
    walk.ExpectEnd();
}

// The end hook: disconnects and lets the library go; a second one does
// nothing.
void Unload()
{
    DynUnloadLibrary();
    if (gLoaded) {
        CallWalk walk(Calls());
        EXPECT_NUMBER(walk.Next(kHostileControlRF).argument, 0);
        walk.Next(kHostileReaderClose);
        walk.ExpectEnd();
    } else {
        ExpectNoCalls();
    }
    gLoaded = false;
}

// The start hook: loads the library again after an end hook, and does
// nothing while it is loaded.  Loading calls nothing.
void Start()
{
    DynStartHook();
    ExpectNoCalls();
    gLoaded = true;
}

enum Operation {
    kLibraryInfo,
    kCommList,
    kErrorMessage,
    kConnect,
    kFindCard,
    kBenchmark,
    kDisconnect,
    kUnload,
    kStart,
    kCardTypeName,
    kOperationCount
};

const char *const kOperationNames[kOperationCount] = {
    "DynGetLibraryInfo", "DynGetCommList", "DynGetErrorMessage", "DynConnect",
    "DynFindCard",       "DynBenchmark",   "DynDisconnect",      "DynUnloadLibrary",
    "DynStartHook",      "DynCardTypeName"};

void RunOperation(ByteReader &input)
{
    const int operation = input.Byte() % kOperationCount;
    gOperation = kOperationNames[operation];

    // The operation's own parameters come before the library's feed.
    TQarnStatus code = 0;
    std::string device;
    uint32_t settings = 0;
    std::vector<uint32_t> ticks;
    uint16_t cardType = 0;
    switch (operation) {
    case kErrorMessage: code = static_cast<TQarnStatus>(input.Word16()); break;
    case kConnect:
        device = input.Bytes(input.Byte());
        settings = input.Word32();
        break;
    case kBenchmark:
        for (int i = 0; i < 6; ++i)
            ticks.push_back(input.Word32());
        break;
    case kCardTypeName: cardType = input.Word16(); break;
    default: break;
    }
    const std::string feed = input.Bytes(input.Word16());
    gFeed(reinterpret_cast<const uint8_t *>(feed.data()), feed.size());

    gStatus = 0;
    switch (operation) {
    case kLibraryInfo: LibraryInfo(); break;
    case kCommList: CommList(); break;
    case kErrorMessage: ErrorMessage(code); break;
    case kConnect: Connect(device, settings); break;
    case kFindCard: FindCard(); break;
    case kBenchmark: Benchmark(ticks); break;
    case kDisconnect: Disconnect(); break;
    case kUnload: Unload(); break;
    case kStart: Start(); break;
    case kCardTypeName: ExpectCardTypeName(cardType, DynCardTypeName(cardType)); break;
    }
    if (gTrace) {
        std::fprintf(stderr, "%s: status %ld;", gOperation, gStatus);
        for (const NorvHostileCall &call : Calls())
            std::fprintf(stderr, " %s=%d", EntryName(call.entry), call.status);
        std::fprintf(stderr, "\n");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const char *folder = std::getenv("NORVHOSTILE_DIR");
    const std::string hostileFolder = folder && *folder ? folder : QARN_HOSTILE_DIR;
    const std::string file = hostileFolder + "/libnorvane.so";
    char resolved[PATH_MAX];
    if (hostileFolder.empty() || !::realpath(file.c_str(), resolved)) {
        std::fprintf(stderr, "fuzz_binding: no hostile library at %s (set NORVHOSTILE_DIR)\n",
                     file.c_str());
        std::abort();
    }
    gHostilePath = resolved;

    qarn::platform::SetProgramFolderOverride(hostileFolder);
    DynStartHook();
    // Our own reference keeps the library in memory across the binding's end
    // and start hooks, and gives the control exports of the very copy that
    // the binding loaded.
    void *handle = ::dlopen(gHostilePath.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) {
        std::fprintf(stderr, "fuzz_binding: the binding did not load %s\n", gHostilePath.c_str());
        std::abort();
    }
    gFeed = reinterpret_cast<FeedFunction>(::dlsym(handle, "norvhostile_feed"));
    gCallsOf = reinterpret_cast<CallsFunction>(::dlsym(handle, "norvhostile_calls"));
    if (!gFeed || !gCallsOf) {
        std::fprintf(stderr, "fuzz_binding: %s has no control exports\n", gHostilePath.c_str());
        std::abort();
    }
    gLoaded = true;
    gTrace = std::getenv("NORVFUZZ_TRACE") != nullptr;
    DynSetTickSource(ReadTick);
    DynSetBenchmarkFailureNotifier(Notified);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Every input starts with the library loaded, whatever the last one did.
    if (!gLoaded) {
        gOperation = "DynStartHook";
        gFeed(nullptr, 0);
        Start();
    }
    ByteReader input(data, size);
    for (int operations = 0; !input.Empty() && operations < 64; ++operations)
        RunOperation(input);
    return 0;
}
