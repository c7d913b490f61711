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

// A path the dynamic loader would try: anything there, even a link or a
// file it then refuses, stops its search.
bool Exists(const std::string &path) { return ::access(path.c_str(), F_OK) == 0; }

// The class and machine of an ELF file, from its header.
struct TElfIdentity {
    bool elf = false;
    unsigned char elfClass = 0;
    unsigned machine = 0;
};

TElfIdentity ReadElfIdentity(const std::string &path)
{
    TElfIdentity identity;
    unsigned char header[20] = {};
    std::ifstream file(path, std::ios::binary);
    if (!file.read(reinterpret_cast<char *>(header), sizeof header) || std::memcmp(header,
                                                                                   "\x7F"
                                                                                   "ELF",
                                                                                   4) != 0)
        return identity;
    identity.elf = true;
    identity.elfClass = header[4];
    // e_machine, in the file's own byte order (EI_DATA 2: big-endian).
    identity.machine =
        header[5] == 2 ? (header[18] << 8 | header[19]) : (header[19] << 8 | header[18]);
    return identity;
}

std::string ClassName(unsigned char elfClass)
{
    return elfClass == 1 ? "32-bit" : elfClass == 2 ? "64-bit" : "unknown-class";
}

std::string MachineName(unsigned machine)
{
    switch (machine) {
    case 3: return "x86 (32-bit)";
    case 40: return "ARM (32-bit)";
    case 62: return "x86-64";
    case 183: return "ARM 64-bit";
    case 243: return "RISC-V";
    default: return "another processor (ELF machine " + std::to_string(machine) + ")";
    }
}

// A plain sentence when the file is built for another kind of system than
// this program; empty when it is not, or when either header cannot be read.
std::string ForeignBuildReason(const std::string &path)
{
    const TElfIdentity own = ReadElfIdentity("/proc/self/exe");
    const TElfIdentity file = ReadElfIdentity(path);
    if (!own.elf || !file.elf)
        return std::string();
    if (file.elfClass != own.elfClass)
        return "it is a " + ClassName(file.elfClass) + " library, and this program is " +
               ClassName(own.elfClass);
    if (file.machine != own.machine)
        return "it is built for " + MachineName(file.machine) + ", and this program runs on " +
               MachineName(own.machine);
    return std::string();
}

// Why the loader refused the copy at path, from its error text
// ("<file>: <what went wrong>").
std::string LoadFailureReason(const std::string &path, const char *error)
{
    const std::string foreign = ForeignBuildReason(path);
    if (!foreign.empty())
        return foreign;
    const std::string text = error ? error : "the system gave no reason";
    if (text.compare(0, path.size() + 2, path + ": ") == 0) {
        const std::string what = text.substr(path.size() + 2);
        return ReadElfIdentity(path).elf ? what : "it is not a shared library (" + what + ")";
    }
    // The error names another file: a library that this one needs.
    const auto colon = text.find(": ");
    if (colon == std::string::npos)
        return text;
    const std::string what = text.substr(colon + 2);
    const bool missing = what.find("cannot open shared object file") != std::string::npos;
    return "it needs " + text.substr(0, colon) + ", which " +
           (missing ? "cannot be found" : "cannot be loaded") + " (" + what + ")";
}

// Records each place looked at, and the reason of a copy refused.
class TSearchRecord {
public:
    explicit TSearchRecord(std::vector<TLibraryCandidate> &search) : FSearch(search) {}

    void Absent(const std::string &path) { FSearch.push_back({path, false, false, std::string()}); }

    TModuleHandle Open(const std::string &path)
    {
        TModuleHandle module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        FSearch.push_back({path, true, module != nullptr,
                           module ? std::string() : LoadFailureReason(path, ::dlerror())});
        return module;
    }

    // After the loader found the library itself: the places it went
    // through up to the copy it loaded; those with a copy it passed over
    // were built for another system.
    void LoaderFound(TModuleHandle module, const std::vector<std::string> &places)
    {
        std::string loaded;
        ModulePath(module, loaded);
        for (const std::string &path : places) {
            if (!Exists(path)) {
                Absent(path);
                continue;
            }
            char resolved[PATH_MAX];
            if (loaded.empty() || (::realpath(path.c_str(), resolved) && loaded == resolved)) {
                FSearch.push_back({path, true, true, std::string()});
                return;
            }
            const std::string foreign = ForeignBuildReason(path);
            FSearch.push_back({path, true, false,
                               foreign.empty() ? "passed over by the system's loader" : foreign});
        }
        FSearch.push_back({loaded, true, true, std::string()});
    }

private:
    std::vector<TLibraryCandidate> &FSearch;
};

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
    Dl_serinfo size{};
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
        start =
            static_cast<std::size_t>(std::min<uint64_t>((oldEnd + 7) & ~uint64_t(7), data.size()));
    }
    if (data.size() - start < kNewHeader ||
        data.compare(start, sizeof kNewMagic - 1, kNewMagic) != 0)
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

TModuleHandle LoadReaderLibrary(std::vector<TLibraryCandidate> &search)
{
    const std::string name = ReaderLibraryFileName();
    TSearchRecord record(search);

    // 1. The program's own folder.
    const std::string folder = ProgramFolder();
    if (!folder.empty()) {
        if (IsRegularFile(folder + "/" + name))
            return record.Open(folder + "/" + name);
        record.Absent(folder + "/" + name);
    }

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
    const std::vector<std::string> cached = CachedLibraryPaths(kLoaderCache, name);
    if (!folders.empty() && std::all_of(folders.begin(), folders.end(), IsAbsolute)) {
        if (TModuleHandle module = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            std::vector<std::string> places;
            for (const std::string &candidate : folders)
                places.push_back(candidate + "/" + name);
            places.insert(places.end(), cached.begin(), cached.end());
            record.LoaderFound(module, places);
            return module;
        }
        // The loader takes the run path of the code that calls it; where a
        // wrapper stands between (a sanitizer's dlopen), the program's run
        // path is missed, so the walk below follows.
    }
    for (const std::string &candidate : folders) {
        if (!IsAbsolute(candidate))
            continue;
        if (Exists(candidate + "/" + name))
            return record.Open(candidate + "/" + name);
        record.Absent(candidate + "/" + name);
    }
    for (const std::string &path : cached) {
        if (!Exists(path))
            record.Absent(path);
        else if (TModuleHandle module = record.Open(path))
            return module;
    }
    return nullptr;
}

void *LookupEntry(TModuleHandle module, const char *name)
{
    return module ? ::dlsym(module, name) : nullptr;
}

bool ModulePath(TModuleHandle module, std::string &path)
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

void UnloadReaderLibrary(TModuleHandle module)
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
