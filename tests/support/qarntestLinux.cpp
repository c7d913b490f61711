// Linux: the loaded stand-in is libnorvane.so, looked up with dlopen, and
// the two places of stored settings are folders of QSettings.
#include "qarntest.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <dlfcn.h>

namespace qarntest {

const char *const kCorruptLibraryReason = "it is not a shared library (invalid ELF header)";
const char *const kReaderLibraryFile = "libnorvane.so";

void *LoadedSymbol(const char *name)
{
    if (gLoadedFolder.isEmpty())
        return nullptr;
    const QByteArray path = (gLoadedFolder + QStringLiteral("/libnorvane.so")).toLocal8Bit();
    void *handle = ::dlopen(path.constData(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return nullptr;
    void *symbol = ::dlsym(handle, name);
    ::dlclose(handle);
    return symbol;
}

SettingsSandbox::SettingsSandbox(bool machineWideWritable)
    : FMachineWideWritable(machineWideWritable)
{
    QDir root(FDir.path());
    root.mkpath(QStringLiteral("user"));
    QString system = FDir.path() + QStringLiteral("/system");
    if (!machineWideWritable) {
        // A regular file where a folder would have to be.
        QFile blocker(FDir.path() + QStringLiteral("/blocker"));
        blocker.open(QIODevice::WriteOnly);
        blocker.write("not a folder\n");
        system = blocker.fileName() + QStringLiteral("/system");
    } else {
        root.mkpath(QStringLiteral("system"));
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       FDir.path() + QStringLiteral("/user"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, system);
}

SettingsSandbox::~SettingsSandbox()
{
    // Point both places at folders that do not exist, so nothing outside a
    // sandbox is ever touched by a test.
    const QString nowhere = FDir.path() + QStringLiteral("/gone");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, nowhere);
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, nowhere);
}


} // namespace qarntest
