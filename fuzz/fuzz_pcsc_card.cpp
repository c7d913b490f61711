// Fuzzes the PC/SC reader library's readers of card answers (pcsc/,
// norvpcsc_card.cpp, norvpcsc_attribute.cpp and the status texts): the
// answer to reset that gives the card type, the answer to GET DATA that
// gives the UID, the echo check and the echo's command sizes, and the
// reader attributes' texts, numbers, firmware line and chipset boxes.
//
// The input is
//   1 byte    the UID buffer's capacity (low 4 bits) and where the echo's
//             data end and its answer begins (the whole byte, at most the rest)
//   the rest  the answer, read by every parser
// Every parser reads exactly the answer's bytes (ASan sees a read past it);
// a broken rule (an unknown status or type, a UID other than the answer's
// bytes or longer than the buffer, an output written on failure, a
// passed echo that is not the data and 90 00, chunk sizes that do not add up,
// an attribute text with control characters or outer blanks, a firmware
// line without its parts, a chipset box that is not the attribute's bytes)
// ends the run through abort() with a line that tells what was wrong.
#include "norvpcsc_attribute.h"
#include "norvpcsc_card.h"
#include "norvpcsc_status.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Check(bool rule, const char *what)
{
    if (rule)
        return;
    std::fprintf(stderr, "*** card parser rule broken: %s\n", what);
    std::abort();
}

bool Explained(int16_t status) { return !norvpcsc::MessageWithStatusWord(status, -1).empty(); }

void FuzzAtr(const uint8_t *atr, std::size_t size)
{
    uint16_t type = 0xBEEF;
    const int16_t status = norvpcsc::CardTypeOfAtr(atr, size, type);
    Check(status == norvpcsc::kOk || status == norvpcsc::kAtrEmpty || status == norvpcsc::kAtrTooLong ||
              status == norvpcsc::kAtrMalformed,
          "CardTypeOfAtr gave an unknown status");
    Check(Explained(status), "CardTypeOfAtr's status has no text");
    if (status != norvpcsc::kOk) {
        Check(type == 0xBEEF, "CardTypeOfAtr set the type on failure");
        return;
    }
    // A single type word of the card-type table, or 0.
    Check(type <= 0x0080 && (type & (type - 1)) == 0, "CardTypeOfAtr gave no single type word");
}

void FuzzUid(const uint8_t *answer, std::size_t size, uint8_t capacity)
{
    // The caller's buffer, exactly its capacity, on the heap where ASan
    // guards its end.
    std::vector<uint8_t> uid(capacity);
    uint8_t length = capacity;
    const int16_t status = norvpcsc::UidOfAnswer(answer, size, uid.data(), length);
    Check(status == norvpcsc::kOk || status == norvpcsc::kUidNoStatusWord ||
              status == norvpcsc::kUidRefused || status == norvpcsc::kUidEmpty ||
              status == norvpcsc::kUidTooLong,
          "UidOfAnswer gave an unknown status");
    const int word = norvpcsc::StatusWordOf(answer, size);
    Check((word < 0) == (size < 2), "StatusWordOf read a status word that is not there");
    Check(!norvpcsc::MessageWithStatusWord(status, word).empty(), "UidOfAnswer's status has no text");
    if (status != norvpcsc::kOk) {
        Check(length == capacity, "UidOfAnswer set the length on failure");
        return;
    }
    Check(length > 0 && length <= capacity && length == size - 2, "UidOfAnswer gave a wrong length");
    Check(std::memcmp(uid.data(), answer, length) == 0, "UidOfAnswer's UID is not the answer's bytes");
}

void FuzzEcho(const uint8_t *bytes, std::size_t size, std::size_t split)
{
    const std::size_t length = split < size ? split : size;
    const uint8_t *answer = bytes + length;
    const std::size_t answerLength = size - length;
    const int16_t status = norvpcsc::CheckEchoAnswer(bytes, length, answer, answerLength);
    Check(Explained(status), "CheckEchoAnswer's status has no text");
    if (status == norvpcsc::kOk)
        Check(answerLength == length + 2 && std::memcmp(bytes, answer, length) == 0 &&
                  answer[length] == 0x90 && answer[length + 1] == 0x00,
              "CheckEchoAnswer passed an answer that is not the data and 90 00");

    std::size_t sum = 0, smallest = ~std::size_t(0), largest = 0;
    for (const std::size_t chunk : norvpcsc::EchoChunkSizes(length * 7)) {
        sum += chunk;
        smallest = chunk < smallest ? chunk : smallest;
        largest = chunk > largest ? chunk : largest;
    }
    Check(sum == length * 7 && largest <= norvpcsc::kMaxEchoChunk &&
              (sum == 0 || largest - smallest <= 1),
          "EchoChunkSizes gave sizes that do not carry the length");
}

// The answer read as reader attributes: as the vendor name and type texts,
// the IFD version number and the serial number.
void FuzzAttributes(const uint8_t *bytes, std::size_t size)
{
    const std::vector<uint8_t> value(bytes, bytes + size);
    const std::string text = norvpcsc::TextOf(value);
    Check(text.size() <= size, "TextOf made a text longer than the attribute");
    for (const char c : text)
        Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "TextOf kept a control character");
    Check(text.empty() || (text.front() != ' ' && text.back() != ' '), "TextOf kept outer blanks");

    uint32_t version = 0xBEEF;
    const bool number = norvpcsc::DwordOf(value, version);
    Check(number == (size == sizeof(DWORD) || size == sizeof(uint32_t)) && (number || version == 0xBEEF),
          "DwordOf read a number of the wrong size");
    const std::string line = norvpcsc::FirmwareText(text, text, "reader", number, version);
    Check(line.compare(0, text.empty() ? 6 : text.size(), text.empty() ? "reader" : text) == 0,
          "FirmwareText lost its name");
    Check(!number || line.find('.') != std::string::npos, "FirmwareText lost the version");

    uint8_t info[4];
    norvpcsc::ChipsetInfoOf(version, info);
    Check(info[0] == uint8_t(version >> 24) && info[3] == uint8_t(version),
          "ChipsetInfoOf is not the version's bytes");
    uint8_t id[4] = {0, 0, 0, 0};
    norvpcsc::ChipsetIdOf(value, id);
    const std::size_t count = text.size() < 4 ? text.size() : 4;
    Check(std::memcmp(id + 4 - count, text.data() + text.size() - count, count) == 0,
          "ChipsetIdOf is not the serial number's last characters");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t control = data[0];
    const uint8_t *answer = data + 1;
    const std::size_t answerSize = size - 1;
    FuzzAtr(answer, answerSize);
    FuzzUid(answer, answerSize, control & 0x0F);
    FuzzEcho(answer, answerSize, control);
    FuzzAttributes(answer, answerSize);
    return 0;
}
