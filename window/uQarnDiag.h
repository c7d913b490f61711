// uQarnDiag: the main window.
//
// The controls come from uQarnDiag.ui and are fields of the window under
// their own names (btnTest, ckAuto, sbStatus ...).  The handlers are split
// over several source files by feature:
//   uQarnDiag.cpp         start-up, closing, web label, keyboard
//   uQarnDiagDevice.cpp   device choice, port list, stored device name
//   uQarnDiagConnect.cpp  connection test, feature explanation, advanced dialog
//   uQarnDiagBench.cpp    echo benchmark, contactless polling
//   uQarnDiagUsb.cpp      refresh of the port list on USB arrival/removal
#pragma once

#include "uDiagnosisReport.h"
#include "uQarnDyn.h"
#include "ui_uQarnDiag.h"

#include <QByteArray>
#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <QTimer>

class TUsbNotification;
class QCheckBox;

// The integer tag that every control carries: a small state flag
// (gbDevice: device click in progress, btnTest: connected, btnPolling: on).
int Tag(const QWidget *control);
void SetTag(QWidget *control, int value);

// The maker's web address, opened by the web label.
extern const char *const kMakerWebAddress;

class TfQarnDiag : public QDialog, public Ui::TfQarnDiag {
    Q_OBJECT
public:
    explicit TfQarnDiag(QWidget *parent = nullptr);
    ~TfQarnDiag() override;

    // The current device name, 8-bit as the library sees it; empty means
    // auto-detection.
    QByteArray FDeviceName;
    TUsbNotification *FUsbNotification = nullptr;

    QTimer *tmrFirst = nullptr;
    QTimer *tmrPolling = nullptr;
    QIcon CommImages[2];

    // Handlers and operations, in the order of the class they come from.
    void tmrFirstTimer();
    void FormShow();
    void SaveToReg();
    void LoadFromReg();
    void LoadCommList();
    void ApplyDeviceName();
    void btnTestClick();
    void btnOKClick();
    void btnCloseClick();
    void btnExplainClick();
    void btnBenchClick();
    void btnDebugClick();
    void FormClose();
    void ckAutoClick(QCheckBox *sender);
    void lbWebClick();
    void btnPollingClick();
    void tmrPollingTimer();
    void ConnectStatus(bool connected);
    void UsbNotification(QObject *sender);

    // The device-name mapping step of FormShow: ticks the box for FDeviceName.
    void MapDeviceName();

    // Whether FormClose has run.
    bool IsClosed() const { return FClosed; }

    // The diagnosis so far: the start-up check, the device choice, the last
    // connection test, benchmark and poll.
    TDiagnosisReport Report() const;
    // Ctrl+C: the report as plain text to the clipboard.
    void CopyReport();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void reject() override;

private:
    void SetupLook();
    void FitHexBoxFaces();
    void ConnectHandlers();
    bool FShown = false;
    bool FHexBoxFacesFitted = false;
    bool FClosed = false;
    // The last result of each step, for the report.
    TDiagnosisReport FResults;
};

// The program's main window, created by the program entry.
extern TfQarnDiag *fQarnDiag;
