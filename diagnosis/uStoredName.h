// One place of the stored device name, machine-wide or per user: a settings
// file through QSettings on Linux (uStoredNameLinux.cpp), a registry key,
// Software\Ardanel\Norvane under HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER,
// on Windows (uStoredNameWin.cpp).
#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>

extern const char *const kSettingsOrganisation; // "Ardanel"
extern const char *const kSettingsApplication;  // "Norvane"
extern const char *const kDeviceNameValue;      // "DeviceName"

// The settings file of one place (its own file, not the places behind it);
// on Windows, its registry key.
QString StoredNameFile(QSettings::Scope scope);

// The stored device name of one place, 8-bit as the library sees it, byte
// for byte; a place or value that does not exist reads as empty.  A place
// or value that cannot be read (no read permission, a folder in its place,
// a value that is not a text) reads as empty too, and says why in
// unreadable when given.
QByteArray ReadStoredName(QSettings::Scope scope, QString *unreadable = nullptr);

// Why the name cannot be stored at all (a byte that the system's code page
// cannot map); empty when it can.  Checked before any place is written.
QString UnstorableName(const QByteArray &name);

// Writes the name (or, for nullptr, deletes the value) in one place.
// Returns false when the place cannot be opened for writing, which ends the
// pass silently; a place that opened but whose write failed adds its report
// to failure.
bool StoreNameInPlace(QSettings::Scope scope, const QByteArray *name, QString &failure);
