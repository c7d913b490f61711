// Status codes of the PC/SC reader library and their texts.
//
// Every status lies in -999..-1 (0 = success), the range that the program
// passes through unchanged: -1 and -100 keep the meaning the program gives
// them, -101..-199 are this library's own findings, -299..-411 stand for the
// errors pcsc-lite reports (-(300 + the error's low byte)).
#pragma once

#include <winscard.h>

#include <cstdint>
#include <string>

namespace norvpcsc {

enum Status : int16_t {
    kOk = 0,
    kNoCard = -1,
    kNotSupported = -100,
    kNoReaderOpen = -101,
    kReaderNameUnknown = -102,
    kNoUsbReader = -103,
    kReaderRemoved = -105,
    kReaderNotBack = -106,
    kProtocolForced = -110,
    kSpeedForced = -111,
    kAtrEmpty = -120,
    kAtrTooLong = -121,
    kAtrMalformed = -122,
    kUidNoStatusWord = -130,
    kUidRefused = -131,
    kUidTooLong = -132,
    kUidEmpty = -133,
    kEchoMismatch = -140,
    kEchoRefused = -141,
    kBenchmarkNoCard = -142,
    kDaemonNotInstalled = -160,
    kDaemonStopped = -161,
    kDaemonRefused = -162,
    kDaemonNoReader = -163,
    kInvalidArgument = -150,
    kOutOfMemory = -151,
    kInternal = -152,
    kPcscUnknown = -299,
};

// The status for a pcsc-lite result: 0 for success, -(300 + low byte) for
// every error and warning pcsclite.h defines, kPcscUnknown for any other.
int16_t FromPcsc(LONG result);

// The text of a status, or null for a status this library never gives.
const char *MessageOf(int16_t status);

// The text of a status that a card's status word caused (kUidRefused,
// kEchoRefused), naming that word; MessageOf's text for any other status or
// for statusWord -1.
std::string MessageWithStatusWord(int16_t status, int statusWord);

} // namespace norvpcsc
