// Linux: dlopen/dlsym/dlinfo/dlclose.
#include "uQarnDynPlatform.h"
#include "uQarnDynPlatformLinux.h"

#include <dlfcn.h>
#include <link.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace qarn::platform {

namespace {

std::string gProgramFolderOverride;
const char kLoaderCache[] = "/etc/ld.so.cache";

bool IsRegularFile(const std::string &path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void *OpenFile(const std::string &path) { return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

// A path the dynamic loader would try: anything there, even a link or a
// file it then refuses, stops its search.
bool Exists(const std::string &path) { return ::access(path.c_str(), F_OK) == 0; }

uint32_t ReadWord(const std::string &data, std::size_t offset)
{
    uint32_t value = 0;
    std::memcpy(&value, data.data() + offset, sizeof value);
    return value;
}

} // namespace

std::vector<std::string> LoaderSearchFolders()
{
    std::vector<std::string> folders;
    void *program = ::dlopen(nullptr, RTLD_NOW);
    if (!program)
        return folders;
    Dl_serinfo size {};
    if (::dlinfo(program, RTLD_DI_SERINFOSIZE, &size) == 0 && size.dls_size >= sizeof(Dl_serinfo)) {
        std::unique_ptr<void, decltype(&std::free)> buffer(std::malloc(size.dls_size), &std::free);
        auto *info = static_cast<Dl_serinfo *>(buffer.get());
        if (info) {
            *info = size;
            if (::dlinfo(program, RTLD_DI_SERINFO, info) == 0) {
                for (unsigned int i = 0; i < info->dls_cnt; ++i) {
                    if (info->dls_serpath[i].dls_name)
                        folders.emplace_back(info->dls_serpath[i].dls_name);
                }
            }
        }
    }
    ::dlclose(program);
    return folders;
}

std::vector<std::string> CachedLibraryPaths(const std::string &cacheFile, const std::string &name)
{
    constexpr std::size_t kMaxCacheBytes = 64u << 20;
    std::vector<std::string> paths;
    std::ifstream file(cacheFile, std::ios::binary);
    std::string data;
    char chunk[65536];
    while (file && data.size() <= kMaxCacheBytes) {
        file.read(chunk, sizeof chunk);
        data.append(chunk, static_cast<std::size_t>(file.gcount()));
    }
    if (data.size() > kMaxCacheBytes)
        return paths;

    // An old-style table may come first; the current table follows it,
    // aligned to 8 bytes, and its texts are counted from its own start.
    static const char kOldMagic[] = "ld.so-1.7.0";
    static const char kNewMagic[] = "glibc-ld.so.cache1.1";
    constexpr std::size_t kOldHeader = 16, kOldEntry = 12, kNewHeader = 48, kNewEntry = 24;
    std::size_t start = 0;
    if (data.size() >= kOldHeader && data.compare(0, sizeof kOldMagic - 1, kOldMagic) == 0) {
        const uint64_t oldEnd = kOldHeader + uint64_t(ReadWord(data, 12)) * kOldEntry;
        start = static_cast<std::size_t>(std::min<uint64_t>((oldEnd + 7) & ~uint64_t(7), data.size()));
    }
    if (data.size() - start < kNewHeader || data.compare(start, sizeof kNewMagic - 1, kNewMagic) != 0)
        return paths;
    const uint64_t count = ReadWord(data, start + 20);
    const auto Text = [&](uint32_t offset, std::string &text) {
        if (offset >= data.size() - start)
            return false;
        const std::size_t begin = start + offset;
        const std::size_t zero = data.find('\0', begin);
        if (zero == std::string::npos)
            return false;
        text.assign(data, begin, zero - begin);
        return true;
    };
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t entry = start + kNewHeader + i * kNewEntry;
        if (entry + kNewEntry > data.size())
            break;
        std::string key, value;
        if (Text(ReadWord(data, entry + 4), key) && key == name &&
            Text(ReadWord(data, entry + 8), value) && !value.empty() && value[0] == '/')
            paths.push_back(value);
    }
    return paths;
}

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

    // 2. The system's default search path: for a bare name the dynamic
    // loader searches the program's run path and LD_LIBRARY_PATH, then its
    // cache and the default folders.  It takes an empty or relative folder
    // among them (".", an empty LD_LIBRARY_PATH entry, a trailing colon)
    // from the working directory, together with the subfolders it adds
    // there for the processor's capabilities.  So the bare name is used only
    // while every folder is absolute; otherwise the same search runs by full
    // paths without those folders: the loader's folders in its order, then
    // its cache.
    const std::vector<std::string> folders = LoaderSearchFolders();
    const auto IsAbsolute = [](const std::string &path) { return !path.empty() && path[0] == '/'; };
    if (!folders.empty() && std::all_of(folders.begin(), folders.end(), IsAbsolute)) {
        if (ModuleHandle module = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL))
            return module;
        // The loader takes the run path of the code that calls it; where a
        // wrapper stands between (a sanitizer's dlopen), the program's run
        // path is missed, so the walk below follows.
    }
    for (const std::string &candidate : folders) {
        if (IsAbsolute(candidate) && Exists(candidate + "/" + name))
            return OpenFile(candidate + "/" + name);
    }
    for (const std::string &path : CachedLibraryPaths(kLoaderCache, name)) {
        if (ModuleHandle module = OpenFile(path))
            return module;
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
