#include "uDeviceChoice.h"

#include "uQarnDyn.h"

#include <initializer_list>
#include <utility>

const char *const kSettingsOrganisation = "Ardanel";
const char *const kSettingsApplication = "Norvane";
const char *const kDeviceNameValue = "DeviceName";

TStoredDeviceChoice ReadDeviceChoice()
{
    QString why; // of the first place that could not be read
    for (const auto &[scope, place] : {std::pair{QSettings::UserScope, TStoredPlace::PerUser},
                                       {QSettings::SystemScope, TStoredPlace::MachineWide}}) {
        const QByteArray name = ReadStoredName(scope, why.isEmpty() ? &why : nullptr);
        if (!name.isEmpty())
            return {name, place, QString()};
    }
    return {QByteArray(), why.isEmpty() ? TStoredPlace::Nothing : TStoredPlace::Unreadable, why};
}

QString StoreDeviceChoice(const QByteArray &name)
{
    QString failure = UnstorableName(name);
    if (!failure.isEmpty())
        return failure;
    const bool storedMachineWide =
        StoreNameInPlace(QSettings::SystemScope, name.isEmpty() ? nullptr : &name, failure);
    if (!failure.isEmpty())
        return failure;

    if (storedMachineWide) {
        StoreNameInPlace(QSettings::UserScope, nullptr, failure);
    } else if (!name.isEmpty()) {
        StoreNameInPlace(QSettings::UserScope, &name, failure);
    } else if (!ReadStoredName(QSettings::SystemScope).isEmpty()) {
        // Auto-detection without machine-wide rights while a machine-wide
        // name exists: deleting the per-user value would bring that name back
        // at the next start, so store "auto", which reads as auto-detection.
        const QByteArray autoName("auto");
        StoreNameInPlace(QSettings::UserScope, &autoName, failure);
    } else {
        StoreNameInPlace(QSettings::UserScope, nullptr, failure);
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
