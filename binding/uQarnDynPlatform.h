// Platform services of the library binding: load the reader library, look
// up an export, tell the loaded file's full path, unload.  One source file
// per operating system implements them (uQarnDynPlatformLinux.cpp,
// uQarnDynPlatformWin.cpp), chosen by the build.
#pragma once

#include "uQarnDyn.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qarn::platform {

using TModuleHandle = void *;

// The reader library's file name on this platform.
const char *ReaderLibraryFileName();

// Loads the reader library by its file name: the program's own folder
// first, then the system's default search path, never the current working
// directory.  nullptr when no copy could be loaded.  Each place looked at
// is appended to search, with the system's reason for a copy it refused.
TModuleHandle LoadReaderLibrary(std::vector<TLibraryCandidate> &search);

// Address of the export with this exact, case-sensitive name, or nullptr.
void *LookupEntry(TModuleHandle module, const char *name);

// Full path of the file behind module; false when it cannot be told.
bool ModulePath(TModuleHandle module, std::string &path);

void UnloadReaderLibrary(TModuleHandle module);

// Milliseconds of a monotonic clock, modulo 2^32.
uint32_t TickCount();

// Folder looked in first; normally the folder of the running program.
// Tests point it elsewhere to load a chosen build of the library.  An empty
// text restores the program's folder.
void SetProgramFolderOverride(const std::string &folder);
std::string ProgramFolder();

} // namespace qarn::platform
