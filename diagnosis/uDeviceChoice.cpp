#include "uDeviceChoice.h"

#include "uQarnDyn.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <initializer_list>
#include <utility>

const char *const kSettingsOrganisation = "Ardanel";
const char *const kSettingsApplication = "Norvane";
const char *const kDeviceNameValue = "DeviceName";

QString StoredNameFile(QSettings::Scope scope)
{
    return QSettings(QSettings::NativeFormat, scope, QString::fromLatin1(kSettingsOrganisation),
                     QString::fromLatin1(kSettingsApplication))
        .fileName();
}

namespace {

// The bytes of a value that the settings file holds as plain text but not
// in the code page (written by other software), which QSettings reads with those
// bytes dropped or replaced; empty for any other value.
QByteArray RawStoredName(const QString &file)
{
    QFile settings(file);
    if (!settings.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray key = QByteArray(kDeviceNameValue) + '=';
    bool general = true; // the values before any section, or in [General]
    for (QByteArray line : settings.readAll().split('\n')) {
        line = line.trimmed();
        if (line.startsWith('['))
            general = line == "[General]";
        const QByteArray value = line.mid(key.size()).trimmed();
        if (general && line.startsWith(key) && QString::fromLocal8Bit(value).toLocal8Bit() != value &&
            !value.contains('\\') && !value.contains('"'))
            return value;
    }
    return QByteArray();
}

} // namespace

QByteArray ReadStoredName(QSettings::Scope scope, QString *unreadable)
{
    QSettings place(QSettings::NativeFormat, scope, QString::fromLatin1(kSettingsOrganisation),
                    QString::fromLatin1(kSettingsApplication));
    // This place only: the per-user read must not see the machine-wide value.
    place.setFallbacksEnabled(false);
    const QString where = QDir::toNativeSeparators(place.fileName()) + QStringLiteral(": ");
    const QFileInfo file(place.fileName());
    QString why;
    QVariant value;
    if (file.isDir())
        why = QStringLiteral("a folder in its place");
    else if (file.exists() && !file.isReadable())
        why = QStringLiteral("no read permission");
    else if (place.status() != QSettings::NoError)
        why = QStringLiteral("not a settings file");
    else
        value = place.value(QString::fromLatin1(kDeviceNameValue));
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray(); // a name not in the code page
    if (value.typeId() == QMetaType::QString) {
        const QByteArray raw = RawStoredName(place.fileName());
        return raw.isEmpty() ? value.toString().toLocal8Bit() : raw;
    }
    if (value.isValid())
        why = QStringLiteral("the value is %1, not a text").arg(QString::fromLatin1(value.typeName()));
    if (unreadable && !why.isEmpty())
        *unreadable = where + why;
    return QByteArray();
}

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
    // A name in the code page as text, as always; any other as bytes, so that it
    // reads back byte for byte.
    if (name && QString::fromLocal8Bit(*name).toLocal8Bit() == *name)
        place.setValue(QString::fromLatin1(kDeviceNameValue), QString::fromLocal8Bit(*name));
    else if (name)
        place.setValue(QString::fromLatin1(kDeviceNameValue), *name);
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
