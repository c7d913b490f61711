// What the system tells of the USB interfaces through which a reader can
// come or go: those of the smart-card class (0x0B) and of the vendor class
// (0xFF), which some readers use.
#pragma once

#include <string>
#include <vector>

namespace norvpcsc {

// The interfaces plugged in now, one entry per interface (its name and its
// device's number, which changes at each plug), sorted; false when the
// system tells nothing of its USB devices.  NORVANE_PCSC_USB_DEVICES names
// another folder to read than the system's (for tests and measurements).
bool ReaderInterfaces(std::vector<std::string> &interfaces);

} // namespace norvpcsc
