// A private pcscd with the virtual PC/SC reader driver, started and ended by
// the test (scripts/pcscd_testbed.sh does the daemon's set-up): its socket
// lies in a folder of this process, so the machine's own pcscd is never
// touched, and it ends with the test process whatever happens.  The reader
// of slot 0 is "Virtual PCD 00 00", of slot 1 "Virtual PCD 00 01"; a card is
// a qarnvcard::TVirtualCard on Port(slot).  With SetSimReaders(n) the daemon
// also loads n readers of the test reader driver (ifdsim/), each from its own
// copy of the driver and its own configuration file.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <sys/types.h>

namespace qarntest {

class PcscdTestBed {
public:
    // Why no test bed can run on this machine, or empty when one can.
    static QString Unavailable();
    // The private socket of this process's daemon.  PC/SC clients read it
    // from PCSCLITE_CSOCK_NAME once, at their first call, so the first test
    // bed sets it before anything else talks to pcsc-lite.
    static QString SocketPath();
    static QString ReaderName(int slot);
    static QString SimReaderName(int index); // "Qarn Sim A 00 00", ...

    // The number of test driver readers for the next Start().
    void SetSimReaders(int count) { FSimReaders = count; }
    int SimReaders() const { return FSimReaders; }
    // Replaces the file the driver reads at each call for that reader (its
    // keys: ifdsim/README.md); an empty config has no attributes, no card.
    static bool ConfigureSimReader(int index, const QByteArray &config);

    PcscdTestBed(); // chooses the ports; nothing runs yet
    ~PcscdTestBed();
    PcscdTestBed(const PcscdTestBed &) = delete;
    PcscdTestBed &operator=(const PcscdTestBed &) = delete;

    // Starts the daemon and waits until it lists all its readers; false (with
    // the daemon's log as a warning) when they do not come within 10 s.
    bool Start();
    // Ends the daemon and waits for it; harmless when it is not running.
    void Stop();
    bool Running() const { return FPid > 0; }
    uint16_t Port(int slot) const { return uint16_t(FPort + slot); }

    // The readers that the daemon lists now (empty without a daemon).
    static QStringList Readers();
    // Waits until the daemon sees a card in the slot (present) or none.
    static bool WaitForCard(int slot, bool present, int timeoutMs = 5000);
    static bool WaitForCard(const QString &reader, bool present, int timeoutMs = 5000);
    QString Log() const;

private:
    uint16_t FPort = 0;
    int FSimReaders = 0;
    pid_t FPid = -1;
};

} // namespace qarntest
