// The open reader's attributes (SCardGetAttrib) as the exports give them:
// its name, firmware line, chipset boxes and link settings word.
#include "norvpcsc_session.h"

#include "norvpcsc_attribute.h"
#include "norvpcsc_results.h"
#include "norvpcsc_status.h"
#include "norvpcsc_trace.h"

#include <reader.h>

#include <algorithm>
#include <cstring>

namespace norvpcsc {

namespace {

constexpr std::size_t kAttributeBufferSize = 264; // pcsc-lite's largest attribute

} // namespace

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
    const LONG result = Attribute(SCARD_ATTR_VENDOR_IFD_VERSION, value);
    if (IsLinkLost(result))
        return Failure(result);
    uint32_t version = 0;
    const bool hasVersion = result == SCARD_S_SUCCESS && DwordOf(value, version);
    text = FirmwareText(parts[0], parts[1], reader_.listName, hasVersion, version);
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
    if (result == SCARD_S_SUCCESS && DwordOf(value, version))
        ChipsetInfoOf(version, info);
    result = Attribute(SCARD_ATTR_VENDOR_IFD_SERIAL_NO, value);
    if (IsLinkLost(result))
        return Failure(result);
    if (result == SCARD_S_SUCCESS)
        ChipsetIdOf(value, id);
    return kOk;
}

int16_t Session::LinkSettings(uint32_t &settings)
{
    if (const int16_t status = Usable())
        return status;
    settings = LinkSettingsWord(channelType_);
    return kOk;
}

} // namespace norvpcsc
