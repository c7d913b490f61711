#include "norvpcsc_session.h"

#include "norvpcsc_card.h"
#include "norvpcsc_status.h"
#include "norvpcsc_trace.h"
#include "norvpcsc_usb.h"

#include <pcsclite.h>
#include <reader.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace norvpcsc {

namespace {

constexpr unsigned kListWaitMaxMs = 1500;
// pcscd looks for cards every 400 ms on readers that do not announce them.
constexpr DWORD kCardLeftWaitMs = 600;
constexpr std::size_t kAttributeBufferSize = 264; // pcsc-lite's largest attribute
constexpr const char *kPnpNotification = "\\\\?PnP?\\Notification";
constexpr const char *kListValue = "PC/SC reader";

// Results after which the reader, or pcscd itself, is out of reach.
bool IsLinkLost(LONG result)
{
    switch (result) {
    case SCARD_E_READER_UNAVAILABLE:
    case SCARD_E_UNKNOWN_READER:
    case SCARD_E_INVALID_HANDLE:
    case SCARD_E_NO_READERS_AVAILABLE:
    case SCARD_E_NO_SERVICE:
    case SCARD_E_SERVICE_STOPPED:
    case SCARD_F_COMM_ERROR:
        return true;
    default:
        return false;
    }
}

bool IsServiceLost(LONG result)
{
    return result == SCARD_E_NO_SERVICE || result == SCARD_E_SERVICE_STOPPED ||
           result == SCARD_F_COMM_ERROR;
}

bool IsCardGone(LONG result)
{
    return result == SCARD_E_NO_SMARTCARD || result == SCARD_W_REMOVED_CARD;
}

// A card event on the reader since the handle was made: the handle wants a
// reconnect before it answers again.
bool IsCardEvent(LONG result)
{
    return result == SCARD_W_RESET_CARD || result == SCARD_W_REMOVED_CARD;
}

// pcsc-lite names a reader "<name> RR SS": RR counts the readers in the
// order they were plugged in, SS is the slot.  Two names are the same reader
// seen after a re-plug when only RR differs.
bool SameExceptReaderNumber(const std::string &a, const std::string &b)
{
    constexpr std::size_t kSuffix = 6; // " RR SS"
    if (a.size() != b.size() || a.size() <= kSuffix)
        return false;
    const std::size_t at = a.size() - kSuffix;
    auto numbered = [at](const std::string &s) {
        return s[at] == ' ' && std::isxdigit(static_cast<unsigned char>(s[at + 1])) &&
               std::isxdigit(static_cast<unsigned char>(s[at + 2])) && s[at + 3] == ' ' &&
               std::isxdigit(static_cast<unsigned char>(s[at + 4])) &&
               std::isxdigit(static_cast<unsigned char>(s[at + 5]));
    };
    return numbered(a) && numbered(b) && a.compare(0, at, b, 0, at) == 0 &&
           a.compare(at + 3, 3, b, at + 3, 3) == 0;
}

// Printable text of an attribute: up to its first zero byte, control
// characters replaced by blanks, surrounding blanks dropped.
std::string TextOf(const std::vector<uint8_t> &value)
{
    std::string text;
    for (uint8_t byte : value) {
        if (byte == 0)
            break;
        text += (byte < 0x20 || byte == 0x7F) ? ' ' : static_cast<char>(byte);
    }
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool DwordOf(const std::vector<uint8_t> &value, uint32_t &number)
{
    if (value.size() != sizeof(DWORD) && value.size() != sizeof(uint32_t))
        return false;
    DWORD raw = 0;
    std::memcpy(&raw, value.data(), std::min(value.size(), sizeof raw));
    number = static_cast<uint32_t>(raw);
    return true;
}

} // namespace

std::string ListNameOf(const std::string &pcscName)
{
    std::string name = pcscName;
    for (char &c : name) {
        if (c == '=')
            c = '-';
        else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return name;
}

unsigned ReaderListWaitMs()
{
    const char *value = std::getenv("NORVANE_PCSC_LIST_WAIT_MS");
    if (!value || !*value)
        return kListWaitMaxMs;
    char *end = nullptr;
    const unsigned long ms = std::strtoul(value, &end, 10);
    if (*end != '\0' || value[0] == '-')
        return kListWaitMaxMs;
    return static_cast<unsigned>(std::min<unsigned long>(ms, kListWaitMaxMs));
}

Session &TheSession()
{
    static Session session;
    return session;
}

Session::~Session() { Close(); }

// ---- context and reader list ----------------------------------------------

LONG Session::EnsureContext()
{
    if (hasContext_ && pcsc::SCardIsValidContext(context_) == SCARD_S_SUCCESS)
        return SCARD_S_SUCCESS;
    DropContext();
    const LONG result =
        pcsc::SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context_);
    hasContext_ = result == SCARD_S_SUCCESS;
    contextCount_ += hasContext_ ? 1 : 0;
    return result;
}

void Session::DropContext()
{
    if (hasContext_)
        pcsc::SCardReleaseContext(context_);
    hasContext_ = false;
    context_ = 0;
}

LONG Session::ListReaders(std::vector<Reader> &readers)
{
    readers.clear();
    // A context made before pcscd restarted fails once: make a new one.
    for (int attempt = 0; attempt < 3; ++attempt) {
        LONG result = EnsureContext();
        if (result != SCARD_S_SUCCESS)
            return result;
        DWORD size = 0;
        result = pcsc::SCardListReaders(context_, nullptr, nullptr, &size);
        std::vector<char> names;
        if (result == SCARD_S_SUCCESS) {
            names.resize(size + 2, '\0');
            result = pcsc::SCardListReaders(context_, nullptr, names.data(), &size);
        }
        if (result == SCARD_E_INSUFFICIENT_BUFFER)
            continue; // a reader came between the two calls
        if (IsServiceLost(result) || result == SCARD_E_INVALID_HANDLE) {
            DropContext();
            continue;
        }
        if (result != SCARD_S_SUCCESS)
            return result;
        // A multi-string: names ended by a zero byte, the list by another.
        const std::size_t end = std::min<std::size_t>(size, names.size() - 1);
        std::size_t at = 0;
        while (at < end && names[at] != '\0') {
            const std::string name(names.data() + at);
            readers.push_back({name, ListNameOf(name)});
            at += name.size() + 1;
        }
        return readers.empty() ? SCARD_E_NO_READERS_AVAILABLE : SCARD_S_SUCCESS;
    }
    return SCARD_E_NO_SERVICE;
}

// Waits until pcscd's reader count changes, at most ReaderListWaitMs().
// pcsc-lite 1.9 compares the count from the start of the wait; later
// versions also read the count given in the high 16 bits of the
// plug-and-play pseudo-reader's state and answer at once when it differs.
void Session::WaitForReaderListChange(std::size_t knownCount)
{
    const unsigned waitMs = ReaderListWaitMs();
    if (waitMs == 0 || EnsureContext() != SCARD_S_SUCCESS)
        return;
    SCARD_READERSTATE state{};
    state.szReader = kPnpNotification;
    state.dwCurrentState = static_cast<DWORD>(knownCount) << 16;
    pcsc::SCardGetStatusChange(context_, waitMs, &state, 1);
}

int16_t Session::CommList(std::string &text, std::size_t capacity)
{
    text.clear();
    std::vector<Reader> readers;
    LONG result = ListReaders(readers);
    auto namesOf = [&readers]() {
        std::vector<std::string> names;
        for (const Reader &reader : readers)
            names.push_back(reader.listName);
        return names;
    };
    std::vector<std::string> names = namesOf();
    // Asked again for the list this library gave last time: the caller has
    // seen a USB device come or go, maybe before pcscd did.  Worth a wait
    // only when a reader can have come or gone: when the USB interfaces of
    // the reader classes changed, or the system does not tell them.
    std::vector<std::string> usb;
    const bool usbTold = ReaderInterfaces(usb);
    const bool readerMayHaveMoved = !usbTold || !usbToldBefore_ || usb != lastUsb_;
    usbToldBefore_ = usbTold;
    lastUsb_ = usb;
    const bool daemonAnswered = result == SCARD_S_SUCCESS || result == SCARD_E_NO_READERS_AVAILABLE;
    if (listedBefore_ && daemonAnswered && names == lastList_ && readerMayHaveMoved) {
        WaitForReaderListChange(readers.size());
        result = ListReaders(readers);
        names = namesOf();
    }
    listedBefore_ = true;
    lastList_ = names;
    if (result != SCARD_S_SUCCESS)
        return FromPcsc(result);
    for (const std::string &name : names) {
        const std::string line = name + "=" + kListValue + "\n";
        if (text.size() + line.size() >= capacity)
            break; // only whole lines, and room for the zero byte
        text += line;
    }
    return kOk;
}

// ---- the open reader --------------------------------------------------------

LONG Session::ConnectDirect(const std::string &pcscName, SCARDHANDLE &handle)
{
    DWORD protocol = 0;
    return pcsc::SCardConnect(context_, pcscName.c_str(), SCARD_SHARE_DIRECT, 0, &handle,
                              &protocol);
}

int16_t Session::Open(const char *device)
{
    Close();
    std::vector<Reader> readers;
    const LONG listed = ListReaders(readers);
    if (listed != SCARD_S_SUCCESS)
        return FromPcsc(listed);
    const std::string name = device ? device : "";

    SCARDHANDLE handle = 0;
    const Reader *chosen = nullptr;
    if (name.empty() || name == "auto") {
        chosen = &readers.front();
    } else if (name == "USB") {
        for (const Reader &reader : readers) {
            if (ConnectDirect(reader.pcscName, handle) != SCARD_S_SUCCESS)
                continue;
            direct_ = handle;
            if (ChannelType() == kChannelUsb) {
                chosen = &reader;
                break;
            }
            pcsc::SCardDisconnect(handle, SCARD_LEAVE_CARD);
        }
        if (!chosen)
            return kNoUsbReader;
    } else {
        chosen = Match(readers, name);
        if (!chosen)
            return kReaderNameUnknown;
    }

    if (name != "USB") {
        const LONG result = ConnectDirect(chosen->pcscName, handle);
        if (result != SCARD_S_SUCCESS)
            return FromPcsc(result);
        direct_ = handle;
    }
    reader_ = *chosen;
    readerContext_ = contextCount_;
    open_ = true;
    gone_ = kOk;
    channelType_ = ChannelType();
    return kOk;
}

void Session::Close()
{
    DisconnectCard();
    if (open_ && gone_ == kOk)
        pcsc::SCardDisconnect(direct_, SCARD_LEAVE_CARD);
    open_ = false;
    gone_ = kOk;
    serviceLost_ = false;
    direct_ = 0;
    channelType_ = 0;
    reader_ = Reader();
    DropContext();
}

// The reader of that name (listed or pcscd's own), or else the one reader
// that came back under another number.
const Session::Reader *Session::Match(const std::vector<Reader> &readers, const std::string &name) const
{
    for (const Reader &reader : readers) {
        if (reader.listName == name || reader.pcscName == name)
            return &reader;
    }
    const Reader *alike = nullptr;
    for (const Reader &reader : readers) {
        if (SameExceptReaderNumber(reader.listName, name)) {
            if (alike)
                return nullptr;
            alike = &reader;
        }
    }
    return alike;
}

int16_t Session::Usable()
{
    if (!open_)
        return kNoReaderOpen;
    if (gone_ != kOk && serviceLost_)
        return Reconnect();
    return gone_;
}

// pcscd went away while the reader was open: once it is back, a new context
// and a new direct connection to the reader of the same name.  Until then
// each call tries again and says why it could not.
int16_t Session::Reconnect()
{
    std::vector<Reader> readers;
    const LONG listed = ListReaders(readers);
    if (listed != SCARD_S_SUCCESS && listed != SCARD_E_NO_READERS_AVAILABLE) {
        DropContext();
        return gone_ = FromPcsc(listed);
    }
    const Reader *reader = Match(readers, reader_.listName);
    if (!reader)
        return gone_ = kReaderNotBack;
    SCARDHANDLE handle = 0;
    const LONG result = ConnectDirect(reader->pcscName, handle);
    if (result != SCARD_S_SUCCESS)
        return gone_ = IsLinkLost(result) ? int16_t(kReaderNotBack) : FromPcsc(result);
    reader_ = *reader;
    readerContext_ = contextCount_;
    direct_ = handle;
    gone_ = kOk;
    serviceLost_ = false;
    channelType_ = ChannelType();
    return kOk;
}

// A call on the open reader failed: when the reader or pcscd is out of reach
// every later call says so at once, until the reader is closed.
int16_t Session::Failure(LONG result)
{
    if (!IsLinkLost(result)) {
        std::vector<Reader> readers;
        const LONG listed = ListReaders(readers);
        const bool stillThere =
            listed == SCARD_S_SUCCESS &&
            std::any_of(readers.begin(), readers.end(),
                        [this](const Reader &reader) { return reader.pcscName == reader_.pcscName; });
        const bool sameContext = readerContext_ == contextCount_;
        if (sameContext &&
            (stillThere || (listed != SCARD_S_SUCCESS && listed != SCARD_E_NO_READERS_AVAILABLE)))
            return FromPcsc(result);
    }
    DisconnectCard();
    // The reader's context is gone or pcscd no longer knows it: pcscd was
    // restarted meanwhile.
    const bool restarted = readerContext_ != contextCount_ ||
                           (hasContext_ && pcsc::SCardIsValidContext(context_) != SCARD_S_SUCCESS);
    if (IsServiceLost(result) || restarted) {
        gone_ = FromPcsc(IsServiceLost(result) ? result : SCARD_E_SERVICE_STOPPED);
        serviceLost_ = true;
        DropContext();
    } else {
        pcsc::SCardDisconnect(direct_, SCARD_LEAVE_CARD);
        gone_ = kReaderRemoved;
    }
    return gone_;
}

LONG Session::Attribute(DWORD id, std::vector<uint8_t> &value)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        value.assign(kAttributeBufferSize, 0);
        DWORD length = static_cast<DWORD>(value.size());
        const LONG result = pcsc::SCardGetAttrib(direct_, id, value.data(), &length);
        if (result == SCARD_S_SUCCESS) {
            value.resize(std::min<std::size_t>(length, value.size()));
            return result;
        }
        value.clear();
        if (!IsCardEvent(result) || attempt > 0)
            return result;
        DWORD protocol = 0;
        const LONG again =
            pcsc::SCardReconnect(direct_, SCARD_SHARE_DIRECT, 0, SCARD_LEAVE_CARD, &protocol);
        if (again != SCARD_S_SUCCESS)
            return again;
    }
    return SCARD_F_INTERNAL_ERROR;
}

// The data channel type of SCARD_ATTR_CHANNEL_ID (0xDDDDCCCC: DDDD the type),
// 0 when the driver does not tell.
uint16_t Session::ChannelType()
{
    std::vector<uint8_t> value;
    uint32_t channel = 0;
    if (Attribute(SCARD_ATTR_CHANNEL_ID, value) != SCARD_S_SUCCESS || !DwordOf(value, channel))
        return 0;
    return static_cast<uint16_t>(channel >> 16);
}

int16_t Session::DeviceName(std::string &name)
{
    if (const int16_t status = Usable())
        return status;
    name = reader_.listName;
    return kOk;
}

int16_t Session::Firmware(std::string &text)
{
    if (const int16_t status = Usable())
        return status;
    std::string parts[2];
    const DWORD textIds[2] = {SCARD_ATTR_VENDOR_NAME, SCARD_ATTR_VENDOR_IFD_TYPE};
    std::vector<uint8_t> value;
    for (int i = 0; i < 2; ++i) {
        const LONG result = Attribute(textIds[i], value);
        if (IsLinkLost(result))
            return Failure(result);
        parts[i] = TextOf(value);
    }
    text = parts[0];
    if (!parts[1].empty())
        text += (text.empty() ? "" : " ") + parts[1];
    if (text.empty())
        text = reader_.listName;

    const LONG result = Attribute(SCARD_ATTR_VENDOR_IFD_VERSION, value);
    if (IsLinkLost(result))
        return Failure(result);
    uint32_t version = 0;
    if (result == SCARD_S_SUCCESS && DwordOf(value, version)) {
        // 0xMMmmbbbb; USB readers give their BCD release number as MM.mm,
        // which reads right in hexadecimal digits.
        char number[32];
        std::snprintf(number, sizeof number, " %X.%02X", unsigned(version >> 24),
                      unsigned((version >> 16) & 0xFF));
        text += number;
        if (version & 0xFFFF) {
            std::snprintf(number, sizeof number, ".%u", unsigned(version & 0xFFFF));
            text += number;
        }
    }
    return kOk;
}

int16_t Session::ChipsetIds(uint8_t info[5], uint8_t id[4])
{
    if (const int16_t status = Usable())
        return status;
    std::memset(info, 0, 5);
    std::memset(id, 0, 4);
    std::vector<uint8_t> value;
    LONG result = Attribute(SCARD_ATTR_VENDOR_IFD_VERSION, value);
    if (IsLinkLost(result))
        return Failure(result);
    uint32_t version = 0;
    if (result == SCARD_S_SUCCESS && DwordOf(value, version)) {
        for (int i = 0; i < 4; ++i)
            info[i] = static_cast<uint8_t>(version >> (24 - 8 * i));
    }
    result = Attribute(SCARD_ATTR_VENDOR_IFD_SERIAL_NO, value);
    if (IsLinkLost(result))
        return Failure(result);
    if (result == SCARD_S_SUCCESS) {
        // The last four bytes of the serial number, right-aligned.
        const std::string serial = TextOf(value);
        const std::size_t count = std::min<std::size_t>(serial.size(), 4);
        std::memcpy(id + 4 - count, serial.data() + serial.size() - count, count);
    }
    return kOk;
}

int16_t Session::LinkSettings(uint32_t &settings)
{
    if (const int16_t status = Usable())
        return status;
    settings = LinkSettingsWord(channelType_);
    return kOk;
}

// ---- the card ---------------------------------------------------------------

int16_t Session::ConnectCard()
{
    if (hasCard_)
        return kOk;
    const LONG result =
        pcsc::SCardConnect(context_, reader_.pcscName.c_str(), SCARD_SHARE_SHARED,
                           SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card_, &cardProtocol_);
    if (result == SCARD_S_SUCCESS) {
        hasCard_ = true;
        return kOk;
    }
    return CardGoneOr(result, kNoCard);
}

// After a failed exchange: whether the card has left the reader, seen now
// or within kCardLeftWaitMs, when pcscd may not have noticed yet.
bool Session::CardLeft()
{
    SCARD_READERSTATE state{};
    state.szReader = reader_.pcscName.c_str();
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    if (pcsc::SCardGetStatusChange(context_, 0, &state, 1) != SCARD_S_SUCCESS)
        return false;
    if (state.dwEventState & SCARD_STATE_MUTE)
        return false; // pcscd knows the card is there and does not answer
    if (!(state.dwEventState & SCARD_STATE_EMPTY)) {
        state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
        if (pcsc::SCardGetStatusChange(context_, kCardLeftWaitMs, &state, 1) != SCARD_S_SUCCESS)
            return false;
    }
    return (state.dwEventState & SCARD_STATE_EMPTY) != 0;
}

void Session::DisconnectCard()
{
    if (hasCard_)
        pcsc::SCardDisconnect(card_, SCARD_LEAVE_CARD);
    hasCard_ = false;
    card_ = 0;
}

LONG Session::Transmit(const std::vector<uint8_t> &command, uint8_t *answer, DWORD &answerLength)
{
    const DWORD capacity = answerLength;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const SCARD_IO_REQUEST *pci =
            cardProtocol_ == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1 : SCARD_PCI_T0;
        answerLength = capacity;
        const LONG result = pcsc::SCardTransmit(card_, pci, command.data(),
                                                static_cast<DWORD>(command.size()), nullptr,
                                                answer, &answerLength);
        if (result != SCARD_W_RESET_CARD || attempt > 0)
            return result;
        // Another program reset the card: take it up again once.
        const LONG again = pcsc::SCardReconnect(card_, SCARD_SHARE_SHARED,
                                                SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                                                SCARD_LEAVE_CARD, &cardProtocol_);
        if (again != SCARD_S_SUCCESS)
            return again;
    }
    return SCARD_F_INTERNAL_ERROR;
}

// A card call failed: gone when the card has left the reader (also before
// pcscd noticed), else the failure's status.
int16_t Session::CardGoneOr(LONG result, int16_t gone)
{
    if (IsCardGone(result) || (!IsLinkLost(result) && CardLeft())) {
        DisconnectCard();
        return gone;
    }
    return Failure(result);
}

// One command to the card: kOk with the answer's length; overflow when the
// answer does not fit; gone when the card has left, also when the answer
// lacks a status word, which some drivers give an exchange cut short by a
// leaving card; else the failure's status.
int16_t Session::Exchange(const std::vector<uint8_t> &command, uint8_t *answer,
                          std::size_t capacity, std::size_t &length, int16_t gone,
                          int16_t overflow)
{
    DWORD answerLength = static_cast<DWORD>(capacity);
    const LONG result = Transmit(command, answer, answerLength);
    if (result == SCARD_E_INSUFFICIENT_BUFFER)
        return overflow;
    if (result != SCARD_S_SUCCESS)
        return CardGoneOr(result, gone);
    length = std::min<std::size_t>(answerLength, capacity);
    if (length < 2 && CardLeft()) {
        DisconnectCard();
        return gone;
    }
    return kOk;
}

// A call that found pcscd gone: pcscd may be back already (restarted between
// two calls).  Then the reader is taken up again and the call made once more;
// else the status says why not.
bool Session::ServiceLostIn(int16_t status) const
{
    return status != kOk && serviceLost_ && gone_ == status;
}

int16_t Session::Find(uint16_t &type, uint8_t *uid, uint8_t &uidLength)
{
    int16_t status = FindOnce(type, uid, uidLength);
    if (ServiceLostIn(status) && (status = Reconnect()) == kOk)
        status = FindOnce(type, uid, uidLength);
    return status;
}

int16_t Session::Echo(uint16_t length)
{
    int16_t status = EchoOnce(length);
    if (ServiceLostIn(status) && (status = Reconnect()) == kOk)
        status = EchoOnce(length);
    return status;
}

int16_t Session::FindOnce(uint16_t &type, uint8_t *uid, uint8_t &uidLength)
{
    if (const int16_t status = Usable())
        return status;
    DisconnectCard(); // every poll looks at the reader afresh
    if (const int16_t status = ConnectCard())
        return status;

    uint8_t atr[2 * kMaxAtrLength];
    DWORD atrLength = sizeof atr;
    DWORD state = 0, protocol = 0;
    const LONG result =
        pcsc::SCardStatus(card_, nullptr, nullptr, &state, &protocol, atr, &atrLength);
    if (result == SCARD_E_INSUFFICIENT_BUFFER)
        return kAtrTooLong;
    if (result != SCARD_S_SUCCESS)
        return CardGoneOr(result, kNoCard);
    uint16_t cardType = kTypeUnknown;
    if (const int16_t status = CardTypeOfAtr(atr, std::min<std::size_t>(atrLength, sizeof atr), cardType))
        return status;

    uint8_t answer[258];
    std::size_t length = 0;
    const std::vector<uint8_t> command(kGetUidCommand, kGetUidCommand + sizeof kGetUidCommand);
    if (const int16_t status = Exchange(command, answer, sizeof answer, length, kNoCard, kUidTooLong))
        return status;
    if (const int16_t status = UidOfAnswer(answer, length, uid, uidLength)) {
        if (status == kUidRefused)
            uidRefusedWord_ = StatusWordOf(answer, length);
        return status;
    }
    type = cardType;
    return kOk;
}

int Session::RefusedStatusWord(int16_t status) const
{
    if (status == kUidRefused)
        return uidRefusedWord_;
    if (status == kEchoRefused)
        return echoRefusedWord_;
    return -1;
}

int16_t Session::ReleaseCard()
{
    DisconnectCard();
    return kOk;
}

int16_t Session::EchoOnce(uint16_t length)
{
    if (const int16_t status = Usable())
        return status;
    if (length == 0) {
        // The probe: the reader's state, asked of the reader's own connection;
        // without a card there is nothing to measure.
        for (int attempt = 0; attempt < 2; ++attempt) {
            DWORD state = 0, protocol = 0;
            uint8_t atr[2 * kMaxAtrLength];
            DWORD atrLength = sizeof atr;
            const LONG result =
                pcsc::SCardStatus(direct_, nullptr, nullptr, &state, &protocol, atr, &atrLength);
            if (result == SCARD_S_SUCCESS)
                return (state & SCARD_PRESENT) ? kOk : kBenchmarkNoCard;
            if (!IsCardEvent(result) || attempt > 0)
                return result == SCARD_E_NO_SMARTCARD ? int16_t(kBenchmarkNoCard) : Failure(result);
            const LONG again =
                pcsc::SCardReconnect(direct_, SCARD_SHARE_DIRECT, 0, SCARD_LEAVE_CARD, &protocol);
            if (again != SCARD_S_SUCCESS)
                return again == SCARD_E_NO_SMARTCARD ? int16_t(kBenchmarkNoCard) : Failure(again);
        }
        return kInternal;
    }

    const int16_t connected = ConnectCard();
    if (connected == kNoCard)
        return kNotSupported;
    if (connected != kOk)
        return connected;
    for (const std::size_t size : EchoChunkSizes(length)) {
        uint8_t data[kMaxEchoChunk];
        ++echoSeed_;
        for (std::size_t i = 0; i < size; ++i)
            data[i] = static_cast<uint8_t>(echoSeed_ + 31 * i);
        uint8_t answer[kMaxEchoChunk + 8];
        std::size_t answerLength = 0;
        if (const int16_t status = Exchange(EchoCommand(data, size), answer, sizeof answer,
                                            answerLength, kNotSupported, kEchoMismatch))
            return status;
        if (const int16_t status = CheckEchoAnswer(data, size, answer, answerLength)) {
            if (status == kEchoRefused)
                echoRefusedWord_ = StatusWordOf(answer, answerLength);
            return status;
        }
    }
    return kOk;
}

} // namespace norvpcsc
