#include "vcard_card.h"

#include <algorithm>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>

namespace qarnvcard {

namespace {

// Longest message either side sends: a 2-byte length says so.
constexpr std::size_t kMaxMessage = 0xFFFF;
constexpr std::size_t kRecentKept = 64;

bool ReadFull(int fd, uint8_t *data, std::size_t size)
{
    while (size > 0) {
        // The driver sends a message's length and its bytes apart: a delayed
        // acknowledgement of the length would hold the bytes back (about
        // 40 ms) and show up in every exchange's time.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
        const ssize_t got = ::recv(fd, data, size, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= std::size_t(got);
    }
    return true;
}

bool WriteFull(int fd, const uint8_t *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= std::size_t(sent);
    }
    return true;
}

bool SendMessage(int fd, const TBytes &payload)
{
    if (payload.size() > kMaxMessage)
        return false;
    TBytes message{uint8_t(payload.size() >> 8), uint8_t(payload.size() & 0xFF)};
    message.insert(message.end(), payload.begin(), payload.end());
    return WriteFull(fd, message.data(), message.size());
}

TBytes Status(uint8_t sw1, uint8_t sw2) { return {sw1, sw2}; }

} // namespace

uint8_t AtrCheckByte(const TBytes &atrWithoutCheck)
{
    uint8_t check = 0;
    for (std::size_t i = 1; i < atrWithoutCheck.size(); ++i)
        check ^= atrWithoutCheck[i];
    return check;
}

TBytes StorageCardAtr(uint8_t standard, uint16_t cardName)
{
    TBytes atr{0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00, 0x03, 0x06,
               standard, uint8_t(cardName >> 8), uint8_t(cardName & 0xFF), 0x00, 0x00, 0x00, 0x00};
    atr.push_back(AtrCheckByte(atr));
    return atr;
}

TBytes Iso14443Part4Atr(const TBytes &historical)
{
    const std::size_t count = historical.size() > 15 ? 15 : historical.size();
    TBytes atr(4 + count);
    atr[0] = 0x3B;
    atr[1] = uint8_t(0x80 | count);
    atr[2] = 0x80;
    atr[3] = 0x01;
    std::copy_n(historical.begin(), count, atr.begin() + 4);
    atr.push_back(AtrCheckByte(atr));
    return atr;
}

TBytes UidAnswer(const TBytes &uid)
{
    TBytes answer = uid;
    answer.push_back(0x90);
    answer.push_back(0x00);
    return answer;
}

bool ParseHex(const std::string &text, TBytes &bytes)
{
    bytes.clear();
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == ':') {
            if (high >= 0)
                return false;
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        const int digit = std::isdigit(static_cast<unsigned char>(c))
                              ? c - '0'
                              : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(uint8_t(high << 4 | digit));
            high = -1;
        }
    }
    return high < 0;
}

std::string ToHex(const TBytes &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 0x0F];
    }
    return text;
}

TVirtualCard::TVirtualCard(uint16_t port, TCardBehaviour behaviour)
    : FPort(port), FBehaviour(std::move(behaviour))
{
    FThread = std::thread([this]() { Run(); });
}

TVirtualCard::~TVirtualCard()
{
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FStop = true;
    }
    FChanged.notify_all();
    FThread.join();
}

void TVirtualCard::SetBehaviour(const TCardBehaviour &behaviour)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FBehaviour = behaviour;
}

TCardBehaviour TVirtualCard::Behaviour() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FBehaviour;
}

bool TVirtualCard::Insert(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(FMutex);
    FWanted = true;
    FChanged.notify_all();
    return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this]() { return FConnected; });
}

void TVirtualCard::Remove()
{
    std::unique_lock<std::mutex> lock(FMutex);
    FWanted = false;
    FChanged.notify_all();
    FChanged.wait(lock, [this]() { return !FConnected; });
}

bool TVirtualCard::Connected() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FConnected;
}

bool TVirtualCard::WaitLeft(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(FMutex);
    return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this]() { return !FWanted && !FConnected; });
}

unsigned TVirtualCard::ApduCount() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FApduCount;
}

std::vector<TBytes> TVirtualCard::RecentApdus() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FRecent;
}

int TVirtualCard::Connect() const
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(FPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A driver that stops in the middle of a message must not hold the card.
    timeval timeout{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return fd;
}

void TVirtualCard::Run()
{
    int fd = -1;
    std::unique_lock<std::mutex> lock(FMutex);
    const auto drop = [&]() {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        FConnected = false;
        FChanged.notify_all();
    };
    while (!FStop) {
        if (!FWanted) {
            if (fd >= 0)
                drop();
            FChanged.wait(lock, [this]() { return FStop || FWanted; });
            continue;
        }
        if (fd < 0) {
            lock.unlock();
            const int connected = Connect();
            lock.lock();
            if (connected < 0) {
                // The driver is not listening (yet, or any more): try again.
                FChanged.wait_for(lock, std::chrono::milliseconds(20));
                continue;
            }
            fd = connected;
            FConnected = true;
            FApdusSinceInsert = 0;
            FChanged.notify_all();
            continue;
        }
        lock.unlock();
        pollfd watch{fd, POLLIN, 0};
        const bool keep = ::poll(&watch, 1, 20) <= 0 || Serve(fd);
        lock.lock();
        if (!keep)
            drop();
    }
    drop();
}

bool TVirtualCard::Serve(int fd)
{
    uint8_t header[2];
    if (!ReadFull(fd, header, sizeof header))
        return false;
    TBytes message(std::size_t(header[0]) << 8 | header[1]);
    if (!message.empty() && !ReadFull(fd, message.data(), message.size()))
        return false;

    std::unique_lock<std::mutex> lock(FMutex);
    const TCardBehaviour behaviour = FBehaviour;
    if (message.size() == 1) {
        lock.unlock();
        // Power off, power on and reset need no answer.
        return message[0] != 0x04 || SendMessage(fd, behaviour.atr);
    }
    if (message.empty())
        return true;

    ++FApduCount;
    ++FApdusSinceInsert;
    FRecent.push_back(message);
    if (FRecent.size() > kRecentKept)
        FRecent.erase(FRecent.begin());
    if (behaviour.leaveAtApdu != 0 && FApdusSinceInsert == behaviour.leaveAtApdu) {
        FWanted = false; // leaves the field without an answer
        return false;
    }
    lock.unlock();
    return SendMessage(fd, Answer(message, behaviour));
}

TBytes TVirtualCard::Answer(const TBytes &apdu, const TCardBehaviour &behaviour) const
{
    if (apdu.size() < 4)
        return Status(0x67, 0x00);
    if (apdu[0] == 0xFF && apdu[1] == 0xCA)
        return apdu[2] == 0x00 && apdu[3] == 0x00 ? behaviour.uidAnswer : Status(0x6A, 0x81);
    if (apdu[0] == 0x80 && apdu[1] == 0xEE) {
        if (!behaviour.echo)
            return Status(0x6D, 0x00);
        // 80 EE 00 00 Lc <data> [Le]
        if (apdu.size() < 5 || (apdu.size() != 5u + apdu[4] && apdu.size() != 6u + apdu[4]))
            return Status(0x67, 0x00);
        if (behaviour.echoDelayMs != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(behaviour.echoDelayMs));
        if (!behaviour.echoAnswer.empty())
            return behaviour.echoAnswer;
        TBytes answer(apdu.begin() + 5, apdu.begin() + 5 + apdu[4]);
        answer.push_back(0x90);
        answer.push_back(0x00);
        return answer;
    }
    return Status(0x6D, 0x00);
}

} // namespace qarnvcard
