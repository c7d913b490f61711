// Windows: LoadLibraryExA/GetProcAddress/GetModuleFileNameA/FreeLibrary.
// Not built on Linux.
#include "uQarnDynPlatform.h"

#include <windows.h>

#include <string>

namespace qarn::platform {

namespace {
std::string gProgramFolderOverride;
}

const char *ReaderLibraryFileName() { return "norvane.dll"; }

void SetProgramFolderOverride(const std::string &folder) { gProgramFolderOverride = folder; }

std::string ProgramFolder()
{
    if (!gProgramFolderOverride.empty())
        return gProgramFolderOverride;
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    std::string path(buffer, length);
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

ModuleHandle LoadReaderLibrary()
{
    if (!gProgramFolderOverride.empty()) {
        const std::string path = gProgramFolderOverride + "\\" + ReaderLibraryFileName();
        return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR |
                                                           LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    // The application's folder, then the default system folders; never the
    // current directory.
    return ::LoadLibraryExA(ReaderLibraryFileName(), nullptr,
                            LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}

void *LookupEntry(ModuleHandle module, const char *name)
{
    return module ? reinterpret_cast<void *>(::GetProcAddress(static_cast<HMODULE>(module), name))
                  : nullptr;
}

bool ModulePath(ModuleHandle module, std::string &path)
{
    char buffer[257] = {};
    const DWORD length = ::GetModuleFileNameA(static_cast<HMODULE>(module), buffer, sizeof buffer);
    if (length == 0)
        return false;
    buffer[sizeof buffer - 1] = 0;
    path = buffer;
    return true;
}

void UnloadReaderLibrary(ModuleHandle module)
{
    if (module)
        ::FreeLibrary(static_cast<HMODULE>(module));
}

uint32_t TickCount() { return static_cast<uint32_t>(::GetTickCount64()); }

} // namespace qarn::platform
