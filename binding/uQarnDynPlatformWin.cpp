// Windows: LoadLibraryExA/GetProcAddress/GetModuleFileNameA/FreeLibrary.
// Built for Windows with the program (scripts/build_windows.sh) and run
// under wine by scripts/wine_tests.sh and scripts/windows_tests.sh.
#include "uQarnDynPlatform.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
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
    if (folder.size() >= 3 && std::isalpha(static_cast<unsigned char>(folder[0])) &&
        folder[1] == ':' && IsSlash(folder[2]))
        return true;
    return folder.size() >= 3 && IsSlash(folder[0]) && IsSlash(folder[1]) && !IsSlash(folder[2]);
}

// A folder that a system call writes into a buffer; empty on failure.
std::string SystemFolder(UINT(WINAPI *query)(LPSTR, UINT))
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

// The machine word of a PE file's header (IMAGE_FILE_MACHINE_...); 0 when
// the file is not a Windows executable or library.
unsigned PeMachine(const std::string &path)
{
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    const auto Read = [file](LONG offset, void *bytes, DWORD count) {
        DWORD done = 0;
        return ::SetFilePointer(file, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
               ::ReadFile(file, bytes, count, &done, nullptr) && done == count;
    };
    unsigned char dos[64] = {};
    unsigned char pe[6] = {};
    unsigned machine = 0;
    if (Read(0, dos, sizeof dos) && dos[0] == 'M' && dos[1] == 'Z') {
        const LONG offset =
            LONG(dos[0x3C] | dos[0x3D] << 8 | dos[0x3E] << 16 | unsigned(dos[0x3F]) << 24);
        if (offset > 0 && Read(offset, pe, sizeof pe) && std::memcmp(pe, "PE\0\0", 4) == 0)
            machine = pe[4] | pe[5] << 8;
    }
    ::CloseHandle(file);
    return machine;
}

// Why LoadLibraryEx refused the copy at path: a plain sentence for a file
// that is not a library for this program, else the system's own text.
std::string LoadFailureReason(const std::string &path, DWORD error)
{
    const std::string code = "error " + std::to_string(error);
    const bool program64 = sizeof(void *) == 8;
    if (error == ERROR_BAD_EXE_FORMAT) {
        const unsigned machine = PeMachine(path);
        if (machine == 0)
            return "it is not a Windows library (" + code + ")";
        if (machine == IMAGE_FILE_MACHINE_I386 && program64)
            return "it is a 32-bit library, and this program is 64-bit (" + code + ")";
        if (machine == IMAGE_FILE_MACHINE_AMD64 && !program64)
            return "it is a 64-bit library, and this program is 32-bit (" + code + ")";
        return "it is built for another processor than this program (" + code + ")";
    }
    char *text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message = length && text ? std::string(text, length) : std::string();
    if (text)
        ::LocalFree(text);
    while (!message.empty() &&
           (message.back() == '\r' || message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    const std::string system = message.empty() ? code : code + ": " + message;
    if (error == ERROR_MOD_NOT_FOUND)
        return "a library it needs cannot be found (" + system + ")";
    return system;
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

TModuleHandle LoadReaderLibrary(std::vector<TLibraryCandidate> &search)
{
    // The system's default search order without the working directory: the
    // program's folder, the system folder, the 16-bit system folder, the
    // Windows folder, then PATH's absolute folders.  The first copy found is
    // the one loaded, as the system would.  The libraries it needs are looked
    // for beside it, in the system folders and on PATH, never in the working
    // directory: while it loads, its own folder takes the working directory's
    // place in the search (an empty one, meant to drop it, is not honoured
    // everywhere); afterwards the empty one keeps the working directory out of
    // later loads.
    const std::string windows = SystemFolder(&::GetWindowsDirectoryA);
    std::vector<std::string> folders = {ProgramFolder(), SystemFolder(&::GetSystemDirectoryA),
                                        windows.empty() ? std::string() : windows + "\\System",
                                        windows};
    const std::vector<std::string> path = PathFolders();
    folders.insert(folders.end(), path.begin(), path.end());
    for (std::string folder : folders) {
        if (folder.empty())
            continue;
        if (folder.back() != '\\' && folder.back() != '/')
            folder += '\\';
        const std::string candidate = folder + ReaderLibraryFileName();
        if (!IsFile(candidate)) {
            search.push_back({candidate, false, false, std::string()});
            continue;
        }
        // No message box of the system's own for a library it cannot load.
        const UINT oldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS);
        ::SetDllDirectoryA(folder.c_str());
        TModuleHandle module =
            ::LoadLibraryExA(candidate.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        const DWORD error = module ? 0 : ::GetLastError();
        ::SetDllDirectoryA("");
        ::SetErrorMode(oldMode);
        search.push_back({candidate, true, module != nullptr,
                          module ? std::string() : LoadFailureReason(candidate, error)});
        return module;
    }
    ::SetDllDirectoryA("");
    return nullptr;
}

void *LookupEntry(TModuleHandle module, const char *name)
{
    return module ? reinterpret_cast<void *>(::GetProcAddress(static_cast<HMODULE>(module), name))
                  : nullptr;
}

bool ModulePath(TModuleHandle module, std::string &path)
{
    char buffer[257] = {};
    const DWORD length = ::GetModuleFileNameA(static_cast<HMODULE>(module), buffer, sizeof buffer);
    if (length == 0)
        return false;
    buffer[sizeof buffer - 1] = 0;
    path = buffer;
    return true;
}

void UnloadReaderLibrary(TModuleHandle module)
{
    if (module)
        ::FreeLibrary(static_cast<HMODULE>(module));
}

// The performance counter, not GetTickCount64, whose steps of about 16 ms
// would put the benchmark's averages off by a millisecond.
uint32_t TickCount()
{
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    const auto ticks = static_cast<uint64_t>(counter.QuadPart);
    const auto perSecond = static_cast<uint64_t>(frequency.QuadPart);
    return static_cast<uint32_t>(ticks / perSecond * 1000 + ticks % perSecond * 1000 / perSecond);
}

} // namespace qarn::platform
