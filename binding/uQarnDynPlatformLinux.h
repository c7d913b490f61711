// How the Linux loader finds the reader library, open to tests.
#pragma once

#include <string>
#include <vector>

namespace qarn::platform {

// The folders the dynamic loader searches for a bare library name loaded by
// this program, in its order: the run path, LD_LIBRARY_PATH (an empty entry
// as "."), the default folders; not its cache.  Empty when it cannot tell.
std::vector<std::string> LoaderSearchFolders();

// The absolute paths that the dynamic loader's cache file (normally
// /etc/ld.so.cache) holds for the library name, in the cache's order.
// Empty when the file is missing, unreadable or not a cache.
std::vector<std::string> CachedLibraryPaths(const std::string &cacheFile, const std::string &name);

} // namespace qarn::platform
