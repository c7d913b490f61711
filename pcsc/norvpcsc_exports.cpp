// The fifteen reader-library exports on pcsc-lite.  Each export checks its
// arguments, calls the one session and keeps every exception inside.
#include "NorvaneApi.h"
#include "norvpcsc_session.h"
#include "norvpcsc_status.h"

#include <pcsclite.h>

#include <cstring>
#include <new>
#include <string>

#define NORVPCSC_EXPORT extern "C" __attribute__((visibility("default")))
#define NORVPCSC_DECLARE(name, result, params) NORVPCSC_EXPORT result NORV_CALL NORV_##name params;
NORV_ENTRY_POINTS(NORVPCSC_DECLARE)
#undef NORVPCSC_DECLARE

using namespace norvpcsc;

namespace {

template <typename F> int16_t Guarded(F &&work) noexcept
{
    try {
        return work();
    } catch (const std::bad_alloc &) {
        return kOutOfMemory;
    } catch (...) {
        return kInternal;
    }
}

// Copies text into a caller's buffer of size bytes, cut to size - 1
// characters and always ended by a zero byte.
int16_t CopyText(const std::string &text, char *buffer, int32_t size)
{
    if (!buffer || size < 1)
        return kInvalidArgument;
    const std::size_t count = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size) - 1);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return kOk;
}

template <typename F> int16_t TextResult(char *buffer, int32_t size, F &&produce)
{
    return Guarded([&]() -> int16_t {
        if (!buffer || size < 1)
            return kInvalidArgument;
        buffer[0] = '\0';
        std::string text;
        if (const int16_t status = produce(text))
            return status;
        return CopyText(text, buffer, size);
    });
}

} // namespace

int16_t NORV_GetLibraryA(char *buffer, int32_t size)
{
    return TextResult(buffer, size, [](std::string &text) -> int16_t {
        text = "Norvane reader library for PC/SC " NORVPCSC_VERSION
               " (built against pcsc-lite " PCSCLITE_VERSION_NUMBER ")";
        return kOk;
    });
}

int16_t NORV_GetCommListA(char *buffer, int32_t size)
{
    return TextResult(buffer, size, [size](std::string &text) {
        return TheSession().CommList(text, static_cast<std::size_t>(size));
    });
}

// A text that tells what this session met (the card's status word, what to
// start, the readers pcscd lists) stays valid until the next message of the
// same status is asked for.
const char *NORV_GetErrorMessage(int16_t status)
{
    static const int16_t kDetailed[] = {kUidRefused, kEchoRefused, kDaemonStopped, kReaderNameUnknown};
    static std::string texts[sizeof kDetailed / sizeof kDetailed[0]];
    for (std::size_t i = 0; i < sizeof kDetailed / sizeof kDetailed[0]; ++i) {
        if (kDetailed[i] != status)
            continue;
        try {
            std::string text = TheSession().DetailedMessage(status);
            if (text.empty())
                break;
            texts[i] = std::move(text);
        } catch (...) {
            break;
        }
        return texts[i].c_str();
    }
    return MessageOf(status);
}

int16_t NORV_ReaderOpenA(const char *device)
{
    return Guarded([device]() { return TheSession().Open(device); });
}

int16_t NORV_ReaderClose(void)
{
    return Guarded([]() -> int16_t {
        TheSession().Close();
        return kOk;
    });
}

int16_t NORV_ControlRF(uint8_t mode)
{
    // PC/SC has no portable switch for the RF field: "off" releases the
    // card, and nothing else can be asked for.
    if (mode != 0)
        return kNotSupported;
    return Guarded([]() { return TheSession().ReleaseCard(); });
}

int16_t NORV_Echo(uint16_t length)
{
    return Guarded([length]() { return TheSession().Echo(length); });
}

int16_t NORV_Find(uint16_t /*protocolMask*/, uint16_t *cardType, uint8_t *uid, uint8_t *uidLength)
{
    return Guarded([&]() -> int16_t {
        if (!cardType || !uid || !uidLength)
            return kInvalidArgument;
        return TheSession().Find(*cardType, uid, *uidLength);
    });
}

int16_t NORV_ReaderGetDeviceA(char *buffer, int32_t size)
{
    return TextResult(buffer, size, [](std::string &text) { return TheSession().DeviceName(text); });
}

int16_t NORV_ReaderGetFirmwareA(char *buffer, int32_t size)
{
    return TextResult(buffer, size, [](std::string &text) { return TheSession().Firmware(text); });
}

int16_t NORV_ReaderGetRc500Id(uint8_t *chipsetInfo, uint8_t *chipsetId)
{
    return Guarded([&]() -> int16_t {
        if (!chipsetInfo || !chipsetId)
            return kInvalidArgument;
        return TheSession().ChipsetIds(chipsetInfo, chipsetId);
    });
}

int16_t NORV_ReaderSetDeviceSettings(uint32_t settings) { return CheckRequestedSettings(settings); }

int16_t NORV_ReaderGetDeviceSettings(uint32_t *settings)
{
    return Guarded([settings]() -> int16_t {
        if (!settings)
            return kInvalidArgument;
        return TheSession().LinkSettings(*settings);
    });
}

// A PC/SC reader does not tell which of the feature word's capabilities it
// has, and the constants word has no meaning here: neither is made up.
int16_t NORV_ReaderGetFeatures(uint32_t * /*features*/) { return kNotSupported; }

int16_t NORV_ReaderGetConsts(uint32_t * /*consts*/) { return kNotSupported; }
