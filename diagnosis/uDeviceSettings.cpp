#include "uDeviceSettings.h"

uint32_t RequestedDeviceSettings(int protocolItem, int speedItem)
{
    uint32_t settings = 0;
    switch (protocolItem) {
    case 1: settings |= 0x04; break; // OSI 3964, forced
    case 2: settings |= 0x06; break; // the fast (binary) protocol, forced
    case 3: settings |= 0x05; break; // ASCII, forced
    default: break;
    }
    switch (speedItem) {
    case 1: settings |= 0x10; break; // 38400 bps, forced
    case 2: settings |= 0x18; break; // 115200 bps, forced
    default: break;
    }
    return settings;
}

TDecodedSettings DecodeDeviceSettings(uint32_t reported)
{
    static const char *const kLinks[] = {"RS232", "RS485", "USB", "TCP"};
    static const char *const kProtocols[] = {"OSI 3964", "ASCII", "Binary", "Binary/Bus"};
    TDecodedSettings decoded;
    decoded.link = QString::fromLatin1(kLinks[(reported >> 5) & 0x03]);
    decoded.speed = QString::fromLatin1((reported & 0x08) ? "115200bps" : "38400bps");
    decoded.protocol = QString::fromLatin1(kProtocols[reported & 0x03]);
    decoded.hardwareControl = (reported & 0x04) != 0;
    return decoded;
}

QString DeviceInformationLine(const QString &device, uint32_t reported)
{
    const TDecodedSettings decoded = DecodeDeviceSettings(reported);
    QString line = QStringLiteral("Connected on ") + device + QStringLiteral(" - ") + decoded.link +
                   QStringLiteral(" (") + decoded.speed + QStringLiteral("), ") + decoded.protocol;
    if (decoded.hardwareControl)
        line += QStringLiteral(" (HW ctrl ON)");
    return line;
}
