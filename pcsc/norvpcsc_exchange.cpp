// The card: connecting to it, its type and UID, the echo exchange, and
// telling a card that left from a failed exchange.
#include "norvpcsc_session.h"

#include "norvpcsc_card.h"
#include "norvpcsc_results.h"
#include "norvpcsc_status.h"
#include "norvpcsc_trace.h"

#include <algorithm>

namespace norvpcsc {

namespace {

// pcscd looks for cards every 400 ms on readers that do not announce them.
constexpr DWORD kCardLeftWaitMs = 600;

} // namespace

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
