// What the library makes of the bytes of a reader's attributes
// (SCardGetAttrib): texts, numbers, the firmware line and the chipset
// boxes.  Pure functions, no PC/SC calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace norvpcsc {

// Printable text of an attribute: up to its first zero byte, control
// characters replaced by blanks, surrounding blanks dropped.
std::string TextOf(const std::vector<uint8_t> &value);

// A number attribute: false unless it is exactly a DWORD or 32 bits long.
bool DwordOf(const std::vector<uint8_t> &value, uint32_t &number);

// The firmware line from the vendor name and type texts (the reader's list
// name when both are empty) and, when hasVersion, the IFD version
// 0xMMmmbbbb as " MM.mm" and ".b" when the build number is not 0.
std::string FirmwareText(const std::string &vendor, const std::string &type,
                         const std::string &readerName, bool hasVersion, uint32_t version);

// The chipset information bytes 0-3: the IFD version, most significant
// byte first.
void ChipsetInfoOf(uint32_t version, uint8_t info[4]);

// The chipset identifier: the last four characters of the serial number's
// text, right-aligned in id (the bytes before them are left as they are).
void ChipsetIdOf(const std::vector<uint8_t> &serial, uint8_t id[4]);

} // namespace norvpcsc
