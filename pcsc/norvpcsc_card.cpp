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

// The standard byte of a storage card's answer to reset.
uint16_t TypeOfStandardByte(uint8_t standard)
{
    if (standard >= 0x01 && standard <= 0x03) // ISO 14443 A, parts 1 to 3
        return kTypeIso14443A;
    if (standard >= 0x05 && standard <= 0x07) // ISO 14443 B, parts 1 to 3
        return kTypeIso14443B;
    if (standard >= 0x09 && standard <= 0x0C) // ISO 15693, parts 1 to 4
        return kTypeIso15693;
    return kTypeUnknown; // no information, contact cards, other RF standards, reserved values
}

// An ISO 14443-4 card's historical bytes: a type A card's are those of its
// answer to select, which follow ISO 7816-4 (category indicator 00, 10 or 80)
// or are proprietary; a type B card's are always eight: four application
// data bytes and three protocol bytes of its answer to request, then a byte
// whose low half is 0.
uint16_t TypeOfIso14443_4(const uint8_t *historical, std::size_t count)
{
    const bool iso7816Category =
        count > 0 && (historical[0] == 0x00 || historical[0] == 0x10 || historical[0] == 0x80);
    if (count == 8 && !iso7816Category && (historical[7] & 0x0F) == 0)
        return kTypeIso14443B;
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
    const std::size_t expected = historicalStart + historicalCount + (checkByte ? 1 : 0);
    if (expected != length)
        return kAtrMalformed;
    if (checkByte) {
        uint8_t sum = 0;
        for (std::size_t i = 1; i < length; ++i)
            sum ^= atr[i];
        if (sum != 0)
            return kAtrMalformed;
    }

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
        type = TypeOfStandardByte(historical[sizeof kStorageCardPrefix]);
        return kOk;
    }
    type = TypeOfIso14443_4(historical, historicalCount);
    return kOk;
}

const uint8_t kGetUidCommand[5] = {0xFF, 0xCA, 0x00, 0x00, 0x00};

int16_t UidOfAnswer(const uint8_t *answer, std::size_t length, uint8_t *uid, uint8_t &uidLength)
{
    if (!answer || length < 2)
        return kUidNoStatusWord;
    if (answer[length - 2] != 0x90 || answer[length - 1] != 0x00)
        return kUidRefused;
    const std::size_t count = length - 2;
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
    if (answerLength == 2 && answer[1] == 0x00 && (answer[0] == 0x6D || answer[0] == 0x6E))
        return kNotSupported;
    if (answerLength == 2 && !(answer[0] == 0x90 && answer[1] == 0x00) && length > 0)
        return kEchoRefused;
    if (answerLength != length + 2 || answer[length] != 0x90 || answer[length + 1] != 0x00)
        return kEchoMismatch;
    return std::equal(data, data + length, answer) ? kOk : kEchoMismatch;
}

} // namespace norvpcsc
