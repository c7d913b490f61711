// Inside the binding: the table of entry points the load filled, and each
// entry called as the export itself, traced when the host set a tracer.
// Shared by the binding's own files only; the host sees uQarnDyn.h.
#pragma once

#include "NorvaneApi.h"
#include "uQarnDyn.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <type_traits>

namespace qarn::dyn {

using norv::Entry;

// One address per export of NorvaneApi.h, null where there is none
// (uQarnDyn.cpp fills it).
extern std::array<void *, norv::kEntryCount> gEntries;
// Set by DynSetCallTracer (uQarnDynTrace.cpp); null traces nothing.
extern TQarnCallTracer gTracer;

// Typed view of one entry of the table.
template <Entry E> struct TEntryType;
#define NORV_ENTRY_TYPE(name, result, params)                                                      \
    template <> struct TEntryType<Entry::name> {                                                   \
        using type = norv::t##name;                                                                \
    };
NORV_ENTRY_POINTS(NORV_ENTRY_TYPE)
#undef NORV_ENTRY_TYPE

// The arguments worth a trace line: the device opened, the RF mode, the
// echo length, the settings word and the code whose message is asked.
template <typename... Args> std::string Arguments(Args...) { return std::string(); }
std::string Arguments(const char *device);
std::string Arguments(uint8_t mode);
std::string Arguments(uint16_t length);
std::string Arguments(int16_t code);
std::string Arguments(uint32_t settings);

// One entry of the table, called as the export itself; with a tracer set,
// each call is timed and told to it.
template <Entry E, typename Function = typename TEntryType<E>::type> class TEntryCall;
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

template <Entry E> TEntryCall<E> EntryOf()
{
    return TEntryCall<E>(
        reinterpret_cast<typename TEntryType<E>::type>(gEntries[static_cast<int>(E)]));
}

} // namespace qarn::dyn
