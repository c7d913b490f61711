// The connection test, the connected state, the feature explanation and the
// advanced settings dialog.
#include "uQarnDiag.h"

#include "uAppServices.h"
#include "uDeviceSettings.h"
#include "uFeatureText.h"
#include "uQarnCommMore.h"
#include "uQarnDyn.h"


void TfQarnDiag::btnTestClick()
{
    if (Tag(btnTest) != 0) {
        DynDisconnect();
        ConnectStatus(false);
        return;
    }

    ApplyDeviceName();
    // The library never receives an empty name from the window.
    const QByteArray device = FDeviceName.isEmpty() ? QByteArray("auto") : FDeviceName;
    if (device == "auto")
        sbStatus->showMessage(QStringLiteral(
            "Please wait, auto-detection in progress (this may take up to 60 seconds)..."));
    else
        sbStatus->showMessage(QStringLiteral("Please wait, looking for reader on ") +
                              QString::fromLocal8Bit(FDeviceName));

    TQarnStatus status = QARN_OK;
    std::string deviceText(device.constData(), std::size_t(device.size()));
    std::string firmware;
    std::string chipsetHWID;
    std::string chipsetSNR;
    uint32_t settings = 0;
    uint32_t consts = 0;
    uint32_t features = 0;
    {
        btnOK->setEnabled(false);
        btnClose->setEnabled(false);
        const TScopeExit enableButtons([this]() {
            btnOK->setEnabled(true);
            btnClose->setEnabled(true);
        });
        {
            const TBusyCursor busy;
            ProcessPendingEvents();
            settings = fQarnCommMore ? RequestedDeviceSettings(fQarnCommMore->CommProtocolIndex(),
                                                               fQarnCommMore->CommSpeedIndex())
                                     : 0;
            status = DynConnect(deviceText, firmware, chipsetHWID, chipsetSNR, settings, consts,
                                features);
        }
    }
    ProcessPendingEvents();

    if (status != QARN_OK) {
        sbStatus->showMessage(QStringLiteral("Failed"));
        ShowMessageBox(this, QStringLiteral("Qarn not found"), StatusMessage(status));
        ConnectStatus(false);
        return;
    }

    sbStatus->showMessage(QStringLiteral("OK"));
    eQarnVersion->setText(LibraryText(firmware));
    eQarnChipsetHWID->setText(LibraryText(chipsetHWID));
    eQarnChipsetSNR->setText(LibraryText(chipsetSNR));
    eQarnFeatures->setText(QStringLiteral("%1").arg(features, 8, 16, QLatin1Char('0')).toUpper());
    for (QLineEdit *edit : {eQarnVersion, eQarnChipsetHWID, eQarnChipsetSNR, eQarnFeatures})
        edit->setCursorPosition(0);
    lbDeviceInfo->setText(DeviceInformationLine(LibraryText(deviceText), settings));
    ConnectStatus(true);
}

void TfQarnDiag::ConnectStatus(bool connected)
{
    btnTest->setText(connected ? QStringLiteral("Disconnect") : QStringLiteral("Test communication"));
    SetTag(btnTest, connected ? 1 : 0);

    if (!connected) {
        for (QLineEdit *edit : {eQarnVersion, eQarnChipsetHWID, eQarnChipsetSNR, eQarnFeatures})
            edit->clear();
        lbDeviceInfo->clear();
    }

    for (QWidget *control : {static_cast<QWidget *>(btnExplain), static_cast<QWidget *>(btnBench),
                             static_cast<QWidget *>(btnPolling)})
        control->setEnabled(connected);
    for (QWidget *control : {static_cast<QWidget *>(btnDebug), static_cast<QWidget *>(ckAuto),
                             static_cast<QWidget *>(ckUsb), static_cast<QWidget *>(ckSerial),
                             static_cast<QWidget *>(ckOther)})
        control->setEnabled(!connected);
    cbSerial->setEnabled(!connected && ckSerial->isChecked());
    eOther->setEnabled(!connected && ckOther->isChecked());
}

void TfQarnDiag::btnExplainClick()
{
    ShowMessageBox(this, QStringLiteral("Feature list"),
                   ExplainFeatures(ParseFeatureWord(eQarnFeatures->text())));
}

void TfQarnDiag::btnDebugClick()
{
    if (!fQarnCommMore)
        return;
    // Centred on the main window each time it is shown: a dialog that has
    // not been moved is placed over its parent by the toolkit, frames
    // included.
    fQarnCommMore->setAttribute(Qt::WA_Moved, false);
    fQarnCommMore->exec();
}
