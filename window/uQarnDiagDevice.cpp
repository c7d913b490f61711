// The device choice: the four exclusive boxes, the port list from the
// library, the device name built from them, and where it is stored.
#include "uQarnDiag.h"

#include "uAppServices.h"
#include "uDeviceChoice.h"
#include "uQarnDyn.h"

#include <QDir>
#include <QSettings>

#include <string>
#include <vector>

namespace {

// The report of a value that could not be written to the place `where`
// (the settings file's path; on Windows, the registry key).
std::string StoreFailure(const QString &where)
{
#ifdef Q_OS_WIN
    const char *const place = "the registry key ";
#else
    const char *const place = "the settings file ";
#endif
    return std::string("Failed to write the value \"") + kDeviceNameValue + "\" to " + place +
           QDir::toNativeSeparators(where).toLocal8Bit().toStdString() +
           ": the setting could not be saved.";
}

// Writes (or, for an empty name, deletes) the value in one place.  Returns
// false when the place cannot be opened for writing, which ends the pass
// silently; throws when the place opened but the write failed.
bool StoreName(QSettings::Scope scope, const QByteArray *name)
{
    // The place's own file only: opened by scope, QSettings also reads the
    // places behind it (the machine-wide ones behind the per-user one), and
    // one of those that cannot be read would make a writable per-user place
    // look broken and the user's choice be dropped without a word.
    QSettings place(StoredNameFile(scope), QSettings::NativeFormat);
    if (!place.isWritable() || place.status() != QSettings::NoError)
        return false;
    if (name)
        place.setValue(QString::fromLatin1(kDeviceNameValue), QString::fromLocal8Bit(*name));
    else
        place.remove(QString::fromLatin1(kDeviceNameValue));
    place.sync();
    if (place.status() != QSettings::NoError)
        throw TQarnError(StoreFailure(place.fileName()));
    return true;
}

} // namespace

void TfQarnDiag::LoadFromReg()
{
    FDeviceName = ReadDeviceChoice().name;
}

void TfQarnDiag::SaveToReg()
{
    const QByteArray name = FDeviceName;
    const bool storedMachineWide =
        StoreName(QSettings::SystemScope, name.isEmpty() ? nullptr : &name);

    if (storedMachineWide) {
        StoreName(QSettings::UserScope, nullptr);
    } else if (!name.isEmpty()) {
        StoreName(QSettings::UserScope, &name);
    } else if (!ReadStoredName(QSettings::SystemScope).isEmpty()) {
        // Auto-detection without machine-wide rights while a machine-wide
        // name exists: deleting the per-user value would bring that name back
        // at the next start, so store "auto", which reads as auto-detection.
        const QByteArray autoName("auto");
        StoreName(QSettings::UserScope, &autoName);
    } else {
        StoreName(QSettings::UserScope, nullptr);
    }
}

void TfQarnDiag::LoadCommList()
{
    const std::vector<TPort> ports = ReadPortList();

    cbSerial->clear();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const QByteArray &name = ports[i].name;
        cbSerial->addItem(CommImages[0], QString::fromLocal8Bit(name), name);
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
        eOther->setText(QString::fromLocal8Bit(FDeviceName));
    }
}

void TfQarnDiag::ckAutoClick(QCheckBox *sender)
{
    if (Tag(gbDevice) != 0)
        return;
    SetTag(gbDevice, 1);
    const TScopeExit clearGuard([this]() { SetTag(gbDevice, 0); });

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
        FDeviceName = eOther->text().toLocal8Bit();
    }
}

void TfQarnDiag::btnOKClick()
{
    ApplyDeviceName();
    SaveToReg();
    close();
}
