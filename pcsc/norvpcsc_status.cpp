#include "norvpcsc_status.h"

#include <pcsclite.h>

#include <cstdio>

namespace norvpcsc {

namespace {

struct OwnText {
    int16_t status;
    const char *text;
};

constexpr OwnText kOwnTexts[] = {
    {kOk, "Success"},
    {kNoCard, "No card on the reader"},
    {kNotSupported, "Not supported by this PC/SC reader or card"},
    {kNoReaderOpen, "No reader is open"},
    {kReaderNameUnknown, "No PC/SC reader of that name is known to pcscd"},
    {kNoUsbReader, "pcscd knows no USB reader (a reader whose driver does not tell its link is not "
                   "taken for USB)"},
    {kReaderRemoved, "The reader was removed: pcscd no longer lists it"},
    {kReaderNotBack, "pcscd was restarted and no longer lists the reader: plug it in again, or close it "
                     "and open another reader"},
    {kProtocolForced, "The protocol of a PC/SC reader cannot be forced: pcscd and the reader's "
                      "driver choose it. Choose \"Best match (default)\" in the advanced settings."},
    {kSpeedForced, "The speed of a PC/SC reader cannot be forced: pcscd and the reader's driver "
                   "choose it. Choose \"Best match (default)\" in the advanced settings."},
    {kAtrEmpty, "The card's answer to reset is empty"},
    {kAtrTooLong, "The card's answer to reset is longer than 33 bytes"},
    {kAtrMalformed, "The card's answer to reset is malformed"},
    {kUidNoStatusWord, "The reader's answer to the UID request has no status word"},
    {kUidRefused, "The reader refused to give the card's UID (error status word)"},
    {kUidTooLong, "The card's UID is longer than the buffer for it"},
    {kUidEmpty, "The reader gave an empty UID"},
    {kEchoMismatch, "The echo came back different from what was sent"},
    {kEchoRefused, "The card refused the echo exchange (error status word)"},
    {kBenchmarkNoCard, "No card on the reader: put a card on the reader to run the benchmark"},
    {kDaemonNotInstalled, "pcscd is not installed: install the PC/SC service pcscd (Debian: the "
                          "packages pcscd and libccid) and try again"},
    {kDaemonStopped, "pcscd is installed but not running, and nothing starts it on demand: start "
                     "the PC/SC service (pcscd) and try again"},
    {kDaemonRefused, "pcscd is running but refuses this program (access denied): allow this user "
                     "in pcscd's access rules (polkit), or run the program as a user that pcscd "
                     "accepts"},
    {kDaemonNoReader, "pcscd is running but knows no reader: plug the reader in, and check that "
                      "its driver is installed (libccid for USB readers) and takes it"},
    {kInvalidArgument, "Invalid argument: a null pointer or a buffer size below 1"},
    {kOutOfMemory, "Out of memory"},
    {kInternal, "Internal error in the PC/SC reader library"},
    {kPcscUnknown, "pcsc-lite reported an error that this library does not know"},
};

struct PcscText {
    LONG code;
    const char *text;
};

// Every error and warning of pcsclite.h.  SCARD_E_UNSUPPORTED_FEATURE has
// the value of SCARD_E_UNEXPECTED, so one text serves both.
constexpr PcscText kPcscTexts[] = {
    {SCARD_F_INTERNAL_ERROR, "pcsc-lite reported an internal error"},
    {SCARD_E_CANCELLED, "The PC/SC operation was cancelled"},
    {SCARD_E_INVALID_HANDLE,
     "pcscd did not accept the connection handle (the reader was closed or pcscd restarted)"},
    {SCARD_E_INVALID_PARAMETER, "pcscd did not accept a parameter of the request"},
    {SCARD_E_INVALID_TARGET, "pcscd's reader configuration is missing or invalid"},
    {SCARD_E_NO_MEMORY, "pcscd ran out of memory"},
    {SCARD_F_WAITED_TOO_LONG, "pcscd waited too long for the reader"},
    {SCARD_E_INSUFFICIENT_BUFFER, "The reader's answer is longer than the buffer for it"},
    {SCARD_E_UNKNOWN_READER, "pcscd does not know this reader: the reader was removed"},
    {SCARD_E_TIMEOUT, "The reader did not answer in time"},
    {SCARD_E_SHARING_VIOLATION, "Another program holds the reader or its card exclusively"},
    {SCARD_E_NO_SMARTCARD, "No card on the reader"},
    {SCARD_E_UNKNOWN_CARD, "The card is not known to PC/SC"},
    {SCARD_E_CANT_DISPOSE, "pcscd could not release the card as asked"},
    {SCARD_E_PROTO_MISMATCH, "The card does not use the protocol asked for (T=0 or T=1)"},
    {SCARD_E_NOT_READY, "The reader or its card is not ready"},
    {SCARD_E_INVALID_VALUE, "pcscd did not accept a value of the request"},
    {SCARD_E_SYSTEM_CANCELLED, "The system cancelled the PC/SC operation"},
    {SCARD_F_COMM_ERROR, "The communication with pcscd failed"},
    {SCARD_F_UNKNOWN_ERROR, "pcsc-lite reported an internal error of unknown source"},
    {SCARD_E_INVALID_ATR, "pcscd reported an invalid answer to reset"},
    {SCARD_E_NOT_TRANSACTED, "pcscd reported the end of a transaction that never began"},
    {SCARD_E_READER_UNAVAILABLE, "The reader is not available: the reader was removed or its "
                                 "driver stopped"},
    {SCARD_P_SHUTDOWN, "pcscd is shutting down"},
    {SCARD_E_PCI_TOO_SMALL, "The PC/SC protocol information buffer is too small"},
    {SCARD_E_READER_UNSUPPORTED, "The reader's driver does not meet pcsc-lite's requirements"},
    {SCARD_E_DUPLICATE_READER, "The reader's driver gave a reader name that is already in use"},
    {SCARD_E_CARD_UNSUPPORTED, "The card does not meet the PC/SC requirements"},
    {SCARD_E_NO_SERVICE, "pcscd is not running: start the PC/SC service (pcscd) and try again"},
    {SCARD_E_SERVICE_STOPPED, "pcscd has stopped: start it again and reconnect"},
    {SCARD_E_UNEXPECTED, "The reader or its card does not support the requested PC/SC function"},
    {SCARD_E_ICC_INSTALLATION, "No PC/SC provider is installed for the card"},
    {SCARD_E_ICC_CREATEORDER, "The requested order of PC/SC object creation is not supported"},
    {SCARD_E_DIR_NOT_FOUND, "The card has no such directory"},
    {SCARD_E_FILE_NOT_FOUND, "The card has no such file"},
    {SCARD_E_NO_DIR, "The path on the card is not a directory"},
    {SCARD_E_NO_FILE, "The path on the card is not a file"},
    {SCARD_E_NO_ACCESS, "The card denied access to the file"},
    {SCARD_E_WRITE_TOO_MANY, "The card has not enough memory for the data"},
    {SCARD_E_BAD_SEEK, "The card could not move to the requested place in the file"},
    {SCARD_E_INVALID_CHV, "The PIN is incorrect"},
    {SCARD_E_UNKNOWN_RES_MNG, "A PC/SC component returned an unknown error"},
    {SCARD_E_NO_SUCH_CERTIFICATE, "The card holds no such certificate"},
    {SCARD_E_CERTIFICATE_UNAVAILABLE, "The certificate could not be read from the card"},
    {SCARD_E_NO_READERS_AVAILABLE,
     "pcscd knows no reader: plug a reader in and check that its driver is installed"},
    {SCARD_E_COMM_DATA_LOST, "Data was lost in the exchange with the card; try again"},
    {SCARD_E_NO_KEY_CONTAINER, "The card holds no such key container"},
    {SCARD_E_SERVER_TOO_BUSY, "pcscd is too busy to answer; try again"},
    {SCARD_W_UNSUPPORTED_CARD,
     "The reader cannot talk to the card: its answer to reset conflicts with the reader's settings"},
    {SCARD_W_UNRESPONSIVE_CARD, "The card does not answer the reset (mute card)"},
    {SCARD_W_UNPOWERED_CARD, "The card has no power: it was switched off"},
    {SCARD_W_RESET_CARD, "The card was reset by another program"},
    {SCARD_W_REMOVED_CARD, "The card was removed"},
    {SCARD_W_SECURITY_VIOLATION, "The card denied access (security violation)"},
    {SCARD_W_WRONG_CHV, "The card denied access: wrong PIN"},
    {SCARD_W_CHV_BLOCKED, "The card's PIN is blocked"},
    {SCARD_W_EOF, "The end of the card's file was reached"},
    {SCARD_W_CANCELLED_BY_USER, "The user cancelled the PC/SC operation"},
    {SCARD_W_CARD_NOT_AUTHENTICATED, "No PIN was presented to the card"},
};

constexpr int16_t StatusOfCode(LONG code)
{
    return static_cast<int16_t>(-(300 + (static_cast<unsigned long>(code) & 0xFFu)));
}

} // namespace

int16_t FromPcsc(LONG result)
{
    if (result == SCARD_S_SUCCESS)
        return kOk;
    for (const PcscText &entry : kPcscTexts) {
        if (entry.code == result)
            return StatusOfCode(result);
    }
    return kPcscUnknown;
}

const char *MessageOf(int16_t status)
{
    for (const OwnText &entry : kOwnTexts) {
        if (entry.status == status)
            return entry.text;
    }
    for (const PcscText &entry : kPcscTexts) {
        if (StatusOfCode(entry.code) == status)
            return entry.text;
    }
    return nullptr;
}

std::string MessageWithStatusWord(int16_t status, int statusWord)
{
    const char *text = MessageOf(status);
    if (!text)
        return std::string();
    if ((status != kUidRefused && status != kEchoRefused) || statusWord < 0 || statusWord > 0xFFFF)
        return text;
    std::string message(text);
    const std::size_t cut = message.rfind(" (error status word)");
    char word[32];
    std::snprintf(word, sizeof word, " (status word %02X %02X)", unsigned(statusWord >> 8),
                  unsigned(statusWord & 0xFF));
    return message.substr(0, cut) + word;
}

} // namespace norvpcsc
