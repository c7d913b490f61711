#include "uFeatureText.h"

uint32_t ParseFeatureWord(const QString &text)
{
    if (text.isEmpty() || text.size() > 8)
        return 0;
    uint32_t word = 0;
    for (const QChar c : text) {
        const int digit = c.isDigit() && c.unicode() < 128 ? c.unicode() - '0'
                          : (c >= u'A' && c <= u'F')       ? c.unicode() - 'A' + 10
                          : (c >= u'a' && c <= u'f')       ? c.unicode() - 'a' + 10
                                                           : -1;
        if (digit < 0)
            return 0;
        word = (word << 4) | uint32_t(digit);
    }
    return word;
}

QString ExplainFeatures(uint32_t word)
{
    struct TFeatureLine {
        bool shown;
        const char *text;
    };
    const auto bit = [word](int n) { return (word & (uint32_t(1) << n)) != 0; };
    const TFeatureLine lines[] = {
        {word == 0, "Warning : this version of the reader firmware doesn't provide the GetFeatures "
                    "function."},
        {word == 0, "The information displayed here are only default values, and therefore are "
                    "not reliable."},
        {true, "Available functions :"},
        {bit(0), "- ISO 14443 (A and B)"},
        {bit(1), "- ISO 15693"},
        {bit(5), "- GemCore smartcard reader"},
        {bit(6), "- SAGEM MSO CBM fingerprints reader"},
        {true, "Supported communication protocols :"},
        {true, "- OSI 3964"},
        {bit(11), "- Binary/Bus"},
        {bit(9), "- Binary"},
        {bit(8), "- ASCII"},
        {bit(12), "Device has an RS-485 physical interface"},
        {bit(13), "Device has separate in/out buffers"},
        {bit(14), "Device is able to communicate at 115200bps"},
        {bit(15), "Device has XXL buffers"},
        {(word & 0x000F0000u) != 0, "USB device capabilities :"},
        {bit(16), "- CDC-ACM class (\"legacy\" virtual comm port)"},
        {bit(17), "- CCID class (PC/SC smartcard reader)"},
        {bit(18), "- HID class (keyboard emulation)"},
        {word > 0xFFFFFu, "Advanced capabilities :"},
        {bit(22), "- FEED (Flash or E2PROM for persistent data storage)"},
        {bit(24), "- Console access"},
        {bit(25), "- Ruradad specific functions"},
    };
    QString text;
    for (const TFeatureLine &line : lines) {
        if (line.shown)
            text += QString::fromLatin1(line.text) + QStringLiteral("\r\n");
    }
    return text;
}
