// The test reader driver: a pcsc-lite IFD handler whose readers are made of
// small configuration files.  pcscd loads it through a reader.conf entry
// whose DEVICENAME is the path of the reader's file; the driver reads the
// file again at every call, so a test changes the reader (puts a card on,
// takes it off, makes the reader vanish) by replacing the file.
//
// One file per reader, lines "key=value" ("#" starts a comment):
//   vendor, ifd_type, version, serial, channel   the reader attributes
//       text:TEXT      the text and a zero byte, as a USB driver gives strings
//       dword:NUMBER   four bytes in the machine's order (0x... or decimal)
//       hex:BYTES      exactly these bytes (odd sizes)
//       error:CODE     the IFD_ code to answer (618: buffer too small)
//       left out       IFD_ERROR_TAG, as a driver that does not know it
//   atr=HEX            the card's answer to reset; empty or left out: no card
//   uid_answer=HEX     the answer to GET DATA FF CA 00 00 00
//   gone=1             every call answers IFD_NO_SUCH_DEVICE
// The card echoes 80 EE 00 00 Lc <data> [Le] with its data and 90 00 and
// answers 6D 00 to anything else.
// The header declares the entry points without C linkage.
extern "C" {
#include <ifdhandler.h>
}
#include <reader.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

struct Value {
    bool known = false;
    RESPONSECODE error = IFD_SUCCESS;
    Bytes bytes;
};

struct Config {
    bool gone = false;
    Bytes atr;
    Bytes uidAnswer;
    std::map<DWORD, Value> attributes;
};

std::mutex lock;
std::map<DWORD, std::string> paths; // Lun -> the reader's file

bool ParseHex(const std::string &text, Bytes &bytes)
{
    bytes.clear();
    int high = -1;
    for (const char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)))
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10);
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<unsigned char>(high << 4 | digit));
            high = -1;
        }
    }
    return high < 0;
}

Value ParseValue(const std::string &text)
{
    Value value;
    value.known = true;
    const std::size_t colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    const std::string rest = colon == std::string::npos ? std::string() : text.substr(colon + 1);
    if (kind == "text") {
        value.bytes.assign(rest.begin(), rest.end());
        value.bytes.push_back(0);
    } else if (kind == "dword") {
        const uint32_t number = static_cast<uint32_t>(std::strtoul(rest.c_str(), nullptr, 0));
        value.bytes.resize(sizeof number);
        std::memcpy(value.bytes.data(), &number, sizeof number);
    } else if (kind == "hex") {
        ParseHex(rest, value.bytes);
    } else if (kind == "error") {
        value.error = std::strtol(rest.c_str(), nullptr, 0);
    } else {
        value.error = IFD_COMMUNICATION_ERROR;
    }
    return value;
}

Config Load(DWORD lun)
{
    static const std::map<std::string, DWORD> kAttributes = {
        {"vendor", SCARD_ATTR_VENDOR_NAME},           {"ifd_type", SCARD_ATTR_VENDOR_IFD_TYPE},
        {"version", SCARD_ATTR_VENDOR_IFD_VERSION},   {"serial", SCARD_ATTR_VENDOR_IFD_SERIAL_NO},
        {"channel", SCARD_ATTR_CHANNEL_ID}};
    Config config;
    std::string path;
    {
        const std::lock_guard<std::mutex> guard(lock);
        const auto found = paths.find(lun);
        if (found == paths.end()) {
            config.gone = true;
            return config;
        }
        path = found->second;
    }
    std::ifstream file(path);
    if (!file) {
        config.gone = true;
        return config;
    }
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "gone")
            config.gone = value == "1";
        else if (key == "atr")
            ParseHex(value, config.atr);
        else if (key == "uid_answer")
            ParseHex(value, config.uidAnswer);
        else if (const auto attribute = kAttributes.find(key); attribute != kAttributes.end())
            config.attributes[attribute->second] = ParseValue(value);
    }
    return config;
}

RESPONSECODE Give(const Bytes &bytes, PDWORD length, PUCHAR value)
{
    if (!length || (!value && !bytes.empty()))
        return IFD_COMMUNICATION_ERROR;
    if (*length < bytes.size()) {
        *length = static_cast<DWORD>(bytes.size());
        return IFD_ERROR_INSUFFICIENT_BUFFER;
    }
    if (!bytes.empty())
        std::memcpy(value, bytes.data(), bytes.size());
    *length = static_cast<DWORD>(bytes.size());
    return IFD_SUCCESS;
}

Bytes Number(unsigned char number) { return Bytes{number}; }

} // namespace

extern "C" {

RESPONSECODE IFDHCreateChannelByName(DWORD Lun, LPSTR DeviceName)
{
    if (!DeviceName)
        return IFD_COMMUNICATION_ERROR;
    {
        const std::lock_guard<std::mutex> guard(lock);
        paths[Lun] = DeviceName;
    }
    return Load(Lun).gone ? IFD_NO_SUCH_DEVICE : IFD_SUCCESS;
}

RESPONSECODE IFDHCreateChannel(DWORD /*Lun*/, DWORD /*Channel*/) { return IFD_COMMUNICATION_ERROR; }

RESPONSECODE IFDHCloseChannel(DWORD Lun)
{
    const std::lock_guard<std::mutex> guard(lock);
    paths.erase(Lun);
    return IFD_SUCCESS;
}

RESPONSECODE IFDHGetCapabilities(DWORD Lun, DWORD Tag, PDWORD Length, PUCHAR Value)
{
    switch (Tag) {
    case TAG_IFD_SLOTS_NUMBER:
        return Give(Number(1), Length, Value);
    case TAG_IFD_SIMULTANEOUS_ACCESS:
        return Give(Number(16), Length, Value);
    case TAG_IFD_THREAD_SAFE:
    case TAG_IFD_SLOT_THREAD_SAFE:
        return Give(Number(0), Length, Value);
    default:
        break;
    }
    const Config config = Load(Lun);
    if (config.gone)
        return IFD_NO_SUCH_DEVICE;
    if (Tag == TAG_IFD_ATR || Tag == SCARD_ATTR_ATR_STRING)
        return Give(config.atr, Length, Value);
    const auto found = config.attributes.find(Tag);
    if (found == config.attributes.end())
        return IFD_ERROR_TAG;
    if (found->second.error != IFD_SUCCESS)
        return found->second.error;
    return Give(found->second.bytes, Length, Value);
}

RESPONSECODE IFDHSetCapabilities(DWORD /*Lun*/, DWORD /*Tag*/, DWORD /*Length*/, PUCHAR /*Value*/)
{
    return IFD_NOT_SUPPORTED;
}

RESPONSECODE IFDHSetProtocolParameters(DWORD Lun, DWORD /*Protocol*/, UCHAR /*Flags*/, UCHAR /*PTS1*/,
                                       UCHAR /*PTS2*/, UCHAR /*PTS3*/)
{
    return Load(Lun).gone ? IFD_NO_SUCH_DEVICE : IFD_SUCCESS;
}

RESPONSECODE IFDHPowerICC(DWORD Lun, DWORD Action, PUCHAR Atr, PDWORD AtrLength)
{
    const Config config = Load(Lun);
    if (AtrLength && Action == IFD_POWER_DOWN)
        *AtrLength = 0;
    if (config.gone)
        return IFD_NO_SUCH_DEVICE;
    if (Action == IFD_POWER_DOWN)
        return IFD_SUCCESS;
    if (config.atr.empty()) {
        if (AtrLength)
            *AtrLength = 0;
        return IFD_ERROR_POWER_ACTION;
    }
    if (!AtrLength || !Atr || config.atr.size() > MAX_ATR_SIZE)
        return IFD_ERROR_POWER_ACTION;
    std::memcpy(Atr, config.atr.data(), config.atr.size());
    *AtrLength = static_cast<DWORD>(config.atr.size());
    return IFD_SUCCESS;
}

RESPONSECODE IFDHTransmitToICC(DWORD Lun, SCARD_IO_HEADER /*SendPci*/, PUCHAR TxBuffer, DWORD TxLength,
                               PUCHAR RxBuffer, PDWORD RxLength, PSCARD_IO_HEADER RecvPci)
{
    const Config config = Load(Lun);
    if (config.gone)
        return IFD_NO_SUCH_DEVICE;
    if (!RxLength || (!TxBuffer && TxLength))
        return IFD_COMMUNICATION_ERROR;
    if (config.atr.empty()) {
        *RxLength = 0;
        return IFD_ICC_NOT_PRESENT;
    }
    if (RecvPci)
        RecvPci->Protocol = 1;
    const Bytes command(TxBuffer, TxBuffer + TxLength);
    Bytes answer{0x6D, 0x00};
    if (command.size() == 5 && command[0] == 0xFF && command[1] == 0xCA && command[2] == 0 && command[3] == 0) {
        answer = config.uidAnswer;
    } else if (command.size() >= 5 && command[0] == 0x80 && command[1] == 0xEE &&
               (command.size() == 5u + command[4] || command.size() == 6u + command[4])) {
        answer.assign(command.begin() + 5, command.begin() + 5 + command[4]);
        answer.push_back(0x90);
        answer.push_back(0x00);
    }
    const RESPONSECODE given = Give(answer, RxLength, RxBuffer);
    return given == IFD_ERROR_INSUFFICIENT_BUFFER ? IFD_COMMUNICATION_ERROR : given;
}

RESPONSECODE IFDHControl(DWORD Lun, DWORD /*dwControlCode*/, PUCHAR /*TxBuffer*/, DWORD /*TxLength*/,
                         PUCHAR /*RxBuffer*/, DWORD /*RxLength*/, LPDWORD pdwBytesReturned)
{
    if (pdwBytesReturned)
        *pdwBytesReturned = 0;
    return Load(Lun).gone ? IFD_NO_SUCH_DEVICE : IFD_ERROR_NOT_SUPPORTED;
}

RESPONSECODE IFDHICCPresence(DWORD Lun)
{
    const Config config = Load(Lun);
    if (config.gone)
        return IFD_NO_SUCH_DEVICE;
    return config.atr.empty() ? IFD_ICC_NOT_PRESENT : IFD_ICC_PRESENT;
}

} // extern "C"
