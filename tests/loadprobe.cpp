// Loads the reader library as the program does, from its own folder, its
// environment and its working directory, and prints the outcome on three
// lines: the status of the version query, the loaded file's path, and the
// message for that status.  With --record, the places looked at follow, one
// a line, then the entry points the library lacks.
#include "uQarnDyn.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    DynStartHook();
    std::string version, path, message;
    const TQarnStatus status = DynGetLibraryInfo(version, path);
    DynGetErrorMessage(status, message);
    std::printf("%d\n%s\n%s\n", status, path.c_str(), message.c_str());
    if (argc > 1 && std::strcmp(argv[1], "--record") == 0) {
        for (const TLibraryCandidate &candidate : DynGetLoadRecord().search)
            std::printf("search : %s\n", DynCandidateText(candidate).c_str());
        for (const std::string &name : DynGetLoadRecord().missingEntryPoints)
            std::printf("missing : %s\n", name.c_str());
    }
    DynUnloadLibrary();
    return 0;
}
