#include "norvpcsc_attribute.h"

#include <winscard.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace norvpcsc {

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

std::string FirmwareText(const std::string &vendor, const std::string &type,
                         const std::string &readerName, bool hasVersion, uint32_t version)
{
    std::string text = vendor;
    if (!type.empty())
        text += (text.empty() ? "" : " ") + type;
    if (text.empty())
        text = readerName;
    if (hasVersion) {
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
    return text;
}

void ChipsetInfoOf(uint32_t version, uint8_t info[4])
{
    for (int i = 0; i < 4; ++i)
        info[i] = static_cast<uint8_t>(version >> (24 - 8 * i));
}

void ChipsetIdOf(const std::vector<uint8_t> &serial, uint8_t id[4])
{
    const std::string text = TextOf(serial);
    const std::size_t count = std::min<std::size_t>(text.size(), 4);
    std::memcpy(id + 4 - count, text.data() + text.size() - count, count);
}

} // namespace norvpcsc
