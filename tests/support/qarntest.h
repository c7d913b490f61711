// Shared test support: choose which build of the stand-in reader library the
// binding loads, drive the stand-in through its control exports, record the
// program's message boxes, and keep the stored settings in temporary folders.
#pragma once

#include "uQarnDyn.h"

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <string>

namespace qarntest {

// The stand-in's file name on this system: "libnorvane.so", "norvane.dll".
extern const char *const kReaderLibraryFile;

// The folder of the stand-in that the binding has loaded; empty for none.
extern QString gLoadedFolder;

// Folder of a build of the stand-in library: "default", "no_Echo", "none",
// "corrupt", ...; an absolute folder (of another reader library) as it is.
QString StandInFolder(const QString &variant);

// The file of a build of the stand-in, as the binding reports its path.
QString StandInFile(const QString &variant);

// Why the binding refuses the build "corrupt" (a text file), as it says.
extern const char *const kCorruptLibraryReason;

// Ends any earlier session of the binding and starts a new one that loads
// the given build of the stand-in library (an empty variant, or one whose
// folder does not exist, loads nothing).  The stand-in starts from its
// built-in scenario with an empty call log.
void LoadStandIn(const QString &variant);

// Ends the binding's session (the end hook).
void UnloadStandIn();

// An export of the library that the binding has loaded, for calling it
// directly; nullptr when there is none.
void *LoadedSymbol(const char *name);

// The stand-in library that the binding has loaded.
class StandIn {
public:
    // Replaces the scenario; fails the test (QFAIL-style, returns false) on a
    // scenario error.
    static bool Scenario(const char *json);
    static void Reset();
    static QStringList CallLog();
    static void ClearLog();
    static QString LastError();
};

// Records every message box of the program instead of showing it.
struct MessageBoxRecorder {
    struct Box {
        QString caption;
        QString text;
        int icon; // QMessageBox::Icon
    };
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    QList<Box> boxes;
};

// Machine-wide and per-user settings in temporary folders.  With
// machineWideWritable false the machine-wide place lies below a regular
// file, so that even root cannot write it.  On Windows both places are the
// registry keys of the (throw-away) wine prefix, emptied of the value at
// both ends; wine runs as administrator, so there the machine-wide place is
// always writable.
// The environment of a QarnDiag that a test starts: this one's, without a
// display, and with both places of stored settings, per user
// (XDG_CONFIG_HOME) and machine-wide (XDG_CONFIG_DIRS), in folders of their
// own below `folder`, so that no choice stored on this machine is read.
QProcessEnvironment ProgramEnvironment(const QString &folder);

class SettingsSandbox {
public:
    explicit SettingsSandbox(bool machineWideWritable = true);
    ~SettingsSandbox();
    // Reads and writes the DeviceName value of one place directly.
    QVariant MachineWide() const;
    QVariant PerUser() const;
    void SetMachineWide(const QVariant &value);
    void SetPerUser(const QVariant &value);
    QString MachineWideFile() const;
    QString PerUserFile() const;

private:
    QTemporaryDir FDir;
    bool FMachineWideWritable;
};

// A test executable whose whole environment is missing: QARN_SKIP_ALL("why")
// in initTestCase skips every test, and QARN_TEST_MAIN (for QTEST_MAIN) then
// ends with status 77, which ctest shows as skipped (SKIP_RETURN_CODE).
inline bool gAllSkipped = false;

} // namespace qarntest

#define QARN_SKIP_ALL(reason) do { qarntest::gAllSkipped = true; QSKIP(reason); } while (false)
#define QARN_TEST_MAIN(TestObject) int main(int argc, char *argv[]) { QTEST_MAIN_SETUP() \
    TestObject tc; const int failures = QTest::qExec(&tc, argc, argv);                   \
    return failures == 0 && qarntest::gAllSkipped ? 77 : failures; }
