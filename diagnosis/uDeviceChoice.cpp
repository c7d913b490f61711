#include "uDeviceChoice.h"

#include "uQarnDyn.h"

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

TPort ParsePortLine(const std::string &line)
{
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos)
        return {QByteArray(), QByteArray(line.data(), qsizetype(line.size()))};
    return {QByteArray(line.data(), qsizetype(equals)),
            QByteArray(line.data() + equals + 1, qsizetype(line.size() - equals - 1))};
}

std::vector<TPort> ReadPortList()
{
    std::vector<std::string> lines;
    DynGetCommList(lines);
    std::vector<TPort> ports;
    ports.reserve(lines.size());
    for (const std::string &line : lines)
        ports.push_back(ParsePortLine(line));
    return ports;
}
