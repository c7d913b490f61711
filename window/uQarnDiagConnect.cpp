// The connection test, the connected state, the feature explanation and the
// advanced settings dialog.
#include "uQarnDiag.h"

#include "uAppServices.h"
#include "uDeviceSettings.h"
#include "uFeatureText.h"
#include "uQarnCommMore.h"
#include "uQarnDyn.h"

#include <QScopeGuard>

void TfQarnDiag::btnTestClick()
{
    if (Tag(btnTest) != 0) {
        DynDisconnect();
        ConnectStatus(false);
        return;
    }

    ApplyDeviceName();
    sbStatus->showMessage(ConnectionWaitText(FDeviceName));

    TConnectionTest test;
    {
        btnOK->setEnabled(false);
        btnClose->setEnabled(false);
        const auto enableButtons = qScopeGuard([this]() {
            btnOK->setEnabled(true);
            btnClose->setEnabled(true);
        });
        {
            const TBusyCursor busy;
            ProcessPendingEvents();
            const uint32_t settings =
                fQarnCommMore ? RequestedDeviceSettings(fQarnCommMore->CommProtocolIndex(),
                                                        fQarnCommMore->CommSpeedIndex())
                              : 0;
            test = TestConnection(FDeviceName, settings);
        }
    }
    FResults.connection = test;
    ProcessPendingEvents();

    if (!test.Passed()) {
        sbStatus->showMessage(QStringLiteral("Failed"));
        ShowMessageBox(this, QStringLiteral("Qarn not found"), test.FailureText());
        ConnectStatus(false);
        return;
    }

    sbStatus->showMessage(QStringLiteral("OK"));
    FitHexBoxFaces();
    eQarnVersion->setText(test.firmware);
    eQarnChipsetHWID->setText(test.chipsetHWID);
    eQarnChipsetSNR->setText(test.chipsetSNR);
    eQarnFeatures->setText(test.FeatureWordText());
    for (QLineEdit *edit : {eQarnVersion, eQarnChipsetHWID, eQarnChipsetSNR, eQarnFeatures})
        edit->setCursorPosition(0);
    lbDeviceInfo->setText(test.DeviceInformation());
    ConnectStatus(true);
}

void TfQarnDiag::ConnectStatus(bool connected)
{
    btnTest->setText(connected ? QStringLiteral("Disconnect")
                               : QStringLiteral("Test communication"));
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
    // Centred on the main window each time it is shown.
    CentreOver(fQarnCommMore, this);
    fQarnCommMore->exec();
}
