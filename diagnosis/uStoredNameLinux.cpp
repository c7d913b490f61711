// Linux: each place of the stored device name is a settings file of
// QSettings (below XDG_CONFIG_HOME per user, XDG_CONFIG_DIRS machine-wide).
#include "uStoredName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
        if (general && line.startsWith(key) &&
            QString::fromLocal8Bit(value).toLocal8Bit() != value && !value.contains('\\') &&
            !value.contains('"'))
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
        why = QStringLiteral("the value is %1, not a text")
                  .arg(QString::fromLatin1(value.typeName()));
    if (unreadable && !why.isEmpty())
        *unreadable = where + why;
    return QByteArray();
}

QString UnstorableName(const QByteArray &)
{
    // Any bytes can be stored: a name outside the code page as bytes.
    return QString();
}

namespace {

// The report of a value that could not be written to the settings file
// `where`.
QString StoreFailure(const QString &where)
{
    return QStringLiteral("Failed to write the value \"") + QString::fromLatin1(kDeviceNameValue) +
           QStringLiteral("\" to the settings file ") + QDir::toNativeSeparators(where) +
           QStringLiteral(": the setting could not be saved.");
}

} // namespace

bool StoreNameInPlace(QSettings::Scope scope, const QByteArray *name, QString &failure)
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
