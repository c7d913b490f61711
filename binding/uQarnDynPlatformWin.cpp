// Windows: LoadLibraryExA/GetProcAddress/GetModuleFileNameA/FreeLibrary.
// Built on Linux only by the cross-compile check (scripts/check_windows_build.sh).
#include "uQarnDynPlatform.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace qarn::platform {

namespace {

std::string gProgramFolderOverride;

bool IsFile(const std::string &path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A folder named from the root of a drive ("C:\...") or of a network share
// ("\\server\share"); anything else depends on the working directory or
// on the current drive.
bool IsAbsolute(const std::string &folder)
{
    const auto IsSlash = [](char c) { return c == '\\' || c == '/'; };
    if (folder.size() >= 3 && std::isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':' &&
        IsSlash(folder[2]))
        return true;
    return folder.size() >= 3 && IsSlash(folder[0]) && IsSlash(folder[1]) && !IsSlash(folder[2]);
}

// A folder that a system call writes into a buffer; empty on failure.
std::string SystemFolder(UINT (WINAPI *query)(LPSTR, UINT))
{
    char buffer[MAX_PATH + 1] = {};
    const UINT length = query(buffer, MAX_PATH);
    return length == 0 || length > MAX_PATH ? std::string() : std::string(buffer, length);
}

// The absolute folders of PATH, in order, without the quotes around any.
std::vector<std::string> PathFolders()
{
    std::vector<std::string> folders;
    const DWORD size = ::GetEnvironmentVariableA("PATH", nullptr, 0);
    if (size == 0)
        return folders;
    std::string text(size, '\0');
    const DWORD length = ::GetEnvironmentVariableA("PATH", &text[0], size);
    if (length == 0 || length >= size)
        return folders;
    text.resize(length);
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(';', start), text.size());
        std::string folder = text.substr(start, end - start);
        folder.erase(std::remove(folder.begin(), folder.end(), '"'), folder.end());
        if (IsAbsolute(folder))
            folders.push_back(folder);
        start = end + 1;
    }
    return folders;
}

} // namespace

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
    // The system's default search order without the working directory: the
    // program's folder, the system folder, the 16-bit system folder, the
    // Windows folder, then PATH's absolute folders.  The first copy found is
    // the one loaded, as the system would; the libraries it needs are looked
    // for beside it first, and never in the working directory either.
    ::SetDllDirectoryA("");
    const std::string windows = SystemFolder(&::GetWindowsDirectoryA);
    std::vector<std::string> folders = {ProgramFolder(), SystemFolder(&::GetSystemDirectoryA),
                                        windows.empty() ? std::string() : windows + "\\System", windows};
    const std::vector<std::string> path = PathFolders();
    folders.insert(folders.end(), path.begin(), path.end());
    for (std::string folder : folders) {
        if (folder.empty())
            continue;
        if (folder.back() != '\\' && folder.back() != '/')
            folder += '\\';
        const std::string candidate = folder + ReaderLibraryFileName();
        if (IsFile(candidate))
            return ::LoadLibraryExA(candidate.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return nullptr;
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
