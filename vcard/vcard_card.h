// A virtual contactless card for the virtual PC/SC reader driver (vpcd).
//
// The driver listens on a TCP port on this machine, one port per slot; the
// card connects to it as a client, and while it is connected the reader has
// a card.  Every message, both ways, is a 2-byte big-endian length followed
// by that many bytes.  A 1-byte message from the driver is a control (0x00
// power off, 0x01 power on, 0x02 reset, 0x04 "send your answer to reset",
// answered by the ATR); any longer message is a command APDU, answered by
// the response APDU.
//
// The card answers GET DATA (FF CA 00 00 00) with its UID and the echo
// command 80 EE 00 00 Lc <data> 00 with the same data, after a delay; every
// answer can be replaced by hostile bytes.  Plain C++ (no Qt), so the tests
// and the stand-alone program qarn-vcard share it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qarnvcard {

using TBytes = std::vector<uint8_t>;

// The check byte TCK of an answer to reset: the XOR of every byte from T0 on.
uint8_t AtrCheckByte(const TBytes &atrWithoutCheck);

// The PC/SC answer to reset of a contactless storage card:
// 3B 8F 80 01 80 4F 0C A0 00 00 03 06 SS NN NN 00 00 00 00 TCK.
TBytes StorageCardAtr(uint8_t standard, uint16_t cardName);

// The PC/SC answer to reset of an ISO 14443-4 card: 3B 8n 80 01, the n
// historical bytes (at most 15) and TCK.
TBytes Iso14443Part4Atr(const TBytes &historical);

// GET DATA's answer for a UID: the UID followed by 90 00.
TBytes UidAnswer(const TBytes &uid);

// Hexadecimal text (blanks, colons allowed between bytes) to bytes; false
// on anything else or an odd number of digits.
bool ParseHex(const std::string &text, TBytes &bytes);
std::string ToHex(const TBytes &bytes);

struct TCardBehaviour {
    // Sent as it is when the driver asks for the answer to reset (an empty
    // or overlong one too).
    TBytes atr = StorageCardAtr(0x03, 0x0001);
    // The whole answer to GET DATA FF CA 00 00 00, status word included.
    TBytes uidAnswer = UidAnswer({0x04, 0xA2, 0x19, 0x7F});
    // Answers the echo command; otherwise 6D 00 (instruction not supported).
    bool echo = true;
    unsigned echoDelayMs = 0;
    // When not empty, the whole answer to every echo command instead of the
    // data and 90 00.
    TBytes echoAnswer;
    // The card leaves the field when the command APDU with this number
    // (counted from 1 since it came) arrives, without answering it; 0: never.
    unsigned leaveAtApdu = 0;

    bool operator==(const TCardBehaviour &other) const
    {
        return atr == other.atr && uidAnswer == other.uidAnswer && echo == other.echo &&
               echoDelayMs == other.echoDelayMs && echoAnswer == other.echoAnswer &&
               leaveAtApdu == other.leaveAtApdu;
    }
};

class TVirtualCard {
public:
    // The card starts outside the field; Insert() brings it in.
    explicit TVirtualCard(uint16_t port, TCardBehaviour behaviour = {});
    ~TVirtualCard();
    TVirtualCard(const TVirtualCard &) = delete;
    TVirtualCard &operator=(const TVirtualCard &) = delete;

    void SetBehaviour(const TCardBehaviour &behaviour);
    TCardBehaviour Behaviour() const;

    // Into the field: the card connects to the driver, and connects again
    // whenever the connection is lost (a restarted daemon), until Remove().
    // Returns once connected, or false after timeoutMs.
    bool Insert(int timeoutMs = 5000);
    // Out of the field; returns once the connection is closed.
    void Remove();
    bool Connected() const;
    // Waits until the card has left by itself (leaveAtApdu); false on timeout.
    bool WaitLeft(int timeoutMs);

    // Command APDUs received (the one it left on included), and the last
    // ones of them (at most 64), oldest first.
    unsigned ApduCount() const;
    std::vector<TBytes> RecentApdus() const;

private:
    void Run();
    int Connect() const;
    // Serves one message; false when the connection is to be closed.
    bool Serve(int fd);
    TBytes Answer(const TBytes &apdu, const TCardBehaviour &behaviour) const;

    const uint16_t FPort;
    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    TCardBehaviour FBehaviour;
    bool FWanted = false;     // in the field
    bool FConnected = false;
    bool FStop = false;
    unsigned FApdusSinceInsert = 0;
    unsigned FApduCount = 0;
    std::vector<TBytes> FRecent;
    std::thread FThread;
};

} // namespace qarnvcard
