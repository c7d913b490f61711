// The DeviceSettings word: the request built from the advanced dialog and
// the decoding of the word that the library reports once the reader is open.
#pragma once

#include <QString>

#include <cstdint>

// Requested settings for the selected protocol item (0 "Best match", 1 "Force
// OSI 3964", 2 "Force Fast", 3 "Force Ascii") and speed item (0 "Best match",
// 1 "Force 38400bps", 2 "Force 115200bps"); any other index adds nothing.
uint32_t RequestedDeviceSettings(int protocolItem, int speedItem);

struct TDecodedSettings {
    QString link;                 // "RS232", "RS485", "USB", "TCP"        (bits 5-6)
    QString speed;                // "38400bps", "115200bps"               (bit 3)
    QString protocol;             // "OSI 3964", "ASCII", "Binary", "Binary/Bus" (bits 0-1)
    bool hardwareControl = false; //                            (bit 2)
};

TDecodedSettings DecodeDeviceSettings(uint32_t reported);

// "Connected on <device> - <link> (<speed>), <protocol>[ (HW ctrl ON)]".
QString DeviceInformationLine(const QString &device, uint32_t reported);
