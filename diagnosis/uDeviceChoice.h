// The stored device choice: the value DeviceName of the settings of
// organisation "Ardanel", application "Norvane", in two places, machine-wide
// and per user.  The window and the command line read it from here.
#pragma once

#include "uQarnDyn.h"
#include "uStoredName.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

enum class TStoredPlace { Nothing, PerUser, MachineWide, Unreadable };

struct TStoredDeviceChoice {
    QByteArray name; // empty when nothing is stored
    TStoredPlace place = TStoredPlace::Nothing;
    QString unreadable; // why, for an Unreadable place
};

// The per-user name when it is not empty, else the machine-wide one; with
// neither, a place that could not be read is told as Unreadable.
TStoredDeviceChoice ReadDeviceChoice();

// Stores the choice (an empty name: auto-detection) machine-wide when that
// place can be written, removing the per-user value, else per user; with
// neither machine-wide rights nor a name while a machine-wide name exists,
// stores "auto" per user so that the machine-wide name does not come back.
// Returns the report of a place that opened but could not be written (the
// second pass is then not made), empty when the choice was stored.
QString StoreDeviceChoice(const QByteArray &name);

// One entry of the library's port list: "name=description".
struct TPort {
    QByteArray name; // the text before the first "=", empty without one
    QByteArray description;
};
// The library's status goes to status when given (the window ignores it).
std::vector<TPort> ReadPortList(TQarnStatus *status = nullptr);
TPort ParsePortLine(const std::string &line);
