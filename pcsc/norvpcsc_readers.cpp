// The reader list: pcscd's readers as the port list shows them, and the
// bounded wait for pcscd to take in a reader that was just plugged or
// unplugged.
#include "norvpcsc_session.h"

#include "norvpcsc_results.h"
#include "norvpcsc_status.h"
#include "norvpcsc_trace.h"
#include "norvpcsc_usb.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace norvpcsc {

namespace {

constexpr unsigned kListWaitMaxMs = 1500;
constexpr const char *kPnpNotification = "\\\\?PnP?\\Notification";
constexpr const char *kListValue = "PC/SC reader";

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
        return ListFailure(result);
    for (const std::string &name : names) {
        const std::string line = name + "=" + kListValue + "\n";
        if (text.size() + line.size() >= capacity)
            break; // only whole lines, and room for the zero byte
        text += line;
    }
    return kOk;
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

} // namespace norvpcsc
