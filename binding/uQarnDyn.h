// uQarnDyn: the only place where the program touches the reader library.
//
// The library is loaded once per process by the start hook and unloaded by
// the end hook.  Every operation returns a status code (never throws); text
// results are 8-bit byte strings that the caller owns.  A missing library or
// entry point is a status code (-1000, -1001), never an error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using TQarnStatus = int16_t;

constexpr TQarnStatus QARN_OK = 0;
constexpr TQarnStatus QARN_NOT_SUPPORTED = -100; // the library's "function not supported"
constexpr TQarnStatus QARN_NO_CARD = -1;         // NORV_Find: no card in the field
constexpr TQarnStatus QARN_LIBRARY_NOT_LOADED = -1000;
constexpr TQarnStatus QARN_ENTRY_POINT_MISSING = -1001;
constexpr TQarnStatus QARN_READER_NOT_FOUND_ON_PORT = -1002;
constexpr TQarnStatus QARN_READER_NOT_FOUND = -1003;
constexpr TQarnStatus QARN_STOPPED = -1004; // the host asked to stop (DynSetStopCheck)

// ---- process lifetime ------------------------------------------------------

// Start hook: acts once (counter 0 -> -1), marks the handle "not yet tried"
// and calls DynLoadLibrary.  Called by the program entry before any window.
void DynStartHook();

// Loads the library if the handle is "not yet tried" and binds the fifteen
// entry points (null where missing).  Shows nothing, returns nothing.
void DynLoadLibrary();

// End hook: acts once (counter -1 -> 0): DynDisconnect, unload, and empty
// the message table.  Called after the message loop has returned.
void DynUnloadLibrary();

// ---- what the load found ---------------------------------------------------

// One place the load looked for the library, in the order it looked.
struct TLibraryCandidate {
    std::string path; // the full file name looked for
    bool present = false;
    bool loaded = false;
    std::string error; // why a copy that was there was not loaded
};

struct TLibraryLoadRecord {
    std::vector<TLibraryCandidate> search;
    // The entry points that the loaded library lacks, in table order.
    std::vector<std::string> missingEntryPoints;
    // The first copy that was there but refused, when none was loaded;
    // null otherwise.
    const TLibraryCandidate *RefusedCopy() const;
};

// "<path> (loaded)", "<path> (present, not loaded: <reason>)" or
// "<path> (not present)".
std::string DynCandidateText(const TLibraryCandidate &candidate);

// What the one load at start found; empty before the start hook and after
// the end hook.
const TLibraryLoadRecord &DynGetLoadRecord();

// ---- operations ------------------------------------------------------------

// Version text of the library and full path of the loaded copy.
TQarnStatus DynGetLibraryInfo(std::string &version, std::string &path);

// Appends the library's communication devices (name=value lines) to list.
TQarnStatus DynGetCommList(std::vector<std::string> &list);

// The message for any status code; text is assigned on every path, and is
// never empty while the library is loaded.
void DynGetErrorMessage(TQarnStatus code, std::string &text);

// RF field off and reader closed; harmless when no reader is open.
void DynDisconnect();

// Applies the requested settings, opens the reader on device ("" = none
// named) and reads what the window shows.  device and settings are in/out.
TQarnStatus DynConnect(std::string &device, std::string &firmware, std::string &chipsetHWID,
                       std::string &chipsetSNR, uint32_t &settings, uint32_t &consts,
                       uint32_t &features);

// After a DynConnect whose open failed (-1002, -1003): the library's own
// status, and its message for it, asked of the library now (empty when it
// has none).  False, with status 0 and an empty message, after any other
// outcome of the last DynConnect.
bool DynGetOpenFailure(TQarnStatus &status, std::string &message);

// Looks once for a card in the RF field; the outputs are written only when a
// card was found.  The RF field is switched off after every attempt.
TQarnStatus DynFindCard(std::string &uid, std::string &typeName);

// Average time of one echo exchange of a size.  measured is false when the
// size was not measured (no echo entry, a stop by "not supported", ...);
// a measured series faster than 1 ms per exchange has measured == true and
// milliseconds == 0.
struct TEchoAverage {
    bool measured = false;
    uint32_t milliseconds = 0;
};

TQarnStatus DynBenchmark(TEchoAverage &average128, TEchoAverage &average256,
                         TEchoAverage &average768);

// ---- services the binding asks of its host ---------------------------------

// Monotonic millisecond clock read as an unsigned 32-bit value (it wraps).
using TQarnTickSource = uint32_t (*)();
// Installs the clock used by DynBenchmark; nullptr restores the system clock.
void DynSetTickSource(TQarnTickSource source);
uint32_t DynTickCount();

// Called by DynBenchmark when an echo of the 768-byte series fails with a
// status that ends the benchmark, before DynBenchmark returns: the host
// records the status (the window also shows the bare number and returns
// when the user has closed it).  Without a notifier nothing is recorded.
using TQarnBenchmarkNotifier = void (*)(TQarnStatus status);
void DynSetBenchmarkFailureNotifier(TQarnBenchmarkNotifier notifier);

// Called after each library call the binding makes, with the call (its
// export name, and the device for NORV_ReaderOpenA), the status it gave and
// how long it took.  nullptr (the default) traces nothing and costs
// nothing.
using TQarnCallTracer = void (*)(const std::string &call, int status, uint64_t nanoseconds);
void DynSetCallTracer(TQarnCallTracer tracer);

// Asked by DynBenchmark before each exchange: true ends the benchmark with
// QARN_STOPPED, the exchange under way having returned.  Without a check the
// benchmark runs to its end.
using TQarnStopCheck = bool (*)();
void DynSetStopCheck(TQarnStopCheck check);

// Card type name for a NORV_Find type word.
std::string DynCardTypeName(uint16_t cardType);
