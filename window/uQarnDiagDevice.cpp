// The device choice: the four exclusive boxes, the port list from the
// library, the device name built from them, and where it is stored.
#include "uQarnDiag.h"

#include "uAppServices.h"
#include "uDeviceChoice.h"
#include "uDiagnosis.h"
#include "uQarnDyn.h"

#include <QScopeGuard>

#include <vector>

void TfQarnDiag::LoadFromReg() { FDeviceName = ReadDeviceChoice().name; }

void TfQarnDiag::SaveToReg()
{
    const QString failure = StoreDeviceChoice(FDeviceName);
    if (!failure.isEmpty())
        throw TQarnError(failure.toLocal8Bit().toStdString());
}

void TfQarnDiag::LoadCommList()
{
    const std::vector<TPort> ports = ReadPortList();

    cbSerial->clear();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const QByteArray &name = ports[i].name;
        cbSerial->addItem(CommImages[0], LibraryText(name), name);
        // An empty name stands for auto-detection, never for a list entry.
        if (!FDeviceName.isEmpty() && FDeviceName == name) {
            ckSerial->setChecked(true);
            cbSerial->setCurrentIndex(int(i));
        }
    }
    if (cbSerial->currentIndex() < 0 && cbSerial->count() > 0)
        cbSerial->setCurrentIndex(0);
}

void TfQarnDiag::MapDeviceName()
{
    if (FDeviceName == "auto" || FDeviceName.isEmpty()) {
        ckAuto->setChecked(true);
    } else if (FDeviceName == "USB") {
        ckUsb->setChecked(true);
    } else if (FDeviceName.startsWith("COM")) {
        ckSerial->setChecked(true);
    } else {
        ckOther->setChecked(true);
        eOther->setText(LibraryText(FDeviceName));
    }
}

void TfQarnDiag::ckAutoClick(QCheckBox *sender)
{
    if (Tag(gbDevice) != 0)
        return;
    SetTag(gbDevice, 1);
    const auto clearGuard = qScopeGuard([this]() { SetTag(gbDevice, 0); });

    QCheckBox *const boxes[] = {ckAuto, ckUsb, ckSerial, ckOther};
    if (sender->isChecked()) {
        for (QCheckBox *box : boxes) {
            if (box != sender)
                box->setChecked(false);
        }
    } else {
        (sender == ckAuto ? ckUsb : ckAuto)->setChecked(true);
    }

    // While a reader is connected the device choice stays locked.
    const bool connected = Tag(btnTest) != 0;
    cbSerial->setEnabled(ckSerial->isChecked() && !connected);
    eOther->setEnabled(ckOther->isChecked() && !connected);
}

void TfQarnDiag::ApplyDeviceName()
{
    if (ckAuto->isChecked()) {
        FDeviceName.clear();
    } else if (ckUsb->isChecked()) {
        FDeviceName = "USB";
    } else if (ckSerial->isChecked()) {
        const int index = cbSerial->currentIndex();
        if (index < 0)
            throw TQarnError("No serial communication port is selected. Please choose a port "
                             "in the list, or another way to reach the reader.");
        FDeviceName = cbSerial->itemData(index).toByteArray();
    } else {
        // The name's own bytes while its text is as shown, else the typed
        // text with its \xHH escapes as bytes.
        const QString typed = eOther->text();
        if (typed != LibraryText(FDeviceName))
            FDeviceName = LibraryBytes(typed);
    }
}

void TfQarnDiag::btnOKClick()
{
    ApplyDeviceName();
    SaveToReg();
    close();
}
