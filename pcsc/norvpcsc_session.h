// The one reader session of the PC/SC reader library: the pcsc-lite
// context, the open reader's direct connection, the card connection, and
// the reader list this library returned last.  All state lives here; the
// exports only check their arguments and call into it.  Its work is kept in
// four files: the reader list and the wait for pcscd (norvpcsc_readers.cpp),
// opening and reconnecting after pcscd restarts (norvpcsc_session.cpp), the
// reader's attributes (norvpcsc_attributes.cpp) and the card
// (norvpcsc_exchange.cpp).
#pragma once

#include "norvpcsc_settings.h"

#include <winscard.h>

#include <cstdint>
#include <string>
#include <vector>

namespace norvpcsc {

class Session {
public:
    Session() = default;
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    ~Session();

    int16_t CommList(std::string &text, std::size_t capacity);
    int16_t Open(const char *device);
    void Close();

    int16_t DeviceName(std::string &name);
    int16_t Firmware(std::string &text);
    int16_t ChipsetIds(uint8_t info[5], uint8_t id[4]);
    int16_t LinkSettings(uint32_t &settings);

    int16_t Find(uint16_t &type, uint8_t *uid, uint8_t &uidLength);
    int16_t ReleaseCard();
    int16_t Echo(uint16_t length);

    // The text of a status as this session last met it: with the card's
    // status word (kUidRefused, kEchoRefused), what to start
    // (kDaemonStopped) or the readers pcscd lists (kReaderNameUnknown);
    // empty when the status has no such text.
    std::string DetailedMessage(int16_t status) const;

private:
    struct Reader {
        std::string pcscName; // as pcscd names it
        std::string listName; // as the port list shows it
    };

    LONG EnsureContext();
    void DropContext();
    LONG ListReaders(std::vector<Reader> &readers);
    void WaitForReaderListChange(std::size_t knownCount);
    int16_t Usable();
    int16_t Reconnect();
    bool ServiceLostIn(int16_t status) const;
    int16_t FindOnce(uint16_t &type, uint8_t *uid, uint8_t &uidLength);
    int16_t EchoOnce(uint16_t length);
    const Reader *Match(const std::vector<Reader> &readers, const std::string &name) const;
    int16_t Failure(LONG result);
    int16_t ListFailure(LONG result);
    LONG ConnectDirect(const std::string &pcscName, SCARDHANDLE &handle);
    LONG Attribute(DWORD id, std::vector<uint8_t> &value);
    uint16_t ChannelType();
    int16_t ConnectCard();
    LONG Transmit(const std::vector<uint8_t> &command, uint8_t *answer, DWORD &answerLength);
    bool CardLeft();
    int16_t CardGoneOr(LONG result, int16_t gone);
    int16_t Exchange(const std::vector<uint8_t> &command, uint8_t *answer, std::size_t capacity,
                     std::size_t &length, int16_t gone, int16_t overflow);
    void DisconnectCard();

    SCARDCONTEXT context_ = 0;
    bool hasContext_ = false;
    unsigned contextCount_ = 0; // contexts made so far
    unsigned readerContext_ = 0; // the one the open reader was connected in

    bool open_ = false;
    int16_t gone_ = 0; // why the open reader is out of reach, 0 while it is not
    bool serviceLost_ = false; // pcscd went away: take the reader up again when it is back
    Reader reader_;
    SCARDHANDLE direct_ = 0;
    uint16_t channelType_ = 0;

    bool hasCard_ = false;
    SCARDHANDLE card_ = 0;
    DWORD cardProtocol_ = 0;
    uint8_t echoSeed_ = 0;
    int uidRefusedWord_ = -1;
    int echoRefusedWord_ = -1;
    std::string stoppedText_; // kDaemonStopped's text when it was given last
    std::string listedText_;  // the readers pcscd listed at the last kReaderNameUnknown

    bool listedBefore_ = false;
    std::vector<std::string> lastList_;
    bool usbToldBefore_ = false;
    std::vector<std::string> lastUsb_; // the reader interfaces at the last list
};

Session &TheSession();

// The name the port list shows for a pcscd reader name: "=" becomes "-"
// and control characters become blanks.
std::string ListNameOf(const std::string &pcscName);

// The bounded wait for a changed reader list, in milliseconds.
unsigned ReaderListWaitMs();

} // namespace norvpcsc
