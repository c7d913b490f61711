// The settings words of a PC/SC reader: the one that reports its link, and
// the check of a requested one.  Pure functions, no PC/SC calls.
#pragma once

#include <cstdint>

namespace norvpcsc {

// Data channel types of SCARD_ATTR_CHANNEL_ID.
constexpr uint16_t kChannelUsb = 0x0020;
constexpr uint16_t kChannelSerial = 0x0001;

// The settings word that reports a reader's link from its data channel type
// (0 when the driver does not tell).
uint32_t LinkSettingsWord(uint16_t channelType);

// 0 for a requested settings word that forces nothing, else the status
// that refuses it.
int16_t CheckRequestedSettings(uint32_t settings);

} // namespace norvpcsc
