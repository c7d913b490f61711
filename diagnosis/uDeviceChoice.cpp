#include "uDeviceChoice.h"

#include "uQarnDyn.h"

#include <QDir>

const char *const kSettingsOrganisation = "Ardanel";
const char *const kSettingsApplication = "Norvane";
const char *const kDeviceNameValue = "DeviceName";

QString StoredNameFile(QSettings::Scope scope)
{
    return QSettings(QSettings::NativeFormat, scope, QString::fromLatin1(kSettingsOrganisation),
                     QString::fromLatin1(kSettingsApplication))
        .fileName();
}

QByteArray ReadStoredName(QSettings::Scope scope)
{
    QSettings place(QSettings::NativeFormat, scope, QString::fromLatin1(kSettingsOrganisation),
                    QString::fromLatin1(kSettingsApplication));
    // This place only: the per-user read must not see the machine-wide value.
    place.setFallbacksEnabled(false);
    const QVariant value = place.value(QString::fromLatin1(kDeviceNameValue));
    if (value.typeId() != QMetaType::QString)
        return QByteArray();
    return value.toString().toLocal8Bit();
}

TStoredDeviceChoice ReadDeviceChoice()
{
    TStoredDeviceChoice choice{ReadStoredName(QSettings::UserScope), TStoredPlace::PerUser};
    if (choice.name.isEmpty())
        choice = {ReadStoredName(QSettings::SystemScope), TStoredPlace::MachineWide};
    if (choice.name.isEmpty())
        choice.place = TStoredPlace::Nothing;
    return choice;
}

namespace {

// The report of a value that could not be written to the place `where`
// (the settings file's path; on Windows, the registry key).
QString StoreFailure(const QString &where)
{
#ifdef Q_OS_WIN
    const char *const place = "the registry key ";
#else
    const char *const place = "the settings file ";
#endif
    return QStringLiteral("Failed to write the value \"") + QString::fromLatin1(kDeviceNameValue) +
           QStringLiteral("\" to ") + QString::fromLatin1(place) +
           QDir::toNativeSeparators(where) + QStringLiteral(": the setting could not be saved.");
}

// Writes (or, for an empty name, deletes) the value in one place.  Returns
// false when the place cannot be opened for writing, which ends the pass
// silently; a place that opened but whose write failed adds its report to
// failure.
bool StoreName(QSettings::Scope scope, const QByteArray *name, QString &failure)
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
    if (place.status() != QSettings::NoError && failure.isEmpty())
        failure = StoreFailure(place.fileName());
    return true;
}

} // namespace

QString StoreDeviceChoice(const QByteArray &name)
{
    QString failure;
    const bool storedMachineWide =
        StoreName(QSettings::SystemScope, name.isEmpty() ? nullptr : &name, failure);
    if (!failure.isEmpty())
        return failure;

    if (storedMachineWide) {
        StoreName(QSettings::UserScope, nullptr, failure);
    } else if (!name.isEmpty()) {
        StoreName(QSettings::UserScope, &name, failure);
    } else if (!ReadStoredName(QSettings::SystemScope).isEmpty()) {
        // Auto-detection without machine-wide rights while a machine-wide
        // name exists: deleting the per-user value would bring that name back
        // at the next start, so store "auto", which reads as auto-detection.
        const QByteArray autoName("auto");
        StoreName(QSettings::UserScope, &autoName, failure);
    } else {
        StoreName(QSettings::UserScope, nullptr, failure);
    }
    return failure;
}

TPort ParsePortLine(const std::string &line)
{
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos)
        return {QByteArray(), QByteArray(line.data(), qsizetype(line.size()))};
    return {QByteArray(line.data(), qsizetype(equals)),
            QByteArray(line.data() + equals + 1, qsizetype(line.size() - equals - 1))};
}

std::vector<TPort> ReadPortList(TQarnStatus *status)
{
    std::vector<std::string> lines;
    const TQarnStatus result = DynGetCommList(lines);
    if (status)
        *status = result;
    std::vector<TPort> ports;
    ports.reserve(lines.size());
    for (const std::string &line : lines)
        ports.push_back(ParsePortLine(line));
    return ports;
}
