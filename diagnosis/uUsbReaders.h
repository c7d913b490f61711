// The census of the USB readers on the machine, for every reader library:
// the USB interfaces that look like a contactless or smart-card reader's
// (class 0x0B, a vendor-class interface that a kernel contactless driver
// holds, an FTDI serial adapter), who holds each one and what to do about
// it.  The system's side is one file per system (uUsbReadersLinux.cpp reads
// sysfs through libudev, uUsbReadersWin.cpp tells nothing yet); what the
// facts mean is the same everywhere (uUsbReaders.cpp).
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// What the system tells of one USB interface.
struct TUsbInterfaceFacts {
    QString busPath;  // the interface's bus path, "1-2:1.0"
    QString vendorId; // its device's, four hex digits
    QString productId;
    QString interfaceClass;        // bInterfaceClass, two hex digits
    QString driver;                // the kernel driver bound to it, empty for none
    bool contactlessChild = false; // the kernel made an NFC device below it
    QString portNode;              // a serial driver's port node, "/dev/ttyUSB0"
};

// One reader of the census.
struct TUsbReader {
    QString busPath;
    QString vendorId;
    QString productId;
    QString interfaceClass; // "0x0B"
    QString driver;         // who holds it: "usbfs", a kernel driver, empty for nothing
    QString state;          // inUse, kernelContactless, serial, otherDriver, serialDriverMissing,
                            // ccidListed, ccidNotListed, ccidMissing
    QString advice;         // who holds it and what to do, one sentence
};

// Whether pcscd's CCID driver lists the ID, read from the driver's list of
// supported IDs (its Info.plist): the ifdVendorID and ifdProductID arrays.
bool CcidListsId(const QByteArray &supportedIds, const QString &vendorId, const QString &productId);

// The census entry for an interface, or false when it does not look like
// a reader's.  supportedIds is the CCID driver's list, null when the
// driver is not installed.
bool UsbReaderOf(const TUsbInterfaceFacts &facts, const QByteArray *supportedIds,
                 TUsbReader &reader);

// The readers plugged in now, by bus path.  Empty where the system tells
// nothing.  QARNDIAG_CCID_LIST names another file than the CCID driver's
// list (for tests).
std::vector<TUsbReader> UsbReaders();
