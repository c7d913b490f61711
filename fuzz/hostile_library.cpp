// A hostile build of the reader library, libnorvane.so, for the binding
// fuzzer.  Every status and every output comes from the byte stream given to
// norvhostile_feed: texts of any length with or without a zero byte, chipset
// and UID bytes, words, card types, UID lengths from 0 to 255, statuses of
// any 16-bit value and error messages that are null or of any length.
//
// It keeps to what the calling convention promises the caller and nothing
// more: it never writes past the size it is told (a text buffer), past 17
// bytes (each chipset buffer) or past 12 bytes and the caller's *uidLength
// (the UID buffer), and every text it returns ends in a zero byte.  Within
// those limits anything goes, failing statuses with written outputs included.
//
// It shares no code with the program's binding; the fuzzer reads back each
// call through norvhostile_calls.
#include "byte_reader.h"
#include "hostile_control.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#define NORV_HOSTILE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The bytes that decide what the exports do; zeros once exhausted.
std::vector<uint8_t> gFed;
ByteReader gStream;
std::vector<NorvHostileCall> gCalls;
// Everything the records point to; a deque keeps its elements in place.
std::deque<std::string> gStore;

// Statuses worth meeting often: the ones the binding tests for, its own
// codes, and the ends of the range.
constexpr int16_t kNotableStatuses[] = {-1,    -100,  -243,  -244, -999, -1000, -1001, -1002,
                                        -1003, -1004, -12,   1,    2,    32767, -32768, -2};

// One byte: below 0xA0 is success, then a notable status, then any value.
int16_t Status()
{
    const uint8_t choice = gStream.Byte();
    if (choice < 0xA0)
        return 0;
    if (choice < 0xE0)
        return kNotableStatuses[(choice - 0xA0) % (sizeof kNotableStatuses / sizeof *kNotableStatuses)];
    return static_cast<int16_t>(gStream.Word16());
}

// How a text is written, from one mode byte:
//   bits 0-2: length: 0 and 6-7 one byte, 1 the whole size, 2 size - 1,
//             3 two bytes, 4 nothing, 5 half the size;
//   bit 3:    no zero byte after the text;
//   bit 4:    the text repeats one byte instead of taking stream bytes;
//   bit 5:    the buffer is not touched at all (for a message: null).
struct TextPlan {
    bool skip = false;
    bool terminator = true;
    std::size_t length = 0;
    bool repeat = false;
    uint8_t repeated = 0;
};

TextPlan PlanText(std::size_t size)
{
    TextPlan plan;
    const uint8_t mode = gStream.Byte();
    plan.skip = mode & 0x20;
    plan.terminator = !(mode & 0x08);
    switch (mode & 0x07) {
    case 1: plan.length = size; break;
    case 2: plan.length = size ? size - 1 : 0; break;
    case 3: plan.length = gStream.Word16(); break;
    case 4: plan.length = 0; break;
    case 5: plan.length = size / 2; break;
    default: plan.length = gStream.Byte(); break;
    }
    plan.repeat = mode & 0x10;
    if (plan.repeat)
        plan.repeated = gStream.Byte();
    return plan;
}

// count bytes of the stream (zeros past its end).
std::string StreamBytes(std::size_t count)
{
    std::string bytes = gStream.Bytes(count);
    bytes.resize(count, '\0');
    return bytes;
}

std::string TextBytes(const TextPlan &plan, std::size_t count)
{
    return plan.repeat ? std::string(count, static_cast<char>(plan.repeated)) : StreamBytes(count);
}

NorvHostileCall &Record(NorvHostileEntry entry, int64_t argument)
{
    NorvHostileCall call{};
    call.entry = entry;
    call.argument = argument;
    gCalls.push_back(call);
    return gCalls.back();
}

void RecordWritten(const std::string &bytes, const uint8_t *&where, uint32_t &length)
{
    gStore.push_back(bytes);
    where = reinterpret_cast<const uint8_t *>(gStore.back().data());
    length = static_cast<uint32_t>(bytes.size());
}

// Writes a text into buffer, never more than size bytes, terminator
// included.
int16_t TextExport(NorvHostileEntry entry, char *buffer, int32_t size)
{
    NorvHostileCall &call = Record(entry, size);
    call.status = Status();
    const std::size_t room = size > 0 ? static_cast<std::size_t>(size) : 0;
    const TextPlan plan = PlanText(room);
    if (plan.skip || room == 0)
        return call.status;
    std::string bytes = TextBytes(plan, std::min(plan.length, room));
    if (plan.terminator && bytes.size() < room)
        bytes += '\0';
    std::memcpy(buffer, bytes.data(), bytes.size());
    RecordWritten(bytes, call.written, call.writtenLength);
    return call.status;
}

// Writes a 32-bit word when the stream says so.
int16_t WordExport(NorvHostileEntry entry, uint32_t *word)
{
    NorvHostileCall &call = Record(entry, 0);
    call.status = Status();
    if (gStream.Byte() & 1) {
        call.wroteWord = true;
        call.word = gStream.Word32();
        *word = call.word;
    }
    return call.status;
}

int16_t StatusExport(NorvHostileEntry entry, int64_t argument)
{
    NorvHostileCall &call = Record(entry, argument);
    call.status = Status();
    return call.status;
}

} // namespace

// ---- control ---------------------------------------------------------------

void norvhostile_feed(const uint8_t *data, size_t size)
{
    gFed.assign(data, data + size);
    gStream = ByteReader(gFed.data(), gFed.size());
    gCalls.clear();
    gStore.clear();
}

const NorvHostileCall *norvhostile_calls(size_t *count)
{
    *count = gCalls.size();
    return gCalls.data();
}

// ---- the reader library's exports ------------------------------------------

NORV_HOSTILE_EXPORT int16_t NORV_GetLibraryA(char *buffer, int32_t size)
{
    return TextExport(kHostileGetLibraryA, buffer, size);
}

NORV_HOSTILE_EXPORT int16_t NORV_GetCommListA(char *buffer, int32_t size)
{
    return TextExport(kHostileGetCommListA, buffer, size);
}

NORV_HOSTILE_EXPORT const char *NORV_GetErrorMessage(int16_t status)
{
    NorvHostileCall &call = Record(kHostileGetErrorMessage, status);
    const TextPlan plan = PlanText(1024);
    if (plan.skip)
        return nullptr;
    // The text stays valid until the next feed; it always ends in a zero.
    gStore.push_back(TextBytes(plan, plan.length));
    call.message = gStore.back().c_str();
    return call.message;
}

NORV_HOSTILE_EXPORT int16_t NORV_ReaderOpenA(const char *device)
{
    NorvHostileCall &call = Record(kHostileReaderOpenA, 0);
    if (device) {
        gStore.push_back(device);
        call.device = gStore.back().c_str();
    }
    call.status = Status();
    return call.status;
}

NORV_HOSTILE_EXPORT int16_t NORV_ReaderClose(void)
{
    return StatusExport(kHostileReaderClose, 0);
}

NORV_HOSTILE_EXPORT int16_t NORV_ControlRF(uint8_t mode)
{
    return StatusExport(kHostileControlRF, mode);
}

NORV_HOSTILE_EXPORT int16_t NORV_Echo(uint16_t length)
{
    return StatusExport(kHostileEcho, length);
}

// Flags byte: bit 0 writes the card type, bit 1 the UID bytes (0 to 12, and
// no more than *uidLength said), bit 2 the UID length (any 0 to 255).
NORV_HOSTILE_EXPORT int16_t NORV_Find(uint16_t protocolMask, uint16_t *cardType, uint8_t *uid,
                                      uint8_t *uidLength)
{
    NorvHostileCall &call = Record(kHostileFind, protocolMask);
    call.uidLengthIn = *uidLength;
    call.status = Status();
    const uint8_t flags = gStream.Byte();
    if (flags & 1) {
        call.wroteCardType = true;
        call.cardType = gStream.Word16();
        *cardType = call.cardType;
    }
    if (flags & 2) {
        const std::size_t room = std::min<std::size_t>(12, call.uidLengthIn);
        const std::string bytes = StreamBytes(std::min<std::size_t>(gStream.Byte() % 13, room));
        std::memcpy(uid, bytes.data(), bytes.size());
        RecordWritten(bytes, call.written, call.writtenLength);
    }
    if (flags & 4) {
        call.wroteUidLength = true;
        call.uidLength = gStream.Byte();
        *uidLength = call.uidLength;
    }
    return call.status;
}

NORV_HOSTILE_EXPORT int16_t NORV_ReaderGetDeviceA(char *buffer, int32_t size)
{
    return TextExport(kHostileReaderGetDeviceA, buffer, size);
}

NORV_HOSTILE_EXPORT int16_t NORV_ReaderGetFirmwareA(char *buffer, int32_t size)
{
    return TextExport(kHostileReaderGetFirmwareA, buffer, size);
}

// 0 to 17 bytes into each of the two 17-byte buffers.
NORV_HOSTILE_EXPORT int16_t NORV_ReaderGetRc500Id(uint8_t *chipsetInfo, uint8_t *chipsetId)
{
    NorvHostileCall &call = Record(kHostileReaderGetRc500Id, 0);
    call.status = Status();
    const auto fill = [](uint8_t *buffer, const uint8_t *&where, uint32_t &length) {
        const std::string bytes = StreamBytes(gStream.Byte() % 18);
        std::memcpy(buffer, bytes.data(), bytes.size());
        RecordWritten(bytes, where, length);
    };
    fill(chipsetInfo, call.written, call.writtenLength);
    fill(chipsetId, call.written2, call.written2Length);
    return call.status;
}

NORV_HOSTILE_EXPORT int16_t NORV_ReaderSetDeviceSettings(uint32_t settings)
{
    return StatusExport(kHostileReaderSetDeviceSettings, settings);
}

NORV_HOSTILE_EXPORT int16_t NORV_ReaderGetDeviceSettings(uint32_t *settings)
{
    return WordExport(kHostileReaderGetDeviceSettings, settings);
}

NORV_HOSTILE_EXPORT int16_t NORV_ReaderGetFeatures(uint32_t *features)
{
    return WordExport(kHostileReaderGetFeatures, features);
}

NORV_HOSTILE_EXPORT int16_t NORV_ReaderGetConsts(uint32_t *consts)
{
    return WordExport(kHostileReaderGetConsts, consts);
}
