// Windows: the loaded stand-in is norvane.dll, looked up among the loaded
// modules, and the two places of stored settings are the registry keys.
#include "qarntest.h"

#include <QDir>
#include <QSettings>

#include <windows.h>

namespace qarntest {

const char *const kCorruptLibraryReason = "it is not a Windows library (error 193)";
const char *const kReaderLibraryFile = "norvane.dll";

void *LoadedSymbol(const char *name)
{
    if (gLoadedFolder.isEmpty())
        return nullptr;
    const QString path = QDir::toNativeSeparators(gLoadedFolder + QStringLiteral("/norvane.dll"));
    const HMODULE module = ::GetModuleHandleW(reinterpret_cast<const wchar_t *>(path.utf16()));
    if (!module)
        return nullptr;
    return reinterpret_cast<void *>(::GetProcAddress(module, name));
}

namespace {
void ClearBothPlaces()
{
    for (const QSettings::Scope scope : {QSettings::SystemScope, QSettings::UserScope}) {
        QSettings place(QSettings::NativeFormat, scope, QStringLiteral("Ardanel"), QStringLiteral("Norvane"));
        place.remove(QStringLiteral("DeviceName"));
    }
}
} // namespace

SettingsSandbox::SettingsSandbox(bool machineWideWritable)
    : FMachineWideWritable(machineWideWritable)
{
    ClearBothPlaces();
}

SettingsSandbox::~SettingsSandbox() { ClearBothPlaces(); }

} // namespace qarntest
