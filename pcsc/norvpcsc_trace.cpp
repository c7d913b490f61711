#include "norvpcsc_trace.h"

#include <pcsclite.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace norvpcsc::pcsc {

namespace {

constexpr const char *kVariable = "NORVANE_PCSC_TRACE";

// Where the trace goes: the stream named by the variable, opened again
// whenever the variable changes; null while it is unset or empty.
class Trace {
public:
    ~Trace() { Close(); }

    std::FILE *Stream()
    {
        const char *value = std::getenv(kVariable);
        const std::string wanted = value ? value : "";
        if (wanted != target_) {
            Close();
            target_ = wanted;
            if (target_ == "stderr") {
                stream_ = stderr;
            } else if (!target_.empty()) {
                stream_ = std::fopen(target_.c_str(), "a");
                if (!stream_)
                    std::fprintf(stderr, "norvpcsc: cannot open the trace file %s named by %s\n",
                                 target_.c_str(), kVariable);
            }
        }
        return stream_;
    }

    double Milliseconds() const
    {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
            .count();
    }

private:
    void Close()
    {
        if (stream_ && stream_ != stderr)
            std::fclose(stream_);
        stream_ = nullptr;
    }

    std::string target_;
    std::FILE *stream_ = nullptr;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

Trace &TheTrace()
{
    static Trace trace;
    return trace;
}

std::string Format(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char *format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

std::string Hex(const uint8_t *bytes, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += Format(i ? " %02X" : "%02X", unsigned(bytes[i]));
    return text;
}

// One call: its name and arguments, its result, then one line per byte
// string it carried ("> " sent, "< " received; none when empty).
void Log(const char *call, const std::string &arguments, LONG result,
         std::initializer_list<std::string> carried = {})
{
    std::FILE *stream = TheTrace().Stream();
    if (!stream)
        return;
    std::fprintf(stream, "norvpcsc %10.3f ms %s(%s) = 0x%08lX %s\n", TheTrace().Milliseconds(), call,
                 arguments.c_str(), static_cast<unsigned long>(result), pcsc_stringify_error(result));
    for (const std::string &line : carried)
        if (!line.empty())
            std::fprintf(stream, "norvpcsc     %s\n", line.c_str());
    std::fflush(stream);
}

bool Tracing() { return TheTrace().Stream() != nullptr; }

// The bytes of an output buffer of capacity bytes once the call has
// succeeded.
std::string Received(LONG result, const uint8_t *bytes, const DWORD *length, DWORD capacity)
{
    if (result != SCARD_S_SUCCESS || !bytes || !length)
        return std::string();
    return "< " + Hex(bytes, std::min(*length, capacity));
}

DWORD Capacity(const DWORD *length) { return length ? *length : 0; }

} // namespace

LONG SCardEstablishContext(DWORD scope, LPCVOID reserved1, LPCVOID reserved2, LPSCARDCONTEXT context)
{
    const LONG result = ::SCardEstablishContext(scope, reserved1, reserved2, context);
    if (Tracing())
        Log("SCardEstablishContext", Format("scope %lu -> context 0x%lX", scope, result ? 0 : *context),
            result);
    return result;
}

LONG SCardReleaseContext(SCARDCONTEXT context)
{
    const LONG result = ::SCardReleaseContext(context);
    Log("SCardReleaseContext", Format("context 0x%lX", context), result);
    return result;
}

LONG SCardIsValidContext(SCARDCONTEXT context)
{
    const LONG result = ::SCardIsValidContext(context);
    Log("SCardIsValidContext", Format("context 0x%lX", context), result);
    return result;
}

LONG SCardListReaders(SCARDCONTEXT context, LPCSTR groups, LPSTR readers, LPDWORD size)
{
    const DWORD capacity = Capacity(size);
    const LONG result = ::SCardListReaders(context, groups, readers, size);
    if (!Tracing())
        return result;
    std::string names;
    if (result == SCARD_S_SUCCESS && readers) {
        // A multi-string: names ended by a zero byte, the list by another.
        const DWORD end = std::min(*size, capacity);
        for (DWORD at = 0; at < end && readers[at] != '\0';) {
            const std::string name(readers + at, strnlen(readers + at, end - at));
            names += (names.empty() ? "\"" : ", \"") + name + "\"";
            at += DWORD(name.size() + 1);
        }
    }
    Log("SCardListReaders", Format("context 0x%lX, size %lu", context, size ? *size : 0), result,
        {"readers: " + names});
    return result;
}

LONG SCardGetStatusChange(SCARDCONTEXT context, DWORD timeoutMs, SCARD_READERSTATE *states, DWORD count)
{
    std::string before;
    if (Tracing()) {
        for (DWORD i = 0; i < count; ++i)
            before += Format("%s\"%s\" 0x%lX", i ? ", " : "", states[i].szReader,
                             states[i].dwCurrentState);
    }
    const LONG result = ::SCardGetStatusChange(context, timeoutMs, states, count);
    if (!Tracing())
        return result;
    std::string after;
    for (DWORD i = 0; i < count; ++i)
        after += Format("%s\"%s\" 0x%lX, answer to reset %s", i ? "; " : "", states[i].szReader,
                        states[i].dwEventState,
                        Hex(states[i].rgbAtr, std::min<std::size_t>(states[i].cbAtr, sizeof states[i].rgbAtr))
                            .c_str());
    Log("SCardGetStatusChange", Format("context 0x%lX, %lu ms, ", context, timeoutMs) + before,
        result, {"states: " + after});
    return result;
}

LONG SCardCancel(SCARDCONTEXT context)
{
    const LONG result = ::SCardCancel(context);
    Log("SCardCancel", Format("context 0x%lX", context), result);
    return result;
}

LONG SCardConnect(SCARDCONTEXT context, LPCSTR reader, DWORD shareMode, DWORD preferredProtocols,
                  LPSCARDHANDLE card, LPDWORD activeProtocol)
{
    const LONG result =
        ::SCardConnect(context, reader, shareMode, preferredProtocols, card, activeProtocol);
    if (Tracing())
        Log("SCardConnect",
            Format("context 0x%lX, \"%s\", share %lu, protocols 0x%lX -> card 0x%lX, protocol 0x%lX",
                   context, reader, shareMode, preferredProtocols, result ? 0 : *card,
                   result ? 0 : *activeProtocol),
            result);
    return result;
}

LONG SCardReconnect(SCARDHANDLE card, DWORD shareMode, DWORD preferredProtocols, DWORD initialization,
                    LPDWORD activeProtocol)
{
    const LONG result = ::SCardReconnect(card, shareMode, preferredProtocols, initialization, activeProtocol);
    if (Tracing())
        Log("SCardReconnect",
            Format("card 0x%lX, share %lu, protocols 0x%lX, initialization %lu -> protocol 0x%lX", card,
                   shareMode, preferredProtocols, initialization, result ? 0 : *activeProtocol),
            result);
    return result;
}

LONG SCardDisconnect(SCARDHANDLE card, DWORD disposition)
{
    const LONG result = ::SCardDisconnect(card, disposition);
    Log("SCardDisconnect", Format("card 0x%lX, disposition %lu", card, disposition), result);
    return result;
}

LONG SCardStatus(SCARDHANDLE card, LPSTR readerName, LPDWORD readerLength, LPDWORD state,
                 LPDWORD protocol, LPBYTE atr, LPDWORD atrLength)
{
    const DWORD capacity = Capacity(atrLength);
    const LONG result = ::SCardStatus(card, readerName, readerLength, state, protocol, atr, atrLength);
    if (Tracing())
        Log("SCardStatus",
            Format("card 0x%lX -> state 0x%lX, protocol 0x%lX", card, result || !state ? 0 : *state,
                   result || !protocol ? 0 : *protocol),
            result, {Received(result, atr, atrLength, capacity)});
    return result;
}

LONG SCardTransmit(SCARDHANDLE card, const SCARD_IO_REQUEST *sendPci, LPCBYTE command,
                   DWORD commandLength, SCARD_IO_REQUEST *receivePci, LPBYTE answer,
                   LPDWORD answerLength)
{
    const DWORD capacity = Capacity(answerLength);
    const LONG result =
        ::SCardTransmit(card, sendPci, command, commandLength, receivePci, answer, answerLength);
    if (Tracing())
        Log("SCardTransmit",
            Format("card 0x%lX, protocol %lu", card, sendPci ? sendPci->dwProtocol : 0), result,
            {"> " + Hex(command, commandLength), Received(result, answer, answerLength, capacity)});
    return result;
}

LONG SCardGetAttrib(SCARDHANDLE card, DWORD id, LPBYTE value, LPDWORD length)
{
    const DWORD capacity = Capacity(length);
    const LONG result = ::SCardGetAttrib(card, id, value, length);
    if (Tracing())
        Log("SCardGetAttrib", Format("card 0x%lX, attribute 0x%08lX", card, id), result,
            {Received(result, value, length, capacity)});
    return result;
}

} // namespace norvpcsc::pcsc
