#include "qarntest.h"

#include "norvsim_control.h"
#include "uAppServices.h"
#include "uQarnDynPlatform.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QtTest>

namespace qarntest {

namespace {

// The control exports of the stand-in that the binding loaded: the same
// file opened again (RTLD_NOLOAD) gives the same loaded instance.
template <typename T> T Control(const char *name)
{
    return reinterpret_cast<T>(LoadedSymbol(name));
}

} // namespace

QString gLoadedFolder;

QString StandInFolder(const QString &variant)
{
    if (QDir::isAbsolutePath(variant))
        return variant;
    return QStringLiteral(QARN_STANDIN_DIR) + QLatin1Char('/') + variant;
}

QString StandInFile(const QString &variant)
{
    return QDir::toNativeSeparators(StandInFolder(variant) + QLatin1Char('/') +
                                    QLatin1String(kReaderLibraryFile));
}

void LoadStandIn(const QString &variant)
{
    UnloadStandIn();
    static const QTemporaryDir noLibrary; // an empty folder of this process's own
    const QString folder = variant.isEmpty() ? noLibrary.path() : StandInFolder(variant);
    gLoadedFolder = QFile::exists(folder + QLatin1Char('/') + QLatin1String(kReaderLibraryFile))
                        ? folder
                        : QString();
    qarn::platform::SetProgramFolderOverride(QDir::toNativeSeparators(folder).toStdString());
    DynStartHook();
    StandIn::Reset();
}

void UnloadStandIn()
{
    DynUnloadLibrary();
    gLoadedFolder.clear();
}

bool StandIn::Scenario(const char *json)
{
    const auto load = Control<norvsim_load_scenario_json_fn>("norvsim_load_scenario_json");
    if (!load) {
        qWarning("stand-in library not loaded");
        return false;
    }
    if (load(json) != 0) {
        qWarning("scenario rejected: %s", qPrintable(LastError()));
        return false;
    }
    return true;
}

void StandIn::Reset()
{
    if (const auto reset = Control<norvsim_reset_fn>("norvsim_reset"))
        reset();
}

QStringList StandIn::CallLog()
{
    const auto log = Control<norvsim_call_log_fn>("norvsim_call_log");
    if (!log)
        return {};
    QByteArray buffer(int(log(nullptr, 0)) + 1, '\0');
    log(buffer.data(), std::size_t(buffer.size()));
    buffer.chop(1);
    QStringList lines = QString::fromLatin1(buffer).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void StandIn::ClearLog()
{
    if (const auto clear = Control<norvsim_clear_log_fn>("norvsim_clear_log"))
        clear();
}

QString StandIn::LastError()
{
    const auto error = Control<norvsim_last_error_fn>("norvsim_last_error");
    return error ? QString::fromLocal8Bit(error()) : QString();
}

MessageBoxRecorder::MessageBoxRecorder()
{
    SetMessageBoxHook([this](const TMessageBoxRecord &record) {
        boxes.append(Box{record.caption, record.text, int(record.icon)});
    });
}

MessageBoxRecorder::~MessageBoxRecorder() { SetMessageBoxHook(nullptr); }

QProcessEnvironment ProgramEnvironment(const QString &folder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), folder + QStringLiteral("/config-machine"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return environment;
}


namespace {
std::unique_ptr<QSettings> Place(QSettings::Scope scope)
{
    auto place = std::make_unique<QSettings>(QSettings::NativeFormat, scope,
                                             QStringLiteral("Ardanel"), QStringLiteral("Norvane"));
    place->setFallbacksEnabled(false); // this place's own value only
    return place;
}

void Store(QSettings::Scope scope, const QVariant &value)
{
    const auto place = Place(scope);
    if (value.isValid())
        place->setValue(QStringLiteral("DeviceName"), value);
    else
        place->remove(QStringLiteral("DeviceName"));
}
} // namespace

QVariant SettingsSandbox::MachineWide() const
{
    return Place(QSettings::SystemScope)->value(QStringLiteral("DeviceName"));
}

QVariant SettingsSandbox::PerUser() const
{
    return Place(QSettings::UserScope)->value(QStringLiteral("DeviceName"));
}

void SettingsSandbox::SetMachineWide(const QVariant &value) { Store(QSettings::SystemScope, value); }

void SettingsSandbox::SetPerUser(const QVariant &value) { Store(QSettings::UserScope, value); }

QString SettingsSandbox::MachineWideFile() const { return Place(QSettings::SystemScope)->fileName(); }

QString SettingsSandbox::PerUserFile() const { return Place(QSettings::UserScope)->fileName(); }

} // namespace qarntest
