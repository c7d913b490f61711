// Linux: dlopen/dlsym/dlinfo/dlclose.
#include "uQarnDynPlatform.h"

#include <dlfcn.h>
#include <link.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace qarn::platform {

namespace {

std::string gProgramFolderOverride;

bool IsRegularFile(const std::string &path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void *OpenFile(const std::string &path) { return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

// Absolute folders of LD_LIBRARY_PATH.  Sets hasRelative when an entry is
// empty or relative: such an entry would make the dynamic loader look in the
// current working directory.
std::vector<std::string> LibraryPathFolders(bool &hasRelative)
{
    std::vector<std::string> folders;
    hasRelative = false;
    const char *value = std::getenv("LD_LIBRARY_PATH");
    if (!value)
        return folders;
    const std::string text(value);
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find_first_of(":;", start);
        const std::string folder = text.substr(start, end == std::string::npos ? end : end - start);
        if (!folder.empty() && folder[0] == '/')
            folders.push_back(folder);
        else
            hasRelative = true;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return folders;
}

} // namespace

const char *ReaderLibraryFileName() { return "libnorvane.so"; }

void SetProgramFolderOverride(const std::string &folder) { gProgramFolderOverride = folder; }

std::string ProgramFolder()
{
    if (!gProgramFolderOverride.empty())
        return gProgramFolderOverride;
    char buffer[PATH_MAX + 1];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (length <= 0)
        return std::string();
    std::string path(buffer, static_cast<std::size_t>(length));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

ModuleHandle LoadReaderLibrary()
{
    const std::string name = ReaderLibraryFileName();

    // 1. The program's own folder.
    const std::string folder = ProgramFolder();
    if (!folder.empty() && IsRegularFile(folder + "/" + name))
        return OpenFile(folder + "/" + name);

    // 2. The system's default search path.  A bare name lets the dynamic
    // loader search LD_LIBRARY_PATH, the program's run path, its cache and
    // the standard folders.  When LD_LIBRARY_PATH holds an empty or relative
    // entry the bare name could be found in the working directory, so only
    // its absolute folders are tried, then the standard library folders.
    bool hasRelative = false;
    const std::vector<std::string> folders = LibraryPathFolders(hasRelative);
    if (!hasRelative)
        return ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    for (const std::string &candidate : folders) {
        if (IsRegularFile(candidate + "/" + name))
            return OpenFile(candidate + "/" + name);
    }
    for (const char *standard : {"/usr/local/lib", "/usr/lib/" QARN_MULTIARCH, "/lib/" QARN_MULTIARCH,
                                 "/usr/lib", "/lib"}) {
        const std::string candidate = std::string(standard) + "/" + name;
        if (IsRegularFile(candidate))
            return OpenFile(candidate);
    }
    return nullptr;
}

void *LookupEntry(ModuleHandle module, const char *name)
{
    return module ? ::dlsym(module, name) : nullptr;
}

bool ModulePath(ModuleHandle module, std::string &path)
{
    if (!module)
        return false;
    struct link_map *map = nullptr;
    if (::dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name || !*map->l_name)
        return false;
    char resolved[PATH_MAX];
    if (!::realpath(map->l_name, resolved))
        return false;
    path = resolved;
    return true;
}

void UnloadReaderLibrary(ModuleHandle module)
{
    if (module)
        ::dlclose(module);
}

uint32_t TickCount()
{
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t milliseconds =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(milliseconds);
}

} // namespace qarn::platform
