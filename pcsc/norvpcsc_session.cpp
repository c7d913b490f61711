#include "norvpcsc_session.h"

#include "norvpcsc_daemon.h"
#include "norvpcsc_results.h"
#include "norvpcsc_status.h"
#include "norvpcsc_trace.h"

#include <reader.h>

#include <algorithm>

namespace norvpcsc {

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
        return ListFailure(listed);
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
        if (!chosen) {
            listedText_.clear();
            for (const Reader &reader : readers)
                listedText_ += (listedText_.empty() ? "" : ", ") + reader.listName;
            return kReaderNameUnknown;
        }
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
        return gone_ = ListFailure(listed);
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
        gone_ = IsServiceLost(result) ? ListFailure(result) : FromPcsc(SCARD_E_SERVICE_STOPPED);
        serviceLost_ = true;
        DropContext();
    } else {
        pcsc::SCardDisconnect(direct_, SCARD_LEAVE_CARD);
        gone_ = kReaderRemoved;
    }
    return gone_;
}


// A call that found pcscd gone: pcscd may be back already (restarted between
// two calls).  Then the reader is taken up again and the call made once more;
// else the status says why not.
bool Session::ServiceLostIn(int16_t status) const
{
    return status != kOk && serviceLost_ && gone_ == status;
}

// A failure to list pcscd's readers: pcscd with no reader, or pcscd not
// installed, stopped or refusing this program, or else pcsc-lite's status.
int16_t Session::ListFailure(LONG result)
{
    if (result == SCARD_E_NO_READERS_AVAILABLE)
        return kDaemonNoReader;
    const DaemonState state = DaemonStateOf(result);
    if (state.status == kOk)
        return FromPcsc(result);
    if (state.status == kDaemonStopped)
        stoppedText_ = state.text;
    return state.status;
}

std::string Session::DetailedMessage(int16_t status) const
{
    switch (status) {
    case kUidRefused:
        return uidRefusedWord_ < 0 ? std::string() : MessageWithStatusWord(status, uidRefusedWord_);
    case kEchoRefused:
        return echoRefusedWord_ < 0 ? std::string() : MessageWithStatusWord(status, echoRefusedWord_);
    case kDaemonStopped:
        return stoppedText_;
    case kReaderNameUnknown:
        return listedText_.empty() ? std::string()
                                   : std::string(MessageOf(status)) + "; it lists: " + listedText_;
    default:
        return std::string();
    }
}

} // namespace norvpcsc
