#include "uUsbReaders.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

// The kernel's contactless drivers for USB readers.
const QStringList kContactlessDrivers{QStringLiteral("pn533_usb"), QStringLiteral("port100"),
                                      QStringLiteral("nfcmrvl_usb")};
// Drivers that make a serial port of a USB interface.
const QStringList kSerialDrivers{QStringLiteral("ftdi_sio"), QStringLiteral("cdc_acm")};
const QString kFtdiVendor = QStringLiteral("0403");

// The <string> values of the array that follows <key>name</key>.
QStringList PlistArray(const QByteArray &plist, const char *name)
{
    const QString text = QString::fromUtf8(plist);
    const qsizetype key = text.indexOf(QStringLiteral("<key>%1</key>").arg(QLatin1String(name)));
    if (key < 0)
        return {};
    const qsizetype begin = text.indexOf(QStringLiteral("<array>"), key);
    const qsizetype end = text.indexOf(QStringLiteral("</array>"), begin);
    if (begin < 0 || end < 0)
        return {};
    static const QRegularExpression item(QStringLiteral("<string>\\s*([^<]*?)\\s*</string>"));
    QStringList values;
    auto matches = item.globalMatch(text.mid(begin, end - begin));
    while (matches.hasNext())
        values << matches.next().captured(1);
    return values;
}

bool SameId(const QString &listed, const QString &id)
{
    bool ok = false, okId = false;
    const uint value = listed.toUInt(&ok, 16);
    return ok && value == id.toUInt(&okId, 16) && okId;
}

QString Id(const TUsbInterfaceFacts &facts)
{
    return facts.vendorId + QLatin1Char(':') + facts.productId;
}

} // namespace

bool CcidListsId(const QByteArray &supportedIds, const QString &vendorId, const QString &productId)
{
    const QStringList vendors = PlistArray(supportedIds, "ifdVendorID");
    const QStringList products = PlistArray(supportedIds, "ifdProductID");
    for (qsizetype i = 0; i < vendors.size() && i < products.size(); ++i) {
        if (SameId(vendors[i], vendorId) && SameId(products[i], productId))
            return true;
    }
    return false;
}

bool UsbReaderOf(const TUsbInterfaceFacts &facts, const QByteArray *supportedIds,
                 TUsbReader &reader)
{
    const QString type = facts.interfaceClass.toLower();
    const bool contactless = facts.contactlessChild || kContactlessDrivers.contains(facts.driver);
    const bool ftdi = facts.vendorId.toLower() == kFtdiVendor;
    if (type != QLatin1String("0b") && !(type == QLatin1String("ff") && contactless) && !ftdi)
        return false;
    reader = TUsbReader{facts.busPath,
                        facts.vendorId,
                        facts.productId,
                        QStringLiteral("0x") + type.toUpper(),
                        facts.driver,
                        {},
                        {}};
    const QString &driver = facts.driver;
    if (driver == QLatin1String("usbfs")) {
        reader.state = QStringLiteral("inUse");
        reader.advice =
            QStringLiteral("claimed through usbfs by a program (pcscd's CCID driver): in use");
    } else if (contactless) {
        reader.state = QStringLiteral("kernelContactless");
        reader.advice =
            QStringLiteral("held by the kernel's NFC driver %1, so pcscd cannot claim it: "
                           "keep %1 from loading (a line \"blacklist %1\" in "
                           "/etc/modprobe.d/) and plug the reader in again")
                .arg(driver.isEmpty() ? QStringLiteral("(unnamed)") : driver);
    } else if (kSerialDrivers.contains(driver)) {
        reader.state = QStringLiteral("serial");
        reader.advice =
            facts.portNode.isEmpty()
                ? QStringLiteral("a serial reader on %1, whose port node is not there yet")
                      .arg(driver)
                : QStringLiteral("a serial reader at %1 (%2): choose that port")
                      .arg(facts.portNode, driver);
    } else if (!driver.isEmpty()) {
        reader.state = QStringLiteral("otherDriver");
        reader.advice = QStringLiteral("held by the kernel driver %1").arg(driver);
    } else if (ftdi) {
        reader.state = QStringLiteral("serialDriverMissing");
        reader.advice = QStringLiteral("nothing holds it: the serial driver ftdi_sio is not loaded "
                                       "(modprobe ftdi_sio)");
    } else if (!supportedIds) {
        reader.state = QStringLiteral("ccidMissing");
        reader.advice =
            QStringLiteral("nothing holds it, and pcscd's CCID driver is not installed: "
                           "install the package libccid and restart pcscd");
    } else if (CcidListsId(*supportedIds, facts.vendorId, facts.productId)) {
        reader.state = QStringLiteral("ccidListed");
        reader.advice = QStringLiteral("nothing holds it although pcscd's CCID driver lists %1: "
                                       "pcscd is not running; start pcscd")
                            .arg(Id(facts));
    } else {
        reader.state = QStringLiteral("ccidNotListed");
        reader.advice = QStringLiteral("nothing holds it: pcscd's CCID driver does not list %1, so "
                                       "pcscd never claims it; use a reader that the CCID driver "
                                       "lists, or the reader maker's own PC/SC driver")
                            .arg(Id(facts));
    }
    return true;
}
