// Support for tests that drive the real main window on the offscreen
// platform: the stand-in library, temporary settings, recorded message boxes
// and the two windows of the program, created as the program entry does.
#pragma once

#include "qarntest.h"
#include "uQarnCommMore.h"
#include "uQarnDiag.h"

#include <memory>

namespace qarntest {

class WindowSession {
public:
    // Loads the stand-in build `variant` (empty: no library), applies the
    // scenario (nullptr: the built-in one), prepares the settings sandbox and
    // creates both windows.  Nothing is shown yet.
    explicit WindowSession(const QString &variant = QStringLiteral("default"),
                           const char *scenario = nullptr, bool machineWideWritable = true);
    ~WindowSession();

    // Shows the main window (FormShow runs) and, when waitForCheck, waits
    // until the start-up check has run (tmrFirst fired); fails the test when
    // the timer is still running then.
    void Show(bool waitForCheck = true);

    // Runs the start-up check at once instead of waiting half a second; the
    // handler must stop the timer itself, or the test fails.
    void RunStartupCheck();

    TfQarnDiag &window() { return *FWindow; }
    TfQarnCommMore &commMore() { return *FCommMore; }
    SettingsSandbox &settings() { return *FSettings; }
    MessageBoxRecorder &boxes() { return FBoxes; }

    // Closes the main window as the close box does.
    void Close();

private:
    std::unique_ptr<SettingsSandbox> FSettings;
    MessageBoxRecorder FBoxes;
    std::unique_ptr<TfQarnDiag> FWindow;
    std::unique_ptr<TfQarnCommMore> FCommMore;
};

// A session whose window has run its start-up check and is connected to the
// reader by auto-detection; the call log and the recorded boxes are empty.
std::unique_ptr<WindowSession> ConnectedSession(const QByteArray &scenario,
                                                const QString &variant = QStringLiteral("default"));

} // namespace qarntest
