#include "norvpcsc_card.h"

#include "norvpcsc_status.h"

#include <algorithm>
#include <cstring>

namespace norvpcsc {

namespace {

// Historical bytes of the answer to reset that a PC/SC contactless reader
// makes up for a storage card: category 80, application identifier tag 4F
// of length 0C, the PC/SC registered application provider A0 00 00 03 06,
// then the standard byte, two card-name bytes and four zero bytes.
constexpr uint8_t kStorageCardPrefix[] = {0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00, 0x03, 0x06};
constexpr std::size_t kStorageCardHistoricalLength = 15;

// The standard byte SS of a storage card's answer to reset.
uint16_t TypeOfStandardByte(uint8_t standard)
{
    if (standard >= 0x01 && standard <= 0x03) // ISO 14443 A, parts 1 to 3
        return kTypeIso14443A;
    if (standard >= 0x05 && standard <= 0x07) // ISO 14443 B, parts 1 to 3
        return kTypeIso14443B;
    if (standard >= 0x09 && standard <= 0x0C) // ISO 15693, parts 1 to 4
        return kTypeIso15693;
    return kTypeUnknown; // no information, contact cards, JIS X 6319-4, low frequency, reserved values
}

// The registered card names NN NN that have a type word of their own; every
// other name leaves the type to the standard byte.
uint16_t TypeOfCardName(uint16_t name)
{
    if (name == 0x0006 || name == 0x0007) // the two SR family names
        return kTypeStSr;
    if (name == 0x0016) // the ICODE1 name
        return kTypeIcode1;
    if (name >= 0x0017 && name <= 0x0020) // the PicoTAG family's later cards
        return kTypePicoTag;
    return kTypeUnknown;
}

// Whether bytes are whole ISO 7816-4 compact-TLV objects (tag and length
// in one byte), as a type A card's historical bytes after category 80 are.
bool IsCompactTlv(const uint8_t *bytes, std::size_t count)
{
    std::size_t at = 0;
    while (at < count)
        at += 1 + (bytes[at] & 0x0F);
    return at == count;
}

// An ISO 14443-4 card's historical bytes.  A type B card's are always
// eight: the four application data bytes and three protocol bytes of its
// answer to request, then a byte whose low half is 0.  The protocol type
// (low half of the second protocol byte) of a card that speaks ISO 14443-4
// has bit 1 set and bit 4 clear; eight bytes of category 80 that are whole
// compact-TLV objects are a type A card's all the same.  A card in the Innovatron protocol has no
// answer to request: the reader gives the card's own historical bytes,
// which for a Calypso card begin with category 80 and the card issuer's
// data object (compact TLV tag 5) holding its start-up information.  Every
// other card is type A, whose historical bytes are those of its answer to
// select.
uint16_t TypeOfIso14443_4(const uint8_t *historical, std::size_t count)
{
    if (count == 8 && (historical[5] & 0x09) == 0x01 && (historical[7] & 0x0F) == 0 &&
        !(historical[0] == 0x80 && IsCompactTlv(historical + 1, count - 1)))
        return kTypeIso14443B;
    if (count >= 2 && historical[0] == 0x80 && (historical[1] & 0xF0) == 0x50 &&
        std::size_t(2 + (historical[1] & 0x0F)) <= count)
        return kTypeCalypso;
    return kTypeIso14443A;
}

} // namespace

int16_t CardTypeOfAtr(const uint8_t *atr, std::size_t length, uint16_t &type)
{
    if (!atr || length == 0)
        return kAtrEmpty;
    if (length > kMaxAtrLength)
        return kAtrTooLong;
    if (atr[0] != 0x3B && atr[0] != 0x3F)
        return kAtrMalformed;
    if (length < 2)
        return kAtrMalformed;

    // Interface bytes: each TD byte tells which of the next TA, TB, TC, TD
    // follow and the protocol it is about; any protocol but T=0 asks for
    // the check byte TCK at the end.
    std::size_t at = 2;
    uint8_t indicator = atr[1] >> 4;
    const std::size_t historicalCount = atr[1] & 0x0F;
    bool checkByte = false;
    std::size_t tdCount = 0;
    uint8_t td[2] = {0, 0};
    while (true) {
        at += static_cast<std::size_t>((indicator & 1) + ((indicator >> 1) & 1) + ((indicator >> 2) & 1));
        if (!(indicator & 8))
            break;
        if (at >= length)
            return kAtrMalformed;
        const uint8_t next = atr[at++];
        if (tdCount < 2)
            td[tdCount] = next;
        ++tdCount;
        if ((next & 0x0F) != 0)
            checkByte = true;
        indicator = next >> 4;
    }
    const std::size_t historicalStart = at;
    const std::size_t expected = historicalStart + historicalCount;
    // The check byte's value is not looked at, and it may be missing.
    if (length != expected && !(checkByte && length == expected + 1))
        return kAtrMalformed;

    // The contactless form 3B 8n 80 01 <historical bytes> TCK: no TA1 to
    // TC1, TD1 = 80 (T=0, TD2 follows), TD2 = 01 (T=1, nothing follows).
    const uint8_t *historical = atr + historicalStart;
    const bool contactless = (atr[1] & 0xF0) == 0x80 && tdCount == 2 && td[0] == 0x80 && td[1] == 0x01;
    if (!contactless) {
        type = kTypeUnknown;
        return kOk;
    }
    if (historicalCount == kStorageCardHistoricalLength &&
        std::memcmp(historical, kStorageCardPrefix, sizeof kStorageCardPrefix) == 0) {
        const uint8_t *card = historical + sizeof kStorageCardPrefix;
        const uint16_t named = TypeOfCardName(uint16_t(card[1] << 8 | card[2]));
        type = named != kTypeUnknown ? named : TypeOfStandardByte(card[0]);
        return kOk;
    }
    type = TypeOfIso14443_4(historical, historicalCount);
    return kOk;
}

const uint8_t kGetUidCommand[5] = {0xFF, 0xCA, 0x00, 0x00, 0x00};

int StatusWordOf(const uint8_t *answer, std::size_t length)
{
    if (!answer || length < 2)
        return -1;
    return answer[length - 2] << 8 | answer[length - 1];
}

int16_t UidOfAnswer(const uint8_t *answer, std::size_t length, uint8_t *uid, uint8_t &uidLength)
{
    const int statusWord = StatusWordOf(answer, length);
    if (statusWord < 0)
        return kUidNoStatusWord;
    const std::size_t count = length - 2;
    if (statusWord != 0x9000 && !(statusWord == 0x6282 && count > 0))
        return kUidRefused;
    if (count == 0)
        return kUidEmpty;
    if (count > uidLength)
        return kUidTooLong;
    std::memcpy(uid, answer, count);
    uidLength = static_cast<uint8_t>(count);
    return kOk;
}

std::vector<std::size_t> EchoChunkSizes(std::size_t total)
{
    std::vector<std::size_t> sizes;
    if (total == 0)
        return sizes;
    const std::size_t count = (total + kMaxEchoChunk - 1) / kMaxEchoChunk;
    for (std::size_t i = 0; i < count; ++i)
        sizes.push_back(total / count + (i < total % count ? 1 : 0));
    return sizes;
}

std::vector<uint8_t> EchoCommand(const uint8_t *data, std::size_t length)
{
    std::vector<uint8_t> command(length + 6, 0x00);
    command[0] = 0x80;
    command[1] = 0xEE;
    command[4] = static_cast<uint8_t>(length);
    if (length > 0)
        std::memcpy(command.data() + 5, data, length);
    return command;
}

int16_t CheckEchoAnswer(const uint8_t *data, std::size_t length, const uint8_t *answer,
                        std::size_t answerLength)
{
    static constexpr uint16_t kNotSupportedWords[] = {0x6800, 0x6881, 0x6882, 0x6884,
                                                      0x6A81, 0x6D00, 0x6E00};
    const int statusWord = StatusWordOf(answer, answerLength);
    if (answerLength == 2 && std::find(std::begin(kNotSupportedWords), std::end(kNotSupportedWords),
                                       statusWord) != std::end(kNotSupportedWords))
        return kNotSupported;
    if (answerLength == 2 && statusWord != 0x9000 && length > 0)
        return kEchoRefused;
    if (answerLength != length + 2 || statusWord != 0x9000)
        return kEchoMismatch;
    return std::equal(data, data + length, answer) ? kOk : kEchoMismatch;
}

} // namespace norvpcsc
