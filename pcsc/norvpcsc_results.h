// How the session reads pcsc-lite's results: which ones mean that the
// reader, pcscd or the card is out of reach.
#pragma once

#include <pcsclite.h>

namespace norvpcsc {

// Results after which the reader, or pcscd itself, is out of reach.
inline bool IsLinkLost(LONG result)
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

inline bool IsServiceLost(LONG result)
{
    return result == SCARD_E_NO_SERVICE || result == SCARD_E_SERVICE_STOPPED ||
           result == SCARD_F_COMM_ERROR;
}

inline bool IsCardGone(LONG result)
{
    return result == SCARD_E_NO_SMARTCARD || result == SCARD_W_REMOVED_CARD;
}

// A card event on the reader since the handle was made: the handle wants a
// reconnect before it answers again.
inline bool IsCardEvent(LONG result)
{
    return result == SCARD_W_RESET_CARD || result == SCARD_W_REMOVED_CARD;
}

} // namespace norvpcsc
