#include "norvpcsc_settings.h"

#include "norvpcsc_status.h"

namespace norvpcsc {

uint32_t LinkSettingsWord(uint16_t channelType)
{
    // Every PC/SC exchange is binary.  Bits 5-6 give the link; a USB link is
    // faster than either speed the word can tell, so it gets the faster one.
    constexpr uint32_t kBinary = 0x02, kFast = 0x08, kUsb = 0x40, kLinkNotTold = 0x100;
    switch (channelType) {
    case kChannelUsb:
        return kUsb | kFast | kBinary;
    case kChannelSerial:
        return kBinary;
    default:
        return kLinkNotTold | kBinary;
    }
}

int16_t CheckRequestedSettings(uint32_t settings)
{
    constexpr uint32_t kProtocolBit = 0x04, kSpeedBit = 0x10;
    if (settings & kProtocolBit)
        return kProtocolForced;
    if (settings & kSpeedBit)
        return kSpeedForced;
    return kOk;
}

} // namespace norvpcsc
