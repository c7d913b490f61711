// What the library reads from a card's answers: the card type word from
// the answer to reset, the UID from the answer to GET DATA, and the echo
// exchange's commands and checks.  Pure functions, no PC/SC calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace norvpcsc {

// Card type words of the program's card-type table.
constexpr uint16_t kTypeUnknown = 0x0000;
constexpr uint16_t kTypeIso14443A = 0x0001;
constexpr uint16_t kTypeIso14443B = 0x0002;
constexpr uint16_t kTypeIso15693 = 0x0004;
constexpr uint16_t kTypeIcode1 = 0x0008;
constexpr uint16_t kTypePicoTag = 0x0010;
constexpr uint16_t kTypeStSr = 0x0020;
constexpr uint16_t kTypeCalypso = 0x0080;

constexpr std::size_t kMaxAtrLength = 33;

// Checks the structure of an answer to reset and sets type from it.
// Returns kOk, kAtrEmpty, kAtrTooLong or kAtrMalformed (type untouched).
// A wrong or missing check byte TCK is no reason to fail: the card is
// classified from the bytes that are there, as pcscd accepts it too.
int16_t CardTypeOfAtr(const uint8_t *atr, std::size_t length, uint16_t &type);

// The GET DATA command that asks a contactless reader for the card's UID.
extern const uint8_t kGetUidCommand[5];

// The status word that ends an answer, or -1 when it is shorter than one.
int StatusWordOf(const uint8_t *answer, std::size_t length);

// Takes the UID out of the answer to GET DATA.  uidLength holds the
// capacity of uid on entry and the number of bytes written on success.
// 90 00 and the warning 62 82 (fewer bytes than asked for) with UID bytes
// give the UID.  Returns kOk, kUidNoStatusWord, kUidRefused, kUidEmpty or
// kUidTooLong; on failure nothing is written.
int16_t UidOfAnswer(const uint8_t *answer, std::size_t length, uint8_t *uid, uint8_t &uidLength);

// Echo exchange: the command 80 EE 00 00 Lc <data> 00, answered by the
// same data and 90 00.  A length is carried in as few commands as the
// 255-byte limit allows, of sizes that differ by at most one byte.
constexpr std::size_t kMaxEchoChunk = 255;
std::vector<std::size_t> EchoChunkSizes(std::size_t total);
std::vector<uint8_t> EchoCommand(const uint8_t *data, std::size_t length);
// kOk when answer is data followed by 90 00; kNotSupported for a status
// word that says the card does not support the command (68 00, 68 81,
// 68 82, 68 84, 6A 81, 6D 00, 6E 00); kEchoRefused for any other status
// word of a two-byte answer; kEchoMismatch otherwise.
int16_t CheckEchoAnswer(const uint8_t *data, std::size_t length, const uint8_t *answer,
                        std::size_t answerLength);

} // namespace norvpcsc
