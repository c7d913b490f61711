// Loads the reader library as the program does, from its own folder, its
// environment and its working directory, and prints the outcome on three
// lines: the status of the version query, the loaded file's path, and the
// message for that status.
#include "uQarnDyn.h"

#include <cstdio>

int main()
{
    DynStartHook();
    std::string version, path, message;
    const TQarnStatus status = DynGetLibraryInfo(version, path);
    DynGetErrorMessage(status, message);
    std::printf("%d\n%s\n%s\n", status, path.c_str(), message.c_str());
    DynUnloadLibrary();
    return 0;
}
